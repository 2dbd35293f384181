// The damping table: for each step of the show and each 40 px cell, a factor and an offset
// that the program applies to the picture (out = in x factor + offset, per channel, in sRGB
// levels) when the viewer asks for reduced flashing.
// Both change slowly, over half a second at least, whatever the picture does between two
// frames: the factor compresses a cell's swings of colour towards an anchor, its darkest
// colour or, where red fills the picture, its mean, so the picture's flashes keep their
// moment, only weaker, at any frame rate. Where a saturated red would still change too
// much, a little green and blue is added, so that it is no longer a saturated red. Each
// factor is the largest that keeps every flashing analysis cell under the flash
// thresholds' steps with a margin: less than 0.07 of luminance (the step is 0.1), and for
// a saturated red less than 14 of the red level (the step is 20).
#include "damping_table.h"

#include "shell/damping_table.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int channels = 3;
constexpr int linearSteps = 4096;
constexpr int32_t handOverMs = 500;
constexpr int32_t rangeWideningMs = 250; // damped in full a little beyond each failing range
// A cell's swings are taken over +-0.4 s around each step: as long as its
// colour changes by less than a flash's step within any 0.3 s, none of the
// frames drawn with that step's damping completes more than four
// transitions in a second, whatever the frame rate (seven fail). Its mean is
// taken over +-1 s, so the colour it is compressed towards barely moves.
constexpr int swingSteps = 400 / dampingStepMs;
constexpr int meanSteps = 1000 / dampingStepMs;
constexpr float targetLuminanceSwing = 0.07f;
constexpr float targetRedLevelSwing = 14.0f;
constexpr float redLevelScale = 320.0f;
constexpr float saturationLimit = 0.78f; // under the 0.8 of a saturated red
constexpr float leastLuminance = 0.01f;  // twice the analysis's black
constexpr float weights[channels] = {0.2126f, 0.7152f, 0.0722f};
constexpr float desaturations[] = {0.0f, 0.0625f, 0.125f, 0.1875f, 0.25f};
constexpr int factorSteps = 64; // the factors tried, from 0 to 1
// Damping comes and goes over half a second at least.
constexpr float factorRisePerStep = dampingStepMs / 500.0f;
constexpr float desaturationFallPerStep = dampingStepMs / 2000.0f;

// sRGB level, 0 to 1, of each analysis cell's extremes in a window of steps.
struct Swing {
    float low[channels];
    float high[channels];
};

// out = level x factor + (1 - factor) x anchor, plus the desaturation in
// green and blue.
struct Damping {
    float factor = 1.0f;
    float desaturation = 0.0f;
    float anchor[channels] = {};
};

struct LinearTable {
    float values[linearSteps + 1];
};

const LinearTable& linearTable()
{
    static const LinearTable table = [] {
        LinearTable t{};
        for (int i = 0; i <= linearSteps; ++i) {
            t.values[i] = linearLight(static_cast<float>(i) / linearSteps);
        }
        return t;
    }();
    return table;
}

float linearFast(float level)
{
    const float at = std::clamp(level, 0.0f, 1.0f) * linearSteps;
    return linearTable().values[static_cast<int>(at + 0.5f)];
}

// Whether a cell swinging between low and high stays under every step once
// each channel is mapped to level x factor + offset; offBlack: a saturated
// red in it must also never reach black (from which its chromaticity would
// change). That matters where red fills the picture; a dark picture damped
// towards black has but a few red edges, far from the area that fails.
bool staysCalm(const Swing& swing, float factor, const float offset[channels], bool offBlack)
{
    float low[channels];
    float high[channels];
    float luminanceSwing = 0.0f;
    float leastLight = 0.0f;
    for (int c = 0; c < channels; ++c) {
        low[c] = linearFast(swing.low[c] * factor + offset[c]);
        high[c] = linearFast(swing.high[c] * factor + offset[c]);
        luminanceSwing += weights[c] * (high[c] - low[c]);
        leastLight += weights[c] * low[c];
    }
    if (luminanceSwing >= targetLuminanceSwing) {
        return false;
    }
    const float reddest = high[0] + low[1] + low[2];
    if (high[0] <= 0.0f || high[0] / reddest < saturationLimit) {
        return true;
    }
    const float mostRed = std::max(0.0f, high[0] - low[1] - low[2]);
    const float leastRed = std::max(0.0f, low[0] - high[1] - high[2]);
    return (mostRed - leastRed) * redLevelScale < targetRedLevelSwing &&
           (!offBlack || leastLight >= leastLuminance);
}

void offsetsFor(const float anchor[channels], float factor, float desaturation,
                float offset[channels])
{
    offset[0] = (1.0f - factor) * anchor[0];
    offset[1] = (1.0f - factor) * anchor[1] + desaturation;
    offset[2] = (1.0f - factor) * anchor[2] + desaturation;
}

bool allCalm(const std::vector<Swing>& swings, const float anchor[channels], float factor,
             float desaturation, bool offBlack)
{
    float offset[channels];
    offsetsFor(anchor, factor, desaturation, offset);
    for (const Swing& swing : swings) {
        if (!staysCalm(swing, factor, offset, offBlack)) {
            return false;
        }
    }
    return true;
}

// How much a damping changes the picture: the contrast it takes away, and
// the desaturation, which tints every colour.
float change(float factor, float desaturation)
{
    return (1.0f - factor) + desaturation;
}

// The least change that calms every swing towards anchor, with desaturations
// up to the given number of steps.
Damping dampingTowards(const std::vector<Swing>& swings, const float anchor[channels],
                       size_t desaturationSteps, bool offBlack)
{
    // Where nothing calms every swing, the cell is flattened to its anchor.
    Damping best = {0.0f, desaturations[desaturationSteps - 1], {}};
    std::copy_n(anchor, channels, best.anchor);
    float leastChange = change(0.0f, best.desaturation) + 1.0f;
    for (size_t i = 0; i < desaturationSteps; ++i) {
        const float desaturation = desaturations[i];
        if (change(1.0f, desaturation) >= leastChange) {
            break;
        }
        if (!allCalm(swings, anchor, 0.0f, desaturation, offBlack)) {
            continue;
        }
        int calm = 0; // factor steps known calm
        int restless = factorSteps + 1;
        while (restless - calm > 1) {
            const int middle = (calm + restless) / 2;
            if (allCalm(swings, anchor, static_cast<float>(middle) / factorSteps, desaturation,
                        offBlack)) {
                calm = middle;
            } else {
                restless = middle;
            }
        }
        const float factor = static_cast<float>(calm) / factorSteps;
        if (change(factor, desaturation) < leastChange) {
            leastChange = change(factor, desaturation);
            best.factor = factor;
            best.desaturation = desaturation;
        }
    }
    return best;
}

// What the window of a step shows of one table cell.
struct CellWindow {
    std::vector<Swing> swings; // of its flashing analysis cells
    float mean[channels];
    float darkest[channels];
};

bool saturatedRed(const float level[channels])
{
    const float red = linearLight(level[0]);
    const float sum = red + linearLight(level[1]) + linearLight(level[2]);
    return sum > 0.0f && red / sum >= saturationLimit;
}

// Compressed towards its darkest colour, a cell keeps its black as black, so
// a tile that vanishes leaves no ghost and a dark background stays dark
// (desaturating would tint it). A saturated red background keeps far more of
// its contrast compressed towards its mean and a little desaturated, as
// otherwise its level may barely change. One way for the whole picture, as
// cells that went different ways would show as patches: towards the mean in a
// step where most of the flashing cells are saturated red.
std::vector<Damping> dampingsOf(const std::vector<CellWindow>& windows)
{
    int flashing = 0;
    int red = 0;
    for (const CellWindow& window : windows) {
        if (!window.swings.empty()) {
            ++flashing;
            red += saturatedRed(window.mean) ? 1 : 0;
        }
    }
    const bool towardsMean = 2 * red > flashing;
    std::vector<Damping> cells(windows.size());
    for (size_t cell = 0; cell < windows.size(); ++cell) {
        const CellWindow& window = windows[cell];
        const float* anchor = towardsMean ? window.mean : window.darkest;
        if (window.swings.empty()) {
            std::copy_n(anchor, channels, cells[cell].anchor);
        } else {
            cells[cell] = dampingTowards(window.swings, anchor,
                                         towardsMean ? std::size(desaturations) : 1, towardsMean);
        }
    }
    return cells;
}

int32_t msOfFrame(int32_t frame, int fps)
{
    return static_cast<int32_t>(int64_t{frame} * 1000 / fps);
}

// Per step: 1 within the failing ranges of any kind (a little widened),
// falling to 0 over the hand-over either side.
std::vector<float> stepStrengths(const FlashAnalysis& analysed, int steps)
{
    std::vector<float> strength(static_cast<size_t>(steps), 0.0f);
    for (const FlashKind kind : {generalFlash, redFlash, redLevelFlash}) {
        for (const FlashRange& range : failingRanges(analysed, kind)) {
            const int32_t firstMs = msOfFrame(range.firstFrame, analysed.fps) - rangeWideningMs;
            const int32_t lastMs = msOfFrame(range.lastFrame, analysed.fps) + rangeWideningMs;
            for (int step = 0; step < steps; ++step) {
                const int32_t ms = step * dampingStepMs;
                const int32_t outside = std::max({0, firstMs - ms, ms - lastMs});
                const float near = 1.0f - static_cast<float>(outside) / handOverMs;
                strength[step] = std::max(strength[step], near);
            }
        }
    }
    return strength;
}

// Per step and analysis cell: whether the cell flashes in a second that
// overlaps the step's window of swings.
std::vector<unsigned char> flashingCells(const FlashAnalysis& analysed, int steps)
{
    const size_t cells = analysed.notedRuns.size();
    std::vector<unsigned char> flashing(cells * steps, 0);
    for (size_t cell = 0; cell < cells; ++cell) {
        for (const FrameRun& run : analysed.notedRuns[cell]) {
            // A noted frame closes a second in which the cell flashes.
            const int32_t fromMs = msOfFrame(run.first, analysed.fps) - 1000;
            const int32_t toMs = msOfFrame(run.last, analysed.fps);
            const int first =
                std::max(0, (fromMs - swingSteps * dampingStepMs) / dampingStepMs - 1);
            const int last =
                std::min(steps - 1, (toMs + swingSteps * dampingStepMs) / dampingStepMs + 1);
            for (int step = first; step <= last; ++step) {
                flashing[static_cast<size_t>(step) * cells + cell] = 1;
            }
        }
    }
    return flashing;
}

// The swings of the flashing analysis cells of a table cell over the window
// of step, and the table cell's mean and darkest levels over the two seconds around.
void swingsOf(const DampingSamples& samples, const std::vector<unsigned char>& flashing, int step,
              int column, int row, std::vector<Swing>* swings, float mean[channels],
              float darkest[channels])
{
    const int across = samples.grid.columns / dampingColumns;
    const int down = samples.grid.rows / dampingRows;
    const size_t cells = static_cast<size_t>(samples.grid.columns) * samples.grid.rows;
    const int first = std::max(0, step - meanSteps);
    const int last = std::min(samples.steps - 1, step + meanSteps);
    swings->clear();
    std::fill_n(darkest, channels, 1.0f);
    float sum[channels] = {};
    int count = 0;
    for (int y = row * down; y < (row + 1) * down; ++y) {
        for (int x = column * across; x < (column + 1) * across; ++x) {
            const size_t cell = static_cast<size_t>(y) * samples.grid.columns + x;
            Swing swing = {{1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f}};
            for (int other = first; other <= last; ++other) {
                const size_t at = (static_cast<size_t>(other) * cells + cell) * channels;
                if (samples.low[at] > samples.high[at]) {
                    continue; // no frame in that step
                }
                const bool near = std::abs(other - step) <= swingSteps;
                for (int c = 0; c < channels; ++c) {
                    const float low = samples.low[at + c] / 255.0f;
                    const float high = samples.high[at + c] / 255.0f;
                    if (near) {
                        swing.low[c] = std::min(swing.low[c], low);
                        swing.high[c] = std::max(swing.high[c], high);
                    }
                    sum[c] += (low + high) / 2.0f;
                    darkest[c] = std::min(darkest[c], low);
                }
                ++count;
            }
            if (flashing[static_cast<size_t>(step) * cells + cell] != 0) {
                swings->push_back(swing);
            }
        }
    }
    for (int c = 0; c < channels; ++c) {
        mean[c] = count > 0 ? sum[c] / count : 0.0f;
        darkest[c] = count > 0 ? darkest[c] : 0.0f;
    }
}

// The strongest damping within reach cells of each cell.
std::vector<Damping> strongestNear(const std::vector<Damping>& cells, int reach)
{
    std::vector<Damping> result(cells.size());
    for (int row = 0; row < dampingRows; ++row) {
        for (int column = 0; column < dampingColumns; ++column) {
            Damping strongest = cells[static_cast<size_t>(row) * dampingColumns + column];
            for (int y = std::max(0, row - reach); y <= std::min(dampingRows - 1, row + reach);
                 ++y) {
                for (int x = std::max(0, column - reach);
                     x <= std::min(dampingColumns - 1, column + reach); ++x) {
                    const Damping& d = cells[static_cast<size_t>(y) * dampingColumns + x];
                    strongest.factor = std::min(strongest.factor, d.factor);
                    strongest.desaturation = std::max(strongest.desaturation, d.desaturation);
                }
            }
            result[static_cast<size_t>(row) * dampingColumns + column] = strongest;
        }
    }
    return result;
}

// Each cell's damping averaged with its neighbours', so that it changes
// evenly across the picture instead of in patches.
std::vector<Damping> smoothed(const std::vector<Damping>& cells)
{
    std::vector<Damping> result(cells.size());
    for (int row = 0; row < dampingRows; ++row) {
        for (int column = 0; column < dampingColumns; ++column) {
            Damping sum = {0.0f, 0.0f, {}};
            int count = 0;
            for (int y = std::max(0, row - 1); y <= std::min(dampingRows - 1, row + 1); ++y) {
                for (int x = std::max(0, column - 1); x <= std::min(dampingColumns - 1, column + 1);
                     ++x) {
                    const Damping& d = cells[static_cast<size_t>(y) * dampingColumns + x];
                    sum.factor += d.factor;
                    sum.desaturation += d.desaturation;
                    for (int c = 0; c < channels; ++c) {
                        sum.anchor[c] += d.anchor[c];
                    }
                    ++count;
                }
            }
            Damping& mean = result[static_cast<size_t>(row) * dampingColumns + column];
            mean = {sum.factor / count, sum.desaturation / count, {}};
            for (int c = 0; c < channels; ++c) {
                mean.anchor[c] = sum.anchor[c] / count;
            }
        }
    }
    return result;
}

// A cell's damping reaches wherever the picture blends its value with its
// neighbours': the strongest within two cells, then smoothed over one, is
// still at least as strong as any cell within one needs.
std::vector<Damping> spread(const std::vector<Damping>& cells)
{
    return smoothed(strongestNear(cells, 2));
}

// Limits how fast each cell's damping eases off, forwards and backwards in
// time, so that it comes and goes over half a second.
void easeInTime(std::vector<std::vector<Damping>>* steps)
{
    const auto limit = [](const Damping& from, Damping* to) {
        to->factor = std::min(to->factor, from.factor + factorRisePerStep);
        to->desaturation = std::max(to->desaturation, from.desaturation - desaturationFallPerStep);
    };
    for (size_t step = 1; step < steps->size(); ++step) {
        for (size_t cell = 0; cell < (*steps)[step].size(); ++cell) {
            limit((*steps)[step - 1][cell], &(*steps)[step][cell]);
        }
    }
    for (size_t step = steps->size() - 1; step-- > 0;) {
        for (size_t cell = 0; cell < (*steps)[step].size(); ++cell) {
            limit((*steps)[step + 1][cell], &(*steps)[step][cell]);
        }
    }
}

unsigned char level(float value)
{
    return static_cast<unsigned char>(std::clamp(value, 0.0f, 1.0f) * 255.0f + 0.5f);
}

} // namespace

void startDampingSamples(DampingSamples* samples, const CellGrid& grid, int steps)
{
    *samples = DampingSamples{};
    samples->grid = grid;
    samples->steps = steps;
    const size_t values = static_cast<size_t>(steps) * grid.columns * grid.rows * channels;
    samples->low.assign(values, 255);
    samples->high.assign(values, 0);
    float linear[256];
    for (int i = 0; i < 256; ++i) {
        linear[i] = linearised(i);
    }
    samples->levels.resize(linearSteps + 1);
    int nearest = 0;
    for (int step = 0; step <= linearSteps; ++step) {
        const float light = static_cast<float>(step) / linearSteps;
        while (nearest < 255 && linear[nearest + 1] - light < light - linear[nearest]) {
            ++nearest;
        }
        samples->levels[step] = static_cast<unsigned char>(nearest);
    }
}

void addDampingSample(DampingSamples* samples, int32_t ms, const std::vector<LinearColor>& cells)
{
    const int step = (ms + dampingStepMs / 2) / dampingStepMs;
    if (step < 0 || step >= samples->steps) {
        return;
    }
    for (size_t cell = 0; cell < cells.size(); ++cell) {
        const float light[channels] = {cells[cell].r, cells[cell].g, cells[cell].b};
        const size_t at = (static_cast<size_t>(step) * cells.size() + cell) * channels;
        for (int c = 0; c < channels; ++c) {
            const unsigned char value =
                samples->levels[static_cast<size_t>(light[c] * linearSteps + 0.5f)];
            samples->low[at + c] = std::min(samples->low[at + c], value);
            samples->high[at + c] = std::max(samples->high[at + c], value);
        }
    }
}

std::vector<unsigned char> dampingTexels(const DampingSamples& samples,
                                         const FlashAnalysis& analysed)
{
    const int steps = samples.steps;
    const std::vector<float> strength = stepStrengths(analysed, steps);
    const std::vector<unsigned char> flashing = flashingCells(analysed, steps);
    constexpr size_t tableCells = dampingColumns * dampingRows;
    std::vector<std::vector<Damping>> dampings(static_cast<size_t>(steps));
    std::vector<CellWindow> windows(tableCells);
    for (int step = 0; step < steps; ++step) {
        if (strength[step] <= 0.0f) {
            dampings[step].resize(tableCells);
            continue;
        }
        for (int row = 0; row < dampingRows; ++row) {
            for (int column = 0; column < dampingColumns; ++column) {
                CellWindow& window = windows[static_cast<size_t>(row) * dampingColumns + column];
                swingsOf(samples, flashing, step, column, row, &window.swings, window.mean,
                         window.darkest);
            }
        }
        dampings[step] = spread(dampingsOf(windows));
    }
    easeInTime(&dampings);
    std::vector<unsigned char> texels(static_cast<size_t>(steps) * dampingStepBytes);
    for (int step = 0; step < steps; ++step) {
        for (size_t cell = 0; cell < tableCells; ++cell) {
            const Damping& d = dampings[step][cell];
            const float factor = 1.0f - strength[step] * (1.0f - d.factor);
            float offset[channels];
            offsetsFor(d.anchor, factor, strength[step] * d.desaturation, offset);
            unsigned char* texel =
                &texels[static_cast<size_t>(step) * dampingStepBytes + cell * dampingTexelBytes];
            texel[0] = level(offset[0]);
            texel[1] = level(offset[1]);
            texel[2] = level(offset[2]);
            texel[3] = level(factor);
        }
    }
    return texels;
}
