// The viewer's choices on the card, kept by the browser for the next visit:
// reduced flashing, which the system's reduced-motion preference chooses
// until the viewer does, and the sound's delay, which an address's
// ?audio-delay=MS sets for that visit, as the native program's --audio-delay
// does (a party's screen set up once).
'use strict';

const reducedMotion = window.matchMedia('(prefers-reduced-motion: reduce)');
const keptNames = { reduceFlashes: 'notes-left-behind.reduce-flashes', delayMs: 'notes-left-behind.audio-delay-ms' };

// A kept choice's text; null where none is kept, or where the browser keeps
// nothing (some private modes), which then plays as chosen now.
function keptChoice(name) {
  try {
    return localStorage.getItem(name);
  } catch {
    return null;
  }
}

function keepChoice(name, text) {
  try {
    localStorage.setItem(name, text);
  } catch {}
}

// Whether to reduce flashing ({ reduce, preferred }): as the viewer chose,
// else as the system prefers (preferred true where that chose it).
function reduceFlashesChoice() {
  const kept = keptChoice(keptNames.reduceFlashes);
  if (kept !== null) {
    return { reduce: kept === 'yes', preferred: false };
  }
  return { reduce: reducedMotion.matches, preferred: reducedMotion.matches };
}

function keepReduceFlashes(reduce) {
  keepChoice(keptNames.reduceFlashes, reduce ? 'yes' : 'no');
}

// The viewer's delay ({ delayMs, badAddress }): the address's where it
// gives a valid one, else the one kept, else none; badAddress where the
// address gives one that is not valid.
function viewerDelay() {
  const asked = new URLSearchParams(location.search).get('audio-delay');
  const fromAddress = asked === null ? null : viewerDelayFrom(asked);
  if (fromAddress !== null) {
    return { delayMs: fromAddress, badAddress: false };
  }
  return { delayMs: viewerDelayFrom(keptChoice(keptNames.delayMs) ?? '0') ?? 0, badAddress: asked !== null };
}

function keepViewerDelay(delayMs) {
  keepChoice(keptNames.delayMs, String(delayMs));
}

// Sets the card's controls to the choices, and follows the system's
// preference while the viewer has made no choice of their own.
function showSettings() {
  const showReduceFlashes = () => {
    const { reduce, preferred } = reduceFlashesChoice();
    document.getElementById('reduce-flashes').checked = reduce;
    document.getElementById('reduce-why').hidden = !preferred;
  };
  showReduceFlashes();
  reducedMotion.addEventListener('change', showReduceFlashes);
  const { delayMs, badAddress } = viewerDelay();
  document.getElementById('audio-delay').value = delayMs;
  if (badAddress) {
    tellBriefly(`The address's audio-delay is not a whole number of milliseconds from -${viewerDelayLimitMs} ` +
      `to ${viewerDelayLimitMs}: no delay.`);
  }
}
