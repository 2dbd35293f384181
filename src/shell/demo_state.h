// The one piece of shared state: handles, glyph table, palette, times, flags.
#pragma once

#include "font/glyph.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <cstdint>
#include <vector>

constexpr int32_t screenWidth = 1920;
constexpr int32_t screenHeight = 1080;
constexpr int paletteSize = 9;
// Samples per mixer buffer, as the mixer is opened at start-up.
constexpr int audioChunkSamples = 2048;
// Mixer buffers whose timing the music's placement weighs at once.
constexpr int musicLagSteps = 8;

// How the music is kept where the picture is: the mixer's buffers as the
// main loop sees them taken, and where the music stands against the clock.
struct MusicSync {
    bool active = false;          // the device plays and the music tells its position
    bool placed = false;          // the first placement, at the start, is done
    double bufferMs = 0.0;        // the music one mixer buffer holds
    double outputLatencyMs = 0.0; // from the mixer taking a buffer to its first sample heard
    double delayMs = 0.0;         // the viewer's own: the sound this much later than the picture
    double basePositionMs = 0.0;  // where the music was started or last placed
    double lastPositionMs = 0.0;  // the position last read, to see the mixer take a buffer
    double lagsMs[musicLagSteps] = {}; // show time read minus music mixed, per buffer taken
    int32_t lagCount = 0;              // buffers in lagsMs, up to musicLagSteps
    int32_t strayingSinceMs = 0;       // show time at which the music left its place
    int32_t strayingSign = 0;          // +1 heard early, -1 late, 0 in place
};

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
