// Bitmap font: the descriptor loader, the glyph lookup and styled text.
#pragma once

#include "font/glyph.h"

#include <SDL.h>

#include <string>
#include <vector>

// Style of one drawStyledText call, passed by value with its text.
struct TextStyle {
    SDL_Color color;       // tint of the whole text; alpha unused
    bool rainbow;          // tint glyph i with palette entry i % 9 instead
    bool wave;             // lift each glyph by a sine of its pen x
    int32_t waveAmplitude; // pixels
    double angle;          // degrees, clockwise, of the glyph at index 0
    double angleStep;      // degrees added per character index
    double wavePeriod;     // pixels per radian
    std::string text;      // bytes; beyond ASCII, ISO 8859-1
};

// Pieces of text between delimiters, in order, leaving out empty pieces.
std::vector<std::string> split(const std::string& text, char delimiter);

// Reads "dada/lokki" and appends one Glyph per glyph line to demo.glyphs.
// Prints "can't file fnt file." when the file cannot be read; never fails.
void loadFont();

// The last glyph whose id equals code, scanning the whole table; null if none.
const Glyph* findGlyph(int32_t code);

// Draws text glyph by glyph from texFont, pen starting at (x, y), every
// glyph scaled by scale. Leaves the last tint set on texFont.
void drawStyledText(int32_t x, int32_t y, float scale, TextStyle style);
