// The page's image decoder, the program's own PNG and JPEG decoder run in a worker.
#include "web/image_bmp.h"

#include <emscripten.h>

#include <vector>

// Hands the worker a copy of the BMP's bytes.
EM_JS(void, handOverBmp, (const unsigned char* bmp, int size),
      { Module["imageDecoded"](HEAPU8.slice(bmp, bmp + size)); });

// Decodes the file of size bytes at data; returns 1 once its BMP is handed
// over, 0 when the program is left to decode it.
extern "C" EMSCRIPTEN_KEEPALIVE int decodeImage(const unsigned char* data, int size)
{
    std::vector<unsigned char> bmp;
    if (!imageAsBmp(data, size, &bmp)) {
        return 0;
    }
    handOverBmp(bmp.data(), static_cast<int>(bmp.size()));
    return 1;
}
