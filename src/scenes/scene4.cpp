// Scene 4, five spinning sprites on red: giant sprites, heading, red line, fog.
#include "scenes/scenes.h"
#include "scenes/show_values.h"
#include "shell/demo_state.h"

#include <SDL.h>

namespace {

struct SpriteCenter {
    int32_t x;
    int32_t y;
};

// Centre, top left, bottom right, bottom left, top right.
constexpr SpriteCenter spriteCenters[] = {
    {960, 540}, {480, 270}, {1440, 810}, {480, 810}, {1440, 270},
};

// Squares of over 10000 px growing 100 px/s, of which only the middle shows.
void drawGiantSprites(int32_t elapsedMs)
{
    const int32_t size = elapsedMs / 10 + 128;
    const int32_t half = size / 2;
    const double angle = static_cast<double>(elapsedMs) / 3.6 * showValues().giantSpinShare;
    for (const SpriteCenter& center : spriteCenters) {
        const SDL_Rect destination = {center.x - half, center.y - half, size, size};
        SDL_RenderCopyEx(demo.renderer, demo.texSuikelois, nullptr, &destination, angle, nullptr,
                         SDL_FLIP_NONE);
    }
}

} // namespace

void renderScene4()
{
    const int32_t e = demo.elapsedMs;
    SDL_SetRenderDrawColor(demo.renderer, backgroundRed(e), 0, 0, 255);
    SDL_RenderClear(demo.renderer);
    // The sprites' saw-tooth runs 128 steps ahead of the background's; their
    // alpha is the 255 that scene 3 leaves behind.
    SDL_SetTextureColorMod(demo.texSuikelois, flashingRed(static_cast<Uint8>(e), brightRed), 0, 0);
    // What moves, moves by a clock that the calmer show steps on the kick;
    // the reds keep the show's own.
    const int32_t shiftMs = kickShiftMs(e);
    const int32_t movingMs = e + shiftMs;
    const int32_t s = demo.sceneMs + shiftMs;
    drawGiantSprites(movingMs);
    const int32_t hx = 300 - s / 10;
    const int32_t hy = 300 - static_cast<int32_t>(0.5f * static_cast<float>(hx));
    drawHeading(hx, hy, 50, static_cast<double>(s) / -10.0, static_cast<double>(-movingMs) / 100.0);
    SDL_SetTextureColorMod(demo.texFont, 255, 255, 255);
    tintFogWall(movingMs);
    // The red line is left tinting the font page: no reset follows it.
    drawClothesLine(movingMs);
    drawFogWall(movingMs);
}
