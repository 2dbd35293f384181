// Main loop, timeline and input: the clock of the whole presentation.
#include "shell/demo_state.h"
#include "shell/platform.h"
#include "shell/shell.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <cstdint>
#include <cstdio>

namespace {

constexpr int32_t demoEndMs = 119985;
constexpr int playOnce = 1;

// Milliseconds since the music started. The unsigned difference survives a
// wrap of the 32-bit SDL clock between the two readings.
int32_t msSinceStart()
{
    return static_cast<int32_t>(SDL_GetTicks() - demo.startTicks);
}

// The elapsedMs after which a scene gives way to the next; none for scene 5.
bool sceneEndMs(int32_t sceneIndex, int32_t* endMs)
{
    switch (sceneIndex) {
    case 1: *endMs = 20000; return true;
    case 2: *endMs = 50000; return true;
    case 3: *endMs = 100000; return true;
    case 4: *endMs = 113985; return true;
    default: return false;
    }
}

// The window went to another display, or its display changed shape.
bool movedToAnotherDisplay(const SDL_Event& event)
{
    return event.type == SDL_DISPLAYEVENT ||
           (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_DISPLAY_CHANGED);
}

bool isHeld(const Uint8* keys, SDL_Scancode first, SDL_Scancode second)
{
    return keys[first] != 0 || keys[second] != 0;
}

} // namespace

bool advanceTimeline(int32_t elapsedMs)
{
    demo.elapsedMs = elapsedMs;
    // Wrapping subtraction: an odd clock must not overflow a signed int.
    demo.sceneMs = static_cast<int32_t>(static_cast<uint32_t>(demo.elapsedMs) -
                                        static_cast<uint32_t>(demo.sceneStartMs));
    int32_t endMs = 0;
    if (!sceneEndMs(demo.sceneIndex, &endMs) || demo.elapsedMs <= endMs) {
        return false;
    }
    demo.sceneIndex += 1;
    return true;
}

void runMainLoop()
{
    demo.startTicks = SDL_GetTicks();
    demo.sceneStartMs = 0;
    Mix_PlayMusic(demo.music, playOnce);
    startShowOnPlatform();
    while (demo.running) {
        runPass();
        waitForNextFrame();
    }
}

void runPass()
{
    if (advanceTimeline(msSinceStart())) {
        // A fresh reading; this pass still draws with the times read above.
        demo.sceneStartMs = msSinceStart();
    } else if (demo.elapsedMs > demoEndMs) {
        demo.running = false;
    }
    keepMusicInPlace();
    handleInput();
    if (renderDeviceAvailable()) {
        renderFrame();
    }
}

void handleInput()
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) {
            demo.running = false;
        } else if (event.type == SDL_KEYDOWN && event.key.keysym.scancode == SDL_SCANCODE_ESCAPE) {
            demo.running = false;
        } else if (movedToAnotherDisplay(event)) {
            fitToDisplay();
        } else if (event.type == SDL_WINDOWEVENT &&
                   event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            // Resized by the system (a new resolution, a rotation): follow it.
            fitPictureToOutput();
        } else if (event.type == SDL_RENDER_DEVICE_RESET ||
                   event.type == SDL_RENDER_TARGETS_RESET) {
            recoverRenderDevice();
        }
    }
    const Uint8* keys = SDL_GetKeyboardState(nullptr);
    if (keys[SDL_SCANCODE_RETURN]) {
        printf("<RETURN> is pressed.\n");
    }
    if (isHeld(keys, SDL_SCANCODE_S, SDL_SCANCODE_KP_2)) {
        demo.overlayVisible = false;
    }
    // Tested last, so W or keypad 8 wins when both groups are held.
    if (isHeld(keys, SDL_SCANCODE_W, SDL_SCANCODE_KP_8)) {
        demo.overlayVisible = true;
    }
}
