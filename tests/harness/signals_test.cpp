// SIGINT and SIGTERM during the show: SDL makes them a quit request, so it ends as after Escape.
#include "expectations.h"
#include "frame_log.h"
#include "program_run.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

namespace {

// A moment well inside each of the five scenes, by elapsed time.
const std::vector<int64_t> midSceneMs = {10000, 35000, 75000, 107000, 117000};

// Raises the named signal from the shim at the given time and checks that the
// show ended after that pass, in the given scene, with a clean shutdown.
void expectSignalEndsTheShow(const std::string& signalName, int64_t atMs, int scene)
{
    const std::string events = signalName + "@" + std::to_string(atMs);
    SCOPED_TRACE(events);
    const Sandbox sandbox = makeSandbox();
    copyBuiltAssets(sandbox.workDir);
    const ProgramResult result =
        runProgram(sandbox, {{"VCLOCK_STEP", "2500"}, {"VCLOCK_EVENTS", events}});
    removeSandbox(sandbox);
    expectCleanExit(result);
    EXPECT_EQ(result.output, "");
    const ProgramLog log = parseProgramLog(result.log);
    expectEndedByEventAt(log, atMs, scene);
    EXPECT_EQ(log.frames.back().events, std::vector<std::string>({signalName}));
}

// Sends the signal from the test process once the first frame is out, at
// whatever point of its pass the program then is, and checks the clean end.
void expectSignalFromOutsideEndsTheShow(int signalNumber)
{
    SCOPED_TRACE("signal " + std::to_string(signalNumber));
    // At 1 ms per pass the show would take minutes to reach its end: only the
    // signal can end this run in time.
    const Sandbox sandbox = makeSandbox();
    copyBuiltAssets(sandbox.workDir);
    const ProgramResult result =
        runProgramSignalledAfterFirstFrame(sandbox, {{"VCLOCK_STEP", "1"}}, signalNumber);
    removeSandbox(sandbox);
    expectCleanExit(result);
    EXPECT_EQ(result.output, "");
    const ProgramLog log = parseProgramLog(result.log);
    expectOnePresentPerPass(log);
    ASSERT_FALSE(log.frames.empty());
    EXPECT_EQ(log.frames.back().sceneIndex, 1);
    EXPECT_EQ(log.lifecycle, shutdownOrder());
}

} // namespace

TEST(ProgramSignals, InterruptEndsTheShowInEveryScene)
{
    for (size_t i = 0; i < midSceneMs.size(); ++i) {
        expectSignalEndsTheShow("sigint", midSceneMs[i], static_cast<int>(i) + 1);
    }
}

TEST(ProgramSignals, TerminateEndsTheShowInEveryScene)
{
    for (size_t i = 0; i < midSceneMs.size(); ++i) {
        expectSignalEndsTheShow("sigterm", midSceneMs[i], static_cast<int>(i) + 1);
    }
}

TEST(ProgramSignals, TerminateFromAnotherProcessEndsTheShowCleanly)
{
    expectSignalFromOutsideEndsTheShow(SIGTERM);
}

TEST(ProgramSignals, InterruptFromAnotherProcessEndsTheShowCleanly)
{
    expectSignalFromOutsideEndsTheShow(SIGINT);
}
