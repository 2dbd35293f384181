// Scene 5, credits: captions in green over the red-tinted image.
#include "font/font.h"
#include "scenes/scenes.h"
#include "shell/demo_state.h"

#include <SDL.h>

namespace {

struct Caption {
    const char* text;
    int32_t x;
    int32_t y;
    float scale;
};

constexpr float labelScale = 1.0f;
constexpr float nameScale = 1.6f;

constexpr Caption codeLabel = {"code, graphics", 600, 500, labelScale};
constexpr Caption codeName = {"zenkalvor", 600, 540, nameScale};
constexpr Caption musicLabel = {"music", 600, 500, labelScale};
constexpr Caption musicName = {"murel", 600, 540, nameScale};
constexpr Caption groupName = {"tivu", 760, 540, nameScale};
constexpr Caption partyLine = {"vinterfest 2016", 560, 540, nameScale};

void drawCaption(const Caption* caption)
{
    if (caption == nullptr) {
        return;
    }
    const TextStyle style = {paletteColor(0), false, false, 0, 0.0, 0.0, 0.0, caption->text};
    drawStyledText(caption->x, caption->y, caption->scale, style);
}

// The captions of the moment, by sceneMs; the first row that holds wins.
void chooseCaptions(int32_t sceneMs, const Caption** first, const Caption** second)
{
    *first = nullptr;
    *second = nullptr;
    if (sceneMs < 800) {
        *first = &codeLabel;
        *second = &codeName;
    } else if (sceneMs < 1600) {
        *first = &musicLabel;
        *second = &musicName;
    } else if (sceneMs < 2200) {
        *first = &groupName;
    } else if (sceneMs >= 2501 && sceneMs <= 4499) {
        *first = &partyLine;
    }
}

} // namespace

void renderScene5()
{
    SDL_SetRenderDrawColor(demo.renderer, 0, 0, 0, 255);
    SDL_RenderClear(demo.renderer);
    SDL_SetTextureColorMod(demo.texAstiasto, 255, 0, 0);
    const SDL_Rect image = {704, 284, 512, 512};
    SDL_RenderCopyEx(demo.renderer, demo.texAstiasto, nullptr, &image, 0.0, nullptr, SDL_FLIP_NONE);
    const Caption* first = nullptr;
    const Caption* second = nullptr;
    chooseCaptions(demo.sceneMs, &first, &second);
    drawCaption(first);
    drawCaption(second);
}
