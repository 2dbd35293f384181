// The desktop's side of the platform: SDL's own window, renderer and sound; the follower.
#include "shell/platform.h"

#include "shell/demo_state.h"
#include "shell/music_sync.h"

#include <SDL.h>

#include <cstring>

const Uint32 platformWindowFlags = 0;
const bool fitsItsOwnPicture = true;

// Only a driver list the viewer gave can make SDL choose the offscreen driver
// on purpose, so the fallback is told by an empty list.
bool displayFound()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (driver != nullptr && std::strcmp(driver, "offscreen") == 0 &&
        (asked == nullptr || *asked == '\0')) {
        SDL_Quit();
        // Set after SDL_Quit, which may take the error text with it.
        SDL_SetError("no display found");
        return false;
    }
    return true;
}

SDL_Renderer* fallbackRenderer(SDL_Window*)
{
    return nullptr;
}

void yieldToBrowser() {}

void unplugMixer() {}

void startShowOnPlatform()
{
    startMusicSync();
}

void waitForNextFrame() {}

bool renderDeviceAvailable()
{
    return true;
}

void dropLostTextures()
{
    SDL_DestroyTexture(demo.texSuikelois);
    SDL_DestroyTexture(demo.texSumuuh);
    SDL_DestroyTexture(demo.texAstiasto);
    SDL_DestroyTexture(demo.texFont);
}
