// Flashing-light analysis of a frame sequence against the general flash threshold and both
// readings of the red flash threshold (WCAG 2.2's, and that of WCAG 2.0 and 2.1).
#pragma once

#include <cstdint>
#include <vector>

// redFlash reads a red flash as WCAG 2.2 does (a change of chromaticity),
// redLevelFlash as WCAG 2.0 and 2.1 do (a change of the saturated red's level).
enum FlashKind { generalFlash = 0, redFlash = 1, redLevelFlash = 2, flashKinds = 3 };

// What one frame's closing second holds, for each kind of flash.
struct FlashFrame {
    double area[flashKinds] = {};             // largest share of a 10° field flashing too often
    double flashesPerSecond[flashKinds] = {}; // median rate of the cells flashing too often
    double mostFlashes[flashKinds] = {};      // flashes of the cell that flashed most
};

// Zigzag of one cell's value over time (its luminance, its red level): the
// last turning point and the extreme since.
struct Zigzag {
    float pivot = 0.0f;
    float extreme = 0.0f;
    int direction = 0;    // +1 rising, -1 falling, 0 before the first change of a step
    bool counted = false; // the leg from the pivot has counted as a transition
};

// Chromaticity of one cell at its last red transition (or at the start).
struct ChromaTrack {
    float u = 0.0f;
    float v = 0.0f;
    bool red = false;
};

// Zigzag of one cell's red level, (R - G - B) x 320, with whether the states
// at its last turning point and at the extreme since were saturated red.
struct RedLevelTrack {
    Zigzag zigzag;
    bool pivotRed = false;
    bool extremeRed = false;
};

// Frame numbers of a cell's latest transitions of one kind, newest at head.
constexpr int transitionMemory = 32;
struct TransitionRing {
    int32_t frames[transitionMemory];
    int head = 0;
    int size = 0;
};

// Frames of frameWidth x frameHeight divided into squares of cellSize pixels.
struct CellGrid {
    int frameWidth = 0;
    int frameHeight = 0;
    int cellSize = 1;
    int columns = 0;
    int rows = 0;
};

// The state of one analysis: cells are cellSize squares of the frame, and a
// 10° field is a third of the frame each way (640x360 of 1920x1080).
struct FlashAnalysis {
    CellGrid grid;
    int fps = 60;
    int32_t frameIndex = 0;
    float linear[256] = {}; // linearised sRGB of each 8-bit level
    std::vector<Zigzag> luminance;
    std::vector<ChromaTrack> chroma;
    std::vector<RedLevelTrack> redLevel;
    std::vector<TransitionRing> transitions[flashKinds];
    std::vector<FlashFrame> frames;
};

// A run of frames whose closing seconds all fail one threshold, with the
// worst figures seen in it. Times are of the frames' second windows.
struct FlashRange {
    int32_t firstFrame = 0; // first frame of the first failing second
    int32_t lastFrame = 0;  // last frame of the last failing second
    double peakArea = 0.0;
    double peakFlashesPerSecond = 0.0;
};

// Prepares an analysis of frames of width x height at fps, in cells of
// cellSize pixels; both sizes must be multiples of 3 x cellSize.
void startFlashAnalysis(FlashAnalysis* analysis, int width, int height, int cellSize, int fps);

// Adds the next frame, packed RGB of the analysis's size, and its figures.
void analyseFrame(FlashAnalysis* analysis, const unsigned char* rgb);

// The frames' failing stretches for one kind: more than three flashes in a
// second over more than a quarter of some 10° field.
std::vector<FlashRange> failingRanges(const FlashAnalysis& analysis, FlashKind kind);
