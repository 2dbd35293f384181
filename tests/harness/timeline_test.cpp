// The timeline of the shipped program: scene changes, scene times, the end and a wrapping clock.
#include "expectations.h"
#include "frame_log.h"
#include "program_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Clock readings relative to the start reading that sit on both sides of every
// bound; the readings right after a change are the fresh scene-start readings.
const std::string boundaryReadings =
    "10000,19999,20000,20001,20003,35000,50000,50001,50004,80000,100000,100001,100002,"
    "110000,113985,113986,113990,119000,119985,119986";

// The pass times those readings give when each bound is a strict comparison.
const std::vector<int64_t> boundaryPassTimes = {10000,  19999,  20000,  20001,  35000,  50000,
                                                50001,  80000,  100000, 100001, 110000, 113985,
                                                113986, 119000, 119985, 119986};
const std::vector<int> boundaryReadingCounts = {1, 1, 1, 2, 1, 1, 2, 1, 1, 2, 1, 1, 2, 1, 1, 1};
const std::vector<int> boundaryScenes = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 5};

std::vector<int> scenesOf(const ProgramLog& log)
{
    std::vector<int> scenes;
    for (const Frame& frame : log.frames) {
        scenes.push_back(frame.sceneIndex);
    }
    return scenes;
}

// Runs the boundary readings from the given start reading, checks the scene
// changes and the end against them and returns the run's log.
ProgramLog expectBoundariesFrom(const std::string& startReading)
{
    SCOPED_TRACE("start reading " + startReading);
    const ProgramResult result =
        runInFreshSandbox({{"VCLOCK_START", startReading}, {"VCLOCK_TIMES", boundaryReadings}});
    expectCleanExit(result);
    EXPECT_TRUE(matchesExpected(result.output, loadFailureText(true))) << result.output;
    const ProgramLog log = parseProgramLog(result.log);
    expectOnePresentPerPass(log);
    EXPECT_EQ(passTimes(log), boundaryPassTimes);
    EXPECT_EQ(readingsPerPass(log), boundaryReadingCounts);
    EXPECT_EQ(scenesOf(log), boundaryScenes);
    EXPECT_EQ(log.lifecycle, shutdownOrder());
    return log;
}

// True when some reading of the run is below the start reading: the clock wrapped.
bool clockWrapped(const ProgramLog& log)
{
    for (const Frame& frame : log.frames) {
        for (const uint32_t reading : frame.readings) {
            if (reading < log.startReading) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

TEST(ProgramTimeline, ScenesChangeJustAfterEachBoundAndTheShowEndsAt119986)
{
    expectBoundariesFrom("1000");
}

TEST(ProgramTimeline, WrapOfTheClockMidShowChangesNothing)
{
    // The 32-bit clock wraps at elapsed 30000 in the first run, exactly at
    // the elapsed 50000 reading in the second.
    EXPECT_TRUE(clockWrapped(expectBoundariesFrom("4294937296")));
    EXPECT_TRUE(clockWrapped(expectBoundariesFrom("4294917296")));
}

TEST(ProgramTimeline, SceneTimeCountsFromTheFreshReadingOfTheChange)
{
    const ProgramResult result =
        runInFreshSandbox({{"VCLOCK_TIMES", "7,20001,20010,21000,50001,50050,50100"},
                           {"VCLOCK_KEYS", "26@0-1000000"},
                           {"VCLOCK_EVENTS", "quit@50100"}},
                          {{"dada/lokki", testFontDescriptor()}});
    expectCleanExit(result);
    const ProgramLog log = parseProgramLog(result.log);
    expectOnePresentPerPass(log);
    ASSERT_EQ(log.frames.size(), 5u);
    EXPECT_EQ(overlayLines(log.frames[0]), std::vector<std::string>({"7", "7", "1"}));
    EXPECT_EQ(overlayLines(log.frames[1]), std::vector<std::string>({"20001", "20001", "2"}));
    EXPECT_EQ(overlayLines(log.frames[2]), std::vector<std::string>({"21000", "990", "2"}));
    EXPECT_EQ(overlayLines(log.frames[3]), std::vector<std::string>({"50001", "29991", "3"}));
    EXPECT_EQ(overlayLines(log.frames[4]), std::vector<std::string>({"50100", "50", "3"}));
}

TEST(ProgramTimeline, StalledClockCatchesUpOneScenePerPass)
{
    const ProgramResult result = runInFreshSandbox(
        {{"VCLOCK_TIMES", "1000,130000,130001,130002,130003,130004,130005,130006,130007,130008"}});
    expectCleanExit(result);
    const ProgramLog log = parseProgramLog(result.log);
    expectOnePresentPerPass(log);
    EXPECT_EQ(passTimes(log), std::vector<int64_t>({1000, 130000, 130002, 130004, 130006, 130008}));
    EXPECT_EQ(scenesOf(log), std::vector<int>({1, 2, 3, 4, 5, 5}));
    EXPECT_EQ(log.lifecycle, shutdownOrder());
}
