// What each run does with its page on a desktop: the whole show, a second
// showing, reduced flashing, a few seconds of a browser the show must cope
// with, and the two scenes Firefox and WebKitGTK play.
import { checkMusic } from './music.mjs';
import { clickElement, evaluate, openPage, pressEscape, tapElement, waitFor } from './pages.mjs';
import { canvasContentBox, checkLetterbox, checkReducedFlowers, checkScene1, checkScene2, checkScene3, checkScene5,
  meanDifference, sawToothSwing, screenshot } from './pictures.mjs';
import { check } from './report.mjs';
import { checkDisplayKeepsUp, checkFrameRates, checkMusicJoinsLate, checkNothingLoadedTwice, checkTitleCard,
  clickPlay, showStarted, waitShowTime } from './show-checks.mjs';

// The whole show: pixels of four scenes, frame rates, the music, its own end.
export async function playWholeShow(page, folder, shots, consoleLines, label, withWebGL = true) {
  await openPage(page);
  await checkTitleCard(page, shots, label, !withWebGL);
  check(`${label}: nothing runs before the click`, await evaluate(page, 'window.__probe.passes.length') === 0);

  await clickPlay(page, label);
  const canvasBox = await canvasContentBox(page);

  await waitShowTime(page, 5000);
  const shot1 = await screenshot(page, shots, `${label}-scene1-5s`, canvasBox);
  checkScene1(shot1);
  checkLetterbox(shot1, canvasBox);
  if (withWebGL) await loseWebGLContext(page, label);
  await waitShowTime(page, 26500);
  checkScene2(await screenshot(page, shots, `${label}-scene2-26s`, canvasBox));
  await waitShowTime(page, 62500);
  const shot3 = await screenshot(page, shots, `${label}-scene3-62s`, canvasBox);
  await waitShowTime(page, 62650);
  const shot3Later = await screenshot(page, shots, `${label}-scene3-62s-later`, canvasBox);
  checkScene3([shot3, shot3Later]);
  await waitShowTime(page, 117500);
  checkScene5(await screenshot(page, shots, `${label}-scene5-117s`, canvasBox));
  const rates = await checkFrameRates(page, label);
  await checkMusic(page, folder, label);
  checkDisplayKeepsUp(rates, label);

  check(`${label}: the show ends by itself and offers to play again`, await waitFor(page,
    `document.body.dataset.state === 'ended' && document.body.innerText.includes('ended')`, 20000));
  const errors = consoleLines.filter((line) => /error|fail|abort|exception/i.test(line));
  check(`${label}: the console reports no error`, errors.length === 0, errors.join(' | '));
  return { scene1: shot1 };
}

// The browser takes the WebGL context away at 21 s, in scene 2, and gives it
// back at 23 s; scene 2's check at 26.5 s then sees whether the show came back.
async function loseWebGLContext(page, label) {
  await waitShowTime(page, 21000);
  check(`${label}: the WebGL context is lost at 21 s`, await evaluate(page, '__probe.loseContext(2000)'));
  check(`${label}: and restored 2 s later`, await waitFor(page, '__probe.contextRestored', 4000));
}

export async function playAgainAndTapStop(page) {
  await evaluate(page, 'window.__probe.passes = []');
  await clickElement(page, '#play');
  check('play again starts a new show', await waitFor(page, showStarted, 20000));
  await checkNothingLoadedTwice(page);
  await waitShowTime(page, 2000);
  await tapElement(page, '#stop');
  check('a tap on the stop control ends the show', await waitFor(page, `document.body.dataset.state === 'ended'`,
    10000));
}

// The reduced-flashing mode chosen on the card: scene 1 as the normal show
// draws it; in scene 3 the red stands still between two moments 150 ms
// apart, with the five flowers dark on it.
export async function playReduced(page, shots, normal) {
  const label = 'reduced flashing';
  await clickElement(page, '#reduce-flashes');
  check(`${label}: the card's checkbox chooses it`, await evaluate(page,
    `document.getElementById('reduce-flashes').checked`));
  await evaluate(page, 'window.__probe.passes = []');
  await clickElement(page, '#play');
  check(`${label}: Play starts the show`, await waitFor(page, showStarted, 20000));
  const canvasBox = await canvasContentBox(page);
  await waitShowTime(page, 5000);
  const shot1 = await screenshot(page, shots, 'reduced-scene1-5s', canvasBox);
  checkScene1(shot1, `${label}, scene 1 at 5 s`);
  const apart = meanDifference(shot1, normal.scene1);
  check(`${label}: scene 1 at 5 s is the normal show's`, apart <= 12, `${apart.toFixed(1)} levels apart on average`);
  await waitShowTime(page, 62500);
  const shot3 = await screenshot(page, shots, 'reduced-scene3-62s', canvasBox);
  await waitShowTime(page, 62650);
  const shot3Later = await screenshot(page, shots, 'reduced-scene3-62s-later', canvasBox);
  const changed = meanDifference(shot3, shot3Later, [0]);
  check(`${label}: the red of scene 3 at 62.5 s does not flash`, changed <= sawToothSwing / 4,
    `red changes by ${changed.toFixed(1)} levels in 150 ms, the saw-tooth's background by ${sawToothSwing} or more`);
  checkReducedFlowers(shot3, `${label}, scene 3 at 62.5 s`);
  await pressEscape(page);
  check(`${label}: Escape ends the show`, await waitFor(page, `document.body.dataset.state === 'ended'`, 10000));
}

// A few seconds of scene 1, then Escape. Without WebGL the program falls
// back to SDL's software renderer and says so. With silent audio (audio that
// does not start) the show starts within 2 s without sound, says so, and the
// music joins in when audio starts after all.
export async function playBriefly(page, shots, consoleLines, label, { withWebGL = true, silentAudio = false } = {}) {
  await openPage(page);
  await checkTitleCard(page, shots, label, !withWebGL);
  await clickPlay(page, label, silentAudio ? 2000 : 20000);
  const canvasBox = await canvasContentBox(page);
  if (silentAudio) {
    check(`${label}: a note says there is no sound`, await evaluate(page, `!document.getElementById('nosound').hidden`));
  }
  await waitShowTime(page, 5000);
  checkScene1(await screenshot(page, shots, `${label}-scene1-5s`, canvasBox), `${label}, scene 1 at 5 s`);
  if (silentAudio) await checkMusicJoinsLate(page, label);
  await waitShowTime(page, 10000);
  const rates = await checkFrameRates(page, label);
  if (withWebGL) {
    checkDisplayKeepsUp(rates, label);
  } else {
    const contexts = await evaluate(page, 'window.__probe.contexts');
    check(`${label}: drawn on a 2D canvas`, contexts.includes('2d') && !contexts.some((c) => c.includes('webgl')),
      contexts.join());
    check(`${label}: the console says the software renderer is used`,
      consoleLines.some((line) => line.includes('using the software renderer')));
  }
  await pressEscape(page);
  check(`${label}: Escape ends the show`, await waitFor(page, `document.body.dataset.state === 'ended'`, 10000));
}

// Firefox and WebKitGTK: the card, Play, frames of scenes 1 and 2 with the
// music playing, Escape.
export async function playTwoScenes(page, shots, label) {
  await openPage(page);
  await checkTitleCard(page, shots, label, false);
  await clickPlay(page, label);
  const canvasBox = await canvasContentBox(page);
  await waitShowTime(page, 5000);
  checkScene1(await screenshot(page, shots, `${label}-scene1-5s`, canvasBox), `${label}, scene 1 at 5 s`);
  // Heard: null where the engine has no audio worklets to record with. Not
  // outputLatency, which can leave Firefox's page frozen (see index.html).
  const sound = await evaluate(page, `({ starts: __probe.sourceStarts.length, state: __probe.sourceStarts[0]?.state,
    baseLatency: __probe.audio?.baseLatency,
    heard: __probe.recordings.length ? __probe.recordings.some((r) => r.samples.some((x) => Math.abs(x) > 0.01)) : null })`);
  check(`${label}: the music plays: a source started in a running audio context, and it is heard`,
    sound.starts === 1 && sound.state === 'running' && sound.heard !== false, JSON.stringify(sound));
  await waitShowTime(page, 26500);
  checkScene2(await screenshot(page, shots, `${label}-scene2-26s`, canvasBox), `${label}, scene 2 at 26.5 s`);
  await checkFrameRates(page, label);
  await pressEscape(page);
  check(`${label}: Escape ends the show`, await waitFor(page, `document.body.dataset.state === 'ended'`, 10000));
}
