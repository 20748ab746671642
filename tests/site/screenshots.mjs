// The download page as a person sees it, for docs/: at a desktop's width in
// the light scheme, and at a phone's in the dark one.
//   node screenshots.mjs SITE_DIR OUT_DIR
import { join } from 'node:path';
import { launch, serve } from './browser.mjs';

const [site, out] = process.argv.slice(2);
const { server, origin } = await serve(site);
const browser = await launch();
for (const [name, viewport, colorScheme] of [
  ['site-desktop.png', { width: 1280, height: 900 }, 'light'],
  ['site-phone.png', { width: 390, height: 844 }, 'dark'],
]) {
  const page = await browser.newPage({ viewport, colorScheme });
  await page.goto(origin + '/');
  await page.screenshot({ path: join(out, name) });
  console.log(join(out, name));
}
await browser.close();
server.close();
