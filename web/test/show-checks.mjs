// Checks made while a show plays in any engine: the title card, Play, the
// show's clock, the frame rates, what a second showing loads, late music,
// the viewer's choices kept.
import { musicFile, sceneEndsMs } from './music.mjs';
import { firstFrameLimitMs, showOn, titleCard } from './page-objects.mjs';
import { evaluate, openPage, reactionLimitMs } from './pages.mjs';
import { screenshot } from './pictures.mjs';
import { probeOn } from './probe.mjs';
import { check } from './report.mjs';
import { served } from './site.mjs';

// When audio starts in a silent show, on its clock, and how far from the
// show's moment the music may start: ahead by the output's latency as the
// browser reports it and behind by the picture's way to the screen, tens of
// milliseconds each, whatever the machine's load.
const lateSoundMs = 6000;
const musicJoinToleranceMs = 250;
// Only a program that has stopped goes this long without a pass: the
// software renderer takes seconds for some frames on a busy machine.
const longestPauseLimitMs = 10000;

// Clicks Play on the card; checks that the show starts within limitMs and
// returns the milliseconds from the click to the program's first frame.
export async function clickPlay(card, show, label, limitMs = firstFrameLimitMs) {
  const { pageMs } = await card.play();
  const started = await show.started(limitMs);
  const delayMs = started ? await show.firstPassMs() - pageMs : null;
  check(`${label}: the show starts on the click, within ${limitMs / 1000} s`, started,
    started ? `first frame ${Math.round(delayMs)} ms after the click` : '');
  return delayMs;
}

// The shortest stretch of a scene that counts in the frame rates.
const shortestSceneMs = 1000;

// Program passes and displayed frames per second in each scene that has
// begun, from the probe's time stamps; checks that the display keeps up
// with the program, one displayed frame per pass.
export async function checkFrameRates(page, label) {
  const { passes, frames, busyMs, contexts, now } = await probeOn(page).timeline();
  const start = passes[0];
  const last = passes[passes.length - 1];
  const rates = [];
  sceneEndsMs.forEach((endMs, index) => {
    const from = start + (index === 0 ? 0 : sceneEndsMs[index - 1]);
    const to = Math.min(start + endMs, last);
    if (to - from < shortestSceneMs) return;
    const perSecond = (times) => times.filter((t) => t >= from && t < to).length * 1000 / (to - from);
    rates.push({ scene: index + 1, passes: perSecond(passes), frames: perSecond(frames) });
  });
  console.log(`frame rates (${label}), program passes / displayed frames per second: ` +
    rates.map((r) => `scene ${r.scene} ${r.passes.toFixed(1)} / ${r.frames.toFixed(1)}`).join(', ') +
    `; ${(busyMs / passes.length).toFixed(1)} ms of each pass in the program; canvas context: ${contexts.join()}`);
  const pauses = passes.map((at, i) => at - (i ? passes[i - 1] : at)).concat(now - last);
  const longestPauseMs = Math.max(...pauses);
  check(`the show renders frames (${label})`, longestPauseMs <= longestPauseLimitMs,
    `longest pause between passes ${Math.round(longestPauseMs)} ms`);
  return rates;
}

// The probe counts a pass and a displayed frame in every animation frame,
// however slow the machine: only a program that asks for frames twice, or a
// display that drops them, is more than a tenth apart.
export function checkDisplayKeepsUp(rates, label, show) {
  const behind = rates.filter((r) => Math.abs(r.frames - r.passes) > 0.1 * r.passes);
  check(`${label}: one displayed frame per program pass, within 10 %`, behind.length === 0,
    behind.map((r) => `scene ${r.scene}`).join(', '));
  console.log(`screenshots (${label}): the slowest took ${show.slowestScreenshotMs()} ms`);
}
// The title card: its poster, icon and link-preview image load, it warns
// where WebGL is missing (expected: whether it should), and its help is a
// desktop's.
export async function checkTitleCard(page, shots, label, expectSlowNotice) {
  const card = titleCard(page);
  check(`${label}: the title card offers to play`, await card.waitFor('ready', { text: 'Notes Left Behind' }));
  await screenshot(page, shots, `title-card-${label.replace(/\W+/g, '-')}`, null);
  const statuses = await card.iconAndPreviewStatuses();
  const poster = await card.posterWidth();
  check(`${label}: the favicon, the poster and the preview image load`, poster > 0 &&
    statuses.every((status) => status === 200), `statuses ${statuses}, poster ${poster} px wide`);
  const notice = await card.slowNoticeShown();
  check(`${label}: the card ${expectSlowNotice ? 'says' : 'does not say'} that the browser cannot draw smoothly`,
    notice === expectSlowNotice);
  check(`${label}: the photosensitivity warning is on the card`,
    (await card.photosensitivityWarning()).includes('flash'));
  const help = await card.help();
  check(`${label}: the card's help speaks of keys, not taps`, help.includes('press Escape') && !help.includes('Tap'), help);
}

export async function checkFullscreenButton(page) {
  const show = showOn(page, null);
  await show.pressFullscreen();
  check('the full-screen button asks for full screen', await probeOn(page).fullscreenRequestedWithin(reactionLimitMs));
  await show.leaveFullscreen();
}

// The second showing reuses the first one's download and compiled program.
export async function checkNothingLoadedTwice(page) {
  const compilations = await probeOn(page).compilations();
  const requests = (name) => served.get(name)?.requests;
  const sent = [...served].map(([name, { requests, bytes }]) => `${name} ${requests}x ${bytes} B`).join(', ');
  check('a second showing downloads and compiles nothing again',
    requests('/demo.wasm') === 1 && requests('/demo.data') === 1 && requests(`/${musicFile}`) === 1 &&
      compilations === 1,
    `${compilations} compilations; served in this visit: ${sent}`);
  const blocked = await probeOn(page).blocked();
  check('the page\'s content policy blocked nothing it needs', blocked.length === 0, blocked.join(', '));
}

// Where the server sends the music slowly: the show started before its
// last byte went (and checkMusic finds it in place all the same).
export async function checkShowStartsBeforeMusicIsIn(page, label) {
  const { atMs } = await probeOn(page).firstMusicStart();
  const startedAtMs = await evaluate(page, 'performance.timeOrigin') + atMs;
  const lastByteAtMs = served.get(`/${musicFile}`)?.lastByteAtMs;
  check(`${label}: the show starts while the music still arrives`, startedAtMs < lastByteAtMs,
    `the music started ${((lastByteAtMs - startedAtMs) / 1000).toFixed(1)} s before its last byte was sent`);
}

// Audio starts at lateSoundMs of a silent show: the music must start there,
// at the show's moment counted from when the program started its clock (its
// first frame follows by its drawing time, long on a busy machine), and the
// note go.
export async function checkMusicJoinsLate(show, label) {
  const probe = probeOn(show.page);
  await show.waitTime(lateSoundMs);
  await probe.startSound();
  const joined = await probe.musicStartedWithin(reactionLimitMs);
  const { atMs, offsetMs } = joined ? await probe.firstMusicStart() : {};
  const showMs = joined ? atMs - await show.clockStartMs() : null;
  check(`${label}: the music joins in when audio starts, at the show's moment`,
    joined && Math.abs(offsetMs - showMs) <= musicJoinToleranceMs,
    joined ? `from ${Math.round(offsetMs)} ms of the music at ${Math.round(showMs)} ms of the show` : 'no music started');
  check(`${label}: the note goes when the music plays`, !await show.noSoundShown());
}

// The viewer's choices are kept for the next visit (the page opened anew):
// reduced flashing and the sound's delay as chosen on the card; with the
// system's reduced-motion preference and no choice of the viewer's, reduced
// flashing chosen and the card saying why, a choice of the viewer's beating
// it; the address's audio-delay setting the delay.
export async function checkSettingsKept(page) {
  const card = titleCard(page);
  const address = page.url;
  const reopen = async (query = '') => {
    page.url = address + query;
    await openPage(page);
    page.url = address;
  };
  await card.setSoundDelay(-150);
  const reduced = await card.reducedFlashingChosen();
  await reopen();
  check('the card keeps the viewer\'s reduced flashing and sound delay for the next visit',
    await card.reducedFlashingChosen() === reduced && await card.soundDelay() === -150);
  await page.tab.emulateMediaFeatures([{ name: 'prefers-reduced-motion', value: 'reduce' }]);
  await evaluate(page, 'localStorage.clear()');
  await reopen();
  check('with the system\'s reduced motion, the card offers reduced flashing chosen and says why',
    await card.reducedFlashingChosen() && await card.reducedFlashingPreferred());
  await card.chooseReducedFlashing();
  await reopen();
  check('the viewer\'s choice beats the system\'s preference', !await card.reducedFlashingChosen());
  await reopen('?audio-delay=100');
  check('the address\'s audio-delay sets the sound\'s delay', await card.soundDelay() === 100);
}
