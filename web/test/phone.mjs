// Chromium as a phone: the card at phone sizes, Play by a tap, the screen
// kept awake, the audio interrupted, the phone turned, the show ended by a tap.
import { emulatePhone, evaluate, openPage, tapElement, waitFor } from './pages.mjs';
import { canvasContentBox, checkScene1, isBlack, screenshot, showHeight, showWidth } from './pictures.mjs';
import { check, sleep } from './report.mjs';
import { showStarted, waitShowTime } from './show-checks.mjs';

// Phone screens in CSS pixels, portrait and landscape (the last a landscape
// phone less the browser's bars), down to the smallest the card must fit.
const phoneScreens = [[390, 844], [320, 480], [568, 320], [844, 340]];

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

// Chromium as a phone: the card at phone sizes, Play by a tap, a wake lock
// while the show plays, the audio interrupted in scene 1, the phone turned,
// the show ended by a tap on ✕.
export async function playOnPhone(page, shots) {
  await emulatePhone(page, 390, 844);
  await openPage(page);
  check('phone: the title card offers to play', await waitFor(page, `document.body.dataset.state === 'ready'`, 60000));
  const help = await evaluate(page, `document.getElementById('help').innerText`);
  check('phone: the card speaks of taps, not keys, and in portrait suggests turning the phone',
    help.includes('Tap ✕') && !help.includes('Escape') && help.includes('Turn'), help);
  const cut = [];
  for (const [width, height] of phoneScreens) {
    await emulatePhone(page, width, height);
    await screenshot(page, shots, `phone-card-${width}x${height}`, null);
    const missing = await evaluate(page, cardCutOff);
    if (missing.length) cut.push(`${width}x${height}: ${missing.join(', ')}`);
  }
  check(`phone: nothing on the card is out of reach at ${phoneScreens.map((size) => size.join('x')).join(', ')}`,
    cut.length === 0, cut.join('; '));

  await emulatePhone(page, 390, 844);
  await tapElement(page, '#play');
  check('phone: a tap on Play starts the show', await waitFor(page, showStarted, 20000));
  check('phone: a wake lock keeps the screen on while the show plays',
    await waitFor(page, '__probe.wakeLocks.some((lock) => !lock.released)', 3000));
  await waitShowTime(page, 3000);
  let canvasBox = await canvasContentBox(page);
  check('phone: in portrait the picture spans the width', Math.abs(canvasBox.width - 390) < 1,
    `${canvasBox.width}x${canvasBox.height} at ${canvasBox.x},${canvasBox.y}`);
  checkScene1(await screenshot(page, shots, 'phone-portrait-scene1-3s', canvasBox), 'phone, portrait, scene 1 at 3 s');

  await emulatePhone(page, 844, 390);
  canvasBox = await canvasContentBox(page);
  await waitShowTime(page, 5000);
  const shot = await screenshot(page, shots, 'phone-landscape-scene1-5s', canvasBox);
  const bars = [shot.pixelAt(20, 195), shot.pixelAt(824, 195)];
  const width = 390 * showWidth / showHeight;
  check('phone: turned to 844x390, the picture refits, black at the sides', Math.abs(canvasBox.height - 390) < 1 &&
    Math.abs(canvasBox.width - width) < 1 && Math.abs(canvasBox.x - (844 - width) / 2) < 1 && bars.every(isBlack),
    `${canvasBox.width}x${canvasBox.height} at ${canvasBox.x},${canvasBox.y}; bars ${bars.join(' ')}`);
  checkScene1(shot, 'phone, landscape, scene 1 at 5 s');
  await checkInterruption(page);
  await tapElement(page, '#stop');
  check('phone: a tap on ✕ ends the show', await waitFor(page, `document.body.dataset.state === 'ended'`, 10000));
  check('phone: and the wake lock is let go',
    await waitFor(page, '__probe.wakeLocks.length > 0 && __probe.wakeLocks.every((lock) => lock.released)', 2000));
}

// The browser suspends the audio for 3 s in scene 1, as a call or a locked
// screen does: meanwhile the note says there is no sound; a second after,
// the music heard (where its latest source is, less the output latency the
// browser reports) is the show's moment. The show's clock starts with the
// first source, as the audio runs from the start here.
async function checkInterruption(page) {
  await waitShowTime(page, 7000);
  await evaluate(page, '__probe.audio.suspend()');
  const suspendedAt = Date.now();
  check('phone: while the audio is suspended, the note says there is no sound',
    await waitFor(page, `!document.getElementById('nosound').hidden`, 2000));
  await sleep(3000 - (Date.now() - suspendedAt));
  await evaluate(page, '__probe.audio.resume()');
  await sleep(1000);
  const sync = await evaluate(page, `(() => {
    const audio = __probe.audio;
    const last = __probe.sourceStarts[__probe.sourceStarts.length - 1];
    return { musicMs: 1000 * (last.offset + audio.currentTime - last.contextTime),
      showMs: performance.now() - __probe.sourceStarts[0].at,
      outputMs: 1000 * (audio.outputLatency || 0), baseMs: 1000 * (audio.baseLatency || 0),
      noteHidden: document.getElementById('nosound').hidden };
  })()`);
  const aheadMs = sync.musicMs - sync.outputMs - sync.baseMs - sync.showMs;
  check('phone: 1 s after the audio resumes, the music heard is within 100 ms of the show\'s moment',
    Math.abs(aheadMs) <= 100, `${Math.round(aheadMs)} ms ahead; latency reported: ` +
    `${sync.outputMs.toFixed(1)} ms output, ${sync.baseMs.toFixed(1)} ms base`);
  check('phone: and the note is gone', sync.noteHidden);
}
