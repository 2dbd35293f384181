// Call-by-call tests of the opening-titles renderer, renderScene1.
#include "scene_test_util.h"

namespace {

const std::string fourthWord = "D\xC4"
                               "RV\xC4";

// Draws one frame at t; both clocks agree throughout this scene.
void drawFrameAt(int32_t t, int32_t glyphWidth = 20)
{
    setUpScene(1, t, t, glyphWidth);
    renderScene1();
}

struct TellingRow {
    int32_t t;
    int32_t y0;
    int32_t wallAlpha;
    int32_t size;
    int32_t bigX;
    int32_t bigY;
    int32_t bigAlpha;
    int32_t smallAlpha;
    int32_t word1Y;
    float word1Scale;
    int32_t headingX;
};

const TellingRow tellingRows[] = {
    {0, 0, 64, 0, 960, 540, 192, 255, -120, 0.5f, 3620},
    {4000, -200, 64, 130, 895, 475, 192, 255, -120, 0.5f, 3220},
    {6313, -315, 64, 526, 697, 277, 178, 255, 480, 1.25f, 2989},
    {8500, -425, 64, 1024, 448, 28, 145, 255, 1080, 2.0f, 2770},
    {11000, -550, 64, 1585, 168, -252, 96, 255, 1080, 2.0f, 2520},
    {15000, -750, 64, 2048, -64, -484, 22, 255, 1080, 2.0f, 2120},
    {18000, -900, 64, 2048, -64, -484, 0, 255, 1080, 2.0f, 1820},
    {19500, -975, 32, 2048, -64, -484, 0, 255, 1080, 2.0f, 1670},
    {19750, -987, 10, 2048, -64, -484, 0, 127, 1080, 2.0f, 1645},
    {20000, -1000, 0, 2048, -64, -484, 0, 0, 1080, 2.0f, 1620},
};

// Checks wall, sprites, first word and heading pen x against one row; the
// glyphs are 1000 wide so that the drawn width shows the word's scale.
void expectRow(const TellingRow& row)
{
    const std::vector<DrawCall> wall = copiesOf(demo.texSumuuh);
    ASSERT_EQ(wall.size(), 9u);
    EXPECT_EQ(rect(wall[0].destination), rect({-300, row.y0, 1024, 1024}));
    EXPECT_EQ(wall[0].color.a, row.wallAlpha);

    const std::vector<DrawCall> sprites = copiesOf(demo.texSuikelois);
    ASSERT_EQ(sprites.size(), 2u);
    EXPECT_EQ(rect(sprites[0].destination), rect({row.bigX, row.bigY, row.size, row.size}));
    EXPECT_EQ(sprites[0].color.a, row.bigAlpha);
    EXPECT_EQ(rect(sprites[1].destination), "{896,476,128,128}");
    EXPECT_EQ(sprites[1].color.a, row.smallAlpha);

    const TextDraw word = findText("TIVU");
    ASSERT_TRUE(word.found);
    EXPECT_EQ(word.glyphs[0].destination.y, row.word1Y);
    EXPECT_EQ(word.glyphs[0].destination.w, static_cast<int32_t>(1000.0f * row.word1Scale));
    EXPECT_EQ(word.glyphs[0].destination.h, static_cast<int32_t>(40.0f * row.word1Scale));

    const TextDraw heading = findText(headingText);
    ASSERT_TRUE(heading.found);
    EXPECT_EQ(heading.glyphs[0].destination.x, row.headingX);
}

} // namespace

TEST(Scene1TellingValues, EveryRowOfTheTableIsDrawn)
{
    for (const TellingRow& row : tellingRows) {
        SCOPED_TRACE("t = " + std::to_string(row.t));
        drawFrameAt(row.t, 1000);
        expectRow(row);
    }
}

TEST(Scene1TellingValues, NegativeSceneMsClampsEveryEasingToItsStart)
{
    drawFrameAt(-100, 1000);
    // The wall's y0 still follows its division: -100 / -20.0 = 5.
    expectRow({-100, 5, 64, 0, 960, 540, 192, 255, -120, 0.5f, 3630});
}

TEST(Scene1Layers, WallIsNineAbuttingUnturnedTilesColumnByColumn)
{
    drawFrameAt(10000);
    const std::vector<DrawCall> wall = copiesOf(demo.texSumuuh);
    const std::vector<std::string> expected = {
        "{-300,-500,1024,1024}", "{-300,524,1024,1024}", "{-300,1548,1024,1024}",
        "{724,-500,1024,1024}",  "{724,524,1024,1024}",  "{724,1548,1024,1024}",
        "{1748,-500,1024,1024}", "{1748,524,1024,1024}", "{1748,1548,1024,1024}"};
    EXPECT_EQ(rects(wall), expected);
    for (const DrawCall& tile : wall) {
        EXPECT_TRUE(isPlainCopy(tile));
        EXPECT_EQ(tile.angle, 0.0);
    }
}

TEST(Scene1Layers, SpritesTurnAtTheirOwnRatesInWhite)
{
    drawFrameAt(10000);
    const std::vector<DrawCall> sprites = copiesOf(demo.texSuikelois);
    ASSERT_EQ(sprites.size(), 2u);
    EXPECT_DOUBLE_EQ(sprites[0].angle, 10000.0 / 14.4);
    EXPECT_DOUBLE_EQ(sprites[1].angle, 10000.0 / 7.2);
    EXPECT_TRUE(isPlainCopy(sprites[0]));
    EXPECT_TRUE(isPlainCopy(sprites[1]));
    EXPECT_EQ(rgb(sprites[1].color), "(255,255,255)");
}

TEST(Scene1Words, EachWordFallsOnlyDuringItsOwnWindow)
{
    struct Case {
        std::string word;
        int32_t t;
        int32_t penY;
    };
    const Case cases[] = {{"MELKORI", 6063, -120},  {"MELKORI", 8062, 1079},
                          {"MELKORI", 8063, 1080},  {fourthWord, 8800, -120},
                          {fourthWord, 10000, 561}, {fourthWord, 11000, 1080},
                          {"SALVO", 6800, -120},    {"SALVO", 8800, 1080}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.word) + " at " + std::to_string(c.t));
        drawFrameAt(c.t);
        const TextDraw word = findText(c.word);
        ASSERT_TRUE(word.found);
        EXPECT_EQ(word.glyphs[0].destination.y, c.penY);
    }
}

TEST(Scene1Words, FourthWordMidwayHasTheStatedScale)
{
    drawFrameAt(10000, 1000);
    const TextDraw word = findText(fourthWord);
    ASSERT_TRUE(word.found);
    EXPECT_EQ(word.glyphs[0].destination.w, static_cast<int32_t>(1000.0f * 1.3519909f));
    const float fall = smoothstepRef((10000.0f - 8800.0f) / 2200.0f);
    EXPECT_EQ(word.glyphs[0].destination.w, static_cast<int32_t>(1000.0f * (fall * 1.5f + 0.5f)));
}

TEST(Scene1Words, WordsStandAtTheirColumnsInUnturnedWhite)
{
    drawFrameAt(7000);
    const std::string words[] = {"TIVU", "MELKORI", "SALVO", fourthWord};
    const int32_t penX[] = {500, 700, 900, 1100};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(testing::PrintToString(words[k]));
        const TextDraw word = findText(words[k]);
        ASSERT_TRUE(word.found);
        EXPECT_EQ(word.glyphs[0].destination.x, penX[k]);
        const DrawCall& tint = fakeSdl.calls[word.firstCall - 1];
        EXPECT_TRUE(isFontCall(tint, CallKind::ColorMod));
        EXPECT_EQ(rgb(tint.color), "(255,255,255)");
        for (const DrawCall& glyph : word.glyphs) {
            EXPECT_EQ(rgb(glyph.color), "(255,255,255)");
            EXPECT_EQ(glyph.angle, 0.0);
        }
    }
}

TEST(Scene1Heading, RainbowWaveAndTurnAtTenSeconds)
{
    drawFrameAt(10000);
    expectHeading(2620, 900, 50, -1000.0, -100.0);
}

TEST(Scene1Heading, PenXStepsOnePixelPerTenMilliseconds)
{
    drawFrameAt(19995);
    EXPECT_EQ(findText(headingText).glyphs.at(0).destination.x, 1621);
    drawFrameAt(20000);
    EXPECT_EQ(findText(headingText).glyphs.at(0).destination.x, 1620);
}

TEST(Scene1Heading, PenXAndAngleStepReadElapsedTheRestReadsSceneTime)
{
    setUpScene(1, 12000, 10000);
    renderScene1();
    expectHeading(3620 - 1200, 900, 50, -1000.0, -120.0);
    EXPECT_EQ(copiesOf(demo.texSumuuh).at(0).destination.y, -500);
    EXPECT_DOUBLE_EQ(copiesOf(demo.texSuikelois).at(0).angle, 10000.0 / 14.4);
}

TEST(Scene1Order, FrameIsDrawnBackToFrontAndEndsWithAWhiteFont)
{
    drawFrameAt(10000);
    EXPECT_EQ(outline(), "draw clear alpha:sumuuh copy:sumuuh*9 alpha:suikelois copy:suikelois "
                         "color:suikelois alpha:suikelois copy:suikelois alpha:suikelois text");
    EXPECT_EQ(rgba(fakeSdl.calls[0].color), "(0,0,0,255)");
    std::size_t previous = 0;
    for (const std::string& text : {std::string("TIVU"), std::string("MELKORI"),
                                    std::string("SALVO"), fourthWord, headingText}) {
        const TextDraw draw = findText(text);
        ASSERT_TRUE(draw.found) << testing::PrintToString(text);
        EXPECT_GT(draw.firstCall, previous) << text;
        previous = draw.lastCall;
    }
    ASSERT_EQ(previous + 2, fakeSdl.calls.size());
    EXPECT_TRUE(isFontCall(fakeSdl.calls.back(), CallKind::ColorMod));
    EXPECT_EQ(rgb(fakeSdl.calls.back().color), "(255,255,255)");
}

TEST(Scene1State, FrameLeavesBlackWhiteSpritesWhiteFontAndTheWallAlpha)
{
    setUpScene(1, 19750, 19750);
    fakeSdl.drawColor = {9, 9, 9, 9};
    fakeSdl.mods[demo.texSuikelois].color = {1, 2, 3, 4};
    fakeSdl.mods[demo.texSumuuh].color = {5, 6, 7, 8};
    fakeSdl.mods[demo.texFont].color = {10, 11, 12, 13};
    renderScene1();
    EXPECT_EQ(rgba(fakeSdl.drawColor), "(0,0,0,255)");
    EXPECT_EQ(rgba(fakeSdl.mods[demo.texSuikelois].color), "(255,255,255,255)");
    EXPECT_EQ(rgba(fakeSdl.mods[demo.texSumuuh].color), "(5,6,7,10)");
    EXPECT_EQ(rgba(fakeSdl.mods[demo.texFont].color), "(255,255,255,13)");
    // The large sprite is drawn with the colour the texture carried.
    EXPECT_EQ(rgb(copiesOf(demo.texSuikelois).at(0).color), "(1,2,3)");
}
