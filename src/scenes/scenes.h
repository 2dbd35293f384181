// The five scene renderers and the layers that several scenes share.
#pragma once

#include <cstdint>

// Each clears the frame and draws its scene for the current elapsedMs and
// sceneMs; none presents.
void renderScene1();
void renderScene2();
void renderScene3();
void renderScene4();
void renderScene5();

// The tile wall of scene 2: 28 palette-tinted, rocking tiles of texAstiasto.
void drawTileGrid();

// The phrase that runs through scenes 1 to 4, rainbow-coloured on a wave,
// every glyph turning; pen at (x, y), scale 1.2.
void drawHeading(int32_t x, int32_t y, int32_t waveAmplitude, double angle, double angleStep);

// A red prediction line on a gentle wave, glyphs turning 3 degrees apart.
void drawPredictionLine(const char* text, int32_t x, int32_t y, double angle);

// The height of the line "your clothes will be smarter than you".
constexpr int32_t clothesLineY = 500;

// "your clothes will be smarter than you", placed by elapsedMs: scenes 3 and 4.
void drawClothesLine(int32_t elapsedMs);

// The red saw-tooth level of the background at elapsedMs, low8(e - 128), or
// the calmer show's steady level (see show_values.h).
uint8_t backgroundRed(int32_t elapsedMs);

// Tints texSumuuh with the palette colour of the current second, alpha 64.
void tintFogWall(int32_t elapsedMs);

// The nine drifting, swaying fog tiles of texSumuuh that scenes 3 and 4 lay
// over everything.
void drawFogWall(int32_t elapsedMs);
