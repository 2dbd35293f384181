// Starts each engine's browser the way the show is tested in it, and runs a
// test body against a page of it.
//
// Chromium and Firefox ESR are driven by puppeteer-core (Chromium over the
// DevTools protocol, Firefox over WebDriver BiDi), WebKitGTK's MiniBrowser by
// selenium-webdriver through WebKitWebDriver. All are the system's own
// browsers: nothing is downloaded.
import { accessSync, constants } from 'node:fs';
import path from 'node:path';
import puppeteer from 'puppeteer-core';
import { Builder } from 'selenium-webdriver';
import { findFreePort } from 'selenium-webdriver/net/portprober.js';
import { DriverService } from 'selenium-webdriver/remote/index.js';
import { probeSource } from './probe.mjs';
import { check, sleep } from './report.mjs';
import { evaluate, viewport } from './pages.mjs';

// Chromium's configurations: compositing on a GPU (SwiftShader's, the
// closest this machine has to a desktop browser with a graphics card), the
// default headless one, and one without WebGL.
export const gpuFlags = ['--use-angle=swiftshader', '--enable-unsafe-swiftshader'];
export const defaultFlags = ['--disable-gpu'];
export const noWebGLFlags = ['--disable-gpu', '--disable-3d-apis'];

// Longer than a stalled body's limit, so that a command that never returns
// shows as the stall it is rather than as the library's time-out.
const protocolTimeoutMs = 300000;
// How long WebKitWebDriver may take to start, MiniBrowser to open once it
// has (a driver that never opens it must not hold the run for good: it
// opens in seconds even on a busy machine), and a browser to close.
const driverStartLimitMs = 20000;
const browserOpenLimitMs = 120000;
const closeLimitMs = 10000;

// The executable's path on PATH, as the launcher wants a path.
export function onPath(name) {
  for (const folder of (process.env.PATH || '').split(path.delimiter)) {
    const file = path.join(folder, name);
    try {
      accessSync(file, constants.X_OK);
      return file;
    } catch {
      // not in this folder
    }
  }
  throw new Error(`${name} not found on PATH`);
}

// Prints a console line of the page and keeps it for the checks.
function noteConsoleLine(consoleLines, line) {
  consoleLines.push(line);
  console.log(`  console ${line}`);
}

// Keeps the console lines of a puppeteer page (the page's own and, from
// Chromium, the browser's messages about it, such as a load that failed)
// and its uncaught exceptions.
function collectConsole(tab, consoleLines) {
  tab.on('console', (message) => noteConsoleLine(consoleLines, `[${message.type()}] ${message.text()}`));
  tab.on('pageerror', (error) => noteConsoleLine(consoleLines, `[exception] ${error.message}`));
}

// Chromium plays into a stand-in of its own without a sound device, as it
// always has here: the sound server web/test.sh starts is for the others,
// and for Chromium's start loop (soundServer).
function chromiumEnvironment(soundServer) {
  const env = { ...process.env };
  if (!soundServer) delete env.PULSE_SERVER;
  return env;
}

// A page of a fresh headless Chromium with the probe and the injected
// scripts before the page's own.
async function openChromium({ flags = [], injected = [], soundServer = false }, consoleLines) {
  const browser = await puppeteer.launch({
    executablePath: onPath('chromium'), headless: true, env: chromiumEnvironment(soundServer),
    protocolTimeout: protocolTimeoutMs,
    // Muted, Chromium would not play into its stand-in as a viewer's does.
    ignoreDefaultArgs: ['--mute-audio'], defaultViewport: viewport,
    args: ['--no-sandbox', '--disable-quic', '--disable-component-update',
      `--window-size=${viewport.width},${viewport.height}`, ...flags],
  });
  const tab = (await browser.pages())[0];
  collectConsole(tab, consoleLines);
  for (const source of [probeSource, ...injected]) await tab.evaluateOnNewDocument(source);
  return { browser, page: { engine: 'chromium', tab } };
}

// Firefox on the X display, with the probe before the page's scripts. Its
// profile lets it draw WebGL on Mesa's software driver.
async function openFirefox(consoleLines) {
  const browser = await puppeteer.launch({
    browser: 'firefox', executablePath: onPath('firefox-esr'), headless: false, protocolTimeout: protocolTimeoutMs,
    defaultViewport: viewport, args: [`--width=${viewport.width}`, `--height=${viewport.height}`],
    extraPrefsFirefox: { 'webgl.force-enabled': true },
  });
  try {
    const tab = (await browser.pages())[0];
    await tab.setViewport(viewport);
    collectConsole(tab, consoleLines);
    await tab.evaluateOnNewDocument(probeSource);
    return { browser, page: { engine: 'firefox', tab } };
  } catch (error) {
    await closeBrowser('firefox', browser, null, true);
    throw error;
  }
}

// WebKitGTK's MiniBrowser on the X display, driven by WebKitWebDriver over
// classic WebDriver, its window sized so that the viewport is the others'.
async function openWebKit() {
  const port = await findFreePort();
  const service = new DriverService('WebKitWebDriver', { loopback: true, port, args: [`--port=${port}`] });
  let driver = null;
  try {
    const opening = new Builder().usingServer(await service.start(driverStartLimitMs))
      .withCapabilities({ browserName: 'MiniBrowser' }).build();
    opening.catch(() => {}); // once too late, its failure is no news
    let timer = null;
    const notOpened = new Promise((resolve, reject) => {
      timer = setTimeout(() => reject(new Error(`MiniBrowser did not open within ${browserOpenLimitMs / 1000} s`)),
        browserOpenLimitMs);
    });
    try {
      driver = await Promise.race([opening, notOpened]);
    } finally {
      clearTimeout(timer);
    }
    const page = { engine: 'webkit', driver };
    await driver.manage().window().setRect({ width: viewport.width, height: viewport.height });
    const toolbar = await evaluate(page, 'outerHeight - innerHeight');
    await driver.manage().window().setRect({ width: viewport.width, height: viewport.height + toolbar });
    return { browser: service, page };
  } catch (error) {
    await closeBrowser('webkit', service, driver && { driver }, true);
    throw error;
  }
}

// Ends the engine's browser: at once where it has stopped answering, and
// where it does not close within closeLimitMs (a page that stopped answering).
async function closeBrowser(engine, browser, page, stalled) {
  if (engine === 'webkit') {
    // Its driver leaves the browser running unless the session ends.
    await Promise.race([page?.driver.quit().catch(() => {}), sleep(closeLimitMs)]);
    await browser.kill();
    return;
  }
  const child = browser.process();
  const exited = child.exitCode !== null || child.signalCode !== null ||
    new Promise((resolve) => child.once('exit', resolve));
  if (stalled || await Promise.race([browser.close().then(() => false, () => true), sleep(closeLimitMs).then(() => true)])) {
    child.kill('SIGKILL');
  }
  await exited;
}

// Runs body(page, consoleLines) against a page of a fresh browser of the
// engine ('chromium' with options { flags, injected, soundServer }, 'firefox' or
// 'webkit'), collecting the page's console lines where the engine reports
// them, and returns what the body returns; an exception counts as one failed
// check, and returns undefined. With options.limitMs, a body that has not
// finished by then counts as stalled: the browser is killed, a failed check
// is recorded and undefined returned.
export async function withBrowser(engine, url, options, body) {
  const consoleLines = [];
  let browser = null;
  let page = null;
  let timer = null;
  let outcome = null;
  try {
    if (engine === 'chromium') ({ browser, page } = await openChromium(options, consoleLines));
    else if (engine === 'firefox') ({ browser, page } = await openFirefox(consoleLines));
    else ({ browser, page } = await openWebKit());
    page.url = url;
    const stalled = new Promise((resolve) => {
      if (options.limitMs) timer = setTimeout(() => resolve('stalled'), options.limitMs);
    });
    const running = body(page, consoleLines).then((value) => ({ value }));
    running.catch(() => {}); // a stalled body may fail later, once its browser is gone
    outcome = await Promise.race([running, stalled]);
    if (outcome === 'stalled') {
      check(`the test ran to its end in ${engine}`, false, `no answer for ${options.limitMs / 1000} s`);
    }
  } catch (error) {
    check(`the test ran to its end in ${engine}`, false, error.message);
  } finally {
    clearTimeout(timer);
    if (browser !== null) await closeBrowser(engine, browser, page, outcome === 'stalled');
  }
  return outcome?.value;
}
