// Mastering for playback: -14 LUFS integrated, the level streaming and video
// sites play at, and true peaks under -1 dBTP once encoded, so that no
// decoder or playback chain clips (ITU-R BS.1770-4, measured by libebur128).
#include "musicgen/mastering.h"

#include <ebur128.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <deque>

#include "musicgen/synth.h"

namespace {

constexpr double targetLufs = -14.0;
constexpr double loudnessTolerance = 0.2;
constexpr double peakLimitDbtp = -1.0;
constexpr double peakMargin = 0.1;
// Lossy encoding overshoots the limited peaks by some 0.6 dB; a miss
// lowers the ceiling by the excess and a step more.
constexpr double firstCeilingDbtp = -1.8;
constexpr double ceilingStep = 0.1;
constexpr int maxAttempts = 6;
constexpr double lookaheadS = 0.005;
// Short enough that the gain is back before the next sixteenth, so the
// limiter does not pump; long enough not to distort the bass.
constexpr double releaseS = 0.05;
constexpr int oversampling = 4;
constexpr int halfTaps = 16;

double gainOf(double db)
{
    return std::pow(10.0, db / 20.0);
}

// Hann-windowed sinc taps that interpolate the signal phase / 4 of a sample
// after x[n] from x[n - halfTaps + 1] .. x[n + halfTaps], summing to 1.
std::vector<float> interpolationTaps(int phase)
{
    std::vector<double> taps;
    double sum = 0.0;
    const double pi = 3.14159265358979;
    for (int k = -halfTaps + 1; k <= halfTaps; ++k) {
        const double t = k - static_cast<double>(phase) / oversampling;
        const double sinc = std::sin(pi * t) / (pi * t);
        const double window = 0.5 + 0.5 * std::cos(pi * t / halfTaps);
        taps.push_back(sinc * window);
        sum += sinc * window;
    }
    std::vector<float> normalised;
    for (const double tap : taps) {
        normalised.push_back(static_cast<float>(tap / sum));
    }
    return normalised;
}

// Per frame, the largest magnitude of either channel from that sample to
// just before the next, at 4x oversampling; samples beyond the ends are 0.
std::vector<float> truePeaks(const std::vector<float>& samples)
{
    const size_t frames = samples.size() / 2;
    constexpr size_t block = 4096;
    std::vector<float> peaks(frames, 0.0f);
    std::vector<float> value(block);
    for (int channel = 0; channel < 2; ++channel) {
        // The channel with room for every tap: x[n] is padded[n + halfTaps].
        std::vector<float> padded(frames + 2 * halfTaps, 0.0f);
        for (size_t n = 0; n < frames; ++n) {
            padded[n + halfTaps] = samples[2 * n + static_cast<size_t>(channel)];
            peaks[n] = std::max(peaks[n], std::fabs(padded[n + halfTaps]));
        }
        for (int phase = 1; phase < oversampling; ++phase) {
            const std::vector<float> taps = interpolationTaps(phase);
            // Tap by tap over a block of frames, which the compiler can vectorise.
            for (size_t start = 0; start < frames; start += block) {
                const size_t count = std::min(block, frames - start);
                std::fill(value.begin(), value.end(), 0.0f);
                float* out = value.data();
                for (size_t k = 0; k < taps.size(); ++k) {
                    const float tap = taps[k];
                    const float* source = padded.data() + start + 1 + k;
                    for (size_t i = 0; i < count; ++i) {
                        out[i] += tap * source[i];
                    }
                }
                for (size_t i = 0; i < count; ++i) {
                    peaks[start + i] = std::max(peaks[start + i], std::fabs(value[i]));
                }
            }
        }
    }
    return peaks;
}

// For each frame, the least of needed[i .. i + length - 1].
std::vector<float> minimumAhead(const std::vector<float>& needed, size_t length)
{
    std::vector<float> result(needed.size());
    std::deque<size_t> candidates; // indices of increasing values, nearest first
    for (size_t i = needed.size(); i-- > 0;) {
        while (!candidates.empty() && needed[candidates.back()] >= needed[i]) {
            candidates.pop_back();
        }
        candidates.push_back(i);
        while (candidates.front() >= i + length) {
            candidates.pop_front();
        }
        result[i] = needed[candidates.front()];
    }
    return result;
}

// The limiter's gain per frame: at most what every frame needs, reached by
// a straight ramp over the look-ahead and left by an exponential release.
std::vector<float> limiterGain(const std::vector<float>& needed)
{
    const auto lookahead = static_cast<size_t>(lookaheadS * sampleRate);
    // The ramp averages the minimum over a window that always includes the
    // frame itself, so it never exceeds what that frame needs.
    const std::vector<float> ahead = minimumAhead(needed, lookahead);
    const auto release = static_cast<float>(std::exp(-1.0 / (releaseS * sampleRate)));
    std::vector<float> gain(needed.size());
    double windowSum = static_cast<double>(lookahead);
    float released = 1.0f;
    for (size_t i = 0; i < needed.size(); ++i) {
        windowSum += ahead[i] - (i >= lookahead ? ahead[i - lookahead] : 1.0f);
        const auto ramp = static_cast<float>(windowSum / static_cast<double>(lookahead));
        released = std::min(ramp, 1.0f - (1.0f - released) * release);
        gain[i] = released;
    }
    return gain;
}

double integratedLoudness(const std::vector<float>& samples)
{
    double loudness = 0.0;
    ebur128_state* state = ebur128_init(2, sampleRate, EBUR128_MODE_I);
    if (state != nullptr) {
        ebur128_add_frames_float(state, samples.data(), samples.size() / 2);
        ebur128_loudness_global(state, &loudness);
        ebur128_destroy(&state);
    }
    return loudness;
}

void applyGain(std::vector<float>& samples, double db)
{
    const auto gain = static_cast<float>(gainOf(db));
    for (float& s : samples) {
        s *= gain;
    }
}

// Look-ahead limiter on interleaved stereo whose true peaks per frame are
// given: both channels are turned down together, smoothly and ahead of
// time, wherever the 4x oversampled signal would pass ceiling, and recover
// with a release of 50 ms.
void limitTruePeaks(std::vector<float>& samples, const std::vector<float>& peaks, float ceiling)
{
    std::vector<float> needed(peaks.size(), 1.0f);
    // Each frame bounds the stretch before and after it.
    for (size_t i = 0; i < peaks.size(); ++i) {
        const float peak = std::max(peaks[i], i > 0 ? peaks[i - 1] : 0.0f);
        needed[i] = peak > ceiling ? ceiling / peak : 1.0f;
    }
    const std::vector<float> gain = limiterGain(needed);
    for (size_t i = 0; i < gain.size(); ++i) {
        samples[2 * i] *= gain[i];
        samples[2 * i + 1] *= gain[i];
    }
}

// The samples raised by gainDb and limited to ceilingDbtp, with gainDb
// corrected until that meets the target loudness: limiting takes some off.
// Peaks are the samples' own true peaks, which scale with the gain.
std::vector<float> levelled(const std::vector<float>& samples, const std::vector<float>& peaks,
                            double* gainDb, double ceilingDbtp)
{
    for (int attempt = 1;; ++attempt) {
        std::vector<float> mastered = samples;
        applyGain(mastered, *gainDb);
        limitTruePeaks(mastered, peaks, static_cast<float>(gainOf(ceilingDbtp - *gainDb)));
        const double miss = targetLufs - integratedLoudness(mastered);
        if (std::fabs(miss) <= loudnessTolerance / 2.0 || attempt == maxAttempts) {
            return mastered;
        }
        *gainDb += miss;
    }
}

} // namespace

LoudnessFigures measureLoudness(const std::vector<float>& samples)
{
    LoudnessFigures figures;
    ebur128_state* state =
        ebur128_init(2, sampleRate, EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
    if (state == nullptr) {
        return figures;
    }
    ebur128_add_frames_float(state, samples.data(), samples.size() / 2);
    ebur128_loudness_global(state, &figures.integratedLufs);
    ebur128_loudness_range(state, &figures.rangeLu);
    double peak = 0.0;
    for (unsigned int channel = 0; channel < 2; ++channel) {
        double channelPeak = 0.0;
        ebur128_true_peak(state, channel, &channelPeak);
        peak = std::max(peak, channelPeak);
    }
    figures.truePeakDbtp = 20.0 * std::log10(std::max(peak, 1e-10));
    ebur128_destroy(&state);
    return figures;
}

std::vector<float> decodeOggVorbis(const std::string& path)
{
    std::vector<float> samples;
    OggVorbis_File file;
    if (ov_fopen(path.c_str(), &file) != 0) {
        return samples;
    }
    const int channels = ov_info(&file, -1)->channels;
    float** pcm = nullptr;
    int section = 0;
    long frames = 0;
    while ((frames = ov_read_float(&file, &pcm, 4096, &section)) > 0) {
        for (long f = 0; f < frames; ++f) {
            samples.push_back(pcm[0][f]);
            samples.push_back(pcm[channels > 1 ? 1 : 0][f]);
        }
    }
    ov_clear(&file);
    return samples;
}

std::string writeMastered(const std::string& path, const std::vector<float>& samples,
                          const OggSettings& settings, LoudnessFigures* figures)
{
    double gainDb = targetLufs - integratedLoudness(samples);
    double ceilingDbtp = firstCeilingDbtp;
    const std::vector<float> peaks = truePeaks(samples);
    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
        const std::string error =
            writeOggVorbis(path, levelled(samples, peaks, &gainDb, ceilingDbtp), settings);
        if (!error.empty()) {
            return error;
        }
        *figures = measureLoudness(decodeOggVorbis(path));
        const double peakExcess = figures->truePeakDbtp - (peakLimitDbtp - peakMargin);
        if (std::fabs(targetLufs - figures->integratedLufs) <= loudnessTolerance &&
            peakExcess <= 0.0) {
            return "";
        }
        ceilingDbtp -= std::max(0.0, peakExcess) + ceilingStep;
    }
    return "mastering found no level that meets -14 LUFS under -1 dBTP";
}
