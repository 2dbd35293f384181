// The flashing-light analysis on synthetic frame sequences: square waves of colour at set rates.
#include "flash_analysis.h"
#include "flash_reduction.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int frameWidth = 96; // in cells of 2 px: 48x27, a 10° field 16x9 cells
constexpr int frameHeight = 54;
constexpr int fps = 60;

struct Color {
    unsigned char r, g, b;
};

struct Patch {
    int x, y, width, height;
};

const Color black = {0, 0, 0};
const Color white = {255, 255, 255};
const Color red = {255, 0, 0};
const Color greyAsBrightAsRed = {127, 127, 127};
const Patch wholeFrame = {0, 0, frameWidth, frameHeight};

// Two seconds of a black frame whose patch alternates between first and
// second hz times a second, starting with first; the finished analysis.
FlashAnalysis squareWave(double hz, Color first, Color second, Patch patch)
{
    FlashAnalysis analysis;
    startFlashAnalysis(&analysis, frameWidth, frameHeight, 2, fps);
    std::vector<unsigned char> rgb(frameWidth * frameHeight * 3);
    for (int frame = 0; frame < 2 * fps; ++frame) {
        const bool secondHalf = static_cast<int>(frame * 2 * hz / fps) % 2 == 1;
        const Color color = secondHalf ? second : first;
        for (int y = 0; y < frameHeight; ++y) {
            for (int x = 0; x < frameWidth; ++x) {
                const bool inside = x >= patch.x && x < patch.x + patch.width && y >= patch.y &&
                                    y < patch.y + patch.height;
                const Color pixel = inside ? color : black;
                unsigned char* out = &rgb[(y * frameWidth + x) * 3];
                out[0] = pixel.r;
                out[1] = pixel.g;
                out[2] = pixel.b;
            }
        }
        analyseFrame(&analysis, rgb.data());
    }
    return analysis;
}

} // namespace

TEST(FlashAnalysis, GeneralThresholdCountsRateAndArea)
{
    const FlashAnalysis fast = squareWave(5.0, black, white, wholeFrame);
    const std::vector<FlashRange> ranges = failingRanges(fast, generalFlash);
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0].lastFrame, 2 * fps - 1);
    EXPECT_DOUBLE_EQ(ranges[0].peakFlashesPerSecond, 5.0);
    EXPECT_DOUBLE_EQ(ranges[0].peakArea, 1.0);
    EXPECT_TRUE(failingRanges(fast, redFlash).empty());

    EXPECT_TRUE(failingRanges(squareWave(2.0, black, white, wholeFrame), generalFlash).empty());

    // 8x8 px, 16 of a field's 144 cells.
    const Patch small = {40, 20, 8, 8};
    EXPECT_TRUE(failingRanges(squareWave(5.0, black, white, small), generalFlash).empty());
}

TEST(FlashAnalysis, RedThresholdSeesChromaticityAlone)
{
    const FlashAnalysis analysis = squareWave(4.0, red, greyAsBrightAsRed, wholeFrame);
    const std::vector<FlashRange> ranges = failingRanges(analysis, redFlash);
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_DOUBLE_EQ(ranges[0].peakFlashesPerSecond, 4.0);
    EXPECT_TRUE(failingRanges(analysis, generalFlash).empty());
}

// A second of a still picture, two of a large patch flashing between red and
// black five times a second over it, two more of the picture: reduced by
// the stretches its analysis fails, it passes, and the frames more than
// half a second from them are as drawn.
TEST(FlashReduction, PassesAndLeavesTheRestAlone)
{
    constexpr int frameTotal = 5 * fps;
    const Patch patch = {8, 6, 80, 42};
    std::vector<std::vector<unsigned char>> frames;
    for (int frame = 0; frame < frameTotal; ++frame) {
        const bool flashing = frame >= fps && frame < 3 * fps;
        const bool lit = frame * 10 / fps % 2 == 0;
        std::vector<unsigned char> rgb(frameWidth * frameHeight * 3);
        for (int y = 0; y < frameHeight; ++y) {
            for (int x = 0; x < frameWidth; ++x) {
                const bool inside = x >= patch.x && x < patch.x + patch.width && y >= patch.y &&
                                    y < patch.y + patch.height;
                const Color still = {static_cast<unsigned char>(x * 2),
                                     static_cast<unsigned char>(y * 4), 90};
                const Color pixel = flashing && inside ? (lit ? red : black) : still;
                unsigned char* out = &rgb[(y * frameWidth + x) * 3];
                out[0] = pixel.r;
                out[1] = pixel.g;
                out[2] = pixel.b;
            }
        }
        frames.push_back(rgb);
    }
    FlashAnalysis before;
    startFlashAnalysis(&before, frameWidth, frameHeight, 2, fps);
    for (const std::vector<unsigned char>& rgb : frames) {
        analyseFrame(&before, rgb.data());
    }
    const std::vector<FlashRange> general = failingRanges(before, generalFlash);
    const std::vector<FlashRange> red = failingRanges(before, redFlash);
    ASSERT_EQ(general.size(), 1u);
    ASSERT_EQ(red.size(), 1u);

    FlashReduction reduction;
    startFlashReduction(&reduction, before);
    FlashAnalysis after;
    startFlashAnalysis(&after, frameWidth, frameHeight, 2, fps);
    std::vector<unsigned char> reduced;
    std::vector<unsigned char> original;
    int handedOut = 0;
    const int32_t firstTouched = std::min(general[0].firstFrame, red[0].firstFrame) - fps / 2;
    const int32_t lastTouched = std::max(general[0].lastFrame, red[0].lastFrame) + fps / 2;
    for (int frame = 0; frame <= frameTotal; ++frame) {
        if (frame < frameTotal) {
            addFrame(&reduction, frames[frame]);
        }
        while (takeReducedFrame(&reduction, &reduced, &original)) {
            analyseFrame(&after, reduced.data());
            if (handedOut < firstTouched || handedOut > lastTouched) {
                EXPECT_EQ(reduced, frames[handedOut]) << "frame " << handedOut;
            }
            ++handedOut;
        }
    }
    EXPECT_EQ(handedOut, frameTotal);
    EXPECT_TRUE(failingRanges(after, generalFlash).empty());
    EXPECT_TRUE(failingRanges(after, redFlash).empty());
}
