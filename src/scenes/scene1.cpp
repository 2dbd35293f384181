// Scene 1, opening titles: rising fog wall, growing sprite, falling words, heading.
#include "font/font.h"
#include "scenes/easing.h"
#include "scenes/scenes.h"
#include "shell/demo_state.h"

#include <SDL.h>

namespace {

struct TitleWord {
    const char* text;
    int32_t penX;
    float startMs;
    float durationMs;
};

// "DÄRVÄ" is ISO 8859-1: \xC4 is the byte 196 of "Ä".
constexpr TitleWord titleWords[] = {
    {"TIVU", 500, 5313.0f, 2000.0f},
    {"MELKORI", 700, 6063.0f, 2000.0f},
    {"SALVO", 900, 6800.0f, 2000.0f},
    {"D\xC4RV\xC4", 1100, 8800.0f, 2200.0f},
};

constexpr int32_t wallTileSize = 1024;
constexpr SDL_Color white = {255, 255, 255, 255};

void copyWhole(SDL_Texture* texture, const SDL_Rect& destination, double angle)
{
    SDL_RenderCopyEx(demo.renderer, texture, nullptr, &destination, angle, nullptr, SDL_FLIP_NONE);
}

// Nine tiles from x -300, column by column, rising one pixel per 20 ms.
void drawRisingWall(int32_t sceneMs)
{
    const auto y0 = static_cast<int32_t>(static_cast<double>(sceneMs) / -20.0);
    const float wallFade = easeWindow(sceneMs, 19000.0f, 1000.0f);
    // The subtraction is made in single precision before the truncation.
    const auto alpha = static_cast<int32_t>(64.0f - 64.0f * wallFade);
    SDL_SetTextureAlphaMod(demo.texSumuuh, static_cast<Uint8>(alpha));
    for (int32_t x = -300; x < 2772; x += wallTileSize) {
        for (int32_t row = 0; row < 3; ++row) {
            copyWhole(demo.texSumuuh, {x, y0 + wallTileSize * row, wallTileSize, wallTileSize},
                      0.0);
        }
    }
}

// The large sprite grows to 2048 px from second 2 and fades from second 4.
void drawLargeSprite(int32_t sceneMs)
{
    const auto size = static_cast<int32_t>(2048.0f * easeWindow(sceneMs, 2000.0f, 13000.0f));
    const int32_t half = size / 2;
    const float bigFade = easeWindow(sceneMs, 4000.0f, 14000.0f);
    const auto alpha = static_cast<int32_t>(192.0f - 192.0f * bigFade);
    SDL_SetTextureAlphaMod(demo.texSuikelois, static_cast<Uint8>(alpha));
    copyWhole(demo.texSuikelois, {960 - half, 540 - half, size, size},
              static_cast<double>(sceneMs) / 14.4);
}

// The small sprite turns twice as fast and fades in the last half second;
// it leaves texSuikelois white and opaque for the next frame.
void drawSmallSprite(int32_t sceneMs)
{
    SDL_SetTextureColorMod(demo.texSuikelois, 255, 255, 255);
    const float smallFade = easeWindow(sceneMs, 19500.0f, 500.0f);
    const auto alpha = static_cast<int32_t>(255.0f - 255.0f * smallFade);
    SDL_SetTextureAlphaMod(demo.texSuikelois, static_cast<Uint8>(alpha));
    copyWhole(demo.texSuikelois, {896, 476, 128, 128}, static_cast<double>(sceneMs) / 7.2);
    SDL_SetTextureAlphaMod(demo.texSuikelois, 255);
}

// Each word falls from above the top edge to the bottom edge in its own
// window, growing from half to double size.
void drawTitleWords(int32_t sceneMs)
{
    for (const TitleWord& word : titleWords) {
        const float fall = easeWindow(sceneMs, word.startMs, word.durationMs);
        const int32_t penY = static_cast<int32_t>(1200.0f * fall) - 120;
        const float scale = fall * 1.5f + 0.5f;
        const TextStyle style = {white, false, false, 0, 0.0, 0.0, 0.0, word.text};
        drawStyledText(word.penX, penY, scale, style);
    }
}

} // namespace

void renderScene1()
{
    const int32_t sceneMs = demo.sceneMs;
    const int32_t elapsedMs = demo.elapsedMs;
    SDL_SetRenderDrawColor(demo.renderer, 0, 0, 0, 255);
    SDL_RenderClear(demo.renderer);
    drawRisingWall(sceneMs);
    drawLargeSprite(sceneMs);
    drawSmallSprite(sceneMs);
    drawTitleWords(sceneMs);
    drawHeading(3620 - elapsedMs / 10, 900, 50, static_cast<double>(sceneMs) / -10.0,
                static_cast<double>(-elapsedMs) / 100.0);
    SDL_SetTextureColorMod(demo.texFont, 255, 255, 255);
}
