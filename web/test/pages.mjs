// What a test does with a page, the same in every engine: open it, evaluate
// in it, click, press Escape, tap, take a screenshot. A page is
// { engine, tab } for puppeteer's engines and { engine, driver } for WebKitGTK.
import { Key, By } from 'selenium-webdriver';
import { probeSource } from './probe.mjs';
import { sleep } from './report.mjs';

export const viewport = { width: 1280, height: 800 };
// How long a page may take to react to what it is told or shown (a button,
// a key, its audio stopping and starting): it reacts at once, and on a busy
// machine answers within a second or two; only a page that never reacts
// takes this long.
export const reactionLimitMs = 10000;
// How often waitFor asks the page.
const pollMs = 100;
// Time for a page to lay itself out anew at a phone's size.
const layoutMs = 300;

// Evaluates an expression in the page and returns its value, passed as
// JSON; a promise is awaited.
export async function evaluate(page, expression) {
  if (page.engine !== 'webkit') {
    const text = await page.tab.evaluate(`(async () => JSON.stringify(await (${expression})))()`);
    return text === undefined ? undefined : JSON.parse(text);
  }
  const text = await page.driver.executeAsyncScript(`const done = arguments[arguments.length - 1];
    (async () => JSON.stringify({ value: await (${expression}) }))()
      .then(done, (error) => done(JSON.stringify({ error: String(error) })));`);
  const answer = JSON.parse(text);
  if ('error' in answer) throw new Error(`${expression}: ${answer.error}`);
  return answer.value;
}

// Opens the page's address anew (the probe comes with it, before the page's scripts where the engine can).
export async function openPage(page) {
  if (page.engine !== 'webkit') {
    await page.tab.goto(page.url);
    return;
  }
  // Classic WebDriver runs nothing before the page's scripts, and WebKitGTK's
  // driver speaks no WebDriver BiDi: the probe watches only what the show
  // does after the click, so after the load is early enough.
  await page.driver.get(page.url);
  await page.driver.executeScript(probeSource);
}

// The viewport as a PNG image, in Chromium at scale of its size where
// scale is given (the other engines' drivers take it at full size only).
export async function capturePng(page, { scale = 1 } = {}) {
  if (page.engine === 'chromium' && scale !== 1) {
    const { width, height } = page.tab.viewport();
    return Buffer.from(await page.tab.screenshot({ clip: { x: 0, y: 0, width, height, scale } }));
  }
  if (page.engine !== 'webkit') return Buffer.from(await page.tab.screenshot());
  return Buffer.from(await page.driver.takeScreenshot(), 'base64');
}

// Polls an expression until it is truthy; false after timeoutMs. Errors
// count as not yet, as while the page is still loading.
export async function waitFor(page, expression, timeoutMs) {
  const end = Date.now() + timeoutMs;
  while (Date.now() < end) {
    if (await evaluate(page, expression).catch(() => false)) return true;
    await sleep(pollMs);
  }
  return false;
}

// Clicks the centre of an element like a user (a gesture that lets audio play).
export async function clickElement(page, selector) {
  if (page.engine !== 'webkit') await page.tab.click(selector);
  else await page.driver.findElement(By.css(selector)).click();
}

export async function pressEscape(page) {
  if (page.engine !== 'webkit') await page.tab.keyboard.press('Escape');
  else await page.driver.actions().keyDown(Key.ESCAPE).keyUp(Key.ESCAPE).perform();
}

// Taps an element with a finger, as on a phone (Chromium); a page that does
// not emulate a phone has a touch screen for that moment only. Puppeteer
// turns touch on by emulating the viewport anew, which reloads the page, so
// that moment's touch is the DevTools protocol's own command.
export async function tapElement(page, selector) {
  const session = page.phone ? null : await page.tab.createCDPSession();
  await session?.send('Emulation.setTouchEmulationEnabled', { enabled: true });
  await page.tab.tap(selector);
  await session?.send('Emulation.setTouchEmulationEnabled', { enabled: false });
  await session?.detach();
}

// Makes the page a phone's: a touch screen of width x height CSS pixels at 3
// device pixels each, turned as its shape says.
// Slows Chromium's CPU down rate times for the page (1: full speed), as
// Lighthouse does to play a mid-range phone.
export async function slowDownCpu(page, rate) {
  page.devTools ||= await page.tab.createCDPSession();
  await page.devTools.send('Emulation.setCPUThrottlingRate', { rate });
}

export async function emulatePhone(page, width, height) {
  await page.tab.setViewport({ width, height, deviceScaleFactor: 3, isMobile: true, hasTouch: true,
    isLandscape: width > height });
  page.phone = true;
  page.scale = 3;
  await sleep(layoutMs);
}
