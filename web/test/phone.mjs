// Chromium as a phone: the page loading at a phone's speed, the card at phone
// sizes, Play by a tap, the screen kept awake, the audio interrupted, the
// phone turned, the show ended by a tap.
import { showOn, titleCard } from './page-objects.mjs';
import { emulatePhone, openPage, reactionLimitMs, slowDownCpu } from './pages.mjs';
import { checkScene1, isBlack, scene1Ms, screenshot, showHeight, showWidth } from './pictures.mjs';
import { probeOn } from './probe.mjs';
import { check, sleep } from './report.mjs';

// Phone screens in CSS pixels, portrait and landscape (the last a landscape
// phone less the browser's bars), down to the smallest the card must fit.
const phoneScreens = [[390, 844], [320, 480], [568, 320], [844, 340]];

// On the show's clock: the portrait screenshot, then, turned, scene1Ms's, and
// the audio suspended for suspendForMs; resumedForMs after, the music is
// compared with the show, within syncToleranceMs: music resumed where it
// stopped is the whole interruption behind, while a busy machine's audio
// clock strays by tens of milliseconds.
const portraitMs = 3000;
const suspendAtMs = 7000;
const suspendForMs = 3000;
const resumedForMs = 1000;
const syncToleranceMs = suspendForMs / 2;
// The page loads with the CPU as slow as a mid-range phone's; its timer then
// waits up to a tenth of a second between ticks on this machine, a few
// tenths on a busy one. Longer, the page froze: decoding the whole music
// there held it 0.8 s and more.
const phoneSlowdown = 4;
const loadWaitLimitMs = 750;

// Chromium as a phone: the page answering while it loads with a phone's
// CPU, the card at phone sizes, Play by a tap, a wake lock
// while the show plays, the audio interrupted in scene 1, the phone turned,
// the show ended by a tap on ✕.
export async function playOnPhone(page, shots) {
  const card = titleCard(page);
  const show = showOn(page, shots);
  const probe = probeOn(page);
  await emulatePhone(page, 390, 844);
  await slowDownCpu(page, phoneSlowdown);
  await openPage(page);
  check('phone: the title card offers to play', await card.waitFor('ready'));
  const longestWaitMs = await probe.longestLoadWaitMs();
  check(`phone: the page answers while it loads, its CPU ${phoneSlowdown}x slower: a timer keeps its pace`,
    longestWaitMs < loadWaitLimitMs, `longest wait between ticks every 50 ms: ${Math.round(longestWaitMs)} ms`);
  await slowDownCpu(page, 1);
  const help = await card.help();
  check('phone: the card speaks of taps, not keys, and in portrait suggests turning the phone',
    help.includes('Tap ✕') && !help.includes('Escape') && help.includes('Turn'), help);
  const cut = [];
  for (const [width, height] of phoneScreens) {
    await emulatePhone(page, width, height);
    await screenshot(page, shots, `phone-card-${width}x${height}`, null);
    const missing = await card.outOfReach();
    if (missing.length) cut.push(`${width}x${height}: ${missing.join(', ')}`);
  }
  check(`phone: nothing on the card is out of reach at ${phoneScreens.map((size) => size.join('x')).join(', ')}`,
    cut.length === 0, cut.join('; '));

  await emulatePhone(page, 390, 844);
  await card.play({ tap: true });
  check('phone: a tap on Play starts the show', await show.started());
  check('phone: a wake lock keeps the screen on while the show plays', await probe.wakeLockWithin(reactionLimitMs));
  await show.waitTime(portraitMs);
  let canvasBox = await show.fit();
  check('phone: in portrait the picture spans the width', Math.abs(canvasBox.width - 390) < 1,
    `${canvasBox.width}x${canvasBox.height} at ${canvasBox.x},${canvasBox.y}`);
  checkScene1(await show.screenshot('phone-portrait-scene1-3s'), `phone, portrait, scene 1 at ${portraitMs / 1000} s`);

  await emulatePhone(page, 844, 390);
  canvasBox = await show.fit();
  await show.waitTime(scene1Ms);
  const shot = await show.screenshot('phone-landscape-scene1-5s');
  const bars = [shot.pixelAt(20, 195), shot.pixelAt(824, 195)];
  const width = 390 * showWidth / showHeight;
  check('phone: turned to 844x390, the picture refits, black at the sides', Math.abs(canvasBox.height - 390) < 1 &&
    Math.abs(canvasBox.width - width) < 1 && Math.abs(canvasBox.x - (844 - width) / 2) < 1 && bars.every(isBlack),
    `${canvasBox.width}x${canvasBox.height} at ${canvasBox.x},${canvasBox.y}; bars ${bars.join(' ')}`);
  checkScene1(shot, `phone, landscape, scene 1 at ${scene1Ms / 1000} s`);
  await checkInterruption(show);
  await show.stop({ tap: true });
  check('phone: a tap on ✕ ends the show', await card.waitFor('ended'));
  check('phone: and the wake lock is let go', await probe.wakeLocksReleasedWithin(reactionLimitMs));
}

// The browser suspends the audio for a while in scene 1, as a call or a
// locked screen does: meanwhile the note says there is no sound; soon after,
// the music heard (where its latest source is, less the output latency the
// browser reports) is the show's moment. The show's clock starts with the
// first source, as the audio runs from the start here.
async function checkInterruption(show) {
  const probe = probeOn(show.page);
  await show.waitTime(suspendAtMs);
  await probe.suspendAudio();
  const suspendedAt = Date.now();
  check('phone: while the audio is suspended, the note says there is no sound',
    await show.noSoundShownWithin(reactionLimitMs));
  await sleep(suspendForMs - (Date.now() - suspendedAt));
  await probe.resumeAudio();
  await sleep(resumedForMs);
  const sync = await probe.musicPosition();
  const noteShown = await show.noSoundShown();
  const aheadMs = sync.musicMs - sync.outputMs - sync.baseMs - sync.showMs;
  check(`phone: ${resumedForMs / 1000} s after the audio resumes, the music heard is within ${syncToleranceMs} ms ` +
    'of the show\'s moment', Math.abs(aheadMs) <= syncToleranceMs, `${Math.round(aheadMs)} ms ahead; latency reported: ` +
    `${sync.outputMs.toFixed(1)} ms output, ${sync.baseMs.toFixed(1)} ms base`);
  check('phone: and the note is gone', !noteShown);
}
