// The shipped program's start-up, loading messages, full run and shutdown, seen from outside.
#include "expectations.h"
#include "frame_log.h"
#include "program_run.h"

#include <gtest/gtest.h>

namespace {

constexpr int64_t demoEndMs = 119985;

} // namespace

TEST(ProgramStartup, RunsOnAnXDisplay)
{
    EXPECT_TRUE(hasDisplay()) << "no DISPLAY: run program_tests under xvfb-run, as ctest does";
}

TEST(ProgramStartup, EmptyFolderReportsEveryAssetThenPlaysTheWholeTimeline)
{
    const ProgramResult result = runInFreshSandbox({{"VCLOCK_STEP", "1000"}});
    expectCleanExit(result);
    EXPECT_TRUE(matchesExpected(result.output, loadFailureText(true))) << result.output;
    const ProgramLog log = parseProgramLog(result.log);
    expectOnePresentPerPass(log);
    ASSERT_FALSE(log.frames.empty());
    const std::vector<int64_t> times = passTimes(log);
    for (size_t i = 0; i + 1 < times.size(); ++i) {
        EXPECT_LE(times[i], demoEndMs) << "the show went on after a pass that should end it";
    }
    EXPECT_GT(times.back(), demoEndMs);
    EXPECT_EQ(log.frames.back().sceneIndex, 5);
    EXPECT_EQ(log.lifecycle, shutdownOrder());
}

TEST(ProgramStartup, FirstPassRunsMomentsAfterTheStartReading)
{
    const ProgramResult result =
        runInFreshSandbox({{"VCLOCK_TIMES", "3"}, {"VCLOCK_EVENTS", "quit@0"}});
    expectCleanExit(result);
    const ProgramLog log = parseProgramLog(result.log);
    expectOnePresentPerPass(log);
    EXPECT_EQ(log.startReading, 1000u);
    EXPECT_EQ(passTimes(log), std::vector<int64_t>({3}));
    EXPECT_EQ(log.lifecycle, shutdownOrder());
}

TEST(ProgramStartup, FailedSdlInitPrintsTwoLinesAndExitsWithOne)
{
    const ProgramResult result = runInFreshSandbox({{"SDL_VIDEODRIVER", "nosuchdriver"}});
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_TRUE(matchesExpected(result.output, std::string("SDL_Init Error: ") + anyLineText +
                                                   "\nInit failed. Exiting...\n"))
        << result.output;
    const ProgramLog log = parseProgramLog(result.log);
    EXPECT_FALSE(log.started) << "the main loop ran after a failed start-up";
    EXPECT_TRUE(log.frames.empty());
    EXPECT_TRUE(log.lifecycle.empty()) << "nothing is torn down after a failed start-up";
}

TEST(ProgramStartup, PresentFontDescriptorSilencesOnlyTheFontMessage)
{
    const ProgramResult result =
        runInFreshSandbox({{"VCLOCK_EVENTS", "quit@0"}}, {{"dada/lokki", testFontDescriptor()}});
    expectCleanExit(result);
    EXPECT_TRUE(matchesExpected(result.output, loadFailureText(false))) << result.output;
}
