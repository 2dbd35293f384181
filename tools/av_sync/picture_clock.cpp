// The picture's clock in a recording of the show's screen.
#include "picture_clock.h"

#include "scenes/show_values.h"

#include <algorithm>
#include <cmath>

namespace {

// The background, black until redBeatsAfterMs, is first lit the millisecond
// after, and drops to black on the kick's phase every sawToothMs; its red
// then reads firstDropMs + red for a period.
constexpr double sawToothStartMs = redBeatsAfterMs + 1;
constexpr double firstDropMs =
    kickAtMs + sawToothMs * ((redBeatsAfterMs + 1 - kickAtMs) / sawToothMs + 1);
// The background drops at kickAtMs + sawToothMs k, the flowers half a period
// later.
constexpr double latticeMs = sawToothMs / 2.0;
// A drop of the patch's red by more than this from one frame to the next.
constexpr double dropLevels = 80.0;
// How many of the latest drops set the lattice's offset, by their median.
constexpr size_t offsetDrops = 16;

// The red level most patches show: the background's, which covers most of the screen.
double backgroundRedOf(const Frame& frame)
{
    if (frame.reds.empty()) {
        return 0.0;
    }
    std::vector<double> reds = frame.reds;
    std::nth_element(reds.begin(), reds.begin() + reds.size() / 2, reds.end());
    return reds[reds.size() / 2];
}

} // namespace

// The background's red gives the show time of the first lit frame exactly,
// wherever the program drew it: the drops alone cannot tell the first from
// the next, where the program drew no frame before the first.
bool sawToothStart(const std::vector<Frame>& frames, size_t* index, double* showMs)
{
    const double redAtSawToothStart = backgroundRed(redBeatsAfterMs + 1);
    for (size_t i = 0; i < frames.size(); ++i) {
        const double red = backgroundRedOf(frames[i]);
        if (red > 0.0) {
            *index = i;
            *showMs = red >= redAtSawToothStart ? sawToothStartMs + (red - redAtSawToothStart)
                                                : firstDropMs + red;
            return true;
        }
    }
    return false;
}

// The picture keeps the lattice through any stall; the median of the latest
// drops follows the wall clock's offset from it.
std::vector<PictureDrop> pictureDrops(const std::vector<Frame>& frames, size_t start,
                                      double startShowMs)
{
    std::vector<PictureDrop> drops;
    double offsetSeconds = frames[start].wallSeconds - startShowMs / 1000.0;
    std::vector<double> recent;
    for (size_t i = start + 1; i < frames.size(); ++i) {
        const size_t patches = std::min(frames[i].reds.size(), frames[i - 1].reds.size());
        bool dropped = false;
        for (size_t p = 0; p < patches && !dropped; ++p) {
            dropped = frames[i - 1].reds[p] - frames[i].reds[p] > dropLevels;
        }
        if (!dropped) {
            continue;
        }
        const double wall = frames[i].wallSeconds;
        const double step = std::round((wall - offsetSeconds) * 1000.0 / latticeMs);
        const double showMs = step * latticeMs;
        if (!drops.empty() && showMs <= drops.back().showMs) {
            continue; // a later patch of a drop already seen
        }
        drops.push_back({wall, showMs});
        recent.push_back(wall - showMs / 1000.0);
        if (recent.size() > offsetDrops) {
            recent.erase(recent.begin());
        }
        std::vector<double> sorted = recent;
        std::sort(sorted.begin(), sorted.end());
        offsetSeconds = sorted[sorted.size() / 2];
    }
    return drops;
}
