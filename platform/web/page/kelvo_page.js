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
  const SoundWaitsLine = 'sound: the browser plays the page\'s sound only after a click or a key';
  const SoundPlaysLine = 'sound: the page may play sound now';
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
    starts: 0,           // instances started: only the first starts where the address's #t= says
    gestured: false,     // a click, touch or key of the person's own has reached the page
    soundLine: null,     // the item on the page saying the music waits for a click or a key
  };

  // ---- Messages.

  // Shows a line on the page (and keeps it for window.kelvo.messages); returns its item.
  function showMessage(line) {
    page.messages.push(line);
    const item = document.createElement('li');
    item.textContent = line;
    $('message-list').appendChild(item);
    $('messages').hidden = false;
    return item;
  }
  // Takes a line off the page again (its cause has passed); the panel goes when it is empty.
  function removeMessage(item) {
    if (item && item.parentNode)
      item.remove();
    if (!$('message-list').firstChild)
      $('messages').hidden = true;
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
  //
  // Every download has a bound on the time without a byte (window.kelvoStallSeconds, for tests):
  // past it, the download is given up and named with what arrived. A failed download (stalled,
  // dropped, no answer, an error from the server) stops the load with a line for each and a "Try
  // again" that fetches only what is missing; a failed program stops the other downloads at once.
  // A data file the server does not have (404, 410) is no failure: the program runs without it
  // and says so as the desktop does.

  const StallSeconds = Number(window.kelvoStallSeconds) > 0 ? Number(window.kelvoStallSeconds) : 15;
  const Program = ['kelvo.js', 'kelvo.wasm'];

  // The sizes the build wrote into the page ("name=bytes ..."); none where the page was not built.
  function builtSizes() {
    const sizes = {};
    for (const pair of ($('loading').dataset.sizes || '').split(/\s+/)) {
      const match = /^([\w./-]+)=(\d+)$/.exec(pair);
      if (match)
        sizes[match[1]] = Number(match[2]);
    }
    return sizes;
  }

  function megabytes(bytes) {
    return (bytes / 1e6).toFixed(1) + ' MB';
  }

  // What arrived of a file: "1.0 MB of 2.6 MB".
  function arrived(file) {
    return megabytes(file.received) + (file.expected ? ' of ' + megabytes(file.expected) : '');
  }

  function timeLeft(seconds) {
    seconds = Math.ceil(seconds);
    return seconds < 60 ? seconds + ' s' : Math.floor(seconds / 60) + ' min ' + String(seconds % 60).padStart(2, '0') + ' s';
  }

  const loader = {
    files: [],           // {name, expected, received, state, bytes, why, controller}
    samples: [],         // [performance.now(), bytes received] of the last seconds, for the time left
    failedLines: [],     // the items on the page naming failed downloads
    started: 0,
  };
  {
    const sizes = builtSizes();
    for (const name of Program.concat(DataFiles.map((name) => 'data/' + name)))
      loader.files.push({name, expected: sizes[name] || 0, received: 0, state: 'waiting', bytes: null, why: ''});
  }

  function showProgress() {
    let received = 0, total = 0, unknown = false;
    for (const file of loader.files) {
      if (file.state === 'missing')
        continue;
      received += file.state === 'done' ? file.bytes.length : file.received;
      if (file.state === 'done')
        total += file.bytes.length;
      else if (file.expected)
        total += Math.max(file.expected, file.received);
      else
        unknown = true, total += file.received;
    }
    const now = performance.now();
    loader.samples.push([now, received]);
    while (loader.samples.length > 2 && now - loader.samples[0][0] > 4000)
      loader.samples.shift();
    const percent = total > 0 ? Math.min(100, Math.floor(received * 100 / total)) : 0;
    $('progress-bar').style.width = percent + '%';
    $('progress').setAttribute('aria-valuenow', String(percent));
    if (page.state !== 'loading')
      return;
    let text = 'Loading… ' + (unknown ? megabytes(received) : (received / 1e6).toFixed(1) + ' of ' + megabytes(total));
    const [then, before] = loader.samples[0];
    if (!unknown && now - loader.started > 1000 && now - then > 500 && received > before && received < total)
      text += ', about ' + timeLeft((total - received) / ((received - before) / (now - then)) / 1000) + ' left';
    $('progress-text').textContent = text;
  }

  // Fetches one file into file.bytes; its state ends as done, missing (404, 410), failed (with why)
  // or stopped (the load was stopped because of another file).
  async function fetchFile(file) {
    const controller = new AbortController();
    file.controller = controller;
    file.state = 'loading';
    file.received = 0;
    file.why = '';
    let stalled = false, timer = 0;
    const watch = () => {
      clearTimeout(timer);
      timer = setTimeout(() => {
        stalled = true;
        controller.abort();
      }, StallSeconds * 1000);
    };
    const end = (state, why) => {
      clearTimeout(timer);
      file.controller = null;
      file.state = controller.signal.aborted && !stalled ? 'stopped' : state;
      file.why = why || '';
      if (file.state !== 'done')
        file.received = 0;
      showProgress();
    };
    watch();
    let response;
    try {
      response = await fetch(file.name, {credentials: 'same-origin', signal: controller.signal});
    } catch (e) {
      return end('failed', stalled ? 'no answer from the server in ' + StallSeconds + ' s' :
        'no answer from the server (' + (e && e.message || e) + ')');
    }
    if (!response.ok) {
      const missing = (response.status === 404 || response.status === 410) && !Program.includes(file.name);
      return end(missing ? 'missing' : 'failed',
        'the server answered ' + response.status + (response.statusText ? ' ' + response.statusText : ''));
    }
    // The length the server gives is that of the file itself only when it is sent as it is.
    const encoding = response.headers.get('Content-Encoding');
    const length = Number(response.headers.get('Content-Length')) || 0;
    const plain = !encoding || encoding === 'identity';
    if (plain && length > 0)
      file.expected = length;
    const parts = [];
    try {
      if (!response.body || !response.body.getReader) {
        parts.push(new Uint8Array(await response.arrayBuffer()));
        file.received = parts[0].length;
      } else {
        const reader = response.body.getReader();
        for (;;) {
          const {done, value} = await reader.read();
          if (done)
            break;
          watch();
          parts.push(value);
          file.received += value.length;
          showProgress();
        }
      }
    } catch (e) {
      return end('failed', stalled ? 'the download stalled: ' + arrived(file) + ' arrived, then nothing for ' + StallSeconds + ' s' :
        'the connection was dropped after ' + arrived(file));
    }
    if (plain && length > 0 && file.received !== length)
      return end('failed', 'the connection was dropped after ' + arrived(file));
    const bytes = new Uint8Array(file.received);
    let at = 0;
    for (const part of parts) {
      bytes.set(part, at);
      at += part.length;
    }
    file.bytes = bytes;
    end('done');
  }

  // Stops every download still running (their files are fetched again by "Try again").
  function stopLoading() {
    for (const file of loader.files)
      if (file.controller)
        file.controller.abort();
  }

  // The program's script, from the bytes fetched.
  function runScript(bytes) {
    return new Promise((resolve, reject) => {
      const script = document.createElement('script');
      const url = URL.createObjectURL(new Blob([bytes], {type: 'text/javascript'}));
      script.src = url;
      script.onload = () => {
        URL.revokeObjectURL(url);
        resolve();
      };
      script.onerror = () => reject(new Error('the script did not run'));
      document.head.appendChild(script);
    });
  }

  async function load() {
    if (typeof WebAssembly !== 'object') {
      fail('kelvo: this browser has no WebAssembly; the demo cannot run');
      return;
    }
    page.state = 'loading';
    $('retry').hidden = true;
    for (const item of loader.failedLines)
      removeMessage(item);
    loader.failedLines = [];
    loader.samples = [];
    loader.started = performance.now();
    showProgress();
    const wanted = loader.files.filter((file) => file.state !== 'done' && file.state !== 'missing');
    await Promise.all(wanted.map((file) => fetchFile(file).then(() => {
      if (file.state === 'failed' && Program.includes(file.name))
        stopLoading();
    })));
    const failed = loader.files.filter((file) => file.state === 'failed');
    if (failed.length) {
      page.state = 'load-failed';
      for (const file of failed) {
        const line = 'kelvo: ' + file.name + ': not fetched (' + file.why + ')';
        console.warn(line);
        loader.failedLines.push(showMessage(line));
      }
      const stopped = loader.files.filter((file) => file.state === 'stopped').length;
      $('progress-text').textContent = (failed.length === 1 ? failed[0].name + ' did not load' :
        failed.length + ' files did not load') + (stopped ? '; the other downloads were stopped' : '') +
        '. "Try again" fetches what is missing.';
      $('retry').hidden = false;
      $('retry').focus();
      return;
    }
    // Here the program's two files are in (a 404 for them is a failure above).
    const file = (name) => loader.files.find((f) => f.name === name);
    if (typeof createKelvo !== 'function') {
      try {
        await runScript(file('kelvo.js').bytes);
      } catch (e) {
        fail('kelvo: kelvo.js did not run (' + (e && e.message || e) + '); the demo cannot run');
        return;
      }
    }
    page.wasm = file('kelvo.wasm').bytes;
    for (const name of DataFiles)
      if (file('data/' + name).state === 'done')
        page.files[name] = file('data/' + name).bytes;
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
  $('retry').addEventListener('click', () => load());

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
    page.starts++;
    removeMessage(page.soundLine);
    page.soundLine = null;
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
        // The sound layer's line about a browser that holds the audio back stays only while it
        // does; the one saying the audio now plays is for the console alone.
        if (line.startsWith(SoundPlaysLine)) {
          removeMessage(page.soundLine);
          page.soundLine = null;
        } else if (line.startsWith(SoundWaitsLine)) {
          page.soundLine = showMessage(line);
        } else {
          showMessage(line);
        }
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

  // ---- Dialogs: a modal dialog of the page (the rest of the page inert behind it), its caption
  // and text its name and description, focus kept on its buttons.

  function dialogButtons() {
    return Array.from($('dialog-buttons').querySelectorAll('button'));
  }

  // Focus with its ring shown, also where the browser would show it only after a key.
  function focusShown(element) {
    try {
      element.focus({focusVisible: true});
    } catch (e) {
      element.focus();
    }
  }

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
        page.dialog = null;
        if (box.open)
          box.close();
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
      if (box.showModal)
        box.showModal();
      else
        box.setAttribute('open', '');
      const preferred = row.querySelector('button[data-id="' + defaultId + '"]') || row.firstChild;
      if (preferred)
        focusShown(preferred);
    });
  }
  // Escape on a modal dialog would close it without an answer: the page answers it instead.
  $('dialog').addEventListener('cancel', (event) => event.preventDefault());
  $('dialog').addEventListener('close', () => {
    if (page.dialog && $('dialog').showModal)
      $('dialog').showModal();
  });

  // The dialog's keys: Enter and Space press the focused button (Enter the default one where none
  // has focus), Tab and Shift+Tab go round its buttons, Escape is Cancel (or OK alone), Y and N
  // Yes and No.
  function dialogKey(event) {
    const dialog = page.dialog;
    const buttons = dialogButtons();
    const focused = buttons.indexOf(document.activeElement);
    let id = 0;
    if (event.code === 'Tab') {
      event.preventDefault();
      if (buttons.length)
        focusShown(buttons[focused < 0 ? 0 : (focused + (event.shiftKey ? buttons.length - 1 : 1)) % buttons.length]);
      return;
    }
    if (event.code === 'Enter' || event.code === 'NumpadEnter')
      id = focused >= 0 ? Number(buttons[focused].dataset.id) : dialog.defaultId;
    else if (event.code === 'Space')
      id = focused >= 0 ? Number(buttons[focused].dataset.id) : 0;
    else if (event.code === 'Escape')
      id = dialog.buttons.includes(2) ? 2 : dialog.buttons.length === 1 && dialog.buttons[0] === 1 ? 1 : 0;
    else if (event.code === 'KeyY' && dialog.buttons.includes(6))
      id = 6;
    else if (event.code === 'KeyN' && dialog.buttons.includes(7))
      id = 7;
    if (event.code === 'Escape')
      event.preventDefault();
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

  // A click, touch or key of the person's own (not a script's) is what a browser asks for before
  // the page may play sound.
  for (const type of ['pointerdown', 'keydown', 'click', 'touchend'])
    window.addEventListener(type, (event) => {
      if (event.isTrusted)
        page.gestured = true;
    }, true);

  // The touch buttons and the help about them come with the first touch (or a coarse pointer:
  // a touch screen as the main input), never for a mouse alone.
  function touchSeen() {
    document.body.classList.add('touch');
  }
  const coarse = window.matchMedia ? window.matchMedia('(pointer: coarse)') : null;
  if (coarse && coarse.matches)
    touchSeen();
  window.addEventListener('pointerdown', (event) => {
    if (event.pointerType === 'touch' || event.pointerType === 'pen')
      touchSeen();
  }, true);
  window.addEventListener('touchstart', touchSeen, {capture: true, passive: true});

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

  // On a touch screen, fullscreen asks for landscape, where the browser allows that; where it
  // does not (a desktop, an iPhone) nothing is said.
  function lockLandscape() {
    const orientation = screen.orientation;
    if (!document.body.classList.contains('touch') || !orientation || !orientation.lock)
      return;
    try {
      Promise.resolve(orientation.lock('landscape')).catch(() => {});
    } catch (e) {}
  }
  function unlockOrientation() {
    try {
      if (screen.orientation && screen.orientation.unlock)
        screen.orientation.unlock();
    } catch (e) {}
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
      if (page.starts > 1)
        return -1;  // playing again plays from the start
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
      const asked = Promise.resolve(request).then(() => {
        lockLandscape();
        return !!fullscreenElement();
      }, () => false);
      const late = new Promise((resolve) => setTimeout(() => resolve(!!fullscreenElement()), 2000));
      return Promise.race([asked, late]);
    },
    exitFullscreen() {
      if (!fullscreenElement())
        return;
      unlockOrientation();
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
    // Whether the browser surely keeps the audio off for now: no gesture has reached the page yet
    // (and the browser does not say it lets this page play sound without one).
    audioHeldBack() {
      const activation = navigator.userActivation;
      const gestured = activation ? activation.hasBeenActive : page.gestured;
      if (gestured)
        return false;
      try {
        if (navigator.getAutoplayPolicy && navigator.getAutoplayPolicy('audiocontext') === 'allowed')
          return false;
      } catch (e) {}
      return true;
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
      page.dialog = null;
      if ($('dialog').open)
        $('dialog').close();
      $('ended-text').textContent = exitCode === 0 ? 'kelvo has ended.' :
        'kelvo has ended: its window could not be made (exit status ' + exitCode + ').';
      $('ended').hidden = false;
      focusShown($('again'));
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
    // The lines on the page now.
    get shown() {
      return $('messages').hidden ? [] : Array.from($('message-list').children).map((item) => item.textContent);
    },
    // The downloads: {name, state, received, expected} each.
    get files() {
      return loader.files.map((f) => ({name: f.name, state: f.state, received: f.state === 'done' ? f.bytes.length : f.received,
        expected: f.expected}));
    },
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

  // The downloads start once the page has been painted, so that the panel shows at once and is
  // what a measure of the page's speed counts as its content, not the 3.7 MB behind it. A page
  // that is not shown (a tab opened in the background) is not painted: it starts them at once,
  // and so does one whose browser has not reported a paint after 5 s.
  function afterFirstPaint(then) {
    let started = false;
    const go = () => {
      if (!started) {
        started = true;
        document.removeEventListener('visibilitychange', hidden);
        then();
      }
    };
    const hidden = () => {
      if (document.visibilityState === 'hidden')
        go();
    };
    const types = typeof PerformanceObserver === 'function' && PerformanceObserver.supportedEntryTypes;
    if (!types || !types.includes('paint')) {
      requestAnimationFrame(() => setTimeout(go, 0));
      return;
    }
    new PerformanceObserver((list, observer) => {
      if (list.getEntriesByName('first-contentful-paint').length) {
        observer.disconnect();
        go();
      }
    }).observe({type: 'paint', buffered: true});
    document.addEventListener('visibilitychange', hidden);
    hidden();
    setTimeout(go, 5000);
  }
  afterFirstPaint(load);
})();
