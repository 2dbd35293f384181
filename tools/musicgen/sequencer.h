// Note events and the sequencer that plays them through the synthesiser into a float buffer.
#pragma once

#include <cstdint>
#include <vector>

#include "musicgen/synth.h"

// One note: starts at an exact frame, holds for gateFrames, then releases.
struct NoteEvent {
    int64_t startFrame = 0;
    int64_t gateFrames = 0;
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
    int64_t lengthFrames = 0;
};

// Renders the score into interleaved stereo floats (2 * lengthFrames values). Notes start
// on their exact frame: blocks are cut at every event.
std::vector<float> renderScore(const Score& score);

// Sorts events by start frame, keeping the written order of simultaneous notes.
void sortEvents(std::vector<NoteEvent>& events);

// Largest absolute sample value in the buffer.
float peakLevel(const std::vector<float>& samples);

// Scales the buffer so its peak is `target` (linear); a silent buffer is left alone.
void normalisePeak(std::vector<float>& samples, float target);

// Rolls the top octave off both channels above `cutoffHz`: the encoder would drop that band
// anyway, and removing it first keeps decoded peaks where they were normalised.
void softenTopEnd(std::vector<float>& samples, float cutoffHz);

// Peak limiter on interleaved stereo: wherever the louder channel exceeds `threshold`, both
// channels are turned down to meet it at once, and the gain recovers over `releaseS` (time to
// return 60 dB). Loud coinciding hits then no longer set the level of the whole piece.
void limitPeaks(std::vector<float>& samples, float threshold, float releaseS);

// Fades interleaved stereo out along a raised-cosine from startFrame to endFrame, silence after.
void fadeOut(std::vector<float>& samples, int64_t startFrame, int64_t endFrame);
