// The download page as a person sees it, for docs/: the home page at a
// desktop's width in the light scheme and at a phone's in the dark one, and
// the German and the Japanese page at a phone's width (German's long words,
// Japanese's own script).
//   node screenshots.mjs SITE_DIR OUT_DIR
import { join } from 'node:path';
import { launch, serve } from './browser.mjs';

const [site, out] = process.argv.slice(2);
const { server, origin } = await serve(site);
const browser = await launch();
const desktop = { width: 1280, height: 900 }, phone = { width: 390, height: 844 };
for (const [name, path, viewport, colorScheme] of [
  ['site-desktop.png', '', desktop, 'light'],
  ['site-phone.png', '', phone, 'dark'],
  ['site-de-phone.png', 'de/', phone, 'light'],
  ['site-ja-phone.png', 'ja/', phone, 'light'],
]) {
  // English, so that the home page stays itself.
  const page = await browser.newPage({ viewport, colorScheme, locale: 'en-US' });
  await page.goto(`${origin}/${path}`);
  await page.screenshot({ path: join(out, name) });
  console.log(join(out, name));
}
await browser.close();
server.close();
