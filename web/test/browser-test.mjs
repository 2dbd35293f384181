// Plays the web build in Chromium, Firefox ESR and WebKitGTK and checks what it shows and plays.
//
// Usage: node browser-test.mjs <site folder> [<screenshot folder>] [--whole] [--engines=chromium,firefox,webkit]
//   [--starts-only] [--idle]
// Serves the site, checks the title card, clicks its button, takes
// screenshots at moments of the show's own clock, checks pixels that must
// hold there, the frame rates displayed and drawn and the music that reaches
// the speakers, lets the show end by itself, then plays again (with nothing
// downloaded or compiled again) and ends it with a tap on the stop control,
// then once more with reduced flashing chosen on the card, to 1:02.5: all
// with Chromium compositing on a GPU.
// Then a few seconds in the default headless configuration, and in a browser
// without WebGL the software renderer's fallback, each ended with Escape; and
// Chromium as a phone: its card, a tap on Play, a wake lock, the audio
// interrupted, the phone turned, a tap on the stop control. Then Firefox and
// WebKitGTK play the first two scenes. Last, the start loops: Play
// clicked in fresh browsers, as often as each engine's start loop says
// (starts.mjs), with every core busy.
// Prints one line per check, the measured frame rates and music windows, and
// "N passed, M failed". Screenshots go to <site folder>/../test-shots.
//
// The files beside this one, one concern each: site.mjs serves the build;
// browsers.mjs starts each engine; pages.mjs acts on a page in any engine;
// page-objects.mjs is the title card and the show on it; probe.mjs is put in
// the page before its own scripts and tells what it saw there; pictures.mjs
// and music.mjs check what is seen and heard (analysis.test.mjs tests them
// without a browser); show-checks.mjs, showings.mjs, phone.mjs and starts.mjs
// are what the runs below do; report.mjs prints each check.
import { mkdir } from 'node:fs/promises';
import path from 'node:path';
import { defaultFlags, gpuFlags, noWebGLFlags, withBrowser } from './browsers.mjs';
import { playOnPhone } from './phone.mjs';
import { musicFile } from './music.mjs';
import { noOggSource, probeFiles, silentAudioSource } from './probe.mjs';
import { results } from './report.mjs';
import { checkFullscreenButton, checkSettingsKept, checkShowStartsBeforeMusicIsIn } from './show-checks.mjs';
import { playAgainAndTapStop, playBriefly, playReduced, playTwoScenes, playWholeShow } from './showings.mjs';
import { serveFolder } from './site.mjs';
import { checkStarts } from './starts.mjs';

// How long Firefox and WebKitGTK may take over their two scenes before they count as stalled.
const twoScenesLimitMs = 240000;
// The music's rate in Chromium's whole show: about six times its own, as on
// a slow network, so that the page offers the show some 15 s before the
// music's last byte arrives.
const slowMusicBytesPerS = 100000;

async function main() {
  const folder = path.resolve(process.argv[2] || 'build-web/site');
  const shots = path.resolve(process.argv[3] || path.join(folder, '..', 'test-shots'));
  // --whole plays the whole show in every configuration, to measure them.
  const whole = process.argv.includes('--whole');
  // --engines=chromium,firefox,webkit (the default) picks the browsers.
  const enginesOption = process.argv.find((arg) => arg.startsWith('--engines='));
  const engines = enginesOption ? enginesOption.slice('--engines='.length).split(',') : ['chromium', 'firefox', 'webkit'];
  // --starts-only runs only the start loops; --idle runs them without keeping the cores busy.
  const startsOnly = process.argv.includes('--starts-only');
  const idle = process.argv.includes('--idle');
  await mkdir(shots, { recursive: true });
  const server = await serveFolder(folder, { extras: probeFiles });
  const url = `http://127.0.0.1:${server.address().port}/index.html`;
  const slowServer = await serveFolder(folder,
    { extras: probeFiles, slowly: { [`/${musicFile}`]: slowMusicBytesPerS } });
  const slowMusicUrl = `http://127.0.0.1:${slowServer.address().port}/index.html`;
  if (!startsOnly) await playShows(engines, { url, slowMusicUrl }, folder, shots, whole);
  if (!whole) {
    for (const engine of engines) await checkStarts(engine, url, shots, { idle });
  }
  server.close();
  slowServer.close();
  const failed = results.filter((passed) => !passed).length;
  console.log(`screenshots in ${shots}`);
  console.log(`${results.length - failed} passed, ${failed} failed`);
  process.exit(failed === 0 ? 0 : 1);
}

async function playShows(engines, { url, slowMusicUrl }, folder, shots, whole) {
  if (engines.includes('chromium')) {
    // As in Safari, the browser cannot decode the music file itself; the music arrives slowly.
    await withBrowser('chromium', slowMusicUrl, { flags: gpuFlags, injected: [noOggSource] }, async (page, consoleLines) => {
      const normal = await playWholeShow(page, folder, shots, consoleLines, 'GPU compositing');
      await checkShowStartsBeforeMusicIsIn(page, 'GPU compositing');
      await checkFullscreenButton(page);
      await playAgainAndTapStop(page);
      await playReduced(page, shots, normal);
      await checkSettingsKept(page);
    });
    await withBrowser('chromium', url, { flags: defaultFlags, injected: whole ? [] : [silentAudioSource] },
      (page, consoleLines) => (whole
        ? playWholeShow(page, folder, shots, consoleLines, 'default')
        : playBriefly(page, shots, consoleLines, 'default, audio does not start', { silentAudio: true })));
    await withBrowser('chromium', url, { flags: noWebGLFlags }, (page, consoleLines) => (whole
      ? playWholeShow(page, folder, shots, consoleLines, 'without WebGL', false)
      : playBriefly(page, shots, consoleLines, 'without WebGL', { withWebGL: false })));
    if (!whole) await withBrowser('chromium', url, { flags: defaultFlags }, (page) => playOnPhone(page, shots));
  }
  for (const engine of ['firefox', 'webkit'].filter((name) => engines.includes(name))) {
    await withBrowser(engine, url, { limitMs: whole ? 0 : twoScenesLimitMs }, (page, consoleLines) => (whole
      ? playWholeShow(page, folder, shots, consoleLines, engine)
      : playTwoScenes(page, shots, engine)));
  }
}

main();
