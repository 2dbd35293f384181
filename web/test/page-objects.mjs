// The page as every run sees it: the title card, with its states and its
// Play button, and the show that Play starts, with its clock and screenshots.
import { clickElement, evaluate, tapElement, waitFor } from './pages.mjs';
import { canvasContentBox, pairApartMs, screenshot } from './pictures.mjs';
import { sleep } from './report.mjs';

// How long the card may take to reach a state: ready once the program is
// downloaded and compiled, ended once a show is stopped.
const cardStateLimitsMs = { ready: 60000, ended: 10000 };
// How long the show may take to draw its first frame after Play.
export const startLimitMs = 20000;

// The title card of the page.
export function titleCard(page) {
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
      await evaluate(page, 'window.__probe.passes = []');
      const pageMs = await evaluate(page, 'performance.now()');
      const atMs = Date.now();
      await (tap ? tapElement(page, '#play') : clickElement(page, '#play'));
      return { atMs, pageMs };
    },
  };
}

// The show that Play starts on the page; its screenshots go to the shots folder.
export function showOn(page, shots) {
  let canvasBox = null;
  let slowestScreenshotMs = 0;
  const show = {
    page,
    // Whether the program draws its first frame within withinMs.
    started(withinMs = startLimitMs) {
      return waitFor(page, 'window.__probe.passes.length > 0', withinMs);
    },
    // When the program's first pass ended, on the page's clock: right after
    // it started the music and drew its first frame.
    firstPassMs() {
      return evaluate(page, '__probe.passes[0]');
    },
    // Milliseconds on the show's clock.
    time() {
      return evaluate(page, 'performance.now() - window.__probe.passes[0]');
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
    // The slowest of this show's screenshots: a page that starves the
    // browser's display answers late.
    slowestScreenshotMs() {
      return slowestScreenshotMs;
    },
  };
  return show;
}
