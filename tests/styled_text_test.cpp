// Styled text: pen arithmetic, rainbow, wave, rotation and the tint left behind.
#include "fake_sdl.h"

#include "font/font.h"
#include "shell/demo_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr SDL_Color green = {0, 255, 0, 255};

// Glyphs a, b, c 28 px wide and 33 high, d 41 wide (20.5 at half scale),
// the nine palette colours, and the font page texture.
void useFont()
{
    resetFake();
    demo.texFont = fakeTexture(4);
    demo.glyphs = {{'a', 0, 0, 28, 33, 1, 4, 30, {0, 0, 28, 33}},
                   {'b', 30, 0, 28, 33, 1, 4, 30, {30, 0, 28, 33}},
                   {'c', 60, 0, 28, 33, 1, 4, 30, {60, 0, 28, 33}},
                   {'d', 90, 0, 41, 33, 1, 4, 30, {90, 0, 41, 33}},
                   {' ', 200, 0, 99, 99, 0, 0, 99, {200, 0, 99, 99}},
                   {'a' + 256, 300, 0, 5, 5, 0, 0, 5, {300, 0, 5, 5}}};
    for (int i = 0; i < paletteSize; ++i) {
        demo.palette[i] = {static_cast<Uint8>(i), static_cast<Uint8>(10 * i), 7, 255};
    }
}

TextStyle plain(const std::string& text)
{
    return {green, false, false, 0, 0.0, 0.0, 0.0, text};
}

SDL_Color fontTint()
{
    return fakeSdl.mods[demo.texFont].color;
}

} // namespace

TEST(StyledText, EmptyAndSpaceOnlyTextsOnlySetTheTint)
{
    useFont();
    TextStyle style = plain("");
    style.rainbow = true;
    drawStyledText(0, 0, 1.0f, style);
    style.text = "   ";
    drawStyledText(0, 0, 1.0f, style);
    ASSERT_EQ(fakeSdl.calls.size(), 2u);
    EXPECT_EQ(fakeSdl.calls[1].kind, CallKind::ColorMod);
    EXPECT_EQ(fontTint().g, 255) << "the tint stays the style's colour";
    EXPECT_EQ(copies().size(), 0u) << "a glyph line for the space is never drawn";
}

TEST(StyledText, PenAdvancesTruncateTowardZeroInSinglePrecision)
{
    useFont();
    drawStyledText(-100, 0, 0.5f, plain("dd"));
    ASSERT_EQ(copies().size(), 2u);
    EXPECT_EQ(copies()[1].destination.x, -79) << "-100 + 20.5 = -79.5 truncates to -79";
    EXPECT_EQ(copies()[0].destination.w, 20);

    useFont();
    drawStyledText(100, 0, 0.5f, plain("dd"));
    EXPECT_EQ(copies()[1].destination.x, 120);

    useFont();
    drawStyledText(10, 5, 2.0f, plain("a b"));
    ASSERT_EQ(copies().size(), 2u);
    EXPECT_EQ(copies()[0].destination.w, 56);
    EXPECT_EQ(copies()[0].destination.h, 66);
    EXPECT_EQ(copies()[1].destination.x, 10 + 56 + 64) << "a space advances scale x 32";
    EXPECT_EQ(copies()[1].destination.y, 5);
    EXPECT_EQ(copies()[1].source.x, 30);
    EXPECT_FALSE(copies()[1].hasCenter);
    EXPECT_EQ(copies()[1].flip, SDL_FLIP_NONE);

    // 1.2f is 1.2000000476837158: 28 x 1.2f = 33.6 draws 33 wide, advances 33.
    useFont();
    drawStyledText(0, 0, 1.2f, plain("aaa"));
    EXPECT_EQ(copies()[0].destination.w, 33);
    EXPECT_EQ(copies()[2].destination.x, 66) << "each advance truncates; 2 x 33.6 would give 67";
}

TEST(StyledText, RainbowCountsSpacesAndWrapsAtNine)
{
    useFont();
    TextStyle style = plain("ab c");
    style.rainbow = true;
    drawStyledText(0, 0, 1.0f, style);
    const std::vector<DrawCall> drawn = copies();
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_EQ(drawn[0].color.r, 0);
    EXPECT_EQ(drawn[1].color.r, 1);
    EXPECT_EQ(drawn[2].color.r, 3) << "the space takes index 2";
    EXPECT_EQ(fontTint().r, 3) << "the last drawn colour stays on the page";

    useFont();
    style.text = "abcabcabca";
    drawStyledText(0, 0, 1.0f, style);
    EXPECT_EQ(copies()[9].color.r, 0);
    EXPECT_EQ(copies()[9].color.g, 0);
}

TEST(StyledText, RotationIsIndexTimesStepPlusAngle)
{
    useFont();
    TextStyle style = plain("abc");
    style.angle = 10.0;
    style.angleStep = 5.0;
    drawStyledText(0, 0, 1.0f, style);
    EXPECT_DOUBLE_EQ(copies()[0].angle, 10.0);
    EXPECT_DOUBLE_EQ(copies()[1].angle, 15.0);
    EXPECT_DOUBLE_EQ(copies()[2].angle, 20.0);

    useFont();
    style.text = "a bc";
    drawStyledText(0, 0, 1.0f, style);
    EXPECT_DOUBLE_EQ(copies()[1].angle, 20.0);
    EXPECT_DOUBLE_EQ(copies()[2].angle, 25.0);

    useFont();
    style.angle = -2000.0;
    style.angleStep = -20000.0 / 100.0;
    style.text = "abcabcabc";
    drawStyledText(0, 0, 1.0f, style);
    EXPECT_DOUBLE_EQ(copies()[7].angle, 7.0 * (-200.0) + -2000.0);
}

TEST(StyledText, WaveOffsetsTruncateTowardZero)
{
    useFont();
    TextStyle style = plain("a");
    style.wave = true;
    style.waveAmplitude = 50;
    style.wavePeriod = 20.0;
    drawStyledText(0, 100, 1.0f, style);
    drawStyledText(31, 100, 1.0f, style);
    EXPECT_EQ(copies()[0].destination.y, 100);
    EXPECT_EQ(copies()[1].destination.y, 149) << "sin(1.55) x 50 = 49.989";

    // Negative products: -0.7 stays 0, -1.3 becomes -1 (not -2).
    useFont();
    style.waveAmplitude = 10;
    style.wavePeriod = 100.0;
    drawStyledText(-7, 100, 1.0f, style);  // 10 x sin(-0.07) = -0.6994
    drawStyledText(-13, 100, 1.0f, style); // 10 x sin(-0.13) = -1.2963
    EXPECT_EQ(copies()[0].destination.y, 100);
    EXPECT_EQ(copies()[1].destination.y, 99);

    // The wave reads each glyph's own left edge.
    useFont();
    style.text = "ab";
    style.waveAmplitude = 50;
    style.wavePeriod = 20.0;
    drawStyledText(3, 0, 1.0f, style);
    EXPECT_EQ(copies()[1].destination.y, static_cast<int>(std::sin(31.0 / 20.0) * 50.0));
}

TEST(StyledText, ZeroWavePeriodLeavesGlyphsInPlace)
{
    useFont();
    TextStyle style = plain("ab");
    style.wave = true;
    style.waveAmplitude = 50;
    style.wavePeriod = 0.0;
    drawStyledText(0, 300, 1.0f, style);
    EXPECT_EQ(copies()[0].destination.y, 300);
    EXPECT_EQ(copies()[1].destination.y, 300);
}

TEST(StyledText, MissingGlyphsReuseTheLastFoundOrAreSkipped)
{
    useFont();
    TextStyle style = plain("zazb");
    style.rainbow = true;
    drawStyledText(0, 0, 1.0f, style);
    // 'z' first: nothing to reuse, nothing drawn, no advance; then 'a', then
    // 'z' drawn as 'a' with its own index colour, then 'b'.
    const std::vector<DrawCall> drawn = copies();
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_EQ(drawn[0].destination.x, 0);
    EXPECT_EQ(drawn[1].source.x, 0);
    EXPECT_EQ(drawn[1].destination.x, 28);
    EXPECT_EQ(drawn[1].color.r, 2);
    EXPECT_DOUBLE_EQ(drawn[1].angle, 0.0);
    EXPECT_EQ(drawn[2].destination.x, 56);

    // Bytes above 127 are looked up as 0..255, never as negative or wider ids.
    useFont();
    drawStyledText(0, 0, 1.0f, plain("\xE1"));
    EXPECT_EQ(copies().size(), 0u);
}
