// One glyph of the font page, as the font descriptor describes it.
#pragma once

#include <SDL.h>

#include <cstdint>

// Twelve 32-bit fields: the eight values of a descriptor glyph line, by
// position, and the copy source rectangle built once from four of them.
struct Glyph {
    int32_t id;
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
    int32_t xoffset;  // stored for completeness; text is drawn top-aligned
    int32_t yoffset;  // stored for completeness; text is drawn top-aligned
    int32_t xadvance; // stored for completeness; the pen advances by width
    SDL_Rect source;  // always {x, y, width, height}
};
