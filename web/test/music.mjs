// The music analysis: what reached the speakers, as the probe recorded it,
// compared with the music file decoded by ffmpeg.
import { spawn } from 'node:child_process';
import { readFile } from 'node:fs/promises';
import path from 'node:path';
import { probeOn } from './probe.mjs';
import { check } from './report.mjs';

// The site's music, which the page downloads on its own.
export const musicFile = 'delfiini.kalako';
// Where each scene ends on the show's clock.
export const sceneEndsMs = [20000, 50000, 100000, 113985, 119985];

// The music as a clean decoder hears it: the site's music file, decoded by
// ffmpeg at the page's sample rate, mixed to mono and averaged over `factor`
// samples as the probe's recorder does.
async function referenceMusic(folder, sampleRate, factor) {
  const ogg = await readFile(path.join(folder, musicFile));
  const ffmpeg = spawn('ffmpeg', ['-loglevel', 'error', '-i', 'pipe:0', '-ac', '1', '-ar', String(sampleRate),
    '-f', 'f32le', 'pipe:1'], { stdio: ['pipe', 'pipe', 'inherit'] });
  const chunks = [];
  ffmpeg.stdout.on('data', (chunk) => chunks.push(chunk));
  const exited = new Promise((resolve) => ffmpeg.on('exit', resolve));
  ffmpeg.stdin.end(ogg);
  await exited;
  const all = Buffer.concat(chunks);
  const pcm = new Float32Array(all.buffer, all.byteOffset, all.length / 4);
  const reduced = new Float32Array(Math.floor(pcm.length / factor));
  for (let i = 0; i < reduced.length; i++) {
    let sum = 0;
    for (let j = 0; j < factor; j++) sum += pcm[i * factor + j];
    // The recorder sums both channels, ffmpeg's mono averages them.
    reduced[i] = 2 * sum / factor;
  }
  return reduced;
}

// A [1 2 1] low-pass: the recorder's averages start anywhere within the
// music's samples, half an average off the reference's at worst, which the
// high notes would feel.
export function smoothed(signal) {
  const result = new Float32Array(signal.length);
  for (let i = 0; i < signal.length; i++) {
    result[i] = (signal[Math.max(i - 1, 0)] + 2 * signal[i] + signal[Math.min(i + 1, signal.length - 1)]) / 4;
  }
  return result;
}

// Normalised correlation of recorded[at + lag ...] with music[from ...] over
// length samples; 0 where the recording does not cover it.
function correlation(recorded, music, from, at, length, step = 1) {
  if (at < 0 || at + length > recorded.length) return 0;
  let product = 0;
  let recordedEnergy = 0;
  let musicEnergy = 0;
  for (let i = 0; i < length; i += step) {
    product += recorded[at + i] * music[from + i];
    recordedEnergy += recorded[at + i] ** 2;
    musicEnergy += music[from + i] ** 2;
  }
  return product / Math.sqrt(recordedEnergy * musicEnergy || 1);
}

// The lag between music and recording that best fits the window at from,
// searched from first to last in steps.
function bestLag(recorded, music, from, length, first, last, step) {
  let best = { lag: first, value: -1 };
  for (let lag = first; lag <= last; lag += step) {
    const value = correlation(recorded, music, from, from + lag, length, step === 1 ? 1 : 2);
    if (value > best.value) best = { lag, value };
  }
  return best;
}

// The windows the music is compared in, how far from its place a window may
// match, and how far away a window that does not is searched for.
const windowMs = 500;
const nearMs = 10;
const farMs = 2000;

// Compares the recording with the music in windows of windowMs: a window
// matches where the recording holds it, in its place give or take nearMs
// after the windows before, with a correlation of at least 0.9; silent
// music must be silent. A window that does not match is searched for within
// farMs, so that a gap costs the windows it spoils, not all that follow;
// a silent stretch of the recording says nothing of where the music went.
// Where the page placed the music anew it jumps on purpose, from one place
// to another (splices: { fromMs, toMs } in the music's time): the windows
// about a jump are not counted, and the music is looked for afresh after it.
export function matchMusic(recorded, music, rate, splices = []) {
  const window = Math.round(rate * windowMs / 1000);
  const near = Math.round(rate * nearMs / 1000);
  const far = rate * farMs / 1000;
  let lag = bestLag(recorded, music, 2 * window, 8 * window, -far, 4 * far, 2).lag;
  lag = bestLag(recorded, music, 2 * window, 8 * window, lag - 2, lag + 2, 1).lag;
  const scenes = sceneEndsMs.map(() => ({ matched: 0, windows: 0 }));
  const unmatched = [];
  for (let from = 0; from + window <= music.length; from += window) {
    if (from + lag < 0 || from + lag + window > recorded.length) continue;
    const scene = sceneEndsMs.findIndex((endMs) => from * 1000 / rate < endMs);
    if (scene < 0) break;
    const fromMs = from * 1000 / rate;
    if (splices.some((jump) => fromMs + windowMs > jump.fromMs - windowMs && fromMs < jump.toMs + windowMs)) {
      lag = bestLag(recorded, music, from, window, lag - far, lag + far, 2).lag;
      continue;
    }
    let musicEnergy = 0;
    let recordedEnergy = 0;
    for (let i = 0; i < window; i++) {
      musicEnergy += music[from + i] ** 2;
      recordedEnergy += recorded[from + lag + i] ** 2;
    }
    const silent = musicEnergy / window < 1e-6;
    const recordedSilent = recordedEnergy / window < 1e-5;
    const best = bestLag(recorded, music, from, window, lag - near, lag + near, 1);
    const matched = silent ? recordedSilent : best.value >= 0.9;
    if (matched && !silent) lag = best.lag;
    if (!matched && !recordedSilent) lag = bestLag(recorded, music, from, window, lag - far, lag + far, 2).lag;
    scenes[scene].windows += 1;
    if (matched) scenes[scene].matched += 1;
    else unmatched.push((from / rate).toFixed(1));
  }
  return { scenes, unmatched };
}

// Checks that what reached the speakers is the music, intact, in every scene.
export async function checkMusic(page, folder, label) {
  const recordings = await probeOn(page).recordings();
  // Of all the contexts that played, the loud one carries the music.
  const energy = (r) => r.samples.reduce((sum, x) => sum + x * x, 0);
  const recording = recordings.sort((a, b) => energy(b) - energy(a))[0];
  if (!recording) {
    check(`${label}: the music reaches the speakers`, false, 'nothing recorded');
    return;
  }
  const music = await referenceMusic(folder, recording.rate, recording.factor);
  const splices = await probeOn(page).musicPlacedAnew();
  const { scenes, unmatched } = matchMusic(smoothed(recording.samples), smoothed(music),
    recording.rate / recording.factor, splices);
  const text = scenes.map((s, i) => `scene ${i + 1} ${s.matched}/${s.windows}`).join(', ');
  const jumps = splices.map((jump) => ` ${(jump.fromMs / 1000).toFixed(1)}-${(jump.toMs / 1000).toFixed(1)} s`);
  console.log(`music (${label}), placed anew ${splices.length} time${splices.length === 1 ? '' : 's'}${jumps.join()}, ` +
    `half-second windows that match: ${text}` +
    (unmatched.length ? `; not those at ${unmatched.join(' ')} s of the music` : ''));
  check(`${label}: the music is intact in every scene, 95 % of its windows`,
    scenes.every((s) => s.windows > 0 && s.matched >= 0.95 * s.windows), text);
}
