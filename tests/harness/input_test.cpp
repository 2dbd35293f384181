// Keyboard and window input of the shipped program: Escape, quit, Return and the overlay keys.
#include "expectations.h"
#include "frame_log.h"
#include "program_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A moment well inside each of the five scenes, by elapsed time.
const std::vector<int64_t> midSceneMs = {10000, 35000, 75000, 107000, 117000};

// Runs with a coarse clock and one scripted event and checks that the show
// ended after the pass that received it, in the given scene, with a clean shutdown.
void expectEventEndsTheShow(const std::string& events, int64_t atMs, int scene)
{
    SCOPED_TRACE(events);
    const ProgramResult result =
        runInFreshSandbox({{"VCLOCK_STEP", "2500"}, {"VCLOCK_EVENTS", events}});
    expectCleanExit(result);
    EXPECT_TRUE(matchesExpected(result.output, loadFailureText(true))) << result.output;
    expectEndedByEventAt(parseProgramLog(result.log), atMs, scene);
}

std::string scriptedAt(const std::string& name, int64_t atMs)
{
    return name + "@" + std::to_string(atMs);
}

std::vector<bool> overlayShownPerPass(const ProgramLog& log)
{
    std::vector<bool> shown;
    for (const Frame& frame : log.frames) {
        shown.push_back(!overlayLines(frame).empty());
    }
    return shown;
}

} // namespace

TEST(ProgramInput, EscapeEndsTheShowInEveryScene)
{
    for (size_t i = 0; i < midSceneMs.size(); ++i) {
        expectEventEndsTheShow(scriptedAt("esc", midSceneMs[i]), midSceneMs[i],
                               static_cast<int>(i) + 1);
    }
}

TEST(ProgramInput, QuitRequestEndsTheShowInEveryScene)
{
    for (size_t i = 0; i < midSceneMs.size(); ++i) {
        expectEventEndsTheShow(scriptedAt("quit", midSceneMs[i]), midSceneMs[i],
                               static_cast<int>(i) + 1);
    }
}

TEST(ProgramInput, RepeatedEscapeChangesNothingMore)
{
    const std::vector<EnvSetting> single = {{"VCLOCK_STEP", "2500"},
                                            {"VCLOCK_EVENTS", "esc@30000"}};
    const std::vector<EnvSetting> repeated = {
        {"VCLOCK_STEP", "2500"}, {"VCLOCK_EVENTS", "esc@30000,escrepeat@30000,escrepeat@30001"}};
    const ProgramResult singleResult = runInFreshSandbox(single);
    const ProgramResult repeatedResult = runInFreshSandbox(repeated);
    expectCleanExit(repeatedResult);
    EXPECT_EQ(repeatedResult.output, singleResult.output);
    const ProgramLog singleLog = parseProgramLog(singleResult.log);
    const ProgramLog repeatedLog = parseProgramLog(repeatedResult.log);
    EXPECT_EQ(passTimes(repeatedLog), passTimes(singleLog));
    EXPECT_EQ(repeatedLog.lifecycle, shutdownOrder());
}

TEST(ProgramInput, RepeatOfEscapeAloneEndsTheShowToo)
{
    expectEventEndsTheShow("escrepeat@30000", 30000, 2);
}

TEST(ProgramInput, HeldReturnPrintsOncePerFrame)
{
    const ProgramResult result = runInFreshSandbox({{"VCLOCK_STEP", "1000"},
                                                    {"VCLOCK_KEYS", "40@5000-12000"},
                                                    {"VCLOCK_EVENTS", "quit@16000"}});
    expectCleanExit(result);
    const ProgramLog log = parseProgramLog(result.log);
    expectOnePresentPerPass(log);
    const int heldFrames = framesSampledWithin(log, 5000, 12000);
    EXPECT_EQ(heldFrames, 8);
    std::string returnLines;
    for (int i = 0; i < heldFrames; ++i) {
        returnLines += "<RETURN> is pressed.\n";
    }
    EXPECT_TRUE(matchesExpected(result.output, loadFailureText(true) + returnLines))
        << result.output;
    EXPECT_EQ(passTimes(log).back(), 16000);
}

TEST(ProgramInput, OverlayFollowsTheKeysAndStaysAsLastSet)
{
    // S and W together, then W alone, then nothing, then S, keypad 8 and keypad 2 in turn.
    const ProgramResult result = runInFreshSandbox(
        {{"VCLOCK_STEP", "1000"},
         {"VCLOCK_KEYS", "22@5000-6000,26@5000-7000,22@10000-10000,96@12000-12000,90@14000-14000"},
         {"VCLOCK_EVENTS", "quit@16000"}},
        {{"dada/lokki", testFontDescriptor()}});
    expectCleanExit(result);
    EXPECT_TRUE(matchesExpected(result.output, loadFailureText(false))) << result.output;
    const ProgramLog log = parseProgramLog(result.log);
    expectOnePresentPerPass(log);
    EXPECT_EQ(passTimes(log),
              std::vector<int64_t>({1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000,
                                    11000, 12000, 13000, 14000, 15000, 16000}));
    EXPECT_EQ(overlayShownPerPass(log),
              std::vector<bool>({false, false, false, false, true, true, true, true, true, false,
                                 false, true, true, false, false, false}));
    ASSERT_GE(log.frames.size(), 9u);
    EXPECT_EQ(overlayLines(log.frames[8]), std::vector<std::string>({"9000", "9000", "1"}));
}

TEST(ProgramInput, OverlayShowsNegativeTimesWithAMinusSign)
{
    const ProgramResult result = runInFreshSandbox(
        {{"VCLOCK_TIMES", "-5"}, {"VCLOCK_KEYS", "26@-100-100000"}, {"VCLOCK_EVENTS", "quit@0"}},
        {{"dada/lokki", testFontDescriptor()}});
    expectCleanExit(result);
    const ProgramLog log = parseProgramLog(result.log);
    expectOnePresentPerPass(log);
    ASSERT_FALSE(log.frames.empty());
    EXPECT_EQ(overlayLines(log.frames[0]), std::vector<std::string>({"-5", "-5", "1"}));
}
