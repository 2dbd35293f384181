// Asset loading: textures, music, font and palette; the textures anew after a lost device.
#include "font/font.h"
#include "shell/demo_state.h"
#include "shell/platform.h"
#include "shell/shell.h"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>

#include <cstdio>

namespace {

// The nine-colour cycle: once round the hue circle, green to aqua.
constexpr SDL_Color paletteColors[paletteSize] = {
    {22, 255, 0, 255}, {253, 255, 0, 255}, {255, 136, 0, 255},
    {255, 0, 15, 255}, {255, 0, 218, 255}, {132, 0, 255, 255},
    {0, 13, 255, 255}, {0, 180, 255, 255}, {0, 255, 200, 255},
};

} // namespace

void loadMedia()
{
    loadTextures();
    demo.music = Mix_LoadMUS("dada/delfiini.kalako");
    if (demo.music == nullptr) {
        printf("Mix_LoadMUS(\"dada/delfiini.kalako\"): %s\n", SDL_GetError());
    }
    loadFont();
    for (int i = 0; i < paletteSize; ++i) {
        demo.palette[i] = paletteColors[i];
    }
}

void loadTextures()
{
    demo.texSuikelois = loadTexture("dada/suikelois");
    yieldToBrowser();
    demo.texSumuuh = loadTexture("dada/sumuuh");
    yieldToBrowser();
    demo.texAstiasto = loadTexture("dada/astiasto.lentokone");
    yieldToBrowser();
    demo.texFont = loadTexture("dada/aerosoli");
}

void recoverRenderDevice()
{
    dropLostTextures();
    loadTextures();
}

SDL_Texture* loadTexture(const char* path)
{
    SDL_Surface* surface = IMG_Load(path);
    SDL_Texture* texture = SDL_CreateTextureFromSurface(demo.renderer, surface);
    if (texture == nullptr) {
        const char* error = SDL_GetError();
        printf("Failed to load %s !\n SDL Error: %s\n", path, error);
    }
    SDL_FreeSurface(surface);
    return texture;
}
