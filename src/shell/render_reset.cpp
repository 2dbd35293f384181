// Recovery from a reset or lost graphics device: the textures come back.
#include "shell/demo_state.h"
#include "shell/shell.h"

#include <SDL.h>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#ifdef __EMSCRIPTEN__
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
#endif

bool renderDeviceAvailable()
{
#ifdef __EMSCRIPTEN__
    return webglContextLost() == 0;
#else
    return true;
#endif
}

void recoverRenderDevice()
{
#ifdef __EMSCRIPTEN__
    // SDL's renderer still holds shaders and textures of the lost context;
    // destroying it releases the textures with it.
    SDL_DestroyRenderer(demo.renderer);
    demo.renderer = SDL_CreateRenderer(demo.window, -1, SDL_RENDERER_ACCELERATED);
#else
    SDL_DestroyTexture(demo.texSuikelois);
    SDL_DestroyTexture(demo.texSumuuh);
    SDL_DestroyTexture(demo.texAstiasto);
    SDL_DestroyTexture(demo.texFont);
#endif
    loadTextures();
}
