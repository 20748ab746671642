// What the site's test and its screenshots share: dist/site served as a web
// host would serve it, and Debian's Chromium, which this machine has instead
// of a browser downloaded by the test library.
import { createServer } from 'node:http';
import { readFile, stat } from 'node:fs/promises';
import { extname, join, normalize } from 'node:path';
import { chromium } from 'playwright-core';

const types = {
  '.html': 'text/html; charset=utf-8', '.css': 'text/css', '.png': 'image/png',
  '.ico': 'image/x-icon', '.txt': 'text/plain; charset=utf-8', '.zip': 'application/zip',
};

// Serves dir on a free loopback port; a folder's address serves its
// index.html. Resolves to the server and its origin (http://127.0.0.1:port).
export async function serve(dir) {
  const server = createServer(async (req, res) => {
    let path = join(dir, normalize(decodeURIComponent(new URL(req.url, 'http://x').pathname)));
    try {
      if ((await stat(path)).isDirectory()) path = join(path, 'index.html');
      const body = await readFile(path);
      res.writeHead(200, { 'content-type': types[extname(path)] ?? 'application/octet-stream' });
      res.end(body);
    } catch {
      res.writeHead(404).end();
    }
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  return { server, origin: `http://127.0.0.1:${server.address().port}` };
}

// Without the networking flags Chromium calls out to its maker's services,
// which this machine's closed network refuses.
export function launch() {
  return chromium.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    chromiumSandbox: false,
    args: ['--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
}
