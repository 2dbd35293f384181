// The demo's music: tempo grid, instruments, patterns and the arrangement timed to the picture.
#pragma once

#include <cstdint>
#include <vector>

#include "musicgen/sequencer.h"

// Track numbers; track i plays instrument i.
enum TrackId : int {
    kickTrack,
    snareTrack,
    closedHatTrack,
    openHatTrack,
    crashTrack,
    bassTrack,
    padTrack,
    arpTrack,
    leadTrack,
    bellTrack,
    stabTrack,
    riserTrack,
    trackCount
};

// 117.1875 BPM: a beat is 512 ms, an eighth 256 ms, a sixteenth 128 ms.
constexpr int64_t sixteenthLengthMs = 128;
// Grid phase: hits fall where the flashing background restarts, at ms = 128 (mod 256).
constexpr int64_t gridOffsetMs = 128;
constexpr int64_t songLengthMs = 121000;
constexpr int64_t fadeStartMs = 119000;

// Scene boundaries of the picture, in ms from the start.
constexpr int64_t sceneTilesMs = 20000;
constexpr int64_t sceneSpinMs = 50000;
constexpr int64_t fullBeatMs = 60000;
constexpr int64_t leadEntryMs = 75000;
constexpr int64_t climaxMs = 100000;
constexpr int64_t creditsMs = 113985;

// Frame nearest to `ms` at 44.1 kHz.
int64_t msToFrame(int64_t ms);

// Time in ms of grid point `sixteenth` (0 = first hit at 128 ms).
int64_t sixteenthMs(int sixteenth);

// Frame of grid point `sixteenth`.
int64_t sixteenthFrame(int sixteenth);

// The grid sixteenth where a section timed to `ms` starts: the nearest eighth, later on a tie.
int sectionSixteenth(int64_t ms);

// The full arrangement as a score: instruments, effects and every note.
Score composeSong();

// Renders the score, fades the tail out and normalises the peak to -1 dBFS.
std::vector<float> renderSong(const Score& score);
