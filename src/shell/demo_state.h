// The one piece of shared state: handles, glyph table, palette, times, flags.
#pragma once

#include "font/glyph.h"
#include "shell/music_sync.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <cstdint>
#include <vector>

constexpr int32_t screenWidth = 1920;
constexpr int32_t screenHeight = 1080;
constexpr int paletteSize = 9;
// Samples per mixer buffer, as the mixer is opened at start-up.
constexpr int audioChunkSamples = 2048;
struct DemoState {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texSuikelois = nullptr;
    SDL_Texture* texSumuuh = nullptr;
    SDL_Texture* texAstiasto = nullptr;
    SDL_Texture* texFont = nullptr;
    Mix_Music* music = nullptr;
    std::vector<Glyph> glyphs;
    SDL_Color palette[paletteSize] = {};
    int32_t sceneIndex = 1;
    bool running = true;
    uint32_t startTicks = 0;  // SDL clock when the music started
    int32_t sceneStartMs = 0; // ms after startTicks at which the scene began
    int32_t elapsedMs = 0;    // ms since startTicks, read once per pass
    int32_t sceneMs = 0;      // elapsedMs - sceneStartMs
    bool overlayVisible = false;
    // The window's output in pixels; the screen-sized picture is scaled to
    // fit it when it differs from the screen's size.
    int32_t outputWidth = screenWidth;
    int32_t outputHeight = screenHeight;
    // Reduced flashing (demo --reduce-flashes): the scenes draw their
    // flashing layers steady and their fastest motion calmer.
    bool reduceFlashes = false;
    // demo --audio-delay MS: the sound later (or, negative, earlier) than the
    // picture, for outputs whose own delay no program can see.
    int32_t audioDelayMs = 0;
    MusicSync musicSync;
};

extern DemoState demo;

// Palette entry index modulo 9, wrapped into 0..8 even for negative indices.
const SDL_Color& paletteColor(int32_t index);
