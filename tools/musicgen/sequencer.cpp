// Plays a score through the synthesiser; fade, limiter and normalisation of the result.
#include "musicgen/sequencer.h"

#include <algorithm>
#include <cmath>

namespace {

// Order of events in a score: by start frame only, so that a stable sort keeps simultaneous
// notes in the order they were written.
bool startsEarlier(const NoteEvent& a, const NoteEvent& b)
{
    return a.startFrame < b.startFrame;
}

} // namespace

std::vector<float> renderScore(const Score& score)
{
    std::vector<float> out(static_cast<size_t>(score.lengthFrames) * 2, 0.0f);
    SynthState synth = makeSynth(score.instruments, score.effects);
    size_t nextEvent = 0;
    int64_t position = 0;
    while (position < score.lengthFrames) {
        while (nextEvent < score.events.size() && score.events[nextEvent].startFrame <= position) {
            const NoteEvent& e = score.events[nextEvent];
            triggerNote(synth, score.instruments, e.track, e.note, e.velocity, e.gateFrames);
            ++nextEvent;
        }
        int64_t end = std::min(position + maxBlockFrames, score.lengthFrames);
        if (nextEvent < score.events.size()) {
            end = std::min(end, score.events[nextEvent].startFrame);
        }
        renderBlock(synth, score.instruments, score.effects, out.data() + 2 * position,
                    static_cast<int>(end - position));
        position = end;
    }
    return out;
}

void sortEvents(std::vector<NoteEvent>& events)
{
    std::stable_sort(events.begin(), events.end(), startsEarlier);
}

float peakLevel(const std::vector<float>& samples)
{
    float peak = 0.0f;
    for (float s : samples) {
        peak = std::max(peak, std::fabs(s));
    }
    return peak;
}

void normalisePeak(std::vector<float>& samples, float target)
{
    const float peak = peakLevel(samples);
    if (peak <= 0.0f) {
        return;
    }
    const float scale = target / peak;
    for (float& s : samples) {
        s *= scale;
    }
}

void softenTopEnd(std::vector<float>& samples, float cutoffHz)
{
    const FilterCoefficients butterworth = filterCoefficients(cutoffHz, 0.29289f);
    const size_t frames = samples.size() / 2;
    FilterState left;
    FilterState right;
    lowPassStrided(samples.data(), frames, 2, left, butterworth);
    lowPassStrided(samples.data() + 1, frames, 2, right, butterworth);
}

void limitPeaks(std::vector<float>& samples, float threshold, float releaseS)
{
    const float release = decayCoefficient(releaseS, 1);
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

void fadeOut(std::vector<float>& samples, int64_t startFrame, int64_t endFrame)
{
    const int64_t frames = static_cast<int64_t>(samples.size() / 2);
    const float length = static_cast<float>(std::max<int64_t>(1, endFrame - startFrame));
    for (int64_t f = std::max<int64_t>(0, startFrame); f < frames; ++f) {
        float gain = 0.0f;
        if (f < endFrame) {
            const float x = static_cast<float>(f - startFrame) / length;
            gain = 0.5f + 0.5f * std::cos(3.14159265f * x);
        }
        samples[static_cast<size_t>(2 * f)] *= gain;
        samples[static_cast<size_t>(2 * f + 1)] *= gain;
    }
}
