// Serves a folder over HTTP on localhost, for trying the web build (make serve-web) and for the
// web tests: node tools/serve_web.mjs FOLDER [PORT] [--overlay DIR] [--quiet]
//
// Plain files with their types (application/wasm for WebAssembly, so that the browser compiles
// while it downloads), text and WebAssembly gzipped for a browser that takes it, GET and HEAD
// only, nothing outside FOLDER, on the loopback address only.
//
// With --overlay DIR, for the web tests: a file in DIR is served in place of FOLDER's file of the
// same path, and a file NAME.missing in DIR makes NAME answer 404. For a bad network, a file in
// DIR holding a number N changes NAME's first request only (later ones are served whole), sent
// uncompressed: NAME.stall sends N bytes of NAME, then nothing (the connection is closed after
// 120 s at the latest); NAME.drop sends N bytes, then closes the connection; NAME.refuse answers
// with status N. Port 0 takes a free port; the first line printed is the address served.
import {createServer} from 'node:http';
import {promises as fs} from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';

const Types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8', '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8', '.wasm': 'application/wasm', '.png': 'image/png', '.mp3': 'audio/mpeg',
  '.txt': 'text/plain; charset=utf-8', '.json': 'application/json', '.webp': 'image/webp', '.raw': 'application/octet-stream',
};

function usage() {
  console.error('usage: node tools/serve_web.mjs FOLDER [PORT] [--overlay DIR] [--quiet]');
  process.exit(2);
}

const args = process.argv.slice(2);
let root = null, port = 8000, overlay = null, quiet = false;
for (let i = 0; i < args.length; i++) {
  if (args[i] === '--overlay' && i + 1 < args.length)
    overlay = path.resolve(args[++i]);
  else if (args[i] === '--quiet')
    quiet = true;
  else if (root === null)
    root = path.resolve(args[i]);
  else if (/^\d+$/.test(args[i]))
    port = Number(args[i]);
  else
    usage();
}
if (root === null)
  usage();

// The file a request names under `base`, or null for a path that leaves it.
function within(base, urlPath) {
  let name;
  try {
    name = decodeURIComponent(urlPath.split('?')[0].split('#')[0]);
  } catch {
    return null;
  }
  if (name.endsWith('/'))
    name += 'index.html';
  const file = path.join(base, path.normalize(name));
  return file === base || file.startsWith(base + path.sep) ? file : null;
}

// Types worth compressing: text and WebAssembly (PNG and MP3 are compressed already).
const Compressible = new Set(['.html', '.js', '.mjs', '.css', '.wasm', '.txt', '.json', '.svg']);
const gzipped = new Map();  // file -> {mtime, size, body}

async function gzipOf(file, body) {
  const stat = await fs.stat(file);
  const kept = gzipped.get(file);
  if (kept && kept.mtime === stat.mtimeMs && kept.size === stat.size)
    return kept.body;
  const packed = zlib.gzipSync(body, {level: 9});
  gzipped.set(file, {mtime: stat.mtimeMs, size: stat.size, body: packed});
  return packed;
}

// The bad-network control NAME.KIND in the overlay for `file`'s first request: its number, or null.
const used = new Set();
async function control(replaced, kind) {
  const name = replaced + '.' + kind;
  if (used.has(name) || !await exists(name))
    return null;
  used.add(name);
  const value = parseInt(await fs.readFile(name, 'utf8'), 10);
  return Number.isFinite(value) && value >= 0 ? value : 0;
}

const StallLimitMs = 120000;
const DropDelayMs = 500;

async function exists(file) {
  try {
    return (await fs.stat(file)).isFile();
  } catch {
    return false;
  }
}

const server = createServer(async (request, response) => {
  const started = Date.now();
  const log = (status, bytes, what) => {
    if (!quiet)
      console.log(`${request.method} ${request.url} ${status} ${bytes}${what ? ' ' + what : ''} ${Date.now() - started} ms`);
  };
  const done = (status, type, body, encoding) => {
    const headers = {'Content-Type': type, 'Cache-Control': 'no-cache', 'Content-Length': body.length};
    if (encoding)
      headers['Content-Encoding'] = encoding;
    if (encoding !== undefined)
      headers['Vary'] = 'Accept-Encoding';
    response.writeHead(status, headers);
    response.end(request.method === 'HEAD' ? undefined : body);
    log(status, body.length, encoding);
  };
  if (request.method !== 'GET' && request.method !== 'HEAD')
    return done(405, 'text/plain', Buffer.from('Only GET and HEAD here\n'));
  let file = within(root, request.url);
  if (!file)
    return done(403, 'text/plain', Buffer.from('Forbidden\n'));
  let bad = null;
  if (overlay) {
    const replaced = within(overlay, request.url);
    if (replaced && await exists(replaced + '.missing'))
      return done(404, 'text/plain', Buffer.from('Not found\n'));
    if (replaced) {
      for (const kind of ['refuse', 'stall', 'drop']) {
        const value = await control(replaced, kind);
        if (value !== null) {
          bad = {kind, value};
          break;
        }
      }
      if (bad && bad.kind === 'refuse')
        return done(bad.value >= 400 && bad.value < 600 ? bad.value : 503, 'text/plain', Buffer.from('Refused\n'));
      if (await exists(replaced))
        file = replaced;
    }
  }
  let body;
  try {
    body = await fs.readFile(file);
  } catch {
    return done(404, 'text/plain', Buffer.from('Not found\n'));
  }
  const type = Types[path.extname(file)] || 'application/octet-stream';
  if (bad) {
    // A bad network: part of the file, then nothing, or a closed connection.
    response.writeHead(200, {'Content-Type': type, 'Cache-Control': 'no-cache', 'Content-Length': body.length});
    const part = body.subarray(0, Math.min(bad.value, body.length));
    const cut = () => response.destroy();
    // A drop closes the connection only once its bytes have left this process and the browser
    // has had time to read them: closed at once, a busy browser may pass on none of them.
    response.write(part, () => {
      if (bad.kind === 'drop')
        setTimeout(cut, DropDelayMs);
    });
    log(200, part.length, bad.kind);
    if (bad.kind !== 'drop') {
      const limit = setTimeout(cut, StallLimitMs);
      response.on('close', () => clearTimeout(limit));
    }
    return;
  }
  const accepts = /\bgzip\b/.test(String(request.headers['accept-encoding'] || ''));
  if (Compressible.has(path.extname(file)))
    return accepts ? done(200, type, await gzipOf(file, body), 'gzip') : done(200, type, body, '');
  done(200, type, body);
});

server.listen(port, '127.0.0.1', () => {
  console.log(`http://localhost:${server.address().port}/`);
  if (!quiet)
    console.log(`Serving ${root}${overlay ? ' with ' + overlay + ' over it' : ''}; Ctrl+C stops.`);
});
for (const signal of ['SIGINT', 'SIGTERM'])
  process.on(signal, () => server.close(() => process.exit(0)));
