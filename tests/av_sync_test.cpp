// The sync rig's picture clock on synthetic recordings: a program drawing
// the red saw-tooth at its own moments, grabbed every 4 ms.
#include "picture_clock.h"
#include "scenes/show_values.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr int32_t grabMs = 4;
constexpr int32_t drawMs = 5;
constexpr int32_t recordFromMs = 59000;
constexpr int32_t recordToMs = 66000;
// Wall seconds at show time 0.
constexpr double wallAtShowStart = 1000.0;
// Of a 16x9 grid, the patches the background fills; the others hold white text.
constexpr size_t patches = 144;
constexpr size_t backgroundPatches = 120;

// The show's own background red at show time e, as scene 3 draws it.
double shownRed(int32_t e)
{
    return e > redBeatsAfterMs ? static_cast<double>(backgroundRed(e)) : 0.0;
}

// A program that draws every drawMs but draws nothing in (gapFromMs, gapToMs).
struct Drawing {
    int32_t gapFromMs;
    int32_t gapToMs;
};

std::vector<int32_t> drawnMoments(const Drawing& drawing)
{
    std::vector<int32_t> moments;
    for (int32_t e = recordFromMs - drawMs; e <= recordToMs; e += drawMs) {
        if (e <= drawing.gapFromMs || e >= drawing.gapToMs) {
            moments.push_back(e);
        }
    }
    return moments;
}

// The latest moment drawn by show time g.
int32_t shownAt(const std::vector<int32_t>& drawn, int32_t g)
{
    int32_t shown = drawn.front();
    for (const int32_t e : drawn) {
        if (e <= g) {
            shown = e;
        }
    }
    return shown;
}

std::vector<Frame> recording(const std::vector<int32_t>& drawn)
{
    std::vector<Frame> frames;
    for (int32_t g = recordFromMs; g <= recordToMs; g += grabMs) {
        Frame frame{wallAtShowStart + g / 1000.0, std::vector<double>(patches, 255.0)};
        std::fill_n(frame.reds.begin(), backgroundPatches, shownRed(shownAt(drawn, g)));
        frames.push_back(frame);
    }
    return frames;
}

// The background's drops a viewer sees, each at the last 128 + 256 k ms
// passed by the frame that shows it.
std::vector<double> visibleDrops(const std::vector<int32_t>& drawn)
{
    std::vector<double> drops;
    for (size_t i = 1; i < drawn.size(); ++i) {
        if (shownRed(drawn[i - 1]) - shownRed(drawn[i]) > 80.0) {
            drops.push_back(128.0 + 256.0 * ((drawn[i] - 128) / 256));
        }
    }
    return drops;
}

} // namespace

TEST(AvSyncPictureClock, EveryDropStandsAtItsShowTimeHoweverLateTheFirstLitFrame)
{
    const struct {
        const char* what;
        Drawing drawing;
        double firstDropMs;
    } cases[] = {
        {"a frame every 5 ms", {0, 0}, 60032.0},
        // The first drop is not seen: the first drop seen is the next one.
        {"no frame from the start to the first drop", {60005, 60040}, 60288.0},
        {"the first lit frame 230 ms late", {60005, 60240}, 60288.0},
        {"a second's stall after the start", {61995, 63000}, 60032.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<int32_t> drawn = drawnMoments(c.drawing);
        const std::vector<Frame> frames = recording(drawn);
        size_t start = 0;
        double startShowMs = 0.0;
        ASSERT_TRUE(sawToothStart(frames, &start, &startShowMs));
        EXPECT_EQ(startShowMs, shownAt(drawn, recordFromMs + grabMs * static_cast<int32_t>(start)));
        const std::vector<double> expected = visibleDrops(drawn);
        ASSERT_EQ(expected.front(), c.firstDropMs);
        const std::vector<PictureDrop> drops = pictureDrops(frames, start, startShowMs);
        ASSERT_EQ(drops.size(), expected.size());
        for (size_t i = 0; i < drops.size(); ++i) {
            EXPECT_EQ(drops[i].showMs, expected[i]) << "drop " << i;
        }
    }
}

TEST(AvSyncPictureClock, ARecordingWithoutTheSawToothHasNoStart)
{
    std::vector<Frame> frames = {{1.0, std::vector<double>(patches, 0.0)}, {1.004, {}}};
    size_t start = 0;
    double startShowMs = 0.0;
    EXPECT_FALSE(sawToothStart(frames, &start, &startShowMs));
}
