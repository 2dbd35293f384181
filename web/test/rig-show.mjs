// The browser of the sound-against-picture rig (tools/av_sync/av_sync.sh --web):
// plays the built site, its music replaced by the rig's coded clicks, in a
// window that fills the X display and plays into the rig's sound server,
// clicks Play, and writes what the rig's analysis needs into a folder:
//   started  the wall seconds of the click
//   clock    the wall seconds at which the show's clock started
//   aim      what the page reckons as the show plays, four times a second:
//            "<wall seconds> <picture's delay to the screen ms> <viewer's delay ms>"
// It ends with the show.
//
//   node web/test/rig-show.mjs ENGINE SITE CLICKS FOLDER [QUERY]
//   ENGINE   chromium, firefox or webkit
//   SITE     the built site (build-web/site)
//   CLICKS   the rig's music file (av_sync --write-clicks)
//   QUERY    the page's address query, e.g. audio-delay=100
import { appendFile, cp, mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';
import { Builder, By } from 'selenium-webdriver';
import { findFreePort } from 'selenium-webdriver/net/portprober.js';
import { DriverService } from 'selenium-webdriver/remote/index.js';
import { onPath } from './browsers.mjs';
import { oggFrames } from '../music-frames.mjs';
import { serveFolder } from './site.mjs';

// A page that is not ready by then never will be; the show lasts two minutes.
const readyLimitMs = 180000;
const showLimitMs = 240000;
const pollMs = 200;
const aimEveryMs = 250;

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The site in a folder of its own with the clicks as its music, the page
// told their length.
async function siteWithClicks(site, clicksFile) {
  const folder = await mkdtemp(path.join(tmpdir(), 'rig-site-'));
  await cp(site, folder, { recursive: true });
  const clicks = await readFile(clicksFile);
  await writeFile(path.join(folder, 'delfiini.kalako'), clicks);
  const page = await readFile(path.join(folder, 'index.html'), 'utf8');
  const length = /data-music-frames="\d+"/;
  if (!length.test(page)) throw new Error('index.html tells no music length');
  await writeFile(path.join(folder, 'index.html'), page.replace(length, `data-music-frames="${oggFrames(clicks)}"`));
  return folder;
}

// The screen's size, as the rig made it.
function screenSize() {
  const [width, height] = (process.env.AV_SYNC_SCREEN || '640x360').split('x').map(Number);
  return { width, height };
}

// A page of the engine's browser filling the screen: { evaluate, click, close }.
async function openBrowser(engine) {
  const { width, height } = screenSize();
  if (engine === 'chromium' || engine === 'firefox') {
    const browser = engine === 'chromium'
      ? await puppeteer.launch({ executablePath: onPath('chromium'), headless: false, defaultViewport: null,
        ignoreDefaultArgs: ['--mute-audio'],
        args: ['--no-sandbox', '--kiosk', '--no-first-run', '--disable-quic', '--disable-component-update',
          '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--window-position=0,0', `--window-size=${width},${height}`] })
      : await puppeteer.launch({ browser: 'firefox', executablePath: onPath('firefox-esr'), headless: false,
        defaultViewport: null, args: ['--kiosk', `--width=${width}`, `--height=${height}`],
        extraPrefsFirefox: { 'webgl.force-enabled': true } });
    const tab = (await browser.pages())[0];
    return {
      open: (url) => tab.goto(url),
      evaluate: (expression) => tab.evaluate(expression),
      click: (selector) => tab.click(selector),
      close: () => browser.close(),
    };
  }
  const port = await findFreePort();
  const service = new DriverService('WebKitWebDriver', { loopback: true, port, args: [`--port=${port}`] });
  const driver = await new Builder().usingServer(await service.start(20000))
    .withCapabilities({ browserName: 'MiniBrowser' }).build();
  await driver.manage().window().setRect({ x: 0, y: 0, width, height });
  return {
    open: (url) => driver.get(url),
    evaluate: (expression) => driver.executeScript(`return (${expression});`),
    click: (selector) => driver.findElement(By.css(selector)).click(),
    // WebKitGTK's window keeps its toolbar: the page's own full-screen button fills the screen.
    fillScreen: () => driver.findElement(By.css('#fullscreen')).click(),
    close: () => driver.quit().finally(() => service.kill()),
  };
}

async function waitForState(page, state, limitMs) {
  const end = Date.now() + limitMs;
  while (Date.now() < end) {
    if (await page.evaluate(`document.body.dataset.state`).catch(() => null) === state) return true;
    await sleep(pollMs);
  }
  return false;
}

// The wall seconds at which the show's clock started, as the page noted it
// (null where it never starts).
async function waitForClock(page) {
  const end = Date.now() + readyLimitMs;
  while (Date.now() < end) {
    const startedAt = await page.evaluate('showStartedAt === null ? null : (performance.timeOrigin + showStartedAt) / 1000')
      .catch(() => null);
    if (startedAt > 0) return startedAt;
    await sleep(pollMs);
  }
  return null;
}

// Appends what the page reckons to the aim file until the show ends.
async function noteAim(page, file) {
  const reckoning = `[Date.now() / 1000, musicSync.settings.pictureDelayMs, musicSync.settings.delayMs]`;
  while (await page.evaluate('document.body.dataset.state').catch(() => null) === 'playing') {
    const aim = await page.evaluate(reckoning).catch(() => null);
    if (aim) await appendFile(file, `${aim[0].toFixed(6)} ${aim[1].toFixed(3)} ${aim[2]}\n`);
    await sleep(aimEveryMs);
  }
}

async function main() {
  const [engine, site, clicksFile, folder, query = ''] = process.argv.slice(2);
  if (!['chromium', 'firefox', 'webkit'].includes(engine) || !folder) {
    console.error('usage: node web/test/rig-show.mjs chromium|firefox|webkit SITE CLICKS FOLDER [QUERY]');
    process.exit(2);
  }
  const siteFolder = await siteWithClicks(site, clicksFile);
  const server = await serveFolder(siteFolder);
  const page = await openBrowser(engine);
  const finish = async (status) => {
    await page.close().catch(() => {});
    server.close();
    await rm(siteFolder, { recursive: true, force: true });
    process.exit(status);
  };
  process.on('SIGTERM', () => finish(0));
  await page.open(`http://127.0.0.1:${server.address().port}/${query ? `?${query}` : ''}`);
  if (!await waitForState(page, 'ready', readyLimitMs)) {
    console.error(`rig-show: the page in ${engine} never offered to play`);
    await finish(1);
  }
  if (page.fillScreen) {
    await page.fillScreen();
    await sleep(1000);
  }
  await page.click('#play');
  await writeFile(path.join(folder, 'started'), `${(Date.now() / 1000).toFixed(6)}\n`);
  const clockStart = await waitForClock(page);
  if (clockStart !== null) await writeFile(path.join(folder, 'clock'), `${clockStart.toFixed(6)}\n`);
  await noteAim(page, path.join(folder, 'aim'));
  await finish(await waitForState(page, 'ended', showLimitMs) ? 0 : 1);
}

main().catch((error) => {
  console.error(`rig-show: ${error.message}`);
  process.exit(1);
});
