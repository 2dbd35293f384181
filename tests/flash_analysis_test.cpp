// The flashing-light analysis on synthetic frame sequences: square waves of colour at set rates.
#include "flash_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST(FlashAnalysis, RedLevelSeesASaturatedRedChangingBrightness)
{
    // Too small a change of luminance for the general threshold, and no
    // change of chromaticity, but (R - G - B) x 320 swings by 135.
    const Color darkerRed = {200, 0, 0};
    const FlashAnalysis analysis = squareWave(4.0, red, darkerRed, wholeFrame);
    ASSERT_EQ(failingRanges(analysis, redLevelFlash).size(), 1u);
    EXPECT_TRUE(failingRanges(analysis, redFlash).empty());
    EXPECT_TRUE(failingRanges(analysis, generalFlash).empty());
    const Color notSaturated = {255, 120, 120};
    const Color darkerNotSaturated = {200, 94, 94};
    EXPECT_TRUE(
        failingRanges(squareWave(4.0, notSaturated, darkerNotSaturated, wholeFrame), redLevelFlash)
            .empty());
}
