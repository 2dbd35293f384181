// The page as every run sees it: the title card, with its states, its
// choices and its Play button, and the show that Play starts, with its clock,
// its controls and screenshots. The page's selectors live here.
import { clickElement, evaluate, pressEscape, tapElement, waitFor } from './pages.mjs';
import { canvasContentBox, pairApartMs, screenshot } from './pictures.mjs';
import { probeOn } from './probe.mjs';
import { sleep } from './report.mjs';

// How long the card may take to reach a state, limits only a page that never
// gets there reaches: ready once the program is downloaded and compiled (a
// few seconds on a busy machine), ended once a show is stopped and the next
// one made (a second or two).
const cardStateLimitsMs = { ready: 60000, ended: 30000 };
// How long the show may take to draw its first frame after Play: a second or
// two on a busy machine; only a show that never starts takes this long.
export const firstFrameLimitMs = 30000;

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

// Whether the element's hidden attribute is off, as an expression in the page.
const shown = (id) => `!document.getElementById('${id}').hidden`;

// The title card of the page.
export function titleCard(page) {
  const probe = probeOn(page);
  return {
    // Whether the card reaches the state ("ready", "playing", "ended",
    // "failed"), showing text where given, within withinMs.
    waitFor(state, { text = '', withinMs = cardStateLimitsMs[state] } = {}) {
      const showing = text ? ` && document.body.innerText.includes(${JSON.stringify(text)})` : '';
      return waitFor(page, `document.body.dataset.state === '${state}'${showing}`, withinMs);
    },
    // Clicks Play, or taps it as on a phone, the probe's passes of an earlier
    // showing forgotten. Returns when it was clicked: atMs on this process's
    // clock, pageMs on the page's.
    async play({ tap = false } = {}) {
      await probe.newShowing();
      const pageMs = await evaluate(page, 'performance.now()');
      const atMs = Date.now();
      await (tap ? tapElement(page, '#play') : clickElement(page, '#play'));
      return { atMs, pageMs };
    },
    // The HTTP statuses of the favicon and of the link-preview image the
    // page names, fetched anew.
    iconAndPreviewStatuses() {
      return evaluate(page, `Promise.all(['link[rel=icon]', 'meta[property="og:image"]'].map((selector) => {
        const element = document.querySelector(selector);
        return fetch(new URL(element.href || element.content, location.href)).then((r) => r.status);
      }))`);
    },
    // The poster's width in its own pixels: 0 where it did not load.
    posterWidth() {
      return evaluate(page, `document.getElementById('poster').naturalWidth`);
    },
    // Whether the card says that the browser cannot draw the show smoothly.
    slowNoticeShown() {
      return evaluate(page, shown('slow'));
    },
    photosensitivityWarning() {
      return evaluate(page, `document.getElementById('photosensitivity').innerText`);
    },
    // The card's help, as the page words it for a desktop or a phone.
    help() {
      return evaluate(page, `document.getElementById('help').innerText`);
    },
    // Clicks the card's checkbox for reduced flashing.
    chooseReducedFlashing() {
      return clickElement(page, '#reduce-flashes');
    },
    reducedFlashingChosen() {
      return evaluate(page, `document.getElementById('reduce-flashes').checked`);
    },
    // Whether the card says the system's preference chose reduced flashing.
    reducedFlashingPreferred() {
      return evaluate(page, shown('reduce-why'));
    },
    // The sound's delay on the card, in ms; setting it changes it as the viewer does.
    soundDelay() {
      return evaluate(page, `Number(document.getElementById('audio-delay').value)`);
    },
    setSoundDelay(delayMs) {
      return evaluate(page, `(() => {
        const input = document.getElementById('audio-delay');
        input.value = '${delayMs}';
        input.dispatchEvent(new Event('change'));
      })()`);
    },
    // The parts of the card out of reach in the viewport, even by scrolling,
    // by id; [] when all can be seen.
    outOfReach() {
      return evaluate(page, cardCutOff);
    },
  };
}

// The show that Play starts on the page; its screenshots go to the shots folder.
export function showOn(page, shots) {
  const probe = probeOn(page);
  let canvasBox = null;
  let slowestScreenshotMs = 0;
  const show = {
    page,
    // Whether the program draws its first frame within withinMs.
    started(withinMs = firstFrameLimitMs) {
      return probe.passesWithin(withinMs);
    },
    // When the program's first pass ended, on the page's clock: right after
    // it started the music and drew its first frame.
    firstPassMs() {
      return probe.firstPassMs();
    },
    // When the program started its clock, on the page's clock, as the page
    // noted it to place the music.
    clockStartMs() {
      return evaluate(page, 'showStartedAt');
    },
    // Milliseconds on the show's clock, from when the program started it.
    time() {
      return evaluate(page, 'performance.now() - showStartedAt');
    },
    async waitTime(ms) {
      const now = await show.time();
      if (ms > now) await sleep(ms - now);
    },
    // Measures where the picture lies in the canvas, as after the page's size changed.
    async fit() {
      canvasBox = await canvasContentBox(page);
      return canvasBox;
    },
    // A screenshot read in show pixels, kept under the name.
    async screenshot(name) {
      const requested = Date.now();
      const shot = await screenshot(page, shots, name, canvasBox);
      slowestScreenshotMs = Math.max(slowestScreenshotMs, Date.now() - requested);
      return shot;
    },
    // Screenshots at atMs of the show's clock and pairApartMs later.
    async screenshotPair(name, atMs) {
      await show.waitTime(atMs);
      const first = await show.screenshot(name);
      await show.waitTime(atMs + pairApartMs);
      return [first, await show.screenshot(`${name}-later`)];
    },
    // The slowest of this show's screenshots, a figure: a page that starves
    // the browser's display answers late.
    slowestScreenshotMs() {
      return slowestScreenshotMs;
    },
    // Clicks the stop control (✕), or taps it as on a phone.
    stop({ tap = false } = {}) {
      return tap ? tapElement(page, '#stop') : clickElement(page, '#stop');
    },
    escape() {
      return pressEscape(page);
    },
    // Clicks the full-screen control, and leaves full screen where the
    // browser entered it.
    pressFullscreen() {
      return clickElement(page, '#fullscreen');
    },
    leaveFullscreen() {
      return evaluate(page, 'document.fullscreenElement && document.exitFullscreen()');
    },
    // Whether the note that there is no sound shows, now or within withinMs.
    noSoundShown() {
      return evaluate(page, shown('nosound'));
    },
    noSoundShownWithin(withinMs) {
      return waitFor(page, shown('nosound'), withinMs);
    },
    // Takes the show's WebGL context away, as a browser short of memory
    // does, and gives it back after ms; true when it is lost.
    loseContext(ms) {
      return probe.loseContext(ms);
    },
    // Whether the context comes back within withinMs.
    contextRestoredWithin(withinMs) {
      return probe.contextRestoredWithin(withinMs);
    },
    // The kinds of canvas context the page made ("webgl2", "2d"...).
    canvasContexts() {
      return probe.canvasContexts();
    },
  };
  return show;
}
