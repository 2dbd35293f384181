// Sound against picture, for tools/av_sync/av_sync.sh: writes the coded clicks that
// stand in for the music, and reads a recording of screen and sound.
//
//   av_sync --write-clicks FILE
//   av_sync --analyse FRAMES SOUND [--from MS] [--to MS]
//           [--except FROM_S,TO_S]... [--limit MS] [--list]
//           [--clock-start S [--page-aim FILE]]
//
// FRAMES: one line per grabbed frame, "<wall seconds> r g b r g b ..." of
// the patches of a coarse grid over the screen; from 60 s on the background's
// and the flowers' red run up from black every 256 ms, half a period apart,
// and the background's red level tells the show time of its first lit frame.
// SOUND: mono 16-bit 44100 Hz samples, after a first line "<wall seconds of
// the first sample>".
// A click belongs at 128 + 256 k ms of show
// time; its offset is when it is heard minus when the picture shows that
// moment. --except leaves out clicks heard in a stretch of wall time from the
// settled figures, and --limit fails (status 1) when a settled one is further off.
// Beats where the picture changes too rarely to read them (a browser drawing
// in software) are listed but left out of the settled figures too.
// --clock-start gives the wall time at which the show's clock started (a
// page tells it): the settled beats' sound and picture are then also told
// against that clock, apart. --page-aim names lines "<wall seconds> <picture
// delay ms> <viewer delay ms>" of what the page reckoned as it played: the
// sound is then told against where the page aimed it, and the picture
// against where the page reckoned it shown.
#include "musicgen/ogg_writer.h"
#include "picture_clock.h"
#include "scenes/show_values.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr int sampleRate = 44100;
constexpr double songSeconds = 120.0;
// The recording must begin this long before the saw-tooth starts.
constexpr double minLeadInMs = 500.0;
constexpr double clickPhaseMs = kickAtMs;
// A click's code, its index modulo 32, as one of 32 pitches 60 Hz apart.
constexpr int clickCodes = 32;
constexpr double lowestCodeHz = 300.0;
constexpr double codeStepHz = 60.0;
constexpr double clickSeconds = 0.030;
constexpr double codeWindowSeconds = 0.025;
// Picture offsets within this much of a click's moment are pooled for it.
constexpr double poolSeconds = 2.0;
// A beat is read to a few milliseconds only where the picture changes at
// least this often around it: each drop is seen up to a picture late, and a
// browser drawing in software can fall to a handful a second.
constexpr double readablePicturesPerSecond = 20.0;
constexpr double pictureRateWindowSeconds = 1.0;
// An onset: the sound rising over the threshold after this much below it.
constexpr double quietBeforeOnsetSeconds = 0.1;
constexpr double clickThreshold = 0.1;

struct Beat {
    double heardSeconds;
    double showMs;
    double pictureOffsetSeconds; // wall minus show time of the picture then
    double offsetMs;
    bool settled;
    bool readable;
};

int usage()
{
    fprintf(stderr, "usage: av_sync --write-clicks FILE\n"
                    "       av_sync --analyse FRAMES SOUND [--from MS] [--to MS]\n"
                    "               [--except FROM_S,TO_S]... [--limit MS] [--list]\n"
                    "               [--clock-start S [--page-aim FILE]]\n");
    return 2;
}

// The pitch that codes click k.
double codeHz(int64_t k)
{
    return lowestCodeHz + codeStepHz * static_cast<double>(k % clickCodes);
}

int writeClicks(const char* path)
{
    const auto frames = static_cast<size_t>(songSeconds * sampleRate);
    std::vector<float> samples(frames * 2, 0.0f);
    const auto clickFrames = static_cast<size_t>(clickSeconds * sampleRate);
    for (int64_t k = 0; clickPhaseMs + sawToothMs * k < songSeconds * 1000.0 - 100.0; ++k) {
        const auto first = static_cast<size_t>((clickPhaseMs + sawToothMs * k) * sampleRate / 1000);
        for (size_t i = 0; i < clickFrames; ++i) {
            // Full at once, so the onset is sharp; a smooth fall, so it does not ring.
            const double fall = 0.5 + 0.5 * std::cos(pi * i / clickFrames);
            const double value = 0.5 * fall * std::sin(2.0 * pi * codeHz(k) * i / sampleRate);
            samples[(first + i) * 2] = static_cast<float>(value);
            samples[(first + i) * 2 + 1] = static_cast<float>(value);
        }
    }
    OggSettings settings;
    settings.quality = 0.6f;
    const std::string error = writeOggVorbis(path, samples, settings);
    if (!error.empty()) {
        fprintf(stderr, "av_sync: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

// Lines of "<wall seconds> r g b r g b ...", a triple per patch.
bool readFrames(const char* path, std::vector<Frame>* frames)
{
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream values(line);
        Frame frame{};
        double red = 0.0, green = 0.0, blue = 0.0;
        values >> frame.wallSeconds;
        while (values >> red >> green >> blue) {
            frame.reds.push_back(red);
        }
        if (!frame.reds.empty()) {
            frames->push_back(frame);
        }
    }
    return !frames->empty();
}

bool readSound(const char* path, double* firstSeconds, std::vector<float>* samples)
{
    FILE* file = fopen(path, "rb");
    if (file == nullptr || fscanf(file, "%lf", firstSeconds) != 1 || fgetc(file) != '\n') {
        if (file != nullptr) {
            fclose(file);
        }
        return false;
    }
    int16_t value = 0;
    while (fread(&value, sizeof value, 1, file) == 1) {
        samples->push_back(static_cast<float>(value) / 32768.0f);
    }
    fclose(file);
    return !samples->empty();
}

// Wall time minus show time of the picture near wallSeconds: the median
// over nearby drops, each late by up to a frame.
double pictureOffsetSeconds(const std::vector<PictureDrop>& drops, double wallSeconds)
{
    std::vector<double> offsets;
    for (const PictureDrop& drop : drops) {
        if (std::fabs(drop.wallSeconds - wallSeconds) <= poolSeconds) {
            offsets.push_back(drop.wallSeconds - drop.showMs / 1000.0);
        }
    }
    if (offsets.empty()) {
        return NAN;
    }
    std::nth_element(offsets.begin(), offsets.begin() + offsets.size() / 2, offsets.end());
    return offsets[offsets.size() / 2];
}

// How many different pictures a second the screen showed within
// pictureRateWindowSeconds of wallSeconds: the grabs run far faster than any
// program draws, so a new picture is a grab unlike the one before.
double picturesPerSecond(const std::vector<Frame>& frames, double wallSeconds)
{
    size_t changes = 0;
    for (size_t i = 1; i < frames.size(); ++i) {
        if (std::fabs(frames[i].wallSeconds - wallSeconds) <= pictureRateWindowSeconds &&
            frames[i].reds != frames[i - 1].reds) {
            changes += 1;
        }
    }
    return static_cast<double>(changes) / (2.0 * pictureRateWindowSeconds);
}

std::vector<size_t> onsets(const std::vector<float>& signal, float threshold)
{
    std::vector<size_t> found;
    const auto quiet = static_cast<size_t>(quietBeforeOnsetSeconds * sampleRate);
    size_t lastLoud = 0;
    bool seenLoud = false;
    for (size_t i = 0; i < signal.size(); ++i) {
        if (std::fabs(signal[i]) < threshold) {
            continue;
        }
        if (!seenLoud || i - lastLoud > quiet) {
            found.push_back(i);
        }
        seenLoud = true;
        lastLoud = i;
    }
    return found;
}

// The code a click at sample `first` carries: the strongest of the 32 pitches.
int clickCode(const std::vector<float>& samples, size_t first)
{
    const auto length = static_cast<size_t>(codeWindowSeconds * sampleRate);
    int best = 0;
    double bestPower = -1.0;
    for (int code = 0; code < clickCodes; ++code) {
        const double w = 2.0 * pi * codeHz(code) / sampleRate;
        double re = 0.0;
        double im = 0.0;
        for (size_t i = 0; i < length && first + i < samples.size(); ++i) {
            re += samples[first + i] * std::cos(w * i);
            im += samples[first + i] * std::sin(w * i);
        }
        if (re * re + im * im > bestPower) {
            bestPower = re * re + im * im;
            best = code;
        }
    }
    return best;
}

struct Options {
    double fromMs = 0.0;
    double toMs = 1e9;
    std::vector<std::pair<double, double>> excepted; // wall seconds
    double limitMs = -1.0;
    bool list = false;
    double clockStartSeconds = NAN;
    const char* pageAimPath = nullptr;
};

// What the page reckoned at a wall time: the picture's delay to the screen
// and the viewer's delay.
struct PageAim {
    double wallSeconds;
    double pictureDelayMs;
    double viewerDelayMs;
};

std::vector<PageAim> readPageAim(const char* path)
{
    std::vector<PageAim> aims;
    std::ifstream in(path);
    PageAim aim{};
    while (in >> aim.wallSeconds >> aim.pictureDelayMs >> aim.viewerDelayMs) {
        aims.push_back(aim);
    }
    return aims;
}

// The page's latest reckoning at or before wallSeconds (the first where none is).
const PageAim& pageAimAt(const std::vector<PageAim>& aims, double wallSeconds)
{
    size_t i = 0;
    while (i + 1 < aims.size() && aims[i + 1].wallSeconds <= wallSeconds) {
        i += 1;
    }
    return aims[i];
}

bool excepted(const Options& options, double wallSeconds)
{
    for (const auto& range : options.excepted) {
        if (wallSeconds >= range.first && wallSeconds < range.second) {
            return true;
        }
    }
    return false;
}

// The show time a sound heard at wallSeconds belongs to: the click
// whose code it carries nearest the picture's moment then.
double beatShowMs(const std::vector<float>& samples, size_t onset, double pictureMs)
{
    const int code = clickCode(samples, onset);
    const double nearest = std::round((pictureMs - clickPhaseMs) / sawToothMs);
    const double k = nearest + std::remainder(code - std::fmod(nearest, clickCodes), clickCodes);
    return clickPhaseMs + sawToothMs * k;
}

void printFigures(const char* what, const std::vector<Beat>& beats, bool settledOnly)
{
    std::vector<double> offsets;
    double sumT = 0.0, sumO = 0.0, sumTT = 0.0, sumTO = 0.0;
    for (const Beat& beat : beats) {
        if (settledOnly && !(beat.settled && beat.readable)) {
            continue;
        }
        offsets.push_back(beat.offsetMs);
        const double t = beat.showMs / 60000.0;
        sumT += t;
        sumO += beat.offsetMs;
        sumTT += t * t;
        sumTO += t * beat.offsetMs;
    }
    const double n = static_cast<double>(offsets.size());
    if (offsets.empty()) {
        printf("%s: no beats\n", what);
        return;
    }
    const double mean = sumO / n;
    double variance = 0.0;
    for (const double offset : offsets) {
        variance += (offset - mean) * (offset - mean);
    }
    const double slope = n > 1 ? (n * sumTO - sumT * sumO) / (n * sumTT - sumT * sumT) : 0.0;
    printf(
        "%s: %zu beats, offset mean %+.1f ms, sd %.1f, min %+.1f, max %+.1f, drift %+.1f ms/min\n",
        what, offsets.size(), mean, std::sqrt(variance / n),
        *std::min_element(offsets.begin(), offsets.end()),
        *std::max_element(offsets.begin(), offsets.end()), slope);
}

// Where the settled beats' sound and picture stand against the show's clock
// started at clockStartSeconds (the mean of each, late positive) and, with
// the page's reckoning, against where the page aimed the sound and reckoned
// the picture shown.
void printAgainstClock(const std::vector<Beat>& beats, double clockStartSeconds,
                       const std::vector<PageAim>& aims)
{
    double heardMs = 0.0;
    double shownMs = 0.0;
    double pictureBeyondMs = 0.0;
    double count = 0.0;
    std::vector<Beat> againstAim;
    for (const Beat& beat : beats) {
        if (!beat.settled || !beat.readable) {
            continue;
        }
        const double heard = (beat.heardSeconds - clockStartSeconds) * 1000.0 - beat.showMs;
        const double shown = (beat.pictureOffsetSeconds - clockStartSeconds) * 1000.0;
        heardMs += heard;
        shownMs += shown;
        count += 1.0;
        if (!aims.empty()) {
            const PageAim& aim = pageAimAt(aims, beat.heardSeconds);
            Beat aimed = beat;
            aimed.offsetMs = heard - aim.pictureDelayMs - aim.viewerDelayMs;
            againstAim.push_back(aimed);
            pictureBeyondMs += shown - aim.pictureDelayMs;
        }
    }
    if (count == 0.0) {
        return;
    }
    printf("against the show's clock: sound heard %+.1f ms, picture shown %+.1f ms\n",
           heardMs / count, shownMs / count);
    if (!againstAim.empty()) {
        printFigures("sound against the page's aim", againstAim, true);
        printf("picture shown %+.1f ms after the page reckons\n", pictureBeyondMs / count);
    }
}

int analyse(const char* framesPath, const char* soundPath, const Options& options)
{
    std::vector<Frame> frames;
    std::vector<float> samples;
    double firstSampleSeconds = 0.0;
    if (!readFrames(framesPath, &frames) || !readSound(soundPath, &firstSampleSeconds, &samples)) {
        fprintf(stderr, "av_sync: cannot read %s or %s\n", framesPath, soundPath);
        return 1;
    }
    size_t start = 0;
    double startShowMs = 0.0;
    if (!sawToothStart(frames, &start, &startShowMs)) {
        fprintf(stderr, "av_sync: the picture shows no saw-tooth\n");
        return 1;
    }
    // Its start tells the show time only if the recording saw it start.
    if (frames[start].wallSeconds - frames.front().wallSeconds < minLeadInMs / 1000.0) {
        fprintf(stderr, "av_sync: the recording began after the saw-tooth did\n");
        return 1;
    }
    const std::vector<PictureDrop> drops = pictureDrops(frames, start, startShowMs);
    if (drops.size() < 2) {
        fprintf(stderr, "av_sync: the picture shows no saw-tooth\n");
        return 1;
    }
    float peak = 0.0f;
    for (const float value : samples) {
        peak = std::max(peak, std::fabs(value));
    }
    const float threshold = clickThreshold * peak;
    std::vector<Beat> beats;
    for (const size_t onset : onsets(samples, threshold)) {
        const double heard = firstSampleSeconds + static_cast<double>(onset) / sampleRate;
        const double pictureOffset = pictureOffsetSeconds(drops, heard);
        if (std::isnan(pictureOffset)) {
            continue;
        }
        const double pictureMs = (heard - pictureOffset) * 1000.0;
        const double showMs = beatShowMs(samples, onset, pictureMs);
        if (showMs < options.fromMs || showMs > options.toMs) {
            continue;
        }
        beats.push_back({heard, showMs, pictureOffset, pictureMs - showMs,
                         !excepted(options, heard),
                         picturesPerSecond(frames, heard) >= readablePicturesPerSecond});
    }
    if (options.list) {
        for (const Beat& beat : beats) {
            printf("%10.3f s heard, beat %8.0f ms, offset %+7.1f ms%s%s\n", beat.heardSeconds,
                   beat.showMs, beat.offsetMs, beat.settled ? "" : " (excepted)",
                   beat.readable ? "" : " (too few pictures to read)");
        }
    }
    printf("picture: %zu frames, %zu drops\n", frames.size(), drops.size());
    const auto unreadable = static_cast<size_t>(
        std::count_if(beats.begin(), beats.end(), [](const Beat& beat) { return !beat.readable; }));
    if (unreadable > 0) {
        printf("unreadable: %zu of %zu beats where the picture changed fewer than %.0f times a "
               "second\n",
               unreadable, beats.size(), readablePicturesPerSecond);
    }
    printFigures("all", beats, false);
    printFigures("settled", beats, true);
    if (!std::isnan(options.clockStartSeconds)) {
        const std::vector<PageAim> aims = options.pageAimPath != nullptr
                                              ? readPageAim(options.pageAimPath)
                                              : std::vector<PageAim>{};
        printAgainstClock(beats, options.clockStartSeconds, aims);
    }
    if (options.limitMs < 0.0) {
        return 0;
    }
    size_t outside = 0;
    size_t settled = 0;
    for (const Beat& beat : beats) {
        const bool counts = beat.settled && beat.readable;
        settled += counts ? 1 : 0;
        outside += counts && std::fabs(beat.offsetMs) > options.limitMs ? 1 : 0;
    }
    // Fewer than half the beats heard means the rig, not the program, failed.
    const double expected = (std::min(options.toMs, drops.back().showMs) -
                             std::max(options.fromMs, drops.front().showMs)) /
                            sawToothMs;
    if (static_cast<double>(beats.size()) < expected / 2) {
        printf("FAIL: too few beats heard (%zu)\n", beats.size());
        return 1;
    }
    if (settled == 0) {
        printf("FAIL: no settled beat where the picture changes often enough to read it\n");
        return 1;
    }
    if (outside > 0) {
        printf("FAIL: %zu of %zu settled beats more than %.0f ms off\n", outside, settled,
               options.limitMs);
        return 1;
    }
    printf("ok: every settled beat within %.0f ms\n", options.limitMs);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--write-clicks") == 0) {
        return writeClicks(argv[2]);
    }
    if (argc < 4 || std::strcmp(argv[1], "--analyse") != 0) {
        return usage();
    }
    Options options;
    for (int i = 4; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--list") == 0) {
            options.list = true;
        } else if (std::strcmp(argv[i], "--from") == 0 && hasValue) {
            options.fromMs = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--to") == 0 && hasValue) {
            options.toMs = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--page-aim") == 0 && hasValue) {
            options.pageAimPath = argv[++i];
        } else if (std::strcmp(argv[i], "--clock-start") == 0 && hasValue) {
            options.clockStartSeconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--limit") == 0 && hasValue) {
            options.limitMs = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--except") == 0 && hasValue) {
            double from = 0.0, to = 0.0;
            if (std::sscanf(argv[++i], "%lf,%lf", &from, &to) != 2) {
                return usage();
            }
            options.excepted.push_back({from, to});
        } else {
            return usage();
        }
    }
    return analyse(argv[2], argv[3], options);
}
