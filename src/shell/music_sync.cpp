// The music kept where the picture is: placed ahead by the output's delay at
// the start, and put back after an underrun, a stall or slow drift.
//
// The mixer reports how far it has decoded, which moves one buffer at a time
// as its callback takes a buffer; the main loop sees each step on the next
// pass. The earliest of several such sightings, against the steady pace of
// the buffers, tells when the mixer takes them, and each buffer is heard one
// output latency after that. The picture never moves: the music does.
#include "shell/demo_state.h"
#include "shell/shell.h"

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

// From the mixer taking a buffer to the first sample of it heard, as
// bench/av_sync.sh measured it: PulseAudio 16 with a null sink (idle machine,
// two runs), and Wine 8's WASAPI into the same PulseAudio. DirectSound and
// the other backends were not measured and take the same.
constexpr double pulseAudioLatencyMs = 30.0;
constexpr double wasapiLatencyMs = 30.0;
constexpr double directSoundLatencyMs = 30.0;
constexpr double otherBackendLatencyMs = 30.0;

// The output latency of the audio backend SDL picked.
double outputLatencyMs(const char* driver)
{
    if (std::strcmp(driver, "pulseaudio") == 0 || std::strcmp(driver, "pipewire") == 0) {
        return pulseAudioLatencyMs;
    }
    if (std::strcmp(driver, "wasapi") == 0) {
        return wasapiLatencyMs;
    }
    if (std::strcmp(driver, "directsound") == 0) {
        return directSoundLatencyMs;
    }
    return otherBackendLatencyMs;
}

// Drivers that play to no one, on a clock of their own.
bool playsToNoOne(const char* driver)
{
    return std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "disk") == 0;
}

void rememberLag(MusicSync& sync, double lagMs)
{
    if (sync.lagCount == musicLagSteps) {
        std::copy(sync.lagsMs + 1, sync.lagsMs + musicLagSteps, sync.lagsMs);
        sync.lagCount -= 1;
    }
    sync.lagsMs[sync.lagCount] = lagMs;
    sync.lagCount += 1;
}

// Where the music should be placed so that the buffer the mixer takes next,
// due one or more buffers after the last one taken, is heard at its moment.
double placementMs(const MusicSync& sync, int32_t nowMs, double lastTakenAtMs)
{
    double nextTakenAtMs = lastTakenAtMs + sync.bufferMs;
    while (nextTakenAtMs <= nowMs) {
        nextTakenAtMs += sync.bufferMs;
    }
    return std::max(0.0, nextTakenAtMs + sync.outputLatencyMs - sync.delayMs);
}

// +1 when the music is heard ahead of the picture, -1 behind, 0 in place.
int32_t strayDirection(double strayMs)
{
    if (strayMs > strayToleranceMs) {
        return 1;
    }
    return strayMs < -strayToleranceMs ? -1 : 0;
}

} // namespace

void startFollowingMusic(MusicSync& sync, double positionMs, double bufferMs, double latencyMs,
                         double delayMs)
{
    sync = MusicSync{};
    sync.active = true;
    sync.bufferMs = bufferMs;
    sync.outputLatencyMs = latencyMs;
    sync.delayMs = delayMs;
    sync.basePositionMs = positionMs;
    sync.lastPositionMs = positionMs;
}

void restartFollowingMusic(MusicSync& sync, double positionMs)
{
    startFollowingMusic(sync, positionMs, sync.bufferMs, sync.outputLatencyMs, sync.delayMs);
    sync.placed = true;
}

bool followMusic(MusicSync& sync, int32_t nowMs, double positionMs, double* placeAtMs)
{
    if (positionMs == sync.lastPositionMs) {
        return false;
    }
    sync.lastPositionMs = positionMs;
    // The decoder may run a little ahead of what it handed over: whole buffers count.
    const double buffers = std::floor((positionMs - sync.basePositionMs) / sync.bufferMs + 0.5);
    const double mixedToMs = sync.basePositionMs + buffers * sync.bufferMs;
    rememberLag(sync, nowMs - mixedToMs);
    if (sync.lagCount < (sync.placed ? musicLagSteps : firstPlacementSteps)) {
        return false;
    }
    // Every sighting is late by the pass it waited for; the earliest is nearest.
    const double lagMs = *std::min_element(sync.lagsMs, sync.lagsMs + sync.lagCount);
    // The buffer mixed up to mixedToMs began at mixedToMs - bufferMs and is
    // heard from (mixedToMs + lagMs) + outputLatencyMs.
    const double strayMs = sync.delayMs - lagMs - sync.bufferMs - sync.outputLatencyMs;
    const int32_t direction = strayDirection(strayMs);
    if (!sync.placed) {
        // The start: placed at once, before the show has anything to hear.
        sync.placed = true;
        if (direction == 0) {
            return false;
        }
    } else if (direction == 0 || direction != sync.strayingSign) {
        sync.strayingSign = direction;
        sync.strayingSinceMs = nowMs;
        return false;
    } else if (nowMs - sync.strayingSinceMs < strayHoldMs) {
        return false;
    }
    *placeAtMs = placementMs(sync, nowMs, mixedToMs + lagMs);
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
    const double positionSeconds = Mix_GetMusicPosition(demo.music);
    if (positionSeconds < 0.0) {
        return;
    }
    startFollowingMusic(demo.musicSync, positionSeconds * msPerSecond,
                        audioChunkSamples * msPerSecond / frequencyHz, outputLatencyMs(driver),
                        demo.audioDelayMs);
}

void keepMusicInPlace()
{
    if (!demo.musicSync.active) {
        return;
    }
    const double positionSeconds = Mix_GetMusicPosition(demo.music);
    if (positionSeconds < 0.0) {
        demo.musicSync.active = false;
        return;
    }
    double placeAtMs = 0.0;
    if (!followMusic(demo.musicSync, demo.elapsedMs, positionSeconds * msPerSecond, &placeAtMs)) {
        return;
    }
    if (Mix_SetMusicPosition(placeAtMs / msPerSecond) != 0) {
        demo.musicSync.active = false;
        return;
    }
    restartFollowingMusic(demo.musicSync, Mix_GetMusicPosition(demo.music) * msPerSecond);
}
