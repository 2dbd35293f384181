// The reduced-flashing mode's damping table: its file and layout, shared with its generator.
#pragma once

#include <cstdint>

constexpr const char* dampingTablePath = "dada/vaimennus";
// Cells of 40x40 px of the 1920x1080 picture, stretched over it with linear
// filtering, so each value holds at its cell's centre and blends between.
constexpr int dampingColumns = 48;
constexpr int dampingRows = 27;
// The table holds one block of cells per step of show time, from 0 ms on;
// a moment between two steps takes the mix of both.
constexpr int32_t dampingStepMs = 200;
// Steps from 0 to 120000 ms, past the show's last frame.
constexpr int dampingSteps = 120000 / dampingStepMs + 1;
// A cell's texel, R G B A: the picture there is multiplied by A / 255, then
// R, G and B are added. (0, 0, 0, 255) leaves it as drawn.
constexpr int dampingTexelBytes = 4;
constexpr int dampingStepBytes = dampingColumns * dampingRows * dampingTexelBytes;
