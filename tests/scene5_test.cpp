// Call-by-call tests of the credits renderer, renderScene5.
#include "scene_test_util.h"

namespace {

// One caption as it should be drawn: text, pen and glyph size (20 x 40 glyphs
// scaled by 1.0 or by 1.6f, which gives 32 x 64).
struct Caption {
    std::string text;
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

const Caption codeLabel = {"code, graphics", 600, 500, 20, 40};
const Caption codeHandle = {"zenkalvor", 600, 540, 32, 64};
const Caption musicLabel = {"music", 600, 500, 20, 40};
const Caption musicHandle = {"murel", 600, 540, 32, 64};
const Caption group = {"tivu", 760, 540, 32, 64};
const Caption party = {"vinterfest 2016", 560, 540, 32, 64};

void drawFrameAt(int32_t sceneMs)
{
    setUpScene(5, 114000 + sceneMs, sceneMs);
    renderScene5();
}

// Checks that exactly the given captions are drawn, in order, unturned and in
// the first palette colour.
void expectCaptions(const std::vector<Caption>& captions)
{
    std::size_t glyphCount = 0;
    std::size_t from = 0;
    for (const Caption& caption : captions) {
        SCOPED_TRACE(caption.text);
        const TextDraw draw = findText(caption.text, from);
        ASSERT_TRUE(draw.found);
        const DrawCall& tint = fakeSdl.calls.at(draw.firstCall - 1);
        EXPECT_TRUE(isFontCall(tint, CallKind::ColorMod));
        EXPECT_EQ(rgb(tint.color), "(22,255,0)");
        EXPECT_EQ(rect(draw.glyphs[0].destination),
                  rect({caption.x, caption.y, caption.width, caption.height}));
        for (const DrawCall& glyph : draw.glyphs) {
            EXPECT_EQ(glyph.destination.y, caption.y);
            EXPECT_EQ(glyph.angle, 0.0);
            EXPECT_EQ(rgb(glyph.color), "(22,255,0)");
        }
        glyphCount += draw.glyphs.size();
        from = draw.lastCall + 1;
    }
    EXPECT_EQ(copiesOf(demo.texFont).size(), glyphCount);
}

} // namespace

TEST(Scene5Captions, CaptionsChangeAtTheirBounds)
{
    struct Case {
        int32_t sceneMs;
        std::vector<Caption> captions;
    };
    const Case cases[] = {{-50, {codeLabel, codeHandle}},
                          {0, {codeLabel, codeHandle}},
                          {799, {codeLabel, codeHandle}},
                          {800, {musicLabel, musicHandle}},
                          {1599, {musicLabel, musicHandle}},
                          {1600, {group}},
                          {2199, {group}},
                          {2200, {}},
                          {2500, {}},
                          {2501, {party}},
                          {4499, {party}},
                          {4500, {}},
                          {6000, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE("sceneMs " + std::to_string(c.sceneMs));
        drawFrameAt(c.sceneMs);
        expectCaptions(c.captions);
    }
}

TEST(Scene5Captions, ScaleOnePointSixAdvancesThePenByTruncatedWidths)
{
    drawFrameAt(2000);
    const TextDraw draw = findText("tivu");
    ASSERT_TRUE(draw.found);
    const std::vector<std::string> expected = {"{760,540,32,64}", "{792,540,32,64}",
                                               "{824,540,32,64}", "{856,540,32,64}"};
    EXPECT_EQ(rects(draw.glyphs), expected);
}

TEST(Scene5Image, RedImageIsDrawnCentredOnBlackInEveryFrame)
{
    for (int32_t t : {-50, 500, 2300, 3000, 5000}) {
        SCOPED_TRACE("sceneMs " + std::to_string(t));
        drawFrameAt(t);
        const std::string prefix = "draw clear color:astiasto copy:astiasto";
        const std::string picture = outline();
        EXPECT_TRUE(picture == prefix || picture == prefix + " text") << picture;
        EXPECT_EQ(rgba(fakeSdl.calls[0].color), "(0,0,0,255)");
        EXPECT_EQ(rgb(fakeSdl.calls[2].color), "(255,0,0)");
        const std::vector<DrawCall> image = copiesOf(demo.texAstiasto);
        ASSERT_EQ(image.size(), 1u);
        EXPECT_TRUE(isPlainCopy(image[0]));
        EXPECT_EQ(rect(image[0].destination), "{704,284,512,512}");
        EXPECT_EQ(image[0].angle, 0.0);
        EXPECT_EQ(rgb(image[0].color), "(255,0,0)");
    }
}

TEST(Scene5Image, ElapsedTimeChangesNothing)
{
    setUpScene(5, 114000, 1000);
    renderScene5();
    const std::string early = outline();
    const std::size_t callCount = fakeSdl.calls.size();
    setUpScene(5, 119985, 1000);
    renderScene5();
    EXPECT_EQ(outline(), early);
    EXPECT_EQ(fakeSdl.calls.size(), callCount);
    expectCaptions({musicLabel, musicHandle});
}

TEST(Scene5State, WhatAFrameLeavesBehind)
{
    for (int32_t t : {500, 3000, 5000}) {
        SCOPED_TRACE("sceneMs " + std::to_string(t));
        setUpScene(5, 114000 + t, t);
        fakeSdl.drawColor = {9, 9, 9, 9};
        fakeSdl.mods[demo.texFont].color = {1, 2, 3, 4};
        fakeSdl.mods[demo.texAstiasto].color = {5, 6, 7, 8};
        renderScene5();
        EXPECT_EQ(rgba(fakeSdl.drawColor), "(0,0,0,255)");
        EXPECT_EQ(rgba(fakeSdl.mods[demo.texAstiasto].color), "(255,0,0,8)");
        EXPECT_EQ(rgba(fakeSdl.mods[demo.texFont].color), t == 5000 ? "(1,2,3,4)" : "(22,255,0,4)");
        EXPECT_TRUE(callsOf(CallKind::AlphaMod).empty());
    }
}
