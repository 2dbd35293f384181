// Capture tool: off-screen frames of any size, drawn at any moment of the show and read back.
#include "capture.h"
#include "shell/demo_state.h"
#include "shell/shell.h"

#include <SDL.h>

#include <cstdio>

#include <unistd.h>

namespace {

// Scene bounds: a pass with elapsedMs one past a bound is the one that changes scene.
constexpr int32_t sceneBoundsMs[] = {20000, 50000, 100000, 113985};

struct FrameTarget {
    int width = screenWidth;
    int height = screenHeight;
    SDL_Texture* texture = nullptr; // null when drawing into the window
};

FrameTarget target;

// Sets the renderer and textures to the state the live program has before
// any frame: every scene sets what it changes before it draws, except what
// it inherits from these (scene 2's black clear, scene 4's opaque sprites,
// scene 1's untinted sprite and wall), so one reset makes any frame exact.
void resetRenderState()
{
    SDL_SetRenderDrawColor(demo.renderer, 0, 0, 0, 255);
    SDL_Texture* textures[] = {demo.texSuikelois, demo.texSumuuh, demo.texAstiasto, demo.texFont};
    for (SDL_Texture* texture : textures) {
        SDL_SetTextureColorMod(texture, 255, 255, 255);
        SDL_SetTextureAlphaMod(texture, 255);
    }
}

} // namespace

bool startFrames(int width, int height)
{
    target = {width, height, nullptr};
    // The screen's own size draws into the window, exactly as the program does.
    if (width == screenWidth && height == screenHeight) {
        return true;
    }
    target.texture = SDL_CreateTexture(demo.renderer, SDL_PIXELFORMAT_ARGB8888,
                                       SDL_TEXTUREACCESS_TARGET, width, height);
    // Scaling after the target is set, since setting one resets the scale;
    // the renderer then scales every rectangle, so edges stay sharp.
    return target.texture != nullptr && SDL_SetRenderTarget(demo.renderer, target.texture) == 0 &&
           SDL_RenderSetScale(demo.renderer, static_cast<float>(width) / screenWidth,
                              static_cast<float>(height) / screenHeight) == 0;
}

void finishFrames()
{
    // SDL leaks its records of a target still set when the renderer is destroyed.
    if (target.texture != nullptr) {
        SDL_SetRenderTarget(demo.renderer, nullptr);
        SDL_DestroyTexture(target.texture);
        target.texture = nullptr;
    }
}

void passAt(int32_t elapsedMs)
{
    // The clock stands still within a pass, as the live loop's does with a virtual clock.
    if (advanceTimeline(elapsedMs)) {
        demo.sceneStartMs = elapsedMs;
    }
}

void seekTo(int32_t elapsedMs)
{
    // A clock ticking every millisecond would change scene one past each
    // bound; only those passes carry state.
    demo.sceneIndex = 1;
    demo.sceneStartMs = 0;
    for (const int32_t boundMs : sceneBoundsMs) {
        if (boundMs + 1 < elapsedMs) {
            passAt(boundMs + 1);
        }
    }
    passAt(elapsedMs);
}

int32_t frameMs(int frame, int fps)
{
    return static_cast<int32_t>(int64_t{frame} * 1000 / fps);
}

int frameCount(int fps)
{
    int frames = 1;
    while (frameMs(frames - 1, fps) < lastFrameMs) {
        ++frames;
    }
    return frames;
}

bool drawAndRead(std::vector<unsigned char>* pixels)
{
    resetRenderState();
    drawScene();
    pixels->resize(static_cast<size_t>(target.width) * target.height * bytesPerPixel);
    return SDL_RenderReadPixels(demo.renderer, nullptr, SDL_PIXELFORMAT_RGB24, pixels->data(),
                                target.width * bytesPerPixel) == 0;
}

void showProgress(int done, int total, double secondsSpent)
{
    // A log (the build's, a test's) gets no bar redrawn thousands of times.
    if (isatty(STDERR_FILENO) == 0) {
        return;
    }
    constexpr int barWidth = 30;
    const int filled = total > 0 ? done * barWidth / total : barWidth;
    const double rate = secondsSpent > 0.0 ? done / secondsSpent : 0.0;
    const int secondsLeft = rate > 0.0 ? static_cast<int>((total - done) / rate) : 0;
    fprintf(stderr, "\r[%.*s%.*s] %d/%d frames  %.1f fps  %d:%02d left ", filled,
            "##############################", barWidth - filled, "..............................",
            done, total, rate, secondsLeft / 60, secondsLeft % 60);
}

double secondsSince(uint64_t ticks)
{
    return static_cast<double>(SDL_GetPerformanceCounter() - ticks) /
           static_cast<double>(SDL_GetPerformanceFrequency());
}
