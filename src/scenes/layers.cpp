// Layers shared by several scenes: the heading, the red lines, the red
// saw-tooth and the tinted fog wall, so they run on unbroken across scenes.
#include "font/font.h"
#include "scenes/easing.h"
#include "scenes/scenes.h"
#include "scenes/show_values.h"
#include "shell/demo_state.h"

#include <SDL.h>

#include <cmath>

namespace {

constexpr const char* headingText = "notes left behind by a forgetful time traveler";
constexpr const char* clothesText = "your clothes will be smarter than you";
constexpr float textScale = 1.2f;
constexpr SDL_Color headingColor = {0, 255, 0, 255};
constexpr SDL_Color predictionColor = {255, 0, 15, 255};
constexpr int32_t fogTileSize = 1024;
constexpr Uint8 fogAlpha = 64;

// The calmer show's background: bright behind scene 3's small dark flowers, as
// in the show, then darkening once while they grow to fill the screen.
uint8_t steadyBackgroundRed(int32_t elapsedMs)
{
    const float bright = brightRed;
    const float late = lateBackgroundRed;
    const float darkening = easeWindow(elapsedMs, backgroundDarkensAtMs, backgroundDarkensForMs);
    return static_cast<uint8_t>(bright - (bright - late) * darkening);
}

} // namespace

void drawHeading(int32_t x, int32_t y, int32_t waveAmplitude, double angle, double angleStep)
{
    const TextStyle style = {headingColor, true,      true, waveAmplitude,
                             angle,        angleStep, 20.0, headingText};
    drawStyledText(x, y, textScale, style);
}

void drawPredictionLine(const char* text, int32_t x, int32_t y, double angle)
{
    const TextStyle style = {predictionColor, false, true, 30, angle, 3.0, 80.0, text};
    drawStyledText(x, y, textScale, style);
}

void drawClothesLine(int32_t elapsedMs)
{
    drawPredictionLine(clothesText, 49920 - elapsedMs / 2, clothesLineY,
                       static_cast<double>(elapsedMs) / -10.0);
}

uint8_t backgroundRed(int32_t elapsedMs)
{
    // low8(e - 128), in unsigned arithmetic so no value can overflow.
    const auto sawTooth = static_cast<uint8_t>(static_cast<uint32_t>(elapsedMs) - 128u);
    return flashingRed(sawTooth, steadyBackgroundRed(elapsedMs));
}

void tintFogWall(int32_t elapsedMs)
{
    const SDL_Color& tint = paletteColor(elapsedMs / 1000 % paletteSize);
    SDL_SetTextureColorMod(demo.texSumuuh, tint.r, tint.g, tint.b);
    SDL_SetTextureAlphaMod(demo.texSumuuh, fogAlpha);
}

void drawFogWall(int32_t elapsedMs)
{
    // Drifts right 100 px/s, repeating every tile: x0 ends in -1023 .. 0.
    int32_t x0 = elapsedMs / 10 - fogTileSize;
    while (x0 > 0) {
        x0 -= fogTileSize;
    }
    // Sways 300 px either way: quotient in single precision, sine in double,
    // narrowed back to single precision for the product and the difference.
    const float sway =
        static_cast<float>(std::sin(static_cast<double>(static_cast<float>(elapsedMs) / 1000.0f)));
    const auto y0 = static_cast<int32_t>(300.0f * sway - 1024.0f);
    for (int32_t column = 0; column < 3; ++column) {
        for (int32_t row = 0; row < 3; ++row) {
            const SDL_Rect destination = {x0 + fogTileSize * column, y0 + fogTileSize * row,
                                          fogTileSize, fogTileSize};
            SDL_RenderCopyEx(demo.renderer, demo.texSumuuh, nullptr, &destination, 0.0, nullptr,
                             SDL_FLIP_NONE);
        }
    }
}
