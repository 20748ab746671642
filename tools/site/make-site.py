#!/usr/bin/python3
# Debian's python3 on purpose: python3-markdown-it and python3-yaml are
# installed for it (tools/install-deps.sh), not for another python3 on the PATH.
"""Writes the download site: the tree to copy to the web host as it stands.

    make-site.py RELEASE_DIR MANIFEST_DIR SITE_DIR      (tools/release.sh runs it)

Every address the programs and the manifests give resolves inside SITE_DIR,
whose root is the home page's address: index.html is the home page, and the
licence and the release files lie at the paths of their addresses below it.
A release folder outside the home page's site is linked, not copied. The
texts the page shares with README.md are taken from it, by heading, and
turned into HTML as the README's readers see it (CommonMark with tables).
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
# The README's sections for people who use Quellin, in the page's order; the
# page's own download table comes before them, and its antivirus advice after
# the first. A section the README does not have (yet) is left out.
SECTIONS = ["Download and install", "For administrators", "Licence"]
REQUIRED = {"Download and install", "Licence"}

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


def address(url):
    """How the home page links url: by its path on the site, else whole."""
    return inside(url) or url


def fail(message):
    sys.exit(f"make-site: {message}")


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


def site_address(link):
    """Where a README link points on the site; the file it names is copied."""
    if re.match(r"[a-z]+:|#", link):
        return link
    if link == "LICENSE":
        return license_path
    if link.startswith("docs/") and (ROOT / link).is_file():
        put(assets + "pictures/" + Path(link).name, (ROOT / link).read_bytes())
        return assets + "pictures/" + Path(link).name
    fail(f"README.md links {link}, which the site does not hold")


markdown = MarkdownIt("commonmark").enable("table")
# Each second-level heading, as (text, id), in the order the page shows them:
# the page's contents link to them.
headings = []


def to_html(text):
    tokens = markdown.parse(text)
    for i, token in enumerate(tokens):
        if token.type == "heading_open" and token.tag == "h2":
            heading = tokens[i + 1].content
            headings.append((heading, re.sub(r"[^a-z0-9]+", "-", heading.lower()).strip("-")))
            token.attrSet("id", headings[-1][1])
        for t in [token] + (token.children or []):
            for attr in ("href", "src"):
                if t.attrGet(attr) is not None:
                    t.attrSet(attr, site_address(t.attrGet(attr)))
    return markdown.renderer.render(tokens, markdown.options, {})


# The README in sections: the part before the first "## " heading, then one
# per "## " heading (outside code blocks).
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
chosen = [(h, "".join(sections[h])) for h in SECTIONS if h in sections]
intro = "".join(sections[""])

# The three release files at their addresses, when those are on this site,
# and the table that links the two downloads with their sizes and hashes.
# The Windows Installer package lies beside them; administrators find its
# row in their own part of the page.
folder = downloads[0].rpartition("/")[0] + "/"
package = f"Quellin-{version}.msi"
rows, package_rows = [], []
for name in [url.rpartition("/")[2] for url in downloads] + [package, "SHA256SUMS"]:
    data = (release_dir / name).read_bytes()
    if inside(folder) is not None:
        put(inside(folder) + name, data)
    if name != "SHA256SUMS":
        (package_rows if name == package else rows).append(
            f'<tr><td><a href="{html.escape(address(folder + name))}">{html.escape(name)}</a><br>'
            f"{round(len(data) / 1024)} KB ({len(data):,} bytes)</td>"
            f"<td><code>{hashlib.sha256(data).hexdigest()}</code></td></tr>")
package_table = ('<table class="files">\n<thead>\n<tr><th scope="col">Package and size</th>'
                 '<th scope="col">SHA-256</th></tr>\n</thead>\n<tbody>\n' + "\n".join(package_rows) +
                 "\n</tbody>\n</table>\n")
put(license_path, (ROOT / "LICENSE").read_bytes())
shutil.copyfile(HERE / "site.css", site / assets / "site.css")
shutil.copyfile(ROOT / "resources/icons/dark_screen.ico", site / assets / "quellin.ico")

parts = dict(
    intro=to_html(intro),
    files=to_html(f"## The files of version {version}"),
    first=to_html(chosen[0][1]),
    antivirus=to_html((HERE / "antivirus.md").read_text()),
    rest="".join(to_html(text) + (package_table if heading == "For administrators" else "")
                 for heading, text in chosen[1:]),
)
page = Template((HERE / "page.html").read_text()).substitute(
    parts,
    title=html.escape(f"{locale['PackageName']} {version}"),
    # The README's first paragraph after its title, its one-line summary.
    description=html.escape(" ".join(intro.split("\n\n")[1].split())),
    css=assets + "site.css",
    icon=assets + "quellin.ico",
    nav="\n".join(f'<li><a href="#{id}">{html.escape(text)}</a></li>' for text, id in headings),
    rows="\n".join(rows),
    sums=html.escape(address(folder + "SHA256SUMS")),
    copyright=html.escape(locale["Copyright"]),
    license=html.escape(license_path),
)
put("index.html", page.encode())
