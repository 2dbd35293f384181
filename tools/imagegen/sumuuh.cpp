// The fog tile: domain-warped fractal value noise on lattices that wrap, so the tile repeats
// without seams.
#include "images.h"

#include <cmath>

namespace {

constexpr int32_t tileSize = 1024;
constexpr int32_t octaveCount = 6;
constexpr int32_t basePeriod = 4; // lattice cells across the tile in the coarsest octave
constexpr uint32_t densitySeed = 0x5a17u;
constexpr uint32_t warpSeedX = 0x77e1u;
constexpr uint32_t warpSeedY = 0x3c0du;
constexpr float warpStrength = 0.07f; // tile widths
constexpr float minAlpha = 40.0f / 255.0f;

// Quintic fade: continuous second derivative, so no creases show when magnified.
float fade(float t)
{
    return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}

// Lattice value at integer point (i, j), the lattice wrapping every period cells.
float latticeValue(int32_t i, int32_t j, int32_t period, uint32_t seed)
{
    const int32_t wrappedI = ((i % period) + period) % period;
    const int32_t wrappedJ = ((j % period) + period) % period;
    return hashUnit(static_cast<uint32_t>(wrappedI), static_cast<uint32_t>(wrappedJ),
                    seed + static_cast<uint32_t>(period));
}

// Value noise at (x, y) in tile units (one tile = [0,1)), period cells across
// the tile; periodic with period 1 in both directions. Range 0..1.
float periodicNoise(float x, float y, int32_t period, uint32_t seed)
{
    const float fx = x * static_cast<float>(period);
    const float fy = y * static_cast<float>(period);
    const float floorX = std::floor(fx);
    const float floorY = std::floor(fy);
    const int32_t i = static_cast<int32_t>(floorX);
    const int32_t j = static_cast<int32_t>(floorY);
    const float tx = fade(fx - floorX);
    const float ty = fade(fy - floorY);
    const float top =
        mix(latticeValue(i, j, period, seed), latticeValue(i + 1, j, period, seed), tx);
    const float bottom =
        mix(latticeValue(i, j + 1, period, seed), latticeValue(i + 1, j + 1, period, seed), tx);
    return mix(top, bottom, ty);
}

// Sum of octaves, each twice the frequency and half the weight of the one
// before, normalised back to 0..1. Periodic with period 1.
float fractalNoise(float x, float y, int32_t octaves, uint32_t seed)
{
    float sum = 0.0f;
    float weight = 1.0f;
    float totalWeight = 0.0f;
    for (int32_t octave = 0; octave < octaves; ++octave) {
        sum += weight * periodicNoise(x, y, basePeriod << octave,
                                      seed + static_cast<uint32_t>(octave) * 1013u);
        totalWeight += weight;
        weight *= 0.5f;
    }
    return sum / totalWeight;
}

// Cloud density at a tile position: the fractal noise sampled through a
// periodic displacement, which turns blobs into swirls and keeps the period.
float cloudDensity(float x, float y)
{
    const float warpX = warpStrength * (fractalNoise(x, y, 3, warpSeedX) - 0.5f);
    const float warpY = warpStrength * (fractalNoise(x, y, 3, warpSeedY) - 0.5f);
    return fractalNoise(x + 2.0f * warpX, y + 2.0f * warpY, octaveCount, densitySeed);
}

// Translucent white fog: thin veils at minAlpha, dense cloud opaque, its
// colour a shade brighter where it is dense.
Colour fogColour(float density)
{
    const float amount = smoothstep(0.28f, 0.72f, density);
    const float shade = mix(0.86f, 1.0f, amount);
    return {shade, shade, mix(shade, 1.0f, 0.5f), mix(minAlpha, 1.0f, amount)};
}

} // namespace

Canvas paintSumuuh()
{
    Canvas canvas = makeCanvas(tileSize, tileSize);
    const float step = 1.0f / static_cast<float>(tileSize);
    for (int32_t y = 0; y < tileSize; ++y) {
        for (int32_t x = 0; x < tileSize; ++x) {
            const float density =
                cloudDensity(static_cast<float>(x) * step, static_cast<float>(y) * step);
            pixelAt(canvas, x, y) = fogColour(density);
        }
    }
    return canvas;
}
