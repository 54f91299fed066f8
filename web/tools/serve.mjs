// Serves the update page's static folder on this computer only (browsers treat localhost as a
// secure context, which WebHID needs). No server code runs for the page itself.
//   node serve.mjs SITE_DIR [PORT] [/PREFIX=DIR ...]
// Extra PREFIX=DIR pairs serve other folders beside the site (the tests' simulated pad); a file
// is taken from the first folder that holds it, so /=DIR puts a feed's files beside the page.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, join, normalize, resolve, sep } from 'node:path';

const kTypes = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
  '.png': 'image/png',
  '.dat': 'application/octet-stream',
  '.json': 'application/json',
};

// `isolated` serves every file cross-origin isolated (the page needs it not; the tests' virtual
// pad sleeps more finely with it).
export function startServer(siteDir, port = 0, mounts = {}, { isolated = false } = {}) {
  const isolation = isolated ? { 'Cross-Origin-Opener-Policy': 'same-origin', 'Cross-Origin-Embedder-Policy': 'require-corp' } : {};
  const roots = [...Object.entries(mounts), ['/', siteDir]].map(([prefix, dir]) => [prefix, resolve(dir)]);
  let beside = null;  // a folder served at the root before the site (the tests' feeds), or null
  let hidden = new Set();  // paths answered 404 (the tests' missing files)
  const server = createServer(async (request, response) => {
    const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    if (hidden.has(path)) {
      response.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n');
      return;
    }
    const candidates = [...(beside ? [['/', beside]] : []), ...roots].filter(([p]) => path.startsWith(p));
    for (const [prefix, root] of candidates) {
      const relative = normalize(path.slice(prefix.length)).replace(/^([/\\])+/, '');
      const file = join(root, relative, path.endsWith('/') ? 'index.html' : '');
      // Nothing outside the served folders, whatever the path says.
      if (file !== root && !file.startsWith(root + sep)) {
        response.writeHead(403).end();
        return;
      }
      try {
        // The tests' failing server: NAME.status beside NAME answers NAME with that status.
        const status = Number(await readFile(`${file}.status`, 'utf8').catch(() => 200));
        if (status !== 200) {
          response.writeHead(status, { 'Content-Type': 'text/plain' }).end('failed on purpose\n');
          return;
        }
        const body = await readFile(file);
        response.writeHead(200, {
          'Content-Type': kTypes[extname(file)] ?? 'application/octet-stream',
          'Cache-Control': 'no-cache',
          ...isolation,
        });
        response.end(body);
        return;
      } catch {
        // not in this folder: the next one may hold it
      }
    }
    response.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n');
  });
  // Serves the files of `dir` beside the page from now on (null: none).
  server.serveBeside = (dir) => {
    beside = dir ? resolve(dir) : null;
  };
  // Answers 404 for these paths from now on (none: an empty list).
  server.hide = (paths) => {
    hidden = new Set(paths);
  };
  return new Promise((done, fail) => {
    server.once('error', fail);
    server.listen(port, '127.0.0.1', () => done(server));
  });
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const [siteDir, port = '8080', ...mountArgs] = process.argv.slice(2);
  if (!siteDir) {
    console.error('usage: node serve.mjs SITE_DIR [PORT] [/PREFIX/=DIR ...]');
    process.exit(2);
  }
  const mounts = Object.fromEntries(mountArgs.map((arg) => arg.split('=')));
  const server = await startServer(siteDir, Number(port), mounts);
  console.log(`Serving ${resolve(siteDir)} at http://localhost:${server.address().port}/ (Ctrl-C to stop)`);
}
