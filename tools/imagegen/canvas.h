// Shared pieces of the image generator: a float canvas, shaping curves, hashing and file output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Straight (not premultiplied) colour, every channel 0..1.
struct Colour {
    float r;
    float g;
    float b;
    float a;
};

struct Canvas {
    int32_t width;
    int32_t height;
    std::vector<Colour> pixels; // row by row from the top
};

constexpr float pi = 3.14159265358979f;

// A canvas of the given size, every pixel transparent white.
Canvas makeCanvas(int32_t width, int32_t height);

// Pixel at (x, y); both must lie inside the canvas.
Colour& pixelAt(Canvas& canvas, int32_t x, int32_t y);

// The centre of pixel number index along a side of size pixels, mapped to -1..1
// from the left or top edge. Rows count downward: a picture drawn y up negates
// the row's coordinate.
float centredCoordinate(int32_t index, int32_t size);

// 0 below edge0, 1 above edge1, a smooth Hermite ramp between; edge0 != edge1.
float smoothstep(float edge0, float edge1, float x);

// x limited to 0..1.
float clamp01(float x);

// Linear blend, t = 0 gives a, t = 1 gives b.
float mix(float a, float b, float t);
Colour mixColour(Colour a, Colour b, float t);

// Well-mixed 32-bit hash of a lattice point and a seed.
uint32_t hashPoint(uint32_t x, uint32_t y, uint32_t seed);

// The hash mapped to [0, 1).
float hashUnit(uint32_t x, uint32_t y, uint32_t seed);

// Writes an RGBA PNG. False, with a message on stderr, when it cannot.
bool savePng(const Canvas& canvas, const std::string& path);

// Writes a JPEG of the colour channels at the given quality (1..100).
// False, with a message on stderr, when it cannot.
bool saveJpeg(const Canvas& canvas, const std::string& path, int quality);
