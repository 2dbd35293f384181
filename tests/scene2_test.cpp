// Call-by-call tests of the tile-wall renderer, renderScene2 and drawTileGrid.
#include "scene_test_util.h"

namespace {

// The rocking angle of every tile at sceneMs t: the single-precision quotient,
// its double sine narrowed, times 20 in single, widened, minus 15 in double.
double tileAngleAt(int32_t t)
{
    const float sine =
        static_cast<float>(std::sin(static_cast<double>(static_cast<float>(t) / 200.0f)));
    return static_cast<double>(20.0f * sine) - 15.0;
}

// The wall's vertical bob at sceneMs t, the single-precision product truncated.
int32_t bobAt(int32_t t)
{
    const float sine =
        static_cast<float>(std::sin(static_cast<double>(static_cast<float>(t) / 100.0f)));
    return static_cast<int32_t>(20.0f * sine);
}

// The rectangles of tiles first..count-1 in reading order at sceneMs t.
std::vector<std::string> tileRects(int32_t first, int32_t count, int32_t t)
{
    std::vector<std::string> result;
    for (int32_t i = first; i < count; ++i) {
        result.push_back(rect({64 + (i % 7) * 256, 28 + (i / 7) * 256 + bobAt(t), 256, 256}));
    }
    return result;
}

void drawFrame(int32_t elapsedMs, int32_t sceneMs)
{
    setUpScene(2, elapsedMs, sceneMs);
    renderScene2();
}

} // namespace

TEST(Scene2Tiles, TilesAppearAndVanishInReadingOrder)
{
    struct Case {
        int32_t sceneMs;
        int32_t first;
        int32_t count;
    };
    const Case cases[] = {{0, 0, 0},       {3000, 0, 14},   {5999, 0, 27},
                          {6000, 0, 28},   {7000, 0, 28},   {10500, 14, 28},
                          {14000, 28, 28}, {20000, 28, 28}, {-500, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE("sceneMs " + std::to_string(c.sceneMs));
        drawFrame(40000, c.sceneMs);
        EXPECT_EQ(rects(copiesOf(demo.texAstiasto)), tileRects(c.first, c.count, c.sceneMs));
    }
}

TEST(Scene2Tiles, TileColoursCycleThroughPaletteEntriesZeroToSeven)
{
    drawFrame(26500, 6500);
    const std::vector<DrawCall> tiles = copiesOf(demo.texAstiasto);
    ASSERT_EQ(tiles.size(), 28u);
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        EXPECT_EQ(rgb(tiles[i].color), rgb(testPalette[i % 8])) << "tile " << i;
        EXPECT_NE(rgb(tiles[i].color), rgb(testPalette[8])) << "tile " << i;
    }
    EXPECT_EQ(rgb(tiles[7].color), "(0,180,255)");
    EXPECT_EQ(rgb(tiles[8].color), "(22,255,0)");
    EXPECT_EQ(rgb(tiles[24].color), "(22,255,0)");
}

TEST(Scene2Tiles, AllTilesRockAndBobTogether)
{
    for (int32_t t : {1234, 3000, 6500, 10500}) {
        SCOPED_TRACE("sceneMs " + std::to_string(t));
        drawFrame(20000 + t, t);
        const std::vector<DrawCall> tiles = copiesOf(demo.texAstiasto);
        ASSERT_FALSE(tiles.empty());
        for (const DrawCall& tile : tiles) {
            EXPECT_TRUE(isPlainCopy(tile));
            EXPECT_DOUBLE_EQ(tile.angle, tileAngleAt(t));
        }
    }
    // At 3000 ms: sin(15) = 0.6503 gives -1.99 degrees, sin(30) = -0.988 a bob of -19.
    EXPECT_NEAR(tileAngleAt(3000), -1.9942, 1e-4);
    EXPECT_EQ(bobAt(3000), -19);
}

TEST(Scene2Tiles, TheCalmerShowBobsAQuarterAndRocksHalfAsFar)
{
    // At 6440 ms the bob is at its crest, sin(64.4) = 0.99999, the rocking at sin(32.2) = 0.706.
    struct Case {
        bool reduceFlashes;
        int32_t top;
        double angle;
    };
    const Case cases[] = {{false, 28 + 19, -0.8766}, {true, 28 + 4, -7.9383}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reduceFlashes ? "calmer show" : "show");
        setUpScene(2, 26440, 6440);
        demo.reduceFlashes = c.reduceFlashes;
        renderScene2();
        const DrawCall tile = copiesOf(demo.texAstiasto).at(0);
        EXPECT_EQ(tile.destination.y, c.top);
        EXPECT_NEAR(tile.angle, c.angle, 1e-4);
    }
}

TEST(Scene2Tiles, BobKeepsTheStatedSinglePrecision)
{
    // The single-precision product reaches 20 here; in double it stays 19.
    drawFrame(23927, 3927);
    EXPECT_EQ(rect(copiesOf(demo.texAstiasto).at(0).destination), "{64,48,256,256}");
}

TEST(Scene2Tiles, GridAlwaysStartsWithARedTintAndLeavesTheLastTilesColour)
{
    setUpScene(2, 20000, 0);
    drawTileGrid();
    ASSERT_EQ(fakeSdl.calls.size(), 1u);
    EXPECT_EQ(fakeSdl.calls[0].kind, CallKind::ColorMod);
    EXPECT_EQ(fakeSdl.calls[0].texture, demo.texAstiasto);
    EXPECT_EQ(rgb(fakeSdl.calls[0].color), "(255,0,0)");

    drawFrame(34000, 14000);
    EXPECT_EQ(rgb(fakeSdl.mods[demo.texAstiasto].color), "(255,0,0)");
    drawFrame(26500, 6500);
    EXPECT_EQ(rgb(fakeSdl.mods[demo.texAstiasto].color), rgb(testPalette[27 % 8]));
}

TEST(Scene2Heading, FollowsElapsedTimeThroughTheRise)
{
    struct Case {
        int32_t elapsedMs;
        int32_t x;
        int32_t y;
        int32_t amplitude;
        double angle;
        double angleStep;
    };
    const Case cases[] = {
        {20000, 1620, 900, 50, -2000.0, -200.0},  {30000, 620, 900, 50, -3000.0, -300.0},
        {38000, -180, 900, 50, -3800.0, -380.0},  {40000, -380, 670, 200, -4000.0, -400.0},
        {42000, -580, 440, 350, -4200.0, -420.0}, {50000, -1380, 440, 350, -5000.0, -500.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE("elapsedMs " + std::to_string(c.elapsedMs));
        // sceneMs is deliberately off the real value: the heading ignores it.
        drawFrame(c.elapsedMs, 123);
        expectHeading(c.x, c.y, c.amplitude, c.angle, c.angleStep);
    }
}

TEST(Scene2Heading, RiseAndWaveFollowTheEasingOfElapsedTime)
{
    drawFrame(39000, 19000);
    const float s = smoothstepRef((39000.0f - 38000.0f) / 4000.0f);
    expectHeading(3620 - 3900, 900 - static_cast<int32_t>(460.0f * s),
                  50 + static_cast<int32_t>(300.0f * s), -3900.0, -390.0);
}

TEST(Scene2Heading, PenXStepsOnePixelPerTenMilliseconds)
{
    drawFrame(20005, 5);
    EXPECT_EQ(findText(headingText).glyphs.at(0).destination.x, 1620);
    drawFrame(20010, 10);
    EXPECT_EQ(findText(headingText).glyphs.at(0).destination.x, 1619);
}

TEST(Scene2Order, ClearThenWallThenHeadingThenAWhiteFont)
{
    drawFrame(21000, 1000);
    EXPECT_EQ(outline(), "clear color:astiasto*2 copy:astiasto color:astiasto copy:astiasto text");
    EXPECT_EQ(rgb(fakeSdl.calls.at(1).color), "(255,0,0)");
    EXPECT_EQ(rgb(fakeSdl.calls.at(2).color), rgb(testPalette[0]));
    EXPECT_EQ(rgb(fakeSdl.calls.at(4).color), rgb(testPalette[1]));
    const TextDraw heading = findText(headingText);
    ASSERT_TRUE(heading.found);
    ASSERT_EQ(heading.lastCall + 2, fakeSdl.calls.size());
    EXPECT_TRUE(isFontCall(fakeSdl.calls.back(), CallKind::ColorMod));
    EXPECT_EQ(rgb(fakeSdl.calls.back().color), "(255,255,255)");
}

TEST(Scene2State, SetsNoDrawColourNoAlphaAndLeavesTheFontWhite)
{
    setUpScene(2, 26500, 6500);
    fakeSdl.drawColor = {0, 0, 0, 255};
    fakeSdl.mods[demo.texFont].color = {1, 2, 3, 4};
    fakeSdl.mods[demo.texAstiasto].color = {5, 6, 7, 8};
    renderScene2();
    EXPECT_TRUE(callsOf(CallKind::DrawColor).empty());
    EXPECT_TRUE(callsOf(CallKind::AlphaMod).empty());
    EXPECT_EQ(rgba(callsOf(CallKind::Clear).at(0).color), "(0,0,0,255)");
    EXPECT_EQ(rgba(fakeSdl.mods[demo.texFont].color), "(255,255,255,4)");
    EXPECT_EQ(copiesOf(demo.texAstiasto).at(0).color.a, 8);
}
