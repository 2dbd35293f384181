// Oscillators, envelopes, filters, voices and send effects of the music generator's synthesiser.
#include "musicgen/synth.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float twoPi = 6.28318530717958647692f;
constexpr float pi = 3.14159265358979323846f;
// -80 dB: below this a releasing voice is inaudible and is switched off.
constexpr float silenceLevel = 1.0e-4f;
// Envelopes below this are zeroed so their state never turns denormal (and slow).
constexpr float tinyLevel = 1.0e-6f;
// Per-sample approach of the side-chain level to its target: a ramp of a few ms, no click.
constexpr float duckSmoothing = 0.05f;
constexpr float allpassFeedback = 0.5f;
// Freeverb's comb and allpass lengths at 44.1 kHz; the right channel is offset for width.
constexpr int combLengths[reverbCombs] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int allpassLengths[reverbAllpasses] = {556, 441};
constexpr int stereoSpread = 23;
constexpr float reverbInputGain = 0.125f;
constexpr float middleC = 261.6256f;

// Returns x, or 0 where x is so small it would be denormal: adding and removing a
// constant rounds those away without a branch.
float flushTiny(float x)
{
    const float guard = 1.0e-18f;
    return (x + guard) - guard;
}

// Multiplies a decaying envelope by coef, snapping it to zero once negligible.
void decayTowardsZero(float& level, float coef)
{
    level *= coef;
    if (level < tinyLevel) {
        level = 0.0f;
    }
}

// Next value of the voice's white-noise generator (xorshift32), in [-1, 1).
float nextNoise(uint32_t& seed)
{
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    return static_cast<float>(static_cast<int32_t>(seed)) * (1.0f / 2147483648.0f);
}

// Polynomial correction that removes most aliasing from a step at phase 0 (dt: phase step).
float polyBlep(float t, float dt)
{
    if (t < dt) {
        const float x = t / dt;
        return x + x - x * x - 1.0f;
    }
    if (t > 1.0f - dt) {
        const float x = (t - 1.0f) / dt;
        return x * x + x + x + 1.0f;
    }
    return 0.0f;
}

// How much of the input, band and low outputs make up each filter mode's output; band-pass is
// scaled to unity gain at its centre. Mixing instead of branching keeps the sample loop straight.
struct FilterMix {
    float input;
    float band;
    float low;
};

// The output mix for `mode` of a filter whose damping is `k`.
FilterMix filterMix(FilterMode mode, float k)
{
    switch (mode) {
    case FilterMode::LowPass: return FilterMix{0.0f, 0.0f, 1.0f};
    case FilterMode::BandPass: return FilterMix{0.0f, k, 0.0f};
    case FilterMode::HighPass: return FilterMix{1.0f, -k, -1.0f};
    case FilterMode::Off: break;
    }
    return FilterMix{1.0f, 0.0f, 0.0f};
}

// Equal-power stereo gains for `pan` in [-1, 1], both 1 at the centre.
void panGains(float pan, float& left, float& right)
{
    const float clamped = std::min(std::max(pan, -1.0f), 1.0f);
    const float angle = (clamped + 1.0f) * 0.25f * pi;
    left = std::cos(angle) * std::sqrt(2.0f);
    right = std::sin(angle) * std::sqrt(2.0f);
}

// Derives the per-sample and per-tick multipliers of an instrument from its times and pan.
InstrumentRates instrumentRates(const InstrumentParams& p)
{
    InstrumentRates r;
    r.decayCoef = decayCoefficient(p.decayS, 1);
    r.releaseCoef = decayCoefficient(p.releaseS, 1);
    r.pitchEnvCoef = decayCoefficient(p.pitchEnvDecayS, controlFrames);
    r.filterEnvCoef = decayCoefficient(p.filterEnvDecayS, controlFrames);
    r.fmCoef = decayCoefficient(p.fmDecayS, controlFrames);
    panGains(p.pan, r.gainLeft, r.gainRight);
    r.stereo = p.unison > 1 && p.stereoWidth > 0.0f;
    return r;
}

// Picks the voice for a new note: a free one, else the quietest (oldest on a tie).
VoiceState& pickVoice(TrackState& track)
{
    VoiceState* best = &track.voices[0];
    for (int i = 0; i < track.polyphony; ++i) {
        VoiceState& v = track.voices[i];
        if (!v.active) {
            return v;
        }
        if (v.envLevel < best->envLevel || (v.envLevel == best->envLevel && v.age > best->age)) {
            best = &v;
        }
    }
    return *best;
}

// Sets a voice up for a new note. A stolen voice keeps its level and phases so the
// takeover does not click.
void startVoice(VoiceState& v, const InstrumentParams& p, int note, float velocity,
                int64_t gateFrames)
{
    const bool wasActive = v.active;
    v.active = true;
    v.note = note;
    v.velocity = velocity;
    v.age = 0;
    v.gateFramesLeft = std::max<int64_t>(1, gateFrames);
    v.stage = EnvelopeStage::Attack;
    if (!wasActive) {
        v.envLevel = 0.0f;
        v.filterLeft = FilterState{};
        v.filterRight = FilterState{};
    }
    v.attackStep = 1.0f / std::max(1.0f, p.attackS * sampleRate);
    v.pitchEnv = 1.0f;
    v.filterEnv = 1.0f;
    v.fmLevel = 1.0f;
    v.vibratoPhase = 0.0f;
    v.controlCountdown = 0;

    const float frequency = noteFrequency(note);
    v.baseCutoffHz = p.cutoffHz * std::pow(frequency / middleC, p.keyTrack) *
                     std::exp2(-p.velocityToCutoff * (1.0f - velocity));
    const int unison = std::min(std::max(p.unison, 1), maxUnison);
    const float level = 1.0f / std::sqrt(static_cast<float>(unison));
    for (int k = 0; k < unison; ++k) {
        const float offset =
            unison > 1 ? static_cast<float>(k) / static_cast<float>(unison - 1) - 0.5f : 0.0f;
        v.baseIncrement[k] = frequency * std::exp2(offset * p.detuneCents / 1200.0f) / sampleRate;
        v.increment[k] = v.baseIncrement[k];
        panGains(2.0f * offset * p.stereoWidth, v.gainLeft[k], v.gainRight[k]);
        v.gainLeft[k] *= level;
        v.gainRight[k] *= level;
        if (p.resetPhase) {
            // A quarter turn starts a sine at its crest: every drum hit opens with the same full
            // click.
            v.phase[k] = 0.25f;
        } else if (!wasActive) {
            // Spread unison phases so the oscillators do not start in lockstep.
            v.phase[k] = static_cast<float>(k) * 0.381966f;
        }
    }
    if (p.resetPhase) {
        v.fmPhase = 0.0f;
    }
}

// Moves pitch, vibrato, FM and filter envelopes one control tick on.
void updateVoiceControls(VoiceState& v, const InstrumentParams& p, const InstrumentRates& r)
{
    float semitones = p.pitchEnvSemitones * v.pitchEnv;
    decayTowardsZero(v.pitchEnv, r.pitchEnvCoef);
    if (p.vibratoCents != 0.0f) {
        semitones += p.vibratoCents * 0.01f * std::sin(twoPi * v.vibratoPhase);
        v.vibratoPhase += p.vibratoHz * controlFrames / sampleRate;
        v.vibratoPhase -= std::floor(v.vibratoPhase);
    }
    const float multiplier = semitones != 0.0f ? std::exp2(semitones / 12.0f) : 1.0f;
    const int unison = std::min(std::max(p.unison, 1), maxUnison);
    for (int k = 0; k < unison; ++k) {
        v.increment[k] = std::min(v.baseIncrement[k] * multiplier, 0.45f);
    }
    v.fmIncrement = v.increment[0] * p.fmRatio;
    decayTowardsZero(v.fmLevel, r.fmCoef);

    if (p.filter != FilterMode::Off) {
        const float envelope = p.filterEnvFromAmp ? v.envLevel : v.filterEnv;
        decayTowardsZero(v.filterEnv, r.filterEnvCoef);
        const float sweep =
            p.filterEnvOctaves != 0.0f ? std::exp2(p.filterEnvOctaves * envelope) : 1.0f;
        v.coefficients = filterCoefficients(v.baseCutoffHz * sweep, p.resonance);
    }
}

// Advances the amplitude envelope one sample; returns false once the voice has gone silent.
bool advanceEnvelope(VoiceState& v, const InstrumentParams& p, const InstrumentRates& r)
{
    switch (v.stage) {
    case EnvelopeStage::Attack:
        v.envLevel += v.attackStep;
        if (v.envLevel >= 1.0f) {
            v.envLevel = 1.0f;
            v.stage = EnvelopeStage::Decay;
        }
        break;
    case EnvelopeStage::Decay:
        v.envLevel = p.sustain + (v.envLevel - p.sustain) * r.decayCoef;
        break;
    case EnvelopeStage::Release: v.envLevel *= r.releaseCoef; break;
    case EnvelopeStage::Off: return false;
    }
    if (v.gateFramesLeft > 0) {
        --v.gateFramesLeft;
        if (v.gateFramesLeft == 0) {
            v.stage = EnvelopeStage::Release;
        }
    }
    const bool fading =
        v.stage == EnvelopeStage::Release || (v.stage == EnvelopeStage::Decay && p.sustain <= 0.0f);
    if (fading && v.envLevel < silenceLevel) {
        v.stage = EnvelopeStage::Off;
        v.envLevel = 0.0f;
        v.active = false;
        return false;
    }
    return true;
}

// Runs the amplitude envelope over `frames` samples into `env`; returns how many of them
// sound (fewer than `frames` once the voice has fallen silent and switched off).
int envelopeRun(VoiceState& v, const InstrumentParams& p, const InstrumentRates& r, float* env,
                int frames)
{
    for (int i = 0; i < frames; ++i) {
        if (!advanceEnvelope(v, p, r)) {
            return i;
        }
        env[i] = v.envLevel * v.velocity;
    }
    return frames;
}

// Moves an oscillator phase on by one step, wrapping at 1.
float advancePhase(float phase, float increment)
{
    const float next = phase + increment;
    return next >= 1.0f ? next - 1.0f : next;
}

// Adds one band-limited saw into the buffers with its pan gains.
void sawRun(float& phaseIo, float increment, float gainLeft, float gainRight, float* left,
            float* right, int frames)
{
    float phase = phaseIo;
    for (int i = 0; i < frames; ++i) {
        const float value = 2.0f * phase - 1.0f - polyBlep(phase, increment);
        left[i] += value * gainLeft;
        right[i] += value * gainRight;
        phase = advancePhase(phase, increment);
    }
    phaseIo = phase;
}

// Adds one band-limited pulse wave of duty cycle `width` into the buffers.
void squareRun(float& phaseIo, float increment, float width, float gainLeft, float gainRight,
               float* left, float* right, int frames)
{
    float phase = phaseIo;
    for (int i = 0; i < frames; ++i) {
        float shifted = phase - width;
        if (shifted < 0.0f) {
            shifted += 1.0f;
        }
        const float value = (phase < width ? 1.0f : -1.0f) + polyBlep(phase, increment) -
                            polyBlep(shifted, increment);
        left[i] += value * gainLeft;
        right[i] += value * gainRight;
        phase = advancePhase(phase, increment);
    }
    phaseIo = phase;
}

// Adds one triangle wave; its harmonics fall fast enough to need no band-limiting.
void triangleRun(float& phaseIo, float increment, float gainLeft, float gainRight, float* left,
                 float* right, int frames)
{
    float phase = phaseIo;
    for (int i = 0; i < frames; ++i) {
        const float value = phase < 0.5f ? 4.0f * phase - 1.0f : 3.0f - 4.0f * phase;
        left[i] += value * gainLeft;
        right[i] += value * gainRight;
        phase = advancePhase(phase, increment);
    }
    phaseIo = phase;
}

// Adds one sine oscillator, phase-modulated by `modulation` (in cycles) where given.
void sineRun(float& phaseIo, float increment, const float* modulation, float gainLeft,
             float gainRight, float* left, float* right, int frames)
{
    float phase = phaseIo;
    for (int i = 0; i < frames; ++i) {
        const float value = std::sin(twoPi * (phase + modulation[i]));
        left[i] += value * gainLeft;
        right[i] += value * gainRight;
        phase = advancePhase(phase, increment);
    }
    phaseIo = phase;
}

// The FM modulator's output in cycles for each frame; zero when the instrument has no FM.
void modulatorRun(VoiceState& v, const InstrumentParams& p, float* modulation, int frames)
{
    if (p.fmRatio <= 0.0f) {
        std::fill(modulation, modulation + frames, 0.0f);
        return;
    }
    const float depth = v.fmLevel * p.fmIndex;
    for (int i = 0; i < frames; ++i) {
        modulation[i] = depth * std::sin(twoPi * v.fmPhase);
        v.fmPhase += v.fmIncrement;
        v.fmPhase -= std::floor(v.fmPhase);
    }
}

// Fills `left` and `right` with the voice's oscillators and noise, before filter and envelope.
void oscillatorsRun(VoiceState& v, const InstrumentParams& p, int unison, float* left, float* right,
                    int frames)
{
    if (p.wave == Wave::Noise) {
        uint32_t seed = v.noiseSeed;
        for (int i = 0; i < frames; ++i) {
            left[i] = nextNoise(seed);
            right[i] = left[i];
        }
        v.noiseSeed = seed;
        return;
    }
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    if (p.wave == Wave::Sine) {
        float modulation[controlFrames];
        modulatorRun(v, p, modulation, frames);
        for (int k = 0; k < unison; ++k) {
            sineRun(v.phase[k], v.increment[k], modulation, v.gainLeft[k], v.gainRight[k], left,
                    right, frames);
        }
    } else {
        for (int k = 0; k < unison; ++k) {
            if (p.wave == Wave::Saw) {
                sawRun(v.phase[k], v.increment[k], v.gainLeft[k], v.gainRight[k], left, right,
                       frames);
            } else if (p.wave == Wave::Square) {
                squareRun(v.phase[k], v.increment[k], p.pulseWidth, v.gainLeft[k], v.gainRight[k],
                          left, right, frames);
            } else {
                triangleRun(v.phase[k], v.increment[k], v.gainLeft[k], v.gainRight[k], left, right,
                            frames);
            }
        }
    }
    if (p.noiseMix > 0.0f) {
        const float keep = 1.0f - p.noiseMix;
        uint32_t seed = v.noiseSeed;
        for (int i = 0; i < frames; ++i) {
            const float noise = nextNoise(seed) * p.noiseMix;
            left[i] = left[i] * keep + noise;
            right[i] = right[i] * keep + noise;
        }
        v.noiseSeed = seed;
    }
}

// Filters a buffer in place through the state-variable filter. The state lives in locals for
// the loop: through the reference the compiler would have to assume it aliases the samples.
void filterRun(float* samples, FilterState& state, const FilterCoefficients& c,
               const FilterMix& mix, int frames)
{
    float ic1 = state.ic1;
    float ic2 = state.ic2;
    for (int i = 0; i < frames; ++i) {
        const float x = samples[i];
        const float v3 = x - ic2;
        const float v1 = c.a1 * ic1 + c.a2 * v3;
        const float v2 = ic2 + c.a2 * ic1 + c.a3 * v3;
        ic1 = 2.0f * v1 - ic1;
        ic2 = 2.0f * v2 - ic2;
        samples[i] = mix.input * x + mix.band * v1 + mix.low * v2;
    }
    state.ic1 = ic1;
    state.ic2 = ic2;
}

// Feeds the mono send through the ping-pong delay and adds its output to `out`.
void processDelay(DelayState& d, const EffectParams& e, const float* send, float* out, int frames)
{
    const size_t length = d.left.size();
    const float keep = e.delayDamping;
    for (int i = 0; i < frames; ++i) {
        const float echoLeft = d.left[d.position];
        const float echoRight = d.right[d.position];
        d.dampLeft = flushTiny(echoLeft + (d.dampLeft - echoLeft) * keep);
        d.dampRight = flushTiny(echoRight + (d.dampRight - echoRight) * keep);
        // Each echo crosses to the other side: the repeats bounce left, right, left.
        d.left[d.position] = send[i] + e.delayFeedback * d.dampRight;
        d.right[d.position] = e.delayFeedback * d.dampLeft;
        d.position = d.position + 1 == length ? 0 : d.position + 1;
        out[2 * i] += echoLeft * e.delayLevel;
        out[2 * i + 1] += echoRight * e.delayLevel;
    }
}

// One sample through a feedback comb whose loop is low-passed: the reverb's decaying echoes.
float combSample(CombState& c, float input, float feedback, float damping)
{
    const float output = c.buffer[c.position];
    c.damp = flushTiny(output + (c.damp - output) * damping);
    c.buffer[c.position] = input + c.damp * feedback;
    c.position = c.position + 1 == c.buffer.size() ? 0 : c.position + 1;
    return output;
}

// One sample through a Schroeder allpass: smears the comb echoes without colouring them.
float allpassSample(AllpassState& a, float input)
{
    const float stored = a.buffer[a.position];
    a.buffer[a.position] = flushTiny(input + stored * allpassFeedback);
    a.position = a.position + 1 == a.buffer.size() ? 0 : a.position + 1;
    return stored - input;
}

// Runs one channel of the Schroeder/Moorer reverb over the block.
void reverbChannel(CombState* combs, AllpassState* allpasses, const EffectParams& e,
                   const float* send, float* out, int frames)
{
    for (int i = 0; i < frames; ++i) {
        const float input = send[i] * reverbInputGain;
        float sum = 0.0f;
        for (int c = 0; c < reverbCombs; ++c) {
            sum += combSample(combs[c], input, e.reverbFeedback, e.reverbDamping);
        }
        for (int a = 0; a < reverbAllpasses; ++a) {
            sum = allpassSample(allpasses[a], sum);
        }
        out[2 * i] += sum * e.reverbLevel;
    }
}

// Side-chain level for each frame of the block: jumps up at a trigger, recovers exponentially.
void advanceDuck(SynthState& synth, float* duck, int frames)
{
    for (int i = 0; i < frames; ++i) {
        decayTowardsZero(synth.duckTarget, synth.duckCoef);
        synth.duckLevel =
            flushTiny(synth.duckLevel + (synth.duckTarget - synth.duckLevel) * duckSmoothing);
        duck[i] = synth.duckLevel;
    }
}

} // namespace

FilterCoefficients filterCoefficients(float cutoffHz, float resonance)
{
    const float limited = std::min(std::max(cutoffHz, 20.0f), 0.45f * sampleRate);
    const float g = std::tan(pi * limited / sampleRate);
    FilterCoefficients c;
    c.k = 2.0f * (1.0f - std::min(std::max(resonance, 0.0f), 0.95f));
    c.a1 = 1.0f / (1.0f + g * (g + c.k));
    c.a2 = g * c.a1;
    c.a3 = g * c.a2;
    return c;
}

void lowPassStrided(float* samples, size_t count, size_t stride, FilterState& state,
                    const FilterCoefficients& c)
{
    float ic1 = state.ic1;
    float ic2 = state.ic2;
    for (size_t i = 0; i < count; ++i) {
        float& x = samples[i * stride];
        const float v3 = x - ic2;
        const float v1 = c.a1 * ic1 + c.a2 * v3;
        const float v2 = ic2 + c.a2 * ic1 + c.a3 * v3;
        ic1 = 2.0f * v1 - ic1;
        ic2 = 2.0f * v2 - ic2;
        x = v2;
    }
    state.ic1 = ic1;
    state.ic2 = ic2;
}

float decayCoefficient(float seconds, int framesPerStep)
{
    if (seconds <= 0.0f) {
        return 0.0f;
    }
    const float lnMinus60Db = -6.90775528f;
    return std::exp(lnMinus60Db * static_cast<float>(framesPerStep) / (seconds * sampleRate));
}

float noteFrequency(int note)
{
    return 440.0f * std::exp2(static_cast<float>(note - 69) / 12.0f);
}

SynthState makeSynth(const std::vector<InstrumentParams>& instruments, const EffectParams& effects)
{
    SynthState synth;
    synth.tracks.resize(instruments.size());
    for (size_t t = 0; t < instruments.size(); ++t) {
        TrackState& track = synth.tracks[t];
        track.rates = instrumentRates(instruments[t]);
        track.polyphony = std::min(std::max(instruments[t].polyphony, 1), maxVoices);
        for (int v = 0; v < maxVoices; ++v) {
            // Distinct, fixed seeds: every voice's noise differs, and every run is the same.
            track.voices[v].noiseSeed =
                0x9E3779B9u ^ (static_cast<uint32_t>(t * maxVoices + v + 1) * 2654435761u);
        }
    }
    const size_t delayFrames = std::max<size_t>(
        1, static_cast<size_t>(std::lround(effects.delayMs * sampleRate / 1000.0f)));
    synth.delay.left.assign(delayFrames, 0.0f);
    synth.delay.right.assign(delayFrames, 0.0f);
    for (int c = 0; c < reverbCombs; ++c) {
        synth.reverb.combsLeft[c].buffer.assign(static_cast<size_t>(combLengths[c]), 0.0f);
        synth.reverb.combsRight[c].buffer.assign(static_cast<size_t>(combLengths[c] + stereoSpread),
                                                 0.0f);
    }
    for (int a = 0; a < reverbAllpasses; ++a) {
        synth.reverb.allpassesLeft[a].buffer.assign(static_cast<size_t>(allpassLengths[a]), 0.0f);
        synth.reverb.allpassesRight[a].buffer.assign(
            static_cast<size_t>(allpassLengths[a] + stereoSpread), 0.0f);
    }
    synth.duckCoef = decayCoefficient(effects.duckReleaseS, 1);
    return synth;
}

void triggerNote(SynthState& synth, const std::vector<InstrumentParams>& instruments, int track,
                 int note, float velocity, int64_t gateFrames)
{
    const InstrumentParams& params = instruments[static_cast<size_t>(track)];
    if (params.triggersDuck) {
        synth.duckTarget = 1.0f;
    }
    startVoice(pickVoice(synth.tracks[static_cast<size_t>(track)]), params, note, velocity,
               gateFrames);
}

void renderVoice(VoiceState& v, const InstrumentParams& p, const InstrumentRates& r, float* left,
                 float* right, int frames)
{
    const int unison = std::min(std::max(p.unison, 1), maxUnison);
    // Work in runs that end on control ticks, so pitch and filter stay fixed within a run.
    int done = 0;
    while (done < frames) {
        if (v.controlCountdown == 0) {
            updateVoiceControls(v, p, r);
            v.controlCountdown = controlFrames;
        }
        const int run = std::min(frames - done, v.controlCountdown);
        v.controlCountdown -= run;
        float env[controlFrames];
        float voiceLeft[controlFrames];
        float voiceRight[controlFrames];
        const int sounding = envelopeRun(v, p, r, env, run);
        oscillatorsRun(v, p, unison, voiceLeft, voiceRight, sounding);
        if (p.filter != FilterMode::Off) {
            const FilterMix mix = filterMix(p.filter, v.coefficients.k);
            if (r.stereo) {
                filterRun(voiceLeft, v.filterLeft, v.coefficients, mix, sounding);
                filterRun(voiceRight, v.filterRight, v.coefficients, mix, sounding);
            } else {
                filterRun(voiceLeft, v.filterLeft, v.coefficients, mix, sounding);
                std::copy_n(voiceLeft, sounding, voiceRight);
            }
        }
        for (int i = 0; i < sounding; ++i) {
            left[done + i] += voiceLeft[i] * env[i];
            right[done + i] += voiceRight[i] * env[i];
        }
        v.age += sounding;
        if (sounding < run) {
            return;
        }
        done += run;
    }
}

void renderBlock(SynthState& synth, const std::vector<InstrumentParams>& instruments,
                 const EffectParams& effects, float* out, int frames)
{
    float duck[maxBlockFrames];
    float trackLeft[maxBlockFrames];
    float trackRight[maxBlockFrames];
    float delaySend[maxBlockFrames] = {};
    float reverbLeft[maxBlockFrames] = {};
    float reverbRight[maxBlockFrames] = {};
    advanceDuck(synth, duck, frames);

    for (size_t t = 0; t < synth.tracks.size(); ++t) {
        TrackState& track = synth.tracks[t];
        const InstrumentParams& p = instruments[t];
        bool sounding = false;
        std::fill(trackLeft, trackLeft + frames, 0.0f);
        std::fill(trackRight, trackRight + frames, 0.0f);
        for (int v = 0; v < track.polyphony; ++v) {
            if (track.voices[v].active) {
                renderVoice(track.voices[v], p, track.rates, trackLeft, trackRight, frames);
                sounding = true;
            }
        }
        if (!sounding) {
            continue;
        }
        const float gainLeft = track.rates.gainLeft * p.gain;
        const float gainRight = track.rates.gainRight * p.gain;
        for (int i = 0; i < frames; ++i) {
            const float duckGain = 1.0f - p.duckDepth * duck[i];
            const float l = trackLeft[i] * gainLeft * duckGain;
            const float r = trackRight[i] * gainRight * duckGain;
            out[2 * i] += l;
            out[2 * i + 1] += r;
            delaySend[i] += 0.5f * (l + r) * p.delaySend;
            reverbLeft[i] += l * p.reverbSend;
            reverbRight[i] += r * p.reverbSend;
        }
    }

    if (effects.delayLevel > 0.0f) {
        processDelay(synth.delay, effects, delaySend, out, frames);
    }
    if (effects.reverbLevel > 0.0f) {
        reverbChannel(synth.reverb.combsLeft, synth.reverb.allpassesLeft, effects, reverbLeft, out,
                      frames);
        reverbChannel(synth.reverb.combsRight, synth.reverb.allpassesRight, effects, reverbRight,
                      out + 1, frames);
    }
}
