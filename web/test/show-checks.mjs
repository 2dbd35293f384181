// Checks made while a show plays in any engine: the title card, Play, the
// show's clock, the frame rates, what a second showing loads, late music.
import { screenshot, screenshots } from './pictures.mjs';
import { sceneEndsMs } from './music.mjs';
import { clickElement, evaluate, waitFor } from './pages.mjs';
import { check, sleep } from './report.mjs';
import { served } from './site.mjs';

// Clicks Play; checks that the show starts within limitMs and returns the
// milliseconds from the click to the program's first frame.
export async function clickPlay(page, label, limitMs = 20000) {
  const clickedAt = await evaluate(page, 'performance.now()');
  await clickElement(page, '#play');
  const started = await waitFor(page, showStarted, limitMs);
  const delayMs = started ? await evaluate(page, '__probe.passes[0]') - clickedAt : null;
  check(`${label}: the show starts on the click, within ${limitMs / 1000} s`, started,
    started ? `first frame ${Math.round(delayMs)} ms after the click` : '');
  return delayMs;
}

// Milliseconds on the show's clock: since the program's first pass ended,
// right after it started the music and drew its first frame.
export async function showTime(page) {
  return evaluate(page, 'performance.now() - window.__probe.passes[0]');
}

export const showStarted = 'window.__probe.passes.length > 0';

export async function waitShowTime(page, ms) {
  const now = await showTime(page);
  if (ms > now) await sleep(ms - now);
}

// Program passes and displayed frames per second in each scene that has
// begun, from the probe's time stamps; checks that the display keeps up
// with the program, one displayed frame per pass.
export async function checkFrameRates(page, label) {
  const { passes, frames, busyMs, contexts } = await evaluate(page,
    '({ passes: __probe.passes, frames: __probe.frames, busyMs: __probe.busyMs, contexts: __probe.contexts.join() })');
  const start = passes[0];
  const last = passes[passes.length - 1];
  const rates = [];
  sceneEndsMs.forEach((endMs, index) => {
    const from = start + (index === 0 ? 0 : sceneEndsMs[index - 1]);
    const to = Math.min(start + endMs, last);
    if (to - from < 1000) return;
    const perSecond = (times) => times.filter((t) => t >= from && t < to).length * 1000 / (to - from);
    rates.push({ scene: index + 1, passes: perSecond(passes), frames: perSecond(frames) });
  });
  console.log(`frame rates (${label}), program passes / displayed frames per second: ` +
    rates.map((r) => `scene ${r.scene} ${r.passes.toFixed(1)} / ${r.frames.toFixed(1)}`).join(', ') +
    `; ${(busyMs / passes.length).toFixed(1)} ms of each pass in the program; canvas context: ${contexts}`);
  check(`the show renders frames (${label})`, rates.every((r) => r.passes >= 1));
  return rates;
}

export function checkDisplayKeepsUp(rates, label) {
  const behind = rates.filter((r) => Math.abs(r.frames - r.passes) > 0.1 * r.passes);
  check(`${label}: one displayed frame per program pass, within 10 %`, behind.length === 0,
    behind.map((r) => `scene ${r.scene}`).join(', '));
  check(`${label}: screenshots return within 2 s`, screenshots.slowestMs <= 2000, `slowest ${screenshots.slowestMs} ms`);
}
// The title card: its poster, icon and link-preview image load, it warns
// where WebGL is missing (expected: whether it should), and its help is a
// desktop's.
export async function checkTitleCard(page, shots, label, expectSlowNotice) {
  check(`${label}: the title card offers to play`, await waitFor(page,
    `document.body.dataset.state === 'ready' && document.body.innerText.includes('Notes Left Behind')`, 60000));
  await screenshot(page, shots, `title-card-${label.replace(/\W+/g, '-')}`, null);
  const statuses = await evaluate(page, `Promise.all(['link[rel=icon]', 'meta[property="og:image"]'].map((selector) => {
    const element = document.querySelector(selector);
    return fetch(new URL(element.href || element.content, location.href)).then((r) => r.status);
  }))`);
  const poster = await evaluate(page, `document.getElementById('poster').naturalWidth`);
  check(`${label}: the favicon, the poster and the preview image load`, poster > 0 &&
    statuses.every((status) => status === 200), `statuses ${statuses}, poster ${poster} px wide`);
  const notice = await evaluate(page, `!document.getElementById('slow').hidden`);
  check(`${label}: the card ${expectSlowNotice ? 'says' : 'does not say'} that the browser cannot draw smoothly`,
    notice === expectSlowNotice);
  check(`${label}: the photosensitivity warning is on the card`,
    await evaluate(page, `document.getElementById('photosensitivity').innerText.includes('flash')`));
  const help = await evaluate(page, `document.getElementById('help').innerText`);
  check(`${label}: the card's help speaks of keys, not taps`, help.includes('press Escape') && !help.includes('Tap'), help);
  screenshots.slowestMs = 0;
}

export async function checkFullscreenButton(page) {
  await clickElement(page, '#fullscreen');
  check('the full-screen button asks for full screen',
    await waitFor(page, 'window.__probe.fullscreenRequests === 1', 2000));
  await evaluate(page, 'document.fullscreenElement && document.exitFullscreen()');
}

// The second showing reuses the first one's download and compiled program.
export async function checkNothingLoadedTwice(page) {
  const compilations = await evaluate(page, '__probe.compilations');
  const requests = (name) => served.get(name)?.requests;
  const sent = [...served].map(([name, { requests, bytes }]) => `${name} ${requests}x ${bytes} B`).join(', ');
  check('a second showing downloads and compiles nothing again',
    requests('/demo.wasm') === 1 && requests('/demo.data') === 1 && compilations === 1,
    `${compilations} compilations; served in this visit: ${sent}`);
}

// Audio starts at 6 s of a silent show: the music must start there, at the
// show's moment (the first frame follows the clock's start by its drawing
// time), and the note go.
export async function checkMusicJoinsLate(page, label) {
  await waitShowTime(page, 6000);
  await evaluate(page, '__probe.startSound()');
  const joined = await waitFor(page, '__probe.sourceStarts.length > 0', 3000);
  const { showMs, offsetMs } = joined ? await evaluate(page, `({ showMs: __probe.sourceStarts[0].at - __probe.passes[0],
    offsetMs: 1000 * __probe.sourceStarts[0].offset })`) : {};
  check(`${label}: the music joins in when audio starts, at the show's moment`,
    joined && offsetMs >= showMs && offsetMs <= showMs + 250,
    joined ? `from ${Math.round(offsetMs)} ms of the music at ${Math.round(showMs)} ms of the show` : 'no music started');
  check(`${label}: the note goes when the music plays`, await evaluate(page, `document.getElementById('nosound').hidden`));
}
