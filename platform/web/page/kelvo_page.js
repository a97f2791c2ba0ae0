// kelvo's page: fetches the program and data/ with a progress bar, then runs the program
// (kelvo.js, kelvo.wasm: the demo's own WinMain over the web platform) and gives it what a desktop
// would: canvases for its windows, dialogs for its message boxes, the keys (and touch buttons),
// fullscreen, the audio context, and each frame's turn (requestAnimationFrame). Standard output
// goes to the console; standard error to the console and, plainly, onto the page. When the demo
// ends, the page offers to play again, with a new instance of the program.
//
// For tests and the benchmark, window.kelvo tells the page's state, each frame's number and music
// clock, and can take the next frame's picture (see `kelvo` at the end).
'use strict';

(function () {
  const DataFiles = ['bg.png', 'fg.png', 'kelvo.png', 'music.mp3'];
  const MusicRate = 44100;
  const ButtonNames = {1: 'OK', 2: 'Cancel', 3: 'Abort', 4: 'Retry', 5: 'Ignore', 6: 'Yes', 7: 'No'};

  const $ = (id) => document.getElementById(id);
  const stage = $('stage');

  // Windows' virtual-key codes of KeyboardEvent.code, with set-1 scan codes where Windows has them.
  const Keys = {Escape: [0x1B, 0x01], Tab: [0x09, 0x0F], Enter: [0x0D, 0x1C], Space: [0x20, 0x39],
    Backspace: [0x08, 0x0E], ShiftLeft: [0x10, 0x2A], ShiftRight: [0x10, 0x36], ControlLeft: [0x11, 0x1D],
    ControlRight: [0x11, 0x1D], AltLeft: [0x12, 0x38], AltRight: [0x12, 0x38], ArrowLeft: [0x25, 0x4B],
    ArrowUp: [0x26, 0x48], ArrowRight: [0x27, 0x4D], ArrowDown: [0x28, 0x50], PageUp: [0x21, 0x49],
    PageDown: [0x22, 0x51], End: [0x23, 0x4F], Home: [0x24, 0x47], Insert: [0x2D, 0x52], Delete: [0x2E, 0x53],
    Pause: [0x13, 0x45], CapsLock: [0x14, 0x3A]};
  const LetterScan = 'QWERTYUIOP....ASDFGHJKL.....ZXCVBNM';
  for (let c = 65; c <= 90; c++) {
    const letter = String.fromCharCode(c);
    Keys['Key' + letter] = [c, 0x10 + LetterScan.indexOf(letter)];
  }
  for (let d = 0; d <= 9; d++) {
    Keys['Digit' + d] = [0x30 + d, d === 0 ? 0x0B : 0x01 + d];
    Keys['Numpad' + d] = [0x60 + d, 0];
  }
  for (let f = 1; f <= 12; f++)
    Keys['F' + f] = [0x6F + f, f <= 10 ? 0x3A + f : 0x56 + f - 10];
  // Keys the demo acts on, and keys that would scroll the page: the browser does nothing else with them.
  const Claimed = new Set(['Escape', 'KeyM', 'KeyN', 'F1', 'Space', 'ArrowLeft', 'ArrowUp', 'ArrowRight',
    'ArrowDown', 'PageUp', 'PageDown', 'Home', 'End', 'F10']);

  const page = {
    state: 'loading',    // loading, asking (a dialog is up), running, ended, failed
    files: {},           // data file name -> Uint8Array; absent when the server had none
    wasm: null,
    module: null,        // the program's instance now running
    keys: [],            // key events not yet taken by the program, packed
    held: new Map(),     // touch buttons held: pointer id -> virtual-key code
    dialog: null,        // {resolve, buttons, defaultId} of the dialog up
    context: null,       // the AudioContext, made at the first click or key
    decoded: null,       // {bytes, rate, promise} of data/music.mp3, decoded while the question is up
    canvases: 0,
    frame: 0,
    clock: -1,
    exitCode: null,
    messages: [],
    clickedAt: null,     // performance.now() of the click that answered the start question
    firstFrameAt: null,
    frameWaiters: [],    // {from, resolve, capture}
  };

  // ---- Messages.

  function showMessage(line) {
    page.messages.push(line);
    const item = document.createElement('li');
    item.textContent = line;
    $('message-list').appendChild(item);
    $('messages').hidden = false;
  }
  $('messages-close').addEventListener('click', () => {
    $('messages').hidden = true;
    $('message-list').textContent = '';
  });

  function fail(line) {
    page.state = 'failed';
    console.error(line);
    showMessage(line);
    $('progress-text').textContent = 'kelvo cannot run here.';
  }

  // ---- Loading: the program and data/, with one progress bar for all of them.

  async function fetchWithProgress(url, progress) {
    const response = await fetch(url, {credentials: 'same-origin'});
    if (!response.ok)
      return {status: response.status, text: response.statusText};
    const length = Number(response.headers.get('Content-Length')) || 0;
    progress.total += length;
    progress.sized++;
    if (!response.body || !response.body.getReader) {
      const bytes = new Uint8Array(await response.arrayBuffer());
      progress.received += bytes.length;
      progress.update();
      return {bytes};
    }
    const reader = response.body.getReader();
    const parts = [];
    let size = 0;
    for (;;) {
      const {done, value} = await reader.read();
      if (done)
        break;
      parts.push(value);
      size += value.length;
      progress.received += value.length;
      progress.update();
    }
    const bytes = new Uint8Array(size);
    let at = 0;
    for (const part of parts) {
      bytes.set(part, at);
      at += part.length;
    }
    return {bytes};
  }

  function loadScript(src) {
    return new Promise((resolve, reject) => {
      const script = document.createElement('script');
      script.src = src;
      script.onload = resolve;
      script.onerror = () => reject(new Error('could not load ' + src));
      document.head.appendChild(script);
    });
  }

  async function load() {
    if (typeof WebAssembly !== 'object') {
      fail('kelvo: this browser has no WebAssembly; the demo cannot run');
      return;
    }
    const names = ['kelvo.wasm'].concat(DataFiles.map((name) => 'data/' + name));
    const progress = {
      total: 0, received: 0, sized: 0,
      update() {
        const share = progress.sized === names.length && progress.total > 0 ? progress.received / progress.total : 0;
        const percent = Math.min(100, Math.round(share * 100));
        $('progress-bar').style.width = percent + '%';
        $('progress').setAttribute('aria-valuenow', String(percent));
        $('progress-text').textContent = 'Loading… ' + (progress.received / 1048576).toFixed(1) + ' MB';
      },
    };
    const script = loadScript('kelvo.js');
    const results = await Promise.all(names.map((name) =>
      fetchWithProgress(name, progress).catch((e) => ({status: 0, text: String(e && e.message || e)}))));
    try {
      await script;
    } catch (e) {
      fail('kelvo: kelvo.js did not load from the server; the demo cannot run');
      return;
    }
    if (!results[0].bytes) {
      fail('kelvo: kelvo.wasm did not load (' + describe(results[0]) + '); the demo cannot run');
      return;
    }
    page.wasm = results[0].bytes;
    DataFiles.forEach((name, i) => {
      const result = results[i + 1];
      if (result.bytes) {
        page.files[name] = result.bytes;
      } else if (result.status !== 404 && result.status !== 410) {
        // The program says "missing" for it; what the server said is worth a line of its own.
        const line = 'kelvo: data/' + name + ': not fetched (' + describe(result) + ')';
        console.warn(line);
        showMessage(line);
      }
    });
    // The browser decodes the music before the start question is asked, so that the answer
    // starts the demo at once.
    if (page.files['music.mp3']) {
      $('progress-text').textContent = 'Decoding the music…';
      page.decoded = decodeWith(page.files['music.mp3'], MusicRate);
      await page.decoded.promise.catch(() => {});
    }
    $('progress-text').textContent = 'Loaded.';
    start();
  }

  function describe(result) {
    return result.status ? 'the server answered ' + result.status + (result.text ? ' ' + result.text : '') :
      'no answer from the server' + (result.text ? ': ' + result.text : '');
  }

  // ---- Decoding the music: the browser's decoder, at the output rate, on an offline context (no
  // click needed for that).

  function decodeWith(bytes, rate) {
    const Offline = window.OfflineAudioContext || window.webkitOfflineAudioContext;
    const copy = bytes.slice().buffer;
    const promise = new Promise((resolve, reject) => {
      const offline = new Offline(2, 1, rate);
      const done = offline.decodeAudioData(copy, resolve, reject);
      if (done && done.then)
        done.then(resolve, reject);
    });
    promise.catch(() => {});
    return {bytes, rate, promise};
  }

  function sameBytes(a, b) {
    if (a.length !== b.length)
      return false;
    for (let i = 0; i < a.length; i++)
      if (a[i] !== b[i])
        return false;
    return true;
  }

  // ---- The audio context: made (and started) by the first click or key, as browsers ask.

  function unlockAudio() {
    const Context = window.AudioContext || window.webkitAudioContext;
    if (!Context)
      return;
    try {
      if (!page.context)
        page.context = new Context({sampleRate: MusicRate, latencyHint: 'playback'});
      if (page.context.state !== 'running')
        page.context.resume().catch(() => {});
    } catch (e) {
      page.context = null;
    }
  }

  // ---- The program's instance.

  function start() {
    page.state = 'starting';
    page.frame = 0;
    page.clock = -1;
    page.exitCode = null;
    page.clickedAt = null;
    page.firstFrameAt = null;
    page.keys = [];
    $('ended').hidden = true;
    const files = page.files;
    createKelvo({
      kelvoPage: api,
      wasmBinary: page.wasm,
      print: (line) => console.log(line),
      printErr: (line) => {
        console.warn(line);
        showMessage(line);
      },
      preRun: [(module) => {
        module.FS.mkdir('/data');
        for (const name of Object.keys(files))
          module.FS.writeFile('/data/' + name, files[name]);
      }],
      onAbort: (what) => fail('kelvo stopped: ' + what),
    }).then((module) => {
      page.module = module;
    }, (e) => fail('kelvo did not start: ' + (e && e.message || e)));
  }

  // ---- Canvases: one per window; the picture scaled to the stage with its proportions kept.

  function fitCanvas(canvas) {
    const width = stage.clientWidth, height = stage.clientHeight;
    const scale = Math.min(width / canvas.width, height / canvas.height);
    const w = Math.max(1, Math.floor(canvas.width * scale)), h = Math.max(1, Math.floor(canvas.height * scale));
    canvas.style.width = w + 'px';
    canvas.style.height = h + 'px';
    canvas.style.left = Math.floor((width - w) / 2) + 'px';
    canvas.style.top = Math.floor((height - h) / 2) + 'px';
  }
  function fitAll() {
    for (const canvas of stage.querySelectorAll('canvas.picture'))
      fitCanvas(canvas);
  }
  window.addEventListener('resize', fitAll);
  document.addEventListener('fullscreenchange', fitAll);
  if (window.ResizeObserver)
    new ResizeObserver(fitAll).observe(stage);

  // ---- Dialogs.

  function messageBox(text, caption, packedButtons, defaultId) {
    console.info(caption + ': ' + text);
    const buttons = [packedButtons & 15, (packedButtons >> 4) & 15, (packedButtons >> 8) & 15].filter((id) => id);
    const box = $('dialog');
    $('dialog-caption').textContent = caption;
    $('dialog-text').textContent = text;
    const row = $('dialog-buttons');
    row.textContent = '';
    $('loading').hidden = true;
    const previous = page.state;
    page.state = 'asking';
    return new Promise((resolve) => {
      const answer = (id) => {
        box.hidden = true;
        page.dialog = null;
        page.state = previous === 'starting' ? 'running' : previous;
        // The click or key that answers is the gesture that lets the music play.
        unlockAudio();
        if (caption === 'Start FullScreen?' && page.clickedAt === null)
          page.clickedAt = performance.now();
        resolve(id);
      };
      page.dialog = {answer, buttons, defaultId};
      for (const id of buttons) {
        const button = document.createElement('button');
        button.type = 'button';
        button.textContent = ButtonNames[id] || String(id);
        button.dataset.id = String(id);
        button.addEventListener('click', () => answer(id));
        row.appendChild(button);
      }
      box.hidden = false;
      const preferred = row.querySelector('button[data-id="' + defaultId + '"]');
      if (preferred)
        preferred.focus();
    });
  }

  // The dialog's keys: Enter the default, Escape Cancel (or OK alone), Y and N Yes and No.
  function dialogKey(event) {
    const dialog = page.dialog;
    let id = 0;
    if (event.code === 'Enter' || event.code === 'NumpadEnter')
      id = dialog.defaultId;
    else if (event.code === 'Escape')
      id = dialog.buttons.includes(2) ? 2 : dialog.buttons.length === 1 && dialog.buttons[0] === 1 ? 1 : 0;
    else if (event.code === 'KeyY' && dialog.buttons.includes(6))
      id = 6;
    else if (event.code === 'KeyN' && dialog.buttons.includes(7))
      id = 7;
    if (id) {
      event.preventDefault();
      dialog.answer(id);
    }
  }

  // ---- Keys and touch buttons.

  function queueKey(code, down, repeat, alt, ctrl) {
    const key = Keys[code];
    if (!key || page.state !== 'running' || !page.module)
      return;
    page.keys.push(key[0] | (down ? 256 : 0) | (repeat ? 512 : 0) | (alt ? 1024 : 0) | (ctrl ? 2048 : 0) | (key[1] << 16));
  }

  window.addEventListener('keydown', (event) => {
    if (page.dialog) {
      dialogKey(event);
      return;
    }
    if (page.state !== 'running')
      return;
    if (Claimed.has(event.code) && !event.ctrlKey && !event.metaKey)
      event.preventDefault();
    unlockAudio();
    queueKey(event.code, true, event.repeat, event.altKey, event.ctrlKey);
  });
  window.addEventListener('keyup', (event) => {
    if (page.state !== 'running')
      return;
    if (Claimed.has(event.code) && !event.ctrlKey && !event.metaKey)
      event.preventDefault();
    queueKey(event.code, false, false, event.altKey, event.ctrlKey);
  });

  // A touch button is its key held while the finger (or pointer) stays on it.
  for (const button of document.querySelectorAll('#touch button')) {
    const code = button.dataset.key === 'Escape' || button.dataset.key === 'F1' ? button.dataset.key : 'Key' + button.dataset.key;
    button.addEventListener('pointerdown', (event) => {
      event.preventDefault();
      stage.classList.add('touched');
      if (page.held.has(event.pointerId))
        return;
      button.setPointerCapture && button.setPointerCapture(event.pointerId);
      page.held.set(event.pointerId, code);
      unlockAudio();
      queueKey(code, true, false, false, false);
    });
    const release = (event) => {
      if (page.held.get(event.pointerId) !== code)
        return;
      page.held.delete(event.pointerId);
      queueKey(code, false, false, false, false);
    };
    button.addEventListener('pointerup', release);
    button.addEventListener('pointercancel', release);
    button.addEventListener('lostpointercapture', release);
    button.addEventListener('contextmenu', (event) => event.preventDefault());
  }
  stage.addEventListener('pointerdown', (event) => {
    if (event.pointerType === 'touch')
      stage.classList.add('touched');
  });
  // Any click or touch on the page while the demo runs lets its music play, if nothing did yet.
  window.addEventListener('pointerdown', () => {
    if (page.state === 'running')
      unlockAudio();
  });

  // ---- Fullscreen.

  function fullscreenElement() {
    return document.fullscreenElement || document.webkitFullscreenElement || null;
  }

  // ---- The end, and playing again.

  $('again').addEventListener('click', () => {
    unlockAudio();
    $('ended').hidden = true;
    start();
  });

  // ---- What the program asks of the page (Module.kelvoPage).

  const api = {
    environment() {
      const lines = [];
      for (const [name, value] of new URLSearchParams(location.search))
        lines.push(name + '=' + value);
      return lines.join('\n');
    },
    startMoment() {
      const match = /^#t=(?:(\d+):)?(\d+(?:\.\d+)?)$/.exec(location.hash);
      if (!match)
        return -1;
      return Math.round(((Number(match[1]) || 0) * 60 + Number(match[2])) * 1000);
    },
    createCanvas(width, height) {
      const canvas = document.createElement('canvas');
      canvas.id = 'kelvo-window-' + ++page.canvases;
      canvas.className = 'picture';
      canvas.width = width;
      canvas.height = height;
      canvas.hidden = true;
      canvas.setAttribute('aria-label', 'The demo\'s picture');
      canvas.addEventListener('webglcontextlost', (event) => event.preventDefault());
      stage.insertBefore(canvas, stage.firstChild);
      fitCanvas(canvas);
      return canvas.id;
    },
    showCanvas(id, visible) {
      const canvas = document.getElementById(id);
      if (!canvas)
        return;
      canvas.hidden = !visible;
      if (visible) {
        $('loading').hidden = true;
        $('touch').hidden = false;
        document.body.classList.add('running');
        fitCanvas(canvas);
      }
    },
    removeCanvas(id) {
      const canvas = document.getElementById(id);
      if (canvas)
        canvas.remove();
    },
    fullscreenAllowed() {
      return !!((document.fullscreenEnabled || document.webkitFullscreenEnabled) &&
        (stage.requestFullscreen || stage.webkitRequestFullscreen));
    },
    enterFullscreen() {
      if (fullscreenElement() === stage)
        return Promise.resolve(true);
      const request = stage.requestFullscreen ? stage.requestFullscreen({navigationUI: 'hide'}) :
        stage.webkitRequestFullscreen();
      const asked = Promise.resolve(request).then(() => !!fullscreenElement(), () => false);
      const late = new Promise((resolve) => setTimeout(() => resolve(!!fullscreenElement()), 2000));
      return Promise.race([asked, late]);
    },
    exitFullscreen() {
      if (!fullscreenElement())
        return;
      const exit = document.exitFullscreen ? document.exitFullscreen() : document.webkitExitFullscreen();
      if (exit && exit.catch)
        exit.catch(() => {});
    },
    hideCursor(hidden) {
      stage.classList.toggle('no-cursor', hidden);
    },
    messageBox,
    takeKey() {
      return page.keys.length ? page.keys.shift() : -1;
    },
    audioContext(rate) {
      const Context = window.AudioContext || window.webkitAudioContext;
      if (!Context)
        return null;
      if (!page.context || page.context.sampleRate !== rate || page.context.state === 'closed')
        page.context = new Context({sampleRate: rate, latencyHint: 'playback'});
      return page.context;
    },
    decodeAudio(bytes, rate) {
      const decoded = page.decoded;
      if (decoded && decoded.rate === rate && sameBytes(decoded.bytes, bytes))
        return decoded.promise;
      return decodeWith(bytes, rate).promise;
    },
    // A frame is drawn and about to be shown: a test waiting for it may read it now; then the
    // program waits for the browser's next animation frame.
    present(frame, clock, gl) {
      page.frame = frame;
      page.clock = clock;
      if (page.firstFrameAt === null)
        page.firstFrameAt = performance.now();
      const waiters = page.frameWaiters;
      page.frameWaiters = [];
      for (const waiter of waiters) {
        if (frame < waiter.from) {
          page.frameWaiters.push(waiter);
          continue;
        }
        const shot = {frame, clock};
        if (waiter.capture) {
          const width = gl.drawingBufferWidth, height = gl.drawingBufferHeight;
          const pixels = new Uint8Array(width * height * 4);
          gl.readPixels(0, 0, width, height, gl.RGBA, gl.UNSIGNED_BYTE, pixels);
          Object.assign(shot, {width, height, pixels});
        }
        waiter.resolve(shot);
      }
      return new Promise((resolve) => requestAnimationFrame(() => resolve()));
    },
    ended(exitCode) {
      page.state = 'ended';
      page.exitCode = exitCode;
      page.keys = [];
      page.held.clear();
      api.exitFullscreen();
      stage.classList.remove('no-cursor');
      document.body.classList.remove('running');
      $('touch').hidden = true;
      $('dialog').hidden = true;
      $('ended-text').textContent = exitCode === 0 ? 'kelvo has ended.' :
        'kelvo has ended: its window could not be made (exit status ' + exitCode + ').';
      $('ended').hidden = false;
      $('again').focus();
      for (const waiter of page.frameWaiters)
        waiter.resolve(null);
      page.frameWaiters = [];
    },
  };

  // ---- For tests and the benchmark.
  window.kelvo = {
    get state() { return page.state; },
    get frame() { return page.frame; },
    get clock() { return page.clock; },
    get exitCode() { return page.exitCode; },
    get messages() { return page.messages.slice(); },
    get dialog() {
      return page.dialog ? {caption: $('dialog-caption').textContent, text: $('dialog-text').textContent,
        buttons: page.dialog.buttons.map((id) => ButtonNames[id])} : null;
    },
    get fullscreen() { return fullscreenElement() === stage; },
    get audioState() { return page.context ? page.context.state : 'none'; },
    // ms from the click that answered the start question to the first frame shown.
    get clickToFirstFrame() {
      return page.clickedAt !== null && page.firstFrameAt !== null ? page.firstFrameAt - page.clickedAt : null;
    },
    // The first frame numbered `from` or later, once drawn: {frame, clock}, with its picture
    // (width, height, RGBA pixels from the bottom row up) when `capture`; null if the demo ends first.
    nextFrame(from, capture) {
      if (page.state === 'ended')
        return Promise.resolve(null);
      return new Promise((resolve) => page.frameWaiters.push({from: from || page.frame + 1, resolve, capture: !!capture}));
    },
  };

  load();
})();
