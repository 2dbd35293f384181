// Demo shell: start-up, asset loading, main loop, frame composer, overlay.
#pragma once

#include "shell/demo_state.h"

#include <SDL.h>

#include <cstdint>
#include <string>

// The program's main function: start-up, the whole timeline, shutdown.
// Takes the options of parseOptions; any other argument gets a usage line
// on standard error and status 2 before anything starts. Returns 1 when SDL
// cannot be initialised, else 0.
int demoMain(int argc, char* argv[]);

// Reads --reduce-flashes and --audio-delay MS (a whole number from -1000 to
// 1000) into the state, in any order. False on anything else.
bool parseOptions(int argc, char* argv[]);

// Brings up SDL, the window, the renderer, the image library and the mixer.
// Returns 0 when the platform is up, 1 when SDL_Init failed or found no
// display but the offscreen driver that nobody asked for.
int initPlatform();

// Loads the four textures, the music and the font, and fills the palette.
// Reports each failure on standard output and goes on; never fails.
void loadMedia();

// Loads the four textures from their image files, as loadMedia does.
void loadTextures();

// Makes the textures anew after the graphics device was reset or lost, in a
// browser with the renderer too (a restored WebGL context keeps nothing).
void recoverRenderDevice();

// Decodes an image file into a texture of the renderer; null on failure,
// after printing "Failed to load <path> !" with SDL's error text.
SDL_Texture* loadTexture(const char* path);

// Releases music, renderer (with its textures) and window, then the libraries.
void shutdownPlatform();

// Makes the window cover its display, then fits the picture to it. Changes
// nothing when the window already covers a display of the screen's size.
void fitToDisplay();

// Scales and centres the picture in the renderer's present output size.
void fitPictureToOutput();

// Paints black whatever of the output the picture leaves uncovered.
void drawLetterboxBars();

// Starts the music and runs one pass per frame until running is cleared.
void runMainLoop();

// One pass of the main loop: clock, timeline step, music placement, input, frame.
void runPass();

// Publishes elapsedMs and sceneMs for a pass whose clock reads elapsedMs,
// and moves the timeline at most one scene on. True when the scene changed;
// the caller then sets sceneStartMs from a fresh reading.
bool advanceTimeline(int32_t elapsedMs);

// Drains the event queue and samples the keys held in this pass.
void handleInput();

// Draws the current scene and the overlay if enabled, then presents.
void renderFrame();

// Draws the scene of sceneIndex, or clears to opaque black for any other.
void drawScene();

// The decimal text of value: "%d" formatting.
std::string intToString(int32_t value);

// Plain overlay text from texFont: pen from x 10, no colour, scale or motion.
void drawDebugText(std::string text, int32_t y);
