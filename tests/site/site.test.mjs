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

test('the page loads whole, from the site alone, without scripts, within 100 KB, and fits a phone', async () => {
  const page = await browser.newPage();
  const errors = [], outside = [], bodies = [];
  page.on('console', (m) => m.type() === 'error' && errors.push(m.text()));
  page.on('pageerror', (e) => errors.push(e.message));
  page.on('requestfailed', (r) => errors.push(`${r.url()}: ${r.failure().errorText}`));
  page.on('request', (r) => r.url().startsWith(origin + '/') || outside.push(r.url()));
  page.on('response', (r) => {
    if (r.status() !== 200) errors.push(`${r.url()}: ${r.status()}`);
    bodies.push(r.body().then((b) => b.length));
  });
  await page.goto(origin + '/', { waitUntil: 'networkidle' });
  assert.deepEqual(errors, []);
  assert.deepEqual(outside, []);
  const weight = (await Promise.all(bodies)).reduce((a, b) => a + b);
  console.log(`page weight ${weight} bytes in ${bodies.length} responses`);
  assert.ok(weight <= 100 * 1024, `the page weighs ${weight} bytes`);
  assert.equal(await page.locator('script').count(), 0);
  await page.setViewportSize({ width: 390, height: 844 });
  const [wide, width] = await page.evaluate(() => [document.documentElement.scrollWidth, innerWidth]);
  assert.ok(wide <= width, `on a phone the page is ${wide} pixels wide for ${width}`);
  await page.close();
});

test('every address the page gives answers, and each download is the file its hash names', async () => {
  const page = await browser.newPage();
  await page.goto(origin + '/');
  const addresses = await page.$$eval('a[href], img[src], link[href]', (els) => els.map((e) => e.href || e.src));
  const broken = [];
  for (const address of addresses) {
    const [url, fragment] = address.split('#');
    if (fragment) {
      if (url === origin + '/' && !(await page.locator(`[id="${fragment}"]`).count())) broken.push(address);
    } else if (url.startsWith(origin + '/') && (await get(url)).status !== 200) {
      broken.push(address);
    }
  }
  assert.deepEqual(broken, []);

  const rows = await page.$$eval('table.files tbody tr', (trs) => trs.map((tr) => ({
    href: tr.querySelector('a').href, name: tr.querySelector('a').textContent,
    text: tr.textContent, hash: tr.querySelector('code').textContent,
  })));
  // The package's row is in the administrators' part, below the other two.
  assert.deepEqual(rows.map((r) => r.name),
    [`Quellin-${version}-setup.exe`, `Quellin-${version}-portable.zip`, `Quellin-${version}.msi`]);
  assert.equal(await page.locator('[id="for-administrators"] ~ table.files a[href$=".msi"]').count(), 1,
    'the package is not listed in the administrators\' part');
  for (const row of rows) {
    const { status, bytes } = await get(row.href);
    assert.equal(status, 200, row.href);
    assert.equal(sha256(bytes), row.hash, `${row.name}: the page's SHA-256 is not the file's`);
    assert.ok(sums.includes(`${row.hash}  ${row.name}\n`), `${row.name}: SHA256SUMS has another hash`);
    assert.ok(row.text.includes(`${bytes.length.toLocaleString('en-US')} bytes`), `${row.name}: size`);
  }
  await page.close();
});

test('axe finds no accessibility violation, in the light scheme and in the dark one', async () => {
  const backgrounds = [];
  for (const colorScheme of ['light', 'dark']) {
    const page = await browser.newPage({ colorScheme });
    await page.goto(origin + '/');
    await page.addScriptTag({ path: axe });
    const violations = await page.evaluate(async () => (await window.axe.run()).violations.map(
      (v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`));
    console.log(`axe, ${colorScheme}: ${violations.length} violations`);
    assert.deepEqual(violations, [], `in the ${colorScheme} scheme`);
    backgrounds.push(await page.evaluate(() => getComputedStyle(document.documentElement).backgroundColor));
    await page.close();
  }
  assert.notEqual(backgrounds[0], backgrounds[1], 'the dark scheme looks like the light one');
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
