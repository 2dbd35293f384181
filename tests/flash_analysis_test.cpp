// The flashing-light analysis on synthetic frame sequences: square waves of colour at set rates.
#include "damping_table.h"
#include "flash_analysis.h"
#include "shell/damping_table.h"

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

namespace {

// One frame of a still picture with a large patch that flashes between red
// and black five times a second from 2 s to 4 s, at ms.
std::vector<unsigned char> patchFlashing(int32_t ms)
{
    const Patch patch = {8, 6, 80, 42};
    const bool flashing = ms >= 2000 && ms < 4000;
    const bool lit = ms / 100 % 2 == 0;
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
    return rgb;
}

// What the renderer makes of rgb at ms with the table: the texels of the
// two steps around ms mixed, stretched over the frame between cell
// centres, the picture multiplied by the factor and the offset added.
void applyTable(const std::vector<unsigned char>& texels, int32_t ms,
                std::vector<unsigned char>* rgb)
{
    const int stepBytes = dampingStepBytes;
    const int steps = static_cast<int>(texels.size()) / stepBytes;
    const int step = std::min(ms / dampingStepMs, steps - 1);
    const int next = std::min(step + 1, steps - 1);
    const float rest = static_cast<float>(ms % dampingStepMs) / dampingStepMs;
    const auto texel = [&](int column, int row, int channel) {
        const size_t at = static_cast<size_t>(row * dampingColumns + column) * 4 + channel;
        return (1.0f - rest) * texels[step * stepBytes + at] + rest * texels[next * stepBytes + at];
    };
    const int cellSize = frameWidth / dampingColumns;
    for (int y = 0; y < frameHeight; ++y) {
        const float down = std::clamp((y + 0.5f) / cellSize - 0.5f, 0.0f, dampingRows - 1.0f);
        const int row = std::min(static_cast<int>(down), dampingRows - 2);
        for (int x = 0; x < frameWidth; ++x) {
            const float across =
                std::clamp((x + 0.5f) / cellSize - 0.5f, 0.0f, dampingColumns - 1.0f);
            const int column = std::min(static_cast<int>(across), dampingColumns - 2);
            const auto at = [&](int channel) {
                const float wx = across - column;
                const float wy = down - row;
                return (1 - wy) * ((1 - wx) * texel(column, row, channel) +
                                   wx * texel(column + 1, row, channel)) +
                       wy * ((1 - wx) * texel(column, row + 1, channel) +
                             wx * texel(column + 1, row + 1, channel));
            };
            unsigned char* pixel = &(*rgb)[(y * frameWidth + x) * 3];
            for (int channel = 0; channel < 3; ++channel) {
                const float out = pixel[channel] * at(3) / 255.0f + at(channel);
                pixel[channel] = static_cast<unsigned char>(std::min(255.0f, out + 0.5f));
            }
        }
    }
}

} // namespace

// The table worked out from 60 frames a second damps the flashing patch so
// that it passes when drawn at 144, and leaves the seconds away from it alone.
TEST(DampingTable, PassesAtAnotherFrameRateAndLeavesTheRestAlone)
{
    constexpr int32_t showMs = 6000;
    FlashAnalysis normal;
    startFlashAnalysis(&normal, frameWidth, frameHeight, 2, fps);
    normal.noteAbove = dampingNoteAbove;
    DampingSamples samples;
    startDampingSamples(&samples, normal.grid, showMs / dampingStepMs + 1);
    for (int frame = 0; frame * 1000 / fps < showMs; ++frame) {
        const std::vector<unsigned char> rgb = patchFlashing(frame * 1000 / fps);
        analyseFrame(&normal, rgb.data());
        addDampingSample(&samples, frame * 1000 / fps, normal.cellColors);
    }
    ASSERT_FALSE(failingRanges(normal, generalFlash).empty());
    const std::vector<unsigned char> texels = dampingTexels(samples, normal);

    constexpr int fastFps = 144;
    FlashAnalysis damped;
    startFlashAnalysis(&damped, frameWidth, frameHeight, 2, fastFps);
    for (int frame = 0; frame * 1000 / fastFps < showMs; ++frame) {
        const int32_t ms = frame * 1000 / fastFps;
        std::vector<unsigned char> rgb = patchFlashing(ms);
        const std::vector<unsigned char> drawn = rgb;
        applyTable(texels, ms, &rgb);
        analyseFrame(&damped, rgb.data());
        if (ms < 500 || ms > 5000) {
            EXPECT_EQ(rgb, drawn) << ms << " ms";
        }
    }
    for (const FlashKind kind : {generalFlash, redFlash, redLevelFlash}) {
        EXPECT_TRUE(failingRanges(damped, kind).empty()) << "kind " << kind;
    }
}
