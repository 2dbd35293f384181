// The demo's music: tempo grid, instruments, patterns and the arrangement timed to the picture.
#pragma once

#include <cstdint>
#include <vector>

#include "musicgen/sequencer.h"

// Track numbers; track i plays instrument i.
enum TrackId : int {
    kKick,
    kSnare,
    kClosedHat,
    kOpenHat,
    kCrash,
    kBass,
    kPad,
    kArp,
    kLead,
    kBell,
    kStab,
    kRiser,
    kTrackCount
};

// 117.1875 BPM: a beat is 512 ms, an eighth 256 ms, a sixteenth 128 ms.
constexpr int64_t kSixteenthMs = 128;
// Grid phase: hits fall where the flashing background restarts, at ms = 128 (mod 256).
constexpr int64_t kGridOffsetMs = 128;
constexpr int64_t kSongLengthMs = 121000;
constexpr int64_t kFadeStartMs = 119000;

// Scene boundaries of the picture, in ms from the start.
constexpr int64_t kSceneTilesMs = 20000;
constexpr int64_t kSceneSpinMs = 50000;
constexpr int64_t kFullBeatMs = 60000;
constexpr int64_t kLeadEntryMs = 75000;
constexpr int64_t kClimaxMs = 100000;
constexpr int64_t kCreditsMs = 113985;

// Frame nearest to `ms` at 44.1 kHz.
int64_t ms_to_frame(int64_t ms);

// Time in ms of grid point `sixteenth` (0 = first hit at 128 ms).
int64_t sixteenth_ms(int sixteenth);

// Frame of grid point `sixteenth`.
int64_t sixteenth_frame(int sixteenth);

// The grid sixteenth where a section timed to `ms` starts: the nearest eighth, later on a tie.
int section_sixteenth(int64_t ms);

// The full arrangement as a score: instruments, effects and every note.
Score compose_song();

// Renders the score, fades the tail out and normalises the peak to -1 dBFS.
std::vector<float> render_song(const Score& score);
