// Call-by-call tests of the spinning-sprites and predictions renderer, renderScene3.
#include "scene_test_util.h"

namespace {

const std::string firstPrediction =
    "technology will continue to make our lives harder and many of us will be delighted "
    "about it";
const std::string secondPrediction =
    "all work will be outsourced, until all the work on the planet is being done by one guy";

// Draws one frame with the scene begun at elapsedMs 50000.
void drawFrameAt(int32_t elapsedMs)
{
    setUpScene(3, elapsedMs, elapsedMs - 50000);
    renderScene3();
}

std::vector<std::string> spriteRects(std::vector<std::pair<int32_t, int32_t>> centres, int32_t size)
{
    std::vector<std::string> result;
    for (const auto& centre : centres) {
        result.push_back(rect({centre.first - size / 2, centre.second - size / 2, size, size}));
    }
    return result;
}

} // namespace

TEST(Scene3Flash, BackgroundAndSpriteColourFollowTheTable)
{
    struct Case {
        int32_t elapsedMs;
        const char* clear;
        const char* sprite;
    };
    const Case cases[] = {
        {50001, "(0,0,0,255)", "(255,255,255,0)"},   {51000, "(0,0,0,255)", "(255,255,255,132)"},
        {52000, "(0,0,0,255)", "(255,255,255,255)"}, {54500, "(0,0,0,255)", "(255,128,128,255)"},
        {56000, "(0,0,0,255)", "(255,0,0,255)"},     {60010, "(0,0,0,255)", "(255,0,0,255)"},
        {60011, "(235,0,0,255)", "(107,0,0,255)"},   {60139, "(107,0,0,255)", "(235,0,0,255)"}};
    for (const Case& c : cases) {
        SCOPED_TRACE("elapsedMs " + std::to_string(c.elapsedMs));
        drawFrameAt(c.elapsedMs);
        EXPECT_EQ(rgba(callsOf(CallKind::Clear).at(0).color), c.clear);
        for (const DrawCall& sprite : copiesOf(demo.texSuikelois)) {
            EXPECT_EQ(rgba(sprite.color), c.sprite);
        }
    }
}

TEST(Scene3Flash, TheCalmerShowHoldsSteadyReds)
{
    // The background bright until 76 s, darkening to 90 by 80 s; the sprites dark throughout.
    struct Case {
        bool reduceFlashes;
        int32_t elapsedMs;
        int32_t clearRed;
        int32_t spriteRed;
    };
    const Case cases[] = {{false, 62000, 176, 48},
                          {true, 62000, 200, 72},
                          {false, 90000, 16, 144},
                          {true, 90000, 90, 72}};
    checkEachShow(3, 50000, cases, [](const Case& c) {
        EXPECT_EQ(callsOf(CallKind::Clear).at(0).color.r, c.clearRed);
        EXPECT_EQ(copiesOf(demo.texSuikelois).at(0).color.r, c.spriteRed);
    });
}

TEST(Scene3Sprites, QuarterSpritesJoinOneAfterAnother)
{
    const std::vector<std::pair<int32_t, int32_t>> centres = {
        {960, 540}, {480, 270}, {1440, 270}, {480, 810}, {1440, 810}};
    const std::pair<int32_t, std::size_t> cases[] = {{56732, 1}, {56733, 2}, {57210, 2},
                                                     {57211, 3}, {57658, 3}, {57659, 4},
                                                     {58156, 4}, {58157, 5}, {70000, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE("elapsedMs " + std::to_string(c.first));
        setUpScene(3, c.first, 5000);
        renderScene3();
        const std::vector<std::pair<int32_t, int32_t>> drawn(centres.begin(),
                                                             centres.begin() + c.second);
        const std::vector<DrawCall> sprites = copiesOf(demo.texSuikelois);
        EXPECT_EQ(rects(sprites), spriteRects(drawn, 128));
        for (const DrawCall& sprite : sprites) {
            EXPECT_TRUE(isPlainCopy(sprite));
            EXPECT_DOUBLE_EQ(sprite.angle, 5000.0 / 7.2);
        }
    }
}

TEST(Scene3Sprites, SizeGrowsFromTenSecondsOfSceneTime)
{
    const std::pair<int32_t, int32_t> cases[] = {{-300, 128},   {5000, 128},  {10000, 128},
                                                 {10019, 128},  {10020, 129}, {20000, 628},
                                                 {30000, 1128}, {50000, 2128}};
    for (const auto& c : cases) {
        SCOPED_TRACE("sceneMs " + std::to_string(c.first));
        setUpScene(3, 70000, c.first);
        renderScene3();
        EXPECT_EQ(copiesOf(demo.texSuikelois).at(0).destination.w, c.second);
    }
    setUpScene(3, 60000, 10020);
    renderScene3();
    EXPECT_EQ(rect(copiesOf(demo.texSuikelois).at(0).destination), "{896,476,129,129}");
}

TEST(Scene3Sprites, TheCalmerShowHoldsTheFlowersStillAroundTheKickAndJumpsOnIt)
{
    // After 60010 ms, when the show's red starts beating, the calmer show's
    // flowers stand still for 96 ms before each kick (every 512 ms from 128),
    // then jump to 96 ms ahead of the clock, which catches up 96 ms later.
    // Before the first kick, at 60032, they stand still from 60010. The show
    // moves steadily.
    struct Case {
        bool reduceFlashes;
        int32_t elapsedMs;
        int32_t movingMs; // the elapsedMs the flowers are drawn for
        int32_t size;
    };
    const Case cases[] = {
        {false, 60092, 60092, 132}, {false, 70000, 70000, 628}, {true, 60010, 60010, 128},
        {true, 60011, 60010, 128},  {true, 60031, 60010, 128},  {true, 60032, 60128, 134},
        {true, 60127, 60128, 134},  {true, 60128, 60128, 134},  {true, 60447, 60447, 150},
        {true, 60448, 60448, 150},  {true, 60449, 60448, 150},  {true, 60543, 60448, 150},
        {true, 60544, 60640, 160},  {true, 70000, 70000, 628}};
    checkEachShow(3, 50000, cases, [](const Case& c) {
        const DrawCall sprite = copiesOf(demo.texSuikelois).at(0);
        EXPECT_EQ(sprite.destination.w, c.size);
        EXPECT_DOUBLE_EQ(sprite.angle, (c.movingMs - 50000) / 7.2);
    });
}

TEST(Scene3Sprites, TheCalmerShowHoldsWordsAndFogWithTheFlowersAndKeepsItsReds)
{
    // At 90200 ms, 40 ms before the kick at 90240, the calmer show draws what
    // moves for 90144, where it stands still until the kick; the reds are
    // those of 90200.
    struct Case {
        bool reduceFlashes;
        int32_t movingMs;
        int32_t clearRed;
        int32_t spriteRed;
        int32_t fogX;
    };
    const Case cases[] = {{false, 90200, 216, 88, -196}, {true, 90144, 90, 72, -202}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reduceFlashes ? "calmer show" : "show");
        setUpScene(3, 90200, 40200);
        demo.reduceFlashes = c.reduceFlashes;
        renderScene3();
        EXPECT_EQ(callsOf(CallKind::Clear).at(0).color.r, c.clearRed);
        EXPECT_EQ(copiesOf(demo.texSuikelois).at(0).color.r, c.spriteRed);
        const int32_t sceneMs = c.movingMs - 50000;
        expectHeading(3620 - c.movingMs / 10, 440, 350, c.movingMs / -10.0, -c.movingMs / 100.0);
        expectRedLine(firstPrediction, 16920 - sceneMs / 2,
                      c.reduceFlashes ? 500 : sceneMs / 10 - 3000, sceneMs / -10.0);
        EXPECT_EQ(rects(copiesOf(demo.texSumuuh)), fogRects(c.fogX, fogTop(c.movingMs)));
    }
}

TEST(Scene3Sprites, FirstFrameStillCountsSceneTimeFromSceneTwo)
{
    setUpScene(3, 50001, 30001);
    renderScene3();
    const std::vector<DrawCall> sprites = copiesOf(demo.texSuikelois);
    ASSERT_EQ(sprites.size(), 1u);
    EXPECT_EQ(rect(sprites[0].destination), "{396,-24,1128,1128}");
    EXPECT_EQ(sprites[0].color.a, 0);
    EXPECT_DOUBLE_EQ(sprites[0].angle, 30001.0 / 7.2);
}

TEST(Scene3Fog, OverlayStartsAfterSeventyFiveSeconds)
{
    drawFrameAt(75000);
    EXPECT_TRUE(copiesOf(demo.texSumuuh).empty());
    EXPECT_EQ(fakeSdl.mods.count(demo.texSumuuh), 0u);

    drawFrameAt(75001);
    const std::vector<DrawCall> tiles = copiesOf(demo.texSumuuh);
    EXPECT_EQ(rects(tiles), fogRects(-692, fogTop(75001)));
    for (const DrawCall& tile : tiles) {
        EXPECT_TRUE(isPlainCopy(tile));
        EXPECT_EQ(tile.angle, 0.0);
        EXPECT_EQ(rgba(tile.color), "(255,0,15,64)");
    }
}

TEST(Scene3Fog, DriftWrapsAndTintChangesOnWholeSeconds)
{
    drawFrameAt(81920);
    EXPECT_EQ(rects(copiesOf(demo.texSumuuh)), fogRects(0, fogTop(81920)));
    drawFrameAt(81930);
    EXPECT_EQ(rects(copiesOf(demo.texSumuuh)), fogRects(-1023, fogTop(81930)));
    drawFrameAt(80999);
    EXPECT_EQ(rgb(copiesOf(demo.texSumuuh).at(0).color), rgb(testPalette[8]));
    drawFrameAt(81000);
    EXPECT_EQ(rgb(copiesOf(demo.texSumuuh).at(0).color), rgb(testPalette[0]));
}

TEST(Scene3Fog, SwayKeepsTheStatedSinglePrecision)
{
    // A double quotient would give -1110 here, a double product -1323.
    drawFrameAt(75104);
    EXPECT_EQ(copiesOf(demo.texSumuuh).at(0).destination.y, -1111);
    drawFrameAt(80110);
    EXPECT_EQ(copiesOf(demo.texSumuuh).at(0).destination.y, -1324);
}

TEST(Scene3Predictions, EachLineStartsOneMillisecondAfterItsTime)
{
    drawFrameAt(80000);
    EXPECT_FALSE(findText(firstPrediction).found);
    drawFrameAt(80001);
    expectRedLine(firstPrediction, 1920, 0, 30001.0 / -10.0);
    EXPECT_FALSE(findText(secondPrediction).found);

    drawFrameAt(88000);
    EXPECT_FALSE(findText(secondPrediction).found);
    drawFrameAt(88001);
    expectRedLine(secondPrediction, 1920, 1000, 38001.0 / -10.0);
    EXPECT_FALSE(findText(clothesText).found);

    drawFrameAt(96000);
    EXPECT_FALSE(findText(clothesText).found);
    drawFrameAt(96001);
    expectRedLine(clothesText, 1920, 500, 96001.0 / -10.0);
}

TEST(Scene3Predictions, FirstTwoLinesFollowSceneTimeTheThirdElapsedTime)
{
    setUpScene(3, 97001, 44444);
    renderScene3();
    expectRedLine(firstPrediction, 16920 - 22222, 4444 - 3000, -4444.4);
    expectRedLine(secondPrediction, 20920 - 22222, 4800 - 4444, -4444.4);
    expectRedLine(clothesText, 49920 - 48500, 500, 97001.0 / -10.0);
}

TEST(Scene3Predictions, TheCalmerShowScrollsTheFirstTwoLinesAtTheRedLinesHeight)
{
    // Half way between kicks, where the calmer show moves by the clock itself.
    struct Case {
        bool reduceFlashes;
        int32_t firstY;
        int32_t secondY;
    };
    const Case cases[] = {{false, 4444 - 3000, 4800 - 4444}, {true, 500, 500}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reduceFlashes ? "calmer show" : "show");
        setUpScene(3, 97152, 44444);
        demo.reduceFlashes = c.reduceFlashes;
        renderScene3();
        expectRedLine(firstPrediction, 16920 - 22222, c.firstY, -4444.4);
        expectRedLine(secondPrediction, 20920 - 22222, c.secondY, -4444.4);
    }
}

TEST(Scene3Heading, KeepsScrollingHighWithTheDeepWave)
{
    setUpScene(3, 60000, 9000);
    renderScene3();
    expectHeading(-2380, 440, 350, -6000.0, -600.0);
}

TEST(Scene3Order, LayersFromHeadingToFogThenTheAlphaReset)
{
    setUpScene(3, 97001, 47000);
    renderScene3();
    EXPECT_EQ(outline(), "draw clear text color:suikelois alpha:suikelois copy:suikelois*5 text "
                         "color:sumuuh alpha:sumuuh copy:sumuuh*9 alpha:suikelois");
    const TextDraw heading = findText(headingText);
    ASSERT_TRUE(heading.found);
    const DrawCall& reset = fakeSdl.calls.at(heading.lastCall + 1);
    EXPECT_TRUE(isFontCall(reset, CallKind::ColorMod));
    EXPECT_EQ(rgb(reset.color), "(255,255,255)");
    EXPECT_LT(findText(firstPrediction).firstCall, findText(secondPrediction).firstCall);
    EXPECT_LT(findText(secondPrediction).firstCall, findText(clothesText).firstCall);
    EXPECT_EQ(fakeSdl.calls.back().color.a, 255);
}

TEST(Scene3State, WhatAFrameLeavesBehind)
{
    struct Case {
        int32_t elapsedMs;
        const char* draw;
        const char* font;
        const char* suikelois;
        const char* sumuuh;
    };
    const Case cases[] = {
        {50001, "(0,0,0,255)", "(255,255,255,4)", "(255,255,255,255)", "(5,6,7,8)"},
        {75001, "(121,0,0,255)", "(255,255,255,4)", "(249,0,0,255)", "(255,0,15,64)"},
        {80001, "(1,0,0,255)", "(255,0,15,4)", "(129,0,0,255)", "(0,255,200,64)"}};
    for (const Case& c : cases) {
        SCOPED_TRACE("elapsedMs " + std::to_string(c.elapsedMs));
        setUpScene(3, c.elapsedMs, c.elapsedMs - 50000);
        fakeSdl.mods[demo.texFont].color = {1, 2, 3, 4};
        fakeSdl.mods[demo.texSumuuh].color = {5, 6, 7, 8};
        fakeSdl.mods[demo.texSuikelois].color = {9, 9, 9, 9};
        renderScene3();
        EXPECT_EQ(rgba(fakeSdl.drawColor), c.draw);
        EXPECT_EQ(rgba(fakeSdl.mods[demo.texFont].color), c.font);
        EXPECT_EQ(rgba(fakeSdl.mods[demo.texSuikelois].color), c.suikelois);
        EXPECT_EQ(rgba(fakeSdl.mods[demo.texSumuuh].color), c.sumuuh);
        EXPECT_EQ(fakeSdl.mods.count(demo.texAstiasto), 0u);
    }
}
