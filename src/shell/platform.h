// What the desktop and the browser do differently: platform_desktop.cpp, platform_web.cpp.
#pragma once

#include <SDL.h>

// Window flags the platform's renderer needs from the window's making.
extern const Uint32 platformWindowFlags;

// Whether the program fits its picture to the display; in a browser the
// page scales the canvas instead.
extern const bool fitsItsOwnPicture;

// Called right after SDL_Init. False, with SDL shut down and its error set,
// when SDL fell back on drawing offscreen on a desktop that nobody asked it
// to, so that the show would play to no one.
bool displayFound();

// A renderer for the window when no accelerated one could be made: in a
// browser without WebGL SDL's software one, announced on standard output;
// elsewhere none (null).
SDL_Renderer* fallbackRenderer(SDL_Window* window);

// In a browser, gives the page its turn before going on, so that it answers
// and draws between the long steps of start-up (and of the textures' making
// anew) rather than after the whole of them; elsewhere does nothing. Only on
// the paths the web build can suspend (web/emscripten.cmake).
void yieldToBrowser();

// Called once the mixer is open. In a browser the page plays the music, so
// the mixer, which must still answer its calls, is silenced and cut from the
// output; elsewhere it plays and nothing changes.
void unplugMixer();

// Called as the show starts, the mixer's music just started: on the desktop
// the follower keeps that music in place from now on; in a browser the page
// starts its own music, and the browser's animation frames pace the passes.
void startShowOnPlatform();

// Ends a pass: in a browser waits for its next animation frame; elsewhere
// the next pass follows at once.
void waitForNextFrame();

// False while the graphics device is lost (a browser took the WebGL context
// away until it gives it back): nothing can be drawn then.
bool renderDeviceAvailable();

// Lets go of the textures of a reset or lost graphics device, so that they
// can be made anew; in a browser the renderer goes with them and a new one
// comes, since a restored WebGL context keeps nothing.
void dropLostTextures();
