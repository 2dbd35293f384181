// The start loop: Play clicked in a fresh browser, again and again, with
// every core kept busy (but for WebKitGTK, see startLoops) and the sound
// server's null sink as the audio device, as a viewer's machine doing other
// work. Each start must draw frames that change within its engine's
// changeWithinMs of the click, as seen in screenshots: a page that stops on
// its first frame fails, whatever the browser reports of it.
import { writeFile } from 'node:fs/promises';
import { cpus } from 'node:os';
import path from 'node:path';
import { Worker } from 'node:worker_threads';
import { withBrowser } from './browsers.mjs';
import { titleCard } from './page-objects.mjs';
import { capturePng, evaluate, openPage } from './pages.mjs';
import { changedPixels, pixels } from './pictures.mjs';
import { check, sleep } from './report.mjs';

// Each engine's start loop: how many starts (Firefox is where a start was
// seen to stop); whether every core is kept busy, as for Firefox, whose
// start was seen to freeze so, and for Chromium, but not for WebKitGTK: on
// a busy 2-core machine it now and then presents no new frame for two
// seconds after its first ones, in its screenshots and on the display
// alike, while the page counts its passes; it shows moving frames a few
// seconds later, a slow start, not a freeze. Chromium plays into the sound
// server, as the others always do. Within changeWithinMs of the click the
// first two screenshots that show the show must differ: 3 s, but 8 s for
// WebKitGTK, which on this machine spends about a second after the click
// starting the program, then draws some five frames a second and, with
// nothing else running, stops its page's thread for about a second at a
// time every second or two, more often while sound plays; each of its
// screenshots holds that thread for up to a second more. Chromium's
// screenshots are taken at screenshotScale of the viewport's size: on the
// busy machine one of the whole viewport takes about a second to take and
// read, and two of them rarely fit in the 3 s after a start that shows its
// first frame 0.5-1 s after the click; one at a quarter of its width and
// height takes about half a second.
export const startLoops = {
  chromium: { starts: 5, busyCores: true, soundServer: true, changeWithinMs: 3000, screenshotScale: 1 / 4 },
  firefox: { starts: 15, busyCores: true, soundServer: false, changeWithinMs: 3000, screenshotScale: 1 },
  webkit: { starts: 5, busyCores: false, soundServer: false, changeWithinMs: 8000, screenshotScale: 1 },
};

// Longer than a start takes on a busy machine; a page that stops answering
// ends there, its browser killed.
const startLimitMs = 90000;
// How often a start asks the page whether the program has passed, how long
// a failed start's page may take to tell its passes, and when after the
// click a failed start is looked at again.
const passPollMs = 50;
const passesAnswerMs = 2000;
const lookAgainMs = 10000;
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

// Waits until the page counts the program's first pass, or until
// withinMs after since, so that a slow engine spends none of that time
// on a screenshot of the card. Only a cue: the screenshots alone judge a
// start, and a page that stops answering falls through to them.
async function firstPass(page, since, withinMs) {
  while (Date.now() - since < withinMs) {
    const left = withinMs - (Date.now() - since);
    const passes = await within(evaluate(page, '__probe.passes.length'), left);
    if (passes === null || passes > 0) return;
    await sleep(passPollMs);
  }
}

// Takes screenshots, as the engine's start loop says, from now until two
// successive ones show the show with different pictures: { ms, png }, the
// milliseconds from since to the request of the second (null when none is
// requested within the loop's changeWithinMs of since) and the last
// screenshot taken. A screenshot that does not return by then counts as no
// frame.
async function changingFrames(page, card, since, { changeWithinMs: withinMs, screenshotScale: scale }) {
  let previous = null;
  let last = null;
  await firstPass(page, since, withinMs);
  while (Date.now() - since < withinMs) {
    const requestedMs = Date.now() - since;
    const png = await within(capturePng(page, { scale }), withinMs - requestedMs);
    last = png || last;
    const frame = png && pixels(png);
    const show = frame && showsTheShow(frame, card) ? frame : null;
    if (show && previous && changedPixels(previous, show) >= changingPixels) return { ms: requestedMs, png };
    previous = show;
  }
  return { ms: null, png: last };
}

// One start in a fresh browser of the engine: { playing, detail }. Its last
// screenshot goes to shot. Where the browser stops answering, the stall
// limit kills it.
async function startOnce(engine, url, options, shot) {
  const loop = startLoops[engine];
  const outcome = await withBrowser(engine, url, { ...options, limitMs: startLimitMs }, async (page) => {
    const card = titleCard(page);
    await openPage(page);
    if (!await card.waitFor('ready')) return { playing: false, detail: 'the card never offered to play' };
    const cardPicture = pixels(await capturePng(page, { scale: loop.screenshotScale }));
    const clicked = await card.play();
    const { ms, png } = await changingFrames(page, cardPicture, clicked.atMs, loop);
    if (png) await writeFile(shot, png);
    if (ms !== null) return { playing: true, detail: `changing frames ${ms} ms after the click` };
    const late = await lateOrStopped(page, cardPicture, clicked, loop);
    return { playing: false, detail: `no changing frames within ${loop.changeWithinMs} ms${late}` };
  });
  return outcome ?? { playing: false, detail: 'no answer' };
}

// Whether a start without changing frames was late or has stopped, and the
// program's passes as the page counts them, for the log only.
async function lateOrStopped(page, card, clicked, loop) {
  const { changeWithinMs } = loop;
  let detail = '';
  const passes = await within(evaluate(page, '__probe.passes'), passesAnswerMs);
  if (passes) {
    const early = passes.filter((at) => at - clicked.pageMs <= changeWithinMs);
    detail += ` (the page counts ${early.length} passes by then` +
      `${passes.length ? `, the first ${Math.round(passes[0] - clicked.pageMs)} ms after the click` : ''})`;
  }
  await sleep(Math.max(0, lookAgainMs - (Date.now() - clicked.atMs)));
  const late = (await changingFrames(page, card, Date.now(), loop)).ms !== null;
  return detail + (late ? `, but by ${(lookAgainMs + changeWithinMs) / 1000} s` : `, nor ${lookAgainMs / 1000} s after it`);
}

// Starts the show in fresh browsers of the engine as its start loop says,
// the machine kept busy there unless idle; one check for all the starts.
// The last screenshot of each start goes to the shots folder.
export async function checkStarts(engine, url, shots, { idle = false } = {}) {
  const { starts: count, busyCores, soundServer, changeWithinMs } = startLoops[engine];
  const busy = idle || !busyCores ? 0 : cpus().length;
  const stopBusy = keepCoresBusy(busy);
  const failed = [];
  try {
    for (let start = 1; start <= count; start += 1) {
      const { playing, detail } = await startOnce(engine, url, { soundServer },
        path.join(shots, `start-${engine}-${start}.png`));
      console.log(`  ${engine} start ${start}: ${detail}`);
      if (!playing) failed.push(start);
    }
  } finally {
    await stopBusy();
  }
  check(`${engine}: ${count} starts${busy ? ' on a busy machine' : ''} each draw changing frames within ` +
    `${changeWithinMs / 1000} s of the click`, failed.length === 0,
    `${count - failed.length} of ${count} played${failed.length ? `; stopped: start ${failed.join(', ')}` : ''}`);
}
