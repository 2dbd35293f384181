// Note events and the sequencer that plays them through the synthesiser into a float buffer.
#pragma once

#include <cstdint>
#include <vector>

#include "musicgen/synth.h"

// One note: starts at an exact frame, holds for gate_frames, then releases.
struct NoteEvent {
    int64_t start_frame = 0;
    int64_t gate_frames = 0;
    int track = 0;
    int note = 0;
    float velocity = 1.0f;
};

// A complete piece: instruments (track i plays instrument i), effects, events sorted by start
// frame.
struct Score {
    std::vector<InstrumentParams> instruments;
    EffectParams effects;
    std::vector<NoteEvent> events;
    int64_t length_frames = 0;
};

// Renders the score into interleaved stereo floats (2 * length_frames values). Notes start
// on their exact frame: blocks are cut at every event.
std::vector<float> render_score(const Score& score);

// Sorts events by start frame, keeping the written order of simultaneous notes.
void sort_events(std::vector<NoteEvent>& events);

// Largest absolute sample value in the buffer.
float peak_level(const std::vector<float>& samples);

// Scales the buffer so its peak is `target` (linear); a silent buffer is left alone.
void normalise_peak(std::vector<float>& samples, float target);

// Rolls the top octave off both channels above `cutoff_hz`: the encoder would drop that band
// anyway, and removing it first keeps decoded peaks where they were normalised.
void soften_top_end(std::vector<float>& samples, float cutoff_hz);

// Peak limiter on interleaved stereo: wherever the louder channel exceeds `threshold`, both
// channels are turned down to meet it at once, and the gain recovers over `release_s` (time to
// return 60 dB). Loud coinciding hits then no longer set the level of the whole piece.
void limit_peaks(std::vector<float>& samples, float threshold, float release_s);

// Fades interleaved stereo out along a raised-cosine from start_frame to end_frame, silence after.
void fade_out(std::vector<float>& samples, int64_t start_frame, int64_t end_frame);
