// Synthesiser core: flat instrument parameters, voice state kept apart, per-block rendering.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int kSampleRate = 44100;
constexpr int kMaxUnison = 4;
constexpr int kMaxVoices = 8;
// Pitch, filter and FM envelopes move this often; the amplitude envelope moves every sample.
constexpr int kControlFrames = 16;

enum class Wave : uint8_t { Sine, Saw, Square, Triangle, Noise };
enum class FilterMode : uint8_t { Off, LowPass, BandPass, HighPass };
enum class EnvelopeStage : uint8_t { Off, Attack, Decay, Release };

// One instrument's sound. Times called *_decay_s / release_s are the time to fall by 60 dB.
struct InstrumentParams {
    Wave wave = Wave::Sine;
    int unison = 1;            // oscillators per voice, spread in pitch and pan
    float detune_cents = 0.0f; // pitch distance between the outermost unison oscillators
    float stereo_width = 0.0f; // 0: all unison oscillators centred, 1: outermost hard left/right
    float pulse_width = 0.5f;  // square wave duty cycle
    float noise_mix = 0.0f;    // 0: oscillator only, 1: noise only
    float fm_ratio = 0.0f;     // sine modulator frequency relative to the note; 0 disables FM
    float fm_index = 0.0f;     // modulation depth in cycles at note start
    float fm_decay_s = 1.0f;
    float pitch_env_semitones = 0.0f; // pitch offset at note start, falling to zero
    float pitch_env_decay_s = 0.1f;
    float vibrato_hz = 0.0f;
    float vibrato_cents = 0.0f;
    float attack_s = 0.001f;
    float decay_s = 0.5f;
    float sustain = 1.0f;
    float release_s = 0.2f;
    FilterMode filter = FilterMode::Off;
    float cutoff_hz = 20000.0f;      // at velocity 1 and middle C
    float resonance = 0.0f;          // 0 .. 0.95
    float filter_env_octaves = 0.0f; // cutoff raised by this many octaves at envelope peak
    float filter_env_decay_s = 0.3f;
    bool filter_env_from_amp = false; // drive the cutoff by the amplitude envelope instead
    float key_track = 0.0f;           // 1: cutoff follows the note pitch fully
    float velocity_to_cutoff = 0.0f;  // octaves of cutoff lost per unit of velocity below 1
    float gain = 1.0f;
    float pan = 0.0f; // -1 left .. 1 right
    float delay_send = 0.0f;
    float reverb_send = 0.0f;
    float duck_depth = 0.0f;    // how far the side-chain pulls this track down
    bool triggers_duck = false; // notes of this instrument start the side-chain pulse
    bool reset_phase = false;   // restart oscillators at each note (drums) for a repeatable attack
    int polyphony = 4;          // 1 .. kMaxVoices
};

// Send effects and side-chain shared by all tracks.
struct EffectParams {
    float delay_ms = 384.0f;
    float delay_feedback = 0.4f;
    float delay_damping = 0.3f; // one-pole low-pass in the feedback path, 0 .. 1
    float delay_level = 0.0f;
    float reverb_feedback = 0.82f;
    float reverb_damping = 0.3f;
    float reverb_level = 0.0f;
    float duck_release_s = 0.25f;
};

// Topology-preserving state-variable filter coefficients and memory for one channel.
struct FilterState {
    float ic1 = 0.0f;
    float ic2 = 0.0f;
};

struct FilterCoefficients {
    float a1 = 1.0f;
    float a2 = 0.0f;
    float a3 = 0.0f;
    float k = 2.0f;
};

// Everything that changes while a note sounds; the instrument's parameters stay apart.
struct VoiceState {
    bool active = false;
    int note = 0;
    float velocity = 0.0f;
    int64_t age = 0;              // frames since note start, used to pick voices to steal
    int64_t gate_frames_left = 0; // release starts when this reaches zero
    EnvelopeStage stage = EnvelopeStage::Off;
    float env_level = 0.0f;
    float attack_step = 0.0f;
    float pitch_env = 0.0f;
    float filter_env = 0.0f;
    float fm_level = 0.0f;
    float vibrato_phase = 0.0f;
    float base_cutoff_hz = 0.0f;
    int control_countdown = 0;
    float phase[kMaxUnison] = {};
    float base_increment[kMaxUnison] = {};
    float increment[kMaxUnison] = {};
    float gain_left[kMaxUnison] = {};
    float gain_right[kMaxUnison] = {};
    float fm_phase = 0.0f;
    float fm_increment = 0.0f;
    uint32_t noise_seed = 1;
    FilterCoefficients coefficients;
    FilterState filter_left;
    FilterState filter_right;
};

// Per-sample multipliers derived once from an instrument's times.
struct InstrumentRates {
    float decay_coef = 0.0f;
    float release_coef = 0.0f;
    float pitch_env_coef = 0.0f;  // per control tick
    float filter_env_coef = 0.0f; // per control tick
    float fm_coef = 0.0f;         // per control tick
    float gain_left = 1.0f;
    float gain_right = 1.0f;
    bool stereo = false; // unison spread needs a filter per channel
};

struct TrackState {
    InstrumentRates rates;
    VoiceState voices[kMaxVoices];
    int polyphony = 1;
};

struct DelayState {
    std::vector<float> left;
    std::vector<float> right;
    std::size_t position = 0;
    float damp_left = 0.0f;
    float damp_right = 0.0f;
};

constexpr int kReverbCombs = 8;
constexpr int kReverbAllpasses = 2;

struct CombState {
    std::vector<float> buffer;
    std::size_t position = 0;
    float damp = 0.0f;
};

struct AllpassState {
    std::vector<float> buffer;
    std::size_t position = 0;
};

struct ReverbState {
    CombState combs_left[kReverbCombs];
    CombState combs_right[kReverbCombs];
    AllpassState allpasses_left[kReverbAllpasses];
    AllpassState allpasses_right[kReverbAllpasses];
};

// Whole synthesiser: one track per instrument, plus the shared effects.
struct SynthState {
    std::vector<TrackState> tracks;
    DelayState delay;
    ReverbState reverb;
    float duck_target = 0.0f;
    float duck_level = 0.0f;
    float duck_coef = 0.0f;
};

// Per-sample multiplier that makes a level fall by 60 dB in `seconds`; 0 for instant.
float decay_coefficient(float seconds, int frames_per_step);

// State-variable filter coefficients for `cutoff_hz` (held within 20 Hz .. 0.45 of the sample
// rate, where the filter stays stable) and `resonance` (0 .. 0.95).
FilterCoefficients filter_coefficients(float cutoff_hz, float resonance);

// Low-passes `count` samples spaced `stride` apart, in place (stride 2: one channel of stereo).
void low_pass_strided(float* samples, std::size_t count, std::size_t stride, FilterState& state,
                      const FilterCoefficients& c);

// Frequency in Hz of MIDI note `note` (69 = A4 = 440 Hz).
float note_frequency(int note);

// Builds the synthesiser for `instruments` (track i plays instrument i) and `effects`.
SynthState make_synth(const std::vector<InstrumentParams>& instruments,
                      const EffectParams& effects);

// Starts `note` on track `track`, taking a free voice or stealing the quietest one; the note is
// held for `gate_frames` and then released.
void trigger_note(SynthState& synth, const std::vector<InstrumentParams>& instruments, int track,
                  int note, float velocity, int64_t gate_frames);

// Longest block render_block accepts; its scratch buffers live on the stack.
constexpr int kMaxBlockFrames = 256;

// Adds `frames` (at most kMaxBlockFrames) of all tracks and effects into the interleaved
// stereo buffer `out`.
void render_block(SynthState& synth, const std::vector<InstrumentParams>& instruments,
                  const EffectParams& effects, float* out, int frames);

// Adds `frames` of one voice into `left` and `right`; the voice turns inactive once silent.
void render_voice(VoiceState& voice, const InstrumentParams& params, const InstrumentRates& rates,
                  float* left, float* right, int frames);
