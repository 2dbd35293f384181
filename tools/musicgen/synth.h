// Synthesiser core: flat instrument parameters, voice state kept apart, per-block rendering.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int sampleRate = 44100;
constexpr int maxUnison = 4;
constexpr int maxVoices = 8;
// Pitch, filter and FM envelopes move this often; the amplitude envelope moves every sample.
constexpr int controlFrames = 16;

enum class Wave : uint8_t { Sine, Saw, Square, Triangle, Noise };
enum class FilterMode : uint8_t { Off, LowPass, BandPass, HighPass };
enum class EnvelopeStage : uint8_t { Off, Attack, Decay, Release };

// One instrument's sound. Times called *DecayS / releaseS are the time to fall by 60 dB.
struct InstrumentParams {
    Wave wave = Wave::Sine;
    int unison = 1;           // oscillators per voice, spread in pitch and pan
    float detuneCents = 0.0f; // pitch distance between the outermost unison oscillators
    float stereoWidth = 0.0f; // 0: all unison oscillators centred, 1: outermost hard left/right
    float pulseWidth = 0.5f;  // square wave duty cycle
    float noiseMix = 0.0f;    // 0: oscillator only, 1: noise only
    float fmRatio = 0.0f;     // sine modulator frequency relative to the note; 0 disables FM
    float fmIndex = 0.0f;     // modulation depth in cycles at note start
    float fmDecayS = 1.0f;
    float pitchEnvSemitones = 0.0f; // pitch offset at note start, falling to zero
    float pitchEnvDecayS = 0.1f;
    float vibratoHz = 0.0f;
    float vibratoCents = 0.0f;
    float attackS = 0.001f;
    float decayS = 0.5f;
    float sustain = 1.0f;
    float releaseS = 0.2f;
    FilterMode filter = FilterMode::Off;
    float cutoffHz = 20000.0f;     // at velocity 1 and middle C
    float resonance = 0.0f;        // 0 .. 0.95
    float filterEnvOctaves = 0.0f; // cutoff raised by this many octaves at envelope peak
    float filterEnvDecayS = 0.3f;
    bool filterEnvFromAmp = false; // drive the cutoff by the amplitude envelope instead
    float keyTrack = 0.0f;         // 1: cutoff follows the note pitch fully
    float velocityToCutoff = 0.0f; // octaves of cutoff lost per unit of velocity below 1
    float gain = 1.0f;
    float pan = 0.0f; // -1 left .. 1 right
    float delaySend = 0.0f;
    float reverbSend = 0.0f;
    float duckDepth = 0.0f;    // how far the side-chain pulls this track down
    bool triggersDuck = false; // notes of this instrument start the side-chain pulse
    bool resetPhase = false;   // restart oscillators at each note (drums) for a repeatable attack
    int polyphony = 4;         // 1 .. maxVoices
};

// Send effects and side-chain shared by all tracks.
struct EffectParams {
    float delayMs = 384.0f;
    float delayFeedback = 0.4f;
    float delayDamping = 0.3f; // one-pole low-pass in the feedback path, 0 .. 1
    float delayLevel = 0.0f;
    float reverbFeedback = 0.82f;
    float reverbDamping = 0.3f;
    float reverbLevel = 0.0f;
    float duckReleaseS = 0.25f;
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
    int64_t age = 0;            // frames since note start, used to pick voices to steal
    int64_t gateFramesLeft = 0; // release starts when this reaches zero
    EnvelopeStage stage = EnvelopeStage::Off;
    float envLevel = 0.0f;
    float attackStep = 0.0f;
    float pitchEnv = 0.0f;
    float filterEnv = 0.0f;
    float fmLevel = 0.0f;
    float vibratoPhase = 0.0f;
    float baseCutoffHz = 0.0f;
    int controlCountdown = 0;
    float phase[maxUnison] = {};
    float baseIncrement[maxUnison] = {};
    float increment[maxUnison] = {};
    float gainLeft[maxUnison] = {};
    float gainRight[maxUnison] = {};
    float fmPhase = 0.0f;
    float fmIncrement = 0.0f;
    uint32_t noiseSeed = 1;
    FilterCoefficients coefficients;
    FilterState filterLeft;
    FilterState filterRight;
};

// Per-sample multipliers derived once from an instrument's times.
struct InstrumentRates {
    float decayCoef = 0.0f;
    float releaseCoef = 0.0f;
    float pitchEnvCoef = 0.0f;  // per control tick
    float filterEnvCoef = 0.0f; // per control tick
    float fmCoef = 0.0f;        // per control tick
    float gainLeft = 1.0f;
    float gainRight = 1.0f;
    bool stereo = false; // unison spread needs a filter per channel
};

struct TrackState {
    InstrumentRates rates;
    VoiceState voices[maxVoices];
    int polyphony = 1;
};

struct DelayState {
    std::vector<float> left;
    std::vector<float> right;
    std::size_t position = 0;
    float dampLeft = 0.0f;
    float dampRight = 0.0f;
};

constexpr int reverbCombs = 8;
constexpr int reverbAllpasses = 2;

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
    CombState combsLeft[reverbCombs];
    CombState combsRight[reverbCombs];
    AllpassState allpassesLeft[reverbAllpasses];
    AllpassState allpassesRight[reverbAllpasses];
};

// Whole synthesiser: one track per instrument, plus the shared effects.
struct SynthState {
    std::vector<TrackState> tracks;
    DelayState delay;
    ReverbState reverb;
    float duckTarget = 0.0f;
    float duckLevel = 0.0f;
    float duckCoef = 0.0f;
};

// Per-sample multiplier that makes a level fall by 60 dB in `seconds`; 0 for instant.
float decayCoefficient(float seconds, int framesPerStep);

// State-variable filter coefficients for `cutoffHz` (held within 20 Hz .. 0.45 of the sample
// rate, where the filter stays stable) and `resonance` (0 .. 0.95).
FilterCoefficients filterCoefficients(float cutoffHz, float resonance);

// Low-passes `count` samples spaced `stride` apart, in place (stride 2: one channel of stereo).
void lowPassStrided(float* samples, std::size_t count, std::size_t stride, FilterState& state,
                    const FilterCoefficients& c);

// Frequency in Hz of MIDI note `note` (69 = A4 = 440 Hz).
float noteFrequency(int note);

// Builds the synthesiser for `instruments` (track i plays instrument i) and `effects`.
SynthState makeSynth(const std::vector<InstrumentParams>& instruments, const EffectParams& effects);

// Starts `note` on track `track`, taking a free voice or stealing the quietest one; the note is
// held for `gateFrames` and then released.
void triggerNote(SynthState& synth, const std::vector<InstrumentParams>& instruments, int track,
                 int note, float velocity, int64_t gateFrames);

// Longest block renderBlock accepts; its scratch buffers live on the stack.
constexpr int maxBlockFrames = 256;

// Adds `frames` (at most maxBlockFrames) of all tracks and effects into the interleaved
// stereo buffer `out`.
void renderBlock(SynthState& synth, const std::vector<InstrumentParams>& instruments,
                 const EffectParams& effects, float* out, int frames);

// Adds `frames` of one voice into `left` and `right`; the voice turns inactive once silent.
void renderVoice(VoiceState& voice, const InstrumentParams& params, const InstrumentRates& rates,
                 float* left, float* right, int frames);
