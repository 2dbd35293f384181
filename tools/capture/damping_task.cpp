// Capture tool: the damping table of demo --reduce-flashes, from a rendering of the show.
#include "capture.h"
#include "damping_table.h"
#include "flash_analysis.h"
#include "shell/damping_table.h"

#include <SDL.h>
#include <SDL_image.h>

#include <cstdio>

int writeDampingTable(const Options& options)
{
    FlashAnalysis analysis;
    DampingSamples samples;
    const Uint64 started = SDL_GetPerformanceCounter();
    if (!analyseShow(options, &analysis, &samples)) {
        return interrupted ? fail("interrupted; no table written") : 1;
    }
    const std::vector<unsigned char> texels = dampingTexels(samples, analysis);
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<unsigned char*>(texels.data()), dampingColumns, dampingRows * samples.steps, 32,
        dampingColumns * dampingTexelBytes, SDL_PIXELFORMAT_RGBA32);
    const bool saved = surface != nullptr && IMG_SavePNG(surface, options.tablePath.c_str()) == 0;
    SDL_FreeSurface(surface);
    if (!saved) {
        return fail("cannot write " + options.tablePath + ": " + SDL_GetError());
    }
    printf("%s: %d steps of %dx%d cells, worked out in %.0f s\n", options.tablePath.c_str(),
           samples.steps, dampingColumns, dampingRows, secondsSince(started));
    return 0;
}
