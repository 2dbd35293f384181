// The picture's clock in a recording of the show's screen: when it shows
// each moment of the red saw-tooth, read from coarse patches of its frames.
#pragma once

#include "scenes/show_values.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The show's red saw-tooth drops to black every half beat, on the kick's phase.
constexpr int32_t sawToothMs = beatMs / 2;

// A grabbed frame: when, and the red level of each patch of a coarse grid.
struct Frame {
    double wallSeconds;
    std::vector<double> reds;
};

// A moment the picture shows: a drop at show time showMs, seen at wallSeconds.
struct PictureDrop {
    double wallSeconds;
    double showMs;
};

// The first frame that shows the saw-tooth (from 60011 ms of the show), and
// the show time it shows, read from the background's red. False when no
// frame shows it.
bool sawToothStart(const std::vector<Frame>& frames, size_t* index, double* showMs);

// The drops of a patch's red to black from frame start on, each with the
// show time it stands for on the saw-tooth's 128 ms lattice, which the
// start's show time sets.
std::vector<PictureDrop> pictureDrops(const std::vector<Frame>& frames, size_t start,
                                      double startShowMs);
