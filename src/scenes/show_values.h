// All that the reduced-flashing mode changes: the show's values beside the calmer show's.
#pragma once

#include "scenes/easing.h"
#include "scenes/scenes.h"
#include "shell/demo_state.h"

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
    // Share, 0 to 1, of the motion of scenes 3 and 4 (the flowers' turn and
    // growth, the words' scroll and turn, the fog's drift, sway and tint) that
    // is gathered onto the kick: with the red held steady, the picture moves
    // with the kick instead of flashing with it. It moves as far as in the
    // show, so its edges cross each point as often, only at the kick.
    float kickStepShare;
    // How long each kick's step takes, fastest at the kick and easing out:
    // short enough to land on the kick, long enough to read as a move, not a cut.
    float kickSnapMs;
};

constexpr ShowValues fullShow = {false, false, 1.0f, 1.0f, 1.0, 0.0f, 120.0f};
constexpr ShowValues calmerShow = {true, true, 0.25f, 0.5f, 0.1, 1.0f, 120.0f};

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

// How far ahead of elapsedMs (or, negative, behind) scenes 3 and 4 draw what
// moves: not at all in the show. The calmer show holds the middle of each beat
// and each kick moves the picture on by a beat in a snap, from half a beat
// behind the clock to half a beat ahead.
inline int32_t kickShiftMs(int32_t elapsedMs)
{
    if (elapsedMs <= redBeatsAfterMs) {
        return 0;
    }
    const ShowValues& show = showValues();
    const int32_t sinceKick = (elapsedMs - kickAtMs) % beatMs;
    const float snap = easeOut(static_cast<float>(sinceKick) / show.kickSnapMs);
    const float shift = static_cast<float>(beatMs) * (snap - 0.5f) - static_cast<float>(sinceKick);
    return static_cast<int32_t>(show.kickStepShare * shift);
}
