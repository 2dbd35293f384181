// The page's music kept where the picture is, as the viewer sees and hears them.
//
// The page plays the music on the browser's audio thread (Web Audio), where
// no slow frame can starve it. It aims it at the moment a frame is shown,
// not drawn: the program draws each frame in an animation frame, and the
// browser composites it and swaps it in at the display's next frame, whose
// pace the animation frames tell before the show. The sound is heard an
// output delay after the audio clock plays it: Chromium tells it, with
// timestamps that also follow an underrun; WebKit tells it on Apple's systems only (0
// elsewhere, taken as unknown); Gecko is not asked (see geckoOutputMs).
// Where the engine cannot tell, a value fitted with the rig stands in.
//
// Due against heard, in page milliseconds: a frame shown at page time t
// stands at show time t - showStartedAtMs - pictureDelayMs, and the viewer
// wants the music there delayMs later, so the music due to be heard at t is
// t - showStartedAtMs - pictureDelayMs - delayMs. The music strays by what
// is heard minus what is due (positive: heard early), and is placed anew
// once it has stayed more than strayToleranceMs off for strayHoldMs, as the
// native program's follower does (src/shell/music_sync.cpp). While the
// music still arrives, each source plays what has arrived, and the next
// goes on from there without a break; where the music came too late for
// that, it is placed anew where it is due.
'use strict';

// Out of place by more than this, the music is placed anew...
const strayToleranceMs = 15;
// ...once it has stayed out of place this long, so that no reading's jitter
// makes a splice.
const strayHoldMs = 400;
// How often the page reads where the music is heard.
const followEveryMs = 50;
// Readings weighed at once: the audio clock moves in blocks and is read a
// little after it moved, so the freshest of the last few is nearest the truth.
const readingsWeighed = 4;
// How far ahead a source starts, past the block the audio thread renders
// now, so that it starts on its sample.
const placeLeadMs = 40;
// While the music arrives, the next source is started this long before the
// last runs out, with all that has arrived by then.
const goOnAheadMs = 1000;
// The viewer's own delay, either way, and its step on a key.
const viewerDelayLimitMs = 1000;
const viewerDelayStepMs = 10;
// From a sample on the audio clock to its sound, where the engine does not
// tell: fitted with tools/av_sync/av_sync.sh --web (PulseAudio 16, a null
// sink), the median of the sound heard against where the page aimed it.
// Gecko answers outputLatency by asking the sound server on the page's
// thread under a lock its audio thread needs: asked once, half a second
// after its audio ran, it froze the page in 1 of 15 starts, and it answered
// 0 to 47 ms in the others, PulseAudio's part alone. It is never asked.
const geckoOutputMs = 44; // Firefox ESR 153: six runs, 27 ms apart
const webkitOutputMs = 59; // WebKitGTK 2.50, where outputLatency is 0: four runs, 26 ms apart
// A frame is drawn in one display frame and shown at the next's start.
// Where a device draws slower the picture comes later still, but following
// that would splice the music at every change of pace.
const framesToScreen = 2;
// The display's frame before any is measured, and the frames weighed: the
// median of the latest, so that one slow frame moves nothing.
const assumedDisplayFrameMs = 1000 / 60;
const framesWeighed = 31;

// The engine, for what it can tell of its output.
const engine = /\bGecko\/\d/.test(navigator.userAgent) ? 'gecko'
  : /AppleWebKit/.test(navigator.userAgent) && !/Chrom(e|ium)\//.test(navigator.userAgent) ? 'webkit' : 'chromium';

// The follower's settings (set when a show starts, the picture's delay at each
// placement, the viewer's on a key) and its state (whether the music is
// placed, its sources, the music they reach to, and what it has read since
// it was placed).
const musicSync = {
  settings: { showStartedAtMs: 0, pictureDelayMs: 0, delayMs: 0 },
  state: { placed: false, sources: [], playsUntilMs: null, placedContextS: 0, placedMusicMs: 0,
    strays: [], strayingSign: 0, strayingSinceMs: 0 },
  audio: null,
  music: null,
  // The music decoded so far, in ms from its start.
  arrivedMs: Infinity,
  timer: null,
  // Intervals of the animation frames on the card, the display's own pace.
  displayFramesMs: [],
  watchingFrames: false,
};

// +1 when the music is heard ahead of the picture, -1 behind, 0 in place.
function strayDirection(strayMs) {
  if (strayMs > strayToleranceMs) {
    return 1;
  }
  return strayMs < -strayToleranceMs ? -1 : 0;
}

// Takes one reading of the stray at page time nowMs into state; true once
// the freshest of the last readingsWeighed has stayed off past the tolerance,
// the same way, for strayHoldMs.
function followMusic(state, nowMs, strayMs) {
  state.strays.push(strayMs);
  if (state.strays.length > readingsWeighed) {
    state.strays.shift();
  }
  if (state.strays.length < readingsWeighed) {
    return false;
  }
  const direction = strayDirection(Math.max(...state.strays));
  if (direction === 0 || direction !== state.strayingSign) {
    state.strayingSign = direction;
    state.strayingSinceMs = nowMs;
    return false;
  }
  return nowMs - state.strayingSinceMs >= strayHoldMs;
}

// The music due to be heard at page time heardAtMs (ms into it; negative
// before it begins).
function dueMusicMs(settings, heardAtMs) {
  return heardAtMs - settings.showStartedAtMs - settings.pictureDelayMs - settings.delayMs;
}

// How far the music heard at heardAtMs strays from the music due then, the
// source playing music placedMusicMs at audio time placedContextS and
// contextS then.
function strayMs(settings, state, contextS, heardAtMs) {
  const heardMusicMs = state.placedMusicMs + (contextS - state.placedContextS) * 1000;
  return heardMusicMs - dueMusicMs(settings, heardAtMs);
}

// The viewer's delay, in whole milliseconds within the limit; null for a
// text that is no whole number or is out of range.
function viewerDelayFrom(text) {
  if (!/^[+-]?\d+$/.test(String(text).trim())) {
    return null;
  }
  const delayMs = Number(text);
  return Math.abs(delayMs) <= viewerDelayLimitMs ? delayMs : null;
}

// The delay a step on a key makes of delayMs (+1 later, -1 earlier), kept within the limit.
function steppedViewerDelay(delayMs, step) {
  return Math.max(-viewerDelayLimitMs, Math.min(viewerDelayLimitMs, delayMs + step * viewerDelayStepMs));
}

// Seconds from the audio clock playing a sample to its being heard, as far
// as the engine can safely tell, else the rig's value for it.
function outputDelayMs(audio) {
  if (engine === 'gecko') {
    return geckoOutputMs;
  }
  const outputS = audio.outputLatency || 0;
  if (outputS <= 0) {
    return engine === 'webkit' ? webkitOutputMs : 1000 * (audio.baseLatency || 0);
  }
  return 1000 * ((audio.baseLatency || 0) + outputS);
}

// The engine's own pairing of an audio time with the page time it is heard
// at ({ contextTime, performanceTime }), or null where it has none or
// cannot tell the output's delay.
function outputTimestamp(audio) {
  if (engine === 'gecko' || !audio.getOutputTimestamp || !(audio.outputLatency > 0)) {
    return null;
  }
  const stamp = audio.getOutputTimestamp();
  return stamp.performanceTime > 0 && stamp.contextTime > 0 ? stamp : null;
}

// The page time at which the sample the audio clock plays at contextS is heard.
function heardAtMs(audio, contextS) {
  const stamp = outputTimestamp(audio);
  if (stamp !== null) {
    return stamp.performanceTime + (contextS - stamp.contextTime) * 1000;
  }
  return performance.now() + (contextS - audio.currentTime) * 1000 + outputDelayMs(audio);
}

// How long a frame takes from the program's clock to the screen.
function pictureDelayMs() {
  const frames = [...musicSync.displayFramesMs].sort((a, b) => a - b);
  return framesToScreen * (frames.length ? frames[Math.floor(frames.length / 2)] : assumedDisplayFrameMs);
}

// Measures the display's frame anew on the card (from the page's load and
// after each show): the intervals of framesWeighed animation frames, unless
// the show starts first.
function watchFrames() {
  if (musicSync.watchingFrames) {
    return;
  }
  musicSync.watchingFrames = true;
  musicSync.displayFramesMs = [];
  let last = null;
  const watchFrame = (timeMs) => {
    if (last !== null && timeMs > last) {
      musicSync.displayFramesMs.push(timeMs - last);
    }
    last = timeMs;
    musicSync.watchingFrames = document.body.dataset.state !== 'playing' &&
      musicSync.displayFramesMs.length < framesWeighed;
    if (musicSync.watchingFrames) {
      requestAnimationFrame(watchFrame);
    }
  };
  requestAnimationFrame(watchFrame);
}

function stopMusicSources() {
  const { state } = musicSync;
  for (const source of state.sources) {
    source.stop();
  }
  state.sources = [];
  state.playsUntilMs = null;
  state.placed = false;
}

// Starts a source at audio time whenS playing the music from fromMs to what
// has arrived.
function startMusicSource(whenS, fromMs) {
  const { audio, state } = musicSync;
  const source = audio.createBufferSource();
  source.buffer = musicSync.music;
  source.connect(audio.destination);
  if (musicSync.arrivedMs === Infinity) {
    source.start(whenS, fromMs / 1000);
  } else {
    source.start(whenS, fromMs / 1000, (musicSync.arrivedMs - fromMs) / 1000);
  }
  state.sources.push(source);
  state.playsUntilMs = musicSync.arrivedMs;
}

// Places the music anew so that it is heard where the picture is, replacing
// any playing, and forgets the readings of the last. Where it is due past
// what has arrived, it starts as more arrives.
function placeMusic() {
  const { audio, settings, state } = musicSync;
  stopMusicSources();
  settings.pictureDelayMs = pictureDelayMs();
  const startS = audio.currentTime + placeLeadMs / 1000;
  const dueMs = dueMusicMs(settings, heardAtMs(audio, startS));
  const fromMs = Math.max(0, dueMs);
  if (fromMs < musicSync.arrivedMs) {
    // Due before it begins (the viewer's delay at the start): it begins later.
    startMusicSource(startS + Math.max(0, -dueMs) / 1000, fromMs);
  }
  state.placed = true;
  state.placedContextS = startS;
  state.placedMusicMs = dueMs;
  state.strays = [];
  state.strayingSign = 0;
}

// Takes the music decoded so far, ms from its start; Infinity once all of it is.
function musicArrived(arrivedMs) {
  musicSync.arrivedMs = arrivedMs;
}

// Plays on into the music that has arrived since the sources started: a
// source goes on from where the last ends, once that is near; where the
// music ran out before more arrived, it is placed anew where it is due.
// Returns whether it placed it anew.
function goOnIntoArrivedMusic() {
  const { audio, settings, state } = musicSync;
  if (state.playsUntilMs === null) {
    // None plays: the music was due past what had arrived when it was placed.
    if (dueMusicMs(settings, heardAtMs(audio, audio.currentTime)) >= musicSync.arrivedMs) {
      return false;
    }
    placeMusic();
    return true;
  }
  if (state.playsUntilMs >= musicSync.arrivedMs) {
    return false;
  }
  const goesOnS = state.placedContextS + (state.playsUntilMs - state.placedMusicMs) / 1000;
  if (goesOnS < audio.currentTime + placeLeadMs / 1000) {
    placeMusic();
    return true;
  }
  if (goesOnS < audio.currentTime + goOnAheadMs / 1000) {
    startMusicSource(goesOnS, state.playsUntilMs);
  }
  return false;
}

// Reads where the music is heard, and places it anew when it has strayed.
function keepMusicInPlace() {
  const { audio, settings, state } = musicSync;
  if (!state.placed || goOnIntoArrivedMusic()) {
    return;
  }
  const contextS = audio.currentTime;
  const nowMs = performance.now();
  if (followMusic(state, nowMs, strayMs(settings, state, contextS, heardAtMs(audio, contextS)))) {
    placeMusic();
  }
}

// Plays the music while the show is on and the audio context runs: placed
// at once when the show starts with sound, else when audio starts, and anew
// whenever the audio stopped and runs again; followed while it plays.
// Returns whether it plays.
function followShow() {
  const { audio, settings } = musicSync;
  const running = audio !== null && audio.state === 'running' && settings.showStartedAtMs !== 0;
  if (!running) {
    stopMusicSources();
    clearInterval(musicSync.timer);
    musicSync.timer = null;
  } else if (!musicSync.state.placed) {
    placeMusic();
    musicSync.timer = setInterval(keepMusicInPlace, followEveryMs);
  }
  return running;
}

// Starts the page's music with the show, which started its clock at
// showStartedAtMs on the page's clock, on the audio context with the decoded
// music, delayMs later than the picture as the viewer chose.
function startPageMusic(audio, music, showStartedAtMs, delayMs) {
  musicSync.audio = audio;
  musicSync.music = music;
  musicSync.settings = { showStartedAtMs, pictureDelayMs: 0, delayMs };
  return followShow();
}

function stopPageMusic() {
  musicSync.settings.showStartedAtMs = 0;
  followShow();
}

// Changes the viewer's delay; a playing music moves to it at once.
function changeViewerDelay(delayMs) {
  musicSync.settings.delayMs = delayMs;
  if (musicSync.state.placed) {
    placeMusic();
  }
}
