// What the reduced-flashing mode keeps of the picture: stills of both modes
// compared by detail, colour and layout, per stretch of the show it calms.
// Usage: mode_keeps NORMAL_DIR REDUCED_DIR, each holding frame_NNNNNN.png
// stills of the moments that mode_keeps --moments lists (bench/reduced_keeps.sh
// makes them), or mode_keeps NORMAL.png REDUCED.png for the figures of one pair.
#include "rgb_image.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A still as its luma and colour channels, 8-bit values as read.
struct Still {
    int width = 0;
    int height = 0;
    std::vector<float> r, g, b, y;
};

struct Stretch {
    const char* name;
    int32_t firstMs;
    int32_t lastMs;
    int32_t stepMs;
};

constexpr Stretch stretches[] = {
    {"0:22-0:32 (scene 2)", 22000, 32000, 250},
    {"1:00-1:40 (scene 3)", 60000, 100000, 500},
    {"1:40-1:54 (scene 4)", 100500, 114000, 500},
};

// The goal: the medians of kept detail and colour, and of the layout's
// correlation, at least these, and no still's layout below the last.
constexpr double detailGoal = 0.7;
constexpr double colourGoal = 0.7;
constexpr double layoutGoal = 0.9;
constexpr double lowestLayoutGoal = 0.5;

constexpr int gaussianRadius = 5; // an 11x11 window
constexpr double gaussianSigma = 1.5;
constexpr int layoutBlock = 16;

bool loadStill(const std::string& path, Still* still)
{
    std::vector<unsigned char> rgb;
    if (!loadRgbImage(path, &rgb, &still->width, &still->height)) {
        return false;
    }
    const size_t count = rgb.size() / 3;
    for (std::vector<float>* channel : {&still->r, &still->g, &still->b, &still->y}) {
        channel->resize(count);
    }
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* pixel = &rgb[3 * i];
        still->r[i] = pixel[0];
        still->g[i] = pixel[1];
        still->b[i] = pixel[2];
        still->y[i] = 0.2126f * pixel[0] + 0.7152f * pixel[1] + 0.0722f * pixel[2];
    }
    return true;
}

// Mean over the frame of the standard deviation of luma in a Gaussian window,
// as SSIM takes it, at every pixel where the whole window fits.
double meanLocalContrast(const Still& still)
{
    std::vector<double> weights(2 * gaussianRadius + 1);
    double total = 0.0;
    for (int i = -gaussianRadius; i <= gaussianRadius; ++i) {
        weights[i + gaussianRadius] = std::exp(-(i * i) / (2.0 * gaussianSigma * gaussianSigma));
        total += weights[i + gaussianRadius];
    }
    for (double& weight : weights) {
        weight /= total;
    }
    const int w = still.width;
    const int h = still.height;
    // Separable blur of Y and Y squared, rows then columns.
    std::vector<double> rowMean(static_cast<size_t>(w) * h, 0.0);
    std::vector<double> rowSquare(rowMean.size(), 0.0);
    for (int y = 0; y < h; ++y) {
        for (int x = gaussianRadius; x < w - gaussianRadius; ++x) {
            double mean = 0.0;
            double square = 0.0;
            for (int i = -gaussianRadius; i <= gaussianRadius; ++i) {
                const double value = still.y[static_cast<size_t>(y) * w + x + i];
                mean += weights[i + gaussianRadius] * value;
                square += weights[i + gaussianRadius] * value * value;
            }
            rowMean[static_cast<size_t>(y) * w + x] = mean;
            rowSquare[static_cast<size_t>(y) * w + x] = square;
        }
    }
    double sum = 0.0;
    long count = 0;
    for (int y = gaussianRadius; y < h - gaussianRadius; ++y) {
        for (int x = gaussianRadius; x < w - gaussianRadius; ++x) {
            double mean = 0.0;
            double square = 0.0;
            for (int i = -gaussianRadius; i <= gaussianRadius; ++i) {
                const size_t at = static_cast<size_t>(y + i) * w + x;
                mean += weights[i + gaussianRadius] * rowMean[at];
                square += weights[i + gaussianRadius] * rowSquare[at];
            }
            sum += std::sqrt(std::max(0.0, square - mean * mean));
            ++count;
        }
    }
    return count > 0 ? sum / static_cast<double>(count) : 0.0;
}

double meanOf(const std::vector<double>& values)
{
    double sum = 0.0;
    for (const double value : values) {
        sum += value;
    }
    return values.empty() ? 0.0 : sum / static_cast<double>(values.size());
}

double deviationOf(const std::vector<double>& values)
{
    const double mean = meanOf(values);
    double sum = 0.0;
    for (const double value : values) {
        sum += (value - mean) * (value - mean);
    }
    return values.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(values.size()));
}

// Hasler and Süsstrunk's colourfulness (2003).
double colourfulness(const Still& still)
{
    std::vector<double> rg(still.r.size());
    std::vector<double> yb(still.r.size());
    for (size_t i = 0; i < rg.size(); ++i) {
        rg[i] = still.r[i] - still.g[i];
        yb[i] = (still.r[i] + still.g[i]) / 2.0 - still.b[i];
    }
    return std::hypot(deviationOf(rg), deviationOf(yb)) + 0.3 * std::hypot(meanOf(rg), meanOf(yb));
}

// Luma averaged over 16x16 blocks (a last, partial block where the size does not divide).
std::vector<double> blockLuma(const Still& still)
{
    const int columns = (still.width + layoutBlock - 1) / layoutBlock;
    const int rows = (still.height + layoutBlock - 1) / layoutBlock;
    std::vector<double> sums(static_cast<size_t>(columns) * rows, 0.0);
    std::vector<int> counts(sums.size(), 0);
    for (int y = 0; y < still.height; ++y) {
        for (int x = 0; x < still.width; ++x) {
            const size_t block = static_cast<size_t>(y / layoutBlock) * columns + x / layoutBlock;
            sums[block] += still.y[static_cast<size_t>(y) * still.width + x];
            ++counts[block];
        }
    }
    for (size_t i = 0; i < sums.size(); ++i) {
        sums[i] /= counts[i];
    }
    return sums;
}

// Pearson correlation; two flat pictures agree, a flat one with another does not.
double correlation(const std::vector<double>& a, const std::vector<double>& b)
{
    const double meanA = meanOf(a);
    const double meanB = meanOf(b);
    double ab = 0.0;
    double aa = 0.0;
    double bb = 0.0;
    for (size_t i = 0; i < a.size(); ++i) {
        ab += (a[i] - meanA) * (b[i] - meanB);
        aa += (a[i] - meanA) * (a[i] - meanA);
        bb += (b[i] - meanB) * (b[i] - meanB);
    }
    if (aa == 0.0 || bb == 0.0) {
        return aa == bb ? 1.0 : 0.0;
    }
    return ab / std::sqrt(aa * bb);
}

// reduced / normal, where a picture with none of it keeps all of none.
double kept(double reduced, double normal)
{
    constexpr double none = 1e-9;
    return normal > none ? reduced / normal : (reduced > none ? 2.0 : 1.0);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t half = values.size() / 2;
    return values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2.0;
}

std::string stillPath(const std::string& dir, int32_t ms)
{
    char name[32];
    snprintf(name, sizeof name, "/frame_%06d.png", static_cast<int>(ms));
    return dir + name;
}

struct Figures {
    double detail;
    double colour;
    double layout;
};

Figures compare(const Still& normal, const Still& reduced)
{
    return {kept(meanLocalContrast(reduced), meanLocalContrast(normal)),
            kept(colourfulness(reduced), colourfulness(normal)),
            correlation(blockLuma(reduced), blockLuma(normal))};
}

bool loadPair(const std::string& normalPath, const std::string& reducedPath, Still* normal,
              Still* reduced)
{
    return loadStill(normalPath, normal) && loadStill(reducedPath, reduced) &&
           normal->width == reduced->width && normal->height == reduced->height;
}

bool isPng(const std::string& path)
{
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0;
}

// Prints the moments of every stretch, in ms, comma-separated, as capture --at takes them.
void printMoments()
{
    const char* separator = "";
    for (const Stretch& stretch : stretches) {
        for (int32_t ms = stretch.firstMs; ms <= stretch.lastMs; ms += stretch.stepMs) {
            printf("%s%d", separator, static_cast<int>(ms));
            separator = ",";
        }
    }
    printf("\n");
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && std::string(argv[1]) == "--moments") {
        printMoments();
        return 0;
    }
    if (argc != 3) {
        fprintf(stderr,
                "usage: mode_keeps NORMAL_DIR REDUCED_DIR | NORMAL.png REDUCED.png | --moments\n");
        return 2;
    }
    if (isPng(argv[1])) {
        Still normal;
        Still reduced;
        if (!loadPair(argv[1], argv[2], &normal, &reduced)) {
            fprintf(stderr, "mode_keeps: no pair of stills of one size\n");
            return 1;
        }
        const Figures figures = compare(normal, reduced);
        printf("detail %.2f, colour %.2f, layout %.2f\n", figures.detail, figures.colour,
               figures.layout);
        return 0;
    }
    bool met = true;
    printf("%-20s %8s %8s %8s %8s   %s\n", "stretch", "detail", "colour", "layout", "lowest",
           "(at ms)");
    for (const Stretch& stretch : stretches) {
        std::vector<double> details;
        std::vector<double> colours;
        std::vector<double> layouts;
        int32_t lowestMs = stretch.firstMs;
        for (int32_t ms = stretch.firstMs; ms <= stretch.lastMs; ms += stretch.stepMs) {
            Still normal;
            Still reduced;
            if (!loadPair(stillPath(argv[1], ms), stillPath(argv[2], ms), &normal, &reduced)) {
                fprintf(stderr, "mode_keeps: no pair of stills of one size at %d ms\n", ms);
                return 1;
            }
            const Figures figures = compare(normal, reduced);
            details.push_back(figures.detail);
            colours.push_back(figures.colour);
            layouts.push_back(figures.layout);
            if (layouts.back() <= *std::min_element(layouts.begin(), layouts.end())) {
                lowestMs = ms;
            }
        }
        const double lowest = *std::min_element(layouts.begin(), layouts.end());
        printf("%-20s %8.2f %8.2f %8.2f %8.2f   (%d)\n", stretch.name, median(details),
               median(colours), median(layouts), lowest, lowestMs);
        met = met && median(details) >= detailGoal && median(colours) >= colourGoal &&
              median(layouts) >= layoutGoal && lowest >= lowestLayoutGoal;
    }
    printf("goal (median detail >= %.1f, colour >= %.1f, layout >= %.1f, none below %.1f): %s\n",
           detailGoal, colourGoal, layoutGoal, lowestLayoutGoal, met ? "met" : "not met");
    return 0;
}
