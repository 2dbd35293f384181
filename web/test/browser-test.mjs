// Plays the web build in headless Chromium through the DevTools protocol and checks what it shows.
//
// Usage: node browser-test.mjs <build-web folder>
// Serves the folder, clicks the title card's button, takes screenshots at
// moments of the show's own clock, checks pixels that must hold there, lets
// the show end by itself, then plays again and ends it with Escape; then, in
// a browser without WebGL, checks the software renderer's fallback. Takes
// about two and a half minutes, as the show plays in real time. Prints one
// line per check, the measured frame rates, and "N passed, M failed".
// Screenshots are kept in <build-web folder>/test-shots.
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
};

// Installed before the page's own scripts: counts the program's yields to the
// browser (emscripten_sleep(0) becomes setTimeout(..., 0)) while the show
// plays, notes when the first one happened and how long the program ran
// between its yields, and keeps the audio contexts and the kinds of canvas
// context made (WebGL, or 2D for SDL's software renderer).
const probeSource = `
window.__probe = { yields: 0, firstYield: null, busyMs: 0, resumedAt: null, audio: [], contexts: [] };
const realSetTimeout = window.setTimeout;
window.setTimeout = function (handler, delay, ...rest) {
  const probe = window.__probe;
  if (delay || !document.body || document.body.dataset.state !== 'playing') {
    return realSetTimeout.call(this, handler, delay, ...rest);
  }
  const now = performance.now();
  probe.yields += 1;
  if (probe.firstYield === null) probe.firstYield = now;
  if (probe.resumedAt !== null) probe.busyMs += now - probe.resumedAt;
  const resume = (...args) => {
    probe.resumedAt = performance.now();
    return handler(...args);
  };
  return realSetTimeout.call(this, resume, delay, ...rest);
};
const realGetContext = HTMLCanvasElement.prototype.getContext;
HTMLCanvasElement.prototype.getContext = function (kind, ...rest) {
  const context = realGetContext.call(this, kind, ...rest);
  if (context) window.__probe.contexts.push(kind);
  return context;
};
const RealAudioContext = window.AudioContext;
window.AudioContext = class extends RealAudioContext {
  constructor(...args) { super(...args); window.__probe.audio.push(this); }
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

// Serves the build folder on a free local port.
async function serveFolder(folder) {
  const server = createServer(async (request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(folder, name === '/' ? 'index.html' : path.normalize(name));
    try {
      const body = await readFile(file);
      response.writeHead(200, { 'Content-Type': mimeTypes[path.extname(file)] || 'application/octet-stream' });
      response.end(body);
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
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    `--user-data-dir=${profile}`, '--remote-debugging-port=0',
    `--window-size=${viewport.width},${viewport.height}`, ...extraFlags, 'about:blank',
  ], { stdio: ['ignore', 'ignore', 'pipe'] });
  const address = await new Promise((resolve, reject) => {
    let text = '';
    browser.stderr.on('data', (chunk) => {
      text += chunk;
      const match = text.match(/DevTools listening on (ws:\/\/\S+)/);
      if (match) resolve(match[1]);
    });
    browser.on('exit', (code) => reject(new Error(`chromium exited (${code}): ${text}`)));
  });
  return { browser, address };
}

// A DevTools connection: send() resolves to a command's result; events of
// the attached page go to the listeners by method name.
async function connect(address) {
  const socket = new WebSocket(address, { perMessageDeflate: false, maxPayload: 512 * 1024 * 1024 });
  await new Promise((resolve, reject) => {
    socket.once('open', resolve);
    socket.once('error', reject);
  });
  const pending = new Map();
  const listeners = new Map();
  let nextId = 1;
  let sessionId;
  socket.on('message', (data) => {
    const message = JSON.parse(data);
    if (message.id && pending.has(message.id)) {
      const { resolve, reject } = pending.get(message.id);
      pending.delete(message.id);
      if (message.error) reject(new Error(`${message.error.message} ${message.error.data || ''}`));
      else resolve(message.result);
    } else if (message.method && listeners.has(message.method)) {
      listeners.get(message.method)(message.params);
    }
  });
  const send = (method, params = {}, toPage = true) => new Promise((resolve, reject) => {
    const id = nextId++;
    pending.set(id, { resolve, reject });
    socket.send(JSON.stringify({ id, method, params, ...(toPage && sessionId ? { sessionId } : {}) }));
  });
  const { targetId } = await send('Target.createTarget', { url: 'about:blank' }, false);
  ({ sessionId } = await send('Target.attachToTarget', { targetId, flatten: true }, false));
  return { send, on: (method, listener) => listeners.set(method, listener), close: () => socket.close() };
}

// Evaluates an expression in the page and returns its value.
async function evaluate(page, expression) {
  const { result, exceptionDetails } = await page.send('Runtime.evaluate', { expression, returnByValue: true });
  if (exceptionDetails) throw new Error(`${expression}: ${exceptionDetails.text}`);
  return result.value;
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
  for (const type of ['mousePressed', 'mouseReleased']) {
    await page.send('Input.dispatchMouseEvent', { type, x: box.x, y: box.y, button: 'left', clickCount: 1 });
  }
}

async function pressEscape(page) {
  const key = { key: 'Escape', code: 'Escape', windowsVirtualKeyCode: 27, nativeVirtualKeyCode: 27 };
  await page.send('Input.dispatchKeyEvent', { type: 'keyDown', ...key });
  await page.send('Input.dispatchKeyEvent', { type: 'keyUp', ...key });
}

// Milliseconds on the show's clock: since the program's first yield, which
// follows its first frame right after it started the music.
async function showTime(page) {
  return evaluate(page, 'performance.now() - window.__probe.firstYield');
}

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
async function screenshot(page, shots, name, canvasBox) {
  const { data } = await page.send('Page.captureScreenshot', { format: 'png' });
  const png = Buffer.from(data, 'base64');
  await writeFile(path.join(shots, `${name}.png`), png);
  const image = decodePng(png);
  const pixelAt = (x, y) => {
    const i = (Math.round(y) * image.width + Math.round(x)) * image.channels;
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
const isRed = ([r, g, b]) => r >= 60 && g <= 25 && b <= 25;
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

function checkScene2(shot) {
  const coloured = gridSamples(shot).filter((s) => isSaturated(s.rgb)).length;
  check('scene 2 at 26.5 s: coloured tiles', coloured >= 10, `${coloured}/25 samples saturated`);
}

function checkScene3(shot) {
  const samples = gridSamples(shot);
  const red = samples.filter((s) => isRed(s.rgb)).length;
  const reddish = samples.filter((s) => isDarkOrRed(s.rgb)).length;
  check('scene 3 at 62.5 s: red flashing background', red >= 15 && reddish === 25,
    `${red}/25 red, ${reddish}/25 without green or blue`);
}

// The credits' green text sits on the red square in the middle of scene 5.
function checkScene5(shot) {
  let green = 0;
  for (let y = 552; y <= 592; y += 4) {
    for (let x = 560; x <= 1080; x += 4) {
      if (isGreen(shot.showPixel(x, y))) green += 1;
    }
  }
  const corners = [[20, 20], [1900, 20], [20, 1060], [1900, 1060]].map(([x, y]) => shot.showPixel(x, y));
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

// Passes per second of the program (one frame each) from now to the given show time.
async function measureFrameRate(page, untilMs, label) {
  const sample = `({ yields: window.__probe.yields, busy: window.__probe.busyMs,
    time: performance.now() - window.__probe.firstYield })`;
  const start = await evaluate(page, sample);
  await waitShowTime(page, untilMs);
  const end = await evaluate(page, sample);
  const frames = end.yields - start.yields;
  const fps = frames * 1000 / (end.time - start.time);
  const busy = (end.busy - start.busy) / frames;
  const contexts = await evaluate(page, 'window.__probe.contexts.join()');
  console.log(`frame rate (${label}): ${fps.toFixed(1)} frames/s from ${(start.time / 1000).toFixed(1)} s to ` +
    `${(end.time / 1000).toFixed(1)} s of the show, ${busy.toFixed(1)} ms of each in the program, ` +
    `canvas context: ${contexts}`);
  check(`the show renders frames (${label})`, fps >= 1, `${fps.toFixed(1)} frames/s`);
}

async function playWholeShow(page, shots, consoleLines) {
  await page.send('Page.navigate', { url: page.url });
  check('the title card offers to play', await waitFor(page,
    `document.body.dataset.state === 'ready' && document.body.innerText.includes('Notes Left Behind')`, 60000));
  await screenshot(page, shots, 'title-card', null);
  const beforeClick = await evaluate(page, 'window.__probe.yields');
  check('nothing runs before the click', beforeClick === 0);

  await clickElement(page, '#play');
  check('the show starts on the click', await waitFor(page, 'window.__probe.firstYield !== null', 20000));
  const canvasBox = await canvasContentBox(page);

  await waitShowTime(page, 3000);
  const audio = await evaluate(page, `window.__probe.audio.map((c) => ({ state: c.state, time: c.currentTime }))`);
  check('the music plays', audio.some((c) => c.state === 'running' && c.time > 1), JSON.stringify(audio));

  await waitShowTime(page, 5000);
  const shot1 = await screenshot(page, shots, 'scene1-5s', canvasBox);
  checkScene1(shot1);
  checkLetterbox(shot1, canvasBox);

  await measureFrameRate(page, 15000, 'WebGL');

  await waitShowTime(page, 26500);
  checkScene2(await screenshot(page, shots, 'scene2-26s', canvasBox));
  await waitShowTime(page, 62500);
  checkScene3(await screenshot(page, shots, 'scene3-62s', canvasBox));
  await waitShowTime(page, 117500);
  checkScene5(await screenshot(page, shots, 'scene5-117s', canvasBox));

  check('the show ends by itself and offers to play again', await waitFor(page,
    `document.body.dataset.state === 'ended' && document.body.innerText.includes('ended')`, 20000));
  await screenshot(page, shots, 'end-card', null);
  const errors = consoleLines.filter((line) => /error|fail|abort|exception/i.test(line));
  check('the console reports no error', errors.length === 0, errors.join(' | '));
}

async function playAgainAndEscape(page) {
  await evaluate(page, 'window.__probe.firstYield = null, window.__probe.yields = 0');
  await clickElement(page, '#play');
  check('play again starts a new show', await waitFor(page, 'window.__probe.firstYield !== null', 20000));
  await waitShowTime(page, 2000);
  await pressEscape(page);
  check('Escape ends the show', await waitFor(page, `document.body.dataset.state === 'ended'`, 10000));
}

// Without WebGL the program falls back to SDL's software renderer and says so.
async function playWithoutWebGL(page, shots, consoleLines) {
  await page.send('Page.navigate', { url: page.url });
  check('without WebGL: the title card offers to play',
    await waitFor(page, `document.body.dataset.state === 'ready'`, 60000));
  await clickElement(page, '#play');
  check('without WebGL: the show starts on the click',
    await waitFor(page, 'window.__probe.firstYield !== null', 20000));
  const canvasBox = await canvasContentBox(page);
  await waitShowTime(page, 5000);
  checkScene1(await screenshot(page, shots, 'software-scene1-5s', canvasBox), 'without WebGL, scene 1 at 5 s');
  await measureFrameRate(page, 10000, 'software renderer');
  const contexts = await evaluate(page, 'window.__probe.contexts');
  check('without WebGL: drawn on a 2D canvas', contexts.includes('2d') && !contexts.some((c) => c.includes('webgl')),
    contexts.join());
  check('without WebGL: the console says the software renderer is used',
    consoleLines.some((line) => line.includes('using the software renderer')));
  await pressEscape(page);
  check('without WebGL: Escape ends the show', await waitFor(page, `document.body.dataset.state === 'ended'`, 10000));
}

// Runs a test body against a page of a fresh headless Chromium, collecting
// the page's console lines; an exception counts as one failed check.
async function withBrowser(url, extraFlags, body) {
  const profile = await mkdtemp(path.join(os.tmpdir(), 'nlb-chromium-'));
  const { browser, address } = await launchChromium(profile, extraFlags);
  const consoleLines = [];
  try {
    const page = await connect(address);
    page.url = url;
    page.on('Runtime.consoleAPICalled', ({ type, args }) => {
      const line = `[${type}] ${args.map((a) => a.value ?? a.description).join(' ')}`;
      consoleLines.push(line);
      console.log(`  console ${line}`);
    });
    page.on('Runtime.exceptionThrown', ({ exceptionDetails }) => {
      const line = `[exception] ${exceptionDetails.exception?.description || exceptionDetails.text}`;
      consoleLines.push(line);
      console.log(`  console ${line}`);
    });
    await page.send('Runtime.enable');
    await page.send('Page.enable');
    await page.send('Emulation.setDeviceMetricsOverride', { ...viewport, deviceScaleFactor: 1, mobile: false });
    await page.send('Page.addScriptToEvaluateOnNewDocument', { source: probeSource });
    await body(page, consoleLines);
    page.close();
  } catch (error) {
    check('the test ran to its end', false, error.message);
  } finally {
    const exited = new Promise((resolve) => browser.once('exit', resolve));
    browser.kill();
    await exited;
    await rm(profile, { recursive: true, force: true });
  }
}

async function main() {
  const folder = path.resolve(process.argv[2] || 'build-web');
  const shots = path.join(folder, 'test-shots');
  await mkdir(shots, { recursive: true });
  const server = await serveFolder(folder);
  const url = `http://127.0.0.1:${server.address().port}/index.html`;
  await withBrowser(url, [], async (page, consoleLines) => {
    await playWholeShow(page, shots, consoleLines);
    await playAgainAndEscape(page);
  });
  await withBrowser(url, ['--disable-3d-apis'], (page, consoleLines) => playWithoutWebGL(page, shots, consoleLines));
  server.close();
  const failed = results.filter((passed) => !passed).length;
  console.log(`screenshots in ${shots}`);
  console.log(`${results.length - failed} passed, ${failed} failed`);
  process.exit(failed === 0 ? 0 : 1);
}

main();
