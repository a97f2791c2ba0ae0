// The page the web tests run the check programs in (the sound layer's kelvo_sound_check and the
// GL subset's kelvo_gl_check): ?program=NAME&args=[JSON]&files=[JSON paths to fetch into the
// program's files]. It gives the program the little of kelvo's page it needs and tells the test,
// through window.check, the lines it printed, its exit code and its files.
'use strict';

(async function () {
  const query = new URLSearchParams(location.search);
  const program = query.get('program');
  const args = JSON.parse(query.get('args') || '[]');
  const files = JSON.parse(query.get('files') || '[]');
  const check = window.check = {lines: [], exitCode: null, module: null, canvases: 0};
  const stage = document.getElementById('stage');

  const fetched = {};
  for (const path of files) {
    const response = await fetch(path);
    if (response.ok)
      fetched[path] = new Uint8Array(await response.arrayBuffer());
  }
  await new Promise((resolve, reject) => {
    const script = document.createElement('script');
    script.src = program + '.js';
    script.onload = resolve;
    script.onerror = reject;
    document.head.appendChild(script);
  });

  let context = null;
  const page = {
    environment: () => '',
    startMoment: () => -1,
    createCanvas(width, height) {
      const canvas = document.createElement('canvas');
      canvas.id = 'check-window-' + ++check.canvases;
      canvas.width = width;
      canvas.height = height;
      stage.appendChild(canvas);
      return canvas.id;
    },
    showCanvas(id, visible) {
      document.getElementById(id).hidden = !visible;
    },
    removeCanvas(id) {
      const canvas = document.getElementById(id);
      if (canvas)
        canvas.remove();
    },
    fullscreenAllowed: () => false,
    enterFullscreen: () => Promise.resolve(false),
    exitFullscreen() {},
    hideCursor() {},
    messageBox: (text, caption, buttons, defaultId) => Promise.resolve(defaultId),
    takeKey: () => -1,
    audioContext(rate) {
      if (!context || context.sampleRate !== rate)
        context = new AudioContext({sampleRate: rate});
      return context;
    },
    decodeAudio(bytes, rate) {
      return new OfflineAudioContext(2, 1, rate).decodeAudioData(bytes.slice().buffer);
    },
    present(frame, clock, gl) {
      // The frame as the canvas shows it, for the check to read back through window.check.
      const pixels = new Uint8Array(gl.drawingBufferWidth * gl.drawingBufferHeight * 4);
      gl.readPixels(0, 0, gl.drawingBufferWidth, gl.drawingBufferHeight, gl.RGBA, gl.UNSIGNED_BYTE, pixels);
      check.shown = {width: gl.drawingBufferWidth, height: gl.drawingBufferHeight, pixels};
      return new Promise((resolve) => requestAnimationFrame(() => resolve()));
    },
    ended() {},
  };
  const factory = {kelvo_sound_check: 'createSoundCheck', kelvo_gl_check: 'createGlCheck'}[program];
  window[factory]({
    kelvoPage: page,
    arguments: args,
    print: (line) => {
      check.lines.push(line);
      console.log(line);
    },
    printErr: (line) => {
      check.lines.push(line);
      console.warn(line);
    },
    preRun: [(module) => {
      for (const path of Object.keys(fetched)) {
        const parts = path.split('/');
        for (let i = 1; i < parts.length; i++) {
          try { module.FS.mkdir('/' + parts.slice(0, i).join('/')); } catch (e) {}
        }
        module.FS.writeFile('/' + path, fetched[path]);
      }
    }],
    onExit: (code) => { check.exitCode = code; },
  }).then((module) => { check.module = module; });
  // A file the program wrote, as bytes.
  check.readFile = (path) => Array.from(check.module.FS.readFile(path));
})();
