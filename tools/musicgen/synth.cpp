// Oscillators, envelopes, filters, voices and send effects of the music generator's synthesiser.
#include "musicgen/synth.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kTwoPi = 6.28318530717958647692f;
constexpr float kPi = 3.14159265358979323846f;
// -80 dB: below this a releasing voice is inaudible and is switched off.
constexpr float kSilence = 1.0e-4f;
// Envelopes below this are zeroed so their state never turns denormal (and slow).
constexpr float kTinyLevel = 1.0e-6f;
// Per-sample approach of the side-chain level to its target: a ramp of a few ms, no click.
constexpr float kDuckSmoothing = 0.05f;
constexpr float kAllpassFeedback = 0.5f;
// Freeverb's comb and allpass lengths at 44.1 kHz; the right channel is offset for width.
constexpr int kCombLengths[kReverbCombs] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int kAllpassLengths[kReverbAllpasses] = {556, 441};
constexpr int kStereoSpread = 23;
constexpr float kReverbInputGain = 0.125f;
constexpr float kMiddleC = 261.6256f;

// Returns x, or 0 where x is so small it would be denormal: adding and removing a
// constant rounds those away without a branch.
float flush_tiny(float x)
{
    const float guard = 1.0e-18f;
    return (x + guard) - guard;
}

// Multiplies a decaying envelope by coef, snapping it to zero once negligible.
void decay_towards_zero(float& level, float coef)
{
    level *= coef;
    if (level < kTinyLevel) {
        level = 0.0f;
    }
}

// Next value of the voice's white-noise generator (xorshift32), in [-1, 1).
float next_noise(uint32_t& seed)
{
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    return static_cast<float>(static_cast<int32_t>(seed)) * (1.0f / 2147483648.0f);
}

// Polynomial correction that removes most aliasing from a step at phase 0 (dt: phase step).
float poly_blep(float t, float dt)
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
FilterMix filter_mix(FilterMode mode, float k)
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
void pan_gains(float pan, float& left, float& right)
{
    const float clamped = std::min(std::max(pan, -1.0f), 1.0f);
    const float angle = (clamped + 1.0f) * 0.25f * kPi;
    left = std::cos(angle) * std::sqrt(2.0f);
    right = std::sin(angle) * std::sqrt(2.0f);
}

// Derives the per-sample and per-tick multipliers of an instrument from its times and pan.
InstrumentRates instrument_rates(const InstrumentParams& p)
{
    InstrumentRates r;
    r.decay_coef = decay_coefficient(p.decay_s, 1);
    r.release_coef = decay_coefficient(p.release_s, 1);
    r.pitch_env_coef = decay_coefficient(p.pitch_env_decay_s, kControlFrames);
    r.filter_env_coef = decay_coefficient(p.filter_env_decay_s, kControlFrames);
    r.fm_coef = decay_coefficient(p.fm_decay_s, kControlFrames);
    pan_gains(p.pan, r.gain_left, r.gain_right);
    r.stereo = p.unison > 1 && p.stereo_width > 0.0f;
    return r;
}

// Picks the voice for a new note: a free one, else the quietest (oldest on a tie).
VoiceState& pick_voice(TrackState& track)
{
    VoiceState* best = &track.voices[0];
    for (int i = 0; i < track.polyphony; ++i) {
        VoiceState& v = track.voices[i];
        if (!v.active) {
            return v;
        }
        if (v.env_level < best->env_level ||
            (v.env_level == best->env_level && v.age > best->age)) {
            best = &v;
        }
    }
    return *best;
}

// Sets a voice up for a new note. A stolen voice keeps its level and phases so the
// takeover does not click.
void start_voice(VoiceState& v, const InstrumentParams& p, int note, float velocity,
                 int64_t gate_frames)
{
    const bool was_active = v.active;
    v.active = true;
    v.note = note;
    v.velocity = velocity;
    v.age = 0;
    v.gate_frames_left = std::max<int64_t>(1, gate_frames);
    v.stage = EnvelopeStage::Attack;
    if (!was_active) {
        v.env_level = 0.0f;
        v.filter_left = FilterState{};
        v.filter_right = FilterState{};
    }
    v.attack_step = 1.0f / std::max(1.0f, p.attack_s * kSampleRate);
    v.pitch_env = 1.0f;
    v.filter_env = 1.0f;
    v.fm_level = 1.0f;
    v.vibrato_phase = 0.0f;
    v.control_countdown = 0;

    const float frequency = note_frequency(note);
    v.base_cutoff_hz = p.cutoff_hz * std::pow(frequency / kMiddleC, p.key_track) *
                       std::exp2(-p.velocity_to_cutoff * (1.0f - velocity));
    const int unison = std::min(std::max(p.unison, 1), kMaxUnison);
    const float level = 1.0f / std::sqrt(static_cast<float>(unison));
    for (int k = 0; k < unison; ++k) {
        const float offset =
            unison > 1 ? static_cast<float>(k) / static_cast<float>(unison - 1) - 0.5f : 0.0f;
        v.base_increment[k] =
            frequency * std::exp2(offset * p.detune_cents / 1200.0f) / kSampleRate;
        v.increment[k] = v.base_increment[k];
        pan_gains(2.0f * offset * p.stereo_width, v.gain_left[k], v.gain_right[k]);
        v.gain_left[k] *= level;
        v.gain_right[k] *= level;
        if (p.reset_phase) {
            // A quarter turn starts a sine at its crest: every drum hit opens with the same full
            // click.
            v.phase[k] = 0.25f;
        } else if (!was_active) {
            // Spread unison phases so the oscillators do not start in lockstep.
            v.phase[k] = static_cast<float>(k) * 0.381966f;
        }
    }
    if (p.reset_phase) {
        v.fm_phase = 0.0f;
    }
}

// Moves pitch, vibrato, FM and filter envelopes one control tick on.
void update_voice_controls(VoiceState& v, const InstrumentParams& p, const InstrumentRates& r)
{
    float semitones = p.pitch_env_semitones * v.pitch_env;
    decay_towards_zero(v.pitch_env, r.pitch_env_coef);
    if (p.vibrato_cents != 0.0f) {
        semitones += p.vibrato_cents * 0.01f * std::sin(kTwoPi * v.vibrato_phase);
        v.vibrato_phase += p.vibrato_hz * kControlFrames / kSampleRate;
        v.vibrato_phase -= std::floor(v.vibrato_phase);
    }
    const float multiplier = semitones != 0.0f ? std::exp2(semitones / 12.0f) : 1.0f;
    const int unison = std::min(std::max(p.unison, 1), kMaxUnison);
    for (int k = 0; k < unison; ++k) {
        v.increment[k] = std::min(v.base_increment[k] * multiplier, 0.45f);
    }
    v.fm_increment = v.increment[0] * p.fm_ratio;
    decay_towards_zero(v.fm_level, r.fm_coef);

    if (p.filter != FilterMode::Off) {
        const float envelope = p.filter_env_from_amp ? v.env_level : v.filter_env;
        decay_towards_zero(v.filter_env, r.filter_env_coef);
        const float sweep =
            p.filter_env_octaves != 0.0f ? std::exp2(p.filter_env_octaves * envelope) : 1.0f;
        v.coefficients = filter_coefficients(v.base_cutoff_hz * sweep, p.resonance);
    }
}

// Advances the amplitude envelope one sample; returns false once the voice has gone silent.
bool advance_envelope(VoiceState& v, const InstrumentParams& p, const InstrumentRates& r)
{
    switch (v.stage) {
    case EnvelopeStage::Attack:
        v.env_level += v.attack_step;
        if (v.env_level >= 1.0f) {
            v.env_level = 1.0f;
            v.stage = EnvelopeStage::Decay;
        }
        break;
    case EnvelopeStage::Decay:
        v.env_level = p.sustain + (v.env_level - p.sustain) * r.decay_coef;
        break;
    case EnvelopeStage::Release: v.env_level *= r.release_coef; break;
    case EnvelopeStage::Off: return false;
    }
    if (v.gate_frames_left > 0) {
        --v.gate_frames_left;
        if (v.gate_frames_left == 0) {
            v.stage = EnvelopeStage::Release;
        }
    }
    const bool fading =
        v.stage == EnvelopeStage::Release || (v.stage == EnvelopeStage::Decay && p.sustain <= 0.0f);
    if (fading && v.env_level < kSilence) {
        v.stage = EnvelopeStage::Off;
        v.env_level = 0.0f;
        v.active = false;
        return false;
    }
    return true;
}

// Runs the amplitude envelope over `frames` samples into `env`; returns how many of them
// sound (fewer than `frames` once the voice has fallen silent and switched off).
int envelope_run(VoiceState& v, const InstrumentParams& p, const InstrumentRates& r, float* env,
                 int frames)
{
    for (int i = 0; i < frames; ++i) {
        if (!advance_envelope(v, p, r)) {
            return i;
        }
        env[i] = v.env_level * v.velocity;
    }
    return frames;
}

// Moves an oscillator phase on by one step, wrapping at 1.
float advance_phase(float phase, float increment)
{
    const float next = phase + increment;
    return next >= 1.0f ? next - 1.0f : next;
}

// Adds one band-limited saw into the buffers with its pan gains.
void saw_run(float& phase_io, float increment, float gain_left, float gain_right, float* left,
             float* right, int frames)
{
    float phase = phase_io;
    for (int i = 0; i < frames; ++i) {
        const float value = 2.0f * phase - 1.0f - poly_blep(phase, increment);
        left[i] += value * gain_left;
        right[i] += value * gain_right;
        phase = advance_phase(phase, increment);
    }
    phase_io = phase;
}

// Adds one band-limited pulse wave of duty cycle `width` into the buffers.
void square_run(float& phase_io, float increment, float width, float gain_left, float gain_right,
                float* left, float* right, int frames)
{
    float phase = phase_io;
    for (int i = 0; i < frames; ++i) {
        float shifted = phase - width;
        if (shifted < 0.0f) {
            shifted += 1.0f;
        }
        const float value = (phase < width ? 1.0f : -1.0f) + poly_blep(phase, increment) -
                            poly_blep(shifted, increment);
        left[i] += value * gain_left;
        right[i] += value * gain_right;
        phase = advance_phase(phase, increment);
    }
    phase_io = phase;
}

// Adds one triangle wave; its harmonics fall fast enough to need no band-limiting.
void triangle_run(float& phase_io, float increment, float gain_left, float gain_right, float* left,
                  float* right, int frames)
{
    float phase = phase_io;
    for (int i = 0; i < frames; ++i) {
        const float value = phase < 0.5f ? 4.0f * phase - 1.0f : 3.0f - 4.0f * phase;
        left[i] += value * gain_left;
        right[i] += value * gain_right;
        phase = advance_phase(phase, increment);
    }
    phase_io = phase;
}

// Adds one sine oscillator, phase-modulated by `modulation` (in cycles) where given.
void sine_run(float& phase_io, float increment, const float* modulation, float gain_left,
              float gain_right, float* left, float* right, int frames)
{
    float phase = phase_io;
    for (int i = 0; i < frames; ++i) {
        const float value = std::sin(kTwoPi * (phase + modulation[i]));
        left[i] += value * gain_left;
        right[i] += value * gain_right;
        phase = advance_phase(phase, increment);
    }
    phase_io = phase;
}

// The FM modulator's output in cycles for each frame; zero when the instrument has no FM.
void modulator_run(VoiceState& v, const InstrumentParams& p, float* modulation, int frames)
{
    if (p.fm_ratio <= 0.0f) {
        std::fill(modulation, modulation + frames, 0.0f);
        return;
    }
    const float depth = v.fm_level * p.fm_index;
    for (int i = 0; i < frames; ++i) {
        modulation[i] = depth * std::sin(kTwoPi * v.fm_phase);
        v.fm_phase += v.fm_increment;
        v.fm_phase -= std::floor(v.fm_phase);
    }
}

// Fills `left` and `right` with the voice's oscillators and noise, before filter and envelope.
void oscillators_run(VoiceState& v, const InstrumentParams& p, int unison, float* left,
                     float* right, int frames)
{
    if (p.wave == Wave::Noise) {
        uint32_t seed = v.noise_seed;
        for (int i = 0; i < frames; ++i) {
            left[i] = next_noise(seed);
            right[i] = left[i];
        }
        v.noise_seed = seed;
        return;
    }
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    if (p.wave == Wave::Sine) {
        float modulation[kControlFrames];
        modulator_run(v, p, modulation, frames);
        for (int k = 0; k < unison; ++k) {
            sine_run(v.phase[k], v.increment[k], modulation, v.gain_left[k], v.gain_right[k], left,
                     right, frames);
        }
    } else {
        for (int k = 0; k < unison; ++k) {
            if (p.wave == Wave::Saw) {
                saw_run(v.phase[k], v.increment[k], v.gain_left[k], v.gain_right[k], left, right,
                        frames);
            } else if (p.wave == Wave::Square) {
                square_run(v.phase[k], v.increment[k], p.pulse_width, v.gain_left[k],
                           v.gain_right[k], left, right, frames);
            } else {
                triangle_run(v.phase[k], v.increment[k], v.gain_left[k], v.gain_right[k], left,
                             right, frames);
            }
        }
    }
    if (p.noise_mix > 0.0f) {
        const float keep = 1.0f - p.noise_mix;
        uint32_t seed = v.noise_seed;
        for (int i = 0; i < frames; ++i) {
            const float noise = next_noise(seed) * p.noise_mix;
            left[i] = left[i] * keep + noise;
            right[i] = right[i] * keep + noise;
        }
        v.noise_seed = seed;
    }
}

// Filters a buffer in place through the state-variable filter. The state lives in locals for
// the loop: through the reference the compiler would have to assume it aliases the samples.
void filter_run(float* samples, FilterState& state, const FilterCoefficients& c,
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
void process_delay(DelayState& d, const EffectParams& e, const float* send, float* out, int frames)
{
    const size_t length = d.left.size();
    const float keep = e.delay_damping;
    for (int i = 0; i < frames; ++i) {
        const float echo_left = d.left[d.position];
        const float echo_right = d.right[d.position];
        d.damp_left = flush_tiny(echo_left + (d.damp_left - echo_left) * keep);
        d.damp_right = flush_tiny(echo_right + (d.damp_right - echo_right) * keep);
        // Each echo crosses to the other side: the repeats bounce left, right, left.
        d.left[d.position] = send[i] + e.delay_feedback * d.damp_right;
        d.right[d.position] = e.delay_feedback * d.damp_left;
        d.position = d.position + 1 == length ? 0 : d.position + 1;
        out[2 * i] += echo_left * e.delay_level;
        out[2 * i + 1] += echo_right * e.delay_level;
    }
}

// One sample through a feedback comb whose loop is low-passed: the reverb's decaying echoes.
float comb_sample(CombState& c, float input, float feedback, float damping)
{
    const float output = c.buffer[c.position];
    c.damp = flush_tiny(output + (c.damp - output) * damping);
    c.buffer[c.position] = input + c.damp * feedback;
    c.position = c.position + 1 == c.buffer.size() ? 0 : c.position + 1;
    return output;
}

// One sample through a Schroeder allpass: smears the comb echoes without colouring them.
float allpass_sample(AllpassState& a, float input)
{
    const float stored = a.buffer[a.position];
    a.buffer[a.position] = flush_tiny(input + stored * kAllpassFeedback);
    a.position = a.position + 1 == a.buffer.size() ? 0 : a.position + 1;
    return stored - input;
}

// Runs one channel of the Schroeder/Moorer reverb over the block.
void reverb_channel(CombState* combs, AllpassState* allpasses, const EffectParams& e,
                    const float* send, float* out, int frames)
{
    for (int i = 0; i < frames; ++i) {
        const float input = send[i] * kReverbInputGain;
        float sum = 0.0f;
        for (int c = 0; c < kReverbCombs; ++c) {
            sum += comb_sample(combs[c], input, e.reverb_feedback, e.reverb_damping);
        }
        for (int a = 0; a < kReverbAllpasses; ++a) {
            sum = allpass_sample(allpasses[a], sum);
        }
        out[2 * i] += sum * e.reverb_level;
    }
}

// Side-chain level for each frame of the block: jumps up at a trigger, recovers exponentially.
void advance_duck(SynthState& synth, float* duck, int frames)
{
    for (int i = 0; i < frames; ++i) {
        decay_towards_zero(synth.duck_target, synth.duck_coef);
        synth.duck_level =
            flush_tiny(synth.duck_level + (synth.duck_target - synth.duck_level) * kDuckSmoothing);
        duck[i] = synth.duck_level;
    }
}

} // namespace

FilterCoefficients filter_coefficients(float cutoff_hz, float resonance)
{
    const float limited = std::min(std::max(cutoff_hz, 20.0f), 0.45f * kSampleRate);
    const float g = std::tan(kPi * limited / kSampleRate);
    FilterCoefficients c;
    c.k = 2.0f * (1.0f - std::min(std::max(resonance, 0.0f), 0.95f));
    c.a1 = 1.0f / (1.0f + g * (g + c.k));
    c.a2 = g * c.a1;
    c.a3 = g * c.a2;
    return c;
}

void low_pass_strided(float* samples, size_t count, size_t stride, FilterState& state,
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

float decay_coefficient(float seconds, int frames_per_step)
{
    if (seconds <= 0.0f) {
        return 0.0f;
    }
    const float ln_minus_60_db = -6.90775528f;
    return std::exp(ln_minus_60_db * static_cast<float>(frames_per_step) / (seconds * kSampleRate));
}

float note_frequency(int note)
{
    return 440.0f * std::exp2(static_cast<float>(note - 69) / 12.0f);
}

SynthState make_synth(const std::vector<InstrumentParams>& instruments, const EffectParams& effects)
{
    SynthState synth;
    synth.tracks.resize(instruments.size());
    for (size_t t = 0; t < instruments.size(); ++t) {
        TrackState& track = synth.tracks[t];
        track.rates = instrument_rates(instruments[t]);
        track.polyphony = std::min(std::max(instruments[t].polyphony, 1), kMaxVoices);
        for (int v = 0; v < kMaxVoices; ++v) {
            // Distinct, fixed seeds: every voice's noise differs, and every run is the same.
            track.voices[v].noise_seed =
                0x9E3779B9u ^ (static_cast<uint32_t>(t * kMaxVoices + v + 1) * 2654435761u);
        }
    }
    const size_t delay_frames = std::max<size_t>(
        1, static_cast<size_t>(std::lround(effects.delay_ms * kSampleRate / 1000.0f)));
    synth.delay.left.assign(delay_frames, 0.0f);
    synth.delay.right.assign(delay_frames, 0.0f);
    for (int c = 0; c < kReverbCombs; ++c) {
        synth.reverb.combs_left[c].buffer.assign(static_cast<size_t>(kCombLengths[c]), 0.0f);
        synth.reverb.combs_right[c].buffer.assign(
            static_cast<size_t>(kCombLengths[c] + kStereoSpread), 0.0f);
    }
    for (int a = 0; a < kReverbAllpasses; ++a) {
        synth.reverb.allpasses_left[a].buffer.assign(static_cast<size_t>(kAllpassLengths[a]), 0.0f);
        synth.reverb.allpasses_right[a].buffer.assign(
            static_cast<size_t>(kAllpassLengths[a] + kStereoSpread), 0.0f);
    }
    synth.duck_coef = decay_coefficient(effects.duck_release_s, 1);
    return synth;
}

void trigger_note(SynthState& synth, const std::vector<InstrumentParams>& instruments, int track,
                  int note, float velocity, int64_t gate_frames)
{
    const InstrumentParams& params = instruments[static_cast<size_t>(track)];
    if (params.triggers_duck) {
        synth.duck_target = 1.0f;
    }
    start_voice(pick_voice(synth.tracks[static_cast<size_t>(track)]), params, note, velocity,
                gate_frames);
}

void render_voice(VoiceState& v, const InstrumentParams& p, const InstrumentRates& r, float* left,
                  float* right, int frames)
{
    const int unison = std::min(std::max(p.unison, 1), kMaxUnison);
    // Work in runs that end on control ticks, so pitch and filter stay fixed within a run.
    int done = 0;
    while (done < frames) {
        if (v.control_countdown == 0) {
            update_voice_controls(v, p, r);
            v.control_countdown = kControlFrames;
        }
        const int run = std::min(frames - done, v.control_countdown);
        v.control_countdown -= run;
        float env[kControlFrames];
        float voice_left[kControlFrames];
        float voice_right[kControlFrames];
        const int sounding = envelope_run(v, p, r, env, run);
        oscillators_run(v, p, unison, voice_left, voice_right, sounding);
        if (p.filter != FilterMode::Off) {
            const FilterMix mix = filter_mix(p.filter, v.coefficients.k);
            if (r.stereo) {
                filter_run(voice_left, v.filter_left, v.coefficients, mix, sounding);
                filter_run(voice_right, v.filter_right, v.coefficients, mix, sounding);
            } else {
                filter_run(voice_left, v.filter_left, v.coefficients, mix, sounding);
                std::copy(voice_left, voice_left + sounding, voice_right);
            }
        }
        for (int i = 0; i < sounding; ++i) {
            left[done + i] += voice_left[i] * env[i];
            right[done + i] += voice_right[i] * env[i];
        }
        v.age += sounding;
        if (sounding < run) {
            return;
        }
        done += run;
    }
}

void render_block(SynthState& synth, const std::vector<InstrumentParams>& instruments,
                  const EffectParams& effects, float* out, int frames)
{
    float duck[kMaxBlockFrames];
    float track_left[kMaxBlockFrames];
    float track_right[kMaxBlockFrames];
    float delay_send[kMaxBlockFrames] = {};
    float reverb_left[kMaxBlockFrames] = {};
    float reverb_right[kMaxBlockFrames] = {};
    advance_duck(synth, duck, frames);

    for (size_t t = 0; t < synth.tracks.size(); ++t) {
        TrackState& track = synth.tracks[t];
        const InstrumentParams& p = instruments[t];
        bool sounding = false;
        std::fill(track_left, track_left + frames, 0.0f);
        std::fill(track_right, track_right + frames, 0.0f);
        for (int v = 0; v < track.polyphony; ++v) {
            if (track.voices[v].active) {
                render_voice(track.voices[v], p, track.rates, track_left, track_right, frames);
                sounding = true;
            }
        }
        if (!sounding) {
            continue;
        }
        const float gain_left = track.rates.gain_left * p.gain;
        const float gain_right = track.rates.gain_right * p.gain;
        for (int i = 0; i < frames; ++i) {
            const float duck_gain = 1.0f - p.duck_depth * duck[i];
            const float l = track_left[i] * gain_left * duck_gain;
            const float r = track_right[i] * gain_right * duck_gain;
            out[2 * i] += l;
            out[2 * i + 1] += r;
            delay_send[i] += 0.5f * (l + r) * p.delay_send;
            reverb_left[i] += l * p.reverb_send;
            reverb_right[i] += r * p.reverb_send;
        }
    }

    if (effects.delay_level > 0.0f) {
        process_delay(synth.delay, effects, delay_send, out, frames);
    }
    if (effects.reverb_level > 0.0f) {
        reverb_channel(synth.reverb.combs_left, synth.reverb.allpasses_left, effects, reverb_left,
                       out, frames);
        reverb_channel(synth.reverb.combs_right, synth.reverb.allpasses_right, effects,
                       reverb_right, out + 1, frames);
    }
}
