// The harness's own text matching and log reading, on hand-written inputs.
#include "expectations.h"
#include "frame_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(HarnessSelfTest, ExpectedTextMatchesAnyErrorTextWithinItsLine)
{
    const std::string expected = std::string("A: ") + anyLineText + "\nB\n";
    EXPECT_TRUE(matchesExpected("A: anything at all\nB\n", expected));
    EXPECT_TRUE(matchesExpected("A: \nB\n", expected));
    EXPECT_FALSE(matchesExpected("A: two\nlines\nB\n", expected));
    EXPECT_FALSE(matchesExpected("A: x\nB\nextra\n", expected));
    EXPECT_FALSE(matchesExpected("A: x\n", expected));
    EXPECT_FALSE(matchesExpected("a: x\nB\n", expected));
    EXPECT_TRUE(matchesExpected("exact\n", "exact\n"));
    EXPECT_FALSE(matchesExpected("exact\n", "exact"));
}

TEST(HarnessSelfTest, LogIsCutIntoPassesAtEachPresent)
{
    const ProgramLog log =
        parseProgramLog({"T 1000 0", "T 1500 500", "K 0,0,0,255", "P", "T 21001 20001",
                         "T 21003 20003", "E esc 20003", "P", "L Mix_FreeMusic", "L SDL_Quit"});
    ASSERT_TRUE(log.started);
    EXPECT_EQ(log.startReading, 1000u);
    ASSERT_EQ(log.frames.size(), 2u);
    EXPECT_EQ(log.frames[0].clears, std::vector<std::string>({"0,0,0,255"}));
    EXPECT_EQ(log.frames[0].sceneIndex, 1);
    EXPECT_EQ(log.frames[1].elapsed, std::vector<int64_t>({20001, 20003}));
    EXPECT_EQ(log.frames[1].events, std::vector<std::string>({"esc"}));
    EXPECT_EQ(log.frames[1].sceneIndex, 2);
    EXPECT_EQ(log.lifecycle, std::vector<std::string>({"Mix_FreeMusic", "SDL_Quit"}));
}

TEST(HarnessSelfTest, OverlayIsReadFromTheTrailingGlyphCopies)
{
    const ProgramLog log = parseProgramLog({
        "T 1000 0",
        "T 1012 12",
        "C tex=(nil) src=- dst=0,0,10,10 angle=45",
        "C tex=0x1 src=10,0,7,13 dst=10,10,7,13 angle=0",
        "C tex=0x1 src=20,0,7,13 dst=17,10,7,13 angle=0",
        "C tex=0x1 src=100,0,7,13 dst=10,60,7,13 angle=0",
        "C tex=0x1 src=90,0,7,13 dst=17,60,7,13 angle=0",
        "C tex=0x1 src=30,0,7,13 dst=10,110,7,13 angle=0",
        "P",
        "T 1013 13",
        "C tex=0x1 src=10,0,7,13 dst=10,10,7,13 angle=0",
        "C tex=(nil) src=- dst=0,0,10,10 angle=45",
        "P",
    });
    ASSERT_EQ(log.frames.size(), 2u);
    EXPECT_EQ(overlayLines(log.frames[0]), std::vector<std::string>({"12", "-9", "3"}));
    EXPECT_TRUE(overlayLines(log.frames[1]).empty());
}

TEST(HarnessSelfTest, ResidentSizesBelongToTheirFrameAndWritesToTheRun)
{
    const ProgramLog log = parseProgramLog({"T 1000 0", "W /dev/null", "T 1100 100", "M 5120", "P",
                                            "T 1200 200", "P", "W /tmp/cache/index"});
    ASSERT_EQ(log.frames.size(), 2u);
    EXPECT_EQ(log.frames[0].residentKiB, 5120);
    EXPECT_EQ(log.frames[1].residentKiB, -1);
    EXPECT_EQ(log.writes, std::vector<std::string>({"/dev/null", "/tmp/cache/index"}));
}
