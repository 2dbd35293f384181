// The music kept where the picture is: placed at the start, and put back
// after an underrun, a stall or slow drift.
//
// The mixer reports how far it has decoded, which moves one buffer at a time
// as its callback takes a buffer; the main loop sees each step on the next
// pass. The earliest of several such sightings, against the steady pace of
// the buffers, tells when the mixer takes them, and each buffer is heard one
// output latency after that. The picture never moves: the music does.
//
// Due against heard: at show time t the picture stands at music t - delayMs
// and the ear hears music t - heardBehindMs, so the music strays by
// delayMs - heardBehindMs (positive: heard early).
#include "shell/music_sync.h"

#include "shell/demo_state.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Out of place by more than this, the music is put back...
constexpr double strayToleranceMs = 15.0;
// ...once it has stayed out of place this long, so that no single reading's
// jitter, nor the catching up after an underrun, makes a splice.
constexpr int32_t strayHoldMs = 400;
// Buffers seen before the first placement, at the start of the show.
constexpr int32_t firstPlacementSteps = 3;
constexpr double msPerSecond = 1000.0;

// From the mixer taking a buffer to the first sample of it heard with SDL's
// PulseAudio driver, its choice on PulseAudio and on PipeWire alike:
// tools/av_sync/av_sync.sh measured 35 ms on PulseAudio 16 and 52 ms through
// PipeWire 0.3.65's PulseAudio service (docs/sync.md); one value between
// serves both within 9 ms. DirectSound and the other backends were not
// measured and take the same.
constexpr double pulseAudioLatencyMs = 44.0;
// SDL's own PipeWire driver, asked for by name, holds about a buffer more:
// 60 to 119 ms in eight runs, about 90 in most.
constexpr double pipeWireDriverLatencyMs = 92.0;
// Windows' WASAPI as Wine 8 plays it: av_sync.sh --wine heard the music 11
// to 27 ms early with pulseAudioLatencyMs in four runs into PulseAudio and 26 ms
// in one into PipeWire, so about 21 ms less. Windows itself was not measured.
constexpr double wasapiLatencyMs = 23.0;

// The output latency of the audio driver SDL picked.
double outputLatencyOf(const char* driver)
{
    if (std::strcmp(driver, "pipewire") == 0) {
        return pipeWireDriverLatencyMs;
    }
    return std::strcmp(driver, "wasapi") == 0 ? wasapiLatencyMs : pulseAudioLatencyMs;
}

// Drivers that play to no one, on a clock of their own.
bool playsToNoOne(const char* driver)
{
    return std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "disk") == 0;
}

// How far the mixer has taken, from the position read: whole buffers from
// where the music was placed, since the decoder may run a little ahead of
// what it handed over.
double roundToBuffers(const MusicSync& sync, double positionMs)
{
    const double buffers =
        std::floor((positionMs - sync.state.basePositionMs) / sync.settings.bufferMs + 0.5);
    return sync.state.basePositionMs + buffers * sync.settings.bufferMs;
}

// When it took it: show time read minus music mixed, kept for the last few
// buffers, each sighting late by the pass it waited for.
void rememberLag(MusicSyncState& state, double lagMs)
{
    if (state.lagCount == musicLagSteps) {
        std::copy(state.lagsMs + 1, state.lagsMs + musicLagSteps, state.lagsMs);
        state.lagCount -= 1;
    }
    state.lagsMs[state.lagCount] = lagMs;
    state.lagCount += 1;
}

// The earliest sighting is nearest the moment the mixer took its buffer.
double takenLagMs(const MusicSyncState& state)
{
    return *std::min_element(state.lagsMs, state.lagsMs + state.lagCount);
}

// How far the music is off: the buffer mixed up to mixedToMs was taken
// takenLagMs after that show time, and its first sample, music
// mixedToMs - bufferMs, is heard outputLatencyMs later.
double reckonStray(const MusicSync& sync)
{
    const MusicSyncSettings& settings = sync.settings;
    const double heardBehindMs =
        takenLagMs(sync.state) + settings.bufferMs + settings.outputLatencyMs;
    return settings.delayMs - heardBehindMs;
}

// +1 when the music is heard ahead of the picture, -1 behind, 0 in place.
int32_t strayDirection(double strayMs)
{
    if (strayMs > strayToleranceMs) {
        return 1;
    }
    return strayMs < -strayToleranceMs ? -1 : 0;
}

// Keeps the way the music strays at nowMs, and since when it has strayed
// that way.
void noteStraying(MusicSyncState& state, int32_t nowMs, double strayMs)
{
    const int32_t direction = strayDirection(strayMs);
    if (direction == 0 || direction != state.strayingSign) {
        state.strayingSign = direction;
        state.strayingSinceMs = nowMs;
    }
}

// Whether to act: at once at the start, aiming at no stray at all, so that
// a start inside the tolerance is not left there for the whole show; after
// that only once the music has strayed past the tolerance, the same way,
// for strayHoldMs.
bool timeToPlace(const MusicSyncState& state, int32_t nowMs)
{
    return !state.placed ||
           (state.strayingSign != 0 && nowMs - state.strayingSinceMs >= strayHoldMs);
}

// Where the music goes so that it is heard in place: back by what it strays
// from what the mixer has taken, and a buffer on for each buffer the mixer
// is overdue to take, which is heard as late as it is taken.
double placementMs(const MusicSync& sync, int32_t nowMs, double mixedToMs, double strayMs)
{
    const double bufferMs = sync.settings.bufferMs;
    double placeAtMs = mixedToMs - strayMs;
    for (double nextTakenAtMs = mixedToMs + takenLagMs(sync.state) + bufferMs;
         nextTakenAtMs <= nowMs; nextTakenAtMs += bufferMs) {
        placeAtMs += bufferMs;
    }
    return std::max(0.0, placeAtMs);
}

// What the follower has seen, forgotten: the music followed from positionMs.
void followFrom(MusicSyncState& state, double positionMs)
{
    state = MusicSyncState{};
    state.active = true;
    state.basePositionMs = positionMs;
    state.lastPositionMs = positionMs;
}

// The music's position in ms; false where the mixer cannot tell it.
bool readMusicPositionMs(double* positionMs)
{
    const double positionSeconds = Mix_GetMusicPosition(demo.music);
    *positionMs = positionSeconds * msPerSecond;
    return positionSeconds >= 0.0;
}

} // namespace

void startFollowingMusic(MusicSync& sync, double positionMs, const MusicSyncSettings& settings)
{
    sync.settings = settings;
    followFrom(sync.state, positionMs);
}

void restartFollowingMusic(MusicSync& sync, double positionMs)
{
    followFrom(sync.state, positionMs);
    sync.state.placed = true;
}

bool followMusic(MusicSync& sync, int32_t nowMs, double positionMs, double* placeAtMs)
{
    MusicSyncState& state = sync.state;
    if (positionMs == state.lastPositionMs) {
        return false;
    }
    state.lastPositionMs = positionMs;
    const double mixedToMs = roundToBuffers(sync, positionMs);
    rememberLag(state, nowMs - mixedToMs);
    if (state.lagCount < (state.placed ? musicLagSteps : firstPlacementSteps)) {
        return false;
    }
    const double strayMs = reckonStray(sync);
    // The first placement aims at no stray at all, whatever came before it.
    if (state.placed) {
        noteStraying(state, nowMs, strayMs);
    }
    if (!timeToPlace(state, nowMs)) {
        return false;
    }
    state.placed = true;
    *placeAtMs = placementMs(sync, nowMs, mixedToMs, strayMs);
    return true;
}

void startMusicSync()
{
    demo.musicSync = MusicSync{};
    int frequencyHz = 0;
    const char* driver = SDL_GetCurrentAudioDriver();
    if (driver == nullptr || playsToNoOne(driver) || demo.music == nullptr ||
        Mix_PlayingMusic() == 0 || Mix_QuerySpec(&frequencyHz, nullptr, nullptr) == 0 ||
        frequencyHz <= 0) {
        return;
    }
    double positionMs = 0.0;
    if (!readMusicPositionMs(&positionMs)) {
        return;
    }
    MusicSyncSettings settings;
    settings.bufferMs = audioChunkSamples * msPerSecond / frequencyHz;
    settings.outputLatencyMs = outputLatencyOf(driver);
    settings.delayMs = demo.audioDelayMs;
    startFollowingMusic(demo.musicSync, positionMs, settings);
}

void keepMusicInPlace()
{
    if (!demo.musicSync.state.active) {
        return;
    }
    double positionMs = 0.0;
    if (!readMusicPositionMs(&positionMs)) {
        demo.musicSync.state.active = false;
        return;
    }
    double placeAtMs = 0.0;
    if (!followMusic(demo.musicSync, demo.elapsedMs, positionMs, &placeAtMs)) {
        return;
    }
    if (Mix_SetMusicPosition(placeAtMs / msPerSecond) != 0 || !readMusicPositionMs(&positionMs)) {
        demo.musicSync.state.active = false;
        return;
    }
    restartFollowingMusic(demo.musicSync, positionMs);
}
