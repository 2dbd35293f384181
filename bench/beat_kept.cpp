// How strongly the picture moves with the music's kick from 1:00 on, where
// the show's red beats: from the capture tool's frames at 60 frames/s, the
// change from each frame to the next (the mean absolute difference of R, G
// and B, 0 to 255), read two ways per stretch:
// - kick contrast: the mean change within one frame of each kick against the
//   mean elsewhere (1.0: the kick is not seen);
// - beat share: the share of the change's variance that repeats with the
//   beat, the variance of its mean over 16 ms steps of the beat against the
//   whole (the power of the change at the kick's rate, 1.953 Hz, and its
//   harmonics; about 0.01 for change that keeps no beat).
// Usage: beat_kept --moments, the frames' moments in ms, comma-separated, as
// capture --at takes them; beat_kept DIR..., each holding frame_NNNNNN.png
// stills of those moments (bench/beat_kept.sh makes them), one column each,
// named by the folder.
#include "rgb_image.h"

#include <SDL.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int fps = 60;
constexpr int32_t kickAtMs = 128;
constexpr int32_t beatMs = 512;
constexpr int32_t phaseStepMs = 16;
constexpr int phaseSteps = beatMs / phaseStepMs;

struct Stretch {
    const char* name;
    int32_t firstMs;
    int32_t lastMs;
};

// The stretches of mode_keeps from 1:00, with their scenes' own bounds: the
// change across the cut from scene 3 to 4 belongs to neither, nor does the
// red's coming on at 60010 ms, a change of the whole screen that happens once.
constexpr Stretch stretches[] = {
    {"1:00-1:40 (scene 3)", 60011, 100000},
    {"1:40-1:54 (scene 4)", 100001, 113985},
};

// Show time of frame number frame, as the capture tool plays frames at fps.
int32_t frameMs(int frame)
{
    return static_cast<int32_t>(int64_t{frame} * 1000 / fps);
}

int firstFrameFrom(int32_t ms)
{
    int frame = 0;
    while (frameMs(frame) < ms) {
        ++frame;
    }
    return frame;
}

int32_t sinceKickMs(int32_t ms)
{
    return (ms - kickAtMs) % beatMs;
}

// Whether a kick falls after the frame before and no later than this one:
// this frame's change is the one that shows it.
bool spansKick(int frame)
{
    return sinceKickMs(frameMs(frame)) < frameMs(frame) - frameMs(frame - 1);
}

std::string stillPath(const std::string& dir, int32_t ms)
{
    char name[32];
    snprintf(name, sizeof name, "/frame_%06d.png", static_cast<int>(ms));
    return dir + name;
}

double meanDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
{
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i) {
        sum += std::abs(static_cast<int>(a[i]) - static_cast<int>(b[i]));
    }
    return a.empty() ? 0.0 : sum / static_cast<double>(a.size());
}

// One frame's change from the frame before, with where it falls in the beat.
struct Change {
    double amount;
    int32_t sinceKickMs; // of the frame's moment, 0 to 511
    bool nearKick;       // the change over a kick, or the one before or after it
};

// The changes of the frames of a stretch, each from the frame before; false
// if a still is missing or of another size.
bool readChanges(const std::string& dir, const Stretch& stretch, std::vector<Change>* changes)
{
    std::vector<unsigned char> before;
    std::vector<unsigned char> now;
    int width = 0;
    int height = 0;
    const int first = firstFrameFrom(stretch.firstMs);
    if (!loadRgbImage(stillPath(dir, frameMs(first)), &before, &width, &height)) {
        return false;
    }
    changes->clear();
    for (int frame = first + 1; frameMs(frame) <= stretch.lastMs; ++frame) {
        if (!loadRgbImage(stillPath(dir, frameMs(frame)), &now, &width, &height) ||
            now.size() != before.size()) {
            return false;
        }
        const int32_t ms = frameMs(frame);
        const bool nearKick = spansKick(frame - 1) || spansKick(frame) || spansKick(frame + 1);
        changes->push_back({meanDifference(before, now), sinceKickMs(ms), nearKick});
        before.swap(now);
    }
    return true;
}

struct BeatFigures {
    double kickContrast;
    double beatShare;
};

BeatFigures beatFigures(const std::vector<Change>& changes)
{
    double nearSum = 0.0;
    double elsewhereSum = 0.0;
    int nearCount = 0;
    double total = 0.0;
    std::vector<double> phaseSums(phaseSteps, 0.0);
    std::vector<int> phaseCounts(phaseSteps, 0);
    for (const Change& change : changes) {
        (change.nearKick ? nearSum : elsewhereSum) += change.amount;
        nearCount += change.nearKick ? 1 : 0;
        total += change.amount;
        phaseSums[change.sinceKickMs / phaseStepMs] += change.amount;
        ++phaseCounts[change.sinceKickMs / phaseStepMs];
    }
    const auto count = static_cast<double>(changes.size());
    const double mean = total / count;
    double variance = 0.0;
    for (const Change& change : changes) {
        variance += (change.amount - mean) * (change.amount - mean);
    }
    double beatVariance = 0.0;
    for (int step = 0; step < phaseSteps; ++step) {
        if (phaseCounts[step] > 0) {
            const double stepMean = phaseSums[step] / phaseCounts[step];
            beatVariance += phaseCounts[step] * (stepMean - mean) * (stepMean - mean);
        }
    }
    const double nearMean = nearSum / nearCount;
    const double elsewhereMean = elsewhereSum / (count - nearCount);
    return {elsewhereMean > 0.0 ? nearMean / elsewhereMean : 1.0,
            variance > 0.0 ? beatVariance / variance : 0.0};
}

// Prints the moments of every stretch, and the frame before each, in ms.
void printMoments()
{
    const char* separator = "";
    for (const Stretch& stretch : stretches) {
        for (int frame = firstFrameFrom(stretch.firstMs); frameMs(frame) <= stretch.lastMs;
             ++frame) {
            printf("%s%d", separator, static_cast<int>(frameMs(frame)));
            separator = ",";
        }
    }
    printf("\n");
}

std::string folderName(std::string dir)
{
    while (dir.size() > 1 && dir.back() == '/') {
        dir.pop_back();
    }
    const size_t slash = dir.rfind('/');
    return slash == std::string::npos ? dir : dir.substr(slash + 1);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && std::string(argv[1]) == "--moments") {
        printMoments();
        return 0;
    }
    if (argc < 2 || argv[1][0] == '-') {
        fprintf(stderr, "usage: beat_kept DIR... | --moments\n");
        return 2;
    }
    printf("%-20s", "kick contrast");
    for (int i = 1; i < argc; ++i) {
        printf(" %14s", folderName(argv[i]).c_str());
    }
    printf("\n");
    std::vector<std::vector<BeatFigures>> figures(std::size(stretches));
    for (size_t s = 0; s < std::size(stretches); ++s) {
        for (int i = 1; i < argc; ++i) {
            std::vector<Change> changes;
            if (!readChanges(argv[i], stretches[s], &changes)) {
                fprintf(stderr, "beat_kept: no stills of one size for %s in %s\n",
                        stretches[s].name, argv[i]);
                return 1;
            }
            figures[s].push_back(beatFigures(changes));
        }
        printf("%-20s", stretches[s].name);
        for (const BeatFigures& figure : figures[s]) {
            printf(" %14.2f", figure.kickContrast);
        }
        printf("\n");
    }
    printf("%-20s\n", "beat share");
    for (size_t s = 0; s < std::size(stretches); ++s) {
        printf("%-20s", stretches[s].name);
        for (const BeatFigures& figure : figures[s]) {
            printf(" %14.2f", figure.beatShare);
        }
        printf("\n");
    }
    return 0;
}
