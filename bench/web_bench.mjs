// The web build's figures, in one run (make bench-web): the frame time in headless Chromium
// (SwiftShader's WebGL on the CPU) with and without the glow, beside a bare WebGL replay of the
// same frame's drawing in the same browser, the floor for that browser; the native bench_frame
// on Mesa's llvmpipe; the sizes of kelvo.wasm and the JavaScript, raw and gzipped; and the time
// from the click that answers the start question to the first frame.
//
//   node bench/web_bench.mjs [--site build-web] [--bench-frame build/bench/bench_frame] [--frames 40] [--rounds 3]
//
// The replay: while the demo runs, every WebGL call its page makes is recorded with its
// arguments; the calls of one frame (after everything before it has been replayed once into a
// canvas of the same size and kind) are then replayed in a loop of animation frames, with no
// WebAssembly and no GL subset in between. Frame times are the mean interval between frames over
// the same number of frames, each frame waited for to its end (one pixel read back) in both, the
// replay's canvas shown where and as large as the demo's, with the browser's frame rate limit
// lifted; three rounds of each, taken in turns, give the median.
import {spawn, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import {fileURLToPath} from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '..');
const options = {};
for (let i = 2; i + 1 < process.argv.length; i += 2)
  options[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];
const site = path.resolve(options.site || path.join(root, 'build-web'));
const benchFrame = path.resolve(options['bench-frame'] || path.join(root, 'build/bench/bench_frame'));
const frames = Number(options.frames || 40);

if (!fs.existsSync(path.join(site, 'index.html'))) {
  console.error(`web_bench: no web build in ${site} (make web first)`);
  process.exit(1);
}
const puppeteer = (await import(path.join(root, 'tests/web/node_modules/puppeteer-core/lib/esm/puppeteer/puppeteer-core.js'))).default;

// ---- Sizes.

function size(file) {
  const bytes = fs.readFileSync(path.join(site, file));
  return {raw: bytes.length, gzip: zlib.gzipSync(bytes, {level: 9}).length};
}
const kb = (n) => (n / 1024).toFixed(1) + ' KB';
const sizes = {wasm: size('kelvo.wasm'), js: size('kelvo.js'), page: size('kelvo_page.js')};
const total = {raw: sizes.wasm.raw + sizes.js.raw + sizes.page.raw, gzip: sizes.wasm.gzip + sizes.js.gzip + sizes.page.gzip};

// ---- The recorder, put into the page before its scripts run.

function recorder() {
  const trace = window.__trace = {calls: [], ticks: [], objects: new Map(), attributes: null, recording: true};
  const idOf = (value) => {
    if (!trace.objects.has(value))
      trace.objects.set(value, trace.objects.size + 1);
    return trace.objects.get(value);
  };
  const isObject = (value) => value && typeof value === 'object' && !ArrayBuffer.isView(value) && !(value instanceof ArrayBuffer) &&
    /^WebGL/.test(value.constructor && value.constructor.name);
  const keep = (value) => {
    if (isObject(value))
      return {object: idOf(value)};
    if (ArrayBuffer.isView(value))
      return {array: value.constructor.name, data: value.slice()};
    if (Array.isArray(value))
      return {list: value.slice()};
    return {value};
  };
  // WebGL 2's calls are given the whole WebAssembly heap with an offset (and a length): only the
  // part they read is kept, in the WebGL 1 form of the call.
  let unpackAlignment = 4;
  const heap = (value) => ArrayBuffer.isView(value) && value.length > (1 << 20);
  const components = {0x1906: 1, 0x1907: 3, 0x1908: 4, 0x1909: 1, 0x190A: 2};
  const normalize = (name, args) => {
    if (name === 'pixelStorei' && args[0] === 0x0CF5)
      unpackAlignment = args[1];
    if (name === 'bufferData' && args.length === 5 && heap(args[1]))
      return [args[0], args[1].slice(args[3], args[3] + args[4]), args[2]];
    if (name === 'bufferSubData' && args.length === 5 && heap(args[2]))
      return [args[0], args[1], args[2].slice(args[3], args[3] + args[4])];
    if (name === 'texImage2D' && args.length === 10 && heap(args[8])) {
      const [width, height, format] = [args[3], args[4], args[6]];
      const row = Math.ceil(width * components[format] / unpackAlignment) * unpackAlignment;
      const bytes = height ? row * (height - 1) + width * components[format] : 0;
      return args.slice(0, 8).concat([args[8].slice(args[9], args[9] + bytes)]);
    }
    if (name === 'readPixels' && heap(args[6]))
      return args.slice(0, 6).concat([new Uint8Array(args[2] * args[3] * 4)]);
    return args;
  };
  for (const Context of [window.WebGLRenderingContext, window.WebGL2RenderingContext]) {
    if (!Context)
      continue;
    for (const name of Object.getOwnPropertyNames(Context.prototype)) {
      const descriptor = Object.getOwnPropertyDescriptor(Context.prototype, name);
      if (typeof descriptor.value !== 'function' || name === 'constructor')
        continue;
      const original = descriptor.value;
      Context.prototype[name] = function (...args) {
        const result = original.apply(this, args);
        if (trace.recording && this.canvas && /^kelvo-window/.test(this.canvas.id)) {
          trace.context = this;
          if (!trace.attributes) {
            trace.recording = false;  // its own query is not recorded
            trace.attributes = Object.assign({webgl2: this instanceof (window.WebGL2RenderingContext || Object)},
              this.getContextAttributes());
            trace.recording = true;
          }
          trace.calls.push({name, args: normalize(name, args).map(keep), result: isObject(result) ? idOf(result) : 0});
        }
        return result;
      };
    }
  }
  const raf = window.requestAnimationFrame.bind(window);
  // Each frame is waited for to its end, here and in the replay alike (one pixel read back), so
  // that the time between frames is the time a frame takes, not how far ahead the browser lets
  // frames be queued.
  trace.finish = (gl) => {
    const recording = trace.recording;
    trace.recording = false;
    gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));
    trace.recording = recording;
  };
  window.requestAnimationFrame = (callback) => {
    if (trace.recording) {
      if (trace.context && !trace.context.isContextLost())
        trace.finish(trace.context);
      trace.ticks.push({at: performance.now(), call: trace.calls.length});
    }
    return raf(callback);
  };
}

// Replays the recorded calls in a new canvas: those before frame `frame` once, then that frame's
// in a loop of `count` animation frames; the mean interval between them, in ms.
async function replay(page, frame, count, box) {
  return page.evaluate(async (frame, count, box) => {
    const trace = window.__trace;
    trace.recording = false;
    // In the demo's canvas's place and size, so that the page shows both alike.
    const canvas = document.createElement('canvas');
    canvas.width = 800;
    canvas.height = 600;
    canvas.style.cssText = `position:fixed;left:${box.x}px;top:${box.y}px;width:${box.width}px;height:${box.height}px;z-index:100`;
    document.body.appendChild(canvas);
    const attributes = trace.attributes;
    const gl = canvas.getContext(attributes.webgl2 ? 'webgl2' : 'webgl', attributes);
    const objects = new Map();
    const arg = (a) => a.object !== undefined ? objects.get(a.object) : a.array !== undefined ? a.data : a.list !== undefined ? a.list : a.value;
    const skip = new Set(['getExtension', 'getSupportedExtensions', 'getContextAttributes', 'isContextLost']);
    const run = (from, to) => {
      for (let i = from; i < to; i++) {
        const call = trace.calls[i];
        if (skip.has(call.name))
          continue;
        const result = gl[call.name].apply(gl, call.args.map(arg));
        if (call.result)
          objects.set(call.result, result);
      }
    };
    const start = trace.ticks[frame - 1].call, end = trace.ticks[frame].call;
    run(0, start);
    trace.finish(gl);
    await new Promise((resolve) => requestAnimationFrame(resolve));
    // Five frames' warm-up, as the demo had more before its frames were timed.
    const warm = 5;
    const times = [];
    await new Promise((resolve) => {
      const tick = () => {
        times.push(performance.now());
        if (times.length > count + warm) {
          resolve();
          return;
        }
        run(start, end);
        trace.finish(gl);
        requestAnimationFrame(tick);
      };
      requestAnimationFrame(tick);
    });
    return {ms: (times[times.length - 1] - times[warm]) / (times.length - 1 - warm), calls: end - start};
  }, frame, count, box);
}

// ---- One measure of the demo's frame in the page, and its replay.

async function serve() {
  const server = spawn(process.execPath, [path.join(root, 'tools/serve_web.mjs'), site, '0', '--quiet'], {stdio: ['ignore', 'pipe', 'inherit']});
  const url = await new Promise((resolve) => server.stdout.once('data', (d) => resolve(String(d).split('\n')[0].trim())));
  return {url, stop: () => server.kill()};
}

const say = (line) => process.stderr.write(`web_bench: ${line}\n`);

async function measure(browser, url, query) {
  say(`the demo${query ? ' with ' + query : ''}`);
  const page = await browser.newPage();
  await page.setViewport({width: 1280, height: 720});
  page.on('pageerror', (error) => say(`page error: ${error.message}`));
  page.on('console', (message) => {
    if (message.type() === 'error' || message.type() === 'warning')
      say(`console: ${message.text()}`);
  });
  await page.evaluateOnNewDocument(recorder);
  await page.goto(url + query);
  await page.waitForFunction(() => window.kelvo && window.kelvo.dialog, {timeout: 120000});
  const buttons = await page.$$('#dialog-buttons button');
  await buttons[1].click();  // No: in a window
  // Warm-up frames, then `frames` frames timed.
  const warm = 10;
  await page.evaluate((n) => window.kelvo.nextFrame(n), warm);
  const first = await page.evaluate(() => window.__trace.ticks.length);
  await page.evaluate((n) => window.kelvo.nextFrame(window.kelvo.frame + n), frames);
  const result = await page.evaluate((first) => {
    const ticks = window.__trace.ticks;
    const last = ticks.length - 1;
    return {ms: (ticks[last].at - ticks[first].at) / (last - first), firstFrame: window.kelvo.clickToFirstFrame,
      frame: last - 1};
  }, first);
  const box = await page.evaluate(() => document.querySelector('canvas.picture').getBoundingClientRect().toJSON());
  await page.keyboard.press('Escape');
  await page.waitForFunction(() => window.kelvo.state === 'ended', {timeout: 60000});
  say(`its frame ${result.frame}: ${result.ms.toFixed(1)} ms; replaying it`);
  result.replay = await replay(page, result.frame, frames, box);
  await page.close();
  return result;
}

const server = await serve();
const browser = await puppeteer.launch({executablePath: '/usr/bin/chromium', headless: true, protocolTimeout: 600000,
  args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--mute-audio',
    '--disable-frame-rate-limit', '--disable-gpu-vsync', '--window-size=1280,720']});
const version = await browser.version();
// Three rounds of each, taken in turns; the median of each figure, since a busy machine's
// figures wander from one run to the next.
const rounds = Number(options.rounds || 3);
const median = (values) => values.slice().sort((a, b) => a - b)[Math.floor(values.length / 2)];
const glowRuns = [], plainRuns = [];
for (let round = 0; round < rounds; round++) {
  glowRuns.push(await measure(browser, server.url, ''));
  plainRuns.push(await measure(browser, server.url, '?KELVO_NO_RECTANGLE_TEXTURES=1'));
}
const summary = (runs) => ({ms: median(runs.map((r) => r.ms)), replay: {ms: median(runs.map((r) => r.replay.ms)),
  calls: runs[0].replay.calls}, each: runs.map((r) => `${r.ms.toFixed(1)}/${r.replay.ms.toFixed(1)}`).join(' ')});
const glow = summary(glowRuns), plain = summary(plainRuns);
// The click to the first frame: once a measure, three more times (a fresh page each time).
const clicks = glowRuns.concat(plainRuns).map((r) => r.firstFrame);
for (let i = 0; i < 3; i++) {
  const page = await browser.newPage();
  await page.goto(server.url);
  await page.waitForFunction(() => window.kelvo && window.kelvo.dialog, {timeout: 120000});
  await (await page.$$('#dialog-buttons button'))[1].click();
  await page.evaluate(() => window.kelvo.nextFrame(1));
  clicks.push(await page.evaluate(() => window.kelvo.clickToFirstFrame));
  await page.close();
}
await browser.close();
server.stop();

// ---- The native frame on this machine.

const native = spawnSync(benchFrame, [], {encoding: 'utf8', env: Object.assign({}, process.env, {SDL_VIDEODRIVER: 'offscreen'})});
const nativeWhole = /whole frame with swap:\s+([\d.]+) ms/.exec(native.stdout || '');
const nativeGlow = /ApplyGlow\s+([\d.]+) ms/.exec(native.stdout || '');
const renderer = /renderer: (.*)/.exec(native.stdout || '');

// ---- The figures.

const ratio = (a, b) => (a / b).toFixed(2);
clicks.sort((a, b) => a - b);
console.log(`browser: ${version}, WebGL on SwiftShader (CPU), ${frames} frames a measure, median of ${rounds}`);
console.log(`web frame, glow on:        ${glow.ms.toFixed(1)} ms   bare WebGL replay: ${glow.replay.ms.toFixed(1)} ms ` +
  `(${glow.replay.calls} calls)   ratio ${ratio(glow.ms, glow.replay.ms)}   (each web/replay: ${glow.each})`);
console.log(`web frame, glow off:       ${plain.ms.toFixed(1)} ms   bare WebGL replay: ${plain.replay.ms.toFixed(1)} ms ` +
  `(${plain.replay.calls} calls)   ratio ${ratio(plain.ms, plain.replay.ms)}   (each web/replay: ${plain.each})`);
if (nativeWhole)
  console.log(`native bench_frame:        ${nativeWhole[1]} ms with swap (glow ${nativeGlow ? nativeGlow[1] : '?'} ms)` +
    (renderer ? ` on ${renderer[1]}` : ''));
else
  console.log(`native bench_frame:        not run (${benchFrame}: ${native.error ? native.error.message : 'no figure'})`);
console.log(`kelvo.wasm:                ${kb(sizes.wasm.raw)} raw, ${kb(sizes.wasm.gzip)} gzipped`);
console.log(`kelvo.js:                  ${kb(sizes.js.raw)} raw, ${kb(sizes.js.gzip)} gzipped`);
console.log(`kelvo_page.js:             ${kb(sizes.page.raw)} raw, ${kb(sizes.page.gzip)} gzipped`);
console.log(`wasm and JS together:      ${kb(total.raw)} raw, ${kb(total.gzip)} gzipped`);
console.log(`click to first frame:      ${clicks.map((c) => c.toFixed(0)).join(', ')} ms (median ${clicks[Math.floor(clicks.length / 2)].toFixed(0)} ms)`);
