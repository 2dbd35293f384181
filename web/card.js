// The card before and after the show: its state and message, short notices, what the browser can do.
'use strict';

// How long a short message stays in the corner.
const noticeShowsMs = 4000;
const message = document.getElementById('message');
const progress = document.getElementById('progress');
const play = document.getElementById('play');
const notice = document.getElementById('notice');
// A phone or a tablet, as the page's style tells them apart.
const touchScreen = window.matchMedia('(hover: none) and (pointer: coarse)');
let noticeTimer = null;
let webGLWarming = null;

// Shows the card for a state ("loading", "ready", "playing", "ended", "failed").
function showState(state, text, buttonText) {
  document.body.dataset.state = state;
  message.textContent = text;
  play.textContent = buttonText;
  play.disabled = state !== 'ready' && state !== 'ended';
}

// Shows a short message in the corner for a few seconds.
function tellBriefly(text) {
  notice.textContent = text;
  notice.hidden = false;
  clearTimeout(noticeTimer);
  noticeTimer = setTimeout(() => { notice.hidden = true; }, noticeShowsMs);
}

function toggleFullscreen() {
  if (document.fullscreenElement) {
    document.exitFullscreen();
  } else {
    document.documentElement.requestFullscreen().then(turnSideways,
      () => tellBriefly('The browser did not allow full screen.'));
  }
}

// A phone or a tablet shows the picture larger on its side; leaving full
// screen lets it turn freely again.
function turnSideways() {
  if (touchScreen.matches && screen.orientation && screen.orientation.lock) {
    screen.orientation.lock('landscape').catch(() => {});
  }
}

// The page's first WebGL context is slow to make where the browser first
// connects to the GPU (a long freeze with a software GPU on a slow phone):
// a worker makes one first, off the page's thread, and the page's own
// follow, quick then. Resolves once the worker's is made or failed.
function webGLWarmedUp() {
  if (webGLWarming === null) {
    webGLWarming = new Promise((resolve) => {
      try {
        const warmUp = new Worker('webgl-worker.js');
        warmUp.onmessage = warmUp.onerror = () => {
          warmUp.terminate();
          resolve();
        };
      } catch {
        resolve();
      }
    });
  }
  return webGLWarming;
}

// The software renderer that replaces WebGL takes seconds for some frames:
// the card says so where the browser gives no WebGL context.
function tellWhetherWebGL(hasWebGL) {
  document.getElementById('slow').hidden = hasWebGL;
}
