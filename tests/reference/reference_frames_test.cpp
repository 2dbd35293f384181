// Frames drawn by the real renderer match the stored reference frames, so a
// change in the picture is caught and not only a change in the calls.
#include <SDL.h>
#include <SDL_image.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Mean over all channels of |a - b| stays below this, and no more than
// outlierShare of the pixels may differ by more than outlierLevel: a moved
// sprite or a wrong tint fails, rasteriser rounding does not.
constexpr double meanTolerance = 1.5;
constexpr int outlierLevel = 48;
constexpr double outlierShare = 0.002;

struct Difference {
    double mean;
    double outliers; // share of pixels with a channel beyond outlierLevel
};

SDL_Surface* loadRgb(const fs::path& path)
{
    SDL_Surface* loaded = IMG_Load(path.c_str());
    if (loaded == nullptr) {
        return nullptr;
    }
    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB24, 0);
    SDL_FreeSurface(loaded);
    return rgb;
}

Difference compare(const SDL_Surface* a, const SDL_Surface* b)
{
    long total = 0;
    long outliers = 0;
    for (int y = 0; y < a->h; ++y) {
        const auto* rowA = static_cast<const unsigned char*>(a->pixels) + y * a->pitch;
        const auto* rowB = static_cast<const unsigned char*>(b->pixels) + y * b->pitch;
        for (int x = 0; x < a->w; ++x) {
            int worst = 0;
            for (int channel = 0; channel < 3; ++channel) {
                const int delta = std::abs(rowA[x * 3 + channel] - rowB[x * 3 + channel]);
                total += delta;
                worst = std::max(worst, delta);
            }
            outliers += worst > outlierLevel ? 1 : 0;
        }
    }
    const double pixels = static_cast<double>(a->w) * a->h;
    return {static_cast<double>(total) / (pixels * 3), static_cast<double>(outliers) / pixels};
}

} // namespace

TEST(ReferenceFrames, EachCapturedFrameMatchesItsReference)
{
    const fs::path references = REFERENCE_DIR;
    const fs::path captured = CAPTURED_DIR;
    int compared = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(references)) {
        const fs::path name = entry.path().filename();
        SCOPED_TRACE(name.string());
        SDL_Surface* expected = loadRgb(entry.path());
        SDL_Surface* actual = loadRgb(captured / name);
        ASSERT_NE(expected, nullptr) << IMG_GetError();
        ASSERT_NE(actual, nullptr) << "not captured: " << (captured / name);
        ASSERT_EQ(actual->w, expected->w);
        ASSERT_EQ(actual->h, expected->h);
        const Difference difference = compare(actual, expected);
        EXPECT_LT(difference.mean, meanTolerance);
        EXPECT_LT(difference.outliers, outlierShare);
        SDL_FreeSurface(expected);
        SDL_FreeSurface(actual);
        ++compared;
    }
    EXPECT_GE(compared, 10);
}
