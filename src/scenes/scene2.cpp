// Scene 2, tile wall and scrolling heading: 28 rocking tiles appear and vanish.
#include "scenes/easing.h"
#include "scenes/scenes.h"
#include "scenes/show_values.h"
#include "shell/demo_state.h"

#include <SDL.h>

#include <cmath>

namespace {

constexpr int32_t tileCount = 28;
constexpr int32_t tileColumns = 7;
constexpr int32_t tileSize = 256;

// 20 * sin(t / period): the quotient in single precision, the sine in double
// precision, narrowed back to single precision for the product.
float swing(float t, float period)
{
    return 20.0f * static_cast<float>(std::sin(static_cast<double>(t / period)));
}

} // namespace

void drawTileGrid()
{
    SDL_SetTextureColorMod(demo.texAstiasto, 255, 0, 0);
    const auto t = static_cast<float>(demo.sceneMs);
    const auto count = static_cast<int32_t>(28.0f * smoothstep(t / 6000.0f));
    const auto first = static_cast<int32_t>(28.0f * smoothstep((t - 7000.0f) / 7000.0f));
    const ShowValues& show = showValues();
    const double tileAngle = static_cast<double>(swing(t, 200.0f) * show.tileRockShare) - 15.0;
    const auto bob = static_cast<int32_t>(swing(t, 100.0f) * show.tileBobShare);
    for (int32_t i = 0; i < tileCount; ++i) {
        if (first <= i && i < count) {
            const SDL_Color& tint = demo.palette[i & 7];
            SDL_SetTextureColorMod(demo.texAstiasto, tint.r, tint.g, tint.b);
            const SDL_Rect destination = {64 + (i % tileColumns) * tileSize,
                                          28 + (i / tileColumns) * tileSize + bob, tileSize,
                                          tileSize};
            SDL_RenderCopyEx(demo.renderer, demo.texAstiasto, nullptr, &destination, tileAngle,
                             nullptr, SDL_FLIP_NONE);
        }
    }
}

void renderScene2()
{
    // The draw colour is the opaque black that scene 1 set.
    SDL_RenderClear(demo.renderer);
    drawTileGrid();
    // The heading rises from y 900 to 440 from 38 s while its wave deepens.
    const int32_t elapsedMs = demo.elapsedMs;
    const float s = easeWindow(elapsedMs, 38000.0f, 4000.0f);
    const int32_t y = 900 - static_cast<int32_t>(460.0f * s);
    const int32_t amplitude = 50 - static_cast<int32_t>(-300.0f * s);
    drawHeading(3620 - elapsedMs / 10, y, amplitude, static_cast<double>(elapsedMs) / -10.0,
                static_cast<double>(-elapsedMs) / 100.0);
    SDL_SetTextureColorMod(demo.texFont, 255, 255, 255);
}
