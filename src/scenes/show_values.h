// All that the reduced-flashing mode changes: the show's values beside the calmer show's.
#pragma once

#include "scenes/scenes.h"
#include "shell/demo_state.h"

#include <algorithm>
#include <cstdint>

// The steady red levels, 0 to 255, that the calmer show holds where the show
// runs a red saw-tooth, which flashes about four times a second.
constexpr uint8_t brightRed = 200; // the background until 76 s, and scene 4's sprites
constexpr uint8_t darkRed = 72; // scene 3's sprites: dark, yet not so dark that their hue is lost
// The background from 80 s, near the sprites' own level: grown to fill the
// screen, their turning petals would flicker against a bright red.
constexpr uint8_t lateBackgroundRed = 90;
constexpr float backgroundDarkensAtMs = 76000.0f;
constexpr float backgroundDarkensForMs = 4000.0f;

// The music's kick lands every 512 ms from 128 ms, on every other drop of the
// show's red saw-tooth, which beats from just after 60010 ms.
constexpr int32_t kickAtMs = 128;
constexpr int32_t beatMs = 512;
constexpr int32_t redBeatsAfterMs = 60010;

// Each value of the show that the calmer show changes, with its reason.
struct ShowValues {
    // Every red saw-tooth holds one of the steady levels above instead.
    bool steadyReds;
    // Scene 3's first two predictions scroll level at the red line's height:
    // their glyphs flicker as they stream past, and drifting down or up as
    // well they would sweep that flicker over a band too wide.
    bool levelPredictions;
    // Shares, 0 to 1, of scene 2's tile bob (20 px) and rocking (20 degrees):
    // fuller, the edges and corners of the tiles flicker against the black.
    float tileBobShare;
    float tileRockShare;
    // Share, 0 to 1, of scene 4's spin (about 278 degrees/s): at full speed the
    // dots and petals of the magnified flower sweep past any point of the
    // screen several times a second.
    double giantSpinShare;
    // How long what moves in scenes 3 and 4 (the flowers' turn and growth,
    // the words' scroll and turn, the fog's drift, sway and tint) stands still
    // around each kick from 1:00, to jump on the kick: with the red held
    // steady, the picture moves with the kick instead of flashing with it.
    // Long enough for the jump to read as the beat, short enough that for
    // most of each beat the picture is the show's. Light cannot carry the
    // kick instead: over these reds, a glow of the fog strong enough to be
    // seen steps the saturated red's level over much of the screen, a red
    // flash on every kick, and one of the reds themselves adds up with the
    // turning petals to red flashes.
    int32_t kickHoldMs;
};

constexpr ShowValues fullShow = {false, false, 1.0f, 1.0f, 1.0, 0};
constexpr ShowValues calmerShow = {true, true, 0.25f, 0.5f, 0.1, 192};

// The values of the show being drawn: the calmer ones with --reduce-flashes.
inline const ShowValues& showValues()
{
    return demo.reduceFlashes ? calmerShow : fullShow;
}

// A red level that the show runs as a saw-tooth: that, or the steady level.
inline uint8_t flashingRed(uint8_t sawTooth, uint8_t steadyLevel)
{
    return showValues().steadyReds ? steadyLevel : sawTooth;
}

// The height of a prediction line that drifts in the show: that, or the red line's.
inline int32_t predictionLineY(int32_t driftingY)
{
    return showValues().levelPredictions ? clothesLineY : driftingY;
}

// How far from elapsedMs scenes 3 and 4 draw what moves: not at all in the
// show. In the calmer show, from the red's first beat, it holds still for
// kickHoldMs around each kick (every 512 ms from 128 ms): half of it behind
// the clock, then, on the kick, half of it ahead, until the clock catches up.
inline int32_t kickShiftMs(int32_t elapsedMs)
{
    if (elapsedMs <= redBeatsAfterMs) {
        return 0;
    }
    const int32_t halfHoldMs = showValues().kickHoldMs / 2;
    const int32_t sinceKickMs = (elapsedMs - kickAtMs) % beatMs;
    if (sinceKickMs < halfHoldMs) {
        return halfHoldMs - sinceKickMs;
    }
    // Before the first kick the hold begins no earlier than the red's beat.
    const int32_t untilKickMs = beatMs - sinceKickMs;
    return std::min(0, std::max(untilKickMs - halfHoldMs, redBeatsAfterMs - elapsedMs));
}
