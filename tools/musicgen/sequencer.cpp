// Plays a score through the synthesiser; fade, limiter and normalisation of the result.
#include "musicgen/sequencer.h"

#include <algorithm>
#include <cmath>

namespace {

// Order of events in a score: by start frame only, so that a stable sort keeps simultaneous
// notes in the order they were written.
bool starts_earlier(const NoteEvent& a, const NoteEvent& b)
{
    return a.start_frame < b.start_frame;
}

} // namespace

std::vector<float> render_score(const Score& score)
{
    std::vector<float> out(static_cast<size_t>(score.length_frames) * 2, 0.0f);
    SynthState synth = make_synth(score.instruments, score.effects);
    size_t next_event = 0;
    int64_t position = 0;
    while (position < score.length_frames) {
        while (next_event < score.events.size() &&
               score.events[next_event].start_frame <= position) {
            const NoteEvent& e = score.events[next_event];
            trigger_note(synth, score.instruments, e.track, e.note, e.velocity, e.gate_frames);
            ++next_event;
        }
        int64_t end = std::min(position + kMaxBlockFrames, score.length_frames);
        if (next_event < score.events.size()) {
            end = std::min(end, score.events[next_event].start_frame);
        }
        render_block(synth, score.instruments, score.effects, out.data() + 2 * position,
                     static_cast<int>(end - position));
        position = end;
    }
    return out;
}

void sort_events(std::vector<NoteEvent>& events)
{
    std::stable_sort(events.begin(), events.end(), starts_earlier);
}

float peak_level(const std::vector<float>& samples)
{
    float peak = 0.0f;
    for (float s : samples) {
        peak = std::max(peak, std::fabs(s));
    }
    return peak;
}

void normalise_peak(std::vector<float>& samples, float target)
{
    const float peak = peak_level(samples);
    if (peak <= 0.0f) {
        return;
    }
    const float scale = target / peak;
    for (float& s : samples) {
        s *= scale;
    }
}

void soften_top_end(std::vector<float>& samples, float cutoff_hz)
{
    const FilterCoefficients butterworth = filter_coefficients(cutoff_hz, 0.29289f);
    const size_t frames = samples.size() / 2;
    FilterState left;
    FilterState right;
    low_pass_strided(samples.data(), frames, 2, left, butterworth);
    low_pass_strided(samples.data() + 1, frames, 2, right, butterworth);
}

void limit_peaks(std::vector<float>& samples, float threshold, float release_s)
{
    const float release = decay_coefficient(release_s, 1);
    float envelope = 0.0f;
    for (size_t i = 0; i + 1 < samples.size(); i += 2) {
        const float level = std::max(std::fabs(samples[i]), std::fabs(samples[i + 1]));
        envelope = std::max(level, envelope * release);
        if (envelope > threshold) {
            const float gain = threshold / envelope;
            samples[i] *= gain;
            samples[i + 1] *= gain;
        }
    }
}

void fade_out(std::vector<float>& samples, int64_t start_frame, int64_t end_frame)
{
    const int64_t frames = static_cast<int64_t>(samples.size() / 2);
    const float length = static_cast<float>(std::max<int64_t>(1, end_frame - start_frame));
    for (int64_t f = std::max<int64_t>(0, start_frame); f < frames; ++f) {
        float gain = 0.0f;
        if (f < end_frame) {
            const float x = static_cast<float>(f - start_frame) / length;
            gain = 0.5f + 0.5f * std::cos(3.14159265f * x);
        }
        samples[static_cast<size_t>(2 * f)] *= gain;
        samples[static_cast<size_t>(2 * f + 1)] *= gain;
    }
}
