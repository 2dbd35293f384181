// The picture checks: screenshots read in show pixels, how far two pictures
// are apart, and what must hold in them at moments of the show.
import { writeFile } from 'node:fs/promises';
import path from 'node:path';
import { PNG } from 'pngjs';
import { capturePng, evaluate, viewport } from './pages.mjs';
import { check } from './report.mjs';

export const showWidth = 1920;
export const showHeight = 1080;

// The moments of the show's clock at which its scenes are checked: each one
// early in a stretch where its checks hold for 3 s and more, as a busy
// machine's screenshot can land that late (scene 5's credits go at 118.2 s).
export const scene1Ms = 5000;
export const scene2Ms = 26500;
export const scene3Ms = 62500;
export const scene5Ms = 114500;

// Between the two screenshots of a pair: the red saw-tooth cannot be near
// black in both.
export const pairApartMs = 150;

// A difference of no more than a trace, in levels summed over red, green and blue.
const traceLevels = 24;
// Which of red, green and blue a measure takes in: 1 takes the channel, 0 leaves it out.
const allChannels = [1, 1, 1];
export const redOnly = [1, 0, 0];

// Reads pixels of a PNG screenshot: pixelAt in CSS pixels (a page that
// emulates a phone is captured in its device pixels, scale of them to one),
// showPixel in show coordinates (1920x1080) mapped through the canvas' box.
export function pictureReader(png, canvasBox, scale = 1) {
  const image = PNG.sync.read(png);
  const pixelAt = (x, y) => {
    const i = (Math.round(y * scale) * image.width + Math.round(x * scale)) * 4;
    return [image.data[i], image.data[i + 1], image.data[i + 2]];
  };
  const showPixel = (x, y) => pixelAt(canvasBox.x + (x + 0.5) * canvasBox.width / showWidth,
    canvasBox.y + (y + 0.5) * canvasBox.height / showHeight);
  return { pixelAt, showPixel };
}

// Takes a screenshot, keeps it in the shots folder and returns its reader.
export async function screenshot(page, shots, name, canvasBox) {
  const png = await capturePng(page);
  await writeFile(path.join(shots, `${name}.png`), png);
  return pictureReader(png, canvasBox, page.scale);
}

// A PNG screenshot's RGBA pixels.
export function pixels(png) {
  return PNG.sync.read(png).data;
}

// The one measure of a picture's change: how far apart the pixels at `at`
// of two pixel arrays are, in levels summed over the channels taken. Written
// out channel by channel, as it runs over every pixel of a screenshot.
function levelsApart(first, second, at = 0, channels = allChannels) {
  return channels[0] * Math.abs(first[at] - second[at]) + channels[1] * Math.abs(first[at + 1] - second[at + 1]) +
    channels[2] * Math.abs(first[at + 2] - second[at + 2]);
}

// How many pixels differ by more than a trace between two screenshots' RGBA pixels.
export function changedPixels(first, second) {
  let changed = 0;
  for (let i = 0; i < first.length; i += 4) if (levelsApart(first, second, i) > traceLevels) changed += 1;
  return changed;
}

// A 5x5 grid of show pixels, away from the centre sprite of scene 1.
export function gridSamples(shot) {
  const samples = [];
  for (const y of [100, 300, 540, 780, 980]) {
    for (const x of [100, 500, 960, 1420, 1820]) samples.push({ x, y, rgb: shot.showPixel(x, y) });
  }
  return samples;
}

const isNeutralGrey = ([r, g, b]) => Math.max(r, g, b) - Math.min(r, g, b) <= 8 && r >= 3 && r <= 90;
const isSaturated = ([r, g, b]) => Math.max(r, g, b) - Math.min(r, g, b) >= 100;
// The background's red is a 256 ms saw-tooth; a frame shown some 100 ms off
// the asked moment may be near its dark end, or at black.
const isRed = ([r, g, b]) => r >= 11 && g <= 25 && b <= 25;
const isDarkOrRed = ([r, g, b]) => g <= 25 && b <= 25 && r >= 0;
const isGreen = ([r, g, b]) => g >= 150 && r <= 120 && b <= 120;
export const isBlack = ([r, g, b]) => r + g + b <= 15;

export function checkScene1(shot, label = `scene 1 at ${scene1Ms / 1000} s`) {
  const centre = shot.showPixel(960, 540);
  check(`${label}: bright sprite in the centre`, centre.every((c) => c >= 180), `centre ${centre}`);
  const fog = gridSamples(shot).filter((s) => !(s.x === 960 && s.y === 540));
  const grey = fog.filter((s) => isNeutralGrey(s.rgb)).length;
  check(`${label}: grey fog around it`, grey >= 20, `${grey}/24 samples neutral grey`);
}

export function checkScene2(shot, label = `scene 2 at ${scene2Ms / 1000} s`) {
  const coloured = gridSamples(shot).filter((s) => isSaturated(s.rgb)).length;
  check(`${label}: coloured tiles`, coloured >= 10, `${coloured}/25 samples saturated`);
}

// A pair of screenshots: the saw-tooth cannot be near black in both.
export function checkScene3(shots) {
  const counts = shots.map((shot) => {
    const samples = gridSamples(shot);
    return { red: samples.filter((s) => isRed(s.rgb)).length, reddish: samples.filter((s) => isDarkOrRed(s.rgb)).length };
  });
  check(`scene 3 at ${scene3Ms / 1000} s: red flashing background`, counts.some((c) => c.red >= 15 && c.reddish === 25),
    counts.map((c) => `${c.red}/25 red, ${c.reddish}/25 without green or blue`).join('; '));
}

// Between any two moments pairApartMs apart the saw-tooth's background moves
// by 106 levels at least: up by 150, or down by 106 across its drop.
export const sawToothSwing = 106;

// With reduced flashing the five flowers of scene 3 stay dark red on a
// steady, brighter red, as in the show at scene3Ms.
export function checkReducedFlowers(shot, label) {
  const flowers = [[960, 540], [480, 270], [1440, 270], [480, 810], [1440, 810]].map(([x, y]) => shot.showPixel(x, y));
  const between = [[720, 405], [1200, 405], [720, 675], [1200, 675]].map(([x, y]) => shot.showPixel(x, y));
  const darkest = Math.min(...between.map(([r]) => r));
  check(`${label}: a steady red between the flowers`, between.every(isRed) && darkest >= 150,
    `between ${between.join(' ')}`);
  check(`${label}: five dark red flowers on it`, flowers.every((rgb) => isRed(rgb) && rgb[0] <= darkest - 60),
    `flower centres ${flowers.join(' ')}`);
}

// The credits' green text sits on the red square in the middle of scene 5.
export function checkScene5(shot) {
  let green = 0;
  for (let y = 552; y <= 592; y += 4) {
    for (let x = 560; x <= 1080; x += 4) {
      if (isGreen(shot.showPixel(x, y))) green += 1;
    }
  }
  // Not the top right corner, under the page's controls.
  const corners = [[20, 20], [1900, 200], [20, 1060], [1900, 1060]].map(([x, y]) => shot.showPixel(x, y));
  const label = `scene 5 at ${scene5Ms / 1000} s`;
  check(`${label}: green credits text`, green >= 20, `${green} green samples`);
  check(`${label}: black around the credits`, corners.every(isBlack), `corners ${corners.join(' ')}`);
}

// The canvas fills the viewport's width at 16:9 with black bars above and below.
export function checkLetterbox(shot, canvasBox) {
  const expectedHeight = viewport.width * showHeight / showWidth;
  const fits = Math.abs(canvasBox.width - viewport.width) < 1 && Math.abs(canvasBox.height - expectedHeight) < 1;
  check('the show is scaled to the window at 16:9', fits,
    `content ${canvasBox.width}x${canvasBox.height} at ${canvasBox.x},${canvasBox.y}`);
  const bars = [shot.pixelAt(640, 5), shot.pixelAt(640, viewport.height - 5)];
  check('letterbox bars are black', bars.every(isBlack), `bars ${bars.join(' ')}`);
}

// The box the 16:9 picture occupies inside the canvas element (object-fit: contain).
export async function canvasContentBox(page) {
  return evaluate(page, `(() => {
    const r = document.getElementById('canvas').getBoundingClientRect();
    const scale = Math.min(r.width / ${showWidth}, r.height / ${showHeight});
    const width = ${showWidth} * scale, height = ${showHeight} * scale;
    return { x: r.x + (r.width - width) / 2, y: r.y + (r.height - height) / 2, width, height };
  })()`);
}

// How far apart two shots' grid samples are in the channels taken, in
// levels per channel on average.
export function meanDifference(first, second, channels = allChannels) {
  const later = gridSamples(second);
  return gridSamples(first).reduce((sum, sample, i) => sum + levelsApart(sample.rgb, later[i].rgb, 0, channels), 0) /
    (later.length * (channels[0] + channels[1] + channels[2]));
}
