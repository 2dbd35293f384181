// Flashing-light analysis after WCAG 2.2, success criterion 2.3.1 and its
// definitions of "general flash and red flash thresholds":
// - relative luminance L = 0.2126 R + 0.7152 G + 0.0722 B of linearised sRGB;
// - a transition is the change between adjacent peaks and valleys of a
//   region's relative luminance over time, and a flash a pair of opposing
//   transitions;
// - a general flash: opposing changes of at least 0.1 in L where the darker
//   state is below 0.8;
// - a red flash (WCAG 2.2's working definition, after ISO 9241-391): opposing
//   transitions where one is to or from a state with R / (R + G + B) >= 0.8
//   and the states differ by more than 0.2 in CIE 1976 UCS chromaticity (u', v');
// - a red flash as WCAG 2.0 and 2.1 define it (and broadcast guidance with
//   them): opposing transitions to or from a saturated red (the same ratio,
//   of linear R, G, B) where (R - G - B) x 320, negatives taken as 0,
//   changes by more than 20;
// - content fails where more than three flashes of either kind fall within
//   one second and together cover more than 25 % of any 10° visual field,
//   which WCAG takes as 341x256 of 1024x768: a third of the screen each way.
// Regions here are square cells of the frame, each with its own time series.
#include "flash_analysis.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float generalStep = 0.1f;
constexpr float generalDarkLimit = 0.8f;
constexpr float redRatio = 0.8f;
constexpr float redChromaStep = 0.2f;
constexpr float redLevelScale = 320.0f;
constexpr float redLevelStep = 20.0f;
// Hue is not seen in the near-dark, and the chromaticity of a colour there
// is arithmetic noise: below 0.5 % of white's luminance a colour counts as black.
constexpr float blackLuminance = 0.005f;
constexpr int transitionsAllowed = 6; // three flashes, each a pair of transitions
constexpr double areaAllowed = 0.25;

// A colour in linear light, each channel 0 to 1.
struct LinearColor {
    float r;
    float g;
    float b;
};

// Linear light of an 8-bit sRGB level.
float linearised(int channel)
{
    const float level = static_cast<float>(channel) / 255.0f;
    return level <= 0.04045f ? level / 12.92f : std::pow((level + 0.055f) / 1.055f, 2.4f);
}

// Relative luminance of a linear colour.
float relativeLuminance(const LinearColor& c)
{
    return 0.2126f * c.r + 0.7152f * c.g + 0.0722f * c.b;
}

// u', v' of the colour, and whether it is saturated red; black takes the
// white point's (that of R = G = B).
ChromaTrack chromaOf(const LinearColor& c)
{
    const bool black = relativeLuminance(c) < blackLuminance;
    const LinearColor d = black ? LinearColor{1.0f, 1.0f, 1.0f} : c;
    const float x = 0.4124f * d.r + 0.3576f * d.g + 0.1805f * d.b;
    const float y = 0.2126f * d.r + 0.7152f * d.g + 0.0722f * d.b;
    const float z = 0.0193f * d.r + 0.1192f * d.g + 0.9505f * d.b;
    const float denominator = x + 15.0f * y + 3.0f * z;
    return {4.0f * x / denominator, 9.0f * y / denominator,
            !black && c.r / (c.r + c.g + c.b) >= redRatio};
}

enum class ZigzagMove { held, extended, turned };

// Moves the zigzag on to level: it takes a direction, or turns, once level
// has come a step from the extreme (at least a step, or more than one where
// strict), and otherwise follows the extreme further.
ZigzagMove followZigzag(Zigzag* zigzag, float level, float step, bool strict)
{
    const auto reaches = [&](float distance) {
        return strict ? distance > step : distance >= step;
    };
    if (zigzag->direction == 0) {
        if (!reaches(std::fabs(level - zigzag->pivot))) {
            return ZigzagMove::held;
        }
        zigzag->direction = level > zigzag->pivot ? 1 : -1;
        zigzag->extreme = level;
        return ZigzagMove::extended;
    }
    if ((level - zigzag->extreme) * static_cast<float>(zigzag->direction) > 0.0f) {
        zigzag->extreme = level;
        return ZigzagMove::extended;
    }
    if (!reaches(std::fabs(level - zigzag->extreme))) {
        return ZigzagMove::held;
    }
    zigzag->pivot = zigzag->extreme;
    zigzag->extreme = level;
    zigzag->direction = -zigzag->direction;
    zigzag->counted = false;
    return ZigzagMove::turned;
}

// True, once a leg, on the frame the zigzag's leg first qualifies as a transition.
bool countLeg(Zigzag* zigzag, bool qualifies)
{
    if (zigzag->direction == 0 || zigzag->counted || !qualifies) {
        return false;
    }
    zigzag->counted = true;
    return true;
}

// A general transition: 0.1 of luminance, the darker state below 0.8.
bool luminanceTransition(Zigzag* track, float level)
{
    followZigzag(track, level, generalStep, false);
    return countLeg(track, std::min(track->pivot, track->extreme) < generalDarkLimit);
}

// True when the colour has moved more than 0.2 in u'v' from the last red
// transition's state and either state is saturated red; it then becomes the state.
bool redTransition(ChromaTrack* track, const ChromaTrack& now)
{
    const float distance = std::hypot(now.u - track->u, now.v - track->v);
    if (!(track->red || now.red) || distance <= redChromaStep) {
        return false;
    }
    *track = now;
    return true;
}

bool saturatedRed(const LinearColor& c)
{
    const float sum = c.r + c.g + c.b;
    return sum > 0.0f && c.r / sum >= redRatio;
}

float redLevel(const LinearColor& c)
{
    return std::max(0.0f, c.r - c.g - c.b) * redLevelScale;
}

// A red transition as WCAG 2.0 and 2.1 read it: the red level's leg more
// than 20, to or from a saturated red.
bool redLevelTransition(RedLevelTrack* track, float level, bool red)
{
    const ZigzagMove move = followZigzag(&track->zigzag, level, redLevelStep, true);
    if (move == ZigzagMove::turned) {
        track->pivotRed = track->extremeRed;
    }
    if (move != ZigzagMove::held) {
        track->extremeRed = red;
    }
    return countLeg(&track->zigzag, track->pivotRed || track->extremeRed);
}

void remember(TransitionRing* ring, int32_t frame)
{
    ring->head = (ring->head + 1) % transitionMemory;
    ring->frames[ring->head] = frame;
    ring->size = std::min(ring->size + 1, transitionMemory);
}

// Transitions within the second that closes with frame.
int transitionsInSecond(const TransitionRing& ring, int32_t frame, int fps)
{
    int count = 0;
    while (count < ring.size &&
           ring.frames[(ring.head - count + transitionMemory) % transitionMemory] > frame - fps) {
        ++count;
    }
    return count;
}

// Largest share of a 10° field (a third of the grid each way) whose cells are flagged.
double largestFieldShare(const std::vector<unsigned char>& flagged, int columns, int rows)
{
    std::vector<int> sums(static_cast<size_t>(columns + 1) * (rows + 1), 0);
    const auto at = [columns](int x, int y) { return static_cast<size_t>(y) * (columns + 1) + x; };
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < columns; ++x) {
            sums[at(x + 1, y + 1)] = flagged[static_cast<size_t>(y) * columns + x] +
                                     sums[at(x, y + 1)] + sums[at(x + 1, y)] - sums[at(x, y)];
        }
    }
    const int fieldColumns = columns / 3;
    const int fieldRows = rows / 3;
    int most = 0;
    for (int y = 0; y + fieldRows <= rows; ++y) {
        for (int x = 0; x + fieldColumns <= columns; ++x) {
            most = std::max(most, sums[at(x + fieldColumns, y + fieldRows)] -
                                      sums[at(x, y + fieldRows)] - sums[at(x + fieldColumns, y)] +
                                      sums[at(x, y)]);
        }
    }
    return static_cast<double>(most) / (fieldColumns * fieldRows);
}

double median(std::vector<double> values)
{
    if (values.empty()) {
        return 0.0;
    }
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// The mean linear colour of the grid's cell at column, row of packed RGB,
// linear holding linearised() of each level.
LinearColor meanCellColor(const float* linear, const unsigned char* rgb, const CellGrid& grid,
                          int column, int row)
{
    const int frameWidth = grid.frameWidth;
    const int cellSize = grid.cellSize;
    LinearColor sum = {0.0f, 0.0f, 0.0f};
    for (int y = row * cellSize; y < (row + 1) * cellSize; ++y) {
        const unsigned char* pixel =
            rgb +
            (static_cast<size_t>(y) * frameWidth + static_cast<size_t>(column) * cellSize) * 3;
        for (int x = 0; x < cellSize; ++x, pixel += 3) {
            sum.r += linear[pixel[0]];
            sum.g += linear[pixel[1]];
            sum.b += linear[pixel[2]];
        }
    }
    const auto count = static_cast<float>(cellSize * cellSize);
    return {sum.r / count, sum.g / count, sum.b / count};
}

} // namespace

void startFlashAnalysis(FlashAnalysis* analysis, int width, int height, int cellSize, int fps)
{
    *analysis = FlashAnalysis{};
    analysis->grid = {width, height, cellSize, width / cellSize, height / cellSize};
    analysis->fps = fps;
    for (int i = 0; i < 256; ++i) {
        analysis->linear[i] = linearised(i);
    }
    const auto cells = static_cast<size_t>(analysis->grid.columns) * analysis->grid.rows;
    analysis->luminance.resize(cells);
    analysis->chroma.resize(cells);
    analysis->redLevel.resize(cells);
    for (std::vector<TransitionRing>& rings : analysis->transitions) {
        rings.assign(cells, TransitionRing{});
    }
}

void analyseFrame(FlashAnalysis* analysis, const unsigned char* rgb)
{
    const int32_t frame = analysis->frameIndex++;
    const auto cells = static_cast<size_t>(analysis->grid.columns) * analysis->grid.rows;
    std::vector<unsigned char> flagged[flashKinds];
    std::vector<double> rates[flashKinds];
    int mostTransitions[flashKinds] = {};
    for (std::vector<unsigned char>& kindFlags : flagged) {
        kindFlags.assign(cells, 0);
    }
    for (int row = 0; row < analysis->grid.rows; ++row) {
        for (int column = 0; column < analysis->grid.columns; ++column) {
            const size_t cell = static_cast<size_t>(row) * analysis->grid.columns + column;
            const LinearColor color =
                meanCellColor(analysis->linear, rgb, analysis->grid, column, row);
            const float level = relativeLuminance(color);
            const ChromaTrack chroma = chromaOf(color);
            const bool red = saturatedRed(color);
            if (frame == 0) {
                analysis->luminance[cell].pivot = level;
                analysis->chroma[cell] = chroma;
                analysis->redLevel[cell].zigzag.pivot = redLevel(color);
                analysis->redLevel[cell].pivotRed = red;
            }
            const bool transitioned[flashKinds] = {
                luminanceTransition(&analysis->luminance[cell], level),
                redTransition(&analysis->chroma[cell], chroma),
                redLevelTransition(&analysis->redLevel[cell], redLevel(color), red)};
            for (int kind = 0; kind < flashKinds; ++kind) {
                TransitionRing& ring = analysis->transitions[kind][cell];
                if (transitioned[kind]) {
                    remember(&ring, frame);
                }
                const int count = transitionsInSecond(ring, frame, analysis->fps);
                mostTransitions[kind] = std::max(mostTransitions[kind], count);
                if (count > transitionsAllowed) {
                    flagged[kind][cell] = 1;
                    rates[kind].push_back(count / 2.0);
                }
            }
        }
    }
    FlashFrame figures;
    for (int kind = 0; kind < flashKinds; ++kind) {
        figures.area[kind] =
            largestFieldShare(flagged[kind], analysis->grid.columns, analysis->grid.rows);
        figures.flashesPerSecond[kind] = median(rates[kind]);
        figures.mostFlashes[kind] = mostTransitions[kind] / 2.0;
    }
    analysis->frames.push_back(figures);
}

std::vector<FlashRange> failingRanges(const FlashAnalysis& analysis, FlashKind kind)
{
    std::vector<FlashRange> ranges;
    for (size_t i = 0; i < analysis.frames.size(); ++i) {
        const FlashFrame& figures = analysis.frames[i];
        if (figures.area[kind] <= areaAllowed) {
            continue;
        }
        const auto frame = static_cast<int32_t>(i);
        const int32_t secondStart = std::max(0, frame - analysis.fps + 1);
        // A failing second that overlaps the last range's continues it.
        if (ranges.empty() || secondStart > ranges.back().lastFrame + 1) {
            FlashRange range;
            range.firstFrame = secondStart;
            ranges.push_back(range);
        }
        FlashRange& range = ranges.back();
        range.lastFrame = frame;
        range.peakArea = std::max(range.peakArea, figures.area[kind]);
        range.peakFlashesPerSecond =
            std::max(range.peakFlashesPerSecond, figures.flashesPerSecond[kind]);
    }
    return ranges;
}
