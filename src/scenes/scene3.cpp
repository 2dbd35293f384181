// Scene 3, spinning sprites and flashing red: five sprites, three predictions, fog.
#include "scenes/easing.h"
#include "scenes/scenes.h"
#include "scenes/show_values.h"
#include "shell/demo_state.h"

#include <SDL.h>

#include <algorithm>
#include <cstdint>

namespace {

constexpr int32_t fogStartMs = 75000;

constexpr int32_t always = INT32_MIN;

struct SpriteSpot {
    int32_t afterMs; // drawn once elapsedMs exceeds this, or always
    int32_t centerX;
    int32_t centerY;
};

// The centre first, then the quarters: upper left, upper right, lower left, lower right.
constexpr SpriteSpot spriteSpots[] = {
    {always, 960, 540}, {56732, 480, 270},  {57210, 1440, 270},
    {57658, 480, 810},  {58156, 1440, 810},
};

// Sets the sprites' colour and alpha for this frame: fade in, white to red,
// then the red saw-tooth half a period from the background's, or darkRed.
void tintSprites(int32_t elapsedMs)
{
    const auto fade = static_cast<int32_t>(255.0f * easeWindow(elapsedMs, 53000.0f, 3000.0f));
    const auto alpha = static_cast<int32_t>(255.0f * easeWindow(elapsedMs, 49950.0f, 2050.0f));
    if (elapsedMs > redBeatsAfterMs) {
        const Uint8 red = flashingRed(static_cast<Uint8>(elapsedMs % 256), darkRed);
        SDL_SetTextureColorMod(demo.texSuikelois, red, 0, 0);
    } else {
        SDL_SetTextureColorMod(demo.texSuikelois, 255, 255 - fade, 255 - fade);
    }
    SDL_SetTextureAlphaMod(demo.texSuikelois, alpha);
}

// Grows 50 px/s from 10 s of sceneMs on, never below 128.
void drawSprites(int32_t elapsedMs, int32_t sceneMs)
{
    const int32_t size = 128 + std::max(0, (sceneMs - 10000) / 20);
    const double spin = static_cast<double>(sceneMs) / 7.2;
    for (const SpriteSpot& spot : spriteSpots) {
        if (spot.afterMs == always || elapsedMs > spot.afterMs) {
            const SDL_Rect destination = {spot.centerX - size / 2, spot.centerY - size / 2, size,
                                          size};
            SDL_RenderCopyEx(demo.renderer, demo.texSuikelois, nullptr, &destination, spin, nullptr,
                             SDL_FLIP_NONE);
        }
    }
}

// Lines 1 and 2 are placed by sceneMs, drifting down and up (level in the
// calmer show), line 3 by elapsedMs.
void drawPredictions(int32_t elapsedMs, int32_t sceneMs)
{
    const double sceneAngle = static_cast<double>(sceneMs) / -10.0;
    if (elapsedMs > 80000) {
        drawPredictionLine("technology will continue to make our lives harder and many of us "
                           "will be delighted about it",
                           16920 - sceneMs / 2, predictionLineY(sceneMs / 10 - 3000), sceneAngle);
    }
    if (elapsedMs > 88000) {
        drawPredictionLine("all work will be outsourced, until all the work on the planet is "
                           "being done by one guy",
                           20920 - sceneMs / 2, predictionLineY(4800 - sceneMs / 10), sceneAngle);
    }
    if (elapsedMs > 96000) {
        drawClothesLine(elapsedMs);
    }
}

} // namespace

void renderScene3()
{
    const int32_t elapsedMs = demo.elapsedMs;
    const Uint8 red = elapsedMs > redBeatsAfterMs ? backgroundRed(elapsedMs) : 0;
    SDL_SetRenderDrawColor(demo.renderer, red, 0, 0, 255);
    SDL_RenderClear(demo.renderer);
    // What moves, moves by a clock that the calmer show steps on the kick;
    // the reds keep the show's own.
    const int32_t shiftMs = kickShiftMs(elapsedMs);
    const int32_t movingMs = elapsedMs + shiftMs;
    const int32_t sceneMs = demo.sceneMs + shiftMs;
    drawHeading(3620 - movingMs / 10, 440, 350, static_cast<double>(movingMs) / -10.0,
                static_cast<double>(-movingMs) / 100.0);
    SDL_SetTextureColorMod(demo.texFont, 255, 255, 255);
    tintSprites(elapsedMs);
    drawSprites(movingMs, sceneMs);
    drawPredictions(movingMs, sceneMs);
    if (movingMs > fogStartMs) {
        tintFogWall(movingMs);
        drawFogWall(movingMs);
    }
    // Scene 4 draws the sprites with whatever alpha this leaves: opaque.
    SDL_SetTextureAlphaMod(demo.texSuikelois, 255);
}
