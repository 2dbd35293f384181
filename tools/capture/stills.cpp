// Capture tool: stills of chosen moments as PNG files, optionally shrunk.
#include "capture.h"

#include <SDL.h>
#include <SDL_image.h>

#include <cstdio>

namespace {

// Box-filters packed RGB of width x height down to 1/shrink of it.
std::vector<unsigned char> shrunk(const std::vector<unsigned char>& pixels, int width, int height,
                                  int shrink)
{
    const int outWidth = width / shrink;
    const int outHeight = height / shrink;
    std::vector<unsigned char> result(static_cast<size_t>(outWidth) * outHeight * bytesPerPixel);
    for (int y = 0; y < outHeight; ++y) {
        for (int x = 0; x < outWidth; ++x) {
            for (int channel = 0; channel < bytesPerPixel; ++channel) {
                int sum = 0;
                for (int dy = 0; dy < shrink; ++dy) {
                    for (int dx = 0; dx < shrink; ++dx) {
                        const size_t source =
                            (static_cast<size_t>(y * shrink + dy) * width + x * shrink + dx) *
                                bytesPerPixel +
                            channel;
                        sum += pixels[source];
                    }
                }
                result[(static_cast<size_t>(y) * outWidth + x) * bytesPerPixel + channel] =
                    static_cast<unsigned char>((sum + shrink * shrink / 2) / (shrink * shrink));
            }
        }
    }
    return result;
}

bool savePng(const std::vector<unsigned char>& pixels, int width, int height,
             const std::string& path)
{
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormatFrom(const_cast<unsigned char*>(pixels.data()), width, height,
                                           24, width * bytesPerPixel, SDL_PIXELFORMAT_RGB24);
    const bool saved = surface != nullptr && IMG_SavePNG(surface, path.c_str()) == 0;
    SDL_FreeSurface(surface);
    return saved;
}

} // namespace

int captureStills(const Options& options)
{
    std::vector<unsigned char> pixels;
    const int shrink = options.shrink;
    for (const int32_t ms : options.atMs) {
        seekTo(ms);
        char name[32];
        snprintf(name, sizeof name, "frame_%06d.png", static_cast<int>(ms));
        const std::string path = options.outDir + "/" + name;
        if (!drawAndRead(&pixels)) {
            return fail(std::string("cannot read the frame back: ") + SDL_GetError());
        }
        const bool saved = shrink == 1
                               ? savePng(pixels, options.width, options.height, path)
                               : savePng(shrunk(pixels, options.width, options.height, shrink),
                                         options.width / shrink, options.height / shrink, path);
        if (!saved) {
            return fail("cannot write " + path + ": " + SDL_GetError());
        }
        printf("%s\n", path.c_str());
    }
    return 0;
}
