// Capture tool: the reduced-flash cut: the show's failing stretches found by a first rendering,
// then every frame passed through the flash reduction, analysed and compared with the normal cut.
#include "capture.h"
#include "flash_analysis.h"
#include "flash_reduction.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Where the reduced cut departs from the normal one: by frame strength,
// inside the failing ranges, in the hand-over beside them, and elsewhere.
enum Zone { insideRanges = 0, handOver = 1, elsewhere = 2, zones = 3 };

struct Difference {
    uint64_t sum = 0; // of the channels' absolute differences, in 8-bit levels
    uint64_t count = 0;
    int largest = 0;
};

struct ReducedCut {
    FlashReduction reduction;
    FlashAnalysis analysis; // of the reduced frames
    std::vector<unsigned char> reduced;
    std::vector<unsigned char> original;
    Difference differences[zones];
};

ReducedCut cut;

void compare(const std::vector<unsigned char>& reduced, const std::vector<unsigned char>& original,
             Difference* difference)
{
    for (size_t i = 0; i < reduced.size(); ++i) {
        const int change = std::abs(int{reduced[i]} - int{original[i]});
        difference->sum += static_cast<uint64_t>(change);
        difference->largest = std::max(difference->largest, change);
    }
    difference->count += reduced.size();
}

Zone zoneOf(float strength)
{
    return strength >= 1.0f ? insideRanges : strength > 0.0f ? handOver : elsewhere;
}

void printDifference(const char* where, const Difference& difference)
{
    printf("  %s: mean %.2f, largest %d\n", where,
           difference.count > 0 ? static_cast<double>(difference.sum) / difference.count : 0.0,
           difference.largest);
}

} // namespace

bool startReducedCut(const Options& options)
{
    FlashAnalysis normal;
    if (!analyseShow(options, &normal)) {
        return false;
    }
    const int cellSize = flashCellSize(options.width);
    printf("the normal cut, %d frames at %d fps, %dx%d in cells of %dx%d px:\n", normal.frameIndex,
           options.fps, options.width, options.height, cellSize, cellSize);
    printFlashReport(normal);
    cut = ReducedCut{};
    startFlashReduction(&cut.reduction, normal);
    startFlashAnalysis(&cut.analysis, options.width, options.height, cellSize, options.fps);
    return true;
}

bool sendReducedFrame(const std::vector<unsigned char>& pixels, FILE* encoder)
{
    addFrame(&cut.reduction, pixels);
    while (takeReducedFrame(&cut.reduction, &cut.reduced, &cut.original)) {
        const float strength = cut.reduction.strength[cut.reduction.handedOut - 1];
        compare(cut.reduced, cut.original, &cut.differences[zoneOf(strength)]);
        analyseFrame(&cut.analysis, cut.reduced.data());
        if (fwrite(cut.reduced.data(), 1, cut.reduced.size(), encoder) != cut.reduced.size()) {
            return false;
        }
    }
    return true;
}

bool reportReducedCut()
{
    printf("the reduced cut:\n");
    const bool passes = printFlashReport(cut.analysis);
    printf("difference from the normal cut, in 8-bit levels of each channel:\n");
    printDifference("inside its failing ranges", cut.differences[insideRanges]);
    printDifference("in the half-second hand-over beside them", cut.differences[handOver]);
    printDifference("elsewhere", cut.differences[elsewhere]);
    return passes;
}
