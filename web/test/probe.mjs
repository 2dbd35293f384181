// Scripts the test puts in the page before the page's own: the probe that
// watches the show, and two that play a browser the show must cope with.
// The page is not changed for the test: the probe only watches it.

// Installed before the page's own scripts, it watches the page while the
// show plays: the program's passes (each ends by asking for an animation
// frame) and the time it ran in each, the frames the browser displayed (an
// animation-frame loop of its own), the kinds of canvas context made (WebGL,
// or 2D for SDL's software renderer), the requests for full screen, and the
// sound sent to the speakers: everything connected to an audio destination is
// also recorded, mono, averaged down to about 6000 samples a second. It also
// keeps the wake locks taken and counts the WebAssembly compilations.
export const probeSource = `
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
