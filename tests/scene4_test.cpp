// Call-by-call tests of the five-sprites-on-red renderer, renderScene4, and of
// the layers it shares with scene 3.
#include "scene_test_util.h"

namespace {

// Draws one frame with the scene begun at elapsedMs 100000.
void drawFrameAt(int32_t elapsedMs)
{
    setUpScene(4, elapsedMs, elapsedMs - 100000);
    renderScene4();
}

// The three layers that scenes 3 and 4 share, as the last frame drew them.
struct SharedLayers {
    std::string clear;
    std::vector<std::string> clothesGlyphs; // rectangle, colour and angle per glyph
    std::vector<std::string> fogTiles;      // rectangle and colour per tile
};

SharedLayers sharedLayers()
{
    SharedLayers layers;
    layers.clear = rgba(callsOf(CallKind::Clear).at(0).color);
    for (const DrawCall& glyph : findText(clothesText).glyphs) {
        layers.clothesGlyphs.push_back(rect(glyph.destination) + rgb(glyph.color) +
                                       std::to_string(glyph.angle));
    }
    for (const DrawCall& tile : copiesOf(demo.texSumuuh)) {
        layers.fogTiles.push_back(rect(tile.destination) + rgba(tile.color));
    }
    return layers;
}

} // namespace

TEST(Scene4TellingValues, EveryRowOfTheTableIsDrawn)
{
    struct Row {
        int32_t e;
        int32_t bgRed;
        int32_t spriteRed;
        int32_t size;
        int32_t spriteX;
        int32_t spriteY;
        double angle;
        int32_t k;
        int32_t x0;
        int32_t y0;
        int32_t lineX;
    };
    const Row rows[] = {{100000, 32, 160, 10128, -4104, -4524, 27777.78, 1, -240, -1175, -80},
                        {100128, 160, 32, 10140, -4110, -4530, 27813.33, 1, -228, -1141, -144},
                        {105000, 168, 40, 10628, -4354, -4774, 29166.67, 6, -764, -1315, -2580},
                        {110000, 48, 176, 11128, -4604, -5024, 30555.56, 2, -264, -1037, -5080},
                        {113985, 193, 65, 11526, -4803, -5223, 31662.5, 5, -890, -791, -7072}};
    for (const Row& row : rows) {
        SCOPED_TRACE("elapsedMs " + std::to_string(row.e));
        drawFrameAt(row.e);
        EXPECT_EQ(rgba(callsOf(CallKind::Clear).at(0).color),
                  rgba({static_cast<Uint8>(row.bgRed), 0, 0, 255}));
        const std::vector<DrawCall> sprites = copiesOf(demo.texSuikelois);
        ASSERT_EQ(sprites.size(), 5u);
        EXPECT_EQ(rect(sprites[0].destination),
                  rect({row.spriteX, row.spriteY, row.size, row.size}));
        EXPECT_EQ(rgb(sprites[0].color), rgb({static_cast<Uint8>(row.spriteRed), 0, 0, 0}));
        EXPECT_NEAR(sprites[0].angle, row.angle, 0.005);
        EXPECT_DOUBLE_EQ(sprites[0].angle, static_cast<double>(row.e) / 3.6);
        EXPECT_EQ(fogTop(row.e), row.y0);
        const std::vector<DrawCall> tiles = copiesOf(demo.texSumuuh);
        EXPECT_EQ(rects(tiles), fogRects(row.x0, row.y0));
        SDL_Color tint = testPalette[row.k];
        tint.a = 64;
        EXPECT_EQ(rgba(tiles.at(0).color), rgba(tint));
        expectRedLine(clothesText, row.lineX, 500, static_cast<double>(row.e) / -10.0);
    }
}

TEST(Scene4Sprites, FiveSpritesInTableOrderTurningTogether)
{
    drawFrameAt(105000);
    const std::vector<DrawCall> sprites = copiesOf(demo.texSuikelois);
    const int32_t half = 10628 / 2;
    EXPECT_EQ(rects(sprites),
              (std::vector<std::string>{rect({960 - half, 540 - half, 10628, 10628}),
                                        rect({480 - half, 270 - half, 10628, 10628}),
                                        rect({1440 - half, 810 - half, 10628, 10628}),
                                        rect({480 - half, 810 - half, 10628, 10628}),
                                        rect({1440 - half, 270 - half, 10628, 10628})}));
    for (const DrawCall& sprite : sprites) {
        EXPECT_TRUE(isPlainCopy(sprite));
        EXPECT_DOUBLE_EQ(sprite.angle, 105000.0 / 3.6);
    }
}

TEST(Scene4Sprites, TheCalmerShowHoldsThemBrightAndTurnsThemATenthAsFastStillAroundTheKick)
{
    // The calmer show stands still for 96 ms either side of each kick: at
    // 105000 ms, 88 ms before the kick at 105088, it draws what moves for
    // 104992; at 100500, 20 ms after the kick at 100480, for 100576. The
    // reds keep the clock.
    struct Case {
        bool reduceFlashes;
        int32_t elapsedMs;
        int32_t movingMs;
        int32_t clearRed;
        int32_t spriteRed;
        int32_t size;
        double angle;
    };
    const Case cases[] = {{false, 105000, 105000, 168, 40, 10628, 105000.0 / 3.6},
                          {true, 105000, 104992, 90, 200, 10627, 104992.0 / 3.6 * 0.1},
                          {false, 100500, 100500, 20, 148, 10178, 100500.0 / 3.6},
                          {true, 100500, 100576, 90, 200, 10185, 100576.0 / 3.6 * 0.1}};
    checkEachShow(4, 100000, cases, [](const Case& c) {
        EXPECT_EQ(callsOf(CallKind::Clear).at(0).color.r, c.clearRed);
        const DrawCall sprite = copiesOf(demo.texSuikelois).at(0);
        EXPECT_EQ(sprite.color.r, c.spriteRed);
        EXPECT_EQ(sprite.destination.w, c.size);
        EXPECT_DOUBLE_EQ(sprite.angle, c.angle);
        const int32_t s = c.movingMs - 100000;
        const int32_t hx = 300 - s / 10;
        expectHeading(hx, 300 - hx / 2, 50, s / -10.0, -c.movingMs / 100.0);
        expectRedLine(clothesText, 49920 - c.movingMs / 2, 500, c.movingMs / -10.0);
    });
}

TEST(Scene4Edges, SawToothWrapsSizeStepsTintAndDriftChange)
{
    const auto spriteRed = [] { return copiesOf(demo.texSuikelois).at(0).color.r; };
    const auto clearRed = [] { return callsOf(CallKind::Clear).at(0).color.r; };
    drawFrameAt(100095);
    EXPECT_EQ(spriteRed(), 255);
    drawFrameAt(100096);
    EXPECT_EQ(spriteRed(), 0);
    drawFrameAt(100223);
    EXPECT_EQ(clearRed(), 255);
    drawFrameAt(100224);
    EXPECT_EQ(clearRed(), 0);

    drawFrameAt(100009);
    EXPECT_EQ(copiesOf(demo.texSuikelois).at(0).destination.w, 10128);
    drawFrameAt(100010);
    EXPECT_EQ(copiesOf(demo.texSuikelois).at(0).destination.w, 10129);

    drawFrameAt(107999);
    EXPECT_EQ(rgb(copiesOf(demo.texSumuuh).at(0).color), rgb(testPalette[8]));
    drawFrameAt(108000);
    EXPECT_EQ(rgb(copiesOf(demo.texSumuuh).at(0).color), rgb(testPalette[0]));

    drawFrameAt(102400);
    EXPECT_EQ(copiesOf(demo.texSumuuh).at(0).destination.x, 0);
    drawFrameAt(102410);
    EXPECT_EQ(copiesOf(demo.texSumuuh).at(0).destination.x, -1023);

    // The sway's quotient is single precision: a double one would give -1006.
    drawFrameAt(100591);
    EXPECT_EQ(copiesOf(demo.texSumuuh).at(0).destination.y, -1005);
}

TEST(Scene4Heading, MovesDownAndLeftBySceneTime)
{
    struct Case {
        int32_t s;
        int32_t x;
        int32_t y;
    };
    const Case cases[] = {{0, 300, 150},      {10, 299, 151},      {5000, -200, 400},
                          {10000, -700, 650}, {13985, -1098, 849}, {50000, -4700, 2650}};
    for (const Case& c : cases) {
        SCOPED_TRACE("sceneMs " + std::to_string(c.s));
        // elapsedMs 100001 throughout: only the angle step reads it.
        setUpScene(4, 100001, c.s);
        renderScene4();
        expectHeading(c.x, c.y, 50, static_cast<double>(c.s) / -10.0, -100001.0 / 100.0);
    }
}

TEST(Scene4Order, SpritesThenTextsThenTheWallLast)
{
    drawFrameAt(105000);
    EXPECT_EQ(outline(), "draw clear color:suikelois copy:suikelois*5 text color:sumuuh "
                         "alpha:sumuuh text copy:sumuuh*9");
    const TextDraw heading = findText(headingText);
    const TextDraw line = findText(clothesText);
    ASSERT_TRUE(heading.found);
    ASSERT_TRUE(line.found);
    const DrawCall& reset = fakeSdl.calls.at(heading.lastCall + 1);
    EXPECT_TRUE(isFontCall(reset, CallKind::ColorMod));
    EXPECT_EQ(rgb(reset.color), "(255,255,255)");
    EXPECT_EQ(fakeSdl.calls.at(heading.lastCall + 2).texture, demo.texSumuuh);
    EXPECT_EQ(fakeSdl.calls.at(line.lastCall + 1).texture, demo.texSumuuh);
}

TEST(Scene4State, WhatAFrameLeavesBehind)
{
    setUpScene(4, 105000, 5000);
    fakeSdl.mods[demo.texSuikelois].color = {9, 9, 9, 200};
    fakeSdl.mods[demo.texFont].color = {1, 2, 3, 4};
    renderScene4();
    EXPECT_EQ(rgba(fakeSdl.drawColor), "(168,0,0,255)");
    EXPECT_EQ(rgba(fakeSdl.mods[demo.texSuikelois].color), "(40,0,0,200)");
    EXPECT_EQ(copiesOf(demo.texSuikelois).at(0).color.a, 200);
    EXPECT_EQ(rgba(fakeSdl.mods[demo.texFont].color), "(255,0,15,4)");
    EXPECT_EQ(rgba(fakeSdl.mods[demo.texSumuuh].color), "(0,13,255,64)");
    EXPECT_EQ(fakeSdl.mods.count(demo.texAstiasto), 0u);
}

TEST(Scene3To4, SharedLayersAgreeAtTheSameElapsedTime)
{
    for (int32_t e : {99744, 99999, 100000, 100001, 100500}) {
        SCOPED_TRACE("elapsedMs " + std::to_string(e));
        setUpScene(3, e, e - 50000);
        renderScene3();
        const SharedLayers third = sharedLayers();
        setUpScene(4, e, e - 100000);
        renderScene4();
        const SharedLayers fourth = sharedLayers();
        EXPECT_EQ(third.clear, fourth.clear);
        EXPECT_EQ(third.clothesGlyphs, fourth.clothesGlyphs);
        EXPECT_EQ(third.fogTiles, fourth.fogTiles);
        EXPECT_EQ(fourth.fogTiles.size(), 9u);
        EXPECT_FALSE(fourth.clothesGlyphs.empty());
    }
}

TEST(Scene3To4, SharedLayersRunOnAcrossTheChangeOfScene)
{
    setUpScene(3, 100000, 50000);
    renderScene3();
    EXPECT_EQ(rgba(callsOf(CallKind::Clear).at(0).color), "(32,0,0,255)");
    EXPECT_EQ(findText(clothesText).glyphs.at(0).destination.x, -80);
    EXPECT_EQ(rects(copiesOf(demo.texSumuuh)), fogRects(-240, fogTop(100000)));

    setUpScene(4, 100001, 1);
    renderScene4();
    EXPECT_EQ(rgba(callsOf(CallKind::Clear).at(0).color), "(33,0,0,255)");
    EXPECT_EQ(findText(clothesText).glyphs.at(0).destination.x, -80);
    EXPECT_EQ(rects(copiesOf(demo.texSumuuh)), fogRects(-240, fogTop(100001)));
    EXPECT_EQ(rgba(copiesOf(demo.texSumuuh).at(0).color), "(253,255,0,64)");
}
