#!/usr/bin/python3
# Debian's python3 on purpose: python3-markdown-it and python3-yaml are
# installed for it (tools/install-deps.sh), not for another python3 on the PATH.
"""Writes the download site: the tree to copy to the web host as it stands.

    make-site.py RELEASE_DIR MANIFEST_DIR SITE_DIR      (tools/release.sh runs it)

Every address the programs and the manifests give resolves inside SITE_DIR,
whose root is the home page's address: index.html is the home page, in
English, and each other language in languages/ has its page at <tag>/ below
it, all linking the same release files, style sheet and pictures. The licence
and the release files lie at the paths of their addresses below the root. A
release folder outside the home page's site is linked, not copied.

Each page opens with the download and what Quellin does, in its language
(languages/<tag>/site.yaml). The reference below comes from README.md, by
heading, turned into HTML as the README's readers see it (CommonMark with
tables): on the home page whole, on the others linked under a heading of
their own.
"""
import hashlib
import html
import json
import re
import shutil
import sys
from pathlib import Path
from string import Template

import yaml
from markdown_it import MarkdownIt

ROOT = Path(__file__).resolve().parents[2]
HERE = Path(__file__).resolve().parent
LANGUAGES = ROOT / "languages"
# The README's sections for people who use Quellin, in the page's order. A
# section the README does not have (yet) is left out.
SECTIONS = ["Download and install", "For administrators", "Licence"]
REQUIRED = {"Download and install", "Licence"}
# The pictures the page shows under what Quellin does, in the order of the
# captions in site.yaml.
PICTURES = ["tray-icon-lit.png", "tray-icon-hovered.png", "tray-menu.png", "about-window.png"]
# Where a first visit to the home page looks for a choice made in the
# language list (the script in each page keeps it there).
CHOICE = "quellin-language"


def fail(message):
    sys.exit(f"make-site: {message}")


release_dir, manifest_dir, site = (Path(a) for a in sys.argv[1:4])
scoop = json.loads((manifest_dir / "scoop/quellin.json").read_text())
version = scoop["version"]
winget = manifest_dir / "winget/manifests/b/Brindlecote/Quellin" / version
locale = yaml.safe_load((winget / "Brindlecote.Quellin.locale.en-US.yaml").read_text())
installer = yaml.safe_load((winget / "Brindlecote.Quellin.installer.yaml").read_text())
home = locale["PackageUrl"]
downloads = [installer["Installers"][0]["InstallerUrl"], scoop["url"]]


def inside(url):
    """The path below SITE_DIR that serves url, or None for another site."""
    return url[len(home):] or "index.html" if url.startswith(home) else None


license_path = inside(locale["LicenseUrl"])
if license_path is None:
    fail(f"the licence's address {locale['LicenseUrl']} is not below the home page {home}")
shutil.rmtree(site, ignore_errors=True)
# The page's own files go into the product's folder, beside its licence.
assets = license_path.rpartition("/")[0] + "/"


def put(path, data):
    target = site / path
    target.parent.mkdir(parents=True, exist_ok=True)
    target.write_bytes(data)


def picture(name):
    """A picture from docs/, copied once for every page; its path on the site."""
    put(assets + "pictures/" + name, (ROOT / "docs" / name).read_bytes())
    return assets + "pictures/" + name


# Each language's page texts, English's first: the same keys as English's,
# none empty, and as many lines and captions. Quellsnap's key is written as
# setup writes it in that language, from the setup's own text, and the
# description is the winget entry's.
def load_languages():
    english = yaml.safe_load((LANGUAGES / "en/site.yaml").read_text())
    found = []
    for folder in sorted(LANGUAGES.iterdir(), key=lambda f: (f.name != "en", f.name)):
        if not (folder / "site.yaml").is_file():
            fail(f"languages/{folder.name} has no site.yaml")
        texts = yaml.safe_load((folder / "site.yaml").read_text())
        missing = sorted(k for k in english if not texts.get(k))
        extra = sorted(texts.keys() - english.keys())
        if missing or extra:
            fail(f"languages/{folder.name}/site.yaml lacks {missing} and has unknown {extra}")
        for key in ("lines", "pictures"):
            if len(texts[key]) != len(english[key]):
                fail(f"languages/{folder.name}/site.yaml has {len(texts[key])} {key}, English {len(english[key])}")
        setup = "".join(f.read_text() for f in folder.glob("*.nsh"))
        key = re.search(r'^LangString SecHotkeyText 0 ".*?(\w+\+Alt\+\w+\+O)(?![A-Za-z])', setup, re.M)
        if key is None:
            fail(f"languages/{folder.name} has no setup text that names Quellsnap's key")
        texts["key"] = key[1]
        # The page's description is the one the language's winget entry gives.
        winget_texts = [yaml.safe_load(f.read_text()) for f in folder.glob("*.winget.yaml")]
        if not winget_texts or not winget_texts[0].get("ShortDescription"):
            fail(f"languages/{folder.name} has no winget description")
        texts["description"] = winget_texts[0]["ShortDescription"]
        found.append((folder.name, texts))
    if len(PICTURES) != len(english["pictures"]):
        fail(f"{len(PICTURES)} pictures, {len(english['pictures'])} captions")
    return found


languages = load_languages()


def page_path(tag):
    """A language's page below the site's root: English's is the root."""
    return "" if tag == "en" else tag.lower() + "/"


markdown = MarkdownIt("commonmark").enable("table")


def fill(text, **values):
    """A text with its {name}s filled in; a name not given stops the build."""
    def value(match):
        if match[1] not in values:
            fail(f"a text asks for {{{match[1]}}}, which this place does not give: {text}")
        return str(values[match[1]])
    return re.sub(r"\{(\w+)\}", value, text)


def inline(text, links, **values):
    """A text as inline HTML, its symbolic links ([..](zip)) made real."""
    tokens = markdown.parseInline(fill(text, **values))
    for token in tokens[0].children:
        if token.type == "link_open":
            target = token.attrGet("href")
            if target not in links:
                fail(f"a text links {target}, which is none of {sorted(links)}: {text}")
            token.attrSet("href", links[target])
    return markdown.renderer.render(tokens[0].children, markdown.options, {})


# The README's reference, for the home page. Each of its links is made one
# that works on the site; the file it names is copied.
def site_address(link):
    if re.match(r"[a-z]+:|#", link):
        return link
    if link == "LICENSE":
        return license_path
    if link.startswith("docs/") and (ROOT / link).is_file():
        return picture(Path(link).name)
    fail(f"README.md links {link}, which the site does not hold")


def to_html(text):
    tokens = markdown.parse(text)
    for i, token in enumerate(tokens):
        # Every heading gets the id the README's own links use for it.
        if token.type == "heading_open" and token.tag in ("h2", "h3", "h4"):
            heading = tokens[i + 1].content
            token.attrSet("id", re.sub(r"[^a-z0-9]+", "-", heading.lower()).strip("-"))
        for t in [token] + (token.children or []):
            for attr in ("href", "src"):
                if t.attrGet(attr) is not None:
                    t.attrSet(attr, site_address(t.attrGet(attr)))
    return markdown.renderer.render(tokens, markdown.options, {})


readme = (ROOT / "README.md").read_text()
sections, heading, fenced = {"": []}, "", False
for line in readme.splitlines(keepends=True):
    fenced ^= line.startswith("```")
    if line.startswith("## ") and not fenced:
        heading = line[3:].strip()
        sections[heading] = []
    sections[heading].append(line)
missing = REQUIRED - sections.keys()
if missing:
    fail(f"README.md has no section {', '.join(sorted(missing))}")
reference = "".join(to_html("".join(sections[h])) for h in SECTIONS if h in sections)
reference_address = "#" + re.sub(r"[^a-z0-9]+", "-", SECTIONS[0].lower()).strip("-")

# The release files at their addresses, when those are on this site.
folder = downloads[0].rpartition("/")[0] + "/"
files = {}
for kind, name in [("setup", downloads[0].rpartition("/")[2]), ("zip", downloads[1].rpartition("/")[2]),
                   ("msi", f"Quellin-{version}.msi"), ("sums", "SHA256SUMS")]:
    data = (release_dir / name).read_bytes()
    if inside(folder) is not None:
        put(inside(folder) + name, data)
    files[kind] = (name, data)
put(license_path, (ROOT / "LICENSE").read_bytes())
shutil.copyfile(HERE / "site.css", site / assets / "site.css")
shutil.copyfile(ROOT / "resources/icons/dark_screen.ico", site / assets / "quellin.ico")
pictures = [picture(name) for name in PICTURES]

# The same alternates on every page: each language's address, and the home
# page for every other.
alternates = "\n".join(
    f'<link rel="alternate" hreflang="{tag}" href="{html.escape(home + page_path(tag))}">'
    for tag, _ in languages) + f'\n<link rel="alternate" hreflang="x-default" href="{html.escape(home)}">'
# On the home page only, before anything shows: a first visit goes to the page
# in the reader's language, the first of their browser's languages that has
# one, by its primary tag (Portuguese to Brazil's, Chinese by script or
# region); a language chosen in the list wins. Someone who came from one of
# our pages (the list, the link to this reference) or to a place on this page
# stays, whatever they chose before.
first_visit = Template("""<script>
(function () {
  var pages = $pages, chosen = null;
  if (location.hash || document.referrer.indexOf(location.origin + '/') === 0) return;
  try { chosen = localStorage.getItem('$choice'); } catch (e) {}
  if (!chosen) {
    var wanted = navigator.languages || [navigator.language || ''];
    for (var i = 0; i < wanted.length && !chosen; i++) {
      var tag = wanted[i].toLowerCase(), primary = tag.split('-')[0];
      chosen = primary === 'zh' ? (/^zh-(hant|hk|mo|tw)\\b/.test(tag) ? 'zh-tw' : 'zh-cn')
        : primary === 'pt' ? 'pt-br' : pages.hasOwnProperty(primary) ? primary : null;
    }
  }
  if (chosen && pages[chosen]) location.replace(pages[chosen]);
})();
</script>""").substitute(
    pages=json.dumps({tag.lower(): page_path(tag) for tag, _ in languages}, separators=(",", ":")),
    choice=CHOICE)
# On every page: the language chosen in the list is kept for the home page.
keep_choice = Template("""<script>
document.querySelector('.languages').addEventListener('click', function (event) {
  var link = event.target.closest && event.target.closest('a[hreflang]');
  if (link) try { localStorage.setItem('$choice', link.hreflang.toLowerCase()); } catch (e) {}
});
</script>""").substitute(choice=CHOICE)

template = Template((HERE / "page.html").read_text())


def write_page(tag, texts):
    """The page of one language, at its address below the site's root."""
    up = "../" if page_path(tag) else ""

    def here(path):
        """How this page links a path on the site."""
        return up + path

    def link(url):
        """How this page links an address: by its path on the site, else whole."""
        return url if inside(url) is None else here(inside(url))

    links = {kind: link(folder + name) for kind, (name, _) in files.items()}
    links.update(reference=here(reference_address), licence=here(license_path))
    # Half a kilobyte up, as people (and browsers' scripts) round: Python's
    # round() takes a half to the even number, so 34.5 KB would read 34.
    size = {kind: fill(texts["size"], kb=(len(data) + 512) // 1024) for kind, (_, data) in files.items()}

    def say(key, **values):
        return inline(texts[key], links, version=version, key=texts["key"],
                      copyright=html.escape(locale["Copyright"]), **values)

    rows = "\n".join(
        f'<tr><td><a href="{html.escape(links[kind])}">{html.escape(name)}</a><br>{size[kind]}</td>'
        f"<td><code>{hashlib.sha256(data).hexdigest()}</code></td></tr>"
        for kind, (name, data) in files.items() if kind != "sums")
    if tag == "en":
        details = reference
    else:
        # The reference is in English: its link says so to the browser too.
        details = (f'<h2 id="more">{say("more")}</h2>\n<p>' +
                   say("reference").replace("<a ", '<a hreflang="en" ', 1) + "</p>\n")
    page = template.substitute(
        lang=tag,
        head_script=first_visit if tag == "en" else "",
        title=html.escape(fill(texts["title"], version=version)),
        description=html.escape(texts["description"]),
        alternates=alternates,
        css=here(assets + "site.css"),
        icon=here(assets + "quellin.ico"),
        language=html.escape(texts["language"]),
        name=html.escape(texts["name"]),
        language_list="\n".join(
            f'<li><a href="{here(page_path(other)) or "./"}" hreflang="{other}" lang="{other}"'
            + (' aria-current="page"' if other == tag else "") + f'>{html.escape(t["name"])}</a></li>'
            for other, t in languages),
        tagline=say("tagline"),
        setup=html.escape(links["setup"]),
        download=say("download"),
        setup_size=say("setup", size=size["setup"]),
        portable=say("portable", size=size["zip"]),
        package=say("package", size=size["msi"]),
        winget=say("winget"),
        sums=say("sums"),
        what=say("what"),
        lines="\n".join(f"<li>{inline(line, links, key=texts['key'])}</li>" for line in texts["lines"]),
        pictures="\n".join(
            f'<li><figure><img src="{here(src)}" alt=""><figcaption>{html.escape(caption)}</figcaption></figure></li>'
            for src, caption in zip(pictures, texts["pictures"])),
        files=say("files"),
        rows=rows,
        file=say("file"),
        hash=say("hash"),
        antivirus_title=say("antivirus_title"),
        antivirus=markdown.render(texts["antivirus"]),
        details=details,
        licence=say("licence"),
        keep_choice=keep_choice,
    )
    put(page_path(tag) + "index.html", page.encode())


for tag, texts in languages:
    write_page(tag, texts)
