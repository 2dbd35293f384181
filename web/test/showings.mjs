// What each run does with its page on a desktop: the whole show, a second
// showing, reduced flashing, a few seconds of a browser the show must cope
// with, and the two scenes Firefox and WebKitGTK play.
import { checkMusic, sceneEndsMs } from './music.mjs';
import { showOn, titleCard } from './page-objects.mjs';
import { openPage, reactionLimitMs } from './pages.mjs';
import { checkLetterbox, checkReducedFlowers, checkScene1, checkScene2, checkScene3, checkScene5, meanDifference,
  pairApartMs, redOnly, sawToothSwing, scene1Ms, scene2Ms, scene3Ms, scene5Ms } from './pictures.mjs';
import { probeOn } from './probe.mjs';
import { check } from './report.mjs';
import { checkDisplayKeepsUp, checkFrameRates, checkMusicJoinsLate, checkNothingLoadedTwice, checkTitleCard,
  clickPlay } from './show-checks.mjs';

// How long the whole show may take to end by itself after its last check:
// its last seconds, then the end card, which only a show that never ends
// misses.
const endLimitMs = sceneEndsMs[sceneEndsMs.length - 1] - scene5Ms + reactionLimitMs;
// The browser takes the WebGL context away at contextLostMs of the show's
// clock and gives it back restoreAfterMs later.
const contextLostMs = 21000;
const restoreAfterMs = 2000;
// How long the second showing plays before its stop control is tapped.
const secondShowingMs = 2000;
// How long a brief showing plays.
const briefShowingMs = 10000;
// How far apart scene 1 of the two modes may be, in levels per channel on
// average: a busy machine's screenshots land up to 3 s off their moment, and
// scene 1 at 5 s and at 8 s are 23 levels apart (the capture tool's stills),
// while against a black screen it is 50 levels and against scene 2, 102.
const sameSceneLevels = 35;

// The whole show: pixels of four scenes, frame rates, the music, its own end.
export async function playWholeShow(page, folder, shots, consoleLines, label, withWebGL = true) {
  const card = titleCard(page);
  const show = showOn(page, shots);
  await openPage(page);
  await checkTitleCard(page, shots, label, !withWebGL);
  check(`${label}: nothing runs before the click`, await probeOn(page).passCount() === 0);

  await clickPlay(card, show, label);
  const canvasBox = await show.fit();

  await show.waitTime(scene1Ms);
  const shot1 = await show.screenshot(`${label}-scene1-5s`);
  checkScene1(shot1);
  checkLetterbox(shot1, canvasBox);
  if (withWebGL) await loseWebGLContext(show, label);
  await show.waitTime(scene2Ms);
  checkScene2(await show.screenshot(`${label}-scene2-26s`));
  checkScene3(await show.screenshotPair(`${label}-scene3-62s`, scene3Ms));
  await show.waitTime(scene5Ms);
  checkScene5(await show.screenshot(`${label}-scene5-117s`));
  const rates = await checkFrameRates(page, label);
  checkDisplayKeepsUp(rates, label, show);

  check(`${label}: the show ends by itself and offers to play again`,
    await card.waitFor('ended', { text: 'ended', withinMs: endLimitMs }));
  // Only now: the recorder hands its samples over in pieces of two thirds of
  // a second, so at scene 5's screenshot scene 5 may not be heard yet.
  await checkMusic(page, folder, label);
  const errors = consoleLines.filter((line) => /error|fail|abort|exception/i.test(line));
  check(`${label}: the console reports no error`, errors.length === 0, errors.join(' | '));
  return { scene1: shot1 };
}

// The browser takes the WebGL context away in scene 2 and gives it back;
// scene 2's check then sees whether the show came back.
async function loseWebGLContext(show, label) {
  await show.waitTime(contextLostMs);
  check(`${label}: the WebGL context is lost at ${contextLostMs / 1000} s`,
    await show.loseContext(restoreAfterMs));
  check(`${label}: and restored ${restoreAfterMs / 1000} s later`,
    await show.contextRestoredWithin(restoreAfterMs + reactionLimitMs));
}

export async function playAgainAndTapStop(page) {
  const card = titleCard(page);
  const show = showOn(page, null);
  await card.play();
  check('play again starts a new show', await show.started());
  await checkNothingLoadedTwice(page);
  await show.waitTime(secondShowingMs);
  await show.stop({ tap: true });
  check('a tap on the stop control ends the show', await card.waitFor('ended'));
}

// The reduced-flashing mode chosen on the card: scene 1 as the normal show
// draws it; in scene 3 the red stands still between a pair of screenshots,
// with the five flowers dark on it.
export async function playReduced(page, shots, normal) {
  const label = 'reduced flashing';
  const card = titleCard(page);
  const show = showOn(page, shots);
  await card.chooseReducedFlashing();
  check(`${label}: the card's checkbox chooses it`, await card.reducedFlashingChosen());
  await card.play();
  check(`${label}: Play starts the show`, await show.started());
  await show.fit();
  await show.waitTime(scene1Ms);
  const shot1 = await show.screenshot('reduced-scene1-5s');
  checkScene1(shot1, `${label}, scene 1 at ${scene1Ms / 1000} s`);
  const apart = meanDifference(shot1, normal.scene1);
  check(`${label}: scene 1 at ${scene1Ms / 1000} s is the normal show's`, apart <= sameSceneLevels,
    `${apart.toFixed(1)} levels apart on average`);
  const [shot3, shot3Later] = await show.screenshotPair('reduced-scene3-62s', scene3Ms);
  const changed = meanDifference(shot3, shot3Later, redOnly);
  check(`${label}: the red of scene 3 at ${scene3Ms / 1000} s does not flash`, changed <= sawToothSwing / 4,
    `red changes by ${changed.toFixed(1)} levels in ${pairApartMs} ms, the saw-tooth's background by ${sawToothSwing} or more`);
  checkReducedFlowers(shot3, `${label}, scene 3 at ${scene3Ms / 1000} s`);
  await show.escape();
  check(`${label}: Escape ends the show`, await card.waitFor('ended'));
}

// A few seconds of scene 1, then Escape. Without WebGL the program falls
// back to SDL's software renderer and says so. With silent audio (audio that
// does not start) the show starts quickly without sound, says so, and the
// music joins in when audio starts after all.
export async function playBriefly(page, shots, consoleLines, label, { withWebGL = true, silentAudio = false } = {}) {
  const card = titleCard(page);
  const show = showOn(page, shots);
  await openPage(page);
  await checkTitleCard(page, shots, label, !withWebGL);
  await clickPlay(card, show, label);
  await show.fit();
  if (silentAudio) {
    check(`${label}: a note says there is no sound`, await show.noSoundShown());
  }
  await show.waitTime(scene1Ms);
  checkScene1(await show.screenshot(`${label}-scene1-5s`), `${label}, scene 1 at ${scene1Ms / 1000} s`);
  if (silentAudio) await checkMusicJoinsLate(show, label);
  await show.waitTime(briefShowingMs);
  const rates = await checkFrameRates(page, label);
  if (withWebGL) {
    checkDisplayKeepsUp(rates, label, show);
  } else {
    const contexts = await show.canvasContexts();
    check(`${label}: drawn on a 2D canvas`, contexts.includes('2d') && !contexts.some((c) => c.includes('webgl')),
      contexts.join());
    check(`${label}: the console says the software renderer is used`,
      consoleLines.some((line) => line.includes('using the software renderer')));
  }
  await show.escape();
  check(`${label}: Escape ends the show`, await card.waitFor('ended'));
}

// Firefox and WebKitGTK: the card, Play, frames of scenes 1 and 2 with the
// music playing, Escape.
export async function playTwoScenes(page, shots, label) {
  const card = titleCard(page);
  const show = showOn(page, shots);
  await openPage(page);
  await checkTitleCard(page, shots, label, false);
  await clickPlay(card, show, label);
  await show.fit();
  await show.waitTime(scene1Ms);
  checkScene1(await show.screenshot(`${label}-scene1-5s`), `${label}, scene 1 at ${scene1Ms / 1000} s`);
  // Heard: null where the engine has no audio worklets to record with.
  const sound = await probeOn(page).music();
  // More than one source where the page placed the music anew after an underrun.
  check(`${label}: the music plays: a source started in a running audio context, and it is heard`,
    sound.starts >= 1 && sound.state === 'running' && sound.heard !== false, JSON.stringify(sound));
  await show.waitTime(scene2Ms);
  checkScene2(await show.screenshot(`${label}-scene2-26s`), `${label}, scene 2 at ${scene2Ms / 1000} s`);
  await checkFrameRates(page, label);
  await show.escape();
  check(`${label}: Escape ends the show`, await card.waitFor('ended'));
}
