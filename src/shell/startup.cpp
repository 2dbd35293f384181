// Start-up and shutdown: the program's life from entry to exit.
#include "shell/demo_state.h"
#include "shell/shell.h"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

constexpr int imageFlags = IMG_INIT_JPG | IMG_INIT_PNG;
constexpr int audioFrequencyHz = 44100;
constexpr int audioChannels = 2;
constexpr int usageStatus = 2;
#ifdef __EMSCRIPTEN__
// A browser's renderer is WebGL's: made for it at once, the window is not
// made a second time when the renderer comes.
constexpr Uint32 platformWindowFlags = SDL_WINDOW_OPENGL;
#else
constexpr Uint32 platformWindowFlags = 0;
#endif

// The viewer's own audio delay goes a second either way at most.
constexpr int32_t maxAudioDelayMs = 1000;
// Digits enough for any delay in range, few enough for strtol to hold.
constexpr size_t maxOptionDigits = 4;

// A whole decimal integer from minimum to maximum, sign allowed; nothing else.
bool parseBoundedInt(const char* text, int32_t minimum, int32_t maximum, int32_t* value)
{
    const char* digits = text[0] == '-' || text[0] == '+' ? text + 1 : text;
    const size_t count = std::strlen(digits);
    if (count == 0 || count > maxOptionDigits || std::strspn(digits, "0123456789") != count) {
        return false;
    }
    const long parsed = std::strtol(text, nullptr, 10);
    if (parsed < minimum || parsed > maximum) {
        return false;
    }
    *value = static_cast<int32_t>(parsed);
    return true;
}

// SDL falls back on drawing offscreen when it finds no display, and the show
// would then play to no one. Only a driver list the viewer gave can make SDL
// choose that driver on purpose, so the fallback is told by an empty list.
bool displayFound()
{
#ifndef __EMSCRIPTEN__
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (driver != nullptr && std::strcmp(driver, "offscreen") == 0 &&
        (asked == nullptr || *asked == '\0')) {
        SDL_Quit();
        // Set after SDL_Quit, which may take the error text with it.
        SDL_SetError("no display found");
        return false;
    }
#endif
    return true;
}

} // namespace

void yieldToBrowser()
{
#ifdef __EMSCRIPTEN__
    emscripten_sleep(0);
#endif
}

#ifdef __EMSCRIPTEN__
// SDL's browser audio asks the mixer for every buffer in a callback on the
// page's thread, where the silent music would take time from the frames.
// The device stays open for the mixer, but its node is cut from the output
// and told nothing, and its audio context is stopped: no callback comes.
EM_JS(void, unplugAudioDevice, (), {
    const sdl = Module["SDL2"];
    if (sdl && sdl.audio && sdl.audio.scriptProcessorNode) {
        sdl.audio.scriptProcessorNode["onaudioprocess"] = null;
        sdl.audio.scriptProcessorNode.disconnect();
        sdl.audioContext.suspend();
    }
});
#endif

bool parseOptions(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reduce-flashes") == 0) {
            demo.reduceFlashes = true;
        } else if (std::strcmp(argv[i], "--audio-delay") == 0 && i + 1 < argc &&
                   parseBoundedInt(argv[i + 1], -maxAudioDelayMs, maxAudioDelayMs,
                                   &demo.audioDelayMs)) {
            i += 1;
        } else {
            return false;
        }
    }
    return true;
}

int demoMain(int argc, char* argv[])
{
    // A mistyped option must not play the flashing show to a viewer who asked for less.
    if (!parseOptions(argc, argv)) {
        fprintf(stderr, "usage: demo [--reduce-flashes] [--audio-delay MS]\n");
        return usageStatus;
    }
    if (initPlatform() != 0) {
        printf("Init failed. Exiting...\n");
        return 1;
    }
    fitToDisplay();
    yieldToBrowser();
    loadMedia();
    yieldToBrowser();
    runMainLoop();
    shutdownPlatform();
    return 0;
}

int initPlatform()
{
    if (SDL_Init(SDL_INIT_AUDIO | SDL_INIT_VIDEO) != 0 || !displayFound()) {
        const char* error = SDL_GetError();
        std::cout << "SDL_Init Error: " << error << std::endl;
        return 1;
    }
    demo.window = SDL_CreateWindow(
        "title", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, screenWidth, screenHeight,
        SDL_WINDOW_BORDERLESS | SDL_WINDOW_MAXIMIZED | platformWindowFlags);
    yieldToBrowser();
    demo.renderer = SDL_CreateRenderer(demo.window, -1, SDL_RENDERER_ACCELERATED);
    yieldToBrowser();
#ifdef __EMSCRIPTEN__
    // A browser without WebGL still shows the show, drawn by SDL on the CPU.
    if (demo.renderer == nullptr) {
        printf("No accelerated renderer (%s); using the software renderer.\n", SDL_GetError());
        demo.renderer = SDL_CreateRenderer(demo.window, -1, SDL_RENDERER_SOFTWARE);
    }
#endif
    // Set once the renderer exists and before any texture, so all four filter linearly.
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "1");
    if ((IMG_Init(imageFlags) & imageFlags) != imageFlags) {
        printf("IMG_Init: Failed to init required jpg and png support!\n");
        printf("IMG_Init: %s\n", SDL_GetError());
    }
    Mix_Init(MIX_INIT_OGG);
    Mix_OpenAudio(audioFrequencyHz, MIX_DEFAULT_FORMAT, audioChannels, audioChunkSamples);
#ifdef __EMSCRIPTEN__
    // A browser feeds the mixer from the main thread, which a slow frame
    // stalls; the page plays the music instead (startPageMusic), so the mixer
    // keeps its calls but is never asked for sound, and would play silence.
    Mix_VolumeMusic(0);
    unplugAudioDevice();
#endif
    SDL_ShowCursor(SDL_DISABLE);
    return 0;
}

void shutdownPlatform()
{
    Mix_FreeMusic(demo.music);
    demo.music = nullptr;
    // Destroying the renderer releases the four textures with it.
    SDL_DestroyRenderer(demo.renderer);
    SDL_DestroyWindow(demo.window);
    Mix_Quit();
    IMG_Quit();
    SDL_Quit();
}
