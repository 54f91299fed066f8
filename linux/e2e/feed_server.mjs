// The maker's web server for morvik-update's feed scenarios: HTTPS on 127.0.0.1, serving the
// folders below ROOT, and the faults a download can meet. The first part of the path picks the
// behaviour for every file under it:
//   /ok/SITE/NAME        the file ROOT/SITE/NAME (404 when there is none)
//   /status/CODE/...     answers CODE
//   /stall/SITE/NAME     sends the headers and half the file, then nothing, and keeps the connection
//   /close/SITE/NAME     sends the headers and half the file, then closes the connection
//   /loop/...            redirects to itself
//   /redirect/SITE/NAME  redirects once, to /ok/SITE/NAME
//   /huge/...            a body of 2 MiB, larger than any feed.json may be
// Usage: node feed_server.mjs ROOT KEY.pem CERT.pem; prints the port once it listens.
import fs from 'node:fs';
import https from 'node:https';
import path from 'node:path';

const [root, keyFile, certFile] = process.argv.slice(2);

function fileOf(parts) {
  const name = path.resolve(root, ...parts);
  if (!name.startsWith(path.resolve(root) + path.sep) || !fs.existsSync(name) || !fs.statSync(name).isFile()) return null;
  return fs.readFileSync(name);
}

function serve(request, response) {
  const [mode, ...rest] = decodeURIComponent(request.url.split('?')[0]).split('/').filter(Boolean);
  if (mode === 'status') return response.writeHead(Number(rest[0])).end('fault\n');
  if (mode === 'loop') return response.writeHead(302, {Location: request.url}).end();
  if (mode === 'redirect') return response.writeHead(302, {Location: '/ok/' + rest.join('/')}).end();
  if (mode === 'huge') return response.writeHead(200).end(Buffer.alloc(2 << 20, 0x20));
  const body = fileOf(rest);
  if (!body) return response.writeHead(404).end('no such file\n');
  if (mode === 'ok') return response.writeHead(200, {'Content-Length': body.length}).end(body);
  response.writeHead(200, {'Content-Length': body.length});
  response.write(body.subarray(0, body.length >> 1));
  if (mode === 'close') setTimeout(() => request.socket.destroy(), 100);
  // stall: nothing more; the client gives up
}

const server = https.createServer({key: fs.readFileSync(keyFile), cert: fs.readFileSync(certFile)}, serve);
server.listen(0, '127.0.0.1', () => console.log(server.address().port));
process.on('SIGTERM', () => process.exit(0));
