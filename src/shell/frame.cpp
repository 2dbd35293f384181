// Frame composer and debug overlay: one presented frame per pass.
#include "font/font.h"
#include "scenes/scenes.h"
#include "shell/demo_state.h"
#include "shell/shell.h"

#include <SDL.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

constexpr int32_t overlayPenX = 10;
constexpr int32_t overlaySpaceAdvance = 32;

// The pen moved right by advance, saturating so that absurd glyph widths from
// a bad descriptor cannot overflow; a plain sum for every sane value.
int32_t advancePen(int32_t penX, int32_t advance)
{
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{penX} + advance, INT32_MIN, INT32_MAX));
}

} // namespace

void drawScene()
{
    switch (demo.sceneIndex) {
    case 1: renderScene1(); break;
    case 2: renderScene2(); break;
    case 3: renderScene3(); break;
    case 4: renderScene4(); break;
    case 5: renderScene5(); break;
    default:
        SDL_SetRenderDrawColor(demo.renderer, 0, 0, 0, 255);
        SDL_RenderClear(demo.renderer);
        break;
    }
}

void renderFrame()
{
    drawScene();
    if (demo.overlayVisible) {
        drawDebugText(intToString(demo.elapsedMs), 10);
        drawDebugText(intToString(demo.sceneMs), 60);
        drawDebugText(intToString(demo.sceneIndex), 110);
    }
    drawLetterboxBars();
    SDL_RenderPresent(demo.renderer);
}

std::string intToString(int32_t value)
{
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value));
    return std::string(buffer);
}

void drawDebugText(std::string text, int32_t y)
{
    int32_t penX = overlayPenX;
    // A character without a glyph reuses the last one found in this call;
    // before any was found there is nothing to draw and no width to advance.
    const Glyph* glyph = nullptr;
    for (const char character : text) {
        const auto code = static_cast<unsigned char>(character);
        if (code == ' ') {
            penX = advancePen(penX, overlaySpaceAdvance);
            continue;
        }
        if (const Glyph* found = findGlyph(code)) {
            glyph = found;
        }
        if (glyph == nullptr) {
            continue;
        }
        const SDL_Rect destination = {penX, y, glyph->width, glyph->height};
        SDL_RenderCopyEx(demo.renderer, demo.texFont, &glyph->source, &destination, 0.0, nullptr,
                         SDL_FLIP_NONE);
        penX = advancePen(penX, glyph->width);
    }
}
