// Scripts the test puts in the page before the page's own: the probe that
// watches the show, and two that play a browser the show must cope with;
// and probeOn, what a test asks the probe. The page is not changed for the
// test: the probe only watches it.
// pages.mjs imports probeSource from here to inject it; neither module uses
// the other's names before a call, so the cycle is harmless.
import { evaluate, waitFor } from './pages.mjs';

// The recorder's worklet, served beside the site (the page's content policy
// allows the site's own scripts only).
const recorderPath = '/probe-recorder.js';
const recorderSource = `registerProcessor('probe-recorder', class extends AudioWorkletProcessor {
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
});
`;
export const probeFiles = { [recorderPath]: recorderSource };


// Installed before the page's own scripts, it watches the page while the
// show plays: the program's passes (each ends by asking for an animation
// frame) and the time it ran in each, the frames the browser displayed (an
// animation-frame loop of its own), the kinds of canvas context made (WebGL,
// or 2D for SDL's software renderer), the requests for full screen, and the
// sound sent to the speakers: everything connected to an audio destination is
// also recorded, mono, averaged down to about 6000 samples a second. It also
// keeps the wake locks taken, counts the WebAssembly compilations, and hands
// out the picture the program drew in a pass, read from its canvas before
// the browser shows it. Until the card is first ready or failed, a timer
// ticks, and the longest wait between its ticks tells how long the page's
// thread was held while it loaded.
export const probeSource = `
const recorderPath = '${recorderPath}';
window.__probe = { passes: [], frames: [], busyMs: 0, resumedAt: null, contexts: [], blocked: [],
  fullscreenRequests: 0, recordings: [], sourceStarts: [], audio: null, showContext: null, contextRestored: false,
  wakeLocks: [], compilations: 0, drawnWanted: [], loadTick: { last: performance.now(), longestWaitMs: 0 } };
document.addEventListener('securitypolicyviolation', (event) => {
  window.__probe.blocked.push(event.violatedDirective + ' ' + event.blockedURI);
});
const loadTicks = setInterval(() => {
  const tick = window.__probe.loadTick;
  const now = performance.now();
  tick.longestWaitMs = Math.max(tick.longestWaitMs, now - tick.last);
  tick.last = now;
  if (document.body && ['ready', 'failed'].includes(document.body.dataset.state)) clearInterval(loadTicks);
}, 50);
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
    handOverDrawnPicture();
  });
};
// Right after a pass the canvas still holds what the program drew, WebGL's
// too: a hash of a small copy of it goes to whoever asked for one.
function handOverDrawnPicture() {
  const wanted = window.__probe.drawnWanted.splice(0);
  const canvas = document.getElementById('canvas');
  if (!wanted.length || !canvas) return;
  const copy = document.createElement('canvas');
  copy.width = 64;
  copy.height = 36;
  const context = realGetContext.call(copy, '2d');
  context.drawImage(canvas, 0, 0, copy.width, copy.height);
  let hash = 0;
  const levels = context.getImageData(0, 0, copy.width, copy.height).data;
  for (const level of levels) hash = (hash * 31 + level) >>> 0;
  for (const resolve of wanted) resolve(hash);
}
window.__probe.drawnPicture = () => new Promise((resolve) => window.__probe.drawnWanted.push(resolve));
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
    contextTime: Math.max(when, this.context.currentTime) });
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
const taps = new Map();
// A gain node per audio context that collects what reaches its destination;
// none where the browser has no audio worklets.
function tapOf(context) {
  if (!context.audioWorklet) return null;
  if (!taps.has(context)) {
    const tap = context.createGain();
    taps.set(context, tap);
    const factor = Math.round(context.sampleRate / 6000);
    context.audioWorklet.addModule(recorderPath).then(() => {
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
export const silentAudioSource = `
const realResume = AudioContext.prototype.resume;
AudioContext.prototype.resume = function () {
  window.__probe.startSound = () => realResume.call(this);
  this.suspend();
  return new Promise(() => {});
};
`;

// Injected before the page's scripts, a browser that knows no Ogg Vorbis, as
// Safari: decodeAudioData refuses Ogg data and canPlayType denies it.
export const noOggSource = `
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

// What a test asks of the probe in a page: this is the one place outside the
// injected sources that knows the probe's names. Times are on the page's
// clock (performance.now()); a method "within" ms waits for it and answers
// false when it does not come.
export function probeOn(page) {
  return {
    // The longest wait between the ticks of the probe's timer, every 50 ms
    // from the page's start until its card was first ready.
    longestLoadWaitMs() {
      return evaluate(page, '__probe.loadTick.longestWaitMs');
    },
    // What the page's content policy blocked: directive and address, each.
    blocked() {
      return evaluate(page, '__probe.blocked');
    },
    // The time stamps of the program's passes, one per frame it asked for.
    passes() {
      return evaluate(page, '__probe.passes');
    },
    passCount() {
      return evaluate(page, '__probe.passes.length');
    },
    // A hash of the picture the program draws in its next pass, as it drew
    // it, whatever the browser shows: pictures of passes a second apart
    // differ while the show runs.
    drawnPicture() {
      return evaluate(page, '__probe.drawnPicture()');
    },
    // Forgets an earlier showing's passes, so that the next showing's clock
    // starts at its own first pass.
    newShowing() {
      return evaluate(page, '__probe.passes = []');
    },
    // Whether the program passes at least once within withinMs.
    passesWithin(withinMs) {
      return waitFor(page, '__probe.passes.length > 0', withinMs);
    },
    // When the program's first pass ended: right after it started the music
    // and drew its first frame.
    firstPassMs() {
      return evaluate(page, '__probe.passes[0]');
    },
    // The passes, the frames the browser displayed, the milliseconds spent
    // in the program and the kinds of canvas context made, read at one moment.
    // now is the page's clock as it answers.
    timeline() {
      return evaluate(page, '({ passes: __probe.passes, frames: __probe.frames, busyMs: __probe.busyMs, ' +
        'contexts: __probe.contexts, now: performance.now() })');
    },
    // The kinds of canvas context made ("webgl2", "2d"...), in order.
    canvasContexts() {
      return evaluate(page, '__probe.contexts');
    },
    // Takes the show's WebGL context away and gives it back after ms; true
    // when it is lost.
    loseContext(ms) {
      return evaluate(page, `__probe.loseContext(${ms})`);
    },
    contextRestoredWithin(withinMs) {
      return waitFor(page, '__probe.contextRestored', withinMs);
    },
    // Whether the page asks for full screen, once, within withinMs.
    fullscreenRequestedWithin(withinMs) {
      return waitFor(page, '__probe.fullscreenRequests === 1', withinMs);
    },
    // How many times the page compiled WebAssembly.
    compilations() {
      return evaluate(page, '__probe.compilations');
    },
    // Whether the page holds a wake lock within withinMs.
    wakeLockWithin(withinMs) {
      return waitFor(page, '__probe.wakeLocks.some((lock) => !lock.released)', withinMs);
    },
    // Whether the page took wake locks and let them all go within withinMs.
    wakeLocksReleasedWithin(withinMs) {
      return waitFor(page, '__probe.wakeLocks.length > 0 && __probe.wakeLocks.every((lock) => lock.released)',
        withinMs);
    },
    // What reached the speakers, one recording per audio context:
    // { rate, factor, samples }, samples averaged over factor at rate.
    recordings() {
      return evaluate(page, '__probe.recordings.map((r) => ({ rate: r.rate, factor: r.factor, samples: r.samples }))');
    },
    // The music at a glance: how many sources started, the first one's
    // audio context state then, the context's base latency, and whether
    // anything was heard (null where the engine has no audio worklets to
    // record with). Not outputLatency, which can leave Firefox's page frozen
    // (see index.html).
    music() {
      return evaluate(page, `({ starts: __probe.sourceStarts.length, state: __probe.sourceStarts[0]?.state,
        baseLatency: __probe.audio?.baseLatency,
        heard: __probe.recordings.length
          ? __probe.recordings.some((r) => r.samples.some((x) => Math.abs(x) > 0.01)) : null })`);
    },
    // Where the page placed the music anew after its first source: from
    // where the source before had come to, to where the new one starts, or
    // the other way round, { fromMs, toMs } in the music's time. Not where a
    // source went on from where the last ended, as while the music arrives.
    musicPlacedAnew() {
      return evaluate(page, `__probe.sourceStarts.slice(1).map((start, i) => {
        const before = __probe.sourceStarts[i];
        const reachedMs = 1000 * (before.offset + start.contextTime - before.contextTime);
        const startMs = 1000 * start.offset;
        return { fromMs: Math.min(reachedMs, startMs), toMs: Math.max(reachedMs, startMs) };
      }).filter((jump) => jump.toMs - jump.fromMs >= 1)`);
    },
    // Whether a music source starts within withinMs.
    musicStartedWithin(withinMs) {
      return waitFor(page, '__probe.sourceStarts.length > 0', withinMs);
    },
    // Where the first music source started: atMs on the page's clock,
    // offsetMs into the music.
    firstMusicStart() {
      return evaluate(page, `({ atMs: __probe.sourceStarts[0].at, offsetMs: 1000 * __probe.sourceStarts[0].offset })`);
    },
    // Where the music is now: musicMs into the music by the latest source
    // and the audio clock, showMs since the first source started, and the
    // output and base latencies the browser reports. For Chromium only: it
    // reads outputLatency.
    musicPosition() {
      return evaluate(page, `(() => {
        const audio = __probe.audio;
        const last = __probe.sourceStarts[__probe.sourceStarts.length - 1];
        return { musicMs: 1000 * (last.offset + audio.currentTime - last.contextTime),
          showMs: performance.now() - __probe.sourceStarts[0].at,
          outputMs: 1000 * (audio.outputLatency || 0), baseMs: 1000 * (audio.baseLatency || 0) };
      })()`);
    },
    // Suspends and resumes the music's audio context, as a call or a locked
    // screen does on a phone.
    suspendAudio() {
      return evaluate(page, '__probe.audio.suspend()');
    },
    resumeAudio() {
      return evaluate(page, '__probe.audio.resume()');
    },
    // Starts the audio that silentAudioSource kept from starting.
    startSound() {
      return evaluate(page, '__probe.startSound()');
    },
  };
}
