// Start-up, memory and frame times with the real renderer at 1920x1080,
// headless (SDL's offscreen driver with Mesa's EGL unless SDL_VIDEODRIVER
// says otherwise). Run from the build folder; prints tables.
#include "font/font.h"
#include "shell/demo_state.h"
#include "shell/shell.h"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <time.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int framesPerScene = 120;

struct SceneSpan {
    int32_t scene;
    int32_t firstMs; // elapsedMs of the scene's first frame
    int32_t lastMs;
    int32_t startMs; // sceneStartMs while it shows
};

constexpr SceneSpan sceneSpans[] = {
    {1, 0, 20000, 0},
    {2, 20002, 50000, 20001},
    {3, 50002, 100000, 50001},
    {4, 100002, 113985, 100001},
    {5, 113987, 119985, 113986},
};

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Resident set size of this process, in MiB.
double residentMiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// Milliseconds from the process's start (as the kernel recorded it, to its
// clock tick) to now.
double msSinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Field 22, counted after the command name's closing parenthesis.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22; ++i) {
        fields >> field;
    }
    timespec now = {};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double startedMs = std::stod(field) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6 -
           startedMs;
}

void row(const char* what, double ms, double mib)
{
    printf("| %-36s | %9.2f | %9.1f |\n", what, ms, mib);
}

// Waits until the renderer has drawn everything queued.
void finish()
{
    Uint8 pixel[4];
    const SDL_Rect one = {0, 0, 1, 1};
    SDL_RenderReadPixels(demo.renderer, &one, SDL_PIXELFORMAT_RGBA8888, pixel, 4);
}

// Draws the current frame and waits until the renderer has finished it.
void drawFinished()
{
    drawScene();
    finish();
    SDL_RenderPresent(demo.renderer);
}

double percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(share * static_cast<double>(values.size() - 1))];
}

void timeStartUp(Clock::time_point processStart)
{
    printf("Start-up (ms from main, resident MiB after the step)\n\n");
    printf("| %-36s | %9s | %9s |\n", "step", "ms", "RSS MiB");
    printf("|%s|%s|%s|\n", std::string(38, '-').c_str(), std::string(11, '-').c_str(),
           std::string(11, '-').c_str());
    row("process start to main (10 ms ticks)", msSinceProcessStart(), residentMiB());
    Clock::time_point step = Clock::now();
    if (initPlatform() != 0 || demo.renderer == nullptr) {
        fprintf(stderr, "no accelerated renderer: %s\n", SDL_GetError());
        std::exit(1);
    }
    SDL_RendererInfo info;
    SDL_GetRendererInfo(demo.renderer, &info);
    row((std::string("SDL, window, GL renderer (") + info.name + ")").c_str(), msSince(step),
        residentMiB());
    step = Clock::now();
    loadMedia();
    row("loadMedia (4 images, music, font)", msSince(step), residentMiB());
    step = Clock::now();
    drawFinished();
    row("first frame drawn and presented", msSince(step), residentMiB());
    row("total: main to first frame", msSince(processStart), residentMiB());
    row("total: process start to first frame", msSinceProcessStart(), residentMiB());

    // Each decode once more on its own, for the breakdown.
    const char* images[] = {"dada/suikelois", "dada/sumuuh", "dada/astiasto.lentokone",
                            "dada/aerosoli"};
    for (const char* path : images) {
        step = Clock::now();
        SDL_Surface* surface = IMG_Load(path);
        const double decodeMs = msSince(step);
        step = Clock::now();
        SDL_Texture* texture = SDL_CreateTextureFromSurface(demo.renderer, surface);
        const double uploadMs = msSince(step);
        printf("| %-36s | %9.2f | %9s |\n", (std::string("  decode ") + path).c_str(), decodeMs,
               "");
        printf("| %-36s | %9.2f | %9s |\n", "  upload as texture", uploadMs, "");
        SDL_DestroyTexture(texture);
        SDL_FreeSurface(surface);
    }
    step = Clock::now();
    Mix_Music* music = Mix_LoadMUS("dada/delfiini.kalako");
    printf("| %-36s | %9.2f | %9s |\n", "  Mix_LoadMUS", msSince(step), "");
    Mix_FreeMusic(music);
    const std::vector<Glyph> glyphs = demo.glyphs;
    step = Clock::now();
    loadFont();
    printf("| %-36s | %9.2f | %9s |\n", "  loadFont", msSince(step), "");
    demo.glyphs = glyphs;
    printf("\n");
}

void timeScenes(const char* mode)
{
    printf("Frame time with the real renderer, %s, %d frames per scene spread over it (ms)\n\n",
           mode, framesPerScene);
    printf("| scene | median | p10 | p90 | max |\n|---|---|---|---|---|\n");
    for (const SceneSpan& span : sceneSpans) {
        std::vector<double> times;
        demo.sceneIndex = span.scene;
        demo.sceneStartMs = span.startMs;
        for (int i = 0; i < framesPerScene; ++i) {
            demo.elapsedMs = span.firstMs + (span.lastMs - span.firstMs) * i / (framesPerScene - 1);
            demo.sceneMs = demo.elapsedMs - demo.sceneStartMs;
            const Clock::time_point start = Clock::now();
            drawFinished();
            times.push_back(msSince(start));
        }
        printf("| %d | %.2f | %.2f | %.2f | %.2f |\n", span.scene, percentile(times, 0.5),
               percentile(times, 0.1), percentile(times, 0.9), percentile(times, 1.0));
    }
    printf("\nResident after all frames: %.1f MiB\n\n", residentMiB());
}

} // namespace

int main()
{
    const Clock::time_point processStart = Clock::now();
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    timeStartUp(processStart);
    timeScenes("as drawn");
    demo.reduceFlashes = true;
    timeScenes("flashes reduced (demo --reduce-flashes)");
    shutdownPlatform();
    return 0;
}
