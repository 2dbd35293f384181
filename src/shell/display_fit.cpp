// Display fitting: the window covers its display, the picture is scaled to fit it, bars are black.
#include "shell/demo_state.h"
#include "shell/platform.h"
#include "shell/shell.h"

#include <SDL.h>

#include <algorithm>

namespace {

bool sameRect(const SDL_Rect& a, const SDL_Rect& b)
{
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}

bool isScreenSized(int width, int height)
{
    return width == screenWidth && height == screenHeight;
}

// The uniform scale that fits the screen-sized picture into an output.
float pictureScaleFor(int outputWidth, int outputHeight)
{
    return std::min(static_cast<float>(outputWidth) / screenWidth,
                    static_cast<float>(outputHeight) / screenHeight);
}

// Where the picture lies in an output, in its pixels: scaled uniformly to the
// largest size that fits, centred.
SDL_Rect fittedPicture(int outputWidth, int outputHeight)
{
    const float scale = pictureScaleFor(outputWidth, outputHeight);
    // The side that limits the scale spans the output exactly; the other is
    // truncated, so the picture never spills past a bar.
    const bool widthLimits = static_cast<float>(outputWidth) / screenWidth <=
                             static_cast<float>(outputHeight) / screenHeight;
    const int width = widthLimits ? outputWidth : static_cast<int>(screenWidth * scale);
    const int height = widthLimits ? static_cast<int>(screenHeight * scale) : outputHeight;
    return {(outputWidth - width) / 2, (outputHeight - height) / 2, width, height};
}

// Viewport and scale of the picture in the present output; the viewport is
// set unscaled, since SDL multiplies it by the scale in force.
void applyPictureFit()
{
    const SDL_Rect picture = fittedPicture(demo.outputWidth, demo.outputHeight);
    const float scale = pictureScaleFor(demo.outputWidth, demo.outputHeight);
    SDL_RenderSetScale(demo.renderer, 1.0f, 1.0f);
    SDL_RenderSetViewport(demo.renderer, &picture);
    SDL_RenderSetScale(demo.renderer, scale, scale);
}

} // namespace

void fitToDisplay()
{
    if (!fitsItsOwnPicture || demo.window == nullptr) {
        return;
    }
    SDL_Rect display;
    const int displayIndex = SDL_GetWindowDisplayIndex(demo.window);
    if (displayIndex < 0 || SDL_GetDisplayBounds(displayIndex, &display) != 0) {
        return;
    }
    SDL_Rect window;
    SDL_GetWindowPosition(demo.window, &window.x, &window.y);
    SDL_GetWindowSize(demo.window, &window.w, &window.h);
    if (!sameRect(window, display)) {
        // Windows keeps a maximised window at the size it was maximised to.
        SDL_RestoreWindow(demo.window);
        SDL_SetWindowPosition(demo.window, display.x, display.y);
        SDL_SetWindowSize(demo.window, display.w, display.h);
    }
    fitPictureToOutput();
}

void fitPictureToOutput()
{
    int width = 0;
    int height = 0;
    if (!fitsItsOwnPicture || SDL_GetRendererOutputSize(demo.renderer, &width, &height) != 0 ||
        width <= 0 || height <= 0) {
        return;
    }
    // Unscaled stays untouched, so a screen of the picture's own size draws
    // exactly as it always has. Otherwise the fit is set again even when it
    // is unchanged: SDL resets the viewport whenever the window is resized.
    if (isScreenSized(width, height) && isScreenSized(demo.outputWidth, demo.outputHeight)) {
        return;
    }
    demo.outputWidth = width;
    demo.outputHeight = height;
    applyPictureFit();
}

void drawLetterboxBars()
{
    const SDL_Rect picture = fittedPicture(demo.outputWidth, demo.outputHeight);
    const int right = picture.x + picture.w;
    const int bottom = picture.y + picture.h;
    if (picture.x == 0 && picture.y == 0 && right == demo.outputWidth &&
        bottom == demo.outputHeight) {
        return;
    }
    // The scenes clear the whole output, bars included, and rely on the draw
    // colour they left behind: paint the bars outside the picture, then put
    // the colour and the fit back.
    Uint8 red, green, blue, alpha;
    SDL_GetRenderDrawColor(demo.renderer, &red, &green, &blue, &alpha);
    SDL_RenderSetScale(demo.renderer, 1.0f, 1.0f);
    SDL_RenderSetViewport(demo.renderer, nullptr);
    SDL_SetRenderDrawColor(demo.renderer, 0, 0, 0, 255);
    const SDL_Rect bars[] = {
        {0, 0, demo.outputWidth, picture.y},
        {0, bottom, demo.outputWidth, demo.outputHeight - bottom},
        {0, picture.y, picture.x, picture.h},
        {right, picture.y, demo.outputWidth - right, picture.h},
    };
    SDL_RenderFillRects(demo.renderer, bars, 4);
    SDL_SetRenderDrawColor(demo.renderer, red, green, blue, alpha);
    applyPictureFit();
}
