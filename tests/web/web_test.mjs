// The web build in real browsers: headless Chromium (Debian's, SwiftShader's WebGL on the CPU)
// and Firefox ESR (Debian's, on an Xvfb display of the run's own, since headless Firefox has no
// WebGL; Mesa's llvmpipe) driven by puppeteer-core (CDP for Chromium, WebDriver BiDi for
// Firefox), against the site `make web` put in build-web/. One group of checks a run; each check
// prints "ok: ..." or "FAILED: ...", and the run exits 1 when any failed, 77 (skipped, with a line
// saying why) when there is no site to test or the group's browser cannot be installed or started.
//
//   node tests/web/web_test.mjs GROUP --site DIR --wasm DIR --frame-tool PATH --sound-check PATH
//        --data DIR --work DIR
//
// Groups: page (the start question and its keys, the picture's size, the keys, the end, playing
// again, touch on an emulated phone, #t=), network (downloads that stall, drop or are refused, a
// file the server lacks, compression), firefox (the dialog, a frame against the frame tool's, the
// music into a PulseAudio null sink with the clock following it, the keys, the end), picture (frames against the frame tool's at the clock each was drawn at), data (missing
// music, damaged images), sound (the web sound layer's audio and positions against the Linux
// layer's; the clock before and after the page's first click), gl (the window and GL subsets'
// edges, kelvo_gl_check). Every page is watched for requests that leave its own origin.
//
// The checks wait for what they look for (a dialog, a frame, a clock, a line), never for a fixed
// time; every wait has a bound, past which the check fails.
import {spawn, execFileSync, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {fileURLToPath} from 'node:url';
import {readPng, writePng, flipRows, comparePictures} from './png.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '../..');

// ---- Arguments and what the run needs.

const options = {group: process.argv[2]};
for (let i = 3; i + 1 < process.argv.length; i += 2)
  options[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];
const site = path.resolve(options.site || path.join(root, 'build-web'));
const wasmDir = path.resolve(options.wasm || path.join(root, 'build-wasm'));
const work = path.resolve(options.work || path.join(root, 'build', 'web-test', options.group || 'none'));
const dataDir = path.resolve(options.data || path.join(root, 'data'));

if (!fs.existsSync(path.join(site, 'index.html'))) {
  // Where make web found no libpng and zlib sources, its line says which to give.
  const missing = path.join(wasmDir, 'library-sources-missing.txt');
  const why = fs.existsSync(missing) ? fs.readFileSync(missing, 'utf8').trim()
    : 'make web builds it, and make test does';
  console.log(`skipped: no web build in ${site} (${why})`);
  process.exit(77);
}
const chromium = ['/usr/bin/chromium', '/usr/bin/chromium-browser'].find((file) => fs.existsSync(file));
const firefox = ['/usr/bin/firefox-esr', '/usr/bin/firefox'].find((file) => fs.existsSync(file));
if (options.group === 'firefox' ? !firefox : !chromium) {
  console.log(`skipped: no ${options.group === 'firefox' ? 'Firefox' : 'Chromium'} to run the web build in ` +
    `(tools/setup.sh --web installs Debian's ${options.group === 'firefox' ? 'firefox-esr' : 'chromium'})`);
  process.exit(77);
}
let puppeteer;
try {
  puppeteer = (await import(path.join(here, 'node_modules/puppeteer-core/lib/esm/puppeteer/puppeteer-core.js'))).default;
} catch (e) {
  console.log('FAILED: no browser driver in tests/web/node_modules (make web-test-deps runs npm ci there)');
  process.exit(1);
}
fs.rmSync(work, {recursive: true, force: true});
fs.mkdirSync(work, {recursive: true});

let failures = 0;
function check(holds, what) {
  console.log(`${holds ? 'ok' : 'FAILED'}: ${what}`);
  if (!holds)
    failures++;
  return holds;
}

// ---- Servers, browsers and pages, ended however the run ends.

const ending = [];
process.on('exit', () => {
  for (const end of ending)
    try { end(); } catch (e) {}
});
for (const signal of ['SIGINT', 'SIGTERM', 'SIGHUP'])
  process.on(signal, () => process.exit(1));

// Serves the site, with `overlay` (files replacing the site's, NAME.missing for a 404) over it.
async function serve(overlay) {
  const args = [path.join(root, 'tools/serve_web.mjs'), site, '0', '--quiet'];
  if (overlay)
    args.push('--overlay', overlay);
  const server = spawn(process.execPath, args, {stdio: ['ignore', 'pipe', 'inherit']});
  ending.push(() => server.kill());
  const url = await new Promise((resolve, reject) => {
    server.stdout.once('data', (data) => resolve(String(data).split('\n')[0].trim()));
    server.once('exit', () => reject(new Error('the test server did not start')));
  });
  return {url, stop: () => server.kill()};
}

// Chromium headless with WebGL on SwiftShader; `autoplay` lets audio start without a click.
async function launch(autoplay) {
  const args = ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--mute-audio',
    '--disable-background-timer-throttling', '--disable-renderer-backgrounding', '--window-size=1280,720'];
  if (autoplay)
    args.push('--autoplay-policy=no-user-gesture-required');
  const browser = await puppeteer.launch({executablePath: chromium, headless: true, args, protocolTimeout: 300000});
  ending.push(() => browser.process() && browser.process().kill('SIGKILL'));
  return browser;
}

// A page of `browser` at `url`, with its console, errors and requests kept; `before` runs in the
// page before its own scripts.
async function open(browser, url, viewport, before) {
  const page = await browser.newPage();
  if (viewport !== false)
    await page.setViewport(viewport || {width: 1280, height: 720});
  if (before)
    await page.evaluateOnNewDocument(before);
  const watch = {console: [], errors: [], offOrigin: []};
  const origin = new URL(url).origin;
  page.on('console', (message) => watch.console.push({type: message.type(), text: message.text()}));
  page.on('pageerror', (error) => {
    if (!/ExitStatus/.test(String(error.message || error)))
      watch.errors.push(String(error.message || error));
  });
  page.on('request', (request) => {
    const requested = new URL(request.url());
    if (requested.protocol !== 'data:' && requested.protocol !== 'blob:' && requested.origin !== origin)
      watch.offOrigin.push(request.url());
  });
  page.watch = watch;
  await page.goto(url, {waitUntil: 'load'});
  return page;
}

function consoleHas(page, predicate) {
  return page.watch.console.some(predicate);
}

// Waits until `predicate` holds in the page (a function of no arguments, or with `arg`).
async function until(page, predicate, arg, seconds) {
  try {
    await page.waitForFunction(predicate, {timeout: (seconds || 120) * 1000, polling: 50}, arg);
    return true;
  } catch (e) {
    return false;
  }
}

// Waits for a console line that `predicate` accepts.
async function untilConsole(page, predicate, seconds) {
  const limit = Date.now() + (seconds || 120) * 1000;
  while (Date.now() < limit) {
    if (consoleHas(page, predicate))
      return true;
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
  return false;
}

// Ends a page's checks: nothing it asked for left its origin, and no script error.
function pageClean(page, what) {
  check(page.watch.offOrigin.length === 0, `${what}: no request left the page's origin` +
    (page.watch.offOrigin.length ? ` (${page.watch.offOrigin.slice(0, 3).join(', ')})` : ''));
  check(page.watch.errors.length === 0, `${what}: no script error` +
    (page.watch.errors.length ? ` (${page.watch.errors.slice(0, 3).join('; ')})` : ''));
}

// Answers the start question with a real click (a user gesture) on its button.
async function answer(page, label) {
  if (!await until(page, () => window.kelvo && window.kelvo.dialog))
    return false;
  const buttons = await page.$$('#dialog-buttons button');
  for (const button of buttons) {
    if (await button.evaluate((b) => b.textContent) === label) {
      await button.click();
      return true;
    }
  }
  return false;
}

// The next frame numbered `from` or later: {frame, clock}, with its picture (top row first) when
// `capture`; null when the demo ends first.
async function nextFrame(page, from, capture) {
  const shot = await page.evaluate(async (from, capture) => {
    const s = await window.kelvo.nextFrame(from, capture);
    if (!s)
      return null;
    if (!capture)
      return {frame: s.frame, clock: s.clock};
    let text = '';
    for (let i = 0; i < s.pixels.length; i += 32768)
      text += String.fromCharCode.apply(null, s.pixels.subarray(i, i + 32768));
    return {frame: s.frame, clock: s.clock, width: s.width, height: s.height, pixels: btoa(text)};
  }, from || 0, !!capture);
  if (shot && capture)
    shot.rgba = flipRows(shot.width, shot.height, new Uint8Array(Buffer.from(shot.pixels, 'base64')));
  return shot;
}

async function state(page) {
  return page.evaluate(() => ({state: window.kelvo.state, frame: window.kelvo.frame, clock: window.kelvo.clock,
    exitCode: window.kelvo.exitCode, fullscreen: window.kelvo.fullscreen, audio: window.kelvo.audioState,
    now: performance.now()}));
}

// Taps a key: pressed in one frame's time, released in the next one.
async function tap(page, code) {
  const frame = (await state(page)).frame;
  await page.keyboard.down(code);
  await nextFrame(page, frame + 1);
  await page.keyboard.up(code);
}

// ---- Pictures.

// The frame tool's picture at `clock`, with `env` added to its environment.
function nativeFrame(clock, env, data) {
  const out = path.join(work, `native-${clock}${env ? '-' + Object.values(env).join('-') : ''}.png`);
  const args = data ? ['--data', data, String(clock), out] : [String(clock), out];
  execFileSync(options['frame-tool'], args, {env: Object.assign({}, process.env, env || {}), stdio: ['ignore', 'ignore', 'pipe']});
  return readPng(out);
}

// How close the two GLs' frames must be. The web frame is drawn by WebGL on SwiftShader, the
// frame tool's by Mesa's llvmpipe. Both hold every blend and copy at 8 bits, but may round a step
// a level apart: the glow lays its half-size blurred image over the frame four times, so one
// level of rounding in the blur shows as 4 (and the final add as one more) on the pixels where the
// blur lands near a half level; and a bar's edge or a texel boundary exactly on a pixel's sampling
// point may fall either way, a whole colour apart, on a few pixels along the edges. Allowed: a mean
// difference of at most 0.5 levels a channel, at most 4 % of the pixels more than 4 levels apart
// (measured: up to 1.4 %), at most 0.5 % more than 8 apart and 0.2 % more than 16 (measured: up
// to 0.03 %). A mistake in the drawing (a layer, a texture's row order, a blend, the glow's
// offsets or weights) moves a large part of the picture by far more.
const Tolerance = {mean: 0.5, over4: 0.04, over8: 0.005, over16: 0.002};

function samePicture(web, native, what) {
  const diff = comparePictures(web.rgba, native.rgba);
  const holds = web.width === native.width && web.height === native.height && diff.mean <= Tolerance.mean &&
    diff.over4 <= Tolerance.over4 && diff.over8 <= Tolerance.over8 && diff.over16 <= Tolerance.over16;
  const name = what.replace(/[^a-z0-9]+/gi, '-');
  if (!holds) {
    writePng(path.join(work, `${name}-web.png`), web.width, web.height, web.rgba);
    writePng(path.join(work, `${name}-native.png`), native.width, native.height, native.rgba);
  }
  check(holds, `${what}: mean difference ${diff.mean.toFixed(3)} levels, ${(diff.over4 * 100).toFixed(2)} % ` +
    `of the pixels more than 4 apart, ${(diff.over8 * 100).toFixed(3)} % more than 8, ` +
    `${(diff.over16 * 100).toFixed(3)} % more than 16, largest ${diff.largest}` +
    (holds ? '' : ` (pictures in ${work})`));
}

// ---- The groups.

const groups = {};

groups.page = async function () {
  const server = await serve(null);
  const browser = await launch(false);
  const page = await open(browser, server.url);

  // The start question, answered No: a window, not fullscreen.
  check(await until(page, () => window.kelvo && window.kelvo.dialog), 'the start question is asked');
  const dialog = await page.evaluate(() => window.kelvo.dialog);
  check(dialog && dialog.caption === 'Start FullScreen?' && dialog.text === 'Would You Like To Run In Fullscreen Mode?' &&
    dialog.buttons.join() === 'Yes,No', `it is the Part's question with Yes and No: ${JSON.stringify(dialog)}`);
  check(await page.evaluate(() => window.kelvo.frame === 0), 'nothing is drawn while it is asked');
  const help = await page.evaluate(() => {
    const element = document.getElementById('help');
    return element && element.offsetParent !== null ? element.innerText : '';
  });
  check(/Esc/.test(help) && !/touch/.test(help), `meanwhile the page says which keys do what, to a mouse and keyboard (${help})`);
  // The page is painted before its downloads begin, so that its first paint is its content.
  const order = await page.evaluate(() => {
    const paint = performance.getEntriesByName('first-contentful-paint')[0];
    const fetches = performance.getEntriesByType('resource').filter((r) => r.initiatorType === 'fetch');
    return {paint: paint ? Math.round(paint.startTime) : null, fetches: fetches.length,
      first: fetches.length ? Math.round(Math.min(...fetches.map((r) => r.startTime))) : null};
  });
  check(order.paint !== null && order.fetches >= 5 && order.first >= order.paint,
    `the downloads start after the first paint (${JSON.stringify(order)})`);

  // The keyboard: the question is a modal dialog named by its caption and text; Tab goes round its
  // buttons only, the focused one shows its ring, and Enter presses the focused button.
  const focused = () => page.evaluate(() => {
    const element = document.activeElement;
    const style = getComputedStyle(element);
    return {text: element.textContent, inDialog: !!element.closest('#dialog'),
      ring: style.outlineStyle !== 'none' && parseFloat(style.outlineWidth) >= 2};
  });
  const modal = await page.evaluate(() => {
    const box = document.getElementById('dialog');
    const named = (attribute) => document.getElementById(box.getAttribute(attribute)).textContent;
    return {modal: box.matches(':modal'), role: box.getAttribute('role'), name: named('aria-labelledby'),
      description: named('aria-describedby'), footerInert: !!document.getElementById('about').closest('[inert]') ||
        document.elementFromPoint(5, document.documentElement.clientHeight - 5) !== document.getElementById('about')};
  });
  const tree = await page.accessibility.snapshot({interestingOnly: true});
  const find = (node, role) => node && (node.role === role ? node : (node.children || []).map((c) => find(c, role)).find((c) => c));
  const spoken = find(tree, 'alertdialog');
  const announced = spoken && spoken.name === 'Start FullScreen?' && spoken.description === 'Would You Like To Run In Fullscreen Mode?' ? spoken : null;
  check(modal.modal && modal.role === 'alertdialog' && modal.name === 'Start FullScreen?' &&
    modal.description === 'Would You Like To Run In Fullscreen Mode?' && announced !== null,
  `the question is a modal alert dialog, announced with its caption and text (${JSON.stringify(modal)}, ` +
  `${JSON.stringify(spoken && {name: spoken.name, description: spoken.description})})`);
  const atStart = await focused();
  check(atStart.text === 'Yes' && atStart.ring, `the default button, Yes, has the focus, its ring shown (${JSON.stringify(atStart)})`);
  const round = [];
  for (const shift of [false, false, false, true]) {
    if (shift)
      await page.keyboard.down('Shift');
    await page.keyboard.press('Tab');
    if (shift)
      await page.keyboard.up('Shift');
    round.push(await focused());
  }
  check(round.map((f) => f.text).join() === 'No,Yes,No,Yes' && round.every((f) => f.inDialog && f.ring),
    `Tab and Shift+Tab go round the dialog's buttons, never out of it (${round.map((f) => f.text).join(', ')})`);
  await page.keyboard.press('Tab');
  check((await focused()).text === 'No', 'No has the focus');
  await page.keyboard.press('Enter');
  const first = await nextFrame(page, 1);
  check(first !== null, `answered No, the demo draws (first frame at clock ${first && first.clock})`);
  const box = await page.evaluate(() => {
    const canvas = document.querySelector('canvas.picture');
    const r = canvas.getBoundingClientRect();
    return {width: canvas.width, height: canvas.height, x: r.x, y: r.y, w: r.width, h: r.height};
  });
  check(box.width === 800 && box.height === 600, `the picture is 800 x 600 (${box.width} x ${box.height})`);
  check(box.w === 960 && box.h === 720 && box.x === 160 && box.y === 0,
    `in a 1280 x 720 page it is scaled to 960 x 720 with 4:3 kept, centred (${box.w} x ${box.h} at ${box.x}, ${box.y})`);
  check(!(await state(page)).fullscreen, 'Enter on No answers No: the page is not fullscreen');
  check(await page.evaluate(() => getComputedStyle(document.getElementById('touch')).display === 'none'),
    'with a mouse, no touch buttons over the picture');
  check(await until(page, (c) => window.kelvo.clock > c + 500, first.clock, 60),
    'the music is the clock: after the click the picture moves with it');
  check((await state(page)).audio === 'running', 'the click that answered let the music play (AudioContext running)');

  // N goes back; a tap is enough.
  const before = (await state(page)).clock;
  await tap(page, 'KeyN');
  check(await until(page, (c) => window.kelvo.clock < c, before, 30), `N seeks back (from ${before} ms)`);

  // The page larger: the picture scales with it, 4:3 kept.
  await page.setViewport({width: 1000, height: 1000});
  check(await until(page, () => {
    const r = document.querySelector('canvas.picture').getBoundingClientRect();
    return r.width === 1000 && r.height === 750 && r.y === 125;
  }, null, 30), 'a 1000 x 1000 page shows it 1000 x 750, 4:3 kept, centred');
  await page.setViewport({width: 1280, height: 720});

  // Escape ends it; the page offers to play again.
  await tap(page, 'Escape');
  check(await until(page, () => window.kelvo.state === 'ended', null, 30), 'Escape ends the demo');
  const ended = await page.evaluate(() => ({code: window.kelvo.exitCode, shown: !document.getElementById('ended').hidden,
    canvases: document.querySelectorAll('canvas').length, again: document.getElementById('again').textContent}));
  check(ended.code === 0 && ended.shown && ended.again === 'Play again' && ended.canvases === 0,
    `it ends with status 0, its window gone, and the page offers to play again (${JSON.stringify(ended)})`);
  const endedFrame = (await state(page)).frame;

  // Play again: the question again, answered Yes: fullscreen, the picture scaled to the screen.
  await page.click('#again');
  check(await until(page, () => window.kelvo.dialog !== null, null, 60), 'playing again asks the start question again');
  check((await state(page)).frame === 0 || (await state(page)).frame < endedFrame, 'a new instance of the program runs');
  await answer(page, 'Yes');
  const yes = await nextFrame(page, 1);
  const full = await page.evaluate(() => {
    const r = document.querySelector('canvas.picture').getBoundingClientRect();
    return {fullscreen: window.kelvo.fullscreen, dialog: window.kelvo.dialog, w: r.width, h: r.height,
      screenW: document.getElementById('stage').clientWidth, screenH: document.getElementById('stage').clientHeight};
  });
  check(yes !== null && full.fullscreen && full.dialog === null,
    `answered Yes, the page goes fullscreen (the click is the gesture the browser asks for): ${JSON.stringify(full)}`);
  check(Math.abs(full.w / full.h - 4 / 3) < 0.01 && (Math.abs(full.w - full.screenW) <= 1 || Math.abs(full.h - full.screenH) <= 1),
    `fullscreen, the picture fills the screen with 4:3 kept (${full.w} x ${full.h} on ${full.screenW} x ${full.screenH})`);

  // F1 switches to a window, and the picture goes on from the music's clock.
  const beforeF1 = await state(page);
  await tap(page, 'F1');
  check(await until(page, () => !window.kelvo.fullscreen, null, 30), 'F1 leaves fullscreen');
  const afterF1 = await nextFrame(page, beforeF1.frame + 2);
  check(afterF1 && afterF1.clock >= beforeF1.clock && await page.evaluate(() => document.querySelectorAll('canvas').length === 1),
    `after F1 one new window draws on from the music's clock (${beforeF1.clock} then ${afterF1 && afterF1.clock} ms)`);

  // M held runs the music to 142 s, and the demo ends by itself.
  await page.keyboard.down('KeyM');
  check(await until(page, () => window.kelvo.state === 'ended', null, 240), 'M held seeks on to the end, and the demo ends by itself');
  await page.keyboard.up('KeyM');
  const last = await state(page);
  check(last.exitCode === 0 && last.clock >= 141000, `it ends with status 0 near 142 s (last frame shown at ${last.clock} ms)`);
  pageClean(page, 'the demo page');
  await page.close();

  // A phone (390 x 844 at 3x, touch): the touch buttons and the help speak of touch, every button
  // is large enough for a finger, upright the page suggests turning it.
  const phone = await open(browser, server.url, {width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true});
  check(await until(phone, () => window.kelvo && window.kelvo.dialog), 'on a phone the start question is asked');
  const sizes = (selector) => phone.evaluate((selector) => Array.from(document.querySelectorAll(selector)).map((b) => {
    const r = b.getBoundingClientRect();
    return [Math.round(r.width), Math.round(r.height)];
  }), selector);
  const phoneHelp = await phone.evaluate(() => document.getElementById('help').innerText);
  check(/tap/.test(phoneHelp) && !/Esc/.test(phoneHelp), `the help speaks of taps on a touch screen (${phoneHelp})`);
  const dialogSizes = await sizes('#dialog-buttons button');
  check(dialogSizes.length === 2 && dialogSizes.every(([w, h]) => w >= 44 && h >= 44),
    `the dialog's buttons are at least 44 x 44 CSS px (${JSON.stringify(dialogSizes)})`);
  const noButton = await phone.$('#dialog-buttons button[data-id="7"]');
  const noBox = await noButton.boundingBox();
  await phone.touchscreen.tap(noBox.x + noBox.width / 2, noBox.y + noBox.height / 2);
  const phoneFirst = await nextFrame(phone, 2);
  check(phoneFirst !== null, 'a tap on No starts the demo');
  const touchSizes = await sizes('#touch button');
  check(touchSizes.length === 4 && touchSizes.every(([w, h]) => w >= 44 && h >= 44),
    `the four touch buttons show, each at least 44 x 44 CSS px (${JSON.stringify(touchSizes)})`);
  const turn = () => phone.evaluate(() => getComputedStyle(document.getElementById('turn')).display !== 'none');
  check(await turn(), 'upright, the page suggests turning the phone');
  await phone.setViewport({width: 844, height: 390, deviceScaleFactor: 3, isMobile: true, hasTouch: true});
  check(await until(phone, () => getComputedStyle(document.getElementById('turn')).display === 'none', null, 10),
    'turned sideways, the suggestion goes');
  const touchBefore = (await state(phone)).clock;
  const forwardBox = await (await phone.$('#touch button[data-key="M"]')).boundingBox();
  await phone.touchscreen.touchStart(forwardBox.x + forwardBox.width / 2, forwardBox.y + forwardBox.height / 2);
  const seeked = await until(phone, (c) => window.kelvo.clock > c + 3000, touchBefore, 60);
  await phone.touchscreen.touchEnd();
  check(seeked, `holding the forward button seeks as M does (from ${touchBefore} ms)`);
  const crossBox = await (await phone.$('#touch button[data-key="Escape"]')).boundingBox();
  await phone.touchscreen.tap(crossBox.x + crossBox.width / 2, crossBox.y + crossBox.height / 2);
  check(await until(phone, () => window.kelvo.state === 'ended', null, 30), 'the cross button ends the demo as Escape does');
  const againSize = await sizes('#again');
  check(againSize.length === 1 && againSize[0][0] >= 44 && againSize[0][1] >= 44, `Play again is at least 44 x 44 CSS px (${againSize})`);
  pageClean(phone, 'the phone page');
  await phone.close();

  // #t=140: after the start question the music starts there, ends 2 s later; Play again (its
  // button focused, Enter pressing it) plays from the start.
  const moment = await open(browser, server.url + '#t=140');
  await answer(moment, 'No');
  const at = await nextFrame(moment, 1);
  check(at && at.clock >= 140000 && at.clock < 142000, `#t=140 starts the music at 140 s (first frame at ${at && at.clock} ms)`);
  check(await until(moment, () => window.kelvo.state === 'ended', null, 60), 'and it ends by itself at 142 s');
  const endFocus = await moment.evaluate(() => {
    const element = document.activeElement;
    const style = getComputedStyle(element);
    const panel = document.getElementById('ended');
    return {id: element.id, ring: style.outlineStyle !== 'none', role: panel.getAttribute('role'),
      name: document.getElementById(panel.getAttribute('aria-labelledby')).textContent};
  });
  check(endFocus.id === 'again' && endFocus.ring && endFocus.role === 'dialog' && endFocus.name === 'The end',
    `the end is a dialog named "The end" with Play again focused, its ring shown (${JSON.stringify(endFocus)})`);
  await moment.keyboard.press('Enter');
  check(await answer(moment, 'No'), 'Enter on Play again asks the start question again');
  const again = await nextFrame(moment, 1);
  check(again && again.clock < 3000, `playing again starts at 0 s, not at #t= (first frame at ${again && again.clock} ms)`);
  pageClean(moment, 'the #t= page');
  await browser.close();
  server.stop();
};

// A bad network: the site served with `controls` (overlay files, see tools/serve_web.mjs), the
// page's bound on a download without progress at `stall` seconds.
async function badNetwork(browser, name, controls, stall) {
  const folder = path.join(work, name);
  for (const [file, content] of Object.entries(controls)) {
    fs.mkdirSync(path.dirname(path.join(folder, file)), {recursive: true});
    fs.writeFileSync(path.join(folder, file), content);
  }
  const server = await serve(folder);
  const page = await open(browser, server.url, null, `window.kelvoStallSeconds = ${stall};`);
  return {server, page};
}

const failedLoad = () => window.kelvo && window.kelvo.state === 'load-failed' &&
  getComputedStyle(document.getElementById('retry')).display !== 'none';

groups.network = async function () {
  const browser = await launch(false);
  const musicSize = fs.statSync(path.join(site, 'data/music.mp3')).size;
  const mb = (bytes) => (bytes / 1e6).toFixed(1) + ' MB';

  // The music stalls after 1 MiB: within the bound a line names it with what arrived, and "Try
  // again" completes the load; the loading line gave the total meanwhile.
  let {server, page} = await badNetwork(browser, 'stall', {'data/music.mp3.stall': '1048576'}, 2);
  const started = Date.now();
  check(await until(page, () => window.kelvo && window.kelvo.files.some((f) => f.name === 'data/music.mp3' && f.received >= 1048576), null, 30),
    'the stalled download has its first 1 MiB');
  const line = await page.evaluate(() => document.getElementById('progress-text').textContent);
  check(/^Loading… \d+\.\d of \d+\.\d MB/.test(line), `meanwhile the loading line gives the total (${line})`);
  check(await until(page, failedLoad, null, 30), `a stalled download ends the load within the bound (${Date.now() - started} ms)`);
  const stalledLine = `kelvo: data/music.mp3: not fetched (the download stalled: ${mb(1048576)} of ${mb(musicSize)} arrived, then nothing for 2 s)`;
  const shown = await page.evaluate(() => window.kelvo.shown);
  check(shown.length === 1 && shown[0] === stalledLine, `one line names the file and what arrived: ${JSON.stringify(shown)}`);
  const retryFocused = await page.evaluate(() => document.activeElement.id === 'retry');
  check(retryFocused, '"Try again" is offered, focused');
  await page.click('#retry');
  check(await until(page, () => window.kelvo.dialog !== null, null, 60), '"Try again" completes the load: the start question is asked');
  check((await page.evaluate(() => window.kelvo.shown)).length === 0, 'and the line about the stall is gone');
  await answer(page, 'No');
  const first = await nextFrame(page, 2);
  check(first && await until(page, (c) => window.kelvo.clock > c + 300, first.clock, 30), 'the demo runs with its music, the clock moving');
  pageClean(page, 'the stalled page');
  await page.close();
  server.stop();

  // The program's connection dropped mid-file while the music is on its way: the drop is named,
  // the music's download is stopped at once (long before its own bound), "Try again" fetches both.
  ({server, page} = await badNetwork(browser, 'drop', {'kelvo.wasm.drop': '100000', 'data/music.mp3.stall': '500000'}, 60));
  const dropAt = Date.now();
  check(await until(page, failedLoad, null, 30), `a dropped program ends the load (${Date.now() - dropAt} ms, the stall bound 60 s)`);
  const dropped = await page.evaluate(() => ({shown: window.kelvo.shown, files: window.kelvo.files}));
  const wasmSize = fs.statSync(path.join(site, 'kelvo.wasm')).size;
  check(dropped.shown.length === 1 && dropped.shown[0] === `kelvo: kelvo.wasm: not fetched (the connection was dropped after ${mb(100000)} of ${mb(wasmSize)})`,
    `the line names the dropped connection: ${JSON.stringify(dropped.shown)}`);
  const music = dropped.files.find((f) => f.name === 'data/music.mp3');
  check(music.state === 'stopped', `the music's download was stopped with it (${JSON.stringify(music)})`);
  await page.click('#retry');
  check(await until(page, () => window.kelvo.dialog !== null, null, 60), '"Try again" fetches the program and the music: the question is asked');
  pageClean(page, 'the dropped page');
  await page.close();
  server.stop();

  // A data file the server lacks and one it refuses: the refusal named and tried again; the
  // missing one is the desktop's "missing", and the bar still reaches its end.
  ({server, page} = await badNetwork(browser, 'refuse', {'data/bg.png.missing': '', 'data/fg.png.refuse': '503'}, 10));
  check(await until(page, failedLoad, null, 30), 'a refused file ends the load');
  const refused = await page.evaluate(() => window.kelvo.shown);
  check(refused.length === 1 && refused[0] === 'kelvo: data/fg.png: not fetched (the server answered 503 Service Unavailable)',
    `the line gives the server's answer: ${JSON.stringify(refused)}`);
  await page.click('#retry');
  check(await until(page, () => window.kelvo.dialog !== null, null, 60), '"Try again" completes the load');
  const bar = await page.evaluate(() => document.getElementById('progress').getAttribute('aria-valuenow'));
  check(bar === '100', `with bg.png answered 404, the bar reaches 100 % (${bar} %)`);
  await answer(page, 'No');
  const missingLine = 'kelvo: data/bg.png: missing; the background is drawn without its image';
  check(await until(page, (l) => window.kelvo.messages.some((m) => m.startsWith(l.split(';')[0])), missingLine, 30),
    'the demo runs and says that bg.png is missing, as the desktop does');
  // Text and WebAssembly come compressed from make serve-web.
  const encodings = await page.evaluate(async () => {
    const result = {};
    for (const name of ['kelvo.wasm', 'kelvo.js', 'kelvo_page.js', 'data/music.mp3'])
      result[name] = (await fetch(name)).headers.get('Content-Encoding');
    return result;
  });
  check(encodings['kelvo.wasm'] === 'gzip' && encodings['kelvo.js'] === 'gzip' && encodings['kelvo_page.js'] === 'gzip' &&
    encodings['data/music.mp3'] === null, `the server gzips text and WebAssembly, not the MP3 (${JSON.stringify(encodings)})`);
  pageClean(page, 'the refused page');
  await browser.close();
  server.stop();
};

// ---- Firefox: on an Xvfb display and a PulseAudio server of the run's own.

// Waits for `probe` (a function returning true when ready) for at most `seconds`.
async function poll(probe, seconds) {
  const limit = Date.now() + seconds * 1000;
  while (Date.now() < limit) {
    if (await probe())
      return true;
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  return false;
}

function skip(why) {
  console.log(`skipped: ${why}`);
  process.exit(77);
}

// An Xvfb display of this run's own (the server picks a free number and tells it): ":N".
async function startXvfb() {
  const x = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1280x800x24', '-nolisten', 'tcp'],
    {stdio: ['ignore', 'ignore', 'pipe', 'pipe']});
  ending.push(() => x.kill());
  let errors = '';
  x.stderr.on('data', (data) => errors += data);
  const number = await new Promise((resolve) => {
    const timer = setTimeout(() => resolve(null), 30000);
    x.stdio[3].on('data', (data) => {
      clearTimeout(timer);
      resolve(String(data).trim());
    });
    x.on('error', () => resolve(null));
    x.on('exit', () => resolve(null));
  });
  if (!number)
    throw new Error(`Xvfb did not start (${errors.trim().split('\n').slice(-2).join('; ')})`);
  return ':' + number;
}

// A PulseAudio server with a null sink as its only device, found through `folder` alone; the
// environment that reaches it.
async function startPulse(folder) {
  fs.mkdirSync(path.join(folder, 'runtime'), {recursive: true});
  const env = Object.assign({}, process.env, {HOME: folder, XDG_RUNTIME_DIR: folder,
    PULSE_RUNTIME_PATH: path.join(folder, 'runtime'), PULSE_STATE_PATH: folder, PULSE_SERVER: `unix:${folder}/native`});
  const pulse = spawn('pulseaudio', ['-n', '--daemonize=no', '--exit-idle-time=-1', '--disable-shm=yes', '--use-pid-file=no',
    '-L', 'module-null-sink sink_name=kelvo_test', '-L', `module-native-protocol-unix socket=${folder}/native auth-anonymous=1`],
  {env, stdio: 'ignore'});
  ending.push(() => pulse.kill());
  const up = await poll(() => spawnSync('pactl', ['info'], {env, stdio: 'ignore'}).status === 0, 30);
  if (!up)
    throw new Error('the PulseAudio server did not start');
  return env;
}

// What plays into the null sink now: pactl's lines, one a stream.
function sinkInputs(env) {
  const run = spawnSync('pactl', ['list', 'short', 'sink-inputs'], {env, encoding: 'utf8'});
  return run.status === 0 ? run.stdout.split('\n').filter((l) => l.trim()) : [];
}

groups.firefox = async function () {
  for (const tool of ['Xvfb', 'pulseaudio', 'pactl'])
    if (spawnSync('sh', ['-c', `command -v ${tool}`]).status !== 0)
      skip(`no ${tool} for the Firefox run (tools/setup.sh --test installs it)`);
  const server = await serve(null);
  const display = await startXvfb();
  const env = await startPulse(path.join(work, 'pulse'));
  let browser;
  try {
    browser = await puppeteer.launch({browser: 'firefox', executablePath: firefox, headless: false,
      env: Object.assign({}, env, {DISPLAY: display}), args: ['--width=1280', '--height=800'], protocolTimeout: 300000});
  } catch (e) {
    skip(`Firefox (${firefox}) did not start: ${String(e && e.message || e).split('\n')[0]}`);
  }
  ending.push(() => browser.process() && browser.process().kill('SIGKILL'));
  const page = await open(browser, server.url);

  check(await until(page, () => window.kelvo && window.kelvo.dialog), 'Firefox: the start question is asked');
  const ring = () => page.evaluate(() => {
    const style = getComputedStyle(document.activeElement);
    return {text: document.activeElement.textContent, ring: style.outlineStyle !== 'none' && parseFloat(style.outlineWidth) >= 2};
  });
  const yes = await ring();
  check(yes.text === 'Yes' && yes.ring, `Firefox: Yes has the focus, its ring shown (${JSON.stringify(yes)})`);
  await page.keyboard.press('Tab');
  const no = await ring();
  check(no.text === 'No' && no.ring, `Firefox: Tab moves it to No, the ring with it (${JSON.stringify(no)})`);
  await page.keyboard.press('Enter');
  const shot = await nextFrame(page, 2, true);
  check(shot !== null && !(await state(page)).fullscreen, 'Firefox: Enter on No answers No, and the demo draws in the page');
  if (shot)
    samePicture(shot, nativeFrame(shot.clock), `Firefox: the frame at ${shot.clock} ms against kelvo_frame ${shot.clock}`);

  // The music plays into the null sink, and the clock follows it, with no line about sound.
  check(await poll(() => sinkInputs(env).length > 0, 30), `Firefox: the music plays into the PulseAudio null sink (${sinkInputs(env).join('; ')})`);
  // Clock and time are both read in the page, so that a slow answer from the browser does not
  // shorten the time the clock is measured against.
  const from = await state(page);
  check(await until(page, (c) => window.kelvo.clock > c + 1500, from.clock, 30), 'Firefox: the clock runs with the music');
  const to = await state(page);
  const moved = to.clock - from.clock, elapsed = Math.round(to.now - from.now);
  check(moved <= elapsed + 300 && to.audio === 'running',
    `Firefox: never ahead of real time, the audio context running (${moved} ms of clock in ${elapsed} ms)`);
  const soundLines = (await page.evaluate(() => window.kelvo.messages)).filter((line) => line.startsWith('sound:'));
  check(soundLines.length === 0, `Firefox: no line about sound, on the page or off it (${JSON.stringify(soundLines)})`);

  // M seeks forward; Escape ends.
  const beforeM = (await state(page)).clock;
  await page.keyboard.down('KeyM');
  const seeked = await until(page, (c) => window.kelvo.clock > c + 4000, beforeM, 30);
  await page.keyboard.up('KeyM');
  check(seeked, `Firefox: M held seeks forward (from ${beforeM} ms)`);
  await tap(page, 'Escape');
  check(await until(page, () => window.kelvo.state === 'ended', null, 30) && (await state(page)).exitCode === 0,
    'Firefox: Escape ends the demo with status 0, and the page offers to play again');
  pageClean(page, 'Firefox: the demo page');
  await browser.close();
  server.stop();
};

groups.picture = async function () {
  const server = await serve(null);
  const browser = await launch(false);
  const page = await open(browser, server.url);
  await answer(page, 'No');
  // Frames at several clocks: the first ones, then after seeks forward (M held a while).
  const shots = [await nextFrame(page, 2, true)];
  for (const target of [40000, 100000]) {
    await page.keyboard.down('KeyM');
    await until(page, (t) => window.kelvo.clock >= t, target, 120);
    await page.keyboard.up('KeyM');
    const frame = (await state(page)).frame;
    shots.push(await nextFrame(page, frame + 2, true));
  }
  for (const shot of shots) {
    if (!check(shot !== null, 'a frame is captured with its clock'))
      continue;
    samePicture(shot, nativeFrame(shot.clock), `the frame at ${shot.clock} ms against kelvo_frame ${shot.clock}`);
  }
  pageClean(page, 'the demo page');
  await page.close();

  // The query string gives the environment: ?VIEWING_GAMMA=1.1, against the frame tool with it.
  const gamma = await open(browser, server.url + '?VIEWING_GAMMA=1.6');
  await answer(gamma, 'No');
  const lighter = await nextFrame(gamma, 2, true);
  samePicture(lighter, nativeFrame(lighter.clock, {VIEWING_GAMMA: '1.6'}),
    `?VIEWING_GAMMA=1.6, the frame at ${lighter.clock} ms against kelvo_frame with VIEWING_GAMMA=1.6`);
  const plain = nativeFrame(lighter.clock);
  check(comparePictures(lighter.rgba, plain.rgba).mean > 1, 'and it is not the frame without it');
  pageClean(gamma, 'the VIEWING_GAMMA page');
  await browser.close();
  server.stop();
};

// Changes the CRC of the first IDAT chunk of a PNG, as tests/bad_data.sh does.
function damageIdat(bytes) {
  const at = bytes.indexOf(Buffer.from('IDAT'));
  const length = bytes.readUInt32BE(at - 4);
  bytes.writeUInt32BE(0x55555555, at + 4 + length);
  return bytes;
}

// The desktop's standard error for the data in `folder`: the frame tool's, which loads it as the
// demo does and names itself where the demo says "kelvo: ".
function desktopLines(folder) {
  const out = path.join(work, 'desktop.png');
  const run = spawnSync(options['frame-tool'], ['--data', folder, '0', out], {encoding: 'utf8'});
  return run.stderr.split('\n').filter((line) => line).map((line) => line.replace(/^kelvo_frame: /, 'kelvo: '));
}

groups.data = async function () {
  const browser = await launch(false);

  // No music: "Error!" and "File Not Found" in the console, the desktop's line on the page, the
  // picture standing at clock 0, as the frame tool draws it.
  const noMusic = path.join(work, 'no-music');
  fs.mkdirSync(path.join(noMusic, 'data'), {recursive: true});
  fs.writeFileSync(path.join(noMusic, 'data/music.mp3.missing'), '');
  let server = await serve(noMusic);
  let page = await open(browser, server.url);
  await answer(page, 'No');
  const still = await nextFrame(page, 3, true);
  const logs = page.watch.console.filter((m) => m.type === 'log').map((m) => m.text);
  const errorAt = logs.indexOf('Error!');
  check(errorAt >= 0 && logs[errorAt + 1] === 'File Not Found', `no music: "Error!" then "File Not Found" in the console (${JSON.stringify(logs.slice(0, 4))})`);
  const missing = 'kelvo: data/music.mp3: missing; without the music the picture stands still at 0 s; press Escape to quit';
  check(await until(page, (line) => window.kelvo.messages.includes(line) &&
    document.getElementById('message-list').textContent.includes(line), missing, 30) &&
    consoleHas(page, (m) => m.text === missing), 'and the desktop\'s line about it, on the page and in the console');
  check(still && still.clock === 0 && (await nextFrame(page, still.frame + 3)).clock === 0,
    'the picture stands still at clock 0');
  samePicture(still, nativeFrame(0), 'no music, the frame at clock 0 against kelvo_frame 0');
  pageClean(page, 'the page without music');
  await page.close();
  server.stop();

  // Damaged images: the desktop's lines, and the demo runs on without them.
  const cases = [
    {name: 'bg.png', make: (bytes) => damageIdat(bytes), what: 'a background with a bad IDAT CRC'},
    {name: 'kelvo.png', make: (bytes) => bytes.subarray(0, 3000), what: 'a wordmark cut short'},
  ];
  for (const item of cases) {
    const folder = path.join(work, 'damaged-' + item.name);
    fs.mkdirSync(path.join(folder, 'data'), {recursive: true});
    fs.cpSync(dataDir, path.join(folder, 'data'), {recursive: true});
    fs.writeFileSync(path.join(folder, 'data', item.name), item.make(fs.readFileSync(path.join(dataDir, item.name))));
    const expected = desktopLines(folder).filter((line) => line.includes(item.name) || line.startsWith('libpng'));
    server = await serve(folder);
    page = await open(browser, server.url);
    await answer(page, 'No');
    const frame = await nextFrame(page, 3);
    check(expected.length >= 1 && await until(page, (lines) => lines.every((line) => window.kelvo.messages.includes(line)), expected, 30) &&
      expected.every((line) => consoleHas(page, (m) => m.text === line)),
    `${item.what}: the desktop's lines on the page and in the console: ${JSON.stringify(expected)}`);
    check(frame !== null, `${item.what}: the demo runs on without the image`);
    pageClean(page, `the page with ${item.what}`);
    await page.close();
    server.stop();
  }
  await browser.close();
};

// Runs a check program in tests/web/check_page.html: its exit code and its lines.
async function runCheck(browser, url, program, args, files) {
  const query = `program=${program}&args=${encodeURIComponent(JSON.stringify(args))}&files=${encodeURIComponent(JSON.stringify(files))}`;
  const page = await open(browser, url + 'check_page.html?' + query);
  const done = await until(page, () => window.check && window.check.exitCode !== null, null, 300);
  const result = {page, exitCode: done ? await page.evaluate(() => window.check.exitCode) : null,
    lines: await page.evaluate(() => window.check ? window.check.lines : [])};
  for (const line of result.lines)
    console.log(`  ${program}: ${line}`);
  return result;
}

// The check programs and their page, over the site.
function checkOverlay() {
  const folder = path.join(work, 'checks');
  fs.mkdirSync(folder, {recursive: true});
  for (const file of ['check_page.html', 'check_page.js'])
    fs.copyFileSync(path.join(here, file), path.join(folder, file));
  for (const program of ['kelvo_sound_check', 'kelvo_gl_check'])
    for (const ext of ['.js', '.wasm'])
      fs.copyFileSync(path.join(wasmDir, program + ext), path.join(folder, program + ext));
  return folder;
}

groups.sound = async function () {
  const server = await serve(checkOverlay());
  const browser = await launch(true);

  // The same audio: the browser's decoder through the web layer against libmpg123 through the
  // Linux layer, at fixed positions and after seeks, within 1 ms (tests/sound_check.cpp).
  const render = await runCheck(browser, server.url, 'kelvo_sound_check', ['render', 'data/music.mp3', 'out.raw'], ['data/music.mp3']);
  check(render.exitCode === 0, 'the web sound layer renders data/music.mp3 on its offline output');
  const webRaw = path.join(work, 'web.raw'), linuxRaw = path.join(work, 'linux.raw');
  fs.writeFileSync(webRaw, Buffer.from(await render.page.evaluate(() => window.check.readFile('out.raw'))));
  const linux = spawnSync(options['sound-check'], ['render', path.join(dataDir, 'music.mp3'), linuxRaw], {encoding: 'utf8'});
  check(linux.status === 0, 'the Linux sound layer renders it too');
  const webPositions = render.lines.filter((l) => l.startsWith('position'));
  const linuxPositions = linux.stdout.split('\n').filter((l) => l.startsWith('position'));
  check(webPositions.join() === linuxPositions.join(), `both read the same positions after the same seeks: ${webPositions.join(', ')}`);
  const compare = spawnSync(options['sound-check'], ['compare', webRaw, linuxRaw], {encoding: 'utf8'});
  for (const line of compare.stdout.split('\n').filter((l) => l))
    console.log(`  compare: ${line}`);
  check(compare.status === 0, 'the web layer\'s audio is the Linux layer\'s at every position, within 1 ms');
  pageClean(render.page, 'the render page');
  await render.page.close();

  // On the browser's real output: positions follow what it has played, seeks, pause.
  const device = await runCheck(browser, server.url, 'kelvo_sound_check', ['device', 'data/music.mp3'], ['data/music.mp3']);
  check(device.exitCode === 0, 'on Web Audio, positions follow the audio the browser has played (sound_check device)');
  pageClean(device.page, 'the device page');
  await browser.close();

  // The demo's clock before the page's first click, and after it (no autoplay here). Puppeteer's
  // own evaluations count as user gestures, so this page is only read through a plain DevTools
  // session until the click.
  const strict = await launch(false);
  const page = await open(strict, server.url);
  const session = await page.createCDPSession();
  const quiet = async (expression) => (await session.send('Runtime.evaluate',
    {expression, awaitPromise: true, returnByValue: true, userGesture: false})).result.value;
  const quietUntil = async (expression, seconds) => {
    const limit = Date.now() + seconds * 1000;
    while (Date.now() < limit) {
      if (await quiet(expression))
        return true;
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
    return false;
  };
  check(await quietUntil('!!(window.kelvo && window.kelvo.dialog)', 120), 'the start question is asked');
  // Answered by a script, not a person: no user gesture, so the browser keeps the audio off.
  await quiet('document.querySelector("#dialog-buttons button:nth-child(2)").click()');
  const waitingLine = (m) => m.text.startsWith('sound: the browser plays the page\'s sound only after a click or a key');
  check(await untilConsole(page, waitingLine, 60), 'with no gesture yet, one line says the music waits for a click or a key');
  // Clock and time both read in the page (a slow answer from the browser would shorten the time).
  const first = await quiet('window.kelvo.nextFrame(2).then((s) => ({clock: s.clock, now: performance.now()}))');
  check(await quietUntil(`window.kelvo.clock > ${first.clock} + 1500`, 60), 'meanwhile the clock runs in real time, silent');
  const last = await quiet('({clock: window.kelvo.clock, now: performance.now()})');
  const elapsed = Math.round(last.now - first.now), moved = last.clock - first.clock;
  check(moved >= 1500 && moved <= elapsed + 300, `  (${moved} ms of clock in ${elapsed} ms)`);
  check(await quiet('window.kelvo.audioState') !== 'running', 'the audio context is not running yet');
  check(page.watch.console.filter(waitingLine).length === 1 &&
    (await quiet('window.kelvo.shown')).filter((line) => waitingLine({text: line})).length === 1, 'the line is said once, on the page too');
  // A real click on the picture: the music starts where the clock has got to.
  const beforeClick = await quiet('({frame: window.kelvo.frame, clock: window.kelvo.clock})');
  await page.mouse.click(640, 360);
  const playsLine = (m) => m.text.startsWith('sound: the page may play sound now; the music plays on from');
  check(await untilConsole(page, playsLine, 30), 'a click: one line says the music plays on from where the clock is');
  check(await until(page, () => !window.kelvo.shown.some((line) => line.startsWith('sound:')), null, 10),
    'and no line about sound is left over the picture');
  const clocks = [];
  for (let i = 0; i < 10; i++) {
    const shot = await nextFrame(page, beforeClick.frame + 1 + i);
    if (shot)
      clocks.push(shot.clock);
  }
  check((await state(page)).audio === 'running', 'the audio context runs');
  check(clocks.length === 10 && clocks.every((c, i) => i === 0 || c >= clocks[i - 1]) && clocks[0] >= beforeClick.clock &&
    clocks[9] - beforeClick.clock < 5000,
  `across the switch the clock goes on, never back (${beforeClick.clock}, then ${clocks.join(', ')})`);
  pageClean(page, 'the demo page');
  await strict.close();
  server.stop();
};

groups.gl = async function () {
  const server = await serve(checkOverlay());
  const browser = await launch(false);
  const run = await runCheck(browser, server.url, 'kelvo_gl_check', [], []);
  check(run.exitCode === 0, 'the window and GL subsets hold at their edges (kelvo_gl_check)');
  const shown = await run.page.evaluate(() => {
    const s = window.check.shown;
    if (!s)
      return null;
    const at = (x, y) => Array.from(s.pixels.slice((y * s.width + x) * 4, (y * s.width + x) * 4 + 3));
    return {width: s.width, height: s.height, left: at(10, 10), right: at(s.width - 10, s.height - 10)};
  });
  check(shown && shown.width === 800 && shown.height === 64 && shown.left.join() === '255,0,0' && shown.right.join() === '0,0,255',
    `SwapBuffers shows the frame on the canvas, 1:1 (${JSON.stringify(shown)})`);
  pageClean(run.page, 'the check page');
  await browser.close();
  server.stop();
};

if (!groups[options.group]) {
  console.log(`usage: node tests/web/web_test.mjs ${Object.keys(groups).join('|')} --site DIR --wasm DIR ` +
    '--frame-tool PATH --sound-check PATH --data DIR --work DIR');
  process.exit(2);
}
try {
  await groups[options.group]();
} catch (e) {
  check(false, `the ${options.group} group ran to its end (${e && e.stack || e})`);
}
console.log(failures ? `${failures} check(s) failed` : 'every check held');
process.exit(failures ? 1 : 0);
