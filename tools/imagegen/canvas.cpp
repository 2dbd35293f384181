// Float canvas helpers and their conversion to 8-bit SDL surfaces saved by SDL2_image.
#include "canvas.h"

#include <SDL.h>
#include <SDL_image.h>

#include <cmath>
#include <cstdio>

Canvas makeCanvas(int32_t width, int32_t height)
{
    return {width, height,
            std::vector<Colour>(static_cast<size_t>(width) * static_cast<size_t>(height),
                                {1, 1, 1, 0})};
}

Colour& pixelAt(Canvas& canvas, int32_t x, int32_t y)
{
    return canvas.pixels[static_cast<size_t>(y) * static_cast<size_t>(canvas.width) +
                         static_cast<size_t>(x)];
}

float centredCoordinate(int32_t index, int32_t size)
{
    const float half = 0.5f * static_cast<float>(size);
    return (static_cast<float>(index) + 0.5f - half) / half;
}

float smoothstep(float edge0, float edge1, float x)
{
    const float t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3.0f - 2.0f * t);
}

float clamp01(float x)
{
    return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x);
}

float mix(float a, float b, float t)
{
    return a + (b - a) * t;
}

Colour mixColour(Colour a, Colour b, float t)
{
    return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t), mix(a.a, b.a, t)};
}

uint32_t hashPoint(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = seed ^ 0x9e3779b9u;
    h ^= x * 0x85ebca6bu;
    h = (h << 13) | (h >> 19);
    h ^= y * 0xc2b2ae35u;
    h *= 0x27d4eb2fu;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    h *= 0x297a2d39u;
    h ^= h >> 15;
    return h;
}

float hashUnit(uint32_t x, uint32_t y, uint32_t seed)
{
    return static_cast<float>(hashPoint(x, y, seed) >> 8) * (1.0f / 16777216.0f);
}

namespace {

// A 0..1 channel rounded to the nearest of 256 levels, out-of-range values clamped.
uint8_t toByte(float channel)
{
    return static_cast<uint8_t>(std::lround(clamp01(channel) * 255.0f));
}

// The canvas as an 8-bit RGBA surface; null when SDL cannot allocate it.
SDL_Surface* toSurface(const Canvas& canvas)
{
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormat(0, canvas.width, canvas.height, 32, SDL_PIXELFORMAT_RGBA32);
    if (surface == nullptr) {
        return nullptr;
    }
    for (int32_t y = 0; y < canvas.height; ++y) {
        uint8_t* row = static_cast<uint8_t*>(surface->pixels) + y * surface->pitch;
        for (int32_t x = 0; x < canvas.width; ++x) {
            const Colour& colour = canvas.pixels[static_cast<size_t>(y * canvas.width + x)];
            row[x * 4 + 0] = toByte(colour.r);
            row[x * 4 + 1] = toByte(colour.g);
            row[x * 4 + 2] = toByte(colour.b);
            row[x * 4 + 3] = toByte(colour.a);
        }
    }
    return surface;
}

} // namespace

bool savePng(const Canvas& canvas, const std::string& path)
{
    SDL_Surface* surface = toSurface(canvas);
    const int status = surface != nullptr ? IMG_SavePNG(surface, path.c_str()) : -1;
    SDL_FreeSurface(surface);
    if (status != 0) {
        fprintf(stderr, "imagegen: cannot write %s: %s\n", path.c_str(), SDL_GetError());
    }
    return status == 0;
}

bool saveJpeg(const Canvas& canvas, const std::string& path, int quality)
{
    SDL_Surface* surface = toSurface(canvas);
    const int status = surface != nullptr ? IMG_SaveJPG(surface, path.c_str(), quality) : -1;
    SDL_FreeSurface(surface);
    if (status != 0) {
        fprintf(stderr, "imagegen: cannot write %s: %s\n", path.c_str(), SDL_GetError());
    }
    return status == 0;
}
