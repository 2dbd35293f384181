// The browser's side of the platform: WebGL, the page's turns and its music, a lost context.
#include "shell/platform.h"

#include "shell/demo_state.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <emscripten.h>

#include <cstdio>

// Made for WebGL at once, the window is not made a second time when the renderer comes.
const Uint32 platformWindowFlags = SDL_WINDOW_OPENGL;
const bool fitsItsOwnPicture = false;

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

// The page plays the music on the browser's own audio thread, where no slow
// frame can starve it; it starts here, together with the program's clock.
EM_JS(void, startPageMusic, (), { Module["startMusic"](); });

// Suspends the program until the browser's next animation frame, so that a
// browser runs one pass per frame it displays and draws between passes. The
// program resumes as Emscripten's own timers resume it, so that its exit
// from there ends it quietly.
EM_JS(void, waitForAnimationFrame, (), {
    Asyncify.handleSleep(
        function(wakeUp) { requestAnimationFrame(function() { callUserCallback(wakeUp); }); });
});

// Whether the browser has taken SDL's WebGL context away: Emscripten's GL
// layer fails on some calls into a lost context.
EM_JS(int, webglContextLost, (),
      { return GL.currentContext && GL.currentContext.GLctx.isContextLost() ? 1 : 0; });

// Called by the page when the browser gives back the WebGL context it took
// away; the program answers it as it answers a reset Direct3D device.
extern "C" EMSCRIPTEN_KEEPALIVE void reportRenderDeviceReset()
{
    SDL_Event event = {};
    event.type = SDL_RENDER_DEVICE_RESET;
    SDL_PushEvent(&event);
}

// A browser always has its canvas.
bool displayFound()
{
    return true;
}

// A browser without WebGL still shows the show, drawn by SDL on the CPU.
SDL_Renderer* fallbackRenderer(SDL_Window* window)
{
    printf("No accelerated renderer (%s); using the software renderer.\n", SDL_GetError());
    return SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
}

void yieldToBrowser()
{
    emscripten_sleep(0);
}

// A browser feeds the mixer from the main thread, which a slow frame stalls.
void unplugMixer()
{
    Mix_VolumeMusic(0);
    unplugAudioDevice();
}

void startShowOnPlatform()
{
    // The passes hand the browser its turn; SDL must not also sleep in the
    // present, which is not on the path the web build can suspend and resume.
    SDL_SetHint(SDL_HINT_EMSCRIPTEN_ASYNCIFY, "0");
    startPageMusic();
}

void waitForNextFrame()
{
    waitForAnimationFrame();
}

bool renderDeviceAvailable()
{
    return webglContextLost() == 0;
}

// SDL's renderer still holds shaders and textures of the lost context;
// destroying it releases the textures with it.
void dropLostTextures()
{
    SDL_DestroyRenderer(demo.renderer);
    demo.renderer = SDL_CreateRenderer(demo.window, -1, SDL_RENDERER_ACCELERATED);
}
