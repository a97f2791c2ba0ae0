// Serves a folder over HTTP on localhost, for trying the web build (make serve-web) and for the
// web tests: node tools/serve_web.mjs FOLDER [PORT] [--overlay DIR] [--quiet]
//
// Plain files with their types (application/wasm for WebAssembly, so that the browser compiles
// while it downloads), GET and HEAD only, nothing outside FOLDER. With --overlay DIR, a file in DIR
// is served in place of FOLDER's file of the same path, and a file named NAME.missing in DIR makes
// NAME answer 404, so that a test can serve the site with a damaged or missing data file. Port 0
// takes a free port; the first line printed is the address served.
import {createServer} from 'node:http';
import {promises as fs} from 'node:fs';
import path from 'node:path';

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

async function exists(file) {
  try {
    return (await fs.stat(file)).isFile();
  } catch {
    return false;
  }
}

const server = createServer(async (request, response) => {
  const started = Date.now();
  const done = (status, type, body) => {
    response.writeHead(status, {'Content-Type': type, 'Cache-Control': 'no-cache', 'Content-Length': body.length});
    response.end(request.method === 'HEAD' ? undefined : body);
    if (!quiet)
      console.log(`${request.method} ${request.url} ${status} ${body.length} ${Date.now() - started} ms`);
  };
  if (request.method !== 'GET' && request.method !== 'HEAD')
    return done(405, 'text/plain', Buffer.from('Only GET and HEAD here\n'));
  let file = within(root, request.url);
  if (!file)
    return done(403, 'text/plain', Buffer.from('Forbidden\n'));
  if (overlay) {
    const replaced = within(overlay, request.url);
    if (replaced && await exists(replaced + '.missing'))
      return done(404, 'text/plain', Buffer.from('Not found\n'));
    if (replaced && await exists(replaced))
      file = replaced;
  }
  try {
    const body = await fs.readFile(file);
    done(200, Types[path.extname(file)] || 'application/octet-stream', body);
  } catch {
    done(404, 'text/plain', Buffer.from('Not found\n'));
  }
});

server.listen(port, '127.0.0.1', () => {
  console.log(`http://localhost:${server.address().port}/`);
  if (!quiet)
    console.log(`Serving ${root}${overlay ? ' with ' + overlay + ' over it' : ''}; Ctrl+C stops.`);
});
for (const signal of ['SIGINT', 'SIGTERM'])
  process.on(signal, () => server.close(() => process.exit(0)));
