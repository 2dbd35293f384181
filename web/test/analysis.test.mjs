// The music analysis, the screenshot reader and the measure of a picture's
// change, without a browser:
// node --test analysis.test.mjs
import assert from 'node:assert/strict';
import test from 'node:test';
import { PNG } from 'pngjs';
import { matchMusic } from './music.mjs';
import { changedPixels, meanDifference, pictureReader, redOnly } from './pictures.mjs';

const rate = 1000;

// Noise as varied as music and, like it, smooth from one sample to the
// next (each a mean of four random values); the same on every run.
function noise(seconds) {
  const samples = new Float32Array(seconds * rate);
  const recent = [0, 0, 0, 0];
  let state = 12345;
  for (let i = 0; i < samples.length; i++) {
    state = (state * 1103515245 + 12345) % 2147483648;
    recent[i % 4] = state / 2147483648 - 0.5;
    samples[i] = (recent[0] + recent[1] + recent[2] + recent[3]) / 4;
  }
  return samples;
}

// The music as recorded: late by latencyMs, with the stretch [fromS, toS) of
// the music replaced by skip, which is silence (null) or a jump ahead in ms.
function recording(music, latencyMs, fromS, toS, skip) {
  const from = fromS * rate;
  const to = toS * rate;
  const parts = [new Float32Array(latencyMs * rate / 1000), music.subarray(0, from)];
  if (skip === null) parts.push(new Float32Array(to - from), music.subarray(to));
  else parts.push(music.subarray(from + skip * rate / 1000));
  const recorded = new Float32Array(parts.reduce((length, part) => length + part.length, 0));
  let at = 0;
  for (const part of parts) {
    recorded.set(part, at);
    at += part.length;
  }
  return recorded;
}

test('a gap in the recording costs the windows it spoils, not those that follow, a splice none', () => {
  const music = noise(120);
  for (const [skip, lost] of [[null, ['30.0', '30.5']], [300, ['30.0']]]) {
    const { scenes, unmatched } = matchMusic(recording(music, 137, 30, 31, skip), music, rate);
    assert.deepEqual(unmatched, lost, `skip ${skip}`);
    assert.ok(scenes.every((scene) => scene.windows > 0), `skip ${skip}`);
  }
  // The same jump where the page placed the music anew: none lost.
  const { unmatched } = matchMusic(recording(music, 137, 30, 31, 300), music, rate, [{ fromMs: 30000, toMs: 30300 }]);
  assert.deepEqual(unmatched, []);
});

test('a recording that is not the music matches nowhere', () => {
  const { scenes } = matchMusic(noise(30).reverse(), noise(30), rate);
  assert.equal(scenes.reduce((sum, scene) => sum + scene.matched, 0), 0);
});

test('screenshots are read in CSS pixels, and in show pixels through the canvas box', () => {
  const image = new PNG({ width: 60, height: 30 });
  image.data.fill(0);
  image.data.set([255, 0, 0, 255], (15 * 60 + 45) * 4);
  const reader = pictureReader(PNG.sync.write(image), { x: 0, y: 0, width: 20, height: 11.25 }, 3);
  assert.deepEqual(reader.pixelAt(15, 5), [255, 0, 0]);
  assert.deepEqual(reader.pixelAt(5, 5), [0, 0, 0]);
  assert.deepEqual(reader.showPixel(1440, 480), [255, 0, 0]);
});

test('a picture changes by its pixels\' level differences: counted past a trace, averaged over the samples', () => {
  // Alike; 24 levels apart, a trace; 25 apart; apart in alpha only.
  const first = Uint8Array.from([10, 10, 10, 255, 10, 10, 10, 255, 10, 10, 10, 255, 10, 10, 10, 255]);
  const second = Uint8Array.from([10, 10, 10, 255, 18, 18, 18, 255, 18, 18, 19, 255, 10, 10, 10, 0]);
  assert.equal(changedPixels(first, second), 1);
  const uniform = (rgb) => ({ showPixel: () => rgb });
  assert.equal(meanDifference(uniform([10, 20, 30]), uniform([16, 20, 27])), 3);
  assert.equal(meanDifference(uniform([10, 20, 30]), uniform([16, 20, 27]), redOnly), 6);
});
