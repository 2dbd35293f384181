// Keeping the music where the picture is, against a model of the mixer and its output.
#include "shell/music_sync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

constexpr double bufferMs = 2048 * 1000.0 / 44100;
constexpr double latencyMs = 58.0;

// A stretch of show time in which nothing of the program runs, the mixer included.
struct Stall {
    int32_t fromMs;
    int32_t forMs;
};

// How the model plays: the mixer takes a buffer every takePeriodMs from
// firstTakeMs; the main loop reads the position every passMs, except that
// the pass at longFrameAtMs takes longFrameMs (the mixer plays on meanwhile).
struct Playing {
    double firstTakeMs = 17.0;
    double takePeriodMs = bufferMs;
    int32_t passMs = 7;
    int32_t longFrameAtMs = -1;
    int32_t longFrameMs = 0;
    Stall stall = {-1, 0};
    double delayMs = 0.0;
    int32_t endMs = 4000;
};

// A buffer the mixer took: heard from heardFromMs, from positionMs of the music on.
struct Take {
    double heardFromMs;
    double positionMs;
};

struct Heard {
    std::vector<int32_t> placedAtMs;
    // Every 32 ms: the show time, and the music heard then minus the picture's
    // time (and the viewer's delay).
    std::vector<std::pair<int32_t, double>> offsetsMs;
};

bool stalled(const Stall& stall, double atMs)
{
    return atMs >= stall.fromMs && atMs < stall.fromMs + stall.forMs;
}

// Plays the music from position 0 at show time 0, as the main loop follows it.
Heard play(const Playing& playing)
{
    MusicSync sync;
    startFollowingMusic(sync, 0.0, {bufferMs, latencyMs, playing.delayMs});
    Heard heard;
    double positionMs = 0.0;
    double nextTakeMs = playing.firstTakeMs;
    std::vector<Take> takes;
    int32_t nextPassMs = 0;
    for (int32_t nowMs = 0; nowMs < playing.endMs; ++nowMs) {
        if (stalled(playing.stall, nowMs)) {
            nextTakeMs = playing.stall.fromMs + playing.stall.forMs;
            nextPassMs = static_cast<int32_t>(nextTakeMs);
            continue;
        }
        while (nextTakeMs <= nowMs) {
            takes.push_back({nextTakeMs + latencyMs, positionMs});
            positionMs += bufferMs;
            nextTakeMs += playing.takePeriodMs;
        }
        const auto playingTake = std::find_if(takes.rbegin(), takes.rend(), [&](const Take& take) {
            return take.heardFromMs <= nowMs;
        });
        if (nowMs % 32 == 0 && playingTake != takes.rend()) {
            heard.offsetsMs.push_back({nowMs, playingTake->positionMs +
                                                  (nowMs - playingTake->heardFromMs) - nowMs +
                                                  playing.delayMs});
        }
        if (nowMs < nextPassMs) {
            continue;
        }
        nextPassMs =
            nowMs + (nowMs == playing.longFrameAtMs ? playing.longFrameMs : playing.passMs);
        double placeAtMs = 0.0;
        if (followMusic(sync, nowMs, positionMs, &placeAtMs)) {
            heard.placedAtMs.push_back(nowMs);
            positionMs = placeAtMs;
            restartFollowingMusic(sync, positionMs);
        }
    }
    return heard;
}

// The largest offset heard from fromMs on.
double worstOffsetFrom(const Heard& heard, int32_t fromMs)
{
    double worst = 0.0;
    for (const auto& [atMs, offsetMs] : heard.offsetsMs) {
        worst = atMs >= fromMs ? std::fmax(worst, std::fabs(offsetMs)) : worst;
    }
    return worst;
}

} // namespace

TEST(MusicSync, PlacedOnceAtTheStartAndKeptThere)
{
    for (const double firstTakeMs : {1.0, 23.0, 45.0}) {
        Playing playing;
        playing.firstTakeMs = firstTakeMs;
        const Heard heard = play(playing);
        ASSERT_EQ(heard.placedAtMs.size(), 1u) << "first take at " << firstTakeMs;
        EXPECT_LT(heard.placedAtMs[0], 200);
        EXPECT_GT(std::fabs(heard.offsetsMs.front().second), 50.0)
            << "heard late before it is placed";
        EXPECT_LE(worstOffsetFrom(heard, 300), 7.5) << "within one pass";
    }
}

TEST(MusicSync, AStartAlreadyNearItsPlaceIsPlacedExactly)
{
    // Heard 12 ms early before the first placement: inside the tolerance,
    // where a start left alone would stay for the whole show.
    Playing playing;
    playing.delayMs = playing.firstTakeMs + latencyMs + 12.0;
    const Heard heard = play(playing);
    ASSERT_EQ(heard.placedAtMs.size(), 1u);
    EXPECT_GT(heard.offsetsMs.front().second, 7.5) << "off before it is placed";
    EXPECT_LE(worstOffsetFrom(heard, 300), 7.5);
}

TEST(MusicSync, SlowPassesAndOneLongFrameAreNoReasonToMove)
{
    Playing playing;
    playing.passMs = 40;
    playing.longFrameAtMs = 2000;
    playing.longFrameMs = 300;
    const Heard heard = play(playing);
    EXPECT_EQ(heard.placedAtMs.size(), 1u);
    EXPECT_LE(worstOffsetFrom(heard, 600), 15.0);
}

TEST(MusicSync, PutBackOnceAfterAStallOfTheWholeProgram)
{
    Playing playing;
    playing.stall = {1500, 1000};
    playing.endMs = 5000;
    const Heard heard = play(playing);
    ASSERT_EQ(heard.placedAtMs.size(), 2u);
    EXPECT_LT(heard.placedAtMs[1], 2500 + 1000) << "back within a second";
    EXPECT_GT(worstOffsetFrom(heard, 2500), 900.0) << "a second late after the stall";
    EXPECT_LE(worstOffsetFrom(heard, 2500 + 1000), 7.5);
}

TEST(MusicSync, DriftIsPutBackOnlyPastTheTolerance)
{
    Playing playing;
    playing.takePeriodMs = bufferMs * 0.995; // the device's clock 0.5 % fast
    playing.endMs = 20000;
    const Heard heard = play(playing);
    // 100 ms of drift in 20 s, put back once it passes 15 ms: some six times.
    EXPECT_GE(heard.placedAtMs.size(), 5u);
    EXPECT_LE(heard.placedAtMs.size(), 9u);
    EXPECT_LE(worstOffsetFrom(heard, 300), 15.0 + 0.005 * 400 + 7.5);
}

TEST(MusicSync, TheViewersDelayPlaysTheSoundLater)
{
    for (const double delayMs : {-150.0, 100.0}) {
        Playing playing;
        playing.delayMs = delayMs;
        const Heard heard = play(playing);
        EXPECT_EQ(heard.placedAtMs.size(), 1u);
        EXPECT_LE(worstOffsetFrom(heard, 400), 7.5) << "delay " << delayMs;
    }
}
