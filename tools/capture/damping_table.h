// The reduced-flashing mode's damping table, worked out from a rendering and flash analysis.
#pragma once

#include "flash_analysis.h"

#include <cstdint>
#include <vector>

// What the rendering shows of each analysis cell in each step of the table:
// the darkest and brightest sRGB level of each channel of the cell's mean.
struct DampingSamples {
    CellGrid grid;
    int steps = 0;
    std::vector<unsigned char> low; // per step, cell and channel
    std::vector<unsigned char> high;
    std::vector<unsigned char> levels; // nearest 8-bit level of linear light in 4096 steps
};

// Prepares samples of frames divided as grid, for a table of steps steps.
void startDampingSamples(DampingSamples* samples, const CellGrid& grid, int steps);

// Adds the mean linear colours of a frame's cells (an analysis's cellColors),
// shown at ms.
void addDampingSample(DampingSamples* samples, int32_t ms, const std::vector<LinearColor>& cells);

// The table's texels, steps x rows x columns, for frames whose analysis is
// analysed (its notedRuns taken with noteAbove = dampingNoteAbove). Within
// the failing ranges of every kind, and a hand-over either side, each cell
// whose analysis cells flash is compressed towards its mean colour over the
// surrounding two seconds, and if need be desaturated, just enough that no
// analysis cell in it swings by a flash's step within any second. Every
// other texel leaves the picture as drawn.
std::vector<unsigned char> dampingTexels(const DampingSamples& samples,
                                         const FlashAnalysis& analysed);

// Transitions in a second from which an analysis cell counts as flashing:
// three flashes, the most that are allowed.
constexpr int dampingNoteAbove = 6;
