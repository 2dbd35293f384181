// How the web page answers on a mid-range phone: long tasks while it loads and as the show starts, and its start on slow 4G.
//
// Usage: node bench/web_phone.mjs [<site folder>] [--runs=N] [--slowdown=N]
// Serves the built site (default build-web/site) as web/test/site.mjs does,
// opens it in a fresh headless Chromium per run with the CPU slowed down
// (4x by default, as Lighthouse does for a mid-range phone) and a phone's
// viewport, waits for the card's "ready", clicks Play and watches the show's
// first seconds. Prints per run and as medians: from load to "ready" and
// from the click through the show's first seconds, the long tasks of the
// page's thread (over 50 ms each), the longest and their blocking time (the
// part of each beyond 50 ms); and the time from the click to the first frame
// the browser displays. Then, per run, the same page on Lighthouse's slow
// 4G throttled through the browser's protocol, the CPU slowed as above,
// twice: at its figures (150 ms, 1.6 Mbit/s) and as its "devtools"
// throttling applies them (562.5 ms a request, 1.6 Mbit/s less a tenth):
// when the card says "ready", and when the last of the music is in.
// Figures only: nothing here passes or fails.
import { createRequire } from 'node:module';
import path from 'node:path';
import { serveFolder } from '../web/test/site.mjs';

const require = createRequire(new URL('../web/test/package.json', import.meta.url));
const puppeteer = require('puppeteer-core');

// Lighthouse's phone: a Moto G Power's screen.
const phone = { width: 412, height: 823, deviceScaleFactor: 1.75, isMobile: true, hasTouch: true };
// The long task threshold, and how much of a task blocks input.
const longTaskMs = 50;
// How long after the click the show is watched.
const showWatchedMs = 6000;
// What a page that never gets ready or never draws is given before the run fails.
const readyLimitMs = 120000;
// Lighthouse's slow 4G (150 ms round trips, 1.6 Mbit/s down, 750 kbit/s
// up), as it names it and as its devtools throttling applies it: latency
// 3.75 times the round trip, throughput nine tenths.
const slowNetworks = [
  { name: 'slow 4G (150 ms, 1.6 Mbit/s)',
    conditions: { offline: false, latency: 150, downloadThroughput: 1.6 * 1024 * 1024 / 8, uploadThroughput: 750 * 1024 / 8 } },
  { name: 'slow 4G as DevTools throttles it (562.5 ms, 1.44 Mbit/s)',
    conditions: { offline: false, latency: 150 * 3.75, downloadThroughput: 1.6 * 1024 * 1024 * 0.9 / 8,
      uploadThroughput: 750 * 1024 * 0.9 / 8 } },
];

// Before the page's scripts: keeps the long tasks, when the card says
// "ready", the click on Play, and the first frame the browser displays after
// the program drew its first (its first request for an animation frame,
// which it makes right after drawing).
const watcher = `
window.__bench = { longTasks: [], readyAt: null, clickAt: null, drawnAt: null, shownAt: null };
new PerformanceObserver((list) => {
  for (const entry of list.getEntries()) window.__bench.longTasks.push([entry.startTime, entry.duration]);
}).observe({ type: 'longtask', buffered: true });
document.addEventListener('DOMContentLoaded', () => {
  new MutationObserver(() => {
    if (document.body.dataset.state === 'ready' && window.__bench.readyAt === null) {
      window.__bench.readyAt = performance.now();
    }
  }).observe(document.body, { attributes: true });
  document.getElementById('play').addEventListener('click', (event) => {
    window.__bench.clickAt = event.timeStamp;
  }, true);
});
const realRequestAnimationFrame = window.requestAnimationFrame.bind(window);
window.requestAnimationFrame = function (callback) {
  const bench = window.__bench;
  if (bench.clickAt !== null && bench.drawnAt === null && document.body.dataset.state === 'playing') {
    bench.drawnAt = performance.now();
    realRequestAnimationFrame(() => { bench.shownAt = performance.now(); });
  }
  return realRequestAnimationFrame(callback);
};
`;

// The long tasks that start from `from` to `to`: count, longest, blocking.
function tasksBetween(tasks, from, to) {
  const within = tasks.filter(([start]) => start >= from && start < to).map(([, duration]) => duration);
  return {
    count: within.length,
    longestMs: Math.max(0, ...within),
    blockingMs: within.reduce((sum, duration) => sum + Math.max(0, duration - longTaskMs), 0),
  };
}

// A phone's tab in a fresh headless Chromium, its CPU slowed and, given
// network, its network throttled; body(tab) runs in it.
async function onPhone(slowdown, network, body) {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium', headless: true,
    args: ['--no-sandbox', '--disable-background-networking', '--disable-component-update', '--disable-sync',
      // WebGL as a phone's GPU gives it, drawn off the page's thread.
      '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
  });
  try {
    const tab = await browser.newPage();
    await tab.setViewport(phone);
    const cdp = await tab.createCDPSession();
    await cdp.send('Emulation.setCPUThrottlingRate', { rate: slowdown });
    if (network) {
      await cdp.send('Network.enable');
      await cdp.send('Network.emulateNetworkConditions', network);
    }
    await tab.evaluateOnNewDocument(watcher);
    return await body(tab);
  } finally {
    await browser.close();
  }
}

function oneRun(url, slowdown) {
  return onPhone(slowdown, null, async (tab) => {
    await tab.goto(url);
    await tab.waitForFunction('window.__bench.readyAt !== null', { timeout: readyLimitMs, polling: 100 });
    await tab.tap('#play');
    await tab.waitForFunction('window.__bench.shownAt !== null', { timeout: readyLimitMs, polling: 100 });
    await tab.waitForFunction(`performance.now() > window.__bench.clickAt + ${showWatchedMs}`,
      { timeout: readyLimitMs, polling: 200 });
    const bench = await tab.evaluate('window.__bench');
    return {
      readyMs: bench.readyAt,
      load: tasksBetween(bench.longTasks, 0, bench.readyAt),
      show: tasksBetween(bench.longTasks, bench.clickAt, bench.clickAt + showWatchedMs),
      firstFrameMs: bench.shownAt - bench.clickAt,
    };
  });
}

// On a slow network: when the card says "ready" and when all of the music is in.
function slowNetworkRun(url, slowdown, network) {
  return onPhone(slowdown, network, async (tab) => {
    await tab.goto(url);
    await tab.waitForFunction('window.__bench.readyAt !== null', { timeout: readyLimitMs, polling: 100 });
    const readyMs = await tab.evaluate('window.__bench.readyAt');
    await tab.waitForFunction('pageMusic.done', { timeout: readyLimitMs, polling: 100 });
    return { readyMs, musicInMs: await tab.evaluate('performance.now()') };
  });
}

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = Math.floor(sorted.length / 2);
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

function describe(run) {
  const tasks = ({ count, longestMs, blockingMs }) =>
    `${count} long tasks, longest ${Math.round(longestMs)} ms, blocking ${Math.round(blockingMs)} ms`;
  return `ready at ${Math.round(run.readyMs)} ms: ${tasks(run.load)}; ` +
    `after the click, first frame in ${Math.round(run.firstFrameMs)} ms, in ${showWatchedMs / 1000} s ${tasks(run.show)}`;
}

async function main() {
  const folder = path.resolve(process.argv.slice(2).find((arg) => !arg.startsWith('--')) || 'build-web/site');
  const option = (name, fallback) => Number(process.argv.find((arg) => arg.startsWith(`--${name}=`))
    ?.slice(name.length + 3) || fallback);
  const runs = option('runs', 3);
  const slowdown = option('slowdown', 4);
  const server = await serveFolder(folder);
  const url = `http://127.0.0.1:${server.address().port}/index.html`;
  console.log(`${folder}, CPU ${slowdown}x slower, ${phone.width}x${phone.height} phone viewport`);
  const results = [];
  for (let i = 0; i < runs; i++) {
    results.push(await oneRun(url, slowdown));
    console.log(`run ${i + 1}: ${describe(results[i])}`);
  }
  const slowRuns = slowNetworks.map(() => []);
  for (let i = 0; i < runs; i++) {
    for (const [n, { name, conditions }] of slowNetworks.entries()) {
      slowRuns[n].push(await slowNetworkRun(url, slowdown, conditions));
      console.log(`${name}, run ${i + 1}: ready at ${Math.round(slowRuns[n][i].readyMs)} ms, ` +
        `the music all in at ${Math.round(slowRuns[n][i].musicInMs)} ms`);
    }
  }
  server.close();
  const middle = (pick) => median(results.map(pick));
  console.log(`median of ${runs}: ${describe({
    readyMs: middle((r) => r.readyMs),
    firstFrameMs: middle((r) => r.firstFrameMs),
    load: { count: middle((r) => r.load.count), longestMs: middle((r) => r.load.longestMs),
      blockingMs: middle((r) => r.load.blockingMs) },
    show: { count: middle((r) => r.show.count), longestMs: middle((r) => r.show.longestMs),
      blockingMs: middle((r) => r.show.blockingMs) },
  })}`);
  for (const [n, { name }] of slowNetworks.entries()) {
    console.log(`${name}, median of ${runs}: ready at ${Math.round(median(slowRuns[n].map((r) => r.readyMs)))} ms, ` +
      `the music all in at ${Math.round(median(slowRuns[n].map((r) => r.musicInMs)))} ms`);
  }
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
