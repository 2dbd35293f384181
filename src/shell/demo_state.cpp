// Storage of the one shared demo state.
#include "shell/demo_state.h"

DemoState demo;

const SDL_Color& paletteColor(int32_t index)
{
    // % is the signed remainder; shift negative results back into 0..8.
    const int32_t wrapped = index % paletteSize;
    return demo.palette[wrapped < 0 ? wrapped + paletteSize : wrapped];
}
