// The start loop: Play clicked in a fresh browser, again and again, with
// every core kept busy and the sound server's null sink as the audio device,
// as on a viewer's machine doing other work. A start fails only when the show
// stops: in screenshots it never moves, or once moving it stands still for
// longer than any slow machine explains while the page, asked, shows no life.
// How long each start takes to show moving frames is a figure printed per
// engine, never a limit.
import { writeFile } from 'node:fs/promises';
import { cpus } from 'node:os';
import path from 'node:path';
import { Worker } from 'node:worker_threads';
import { withBrowser } from './browsers.mjs';
import { showOn, titleCard } from './page-objects.mjs';
import { capturePng, openPage } from './pages.mjs';
import { changedPixels, pixels } from './pictures.mjs';
import { probeOn } from './probe.mjs';
import { check, sleep } from './report.mjs';

// Each engine's start loop: how many starts (Firefox is where a start was
// seen to freeze on its first frame, a few times in fifteen) and the scale of
// its screenshots: Chromium's driver alone takes them smaller, and on a busy
// machine one of its whole viewport takes about a second to take and read.
export const startLoops = {
  chromium: { starts: 5, screenshotScale: 1 / 4 },
  firefox: { starts: 15, screenshotScale: 1 },
  webkit: { starts: 5, screenshotScale: 1 },
};

// Only a stopped show stays without moving frames this long after the click:
// on a 2-core machine loaded ten times over, WebKitGTK took up to 18 s.
const neverMovesMs = 30000;
// Once it moves, a show that stands still this long in screenshots is asked
// whether it still runs: every scene moves in every frame, but a busy browser
// was seen to show no new frame for 2 s, and for over 10 s at ten times the
// load its cores can take.
const standsStillMs = 10000;
// Changes seen after the first before a start counts as playing: the show
// goes on moving, not only its first frames.
const changesAfterFirst = 2;
// How long a page may take to answer, to hand over what the program drew or
// to end its show on Escape, once its show stands still: a page on a machine
// loaded many times over was seen to make a pass every 3 s.
const pageAnswerMs = 20000;
// How far apart the two pictures the program draws are asked for.
const drawnApartMs = 1000;
// A start's browser that has not finished by then has stopped answering
// altogether, past the card's own limit and those above: it is killed.
const browserLimitMs = 240000;
// How often a start asks the page whether the program has passed.
const passPollMs = 50;
// A screenshot shows the show where more than a tenth of it is lit (above
// litLevels summed over red, green and blue) and more than a third of it
// changed from the card; two such show different pictures where at least
// changingPixels pixels differ.
const litLevels = 30;
const litShare = 1 / 10;
const changedFromCardShare = 1 / 3;
const changingPixels = 50;

// A busy loop on count cores until the returned function is called.
function keepCoresBusy(count) {
  const workers = Array.from({ length: count }, () => new Worker('for (;;) {}', { eval: true }));
  return () => Promise.all(workers.map((worker) => worker.terminate()));
}

// What promise gives, or null when it has not within ms.
function within(promise, ms) {
  return Promise.race([promise, sleep(ms).then(() => null)]);
}

// Whether a screenshot shows the show: not the title card (most of the
// viewport changed from it) and not the black canvas before the first frame.
function showsTheShow(frame, card) {
  let lit = 0;
  for (let i = 0; i < frame.length; i += 4) if (frame[i] + frame[i + 1] + frame[i + 2] > litLevels) lit += 1;
  const count = frame.length / 4;
  return lit > count * litShare && changedPixels(card, frame) > count * changedFromCardShare;
}

// Waits until the page counts the program's first pass, or until withinMs
// after since, so that a slow engine spends none of that time on a
// screenshot of the card. Only a cue: the screenshots alone judge a start,
// and a page that stops answering falls through to them.
async function firstPass(page, since, withinMs) {
  const probe = probeOn(page);
  while (Date.now() - since < withinMs) {
    const passes = await within(probe.passCount(), withinMs - (Date.now() - since));
    if (passes === null || passes > 0) return;
    await sleep(passPollMs);
  }
}

// Watches the show in screenshots from the click (since) until it has
// changed changesAfterFirst times after its first change, or until it has
// stood still too long: no change within neverMovesMs of the click, or
// within standsStillMs of the last change. Returns { movingMs, stillMs, png }:
// milliseconds from the click to the first change (null if none), how long it
// stood still where it stopped (null if it played), and the last screenshot.
// A screenshot that does not return in time counts as no change.
async function watchShow(page, card, since, scale) {
  let previous = null;
  let last = null;
  let movingMs = null;
  let changes = 0;
  let lastChange = since;
  const stillLimit = () => (movingMs === null ? neverMovesMs : standsStillMs);
  await firstPass(page, since, neverMovesMs);
  while (Date.now() - lastChange < stillLimit()) {
    const requested = Date.now();
    const png = await within(capturePng(page, { scale }), stillLimit() - (requested - lastChange));
    last = png || last;
    const frame = png && pixels(png);
    const show = frame && showsTheShow(frame, card) ? frame : null;
    if (show && previous && changedPixels(previous, show) >= changingPixels) {
      movingMs ??= requested - since;
      if (changes === changesAfterFirst) return { movingMs, stillMs: null, png };
      changes += 1;
      lastChange = requested;
    }
    previous = show || previous;
  }
  return { movingMs, stillMs: Date.now() - lastChange, png: last };
}

// Whether a show that stands still on screen still runs, as its page tells:
// the program draws a different picture a second later (read from its canvas,
// whatever the browser shows), and Escape ends the show. A frozen page does
// neither; a machine too busy to show the frames does both. { runs, detail }.
async function stillRuns(page) {
  const probe = probeOn(page);
  const first = await within(probe.drawnPicture(), pageAnswerMs);
  await sleep(drawnApartMs);
  const second = first === null ? null : await within(probe.drawnPicture(), pageAnswerMs);
  const drawing = first === null || second === null ? 'the page does not answer'
    : `the program draws ${first === second ? 'the same picture' : 'changing pictures'}`;
  await within(showOn(page, null).escape(), pageAnswerMs);
  const ended = await within(titleCard(page).waitFor('ended', { withinMs: pageAnswerMs }), pageAnswerMs);
  return { runs: first !== null && second !== null && first !== second && ended === true,
    detail: `${drawing}; Escape ${ended ? 'ends' : 'does not end'} the show` };
}

// One start in a fresh browser of the engine: { movingMs, stopped, detail }:
// movingMs null where the show never moved on screen, stopped where it never
// moved or stood still while its page showed no life. Its last screenshot
// goes to shot. Where the browser stops answering altogether, browserLimitMs
// kills it.
async function startOnce(engine, url, shot) {
  const scale = startLoops[engine].screenshotScale;
  const outcome = await withBrowser(engine, url, { soundServer: true, limitMs: browserLimitMs }, async (page) => {
    const card = titleCard(page);
    await openPage(page);
    if (!await card.waitFor('ready')) {
      return { movingMs: null, stopped: true, detail: 'the card never offered to play' };
    }
    const cardPicture = pixels(await capturePng(page, { scale }));
    const clicked = await card.play();
    const { movingMs, stillMs, png } = await watchShow(page, cardPicture, clicked.atMs, scale);
    if (png) await writeFile(shot, png);
    const moving = movingMs === null ? 'no moving frames' : `moving frames ${movingMs} ms after the click`;
    if (stillMs === null) return { movingMs, stopped: false, detail: moving };
    const { runs, detail } = await stillRuns(page);
    return { movingMs, stopped: movingMs === null || !runs,
      detail: `${moving}${movingMs === null ? ' in' : ', then still for'} ${(stillMs / 1000).toFixed(1)} s: ` +
        detail };
  });
  return outcome ?? { movingMs: null, stopped: true, detail: 'no answer' };
}

// The median and the largest of numbers, in seconds.
function spread(numbers) {
  const sorted = [...numbers].sort((a, b) => a - b);
  const middle = sorted.length / 2;
  const median = sorted.length % 2 ? sorted[Math.floor(middle)] : (sorted[middle - 1] + sorted[middle]) / 2;
  return `median ${(median / 1000).toFixed(2)} s, slowest ${(sorted[sorted.length - 1] / 1000).toFixed(2)} s`;
}

// Starts the show in fresh browsers of the engine as its start loop says,
// every core kept busy unless idle; one check for all the starts, and the
// time to moving frames printed. The last screenshot of each start goes to
// the shots folder.
export async function checkStarts(engine, url, shots, { idle = false } = {}) {
  const { starts: count } = startLoops[engine];
  const stopBusy = keepCoresBusy(idle ? 0 : cpus().length);
  const stopped = [];
  const movingMs = [];
  try {
    for (let start = 1; start <= count; start += 1) {
      const outcome = await startOnce(engine, url, path.join(shots, `start-${engine}-${start}.png`));
      console.log(`  ${engine} start ${start}: ${outcome.detail}`);
      if (outcome.stopped) stopped.push(start);
      if (outcome.movingMs !== null) movingMs.push(outcome.movingMs);
    }
  } finally {
    await stopBusy();
  }
  const where = idle ? '' : ' on a busy machine';
  if (movingMs.length) console.log(`${engine} starts${where}: moving frames after ${spread(movingMs)}`);
  check(`${engine}: ${count} starts${where} each play on, none stopped (moving within ` +
    `${neverMovesMs / 1000} s of the click, never still for ${standsStillMs / 1000} s with the page frozen)`,
  stopped.length === 0,
  `${count - stopped.length} of ${count} played${stopped.length ? `; stopped: start ${stopped.join(', ')}` : ''}`);
}
