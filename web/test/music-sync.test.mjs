// The page's music follower (web/music-sync.js) on scripted readings: an
// audio clock that plays on, stalls as an underrun stalls it, and the
// viewer's delay, against a picture that never waits.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { test } from 'node:test';
import vm from 'node:vm';

const source = readFileSync(new URL('../music-sync.js', import.meta.url), 'utf8');

// A Chromium page with a fake audio context whose clock runs with the
// page's, less what stalls took, and which reports a 50 ms output delay
// through its timestamps as Chromium does. Returns the page's globals, the
// sources started and a function that moves the page's clock on.
function page() {
  const clock = { nowMs: 1000, stalledMs: 0 };
  const starts = [];
  const contextS = () => (clock.nowMs - 1000 - clock.stalledMs) / 1000;
  const audio = {
    state: 'running', baseLatency: 0.01, outputLatency: 0.04,
    get currentTime() { return contextS(); },
    getOutputTimestamp: () => ({ contextTime: contextS() - 0.05, performanceTime: clock.nowMs }),
    createBufferSource: () => ({ connect() {}, stop() { this.stopped = true; },
      start(whenS, offsetS, durationS) {
        starts.push({ whenS, offsetMs: offsetS * 1000, durationMs: durationS * 1000, atMs: clock.nowMs });
      } }),
  };
  const context = vm.createContext({
    navigator: { userAgent: 'Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/156.0 Safari/537.36' },
    performance: { now: () => clock.nowMs }, Math, Number, String,
    setInterval: () => 1, clearInterval: () => {}, requestAnimationFrame: () => 1,
  });
  vm.runInContext(source, context);
  const run = (ms) => {
    for (let t = 0; t < ms; t += 50) {
      clock.nowMs += 50;
      vm.runInContext('keepMusicInPlace()', context);
    }
  };
  return { context, audio, starts, clock, run };
}

// How far the music heard now strays from the picture (ms, positive early).
function strayNow({ context, audio }) {
  context.audio = audio;
  return vm.runInContext(`strayMs(musicSync.settings, musicSync.state, audio.currentTime,
    heardAtMs(audio, audio.currentTime))`, context);
}

test('the music starts where the picture will be when it is heard, and stays there', () => {
  const show = page();
  show.context.audio = show.audio;
  vm.runInContext('startPageMusic(audio, {}, 1000, 0)', show.context);
  // Scheduled 40 ms on, heard 50 ms after that: due then is 90 ms less the
  // picture's two frames on its way to the screen.
  assert.equal(show.starts.length, 1);
  assert.ok(Math.abs(show.starts[0].offsetMs - (90 - 2000 / 60)) < 1e-6, `${show.starts[0].offsetMs}`);
  show.run(5000);
  assert.equal(show.starts.length, 1, 'a music in place is left alone');
  assert.ok(Math.abs(strayNow(show)) < 1);
});

test('after a stall of the audio clock the music is back in place within a second', () => {
  const show = page();
  show.context.audio = show.audio;
  vm.runInContext('startPageMusic(audio, {}, 1000, 0)', show.context);
  show.run(2000);
  show.clock.stalledMs += 200;
  assert.ok(strayNow(show) < -190, 'the stall leaves it late');
  show.run(300);
  assert.equal(show.starts.length, 1, 'not at once: one reading may be off');
  show.run(700);
  assert.equal(show.starts.length, 2);
  assert.ok(Math.abs(strayNow(show)) < 1, `${strayNow(show)} ms`);
});

test('music still arriving plays on without a break, and joins at its place where it came too late', () => {
  const show = page();
  show.context.audio = show.audio;
  vm.runInContext('musicArrived(3000); startPageMusic(audio, {}, 1000, 0)', show.context);
  show.run(500);
  vm.runInContext('musicArrived(5000)', show.context);
  show.run(500);
  assert.equal(show.starts.length, 1, 'the next source waits until the last nears its end');
  show.run(1500);
  const [first, next] = show.starts;
  assert.equal(show.starts.length, 2);
  assert.ok(Math.abs(first.offsetMs + first.durationMs - 3000) < 1e-6, 'a source plays what has arrived');
  assert.equal(next.offsetMs, 3000);
  assert.ok(Math.abs((next.whenS - first.whenS) * 1000 - first.durationMs) < 1e-6, 'the next goes on where it ends');
  // Nothing more for four seconds: the music runs out at 5 s, and what comes later joins where it is due.
  show.run(3000);
  assert.equal(show.starts.length, 2);
  vm.runInContext('musicArrived(Infinity)', show.context);
  show.run(50);
  assert.equal(show.starts.length, 3);
  assert.ok(Math.abs(strayNow(show)) < 1, `${strayNow(show)} ms`);
  assert.ok(Number.isNaN(show.starts[2].durationMs), 'all of it in: played to its end');
});

test('a stray within the tolerance, or one stale reading among fresh ones, makes no splice', () => {
  const { context } = page();
  const state = { strays: [], strayingSign: 0, strayingSinceMs: 0 };
  context.state = state;
  const follow = (nowMs, strayMs) => vm.runInContext(`followMusic(state, ${nowMs}, ${strayMs})`, context);
  for (let t = 0; t < 2000; t += 50) assert.equal(follow(t, t % 200 === 0 ? -40 : -10), false);
  // Early for longer than the hold: placed; the hold starts anew when the direction turns.
  let placedAt = null;
  for (let t = 2000; t < 3000 && placedAt === null; t += 50) if (follow(t, 30)) placedAt = t;
  assert.ok(placedAt !== null && placedAt - 2000 >= 400, `placed at ${placedAt}`);
});

test('the viewer\'s delay: positive plays the sound later, whole milliseconds within a second either way', () => {
  const show = page();
  show.context.audio = show.audio;
  vm.runInContext('startPageMusic(audio, {}, 1000, 100)', show.context);
  assert.ok(show.starts[0].whenS > 0.04 && show.starts[0].offsetMs === 0, 'due before it begins: it begins later');
  show.run(1000);
  vm.runInContext('changeViewerDelay(-150)', show.context);
  assert.equal(show.starts.length, 2, 'a change moves the music at once');
  assert.ok(Math.abs(strayNow(show)) < 1);
  const parse = (text) => vm.runInContext(`viewerDelayFrom(${JSON.stringify(text)})`, show.context);
  assert.deepEqual(['-150', '+20', ' 0 ', '1000', '-1000'].map(parse), [-150, 20, 0, 1000, -1000]);
  assert.deepEqual(['1001', '12.5', 'abc', '', '1e3'].map(parse), [null, null, null, null, null]);
  assert.equal(vm.runInContext('steppedViewerDelay(995, 1)', show.context), 1000);
  assert.equal(vm.runInContext('steppedViewerDelay(-20, -1)', show.context), -30);
});
