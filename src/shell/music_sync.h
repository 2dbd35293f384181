// The music kept where the picture is: what the follower is told once, what
// it keeps from pass to pass, and the one decision it makes on each reading.
#pragma once

#include <cstdint>

// Mixer buffers whose timing the music's placement weighs at once.
constexpr int musicLagSteps = 8;

// Set once, when the music starts.
struct MusicSyncSettings {
    double bufferMs = 0.0;        // the music one mixer buffer holds
    double outputLatencyMs = 0.0; // from the mixer taking a buffer to its first sample heard
    double delayMs = 0.0;         // the viewer's own: the sound this much later than the picture
};

// What the follower has seen since the music started or was last placed.
struct MusicSyncState {
    bool active = false;               // the device plays and the music tells its position
    bool placed = false;               // the first placement, at the start, is done
    double basePositionMs = 0.0;       // where the music was started or last placed
    double lastPositionMs = 0.0;       // the position last read, to see the mixer take a buffer
    double lagsMs[musicLagSteps] = {}; // show time read minus music mixed, per buffer taken
    int32_t lagCount = 0;              // buffers in lagsMs, up to musicLagSteps
    int32_t strayingSinceMs = 0;       // show time at which the music left its place
    int32_t strayingSign = 0;          // +1 heard early, -1 late, 0 in place
};

struct MusicSync {
    MusicSyncSettings settings;
    MusicSyncState state;
};

// Follows the music from positionMs with the given settings.
void startFollowingMusic(MusicSync& sync, double positionMs, const MusicSyncSettings& settings);

// Follows on after the music was placed at positionMs.
void restartFollowingMusic(MusicSync& sync, double positionMs);

// Takes one reading of the music's position (ms) at show time nowMs. True
// when the music should be placed at *placeAtMs: at once near the start,
// wherever it stands, else once it has stayed out of place past a tolerance
// for a while (strayToleranceMs, strayHoldMs in music_sync.cpp).
bool followMusic(MusicSync& sync, int32_t nowMs, double positionMs, double* placeAtMs);

// Starts following the music just started, where a device plays it and the
// music tells its position; otherwise leaves it alone for the whole show.
void startMusicSync();

// Reads the music's position once and puts the music back where the picture
// is when it has strayed (Mix_SetMusicPosition). Does nothing unless following.
void keepMusicInPlace();
