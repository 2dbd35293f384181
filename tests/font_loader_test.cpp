// The descriptor loader: real-world BMFont quirks and malformed input.
#include "fake_sdl.h"

#include "font/font.h"
#include "shell/demo_state.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Runs loadFont in a scratch folder whose dada/lokki holds the given bytes
// (or is a folder when asDirectory), and returns what it printed.
std::string loadDescriptor(const std::string& contents, bool asDirectory = false)
{
    resetFake();
    const fs::path previous = fs::current_path();
    const fs::path scratch =
        fs::temp_directory_path() / ("font_loader_test_" + std::to_string(::getpid()));
    fs::remove_all(scratch);
    fs::create_directories(scratch / "dada");
    if (asDirectory) {
        fs::create_directories(scratch / "dada" / "lokki");
    } else {
        std::ofstream(scratch / "dada" / "lokki", std::ios::binary) << contents;
    }
    fs::current_path(scratch);
    testing::internal::CaptureStdout();
    loadFont();
    const std::string output = testing::internal::GetCapturedStdout();
    fs::current_path(previous);
    fs::remove_all(scratch);
    return output;
}

void expectGlyph(const Glyph& glyph, std::vector<int32_t> values)
{
    const std::vector<int32_t> actual = {glyph.id,      glyph.x,       glyph.y,
                                         glyph.width,   glyph.height,  glyph.xoffset,
                                         glyph.yoffset, glyph.xadvance};
    EXPECT_EQ(actual, values);
    EXPECT_EQ(glyph.source.x, glyph.x);
    EXPECT_EQ(glyph.source.y, glyph.y);
    EXPECT_EQ(glyph.source.w, glyph.width);
    EXPECT_EQ(glyph.source.h, glyph.height);
}

} // namespace

TEST(Split, DropsEmptyPieces)
{
    EXPECT_EQ(split("  a  b c ", ' '), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(split("x==3", '='), (std::vector<std::string>{"x", "3"}));
    EXPECT_EQ(split("=3", '='), (std::vector<std::string>{"3"}));
    EXPECT_TRUE(split("", ' ').empty());
    EXPECT_TRUE(split("    ", ' ').empty());
    EXPECT_EQ(split("a\tb", ' '), (std::vector<std::string>{"a\tb"}));
}

TEST(FontLoader, ReadsAGeneratorStyleDescriptorByPosition)
{
    const std::string output = loadDescriptor(
        "info face=\"DejaVu Sans Bold\" size=36 bold=1 italic=0 charset=\"\" unicode=1\r\n"
        "common lineHeight=42 base=33 scaleW=512 scaleH=512 pages=2 packed=0\r\n"
        "page id=0 file=\"aerosoli\"\r\n"
        "page id=1 file=\"second page.png\"\r\n"
        "chars count=6\r\n"
        "char id=65   x=130   y=0     width=28    height=33    xoffset=1     yoffset=4     "
        "xadvance=30    page=0  chnl=15\r\n"
        "  char id=66 x=1 y=2 width=3 height=4 xoffset=-2 yoffset=-0 xadvance=12.75\r\n"
        "char x=5 y=6 id=67 key=7 height=8 yoffset=9 xoffset=10 xadvance=11 letter=\"C\"\r\n"
        "char id=300 x=0 y=0 width=1 height=1 xoffset=0 yoffset=0 xadvance=1 page=1 chnl=15\r\n"
        "char id=70000 x=0 y=0 width=1 height=1 xoffset=0 yoffset=0 xadvance=1 page=1\r\n"
        "char id=65 x=7 y=8 width=9 height=10 xoffset=0 yoffset=0 xadvance=9\r\n"
        "chars id=66 x=0 y=0 width=1 height=1 xoffset=0 yoffset=0 xadvance=1\r\n"
        "Char id=66 x=0 y=0 width=1 height=1 xoffset=0 yoffset=0 xadvance=1\r\n"
        "kernings count=1\r\n"
        "kerning first=65 second=86 amount=-2\r\n");
    EXPECT_EQ(output, "");
    ASSERT_EQ(demo.glyphs.size(), 6u);
    expectGlyph(demo.glyphs[0], {65, 130, 0, 28, 33, 1, 4, 30});
    expectGlyph(demo.glyphs[1], {66, 1, 2, 3, 4, -2, 0, 12});
    expectGlyph(demo.glyphs[2], {5, 6, 67, 7, 8, 9, 10, 11});
    expectGlyph(demo.glyphs[3], {300, 0, 0, 1, 1, 0, 0, 1});
    expectGlyph(demo.glyphs[4], {70000, 0, 0, 1, 1, 0, 0, 1});
    expectGlyph(demo.glyphs[5], {65, 7, 8, 9, 10, 0, 0, 9});
    EXPECT_EQ(findGlyph(65), &demo.glyphs[5]) << "the last match wins";
    EXPECT_EQ(findGlyph(300 - 256 + 256), &demo.glyphs[3]);
    EXPECT_EQ(findGlyph(90), nullptr);
}

TEST(FontLoader, AtoiReadingOfValues)
{
    loadDescriptor("char id=1 x=12abc y=abc width==5 height=6=7 xoffset=+3 yoffset= "
                   "xadvance=\t9\n"
                   "char id=2 x=99999999999 y=-99999999999 width=2147483647 height=-2147483648 "
                   "xoffset=2147483648 yoffset=0 xadvance=0\n");
    ASSERT_EQ(demo.glyphs.size(), 1u) << "a field without a value makes the line malformed";
    loadDescriptor("char id=1 x=12abc y=abc width==5 height=6=7 xoffset=+3 yoffset=-4 "
                   "xadvance=\t9\n"
                   "char id=2 x=99999999999 y=-99999999999 width=2147483647 height=-2147483648 "
                   "xoffset=2147483648 yoffset=0 xadvance=0\n");
    ASSERT_EQ(demo.glyphs.size(), 2u);
    expectGlyph(demo.glyphs[0], {1, 12, 0, 5, 6, 3, -4, 9});
    expectGlyph(demo.glyphs[1], {2, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX, 0, 0});
}

TEST(FontLoader, MalformedLinesAddNothingAndKeepTheRest)
{
    const std::string good = "char id=48 x=0 y=0 width=10 height=12 xoffset=0 yoffset=0 "
                             "xadvance=10\n";
    const std::string output = loadDescriptor(
        "\n"
        "      \n" +
        good +
        "char\n"
        "char id=49 x=0 y=0 width=10 height=12 xoffset=0 yoffset=0\n"
        "char id=50 x=0 y=0 width=10 height=12 xoffset=0 yoffset=0 xadvance\n"
        "char id=51 x=0 y=0 width=10 =12 xoffset=0 yoffset=0 xadvance=1\n"
        "char id=52 x=0 y=0 width=10 height= xoffset=0 yoffset=0 xadvance=1\n"
        "char\tid=53 x=0 y=0 width=10 height=12 xoffset=0 yoffset=0 xadvance=1\n"
        "char id=54\tx=0 y=0 width=10 height=12 xoffset=0 yoffset=0 xadvance=1 page=0\n" +
        std::string(100000, 'z') + "\n" + good +
        "char id=55 x=1 y=2 width=3 height=4 "
        "xoffset=5 yoffset=6 xadvance=7");
    EXPECT_EQ(output, "");
    ASSERT_EQ(demo.glyphs.size(), 4u);
    expectGlyph(demo.glyphs[0], {48, 0, 0, 10, 12, 0, 0, 10});
    // A tab is an ordinary character: "54\tx=0" reads as 54 and the line shifts.
    expectGlyph(demo.glyphs[1], {54, 0, 10, 12, 0, 0, 1, 0});
    expectGlyph(demo.glyphs[2], {48, 0, 0, 10, 12, 0, 0, 10});
    // The last line has no line feed and is read all the same.
    expectGlyph(demo.glyphs[3], {55, 1, 2, 3, 4, 5, 6, 7});
}

TEST(FontLoader, EmptyBinaryMissingAndDirectoryDescriptors)
{
    EXPECT_EQ(loadDescriptor(""), "");
    EXPECT_TRUE(demo.glyphs.empty());

    std::string binary;
    for (int i = 0; i < 4096; ++i) {
        binary.push_back(static_cast<char>((i * 7919) % 256));
    }
    const char withNul[] = "\0char id=1 x=1 y=1 width=1 height=1 xoffset=1 yoffset=1 xadvance=1\n";
    binary += std::string(withNul, sizeof withNul - 1);
    binary += "char id=9 x=1 y=1 width=1 height=1 xoffset=1 yoffset=1 xadvance=1\n";
    EXPECT_EQ(loadDescriptor(binary), "");
    ASSERT_EQ(demo.glyphs.size(), 1u);
    EXPECT_EQ(demo.glyphs[0].id, 9);

    EXPECT_EQ(loadDescriptor("", true), "can't file fnt file.\n");
    EXPECT_TRUE(demo.glyphs.empty());

    resetFake();
    const fs::path previous = fs::current_path();
    const fs::path empty = fs::temp_directory_path() / ("no_font_" + std::to_string(::getpid()));
    fs::create_directories(empty);
    fs::current_path(empty);
    testing::internal::CaptureStdout();
    loadFont();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "can't file fnt file.\n");
    fs::current_path(previous);
    fs::remove_all(empty);
    EXPECT_TRUE(demo.glyphs.empty());
}
