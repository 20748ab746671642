// The download site (dist/site, from `make release`) in headless Chromium,
// served by a local stand-in for the web host: what a person's browser, the
// package managers and their update checks will meet there.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { createHash } from 'node:crypto';
import { readFile } from 'node:fs/promises';
import { createRequire } from 'node:module';
import { launch, serve } from './browser.mjs';

const root = new URL('../../', import.meta.url).pathname;
const read = (path) => readFile(root + path, 'utf8');
const version = (await read('resources/product_texts.h')).match(/^#define QUELLIN_VERSION +"(.+)"/m)[1];
const winget = `dist/manifests/winget/manifests/b/Brindlecote/Quellin/${version}/Brindlecote.Quellin`;
const yamlField = (text, key) => text.match(new RegExp(`^[ -]*${key}: (.*)$`, 'm'))[1];
const installer = await read(`${winget}.installer.yaml`);
const locale = await read(`${winget}.locale.en-US.yaml`);
const scoop = JSON.parse(await read('dist/manifests/scoop/quellin.json'));
const sums = await read('dist/release/SHA256SUMS');
const sha256 = (bytes) => createHash('sha256').update(bytes).digest('hex');
const axe = createRequire(import.meta.url).resolve('axe-core/axe.min.js');

let browser, server, origin;
// An address on the real site, as the local server has it.
const local = (url) => {
  assert.ok(url.startsWith(scoop.homepage), `${url} is not on the site ${scoop.homepage}`);
  return origin + '/' + url.slice(scoop.homepage.length);
};
const get = async (url) => {
  const response = await fetch(url);
  return { status: response.status, bytes: Buffer.from(await response.arrayBuffer()) };
};

before(async () => {
  ({ server, origin } = await serve(root + 'dist/site'));
  browser = await launch();
});
after(async () => {
  await browser?.close();
  server?.close();
});

// Every page, one row per language in the language list's order (English,
// then by tag): its tag (the page's lang), its address below the home page,
// its name in itself (as the language list gives it), a word its download
// button carries, and for the languages with a script of their own, that
// script, which the button, every heading and caption use.
const languages = [
  ['en', '', 'English', 'Download'],
  ['de', 'de/', 'Deutsch', 'herunterladen'],
  ['es', 'es/', 'Español', 'Descargar'],
  ['fr', 'fr/', 'Français', 'Télécharger'],
  ['it', 'it/', 'Italiano', 'Scarica'],
  ['ja', 'ja/', '日本語', 'ダウンロード', /[\p{Script=Hiragana}\p{Script=Katakana}]/u],
  ['ko', 'ko/', '한국어', '다운로드', /\p{Script=Hangul}/u],
  ['nl', 'nl/', 'Nederlands', 'downloaden'],
  ['pl', 'pl/', 'Polski', 'Pobierz'],
  ['pt-BR', 'pt-br/', 'Português (Brasil)', 'Baixar'],
  ['ru', 'ru/', 'Русский', 'Скачать', /\p{Script=Cyrillic}/u],
  ['zh-CN', 'zh-cn/', '简体中文', '下载', /\p{Script=Han}/u],
  ['zh-TW', 'zh-tw/', '繁體中文', '下載', /\p{Script=Han}/u],
];
const screens = [{ width: 1280, height: 800 }, { width: 390, height: 844 }];
const setupUrl = yamlField(installer, 'InstallerUrl');
const setupBytes = await readFile(root + 'dist/release/' + setupUrl.split('/').pop());

// Opens a page as a reader would, recording what goes wrong on the way.
async function open(path, options = {}) {
  const page = await browser.newPage({ locale: 'en-US', ...options });
  const problems = [];
  page.on('console', (m) => m.type() === 'error' && problems.push(m.text()));
  page.on('pageerror', (e) => problems.push(e.message));
  page.on('requestfailed', (r) => problems.push(`${r.url()}: ${r.failure().errorText}`));
  page.on('request', (r) => r.url().startsWith(origin + '/') || problems.push(`outside: ${r.url()}`));
  page.on('response', (r) => r.status() !== 200 && problems.push(`${r.url()}: ${r.status()}`));
  const response = await page.goto(origin + '/' + path);
  return { page, problems, html: await response.body() };
}
// The language list, the alternates and the downloads' rows, as a page gives them.
const facts = (page) => page.evaluate(() => ({
  list: [...document.querySelectorAll('.languages a')].map((a) => [a.hreflang, a.lang, a.textContent, a.href]),
  alternates: [...document.querySelectorAll('link[rel=alternate]')].map((l) => [l.hreflang, l.href]),
  rows: [...document.querySelectorAll('table.files tbody tr')].map((tr) => [
    tr.querySelector('a').href, tr.querySelector('a').textContent, tr.querySelector('code').textContent]),
}));

test('every language\'s page: its lang, its button to the setup with the size, axe, a phone, its script', async () => {
  const first = await open('');
  const home = await facts(first.page);
  await first.page.close();
  assert.deepEqual(home.list.map(([tag, lang, name]) => [tag, lang, name]),
    languages.map(([tag, , name]) => [tag, tag, name]), 'the language list');
  assert.deepEqual(home.alternates, languages.map(([tag, path]) => [tag, scoop.homepage + path])
    .concat([['x-default', scoop.homepage]]));
  const kb = String(Math.round(setupBytes.length / 1024));
  for (const [tag, path, , word, script] of languages) {
    const { page, problems, html } = await open(path);
    assert.deepEqual(problems, [], tag);
    console.log(`${tag}: ${html.length} bytes of HTML`);
    assert.ok(html.length <= 60 * 1024, `${tag}: the page is ${html.length} bytes`);
    assert.equal(await page.getAttribute('html', 'lang'), tag);
    assert.ok(await page.title() && await page.getAttribute('meta[name=description]', 'content'), tag);
    // The same list, alternates and files on every page, each list entry
    // leading to its language's page.
    const here = await facts(page);
    assert.deepEqual(here.alternates, home.alternates, `${tag}: alternates`);
    assert.deepEqual(here.rows, home.rows, `${tag}: files`);
    assert.deepEqual(here.list.map(([t, , , href]) => [t, href]),
      languages.map(([t, p]) => [t, `${origin}/${p}`]), `${tag}: language list`);

    const button = page.locator('a.download');
    assert.equal(await button.count(), 1, `${tag}: one download button`);
    assert.equal(await button.evaluate((a) => a.href), local(setupUrl), `${tag}: the button's target`);
    const text = await button.textContent();
    for (const part of [word, version, 'Windows', kb]) {
      assert.ok(text.includes(part), `${tag}: the button says "${text}", without ${part}`);
    }
    if (script) {
      const texts = await page.$$eval('a.download, .tagline, h2, figcaption', (els) => els.map((e) => e.textContent));
      for (const t of texts) assert.match(t, script, `${tag}: "${t}" is not in its own script`);
    }
    for (const viewport of screens) {
      await page.setViewportSize(viewport);
      const box = await button.boundingBox();
      assert.ok(box.y + box.height <= viewport.height,
        `${tag}: at ${viewport.width}x${viewport.height} the button ends at ${box.y + box.height}`);
    }
    const [wide, width] = await page.evaluate(() => [document.documentElement.scrollWidth, innerWidth]);
    assert.ok(wide <= width, `${tag}: on a phone the page is ${wide} pixels wide for ${width}`);
    await page.addScriptTag({ path: axe });
    for (const colorScheme of ['light', 'dark']) {
      await page.emulateMedia({ colorScheme });
      const violations = await page.evaluate(async () => (await window.axe.run()).violations.map(
        (v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`));
      assert.deepEqual(violations, [], `${tag}, in the ${colorScheme} scheme`);
    }
    await page.close();
  }
});

test('the home page, without scripts, is English with its list, within 100 KB with its pictures', async () => {
  const page = await browser.newPage({ javaScriptEnabled: false, locale: 'de-DE' });
  const bodies = [];
  page.on('response', (r) => bodies.push(r.body().then((b) => b.length)));
  await page.goto(origin + '/', { waitUntil: 'networkidle' });
  const weight = (await Promise.all(bodies)).reduce((a, b) => a + b);
  console.log(`home page weight ${weight} bytes in ${bodies.length} responses`);
  assert.ok(weight <= 100 * 1024, `the page weighs ${weight} bytes`);
  assert.equal(page.url(), origin + '/');
  assert.equal(await page.getAttribute('html', 'lang'), 'en');
  assert.equal(await page.locator('.languages a').count(), languages.length);
  const backgrounds = [];
  for (const colorScheme of ['light', 'dark']) {
    await page.emulateMedia({ colorScheme });
    backgrounds.push(await page.evaluate(() => getComputedStyle(document.documentElement).backgroundColor));
  }
  assert.notEqual(backgrounds[0], backgrounds[1], 'the dark scheme looks like the light one');
  await page.close();
});

// Where a first visit to the home page lands, by the browser's languages:
// the first of them that has a page wins.
const firstVisits = [
  ['de-DE', 'de/'], ['ja', 'ja/'], ['pt-PT', 'pt-br/'], ['zh-HK', 'zh-tw/'], ['cy', ''],
  ['zh-MO', 'zh-tw/'], ['zh-Hant-SG', 'zh-tw/'], ['zh-SG', 'zh-cn/'], ['fr-CA', 'fr/'], ['en-GB', ''],
  ['cy,de-AT', 'de/'], ['en-GB,de-DE', ''],
];
// The home page in a new tab of context, and where it ends: a redirect
// leaves the first page before its load, so the page that loads is the last.
async function landing(context) {
  const page = await context.newPage();
  await page.goto(origin + '/', { waitUntil: 'commit' });
  await page.waitForLoadState('load');
  return page;
}

test('a first visit lands on the page in the browser\'s language, English for any other', async () => {
  const got = [];
  for (const [locales] of firstVisits) {
    const [locale, ...others] = locales.split(',');
    const context = await browser.newContext({ locale });
    if (others.length) {
      await context.addInitScript((all) => Object.defineProperty(navigator, 'languages', { get: () => all }),
        [locale, ...others]);
    }
    got.push([locales, (await landing(context)).url().slice(origin.length + 1)]);
    await context.close();
  }
  assert.deepEqual(got, firstVisits);
});

test('a language chosen in the list, by keyboard, is where the home page opens from then on', async () => {
  const context = await browser.newContext({ locale: 'ja' });
  const page = await landing(context);
  assert.equal(page.url(), `${origin}/ja/`);
  // Tab to the list, open it, Tab on to a language and take it with Enter.
  const focused = () => page.evaluate(() => document.activeElement.getAttribute('hreflang') ??
    document.activeElement.tagName);
  const choose = async (tag) => {
    for (let i = 0; i < 20 && await focused() !== 'SUMMARY'; i++) await page.keyboard.press('Tab');
    await page.keyboard.press('Enter');
    for (let i = 0; i < 20 && await focused() !== tag; i++) await page.keyboard.press('Tab');
    assert.equal(await focused(), tag, `${tag} is not reachable by keyboard`);
    await Promise.all([page.waitForNavigation(), page.keyboard.press('Enter')]);
  };
  await choose('en');
  assert.equal(page.url(), `${origin}/`);
  assert.equal((await landing(context)).url(), `${origin}/`, 'English is not kept');
  await choose('de');
  assert.equal(page.url(), `${origin}/de/`);
  assert.equal((await landing(context)).url(), `${origin}/de/`, 'Deutsch is not kept');
  // The reference, in English, linked from the German page: no way back.
  await Promise.all([page.waitForNavigation(), page.click('main a[hreflang=en]')]);
  await page.waitForLoadState('load');
  assert.equal(page.url(), `${origin}/#download-and-install`);
  await context.close();
});

test('every address the pages give answers, and each download is the file its hash names', async () => {
  const ids = {}, addresses = new Set();
  for (const [, path] of languages) {
    const { page } = await open(path);
    ids[`${origin}/${path}`] = await page.$$eval('[id]', (els) => els.map((e) => e.id));
    for (const address of await page.$$eval('a[href], img[src], link[href]:not([rel=alternate])',
      (els) => els.map((e) => e.href || e.src))) addresses.add(address);
    await page.close();
  }
  const broken = [];
  for (const address of addresses) {
    const [url, fragment] = address.split('#');
    if (fragment ? !ids[url]?.includes(fragment) : url.startsWith(origin + '/') && (await get(url)).status !== 200) {
      broken.push(address);
    }
  }
  assert.deepEqual(broken, []);

  const { page } = await open('');
  const rows = await page.$$eval('table.files tbody tr', (trs) => trs.map((tr) => ({
    href: tr.querySelector('a').href, name: tr.querySelector('a').textContent,
    text: tr.textContent, hash: tr.querySelector('code').textContent,
  })));
  assert.deepEqual(rows.map((r) => r.name),
    [`Quellin-${version}-setup.exe`, `Quellin-${version}-portable.zip`, `Quellin-${version}.msi`]);
  for (const row of rows) {
    const { status, bytes } = await get(row.href);
    assert.equal(status, 200, row.href);
    assert.equal(sha256(bytes), row.hash, `${row.name}: the page's SHA-256 is not the file's`);
    assert.ok(sums.includes(`${row.hash}  ${row.name}\n`), `${row.name}: SHA256SUMS has another hash`);
    assert.ok(row.text.includes(`${Math.round(bytes.length / 1024)} KB`), `${row.name}: size`);
  }
  await page.close();
});

test('the manifests\' addresses lead to their files, and Scoop finds the version and the sums', async () => {
  for (const [url, hash] of [
    [yamlField(installer, 'InstallerUrl'), yamlField(installer, 'InstallerSha256')],
    [scoop.url, scoop.hash],
  ]) {
    const { status, bytes } = await get(local(url));
    assert.equal(status, 200, url);
    assert.equal(sha256(bytes), hash.toLowerCase(), `${url} is not the file the manifest's hash names`);
  }
  for (const url of ['PackageUrl', 'PublisherUrl', 'LicenseUrl'].map((key) => yamlField(locale, key))
    .concat(scoop.homepage, scoop.checkver.url)) {
    assert.equal((await get(local(url))).status, 200, url);
  }
  const license = (await get(local(yamlField(locale, 'LicenseUrl')))).bytes.toString();
  assert.equal(license, await read('LICENSE'));

  const home = (await get(local(scoop.checkver.url))).bytes.toString();
  assert.equal(home.match(new RegExp(scoop.checkver.regex))?.[1], version, 'checkver finds another version');
  // $baseurl is the folder of autoupdate's address, once $version is filled in.
  const next = scoop.autoupdate.url.replaceAll('$version', version);
  assert.equal(next, scoop.url);
  const baseurl = next.slice(0, next.lastIndexOf('/'));
  const served = await get(local(scoop.autoupdate.hash.url.replace('$baseurl', baseurl)));
  assert.equal(served.status, 200);
  assert.equal(served.bytes.toString(), sums);
});
