// A recording stand-in for the SDL, SDL_image and SDL_mixer calls of the demo,
// linked in place of the libraries so tests can see a frame call by call.
#pragma once

#include <SDL.h>
#include <SDL_image.h>

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

enum class CallKind { DrawColor, Clear, ColorMod, AlphaMod, Copy, Present };

// One drawing call, with the arguments that matter for it.
struct DrawCall {
    CallKind kind;
    SDL_Texture* texture;  // ColorMod, AlphaMod, Copy
    bool hasSource;        // Copy
    SDL_Rect source;       // Copy
    bool hasDestination;   // Copy
    SDL_Rect destination;  // Copy
    double angle;          // Copy
    bool hasCenter;        // Copy
    SDL_RendererFlip flip; // Copy
    SDL_Color color;       // DrawColor (rgba), ColorMod (rgb), AlphaMod (a)
};

struct TextureMods {
    SDL_Color color = {255, 255, 255, 255}; // alpha holds the alpha modulation
};

struct FakeSdl {
    bool recording = true;              // off: calls update state only (benchmarks)
    std::vector<DrawCall> calls;        // drawing calls in order
    std::vector<std::string> lifecycle; // every other call, by name, in order
    SDL_Color drawColor = {0, 0, 0, 0};
    std::map<SDL_Texture*, TextureMods> mods;

    bool initFails = false;
    std::string videoDriver = "x11";          // the driver SDL_Init settled on
    std::map<std::string, std::string> hints; // SDL_GetHint's answers; others unset
    int imageInitResult = IMG_INIT_JPG | IMG_INIT_PNG;
    std::set<std::string> loadableFiles; // IMG_Load and Mix_LoadMUS succeed for these

    SDL_Rect display = {0, 0, 1920, 1080}; // bounds of the window's display
    SDL_Rect window = {0, 0, 1920, 1080};  // the renderer's output is the window's size

    std::deque<uint32_t> ticks; // SDL_GetTicks answers; the last one repeats
    uint32_t lastTicks = 0;
    std::deque<SDL_Event> events;
    Uint8 keys[SDL_NUM_SCANCODES] = {};
};

extern FakeSdl fakeSdl;

// Clears the fake and the demo state for a new test.
void resetFake();

// Distinct texture handles for tests; never dereferenced.
SDL_Texture* fakeTexture(int number);

// The calls recorded so far that are copies, in order.
std::vector<DrawCall> copies();
std::vector<DrawCall> callsOf(CallKind kind);
