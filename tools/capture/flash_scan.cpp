// Capture tool: renders the whole show and prints where it exceeds the flash thresholds.
#include "capture.h"
#include "flash_analysis.h"
#include "shell/demo_state.h"

#include <SDL.h>

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

void printRanges(const FlashAnalysis& analysis, FlashKind kind, const char* name)
{
    const std::vector<FlashRange> ranges = failingRanges(analysis, kind);
    printf("%s flash threshold: %s\n", name, ranges.empty() ? "not exceeded" : "exceeded");
    for (const FlashRange& range : ranges) {
        printf("  %s - %s  up to %.1f flashes/s (median of the cells flashing too often), "
               "over up to %.0f %% of a 10° field\n",
               clockText(frameMs(range.firstFrame, analysis.fps)).c_str(),
               clockText(frameMs(range.lastFrame, analysis.fps)).c_str(),
               range.peakFlashesPerSecond, 100.0 * range.peakArea);
    }
}

} // namespace

int scanFlashes(const Options& options)
{
    const int cellSize = options.width / gridColumns;
    FlashAnalysis analysis;
    startFlashAnalysis(&analysis, options.width, options.height, cellSize, options.fps);
    const int total = frameCount(options.fps);
    std::vector<unsigned char> pixels;
    const Uint64 started = SDL_GetPerformanceCounter();
    demo.sceneIndex = 1;
    demo.sceneStartMs = 0;
    for (int frame = 0; frame < total; ++frame) {
        if (interrupted) {
            fprintf(stderr, "\n");
            return fail("interrupted; no analysis");
        }
        passAt(frameMs(frame, options.fps));
        if (!drawAndRead(&pixels)) {
            return fail(std::string("cannot read the frame back: ") + SDL_GetError());
        }
        analyseFrame(&analysis, pixels.data());
        if (frame % 10 == 0 || frame + 1 == total) {
            showProgress(frame + 1, total, secondsSince(started));
        }
    }
    fprintf(stderr, "\n");
    printf("%d frames at %d fps, %dx%d in cells of %dx%d px, analysed in %.0f s\n", total,
           options.fps, options.width, options.height, cellSize, cellSize, secondsSince(started));
    printRanges(analysis, generalFlash, "general");
    printRanges(analysis, redFlash, "red");
    return 0;
}
