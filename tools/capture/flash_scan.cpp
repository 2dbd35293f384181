// Capture tool: renders the whole show and prints where it exceeds the flash thresholds.
#include "capture.h"
#include "flash_analysis.h"
#include "shell/demo_state.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int gridColumns = 240; // a 10° field is then 80x45 cells

// m:ss.s of a time in ms.
std::string clockText(int32_t ms)
{
    char text[16];
    snprintf(text, sizeof text, "%d:%04.1f", static_cast<int>(ms / 60000), (ms % 60000) / 1000.0);
    return text;
}

// The ranges that fail, and the worst any second comes to.
void printKind(const FlashAnalysis& analysis, FlashKind kind, const char* name, int32_t startMs)
{
    const std::vector<FlashRange> ranges = failingRanges(analysis, kind);
    printf("%s flash threshold: %s\n", name, ranges.empty() ? "not exceeded" : "exceeded");
    for (const FlashRange& range : ranges) {
        printf("  %s - %s  up to %.1f flashes/s (median of the cells flashing too often), "
               "over up to %.0f %% of a 10° field\n",
               clockText(startMs + frameMs(range.firstFrame, analysis.fps)).c_str(),
               clockText(startMs + frameMs(range.lastFrame, analysis.fps)).c_str(),
               range.peakFlashesPerSecond, 100.0 * range.peakArea);
    }
    double mostFlashes = 0.0;
    double largestArea = 0.0;
    for (const FlashFrame& figures : analysis.frames) {
        mostFlashes = std::max(mostFlashes, figures.mostFlashes[kind]);
        largestArea = std::max(largestArea, figures.area[kind]);
    }
    printf("  largest: %.1f flashes in a second of one cell; %.1f %% of a 10° field flashing "
           "more than 3 times a second\n",
           mostFlashes, 100.0 * largestArea);
}

// Frames of the analysed stretch: the whole show up to and including the
// pass that ends it, or those from --from to --to.
int spanFrames(const Options& options)
{
    if (options.fromMs == 0 && options.toMs == lastFrameMs) {
        return frameCount(options.fps);
    }
    int frames = 0;
    while (options.fromMs + frameMs(frames, options.fps) <= options.toMs) {
        ++frames;
    }
    return frames;
}

// Cell size of the analysis at a frame width.
int flashCellSize(int width)
{
    return width / gridColumns;
}

// Renders the stretch at the options' size and fps into a new analysis;
// false, having said why, if a frame cannot be read, or if interrupted.
bool analyseShow(const Options& options, FlashAnalysis* analysis)
{
    startFlashAnalysis(analysis, options.width, options.height, flashCellSize(options.width),
                       options.fps);
    const int total = spanFrames(options);
    std::vector<unsigned char> pixels;
    const Uint64 started = SDL_GetPerformanceCounter();
    seekTo(options.fromMs);
    for (int frame = 0; frame < total; ++frame) {
        if (interrupted) {
            fprintf(stderr, "\n");
            return false;
        }
        passAt(options.fromMs + frameMs(frame, options.fps));
        if (!drawAndRead(&pixels)) {
            fail(std::string("cannot read the frame back: ") + SDL_GetError());
            return false;
        }
        analyseFrame(analysis, pixels.data());
        if (frame % 10 == 0 || frame + 1 == total) {
            showProgress(frame + 1, total, secondsSince(started));
        }
    }
    fprintf(stderr, "\n");
    return true;
}

} // namespace

int scanFlashes(const Options& options)
{
    FlashAnalysis analysis;
    const Uint64 started = SDL_GetPerformanceCounter();
    if (!analyseShow(options, &analysis)) {
        return interrupted ? fail("interrupted; no analysis") : 1;
    }
    const int cellSize = flashCellSize(options.width);
    printf("%d frames at %d fps, %dx%d in cells of %dx%d px, %s, analysed in %.0f s\n",
           analysis.frameIndex, options.fps, options.width, options.height, cellSize, cellSize,
           options.reduceFlashes ? "flashes reduced" : "as drawn", secondsSince(started));
    printKind(analysis, generalFlash, "general", options.fromMs);
    printKind(analysis, redFlash, "red (WCAG 2.2, chromaticity)", options.fromMs);
    printKind(analysis, redLevelFlash, "red (WCAG 2.0/2.1, red level)", options.fromMs);
    return 0;
}
