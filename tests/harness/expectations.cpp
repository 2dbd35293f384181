// Checks shared by the program tests.
#include "expectations.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr int64_t demoEndMs = 119985;

// The literal pieces of an expected text between its anyLineText markers.
std::vector<std::string> literalPieces(const std::string& expected)
{
    const std::string marker = anyLineText;
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t at = expected.find(marker); at != std::string::npos;
         at = expected.find(marker, start)) {
        pieces.push_back(expected.substr(start, at - start));
        start = at + marker.size();
    }
    pieces.push_back(expected.substr(start));
    return pieces;
}

} // namespace

bool hasDisplay()
{
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0';
}

std::string imageFailureText(const std::string& path)
{
    return "Failed to load " + path + " !\n SDL Error: " + anyLineText + "\n";
}

std::string musicFailureText()
{
    return std::string("Mix_LoadMUS(\"dada/delfiini.kalako\"): ") + anyLineText + "\n";
}

std::string fontFailureText()
{
    return "can't file fnt file.\n";
}

std::string initFailureText()
{
    return std::string("SDL_Init Error: ") + anyLineText + "\nInit failed. Exiting...\n";
}

std::string loadFailureText(bool fontMissing)
{
    std::string expected;
    for (const char* path :
         {"dada/suikelois", "dada/sumuuh", "dada/astiasto.lentokone", "dada/aerosoli"}) {
        expected += imageFailureText(path);
    }
    expected += musicFailureText();
    if (fontMissing) {
        expected += fontFailureText();
    }
    return expected;
}

bool matchesExpected(const std::string& text, const std::string& expected)
{
    const std::vector<std::string> pieces = literalPieces(expected);
    if (text.compare(0, pieces[0].size(), pieces[0]) != 0) {
        return false;
    }
    size_t at = pieces[0].size();
    for (size_t i = 1; i < pieces.size(); ++i) {
        // A marker's text never crosses a line end, so the next piece is
        // found at its first occurrence on the rest of the line.
        const size_t lineEnd = text.find('\n', at);
        const size_t found = pieces[i].empty() ? lineEnd : text.find(pieces[i], at);
        if (pieces[i].empty() && lineEnd == std::string::npos) {
            return true;
        }
        if (found == std::string::npos || lineEnd < found) {
            return false;
        }
        at = found + pieces[i].size();
    }
    return at == text.size();
}

std::vector<std::string> shutdownOrder()
{
    return {"Mix_FreeMusic", "SDL_DestroyRenderer", "SDL_DestroyWindow", "Mix_Quit", "IMG_Quit",
            "SDL_Quit"};
}

void expectCleanExit(const ProgramResult& result)
{
    EXPECT_FALSE(result.timedOut) << "the program was still running at the harness's limit";
    EXPECT_EQ(result.signal, 0) << "the program was ended by a signal";
    EXPECT_EQ(result.exitStatus, 0) << "standard error: " << result.errors;
}

void expectOnePresentPerPass(const ProgramLog& log)
{
    ASSERT_TRUE(log.started) << "the main loop took no start reading";
    ASSERT_FALSE(log.frames.empty());
    for (size_t i = 0; i < log.frames.size(); ++i) {
        const Frame& frame = log.frames[i];
        EXPECT_TRUE(frame.presented) << "pass " << i << " did not present";
        EXPECT_TRUE(frame.elapsed.size() == 1 || frame.elapsed.size() == 2)
            << "pass " << i << " took " << frame.elapsed.size() << " clock readings";
    }
}

int framesSampledWithin(const ProgramLog& log, int64_t fromMs, int64_t toMs)
{
    int count = 0;
    for (const Frame& frame : log.frames) {
        if (!frame.elapsed.empty() && frame.elapsed.back() >= fromMs &&
            frame.elapsed.back() <= toMs) {
            ++count;
        }
    }
    return count;
}

void expectWholeShow(const ProgramLog& log)
{
    expectOnePresentPerPass(log);
    if (log.frames.empty()) {
        return;
    }
    // A pass that changes the scene skips the end test, so a coarse clock may
    // change scenes past the end before the next pass ends the show.
    const std::vector<int64_t> times = passTimes(log);
    for (size_t i = 0; i + 1 < times.size(); ++i) {
        EXPECT_TRUE(times[i] <= demoEndMs || log.frames[i].elapsed.size() == 2)
            << "the show went on after pass " << i << " at " << times[i]
            << ", which should have ended it";
    }
    EXPECT_GT(times.back(), demoEndMs) << "the show ended early";
    EXPECT_EQ(log.frames.back().elapsed.size(), 1u) << "the show ended on a change of scene";
    EXPECT_EQ(log.frames.back().sceneIndex, 5);
    EXPECT_EQ(log.lifecycle, shutdownOrder());
}

void expectEndedByEventAt(const ProgramLog& log, int64_t atMs, int scene)
{
    expectOnePresentPerPass(log);
    ASSERT_FALSE(log.frames.empty());
    for (size_t i = 0; i + 1 < log.frames.size(); ++i) {
        EXPECT_LT(log.frames[i].elapsed.back(), atMs) << "pass " << i << " came after the event";
    }
    const Frame& last = log.frames.back();
    EXPECT_GE(last.elapsed.back(), atMs);
    EXPECT_FALSE(last.events.empty()) << "the last pass received no event";
    EXPECT_EQ(last.sceneIndex, scene);
    EXPECT_EQ(log.lifecycle, shutdownOrder());
}
