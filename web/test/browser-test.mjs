// Plays the web build in headless Chromium through the DevTools protocol and checks what it shows.
//
// Usage: node browser-test.mjs <site folder> [<screenshot folder>] [--whole]
// Serves the site, checks the title card, clicks its button, takes
// screenshots at moments of the show's own clock, checks pixels that must
// hold there, the frame rates displayed and drawn and the music that reaches
// the speakers, lets the show end by itself, then plays again (with nothing
// downloaded or compiled again) and ends it with a tap on the stop control,
// then once more with reduced flashing chosen on the card, to 1:02.5: all
// with Chromium compositing on a GPU.
// Then a few seconds in the default headless configuration, and in a browser
// without WebGL the software renderer's fallback, each ended with Escape; and
// Chromium as a phone: its card, a tap on Play, a wake lock, the audio
// interrupted, the phone turned, a tap on the stop control.
// Takes about three minutes, as the show plays in real time.
// Prints one line per check, the measured frame rates and music windows, and
// "N passed, M failed". Screenshots go to <site folder>/../test-shots.
// The page is not changed for the test: the probe below only watches it.
import { spawn } from 'node:child_process';
import { createServer } from 'node:http';
import { mkdtemp, mkdir, readFile, rm, writeFile } from 'node:fs/promises';
import os from 'node:os';
import path from 'node:path';
import { inflateSync } from 'node:zlib';
import WebSocket from 'ws';

const viewport = { width: 1280, height: 800 };
const showWidth = 1920;
const showHeight = 1080;

const mimeTypes = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript',
  '.wasm': 'application/wasm',
  '.data': 'application/octet-stream',
  '.jpg': 'image/jpeg',
  '.png': 'image/png',
};

// Installed before the page's own scripts, it watches the page while the
// show plays: the program's passes (each ends by asking for an animation
// frame) and the time it ran in each, the frames the browser displayed (an
// animation-frame loop of its own), the kinds of canvas context made (WebGL,
// or 2D for SDL's software renderer), the requests for full screen, and the
// sound sent to the speakers: everything connected to an audio destination is
// also recorded, mono, averaged down to about 6000 samples a second. It also
// keeps the wake locks taken and counts the WebAssembly compilations.
const probeSource = `
window.__probe = { passes: [], frames: [], busyMs: 0, resumedAt: null, contexts: [],
  fullscreenRequests: 0, recordings: [], sourceStarts: [], audio: null, showContext: null, contextRestored: false,
  wakeLocks: [], compilations: 0 };
const playing = () => document.body && document.body.dataset.state === 'playing';
const realRequestAnimationFrame = window.requestAnimationFrame.bind(window);
window.requestAnimationFrame = function (callback) {
  const probe = window.__probe;
  if (!playing()) return realRequestAnimationFrame(callback);
  const now = performance.now();
  probe.passes.push(now);
  if (probe.resumedAt !== null) probe.busyMs += now - probe.resumedAt;
  return realRequestAnimationFrame((time) => {
    probe.resumedAt = performance.now();
    callback(time);
  });
};
const countFrame = () => {
  if (playing()) window.__probe.frames.push(performance.now());
  realRequestAnimationFrame(countFrame);
};
realRequestAnimationFrame(countFrame);
const realGetContext = HTMLCanvasElement.prototype.getContext;
HTMLCanvasElement.prototype.getContext = function (kind, ...rest) {
  const context = realGetContext.call(this, kind, ...rest);
  if (context) window.__probe.contexts.push(kind);
  if (context && this.id === 'canvas') window.__probe.showContext = context;
  return context;
};
// Takes the show's WebGL context away, as a browser short of memory does, and
// gives it back after ms; true when it is lost.
window.__probe.loseContext = (ms) => {
  const context = window.__probe.showContext;
  const extension = context.getExtension('WEBGL_lose_context');
  context.canvas.addEventListener('webglcontextrestored', () => { window.__probe.contextRestored = true; });
  extension.loseContext();
  setTimeout(() => extension.restoreContext(), ms);
  return context.isContextLost();
};
const realStart = AudioBufferSourceNode.prototype.start;
AudioBufferSourceNode.prototype.start = function (when = 0, offset = 0, ...rest) {
  window.__probe.audio = this.context;
  window.__probe.sourceStarts.push({ at: performance.now(), offset, state: this.context.state,
    contextTime: this.context.currentTime });
  return realStart.call(this, when, offset, ...rest);
};
const realRequestFullscreen = Element.prototype.requestFullscreen;
Element.prototype.requestFullscreen = function (...args) {
  window.__probe.fullscreenRequests += 1;
  return realRequestFullscreen.apply(this, args);
};
if (window.WakeLock) {
  const realRequest = WakeLock.prototype.request;
  WakeLock.prototype.request = function (...args) {
    return realRequest.apply(this, args).then((lock) => {
      window.__probe.wakeLocks.push(lock);
      return lock;
    });
  };
}
// A compiled module handed in again is no compilation.
for (const name of ['compile', 'compileStreaming', 'instantiate', 'instantiateStreaming']) {
  const real = WebAssembly[name];
  WebAssembly[name] = function (source, ...rest) {
    if (!(source instanceof WebAssembly.Module)) window.__probe.compilations += 1;
    return real.call(this, source, ...rest);
  };
}
const recorderSource = \`registerProcessor('probe-recorder', class extends AudioWorkletProcessor {
  constructor(options) { super(); this.factor = options.processorOptions.factor; this.sum = 0; this.count = 0;
    this.chunk = []; }
  process(inputs) {
    const channels = inputs[0];
    const length = channels.length ? channels[0].length : 128;
    for (let i = 0; i < length; i++) {
      for (const channel of channels) this.sum += channel[i];
      if (++this.count === this.factor) { this.chunk.push(this.sum / this.factor); this.sum = 0; this.count = 0; }
    }
    if (this.chunk.length >= 4000) { this.port.postMessage(this.chunk); this.chunk = []; }
    return true;
  }
});\`;
const taps = new Map();
// A gain node per audio context that collects what reaches its destination;
// none where the browser has no audio worklets.
function tapOf(context) {
  if (!context.audioWorklet) return null;
  if (!taps.has(context)) {
    const tap = context.createGain();
    taps.set(context, tap);
    const factor = Math.round(context.sampleRate / 6000);
    const url = URL.createObjectURL(new Blob([recorderSource], { type: 'text/javascript' }));
    context.audioWorklet.addModule(url).then(() => {
      const recorder = new AudioWorkletNode(context, 'probe-recorder', { processorOptions: { factor } });
      const recording = { rate: context.sampleRate, factor, samples: [] };
      window.__probe.recordings.push(recording);
      recorder.port.onmessage = ({ data }) => {
        if (playing()) recording.samples.push(...data);
      };
      tap.connect(recorder);
      realConnect.call(recorder, context.destination);
    });
  }
  return taps.get(context);
}
const realConnect = AudioNode.prototype.connect;
AudioNode.prototype.connect = function (target, ...rest) {
  const tap = target instanceof AudioDestinationNode ? tapOf(target.context) : null;
  if (tap) realConnect.call(this, tap);
  return realConnect.call(this, target, ...rest);
};
`;

// Injected before the page's scripts, a browser whose audio never starts (no
// sound device): resume() never settles and the context stays suspended.
// __probe.startSound() starts it after all.
const silentAudioSource = `
const realResume = AudioContext.prototype.resume;
AudioContext.prototype.resume = function () {
  window.__probe.startSound = () => realResume.call(this);
  this.suspend();
  return new Promise(() => {});
};
`;

// Injected before the page's scripts, a browser that knows no Ogg Vorbis, as
// Safari: decodeAudioData refuses Ogg data and canPlayType denies it.
const noOggSource = `
const realDecodeAudioData = BaseAudioContext.prototype.decodeAudioData;
BaseAudioContext.prototype.decodeAudioData = function (data, ...rest) {
  if (new TextDecoder().decode(new Uint8Array(data, 0, 4)) !== 'OggS') return realDecodeAudioData.call(this, data, ...rest);
  const error = new DOMException('Decoding failed', 'EncodingError');
  if (rest[1]) rest[1](error);
  return Promise.reject(error);
};
const realCanPlayType = HTMLMediaElement.prototype.canPlayType;
HTMLMediaElement.prototype.canPlayType = function (type) {
  return /ogg|vorbis/i.test(type) ? '' : realCanPlayType.call(this, type);
};
`;

const results = [];

// Records one named check and prints it at once.
function check(name, passed, detail = '') {
  results.push(passed);
  console.log(`${passed ? 'PASS' : 'FAIL'} ${name}${detail ? ` (${detail})` : ''}`);
}

function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

// What the server sent since the page was last opened: per path, the
// requests and their bytes.
const served = new Map();

// Serves the build folder on a free local port, without cache headers.
async function serveFolder(folder) {
  const server = createServer(async (request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(folder, name === '/' ? 'index.html' : path.normalize(name));
    try {
      const body = await readFile(file);
      response.writeHead(200, { 'Content-Type': mimeTypes[path.extname(file)] || 'application/octet-stream' });
      response.end(body);
      const sent = served.get(name) || { requests: 0, bytes: 0 };
      served.set(name, { requests: sent.requests + 1, bytes: sent.bytes + body.length });
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return server;
}

// Starts headless Chromium with a fresh profile and the given extra flags; resolves to the process and
// its DevTools address.
async function launchChromium(profile, extraFlags) {
  const browser = spawn('chromium', [
    '--headless', '--no-sandbox', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    `--user-data-dir=${profile}`, '--remote-debugging-port=0',
    `--window-size=${viewport.width},${viewport.height}`, ...extraFlags, 'about:blank',
  ], { stdio: ['ignore', 'ignore', 'pipe'], env: withoutSoundServer() });
  const address = await listeningAddress(browser, /DevTools listening on (ws:\/\/\S+)/);
  return { browser, address };
}

// A WebSocket of JSON commands, as DevTools and WebDriver BiDi speak them:
// send() resolves to a command's result; events go to the listeners by method name.
async function openSocket(address) {
  const socket = new WebSocket(address, { perMessageDeflate: false, maxPayload: 512 * 1024 * 1024 });
  await new Promise((resolve, reject) => {
    socket.once('open', resolve);
    socket.once('error', reject);
  });
  const pending = new Map();
  const listeners = new Map();
  let nextId = 1;
  socket.on('message', (data) => {
    const message = JSON.parse(data);
    if (message.id && pending.has(message.id)) {
      const { resolve, reject } = pending.get(message.id);
      pending.delete(message.id);
      if (typeof message.error === 'string') reject(new Error(`${message.error}: ${message.message}`));
      else if (message.error) reject(new Error(`${message.error.message} ${message.error.data || ''}`));
      else resolve(message.result);
    } else if (message.method && listeners.has(message.method)) {
      listeners.get(message.method)(message.params);
    }
  });
  const send = (method, params = {}, extra = {}) => new Promise((resolve, reject) => {
    const id = nextId++;
    pending.set(id, { resolve, reject });
    socket.send(JSON.stringify({ id, method, params, ...extra }));
  });
  return { send, on: (method, listener) => listeners.set(method, listener), close: () => socket.close() };
}

// Chromium plays into a stand-in of its own without a sound device, as it
// always has here: the sound server web/test.sh starts is for the others.
function withoutSoundServer() {
  const env = { ...process.env };
  delete env.PULSE_SERVER;
  return env;
}

// A DevTools connection to a new page: its commands go to that page.
async function connect(address) {
  const socket = await openSocket(address);
  const { targetId } = await socket.send('Target.createTarget', { url: 'about:blank' });
  const { sessionId } = await socket.send('Target.attachToTarget', { targetId, flatten: true });
  return { engine: 'chromium', send: (method, params = {}) => socket.send(method, params, { sessionId }),
    on: socket.on, close: socket.close };
}

// A classic WebDriver command (WebKitGTK's driver) of the page's session; resolves to its value.
async function webDriverCommand(page, method, command, body) {
  const response = await fetch(`${page.driver}/session/${page.session}${command}`, {
    method, headers: { 'Content-Type': 'application/json' }, body: body && JSON.stringify(body) });
  const { value } = await response.json();
  if (!response.ok) throw new Error(`${command}: ${value.error} ${value.message}`);
  return value;
}

// Evaluates an expression in the page and returns its value; a promise is awaited.
async function evaluate(page, expression) {
  switch (page.engine) {
  case 'chromium': {
    const { result, exceptionDetails } = await page.send('Runtime.evaluate', { expression, returnByValue: true, awaitPromise: true });
    if (exceptionDetails) throw new Error(`${expression}: ${exceptionDetails.text}`);
    return result.value;
  }
  case 'firefox': {
    const { type, result, exceptionDetails } = await page.send('script.evaluate', {
      expression: `(async () => JSON.stringify(await (${expression})))()`, target: { context: page.context },
      awaitPromise: true, resultOwnership: 'none' });
    if (type === 'exception') throw new Error(`${expression}: ${exceptionDetails.text}`);
    return result.value === undefined ? undefined : JSON.parse(result.value);
  }
  default: {
    const text = await webDriverCommand(page, 'POST', '/execute/async', { args: [], script: `const done = arguments[0];
      (async () => JSON.stringify({ value: await (${expression}) }))().then(done, (error) => done(JSON.stringify({ error: String(error) })));` });
    const answer = JSON.parse(text);
    if ('error' in answer) throw new Error(`${expression}: ${answer.error}`);
    return answer.value;
  }
  }
}

// Opens the page's address anew (the probe comes with it, before the page's scripts where the engine can).
async function openPage(page) {
  served.clear();
  switch (page.engine) {
  case 'chromium': await page.send('Page.navigate', { url: page.url }); break;
  case 'firefox': await page.send('browsingContext.navigate', { context: page.context, url: page.url, wait: 'complete' }); break;
  default:
    // Classic WebDriver runs nothing before the page's scripts; the probe
    // watches only what the show does after the click, so after the load is early enough.
    await webDriverCommand(page, 'POST', '/url', { url: page.url });
    await webDriverCommand(page, 'POST', '/execute/sync', { script: probeSource, args: [] });
  }
}

// The viewport as a PNG image.
async function capturePng(page) {
  switch (page.engine) {
  case 'chromium': return Buffer.from((await page.send('Page.captureScreenshot', { format: 'png' })).data, 'base64');
  case 'firefox': return Buffer.from((await page.send('browsingContext.captureScreenshot', { context: page.context })).data, 'base64');
  default: return Buffer.from(await webDriverCommand(page, 'GET', '/screenshot'), 'base64');
  }
}

// WebDriver input: one source's actions, for BiDi and classic WebDriver alike.
async function performActions(page, source) {
  if (page.engine === 'firefox') await page.send('input.performActions', { context: page.context, actions: [source] });
  else await webDriverCommand(page, 'POST', '/actions', { actions: [source] });
}

// Polls an expression until it is truthy; false after timeoutMs. Errors
// count as not yet, as while the page is still loading.
async function waitFor(page, expression, timeoutMs) {
  const end = Date.now() + timeoutMs;
  while (Date.now() < end) {
    if (await evaluate(page, expression).catch(() => false)) return true;
    await sleep(100);
  }
  return false;
}

// Clicks the centre of an element like a user (a gesture that lets audio play).
async function clickElement(page, selector) {
  const box = await evaluate(page, `(() => { const r = document.querySelector('${selector}').getBoundingClientRect();
    return { x: r.x + r.width / 2, y: r.y + r.height / 2 }; })()`);
  if (page.engine !== 'chromium') {
    await performActions(page, { type: 'pointer', id: 'mouse', parameters: { pointerType: 'mouse' }, actions: [
      { type: 'pointerMove', x: Math.round(box.x), y: Math.round(box.y) },
      { type: 'pointerDown', button: 0 }, { type: 'pointerUp', button: 0 }] });
    return;
  }
  for (const type of ['mousePressed', 'mouseReleased']) {
    await page.send('Input.dispatchMouseEvent', { type, x: box.x, y: box.y, button: 'left', clickCount: 1 });
  }
}

async function pressEscape(page) {
  if (page.engine !== 'chromium') {
    await performActions(page, { type: 'key', id: 'keyboard', actions: [
      { type: 'keyDown', value: '\uE00C' }, { type: 'keyUp', value: '\uE00C' }] });
    return;
  }
  const key = { key: 'Escape', code: 'Escape', windowsVirtualKeyCode: 27, nativeVirtualKeyCode: 27 };
  await page.send('Input.dispatchKeyEvent', { type: 'keyDown', ...key });
  await page.send('Input.dispatchKeyEvent', { type: 'keyUp', ...key });
}

// Clicks Play; checks that the show starts within limitMs and returns the
// milliseconds from the click to the program's first frame.
async function clickPlay(page, label, limitMs = 20000) {
  const clickedAt = await evaluate(page, 'performance.now()');
  await clickElement(page, '#play');
  const started = await waitFor(page, showStarted, limitMs);
  const delayMs = started ? await evaluate(page, '__probe.passes[0]') - clickedAt : null;
  check(`${label}: the show starts on the click, within ${limitMs / 1000} s`, started,
    started ? `first frame ${Math.round(delayMs)} ms after the click` : '');
  return delayMs;
}

// Milliseconds on the show's clock: since the program's first pass ended,
// right after it started the music and drew its first frame.
async function showTime(page) {
  return evaluate(page, 'performance.now() - window.__probe.passes[0]');
}

const showStarted = 'window.__probe.passes.length > 0';

async function waitShowTime(page, ms) {
  const now = await showTime(page);
  if (ms > now) await sleep(ms - now);
}

// Decodes an 8-bit, non-interlaced RGB or RGBA PNG (what Chromium captures).
function decodePng(buffer) {
  const idat = [];
  let header;
  for (let pos = 8; pos < buffer.length;) {
    const length = buffer.readUInt32BE(pos);
    const type = buffer.toString('ascii', pos + 4, pos + 8);
    const data = buffer.subarray(pos + 8, pos + 8 + length);
    if (type === 'IHDR') {
      header = { width: data.readUInt32BE(0), height: data.readUInt32BE(4), depth: data[8], colour: data[9], interlace: data[12] };
    } else if (type === 'IDAT') {
      idat.push(data);
    }
    pos += 12 + length;
  }
  const channels = { 2: 3, 6: 4 }[header.colour];
  if (header.depth !== 8 || header.interlace !== 0 || !channels) throw new Error('unsupported PNG');
  const raw = inflateSync(Buffer.concat(idat));
  const stride = header.width * channels;
  const pixels = Buffer.alloc(header.height * stride);
  for (let y = 0; y < header.height; y++) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    const row = y * stride;
    for (let x = 0; x < stride; x++) {
      const left = x >= channels ? pixels[row + x - channels] : 0;
      const up = y > 0 ? pixels[row - stride + x] : 0;
      const upLeft = y > 0 && x >= channels ? pixels[row - stride + x - channels] : 0;
      let predictor = 0;
      if (filter === 1) predictor = left;
      else if (filter === 2) predictor = up;
      else if (filter === 3) predictor = (left + up) >> 1;
      else if (filter === 4) {
        const p = left + up - upLeft;
        const [dl, du, dul] = [Math.abs(p - left), Math.abs(p - up), Math.abs(p - upLeft)];
        predictor = dl <= du && dl <= dul ? left : du <= dul ? up : upLeft;
      }
      pixels[row + x] = (line[x] + predictor) & 255;
    }
  }
  return { ...header, channels, pixels };
}

// Takes a screenshot, keeps it in the shots folder and returns a reader of
// show pixels: show coordinates (1920x1080) mapped through the canvas' box.
// The slowest capture since the last title card: a page that starves the
// browser's display answers late.
let slowestScreenshotMs = 0;
async function screenshot(page, shots, name, canvasBox) {
  const requested = Date.now();
  const png = await capturePng(page);
  slowestScreenshotMs = Math.max(slowestScreenshotMs, Date.now() - requested);
  await writeFile(path.join(shots, `${name}.png`), png);
  const image = decodePng(png);
  // In CSS pixels; a page that emulates a phone is captured in its device pixels.
  const scale = page.scale || 1;
  const pixelAt = (x, y) => {
    const i = (Math.round(y * scale) * image.width + Math.round(x * scale)) * image.channels;
    return [image.pixels[i], image.pixels[i + 1], image.pixels[i + 2]];
  };
  const showPixel = (x, y) => pixelAt(canvasBox.x + (x + 0.5) * canvasBox.width / showWidth,
    canvasBox.y + (y + 0.5) * canvasBox.height / showHeight);
  return { pixelAt, showPixel };
}

// A 5x5 grid of show pixels, away from the centre sprite of scene 1.
function gridSamples(shot) {
  const samples = [];
  for (const y of [100, 300, 540, 780, 980]) {
    for (const x of [100, 500, 960, 1420, 1820]) samples.push({ x, y, rgb: shot.showPixel(x, y) });
  }
  return samples;
}

const isNeutralGrey = ([r, g, b]) => Math.max(r, g, b) - Math.min(r, g, b) <= 8 && r >= 3 && r <= 90;
const isSaturated = ([r, g, b]) => Math.max(r, g, b) - Math.min(r, g, b) >= 100;
// The background's red is a 256 ms saw-tooth; a frame shown some 100 ms off
// the asked moment may be near its dark end, or at black.
const isRed = ([r, g, b]) => r >= 11 && g <= 25 && b <= 25;
const isDarkOrRed = ([r, g, b]) => g <= 25 && b <= 25 && r >= 0;
const isGreen = ([r, g, b]) => g >= 150 && r <= 120 && b <= 120;
const isBlack = ([r, g, b]) => r + g + b <= 15;

function checkScene1(shot, label = 'scene 1 at 5 s') {
  const centre = shot.showPixel(960, 540);
  check(`${label}: bright sprite in the centre`, centre.every((c) => c >= 180), `centre ${centre}`);
  const fog = gridSamples(shot).filter((s) => !(s.x === 960 && s.y === 540));
  const grey = fog.filter((s) => isNeutralGrey(s.rgb)).length;
  check(`${label}: grey fog around it`, grey >= 20, `${grey}/24 samples neutral grey`);
}

function checkScene2(shot, label = 'scene 2 at 26.5 s') {
  const coloured = gridSamples(shot).filter((s) => isSaturated(s.rgb)).length;
  check(`${label}: coloured tiles`, coloured >= 10, `${coloured}/25 samples saturated`);
}

// Two moments 150 ms apart: the saw-tooth cannot be near black in both.
function checkScene3(shots) {
  const counts = shots.map((shot) => {
    const samples = gridSamples(shot);
    return { red: samples.filter((s) => isRed(s.rgb)).length, reddish: samples.filter((s) => isDarkOrRed(s.rgb)).length };
  });
  check('scene 3 at 62.5 s: red flashing background', counts.some((c) => c.red >= 15 && c.reddish === 25),
    counts.map((c) => `${c.red}/25 red, ${c.reddish}/25 without green or blue`).join('; '));
}

// The credits' green text sits on the red square in the middle of scene 5.
function checkScene5(shot) {
  let green = 0;
  for (let y = 552; y <= 592; y += 4) {
    for (let x = 560; x <= 1080; x += 4) {
      if (isGreen(shot.showPixel(x, y))) green += 1;
    }
  }
  // Not the top right corner, under the page's controls.
  const corners = [[20, 20], [1900, 200], [20, 1060], [1900, 1060]].map(([x, y]) => shot.showPixel(x, y));
  check('scene 5 at 117.5 s: green credits text', green >= 20, `${green} green samples`);
  check('scene 5 at 117.5 s: black around the credits', corners.every(isBlack), `corners ${corners.join(' ')}`);
}

// The canvas fills the viewport's width at 16:9 with black bars above and below.
function checkLetterbox(shot, canvasBox) {
  const expectedHeight = viewport.width * showHeight / showWidth;
  const fits = Math.abs(canvasBox.width - viewport.width) < 1 && Math.abs(canvasBox.height - expectedHeight) < 1;
  check('the show is scaled to the window at 16:9', fits,
    `content ${canvasBox.width}x${canvasBox.height} at ${canvasBox.x},${canvasBox.y}`);
  const bars = [shot.pixelAt(640, 5), shot.pixelAt(640, viewport.height - 5)];
  check('letterbox bars are black', bars.every(isBlack), `bars ${bars.join(' ')}`);
}

// The box the 16:9 picture occupies inside the canvas element (object-fit: contain).
async function canvasContentBox(page) {
  return evaluate(page, `(() => {
    const r = document.getElementById('canvas').getBoundingClientRect();
    const scale = Math.min(r.width / ${showWidth}, r.height / ${showHeight});
    const width = ${showWidth} * scale, height = ${showHeight} * scale;
    return { x: r.x + (r.width - width) / 2, y: r.y + (r.height - height) / 2, width, height };
  })()`);
}

const sceneEndsMs = [20000, 50000, 100000, 113985, 119985];

// Program passes and displayed frames per second in each scene that has
// begun, from the probe's time stamps; checks that the display keeps up
// with the program, one displayed frame per pass.
async function checkFrameRates(page, label) {
  const { passes, frames, busyMs, contexts } = await evaluate(page,
    '({ passes: __probe.passes, frames: __probe.frames, busyMs: __probe.busyMs, contexts: __probe.contexts.join() })');
  const start = passes[0];
  const last = passes[passes.length - 1];
  const rates = [];
  sceneEndsMs.forEach((endMs, index) => {
    const from = start + (index === 0 ? 0 : sceneEndsMs[index - 1]);
    const to = Math.min(start + endMs, last);
    if (to - from < 1000) return;
    const perSecond = (times) => times.filter((t) => t >= from && t < to).length * 1000 / (to - from);
    rates.push({ scene: index + 1, passes: perSecond(passes), frames: perSecond(frames) });
  });
  console.log(`frame rates (${label}), program passes / displayed frames per second: ` +
    rates.map((r) => `scene ${r.scene} ${r.passes.toFixed(1)} / ${r.frames.toFixed(1)}`).join(', ') +
    `; ${(busyMs / passes.length).toFixed(1)} ms of each pass in the program; canvas context: ${contexts}`);
  check(`the show renders frames (${label})`, rates.every((r) => r.passes >= 1));
  return rates;
}

function checkDisplayKeepsUp(rates, label) {
  const behind = rates.filter((r) => Math.abs(r.frames - r.passes) > 0.1 * r.passes);
  check(`${label}: one displayed frame per program pass, within 10 %`, behind.length === 0,
    behind.map((r) => `scene ${r.scene}`).join(', '));
  check(`${label}: screenshots return within 2 s`, slowestScreenshotMs <= 2000, `slowest ${slowestScreenshotMs} ms`);
}

// The music as a clean decoder hears it: the file out of the preloaded
// assets (demo.js names its place in demo.data), decoded by ffmpeg at the
// page's sample rate, mixed to mono and averaged over `factor` samples as
// the probe's recorder does.
async function referenceMusic(folder, sampleRate, factor) {
  const loader = await readFile(path.join(folder, 'demo.js'), 'utf8');
  const place = loader.match(/"filename":\s*"\/dada\/delfiini\.kalako",\s*"start":\s*(\d+),\s*"end":\s*(\d+)/);
  const data = await readFile(path.join(folder, 'demo.data'));
  const ogg = data.subarray(Number(place[1]), Number(place[2]));
  const ffmpeg = spawn('ffmpeg', ['-loglevel', 'error', '-i', 'pipe:0', '-ac', '1', '-ar', String(sampleRate),
    '-f', 'f32le', 'pipe:1'], { stdio: ['pipe', 'pipe', 'inherit'] });
  const chunks = [];
  ffmpeg.stdout.on('data', (chunk) => chunks.push(chunk));
  const exited = new Promise((resolve) => ffmpeg.on('exit', resolve));
  ffmpeg.stdin.end(ogg);
  await exited;
  const all = Buffer.concat(chunks);
  const pcm = new Float32Array(all.buffer, all.byteOffset, all.length / 4);
  const reduced = new Float32Array(Math.floor(pcm.length / factor));
  for (let i = 0; i < reduced.length; i++) {
    let sum = 0;
    for (let j = 0; j < factor; j++) sum += pcm[i * factor + j];
    // The recorder sums both channels, ffmpeg's mono averages them.
    reduced[i] = 2 * sum / factor;
  }
  return reduced;
}

// A [1 2 1] low-pass: the recorder's averages start anywhere within the
// music's samples, half an average off the reference's at worst, which the
// high notes would feel.
function smoothed(signal) {
  const result = new Float32Array(signal.length);
  for (let i = 0; i < signal.length; i++) {
    result[i] = (signal[Math.max(i - 1, 0)] + 2 * signal[i] + signal[Math.min(i + 1, signal.length - 1)]) / 4;
  }
  return result;
}

// Normalised correlation of recorded[at + lag ...] with music[from ...] over
// length samples; 0 where the recording does not cover it.
function correlation(recorded, music, from, at, length, step = 1) {
  if (at < 0 || at + length > recorded.length) return 0;
  let product = 0;
  let recordedEnergy = 0;
  let musicEnergy = 0;
  for (let i = 0; i < length; i += step) {
    product += recorded[at + i] * music[from + i];
    recordedEnergy += recorded[at + i] ** 2;
    musicEnergy += music[from + i] ** 2;
  }
  return product / Math.sqrt(recordedEnergy * musicEnergy || 1);
}

// The lag between music and recording that best fits the window at from,
// searched from first to last in steps.
function bestLag(recorded, music, from, length, first, last, step) {
  let best = { lag: first, value: -1 };
  for (let lag = first; lag <= last; lag += step) {
    const value = correlation(recorded, music, from, from + lag, length, step === 1 ? 1 : 2);
    if (value > best.value) best = { lag, value };
  }
  return best;
}

// Compares the recording with the music in half-second windows: a window
// matches where the recording holds it, in its place give or take 10 ms
// after the windows before, with a correlation of at least 0.9; silent
// music must be silent. A window that does not match is searched for within
// two seconds, so that a gap costs the windows it spoils, not all that follow.
function matchMusic(recorded, music, rate) {
  const window = Math.round(rate / 2);
  const near = Math.round(rate / 100);
  const far = 2 * rate;
  let lag = bestLag(recorded, music, 2 * window, 8 * window, -far, 4 * far, 2).lag;
  lag = bestLag(recorded, music, 2 * window, 8 * window, lag - 2, lag + 2, 1).lag;
  const scenes = sceneEndsMs.map(() => ({ matched: 0, windows: 0 }));
  const unmatched = [];
  for (let from = 0; from + window <= music.length; from += window) {
    if (from + lag < 0 || from + lag + window > recorded.length) continue;
    const scene = sceneEndsMs.findIndex((endMs) => from * 1000 / rate < endMs);
    if (scene < 0) break;
    let musicEnergy = 0;
    let recordedEnergy = 0;
    for (let i = 0; i < window; i++) {
      musicEnergy += music[from + i] ** 2;
      recordedEnergy += recorded[from + lag + i] ** 2;
    }
    const silent = musicEnergy / window < 1e-6;
    const best = bestLag(recorded, music, from, window, lag - near, lag + near, 1);
    const matched = silent ? recordedEnergy / window < 1e-5 : best.value >= 0.9;
    if (matched && !silent) lag = best.lag;
    if (!matched) lag = bestLag(recorded, music, from, window, lag - far, lag + far, 2).lag;
    scenes[scene].windows += 1;
    if (matched) scenes[scene].matched += 1;
    else unmatched.push((from / rate).toFixed(1));
  }
  return { scenes, unmatched };
}

// Checks that what reached the speakers is the music, intact, in every scene.
async function checkMusic(page, folder, label) {
  const recordings = await evaluate(page,
    '__probe.recordings.map((r) => ({ rate: r.rate, factor: r.factor, samples: r.samples }))');
  // Of all the contexts that played, the loud one carries the music.
  const energy = (r) => r.samples.reduce((sum, x) => sum + x * x, 0);
  const recording = recordings.sort((a, b) => energy(b) - energy(a))[0];
  if (!recording) {
    check(`${label}: the music reaches the speakers`, false, 'nothing recorded');
    return;
  }
  const music = await referenceMusic(folder, recording.rate, recording.factor);
  const { scenes, unmatched } = matchMusic(smoothed(recording.samples), smoothed(music),
    recording.rate / recording.factor);
  const text = scenes.map((s, i) => `scene ${i + 1} ${s.matched}/${s.windows}`).join(', ');
  console.log(`music (${label}), half-second windows that match: ${text}` +
    (unmatched.length ? `; not those at ${unmatched.join(' ')} s of the music` : ''));
  check(`${label}: the music is intact in every scene, 95 % of its windows`,
    scenes.every((s) => s.windows > 0 && s.matched >= 0.95 * s.windows), text);
}

// The title card: its poster, icon and link-preview image load, it warns
// where WebGL is missing (expected: whether it should), and its help is a
// desktop's.
async function checkTitleCard(page, shots, label, expectSlowNotice) {
  check(`${label}: the title card offers to play`, await waitFor(page,
    `document.body.dataset.state === 'ready' && document.body.innerText.includes('Notes Left Behind')`, 60000));
  await screenshot(page, shots, `title-card-${label.replace(/\W+/g, '-')}`, null);
  const statuses = await evaluate(page, `Promise.all(['link[rel=icon]', 'meta[property="og:image"]'].map((selector) => {
    const element = document.querySelector(selector);
    return fetch(new URL(element.href || element.content, location.href)).then((r) => r.status);
  }))`);
  const poster = await evaluate(page, `document.getElementById('poster').naturalWidth`);
  check(`${label}: the favicon, the poster and the preview image load`, poster > 0 &&
    statuses.every((status) => status === 200), `statuses ${statuses}, poster ${poster} px wide`);
  const notice = await evaluate(page, `!document.getElementById('slow').hidden`);
  check(`${label}: the card ${expectSlowNotice ? 'says' : 'does not say'} that the browser cannot draw smoothly`,
    notice === expectSlowNotice);
  check(`${label}: the photosensitivity warning is on the card`,
    await evaluate(page, `document.getElementById('photosensitivity').innerText.includes('flash')`));
  const help = await evaluate(page, `document.getElementById('help').innerText`);
  check(`${label}: the card's help speaks of keys, not taps`, help.includes('press Escape') && !help.includes('Tap'), help);
  slowestScreenshotMs = 0;
}

async function checkFullscreenButton(page) {
  await clickElement(page, '#fullscreen');
  check('the full-screen button asks for full screen',
    await waitFor(page, 'window.__probe.fullscreenRequests === 1', 2000));
  await evaluate(page, 'document.fullscreenElement && document.exitFullscreen()');
}

// The second showing reuses the first one's download and compiled program.
async function checkNothingLoadedTwice(page) {
  const compilations = await evaluate(page, '__probe.compilations');
  const requests = (name) => served.get(name)?.requests;
  const sent = [...served].map(([name, { requests, bytes }]) => `${name} ${requests}x ${bytes} B`).join(', ');
  check('a second showing downloads and compiles nothing again',
    requests('/demo.wasm') === 1 && requests('/demo.data') === 1 && compilations === 1,
    `${compilations} compilations; served in this visit: ${sent}`);
}

// Taps an element with a finger, as on a phone; a page that does not
// emulate a phone has a touch screen for that moment only.
async function tapElement(page, selector) {
  const box = await evaluate(page, `(() => { const r = document.querySelector('${selector}').getBoundingClientRect();
    return { x: r.x + r.width / 2, y: r.y + r.height / 2 }; })()`);
  if (!page.phone) await page.send('Emulation.setTouchEmulationEnabled', { enabled: true });
  await page.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [box] });
  await page.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
  if (!page.phone) await page.send('Emulation.setTouchEmulationEnabled', { enabled: false });
}

// The whole show: pixels of four scenes, frame rates, the music, its own end.
async function playWholeShow(page, folder, shots, consoleLines, label, withWebGL = true) {
  await openPage(page);
  await checkTitleCard(page, shots, label, !withWebGL);
  check(`${label}: nothing runs before the click`, await evaluate(page, 'window.__probe.passes.length') === 0);

  await clickPlay(page, label);
  const canvasBox = await canvasContentBox(page);

  await waitShowTime(page, 5000);
  const shot1 = await screenshot(page, shots, `${label}-scene1-5s`, canvasBox);
  checkScene1(shot1);
  checkLetterbox(shot1, canvasBox);
  if (withWebGL) await loseWebGLContext(page, label);
  await waitShowTime(page, 26500);
  checkScene2(await screenshot(page, shots, `${label}-scene2-26s`, canvasBox));
  await waitShowTime(page, 62500);
  const shot3 = await screenshot(page, shots, `${label}-scene3-62s`, canvasBox);
  await waitShowTime(page, 62650);
  const shot3Later = await screenshot(page, shots, `${label}-scene3-62s-later`, canvasBox);
  checkScene3([shot3, shot3Later]);
  await waitShowTime(page, 117500);
  checkScene5(await screenshot(page, shots, `${label}-scene5-117s`, canvasBox));
  const rates = await checkFrameRates(page, label);
  await checkMusic(page, folder, label);
  checkDisplayKeepsUp(rates, label);

  check(`${label}: the show ends by itself and offers to play again`, await waitFor(page,
    `document.body.dataset.state === 'ended' && document.body.innerText.includes('ended')`, 20000));
  const errors = consoleLines.filter((line) => /error|fail|abort|exception/i.test(line));
  check(`${label}: the console reports no error`, errors.length === 0, errors.join(' | '));
  return { scene1: shot1, scene3: [shot3, shot3Later] };
}

// The browser takes the WebGL context away at 21 s, in scene 2, and gives it
// back at 23 s; scene 2's check at 26.5 s then sees whether the show came back.
async function loseWebGLContext(page, label) {
  await waitShowTime(page, 21000);
  check(`${label}: the WebGL context is lost at 21 s`, await evaluate(page, '__probe.loseContext(2000)'));
  check(`${label}: and restored 2 s later`, await waitFor(page, '__probe.contextRestored', 4000));
}

async function playAgainAndTapStop(page) {
  await evaluate(page, 'window.__probe.passes = []');
  await clickElement(page, '#play');
  check('play again starts a new show', await waitFor(page, showStarted, 20000));
  await checkNothingLoadedTwice(page);
  await waitShowTime(page, 2000);
  await tapElement(page, '#stop');
  check('a tap on the stop control ends the show', await waitFor(page, `document.body.dataset.state === 'ended'`,
    10000));
}

// A few seconds of scene 1, then Escape. Without WebGL the program falls
// back to SDL's software renderer and says so. With silent audio (audio that
// does not start) the show starts within 2 s without sound, says so, and the
// music joins in when audio starts after all.
// How much the red of the grid's samples changes between two shots, on average.
const redSwing = (first, second) => {
  const later = gridSamples(second);
  return gridSamples(first).reduce((sum, sample, i) => sum + Math.abs(sample.rgb[0] - later[i].rgb[0]), 0) /
    later.length;
};

// The reduced-flashing mode chosen on the card: scene 1 as the normal show
// draws it; in scene 3 the red, which normally runs up from black every
// 256 ms, barely changes between two moments 150 ms apart.
async function playReduced(page, shots, normal) {
  const label = 'reduced flashing';
  await clickElement(page, '#reduce-flashes');
  check(`${label}: the card's checkbox chooses it`, await evaluate(page,
    `document.getElementById('reduce-flashes').checked`));
  await evaluate(page, 'window.__probe.passes = []');
  await clickElement(page, '#play');
  check(`${label}: Play starts the show`, await waitFor(page, showStarted, 20000));
  const canvasBox = await canvasContentBox(page);
  await waitShowTime(page, 5000);
  const shot1 = await screenshot(page, shots, 'reduced-scene1-5s', canvasBox);
  checkScene1(shot1, `${label}, scene 1 at 5 s`);
  const normalSamples = gridSamples(normal.scene1);
  const apart = gridSamples(shot1).reduce((sum, sample, i) => sum +
    sample.rgb.reduce((s, c, k) => s + Math.abs(c - normalSamples[i].rgb[k]), 0), 0) / (normalSamples.length * 3);
  check(`${label}: scene 1 at 5 s is the normal show's`, apart <= 12, `${apart.toFixed(1)} levels apart on average`);
  await waitShowTime(page, 62500);
  const shot3 = await screenshot(page, shots, 'reduced-scene3-62s', canvasBox);
  await waitShowTime(page, 62650);
  const shot3Later = await screenshot(page, shots, 'reduced-scene3-62s-later', canvasBox);
  const reduced = redSwing(shot3, shot3Later);
  const drawn = redSwing(...normal.scene3);
  check(`${label}: the red flashes of scene 3 at 62.5 s are damped`, reduced <= drawn / 4,
    `red changes by ${reduced.toFixed(1)} levels in 150 ms, normally ${drawn.toFixed(1)}`);
  await pressEscape(page);
  check(`${label}: Escape ends the show`, await waitFor(page, `document.body.dataset.state === 'ended'`, 10000));
}

async function playBriefly(page, shots, consoleLines, label, { withWebGL = true, silentAudio = false } = {}) {
  await openPage(page);
  await checkTitleCard(page, shots, label, !withWebGL);
  await clickPlay(page, label, silentAudio ? 2000 : 20000);
  const canvasBox = await canvasContentBox(page);
  if (silentAudio) {
    check(`${label}: a note says there is no sound`, await evaluate(page, `!document.getElementById('nosound').hidden`));
  }
  await waitShowTime(page, 5000);
  checkScene1(await screenshot(page, shots, `${label}-scene1-5s`, canvasBox), `${label}, scene 1 at 5 s`);
  if (silentAudio) await checkMusicJoinsLate(page, label);
  await waitShowTime(page, 10000);
  const rates = await checkFrameRates(page, label);
  if (withWebGL) {
    checkDisplayKeepsUp(rates, label);
  } else {
    const contexts = await evaluate(page, 'window.__probe.contexts');
    check(`${label}: drawn on a 2D canvas`, contexts.includes('2d') && !contexts.some((c) => c.includes('webgl')),
      contexts.join());
    check(`${label}: the console says the software renderer is used`,
      consoleLines.some((line) => line.includes('using the software renderer')));
  }
  await pressEscape(page);
  check(`${label}: Escape ends the show`, await waitFor(page, `document.body.dataset.state === 'ended'`, 10000));
}

// Audio starts at 6 s of a silent show: the music must start there, at the
// show's moment (the first frame follows the clock's start by its drawing
// time), and the note go.
async function checkMusicJoinsLate(page, label) {
  await waitShowTime(page, 6000);
  await evaluate(page, '__probe.startSound()');
  const joined = await waitFor(page, '__probe.sourceStarts.length > 0', 3000);
  const { showMs, offsetMs } = joined ? await evaluate(page, `({ showMs: __probe.sourceStarts[0].at - __probe.passes[0],
    offsetMs: 1000 * __probe.sourceStarts[0].offset })`) : {};
  check(`${label}: the music joins in when audio starts, at the show's moment`,
    joined && offsetMs >= showMs && offsetMs <= showMs + 250,
    joined ? `from ${Math.round(offsetMs)} ms of the music at ${Math.round(showMs)} ms of the show` : 'no music started');
  check(`${label}: the note goes when the music plays`, await evaluate(page, `document.getElementById('nosound').hidden`));
}

// Firefox and WebKitGTK: the card, Play, frames of scenes 1 and 2 with the
// music playing, Escape.
async function playTwoScenes(page, shots, label) {
  await openPage(page);
  await checkTitleCard(page, shots, label, false);
  await clickPlay(page, label);
  const canvasBox = await canvasContentBox(page);
  await waitShowTime(page, 5000);
  checkScene1(await screenshot(page, shots, `${label}-scene1-5s`, canvasBox), `${label}, scene 1 at 5 s`);
  // Heard: null where the engine has no audio worklets to record with.
  const sound = await evaluate(page, `({ starts: __probe.sourceStarts.length, state: __probe.sourceStarts[0]?.state,
    outputLatency: __probe.audio?.outputLatency, baseLatency: __probe.audio?.baseLatency,
    heard: __probe.recordings.length ? __probe.recordings.some((r) => r.samples.some((x) => Math.abs(x) > 0.01)) : null })`);
  check(`${label}: the music plays: a source started in a running audio context, and it is heard`,
    sound.starts === 1 && sound.state === 'running' && sound.heard !== false, JSON.stringify(sound));
  await waitShowTime(page, 26500);
  checkScene2(await screenshot(page, shots, `${label}-scene2-26s`, canvasBox), `${label}, scene 2 at 26.5 s`);
  await checkFrameRates(page, label);
  await pressEscape(page);
  check(`${label}: Escape ends the show`, await waitFor(page, `document.body.dataset.state === 'ended'`, 10000));
}

// Phone screens in CSS pixels, portrait and landscape (the last a landscape
// phone less the browser's bars), down to the smallest the card must fit.
const phoneScreens = [[390, 844], [320, 480], [568, 320], [844, 340]];

// Makes the page a phone's: a touch screen of width x height CSS pixels at 3
// device pixels each, turned as its shape says.
async function emulatePhone(page, width, height) {
  await page.send('Emulation.setDeviceMetricsOverride', { width, height, deviceScaleFactor: 3, mobile: true,
    screenOrientation: width > height ? { type: 'landscapePrimary', angle: 90 } : { type: 'portraitPrimary', angle: 0 } });
  await page.send('Emulation.setTouchEmulationEnabled', { enabled: true, maxTouchPoints: 5 });
  page.phone = true;
  page.scale = 3;
  // Time for the page to lay itself out anew.
  await sleep(300);
}

// The parts of the card that are outside the viewport and that scrolling
// does not bring into it; [] when all can be seen.
const cardCutOff = `(() => {
  const card = document.getElementById('card');
  const cut = [];
  if (card.scrollHeight > card.clientHeight && !['auto', 'scroll'].includes(getComputedStyle(card).overflowY)) {
    cut.push('the card does not scroll');
  }
  for (const element of card.children) {
    if (element.id === 'poster' || element.getClientRects().length === 0) continue;
    element.scrollIntoView({ block: 'nearest', inline: 'nearest' });
    const r = element.getBoundingClientRect();
    if (r.left < -0.5 || r.top < -0.5 || r.right > innerWidth + 0.5 || r.bottom > innerHeight + 0.5) {
      cut.push(element.id || element.localName);
    }
  }
  card.scrollTop = 0;
  return cut;
})()`;

// Chromium as a phone: the card at phone sizes, Play by a tap, a wake lock
// while the show plays, the audio interrupted in scene 1, the phone turned,
// the show ended by a tap on ✕.
async function playOnPhone(page, shots) {
  await emulatePhone(page, 390, 844);
  await openPage(page);
  check('phone: the title card offers to play', await waitFor(page, `document.body.dataset.state === 'ready'`, 60000));
  const help = await evaluate(page, `document.getElementById('help').innerText`);
  check('phone: the card speaks of taps, not keys, and in portrait suggests turning the phone',
    help.includes('Tap ✕') && !help.includes('Escape') && help.includes('Turn'), help);
  const cut = [];
  for (const [width, height] of phoneScreens) {
    await emulatePhone(page, width, height);
    await screenshot(page, shots, `phone-card-${width}x${height}`, null);
    const missing = await evaluate(page, cardCutOff);
    if (missing.length) cut.push(`${width}x${height}: ${missing.join(', ')}`);
  }
  check(`phone: nothing on the card is out of reach at ${phoneScreens.map((size) => size.join('x')).join(', ')}`,
    cut.length === 0, cut.join('; '));

  await emulatePhone(page, 390, 844);
  await tapElement(page, '#play');
  check('phone: a tap on Play starts the show', await waitFor(page, showStarted, 20000));
  check('phone: a wake lock keeps the screen on while the show plays',
    await waitFor(page, '__probe.wakeLocks.some((lock) => !lock.released)', 3000));
  await waitShowTime(page, 3000);
  let canvasBox = await canvasContentBox(page);
  check('phone: in portrait the picture spans the width', Math.abs(canvasBox.width - 390) < 1,
    `${canvasBox.width}x${canvasBox.height} at ${canvasBox.x},${canvasBox.y}`);
  checkScene1(await screenshot(page, shots, 'phone-portrait-scene1-3s', canvasBox), 'phone, portrait, scene 1 at 3 s');

  await emulatePhone(page, 844, 390);
  canvasBox = await canvasContentBox(page);
  await waitShowTime(page, 5000);
  const shot = await screenshot(page, shots, 'phone-landscape-scene1-5s', canvasBox);
  const bars = [shot.pixelAt(20, 195), shot.pixelAt(824, 195)];
  const width = 390 * showWidth / showHeight;
  check('phone: turned to 844x390, the picture refits, black at the sides', Math.abs(canvasBox.height - 390) < 1 &&
    Math.abs(canvasBox.width - width) < 1 && Math.abs(canvasBox.x - (844 - width) / 2) < 1 && bars.every(isBlack),
    `${canvasBox.width}x${canvasBox.height} at ${canvasBox.x},${canvasBox.y}; bars ${bars.join(' ')}`);
  checkScene1(shot, 'phone, landscape, scene 1 at 5 s');
  await checkInterruption(page);
  await tapElement(page, '#stop');
  check('phone: a tap on ✕ ends the show', await waitFor(page, `document.body.dataset.state === 'ended'`, 10000));
  check('phone: and the wake lock is let go',
    await waitFor(page, '__probe.wakeLocks.length > 0 && __probe.wakeLocks.every((lock) => lock.released)', 2000));
}

// The browser suspends the audio for 3 s in scene 1, as a call or a locked
// screen does: meanwhile the note says there is no sound; a second after,
// the music heard (where its latest source is, less the output latency the
// browser reports) is the show's moment. The show's clock starts with the
// first source, as the audio runs from the start here.
async function checkInterruption(page) {
  await waitShowTime(page, 7000);
  await evaluate(page, '__probe.audio.suspend()');
  const suspendedAt = Date.now();
  check('phone: while the audio is suspended, the note says there is no sound',
    await waitFor(page, `!document.getElementById('nosound').hidden`, 2000));
  await sleep(3000 - (Date.now() - suspendedAt));
  await evaluate(page, '__probe.audio.resume()');
  await sleep(1000);
  const sync = await evaluate(page, `(() => {
    const audio = __probe.audio;
    const last = __probe.sourceStarts[__probe.sourceStarts.length - 1];
    return { musicMs: 1000 * (last.offset + audio.currentTime - last.contextTime),
      showMs: performance.now() - __probe.sourceStarts[0].at,
      outputMs: 1000 * (audio.outputLatency || 0), baseMs: 1000 * (audio.baseLatency || 0),
      noteHidden: document.getElementById('nosound').hidden };
  })()`);
  const aheadMs = sync.musicMs - sync.outputMs - sync.baseMs - sync.showMs;
  check('phone: 1 s after the audio resumes, the music heard is within 100 ms of the show\'s moment',
    Math.abs(aheadMs) <= 100, `${Math.round(aheadMs)} ms ahead; latency reported: ` +
    `${sync.outputMs.toFixed(1)} ms output, ${sync.baseMs.toFixed(1)} ms base`);
  check('phone: and the note is gone', sync.noteHidden);
}

// Prints a console line of the page and keeps it for the checks.
function noteConsoleLine(consoleLines, line) {
  consoleLines.push(line);
  console.log(`  console ${line}`);
}

// A page of a fresh headless Chromium with the probe and the injected
// scripts before the page's own.
async function openChromium(profile, { flags = [], injected = [] }, consoleLines) {
  const { browser, address } = await launchChromium(profile, flags);
  const page = await connect(address);
  page.on('Runtime.consoleAPICalled', ({ type, args }) => {
    noteConsoleLine(consoleLines, `[${type}] ${args.map((a) => a.value ?? a.description).join(' ')}`);
  });
  page.on('Runtime.exceptionThrown', ({ exceptionDetails }) => {
    noteConsoleLine(consoleLines, `[exception] ${exceptionDetails.exception?.description || exceptionDetails.text}`);
  });
  await page.send('Runtime.enable');
  await page.send('Page.enable');
  await page.send('Emulation.setDeviceMetricsOverride', { ...viewport, deviceScaleFactor: 1, mobile: false });
  for (const source of [probeSource, ...injected]) {
    await page.send('Page.addScriptToEvaluateOnNewDocument', { source });
  }
  return { browser, page };
}

// Firefox on the X display, driven over WebDriver BiDi, with the probe before
// the page's scripts. Its profile lets it draw WebGL on Mesa's software driver.
async function openFirefox(profile, consoleLines) {
  await writeFile(path.join(profile, 'user.js'), [
    ['webgl.force-enabled', true], ['browser.shell.checkDefaultBrowser', false],
    ['datareporting.policy.dataSubmissionEnabled', false], ['browser.aboutwelcome.enabled', false],
    ['toolkit.telemetry.reportingpolicy.firstRun', false], ['app.update.disabledForTesting', true],
  ].map(([name, value]) => `user_pref(${JSON.stringify(name)}, ${JSON.stringify(value)});\n`).join(''));
  const browser = spawn('firefox-esr', ['--remote-debugging-port=0', '--no-remote', '--profile', profile,
    `--width=${viewport.width}`, `--height=${viewport.height}`, 'about:blank'], { stdio: ['ignore', 'ignore', 'pipe'] });
  try {
    const address = await listeningAddress(browser, /WebDriver BiDi listening on (ws:\/\/\S+)/);
    const socket = await openSocket(`${address}/session`);
    await socket.send('session.new', { capabilities: {} });
    const { contexts } = await socket.send('browsingContext.getTree', {});
    const page = { engine: 'firefox', context: contexts[0].context, send: socket.send, on: socket.on, close: socket.close };
    await page.send('browsingContext.setViewport', { context: page.context, viewport });
    page.on('log.entryAdded', ({ level, text }) => noteConsoleLine(consoleLines, `[${level}] ${text}`));
    await page.send('session.subscribe', { events: ['log.entryAdded'] });
    await page.send('script.addPreloadScript', { functionDeclaration: `() => {${probeSource}}` });
    return { browser, page };
  } catch (error) {
    browser.kill();
    throw error;
  }
}

// WebKitGTK's MiniBrowser on the X display, driven by WebKitWebDriver over
// classic WebDriver. Resolves once the driver has a session.
async function openWebKit() {
  const port = await freePort();
  const browser = spawn('WebKitWebDriver', [`--port=${port}`], { stdio: 'ignore' });
  const page = { engine: 'webkit', driver: `http://127.0.0.1:${port}`, close: () => {} };
  try {
    const end = Date.now() + 20000;
    while (page.session === undefined) {
      const response = await fetch(`${page.driver}/session`, { method: 'POST', body: JSON.stringify({
        capabilities: { alwaysMatch: { browserName: 'MiniBrowser' } } }) }).catch((error) => {
        if (Date.now() > end) throw error;
        return null;
      });
      if (response) {
        const { value } = await response.json();
        if (!value.sessionId) throw new Error(`WebKitWebDriver: ${value.error} ${value.message}`);
        page.session = value.sessionId;
      } else {
        await sleep(200);
      }
    }
    // The window's size, toolbar included, that gives the viewport's.
    await webDriverCommand(page, 'POST', '/window/rect', { width: viewport.width, height: viewport.height });
    const toolbar = await evaluate(page, 'outerHeight - innerHeight');
    await webDriverCommand(page, 'POST', '/window/rect', { width: viewport.width, height: viewport.height + toolbar });
  } catch (error) {
    if (page.session !== undefined) await webDriverCommand(page, 'DELETE', '').catch(() => {});
    browser.kill();
    throw error;
  }
  return { browser, page };
}

// The address a browser prints on its standard error when it listens.
function listeningAddress(browser, pattern) {
  return new Promise((resolve, reject) => {
    let text = '';
    browser.stderr.on('data', (chunk) => {
      text += chunk;
      const match = text.match(pattern);
      if (match) resolve(match[1]);
    });
    browser.on('exit', (code) => reject(new Error(`the browser exited (${code}): ${text}`)));
  });
}

// A local port that nothing listens on.
async function freePort() {
  const server = createServer();
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const { port } = server.address();
  await new Promise((resolve) => server.close(resolve));
  return port;
}

// Runs a test body against a page of a fresh browser of the engine
// ('chromium' with options { flags, injected }, 'firefox' or 'webkit'),
// collecting the page's console lines where the engine reports them; an
// exception counts as one failed check.
// Runs body with a browser of the engine; with options.limitMs, a body that
// has not finished by then counts as stalled: the browser is closed, a
// failed check is recorded and 'stalled' returned.
async function withBrowser(engine, url, options, body) {
  const profile = await mkdtemp(path.join(os.tmpdir(), `nlb-${engine}-`));
  const consoleLines = [];
  let browser = null;
  let page = null;
  let timer = null;
  let outcome = 'done';
  try {
    if (engine === 'chromium') ({ browser, page } = await openChromium(profile, options, consoleLines));
    else if (engine === 'firefox') ({ browser, page } = await openFirefox(profile, consoleLines));
    else ({ browser, page } = await openWebKit());
    page.url = url;
    const stalled = new Promise((resolve) => {
      if (options.limitMs) timer = setTimeout(() => resolve('stalled'), options.limitMs);
    });
    const running = body(page, consoleLines).then(() => 'done');
    running.catch(() => {}); // a stalled body may fail later, once its browser is gone
    outcome = await Promise.race([running, stalled]);
    if (outcome === 'stalled') {
      check(`the test ran to its end in ${engine}`, false, `no answer for ${options.limitMs / 1000} s`);
    }
  } catch (error) {
    check(`the test ran to its end in ${engine}`, false, error.message);
  } finally {
    clearTimeout(timer);
    // WebKitWebDriver leaves its browser running unless the session ends.
    if (page !== null && engine === 'webkit') await webDriverCommand(page, 'DELETE', '').catch(() => {});
    if (page !== null) page.close();
    if (browser !== null) {
      const exited = new Promise((resolve) => browser.once('exit', resolve));
      browser.kill();
      await exited;
    }
    await rm(profile, { recursive: true, force: true });
  }
  return outcome;
}

// Chromium's configurations: compositing on a GPU (SwiftShader's, the
// closest this machine has to a desktop browser with a graphics card), the
// default headless one, and one without WebGL.
const gpuFlags = ['--use-angle=swiftshader', '--enable-unsafe-swiftshader'];
const defaultFlags = ['--disable-gpu'];
const noWebGLFlags = ['--disable-gpu', '--disable-3d-apis'];

async function main() {
  const folder = path.resolve(process.argv[2] || 'build-web/site');
  const shots = path.resolve(process.argv[3] || path.join(folder, '..', 'test-shots'));
  // --whole plays the whole show in every configuration, to measure them.
  const whole = process.argv.includes('--whole');
  // --engines=chromium,firefox,webkit (the default) picks the browsers.
  const enginesOption = process.argv.find((arg) => arg.startsWith('--engines='));
  const engines = enginesOption ? enginesOption.slice('--engines='.length).split(',') : ['chromium', 'firefox', 'webkit'];
  await mkdir(shots, { recursive: true });
  const server = await serveFolder(folder);
  const url = `http://127.0.0.1:${server.address().port}/index.html`;
  if (engines.includes('chromium')) {
    // As in Safari, the browser cannot decode the music file itself.
    await withBrowser('chromium', url, { flags: gpuFlags, injected: [noOggSource] }, async (page, consoleLines) => {
      const normal = await playWholeShow(page, folder, shots, consoleLines, 'GPU compositing');
      await checkFullscreenButton(page);
      await playAgainAndTapStop(page);
      await playReduced(page, shots, normal);
    });
    await withBrowser('chromium', url, { flags: defaultFlags, injected: whole ? [] : [silentAudioSource] },
      (page, consoleLines) => (whole
        ? playWholeShow(page, folder, shots, consoleLines, 'default')
        : playBriefly(page, shots, consoleLines, 'default, audio does not start', { silentAudio: true })));
    await withBrowser('chromium', url, { flags: noWebGLFlags }, (page, consoleLines) => (whole
      ? playWholeShow(page, folder, shots, consoleLines, 'without WebGL', false)
      : playBriefly(page, shots, consoleLines, 'without WebGL', { withWebGL: false })));
    if (!whole) await withBrowser('chromium', url, { flags: defaultFlags }, (page) => playOnPhone(page, shots));
  }
  for (const engine of ['firefox', 'webkit'].filter((name) => engines.includes(name))) {
    const run = () => withBrowser(engine, url, { limitMs: whole ? 0 : 240000 }, (page, consoleLines) => (whole
      ? playWholeShow(page, folder, shots, consoleLines, engine)
      : playTwoScenes(page, shots, engine)));
    const before = results.length;
    // Firefox has been seen, now and then, to stop answering after Play with
    // the page and the browser idle and no frame drawn, a stall we have not
    // traced; one more try tells such a stall from a fault that recurs.
    if (await run() === 'stalled') {
      results.length = before;
      console.log(`${engine} stopped answering: trying once more`);
      await run();
    }
  }
  server.close();
  const failed = results.filter((passed) => !passed).length;
  console.log(`screenshots in ${shots}`);
  console.log(`${results.length - failed} passed, ${failed} failed`);
  process.exit(failed === 0 ? 0 : 1);
}

main();
