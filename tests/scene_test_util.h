// Shared set-up and call-reading helpers for the scene renderer tests.
#pragma once

#include "fake_sdl.h"

#include "font/font.h"
#include "scenes/scenes.h"
#include "shell/demo_state.h"
#include "shell/shell.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline const SDL_Color testPalette[9] = {{22, 255, 0, 255}, {253, 255, 0, 255}, {255, 136, 0, 255},
                                         {255, 0, 15, 255}, {255, 0, 218, 255}, {132, 0, 255, 255},
                                         {0, 13, 255, 255}, {0, 180, 255, 255}, {0, 255, 200, 255}};

inline const std::string headingText = "notes left behind by a forgetful time traveler";
inline const std::string clothesText = "your clothes will be smarter than you";

constexpr int32_t testGlyphHeight = 40;

// Resets the fake and the demo state, hands out the four textures, fills the
// palette and gives every byte 33..255 a glyph of the given width whose source
// x is its own code, so that drawn text can be read back from the copies.
inline void setUpScene(int32_t sceneIndex, int32_t elapsedMs, int32_t sceneMs,
                       int32_t glyphWidth = 20)
{
    resetFake();
    demo.texSuikelois = fakeTexture(1);
    demo.texSumuuh = fakeTexture(2);
    demo.texAstiasto = fakeTexture(3);
    demo.texFont = fakeTexture(4);
    for (int i = 0; i < 9; ++i) {
        demo.palette[i] = testPalette[i];
    }
    for (int32_t code = 33; code <= 255; ++code) {
        demo.glyphs.push_back({code,
                               code,
                               0,
                               glyphWidth,
                               testGlyphHeight,
                               0,
                               0,
                               glyphWidth,
                               {code, 0, glyphWidth, testGlyphHeight}});
    }
    demo.sceneIndex = sceneIndex;
    demo.elapsedMs = elapsedMs;
    demo.sceneMs = sceneMs;
}

// Draws each case's frame of the scene sceneIndex, begun at sceneStartMs, at
// the case's elapsedMs, in the calmer show where the case has reduceFlashes,
// and runs check on it.
template <typename Case, std::size_t count, typename Check>
void checkEachShow(int32_t sceneIndex, int32_t sceneStartMs, const Case (&cases)[count],
                   Check check)
{
    for (const Case& c : cases) {
        SCOPED_TRACE((c.reduceFlashes ? "calmer show at " : "show at ") +
                     std::to_string(c.elapsedMs));
        setUpScene(sceneIndex, c.elapsedMs, c.elapsedMs - sceneStartMs);
        demo.reduceFlashes = c.reduceFlashes;
        drawScene();
        check(c);
    }
}

// The easing as the scenes define it, in single precision: clamp to 0..1,
// then (3 - 2c) * c * c.
inline float smoothstepRef(float u)
{
    float c = u > 1.0f ? 1.0f : u;
    c = c > 0.0f ? c : 0.0f;
    return (3.0f - c * 2.0f) * (c * c);
}

inline std::string rect(const SDL_Rect& r)
{
    return "{" + std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.w) + "," +
           std::to_string(r.h) + "}";
}

inline std::string rgb(const SDL_Color& c)
{
    return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

inline std::string rgba(const SDL_Color& c)
{
    return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + "," +
           std::to_string(c.a) + ")";
}

// The recorded copies of one texture, in order.
inline std::vector<DrawCall> copiesOf(SDL_Texture* texture)
{
    std::vector<DrawCall> result;
    for (const DrawCall& call : copies()) {
        if (call.texture == texture) {
            result.push_back(call);
        }
    }
    return result;
}

// The destination rectangles of the given copies, as text.
inline std::vector<std::string> rects(const std::vector<DrawCall>& calls)
{
    std::vector<std::string> result;
    for (const DrawCall& call : calls) {
        result.push_back(rect(call.destination));
    }
    return result;
}

// True for a whole-texture copy with no centre and no flip, as every sprite and
// tile of the scenes is drawn.
inline bool isPlainCopy(const DrawCall& call)
{
    return call.kind == CallKind::Copy && !call.hasSource && call.hasDestination &&
           !call.hasCenter && call.flip == SDL_FLIP_NONE;
}

inline std::string textureName(SDL_Texture* texture)
{
    if (texture == demo.texSuikelois) {
        return "suikelois";
    }
    if (texture == demo.texSumuuh) {
        return "sumuuh";
    }
    if (texture == demo.texAstiasto) {
        return "astiasto";
    }
    return "unknown";
}

// A compact picture of the frame in call order: each call off the font page as
// kind:texture, each run of font-page calls as "text", and a run of n equal
// tokens as token*n.
inline std::string outline()
{
    std::vector<std::string> tokens;
    for (const DrawCall& call : fakeSdl.calls) {
        std::string token;
        if (call.texture != nullptr && call.texture == demo.texFont) {
            token = "text";
            if (!tokens.empty() && tokens.back() == "text") {
                continue;
            }
        } else if (call.kind == CallKind::DrawColor) {
            token = "draw";
        } else if (call.kind == CallKind::Clear) {
            token = "clear";
        } else if (call.kind == CallKind::ColorMod) {
            token = "color:" + textureName(call.texture);
        } else if (call.kind == CallKind::AlphaMod) {
            token = "alpha:" + textureName(call.texture);
        } else if (call.kind == CallKind::Copy) {
            token = "copy:" + textureName(call.texture);
        } else {
            token = "present";
        }
        tokens.push_back(token);
    }
    std::string result;
    for (std::size_t i = 0; i < tokens.size();) {
        std::size_t run = 1;
        while (i + run < tokens.size() && tokens[i + run] == tokens[i]) {
            ++run;
        }
        result +=
            (result.empty() ? "" : " ") + tokens[i] + (run > 1 ? "*" + std::to_string(run) : "");
        i += run;
    }
    return result;
}

// One text as drawn: its glyph copies and where they sit among the calls.
struct TextDraw {
    bool found = false;
    std::size_t firstCall = 0; // index in fakeSdl.calls of the first glyph copy
    std::size_t lastCall = 0;  // index of the last glyph copy
    std::vector<DrawCall> glyphs;
    std::vector<int32_t> indices; // character index in the text of each glyph
};

inline bool isFontCall(const DrawCall& call, CallKind kind)
{
    return call.kind == kind && call.texture == demo.texFont;
}

// The first run of font-page copies, from call `from` on, whose source x spell
// the text's non-space bytes in order with nothing but font tints between them.
inline TextDraw findText(const std::string& text, std::size_t from = 0)
{
    std::vector<int32_t> codes;
    TextDraw draw;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != ' ') {
            codes.push_back(static_cast<unsigned char>(text[i]));
            draw.indices.push_back(static_cast<int32_t>(i));
        }
    }
    const std::vector<DrawCall>& calls = fakeSdl.calls;
    for (std::size_t start = from; start < calls.size(); ++start) {
        draw.glyphs.clear();
        std::size_t at = start;
        while (draw.glyphs.size() < codes.size() && at < calls.size()) {
            const DrawCall& call = calls[at];
            if (isFontCall(call, CallKind::Copy) && call.source.x == codes[draw.glyphs.size()]) {
                draw.glyphs.push_back(call);
                draw.lastCall = at;
            } else if (draw.glyphs.empty() || !isFontCall(call, CallKind::ColorMod)) {
                break;
            }
            ++at;
        }
        if (!codes.empty() && draw.glyphs.size() == codes.size()) {
            draw.found = true;
            draw.firstCall = start;
            return draw;
        }
    }
    draw.glyphs.clear();
    return draw;
}

// The glyph tops that a wave of the given amplitude and period puts under
// pen y, from each glyph's own pen x.
inline std::vector<int32_t> waveTops(const TextDraw& draw, int32_t y, int32_t amplitude,
                                     double period)
{
    std::vector<int32_t> result;
    for (const DrawCall& glyph : draw.glyphs) {
        result.push_back(
            y + static_cast<int32_t>(std::sin(static_cast<double>(glyph.destination.x) / period) *
                                     static_cast<double>(amplitude)));
    }
    return result;
}

inline std::vector<int32_t> tops(const TextDraw& draw)
{
    std::vector<int32_t> result;
    for (const DrawCall& glyph : draw.glyphs) {
        result.push_back(glyph.destination.y);
    }
    return result;
}

// Checks the angle of the first, second and last glyph: index * step + angle.
inline void expectGlyphAngles(const TextDraw& draw, double angle, double angleStep)
{
    for (std::size_t k : {std::size_t{0}, std::size_t{1}, draw.glyphs.size() - 1}) {
        EXPECT_DOUBLE_EQ(draw.glyphs[k].angle,
                         static_cast<double>(draw.indices[k]) * angleStep + angle)
            << "glyph " << k;
    }
}

// Checks the rainbow heading: pen at (x, y), scale 1.2, wave period 20 with
// the given amplitude, glyph i in palette entry i % 9, turned by
// angle + i * angleStep, after one tint of (0, 255, 0).
inline void expectHeading(int32_t x, int32_t y, int32_t amplitude, double angle, double angleStep)
{
    const TextDraw heading = findText(headingText);
    ASSERT_TRUE(heading.found);
    ASSERT_GE(heading.firstCall, 2u);
    const DrawCall& tint = fakeSdl.calls[heading.firstCall - 2];
    EXPECT_TRUE(isFontCall(tint, CallKind::ColorMod));
    EXPECT_EQ(rgb(tint.color), "(0,255,0)");
    EXPECT_EQ(heading.glyphs[0].destination.x, x);
    EXPECT_EQ(tops(heading), waveTops(heading, y, amplitude, 20.0));
    std::vector<std::string> colors;
    std::vector<std::string> expectedColors;
    for (std::size_t k = 0; k < heading.glyphs.size(); ++k) {
        colors.push_back(rgb(heading.glyphs[k].color));
        expectedColors.push_back(rgb(testPalette[heading.indices[k] % 9]));
    }
    EXPECT_EQ(colors, expectedColors);
    EXPECT_EQ(heading.glyphs[0].destination.w, 24);
    EXPECT_EQ(heading.glyphs[0].destination.h, 48);
    expectGlyphAngles(heading, angle, angleStep);
}

// Checks a red prediction line: one tint of (255, 0, 15) before the first
// glyph and on every glyph, pen at (x, y), scale 1.2, wave amplitude 30 and
// period 80, glyph i turned by angle + 3 i.
inline void expectRedLine(const std::string& text, int32_t x, int32_t y, double angle)
{
    const TextDraw line = findText(text);
    ASSERT_TRUE(line.found) << text;
    const DrawCall& tint = fakeSdl.calls[line.firstCall - 1];
    EXPECT_TRUE(isFontCall(tint, CallKind::ColorMod));
    EXPECT_EQ(rgb(tint.color), "(255,0,15)");
    for (const DrawCall& glyph : line.glyphs) {
        EXPECT_EQ(rgb(glyph.color), "(255,0,15)");
    }
    EXPECT_EQ(line.glyphs[0].destination.x, x);
    EXPECT_EQ(tops(line), waveTops(line, y, 30, 80.0));
    EXPECT_EQ(line.glyphs[0].destination.w, 24);
    expectGlyphAngles(line, angle, 3.0);
}

// The nine fog tiles, column by column, from the top-left corner (x0, y0).
inline std::vector<std::string> fogRects(int32_t x0, int32_t y0)
{
    std::vector<std::string> result;
    for (int32_t column = 0; column < 3; ++column) {
        for (int32_t row = 0; row < 3; ++row) {
            result.push_back(rect({x0 + 1024 * column, y0 + 1024 * row, 1024, 1024}));
        }
    }
    return result;
}

// The fog wall's sway at elapsedMs e: sine of the single-precision quotient,
// narrowed, times 300, minus 1024, truncated.
inline int32_t fogTop(int32_t e)
{
    const float q = static_cast<float>(e) / 1000.0f;
    const float sine = static_cast<float>(std::sin(static_cast<double>(q)));
    return static_cast<int32_t>(300.0f * sine - 1024.0f);
}
