// All that the reduced-flashing mode changes: the show's values beside the calmer show's.
#pragma once

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
};

constexpr ShowValues fullShow = {false, false, 1.0f, 1.0f, 1.0};
constexpr ShowValues calmerShow = {true, true, 0.25f, 0.5f, 0.1};

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
