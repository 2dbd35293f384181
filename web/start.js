// The page's start: the card's controls and keys, then the downloads once the card is shown.
'use strict';

// Where the browser tells no paint (a tab opened in the background paints
// nothing), the downloads start this long after the page's script all the same.
const cardShownLimitMs = 1000;

// Calls start, once, when the browser tells that the card was first painted
// on the screen, or after cardShownLimitMs.
function whenCardShown(start) {
  let observer = null;
  const go = () => {
    if (start !== null) {
      observer?.disconnect();
      start();
      start = null;
    }
  };
  try {
    observer = new PerformanceObserver((list) => list.getEntriesByName('first-contentful-paint').length && go());
    observer.observe({ type: 'paint', buffered: true });
  } catch {}
  setTimeout(go, cardShownLimitMs);
}

// An iPhone's ring/silent switch mutes the page's sound unless it plays media.
if (navigator.audioSession) {
  navigator.audioSession.type = 'playback';
}
for (const id of ['fullscreen', 'fullscreen-help']) {
  document.getElementById(id).hidden = !document.fullscreenEnabled;
}
showSettings();
reduceFlashes.addEventListener('change', () => {
  keepReduceFlashes(reduceFlashes.checked);
  document.getElementById('reduce-why').hidden = true;
});
audioDelay.addEventListener('change', () => {
  const delayMs = viewerDelayFrom(audioDelay.value);
  if (delayMs === null) {
    tellBriefly(`The sound delay is a whole number of milliseconds from -${viewerDelayLimitMs} to ${viewerDelayLimitMs}.`);
  } else {
    keepViewerDelay(delayMs);
  }
  audioDelay.value = delayMs ?? viewerDelay().delayMs;
});
play.addEventListener('click', startShow);
document.getElementById('stop').addEventListener('click', stopShow);
document.getElementById('fullscreen').addEventListener('click', (event) => {
  event.currentTarget.blur();
  toggleFullscreen();
});
// F for full screen; during the show, J and K move the sound earlier and
// later, as media players do. Not while the viewer types a delay.
window.addEventListener('keydown', (event) => {
  if (event.ctrlKey || event.altKey || event.metaKey || event.target instanceof HTMLInputElement) {
    return;
  }
  const key = event.key.toLowerCase();
  if (key === 'f') {
    toggleFullscreen();
  } else if ((key === 'j' || key === 'k') && document.body.dataset.state === 'playing') {
    moveSound(key === 'k' ? 1 : -1);
  }
});
// Out of view, the page loses its wake lock, and its audio may have stopped.
document.addEventListener('visibilitychange', () => {
  if (document.visibilityState === 'visible' && document.body.dataset.state === 'playing') {
    letScreenSleep();
    keepScreenOn();
    if (audio.state !== 'running') {
      audio.resume().catch(() => {});
    }
  }
});
watchFrames();
// The downloads start once the card is on the screen, so that they hold
// back nothing it shows.
whenCardShown(() => prepareShow(null));
