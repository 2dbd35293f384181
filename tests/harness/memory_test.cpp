// Memory over a whole show of many frames: the resident size does not grow from frame to frame.
#include "expectations.h"
#include "frame_log.h"
#include "program_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Room for the allocators' and the driver's own noise; a growth of a few
// hundred bytes per frame over the run's thousand frames would exceed it.
constexpr int64_t toleranceKiB = 2 * 1024;

// The resident size after the last frame of the first scene, when every
// asset is loaded and every code path of the frame has run at least once
// for scene 1; -1 if the log has none.
int64_t residentAfterFirstScene(const ProgramLog& log)
{
    int64_t resident = -1;
    for (const Frame& frame : log.frames) {
        if (frame.sceneIndex != 1) {
            break;
        }
        resident = frame.residentKiB;
    }
    return resident;
}

} // namespace

TEST(ProgramMemory, ResidentSizeAtTheEndIsNoHigherThanAfterTheFirstScene)
{
    const Sandbox sandbox = makeSandbox();
    copyBuiltAssets(sandbox.workDir);
    // About 1200 passes, 200 of them in the first scene. In a sanitizer build,
    // freed blocks would wait in AddressSanitizer's quarantine (up to 256 MiB,
    // to catch uses after free) and look like growth; here they are reused at once.
    // The limit is for a program that hangs: the run took 190 s on a 2-core
    // machine loaded thirteen times over.
    const ProgramResult result = runProgram(
        sandbox,
        {{"VCLOCK_STEP", "100"}, {"VCLOCK_MEMORY", "1"}, asanOptionsWith("quarantine_size_mb=0")},
        600);
    removeSandbox(sandbox);
    expectCleanExit(result);
    EXPECT_EQ(result.output, "");
    const ProgramLog log = parseProgramLog(result.log);
    expectWholeShow(log);
    ASSERT_GT(log.frames.size(), 1000u);
    const int64_t afterFirstScene = residentAfterFirstScene(log);
    const int64_t atTheEnd = log.frames.back().residentKiB;
    ASSERT_GT(afterFirstScene, 0) << "no resident size logged";
    ASSERT_GT(atTheEnd, 0) << "no resident size logged";
    EXPECT_LE(atTheEnd, afterFirstScene + toleranceKiB)
        << "resident KiB after scene 1: " << afterFirstScene << ", at the end: " << atTheEnd;
}
