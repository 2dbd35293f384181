// Images as BMP files: decoded as the program decodes them, laid out as SDL reads them back.
#include "web/image_bmp.h"

#include <SDL.h>
#include <SDL_image.h>

#include <cstdint>
#include <cstring>

namespace {

constexpr uint32_t fileHeaderBytes = 14;
// BITMAPV4HEADER: the first with an alpha mask, which SDL reads.
constexpr uint32_t infoHeaderBytes = 108;
constexpr uint32_t bitFields = 3;
constexpr uint32_t srgbColourSpace = 0x73524742;
constexpr uint32_t pixelsPerMetre = 2835;

void putLE16(std::vector<unsigned char>* bytes, uint16_t value)
{
    bytes->push_back(static_cast<unsigned char>(value));
    bytes->push_back(static_cast<unsigned char>(value >> 8));
}

void putLE32(std::vector<unsigned char>* bytes, uint32_t value)
{
    putLE16(bytes, static_cast<uint16_t>(value));
    putLE16(bytes, static_cast<uint16_t>(value >> 16));
}

// A BMP's rows are padded to whole 32-bit words, as SDL pads a surface's.
uint32_t bmpRowBytes(int width, int bitsPerPixel)
{
    return (static_cast<uint32_t>(width) * static_cast<uint32_t>(bitsPerPixel) + 31) / 32 * 4;
}

// The file and info headers of a top-down BMP whose bit fields give SDL the
// surface's own layout: red, green, blue (and alpha) in byte order. Bit
// fields at 24 bits are SDL's reading, not every reader's; only SDL reads these.
void putHeaders(std::vector<unsigned char>* bmp, const SDL_Surface* surface)
{
    const int bitsPerPixel = surface->format->BitsPerPixel;
    const uint32_t pixelBytes =
        bmpRowBytes(surface->w, bitsPerPixel) * static_cast<uint32_t>(surface->h);
    bmp->push_back('B');
    bmp->push_back('M');
    putLE32(bmp, fileHeaderBytes + infoHeaderBytes + pixelBytes);
    putLE32(bmp, 0);
    putLE32(bmp, fileHeaderBytes + infoHeaderBytes);
    putLE32(bmp, infoHeaderBytes);
    putLE32(bmp, static_cast<uint32_t>(surface->w));
    // Negative: the top row first, as the surface holds them.
    putLE32(bmp, static_cast<uint32_t>(-surface->h));
    putLE16(bmp, 1);
    putLE16(bmp, static_cast<uint16_t>(bitsPerPixel));
    putLE32(bmp, bitFields);
    putLE32(bmp, pixelBytes);
    putLE32(bmp, pixelsPerMetre);
    putLE32(bmp, pixelsPerMetre);
    putLE32(bmp, 0);
    putLE32(bmp, 0);
    putLE32(bmp, surface->format->Rmask);
    putLE32(bmp, surface->format->Gmask);
    putLE32(bmp, surface->format->Bmask);
    putLE32(bmp, surface->format->Amask);
    putLE32(bmp, srgbColourSpace);
    // The colour space's end points and gamma, unused with sRGB.
    bmp->resize(fileHeaderBytes + infoHeaderBytes, 0);
}

// The surface's rows as they are, each padded.
void putRows(std::vector<unsigned char>* bmp, const SDL_Surface* surface)
{
    const auto* pixels = static_cast<const unsigned char*>(surface->pixels);
    const size_t rowBytes = static_cast<size_t>(surface->w) * surface->format->BytesPerPixel;
    const size_t padding = bmpRowBytes(surface->w, surface->format->BitsPerPixel) - rowBytes;
    for (int y = 0; y < surface->h; ++y) {
        const unsigned char* row =
            pixels + static_cast<size_t>(y) * static_cast<size_t>(surface->pitch);
        bmp->insert(bmp->end(), row, row + rowBytes);
        bmp->insert(bmp->end(), padding, 0);
    }
}

} // namespace

bool imageAsBmp(const unsigned char* data, int size, std::vector<unsigned char>* bmp)
{
    SDL_RWops* file = SDL_RWFromConstMem(data, size);
    if (file == nullptr) {
        return false;
    }
    SDL_Surface* surface = IMG_Load_RW(file, 1);
    if (surface == nullptr) {
        return false;
    }
    const Uint32 format = surface->format->format;
    const bool converted = format == SDL_PIXELFORMAT_RGBA32 || format == SDL_PIXELFORMAT_RGB24;
    if (converted) {
        bmp->clear();
        putHeaders(bmp, surface);
        putRows(bmp, surface);
    }
    SDL_FreeSurface(surface);
    return converted;
}
