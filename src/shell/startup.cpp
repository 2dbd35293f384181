// Start-up and shutdown: the program's life from entry to exit.
#include "shell/demo_state.h"
#include "shell/platform.h"
#include "shell/shell.h"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>

#include <cstdio>
#include <iostream>

namespace {

constexpr int imageFlags = IMG_INIT_JPG | IMG_INIT_PNG;
constexpr int audioFrequencyHz = 44100;
constexpr int audioChannels = 2;
constexpr int usageStatus = 2;

} // namespace

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
    if (demo.renderer == nullptr) {
        demo.renderer = fallbackRenderer(demo.window);
    }
    // Set once the renderer exists and before any texture, so all four filter linearly.
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "1");
    if ((IMG_Init(imageFlags) & imageFlags) != imageFlags) {
        printf("IMG_Init: Failed to init required jpg and png support!\n");
        printf("IMG_Init: %s\n", SDL_GetError());
    }
    Mix_Init(MIX_INIT_OGG);
    Mix_OpenAudio(audioFrequencyHz, MIX_DEFAULT_FORMAT, audioChannels, audioChunkSamples);
    unplugMixer();
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
