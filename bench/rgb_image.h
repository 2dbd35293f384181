// The benchmarks' one way to read a PNG still: as tightly packed RGB bytes.
#pragma once

#include <SDL.h>
#include <SDL_image.h>

#include <string>
#include <vector>

// Reads the image at path into rgb, row after row, three bytes a pixel, and
// its size into width and height; false where it cannot be read.
inline bool loadRgbImage(const std::string& path, std::vector<unsigned char>* rgb, int* width,
                         int* height)
{
    SDL_Surface* loaded = IMG_Load(path.c_str());
    SDL_Surface* converted =
        loaded != nullptr ? SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB24, 0) : nullptr;
    SDL_FreeSurface(loaded);
    if (converted == nullptr) {
        return false;
    }
    *width = converted->w;
    *height = converted->h;
    rgb->clear();
    for (int row = 0; row < converted->h; ++row) {
        const auto* line =
            static_cast<const unsigned char*>(converted->pixels) + row * converted->pitch;
        rgb->insert(rgb->end(), line, line + converted->w * 3);
    }
    SDL_FreeSurface(converted);
    return true;
}
