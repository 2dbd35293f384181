// The show: a fresh instance of the program per showing, started on a click, its music and screen kept.
//
// Each showing runs a fresh instance of the program: it keeps no state
// between runs, and the click that starts it also lets the browser play
// sound. The program is downloaded and compiled once, and its assets
// downloaded once, for all the showings of a visit (downloads.js). The page
// plays the music itself, on the browser's audio thread, from the moment
// the program starts its clock (Module.startMusic), and keeps it where the
// picture is (music-sync.js): the program's own audio runs on the page's
// thread and would stutter whenever a frame is slow, so it opens a silent
// stand-in of the music. The music is downloaded on its own and the show may
// start while it still arrives (music.js). Sound is optional: when the
// browser does not start audio soon after the click, the show starts
// silently and the music joins in at its place if audio starts. The picture
// never waits for the sound: whenever the audio stops and runs again (a
// call, a locked screen), the music follows the show's clock.
'use strict';

// How long the show waits after the click for the browser to start audio.
const soundWaitMs = 250;
const noSound = document.getElementById('nosound');
const reduceFlashes = document.getElementById('reduce-flashes');
const audioDelay = document.getElementById('audio-delay');
let nextShow = null;
let endText = null;
let audio = null;
let showStartedAt = null;
let screenLock = null;

// Resolves in a task of its own, so that what follows adds to no other.
function nextTask() {
  return new Promise((resolve) => setTimeout(resolve));
}

// The instance's images ready to show: the decoded images in place of
// their files, each written in a task of its own.
async function imagesReady(show) {
  for (const { path, bmp } of await imagesDecoded(show)) {
    await nextTask();
    show.FS.writeFile(path, bmp);
  }
}

// Called by the program when it starts its clock and its own (silent) music.
function startMusic() {
  showStartedAt = performance.now();
  noSound.hidden = startPageMusic(audio, pageMusic.buffer, showStartedAt, Number(audioDelay.value));
}

// Follows the audio context's state: the music plays while it runs, and a
// note says there is no sound while it does not.
function followAudio() {
  noSound.hidden = followShow() || showStartedAt === null;
}

function stopMusic() {
  showStartedAt = null;
  stopPageMusic();
  noSound.hidden = true;
}

// Keeps the screen on while the show plays, which needs no touch for two
// minutes; nothing where the browser has no wake lock or refuses it.
function keepScreenOn() {
  if (navigator.wakeLock && document.visibilityState === 'visible') {
    screenLock = navigator.wakeLock.request('screen').catch(() => null);
  }
}

function letScreenSleep() {
  if (screenLock !== null) {
    screenLock.then((lock) => lock && lock.release());
    screenLock = null;
  }
}

// Makes a new instance of the program on a new canvas, without starting
// it; then shows the card, once the music can play through: the first time
// a title card, later an end card with the text given.
function prepareShow(text) {
  endText = text;
  const canvas = document.createElement('canvas');
  canvas.id = 'canvas';
  canvas.oncontextmenu = (event) => event.preventDefault();
  document.body.appendChild(canvas);
  const failed = (error) => showState('failed', 'Could not load the show: ' + error, 'Play');
  prepareMusic(offerShow);
  prepareImageDecoder();
  const contextMade = makeWebGLContext(canvas);
  download(askForMusic).then(async ([program, assets]) => {
    // The program's instance in steps, each a task of its own: its loader,
    // its instantiation, its start-up with the assets.
    await nextTask();
    return createDemo({
      canvas: canvas,
      print: (text) => console.log(text),
      printErr: (text) => console.error(text),
      instantiateWasm: (imports, receiveInstance) => {
        WebAssembly.instantiate(program, imports).then(async (instance) => {
          await nextTask();
          receiveInstance(instance, program);
        }).catch(failed);
        return {};
      },
      // A copy, so that no showing sees files an earlier one changed.
      getPreloadedPackage: () => assets.slice(0),
      startMusic: startMusic,
      onExit: (status) => endShow(canvas, status),
      onAbort: (what) => {
        stopMusic();
        letScreenSleep();
        showState('failed', 'The show stopped: ' + what, 'Play');
      },
    });
  }).then((show) => Promise.all([imagesReady(show), contextMade]).then(() => show)).then((show) => {
    watchWebGLContext(canvas, show);
    nextShow = show;
    offerShow();
  }).catch(failed);
}

// Offers the prepared show once the music can play through; the progress
// bar follows the music meanwhile.
function offerShow() {
  if (nextShow === null || document.body.dataset.state === 'playing') {
    return;
  }
  if (pageMusic.failure !== null) {
    showState('failed', 'Could not load the show: ' + pageMusic.failure, 'Play');
  } else if (!musicArrivesInTime(performance.now())) {
    progress.value = musicShareIn();
  } else if (endText) {
    showState('ended', endText, 'Play again');
  } else {
    showState('ready', 'Press Play to start the show.', 'Play');
  }
}

// Makes the canvas's WebGL context before Play, with the attributes the
// program asks for (SDL's defaults: no alpha, a depth buffer, no stencil, no
// antialiasing), and has the card tell whether there is one; then enables
// its extensions as Emscripten does, each in a task of its own: on a slow
// phone each takes a long moment. The program's own request then gets this
// context, the same as it would have made.
async function makeWebGLContext(canvas) {
  await webGLWarmedUp();
  await nextTask();
  const context = canvas.getContext('webgl', { alpha: false, depth: true, stencil: false, antialias: false });
  tellWhetherWebGL(context !== null);
  await nextTask();
  for (const name of (context && context.getSupportedExtensions()) || []) {
    if (!name.includes('lose_context') && !name.includes('debug')) {
      await nextTask();
      context.getExtension(name);
    }
  }
}

// Lets the browser give back a WebGL context it takes away (a phone short of
// memory, a tab in the background); the program then makes its textures anew.
function watchWebGLContext(canvas, show) {
  canvas.addEventListener('webglcontextlost', (event) => event.preventDefault());
  canvas.addEventListener('webglcontextrestored', () => show._reportRenderDeviceReset());
}

// Starts the prepared instance once the browser lets the page play sound,
// or after soundWaitMs without; the program then starts its clock and,
// through startMusic, the music.
function startShow() {
  if (nextShow === null || play.disabled) {
    return;
  }
  const show = nextShow;
  nextShow = null;
  showState('playing', '', 'Play');
  keepScreenOn();
  if (audio === null) {
    audio = new AudioContext();
    audio.addEventListener('statechange', followAudio);
  }
  const waited = new Promise((resolve) => setTimeout(resolve, soundWaitMs));
  const options = reduceFlashes.checked ? ['--reduce-flashes'] : [];
  // In a task of its own: the program's start-up would add to the click's.
  Promise.race([audio.resume().catch(() => {}), waited]).then(nextTask).then(() => show.callMain(options));
}

// After the program has exited: drops its canvas and prepares the next showing.
function endShow(canvas, status) {
  const text = status === 0 ? 'The show has ended.' : 'The show could not start.';
  stopMusic();
  letScreenSleep();
  canvas.remove();
  showState('loading', text, 'Play again');
  watchFrames();
  prepareShow(text);
}

// Ends the show as Escape does, for screens without a keyboard: the program
// reads its keys from the window's key events.
function stopShow() {
  for (const type of ['keydown', 'keyup']) {
    window.dispatchEvent(new KeyboardEvent(type, { key: 'Escape', code: 'Escape', keyCode: 27, which: 27 }));
  }
}

// Moves the sound a step later (+1) or earlier (-1) during the show, keeps
// the delay for the next visit and says where it stands.
function moveSound(step) {
  const delayMs = steppedViewerDelay(Number(audioDelay.value), step);
  audioDelay.value = delayMs;
  keepViewerDelay(delayMs);
  changeViewerDelay(delayMs);
  tellBriefly(`Sound delay ${delayMs > 0 ? '+' : ''}${delayMs} ms`);
}
