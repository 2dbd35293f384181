// Writes the demo's images into the dada directory given on the command line.
#define SDL_MAIN_HANDLED
#include "images.h"

#include "common/generator_args.h"

#include <cstdio>
#include <string>

namespace {

constexpr int jpegQuality = 90;

} // namespace

// imagegen <dada dir>
int main(int argc, char** argv)
{
    const int usageStatus = checkGeneratorArgs(argc, argv, "imagegen", "<dada dir>", 1);
    if (usageStatus >= 0) {
        return usageStatus;
    }
    const std::string directory = std::string(argv[1]) + "/";
    if (!savePng(paintSuikelois(), directory + "suikelois")) {
        return 1;
    }
    if (!savePng(paintSumuuh(), directory + "sumuuh")) {
        return 1;
    }
    if (!saveJpeg(paintAstiasto(), directory + "astiasto.lentokone", jpegQuality)) {
        return 1;
    }
    return 0;
}
