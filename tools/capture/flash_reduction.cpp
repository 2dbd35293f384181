// Flash reduction: in the failing stretches, each cell that the analysis
// found flashing too often (and its neighbours) has its colour pulled, in
// linear light, towards its average over the neighbouring second, by as much
// as it takes to keep its luminance swing under the general threshold's step.
// What changes is only the fast part of the coarse picture: slow fades pass,
// as a centred average follows a straight ramp exactly; every pixel keeps its
// offset from its cell's mean, so fine detail stays as drawn; a flash stays at
// its moment, only weaker, and a red one keeps its hue without falling to
// black, so it is no longer a change of colour. The shift is interpolated
// between cell centres so that no cell's edge shows.
#include "flash_reduction.h"

#include <algorithm>
#include <cmath>

namespace {

// Under the general threshold's 0.1, with room for rounding to 8 bits and
// for pixels that a shift would take out of range.
constexpr float targetSwing = 0.07f;
constexpr int srgbSteps = 65536;

// Frames the reduction needs before it can hand out frame.
int32_t framesNeeded(const FlashReduction& reduction, int32_t frame)
{
    return std::min(static_cast<int32_t>(reduction.strength.size()), frame + reduction.reach + 1);
}

// 1 within run, falling linearly to 0 over margin frames either side.
float strengthNear(const FrameRun& run, int32_t frame, int margin)
{
    const int32_t outside = std::max({0, run.first - frame, frame - run.last});
    return std::max(0.0f, 1.0f - static_cast<float>(outside) / static_cast<float>(margin + 1));
}

// Per frame, the strength of the nearest failing range of either kind.
std::vector<float> strengths(const FlashAnalysis& normal, int margin)
{
    std::vector<float> strength(normal.frames.size(), 0.0f);
    const auto frameTotal = static_cast<int32_t>(normal.frames.size());
    for (const FlashKind kind : {generalFlash, redFlash}) {
        for (const FlashRange& range : failingRanges(normal, kind)) {
            const FrameRun run = {range.firstFrame, range.lastFrame};
            for (int32_t frame = std::max(0, run.first - margin);
                 frame <= std::min(frameTotal - 1, run.last + margin); ++frame) {
                strength[frame] = std::max(strength[frame], strengthNear(run, frame, margin));
            }
        }
    }
    return strength;
}

// Per cell, the strength that its own flashing asks for at frame, spread to
// the neighbouring cells, capped by the frame's.
std::vector<float> cellStrengths(FlashReduction* reduction, int32_t frame)
{
    const int columns = reduction->grid.columns;
    const int rows = reduction->grid.rows;
    std::vector<float> own(reduction->flashingRuns.size(), 0.0f);
    for (size_t cell = 0; cell < own.size(); ++cell) {
        const std::vector<FrameRun>& runs = reduction->flashingRuns[cell];
        size_t& next = reduction->nextRun[cell];
        while (next < runs.size() && runs[next].last + reduction->margin < frame) {
            ++next;
        }
        if (next < runs.size()) {
            own[cell] = strengthNear(runs[next], frame, reduction->margin);
        }
    }
    std::vector<float> spread(own.size(), 0.0f);
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            float most = 0.0f;
            for (int y = std::max(0, row - 1); y <= std::min(rows - 1, row + 1); ++y) {
                for (int x = std::max(0, column - 1); x <= std::min(columns - 1, column + 1); ++x) {
                    most = std::max(most, own[static_cast<size_t>(y) * columns + x]);
                }
            }
            spread[static_cast<size_t>(row) * columns + column] =
                std::min(most, reduction->strength[frame]);
        }
    }
    return spread;
}

std::vector<LinearColor> meansOf(const FlashReduction& reduction, const unsigned char* rgb)
{
    std::vector<LinearColor> means(static_cast<size_t>(reduction.grid.columns) *
                                   reduction.grid.rows);
    for (int row = 0; row < reduction.grid.rows; ++row) {
        for (int column = 0; column < reduction.grid.columns; ++column) {
            means[static_cast<size_t>(row) * reduction.grid.columns + column] =
                meanCellColor(reduction.linear, rgb, reduction.grid, column, row);
        }
    }
    return means;
}

// Per cell, the linear colour to take away from frame's pixels: the part of
// the cell's colour that departs from its triangle-weighted average over the
// frames within reach, scaled to bring the cell's luminance swing over them
// down to the target, and by the cell's strength.
std::vector<LinearColor> cellShifts(const FlashReduction& reduction, int32_t frame,
                                    const std::vector<float>& strength)
{
    const int32_t first = std::max(reduction.meansFrom, frame - reduction.reach);
    const int32_t last = std::min(reduction.received - 1, frame + reduction.reach);
    const std::vector<LinearColor>& now = reduction.cellMeans[frame - reduction.meansFrom];
    std::vector<LinearColor> shifts(now.size());
    for (size_t cell = 0; cell < now.size(); ++cell) {
        LinearColor sum = {0.0f, 0.0f, 0.0f};
        float weights = 0.0f;
        float darkest = 1.0f;
        float brightest = 0.0f;
        for (int32_t other = first; other <= last; ++other) {
            const LinearColor& c = reduction.cellMeans[other - reduction.meansFrom][cell];
            const auto weight = static_cast<float>(reduction.reach + 1 - std::abs(other - frame));
            sum = {sum.r + weight * c.r, sum.g + weight * c.g, sum.b + weight * c.b};
            weights += weight;
            const float level = relativeLuminance(c);
            darkest = std::min(darkest, level);
            brightest = std::max(brightest, level);
        }
        const float swing = brightest - darkest;
        const float kept = swing > targetSwing ? targetSwing / swing : 1.0f;
        const float amount = strength[cell] * (1.0f - kept);
        shifts[cell] = {amount * (now[cell].r - sum.r / weights),
                        amount * (now[cell].g - sum.g / weights),
                        amount * (now[cell].b - sum.b / weights)};
    }
    return shifts;
}

// Nearest cell centre at or before pixel position, the next one, and the
// weight of the next, along one axis of cells of size.
struct Blend {
    int before;
    int after;
    float weight;
};

Blend blendAt(int position, int size, int cells)
{
    const float at = (static_cast<float>(position) + 0.5f) / static_cast<float>(size) - 0.5f;
    const int before = std::clamp(static_cast<int>(std::floor(at)), 0, cells - 1);
    const int after = std::min(before + 1, cells - 1);
    return {before, after, std::clamp(at - static_cast<float>(before), 0.0f, 1.0f)};
}

LinearColor mix(const LinearColor& a, const LinearColor& b, float weight)
{
    return {a.r + weight * (b.r - a.r), a.g + weight * (b.g - a.g), a.b + weight * (b.b - a.b)};
}

unsigned char shifted(const FlashReduction& reduction, unsigned char level, float shift)
{
    const float light = std::clamp(reduction.linear[level] - shift, 0.0f, 1.0f);
    return reduction.srgb[static_cast<size_t>(light * (srgbSteps - 1) + 0.5f)];
}

// Takes the cells' shifts, interpolated between cell centres, away from every pixel.
void applyShifts(const FlashReduction& reduction, const std::vector<LinearColor>& shifts,
                 std::vector<unsigned char>* rgb)
{
    const int columns = reduction.grid.columns;
    std::vector<Blend> across(static_cast<size_t>(reduction.grid.frameWidth));
    for (int x = 0; x < reduction.grid.frameWidth; ++x) {
        across[x] = blendAt(x, reduction.grid.cellSize, columns);
    }
    std::vector<LinearColor> line(static_cast<size_t>(columns));
    for (int y = 0; y < reduction.grid.frameHeight; ++y) {
        const Blend down = blendAt(y, reduction.grid.cellSize, reduction.grid.rows);
        for (int column = 0; column < columns; ++column) {
            line[column] =
                mix(shifts[static_cast<size_t>(down.before) * columns + column],
                    shifts[static_cast<size_t>(down.after) * columns + column], down.weight);
        }
        unsigned char* pixel = rgb->data() + static_cast<size_t>(y) * reduction.grid.frameWidth * 3;
        for (int x = 0; x < reduction.grid.frameWidth; ++x, pixel += 3) {
            const LinearColor shift =
                mix(line[across[x].before], line[across[x].after], across[x].weight);
            pixel[0] = shifted(reduction, pixel[0], shift.r);
            pixel[1] = shifted(reduction, pixel[1], shift.g);
            pixel[2] = shifted(reduction, pixel[2], shift.b);
        }
    }
}

} // namespace

void startFlashReduction(FlashReduction* reduction, const FlashAnalysis& normal)
{
    *reduction = FlashReduction{};
    reduction->grid = normal.grid;
    reduction->reach = std::max(1, normal.fps / 2);
    reduction->margin = std::max(1, normal.fps / 2);
    reduction->strength = strengths(normal, reduction->margin);
    // A cell flagged on a frame flashes too often in the second that frame closes.
    reduction->flashingRuns = normal.flaggedRuns;
    for (std::vector<FrameRun>& runs : reduction->flashingRuns) {
        for (FrameRun& run : runs) {
            run.first = std::max(0, run.first - normal.fps + 1);
        }
    }
    reduction->nextRun.assign(reduction->flashingRuns.size(), 0);
    for (int i = 0; i < 256; ++i) {
        reduction->linear[i] = linearised(i);
    }
    // Nearest level in linear light; the steps are finer than the levels
    // near black, so a level without shift comes back unchanged.
    reduction->srgb.resize(srgbSteps);
    int level = 0;
    for (int step = 0; step < srgbSteps; ++step) {
        const float light = static_cast<float>(step) / (srgbSteps - 1);
        while (level < 255 &&
               reduction->linear[level + 1] - light < light - reduction->linear[level]) {
            ++level;
        }
        reduction->srgb[step] = static_cast<unsigned char>(level);
    }
}

void addFrame(FlashReduction* reduction, std::vector<unsigned char> rgb)
{
    reduction->cellMeans.push_back(meansOf(*reduction, rgb.data()));
    reduction->pending.push_back(std::move(rgb));
    ++reduction->received;
}

bool takeReducedFrame(FlashReduction* reduction, std::vector<unsigned char>* reduced,
                      std::vector<unsigned char>* original)
{
    const int32_t frame = reduction->handedOut;
    if (reduction->pending.empty() || reduction->received < framesNeeded(*reduction, frame)) {
        return false;
    }
    *original = std::move(reduction->pending.front());
    reduction->pending.pop_front();
    *reduced = *original;
    if (reduction->strength[frame] > 0.0f) {
        applyShifts(*reduction, cellShifts(*reduction, frame, cellStrengths(reduction, frame)),
                    reduced);
    }
    ++reduction->handedOut;
    while (reduction->meansFrom < reduction->handedOut - reduction->reach) {
        reduction->cellMeans.pop_front();
        ++reduction->meansFrom;
    }
    return true;
}
