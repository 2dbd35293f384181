// Process entry, following SDL's main convention.
#define SDL_MAIN_HANDLED
#include "shell/shell.h"

#include <SDL.h>

#include <cstdlib>

int main(int argc, char* argv[])
{
    SDL_SetMainReady();
    exit(demoMain(argc, argv));
}
