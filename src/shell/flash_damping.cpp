// Reduced flashing: the damping table worked out ahead from a rendering of the show, drawn
// over each frame with the renderer's own blending.
// The show is the same at every run, so where and how much to damp is known in advance; the
// table holds it as a factor and an offset per 40 px cell and 200 ms step that change slowly,
// so a frame at any moment, at any frame rate and on any screen, gets the mix of the two
// steps around it: two small textures, stretched over the picture with linear filtering,
// one multiplying it and one adding to it. No frame is read back.
#include "shell/damping_table.h"
#include "shell/demo_state.h"
#include "shell/shell.h"

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>

namespace {

constexpr int dampingCells = dampingColumns * dampingRows;
constexpr unsigned char opaque = 255;

bool leavesAsDrawn(const unsigned char* step)
{
    for (int cell = 0; cell < dampingCells; ++cell) {
        const unsigned char* texel = step + cell * dampingTexelBytes;
        if (texel[0] != 0 || texel[1] != 0 || texel[2] != 0 || texel[3] != opaque) {
            return false;
        }
    }
    return true;
}

SDL_Texture* makeDampingTexture(SDL_BlendMode blendMode)
{
    SDL_Texture* texture =
        SDL_CreateTexture(demo.renderer, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STREAMING,
                          dampingColumns, dampingRows);
    SDL_SetTextureBlendMode(texture, blendMode);
    return texture;
}

// The value a moment rest ms after the step from gets, mixing from and to.
unsigned char mixed(unsigned char from, unsigned char to, int32_t rest)
{
    return static_cast<unsigned char>(
        (from * (dampingStepMs - rest) + to * rest + dampingStepMs / 2) / dampingStepMs);
}

} // namespace

bool startFlashDamping()
{
    SDL_Surface* loaded = IMG_Load(dampingTablePath);
    SDL_Surface* table =
        loaded != nullptr ? SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0) : nullptr;
    SDL_FreeSurface(loaded);
    // A table that does not cover the whole show would leave part of it undamped.
    if (table == nullptr || table->w != dampingColumns || table->h != dampingRows * dampingSteps) {
        printf("Failed to load %s !\n SDL Error: %s\n", dampingTablePath,
               table == nullptr ? SDL_GetError() : "not a damping table");
        SDL_FreeSurface(table);
        return false;
    }
    demo.dampingTable.resize(static_cast<size_t>(dampingSteps) * dampingStepBytes);
    const auto* pixels = static_cast<const unsigned char*>(table->pixels);
    for (int y = 0; y < table->h; ++y) {
        std::copy_n(pixels + static_cast<size_t>(y) * table->pitch,
                    dampingColumns * dampingTexelBytes,
                    demo.dampingTable.begin() +
                        static_cast<ptrdiff_t>(y) * dampingColumns * dampingTexelBytes);
    }
    SDL_FreeSurface(table);
    demo.dampedSteps.resize(dampingSteps);
    for (int step = 0; step < dampingSteps; ++step) {
        demo.dampedSteps[step] =
            leavesAsDrawn(&demo.dampingTable[static_cast<size_t>(step) * dampingStepBytes]) ? 0 : 1;
    }
    demo.dampingFactors.assign(dampingStepBytes, opaque);
    demo.dampingOffsets.assign(dampingStepBytes, opaque);
    makeDampingTextures();
    return true;
}

void makeDampingTextures()
{
    demo.texDampingFactor = makeDampingTexture(SDL_BLENDMODE_MOD);
    demo.texDampingOffset = makeDampingTexture(SDL_BLENDMODE_ADD);
}

void drawFlashDamping()
{
    const auto steps = static_cast<int32_t>(demo.dampedSteps.size());
    if (steps == 0) {
        return;
    }
    const int32_t ms = std::clamp<int32_t>(demo.elapsedMs, 0, (steps - 1) * dampingStepMs);
    const int32_t step = ms / dampingStepMs;
    const int32_t next = std::min(step + 1, steps - 1);
    const int32_t rest = ms % dampingStepMs;
    if (demo.dampedSteps[step] == 0 && (rest == 0 || demo.dampedSteps[next] == 0)) {
        return;
    }
    const unsigned char* from = &demo.dampingTable[static_cast<size_t>(step) * dampingStepBytes];
    const unsigned char* to = &demo.dampingTable[static_cast<size_t>(next) * dampingStepBytes];
    for (int i = 0; i < dampingStepBytes; i += dampingTexelBytes) {
        const unsigned char factor = mixed(from[i + 3], to[i + 3], rest);
        demo.dampingFactors[i] = factor;
        demo.dampingFactors[i + 1] = factor;
        demo.dampingFactors[i + 2] = factor;
        for (int channel = 0; channel < 3; ++channel) {
            demo.dampingOffsets[i + channel] = mixed(from[i + channel], to[i + channel], rest);
        }
    }
    const int pitch = dampingColumns * dampingTexelBytes;
    SDL_UpdateTexture(demo.texDampingFactor, nullptr, demo.dampingFactors.data(), pitch);
    SDL_UpdateTexture(demo.texDampingOffset, nullptr, demo.dampingOffsets.data(), pitch);
    const SDL_Rect picture = {0, 0, screenWidth, screenHeight};
    SDL_RenderCopy(demo.renderer, demo.texDampingFactor, nullptr, &picture);
    SDL_RenderCopy(demo.renderer, demo.texDampingOffset, nullptr, &picture);
}
