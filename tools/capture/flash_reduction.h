// Flash reduction of a frame sequence: damps the fast swings of colour in the stretches that fail
// the flash thresholds, and hands every other frame out untouched.
#pragma once

#include "flash_analysis.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

// The state of one reduction. Cells are those of the analysis; the reference
// of a frame is its cells' colour averaged over a second of neighbouring frames.
struct FlashReduction {
    CellGrid grid;
    int reach = 1;               // frames the reference reaches each way
    int margin = 1;              // frames of the hand-over either side of a reduced stretch
    std::vector<float> strength; // per frame: 0 untouched, 1 fully reduced
    std::vector<std::vector<FrameRun>> flashingRuns; // per cell: frames of its flashing seconds
    std::vector<size_t> nextRun;                     // per cell: its first run not yet passed
    float linear[256] = {};                          // linearised sRGB of each 8-bit level
    std::vector<unsigned char> srgb;                 // 8-bit level of linear light in 65536 steps
    std::deque<std::vector<unsigned char>> pending;  // received, not yet handed out
    std::deque<std::vector<LinearColor>> cellMeans;  // of frames meansFrom .. received - 1
    int32_t meansFrom = 0;
    int32_t received = 0;
    int32_t handedOut = 0;
};

// Prepares the reduction of the frames that normal, a finished analysis,
// has seen: it changes the cells that flash too often, and their
// neighbours, within the failing ranges of either kind, and hands over to
// the untouched frames within half a second either side.
void startFlashReduction(FlashReduction* reduction, const FlashAnalysis& normal);

// Adds the next frame of the sequence, packed RGB of the reduction's size.
void addFrame(FlashReduction* reduction, std::vector<unsigned char> rgb);

// Hands out the next frame, reduced, in *reduced and as added in *original,
// once the frames its reference needs have been added; false until then and
// after the last.
bool takeReducedFrame(FlashReduction* reduction, std::vector<unsigned char>* reduced,
                      std::vector<unsigned char>* original);
