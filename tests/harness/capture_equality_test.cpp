// The capture tool draws, pixel for pixel, the frame the live program presents
// when its clock reads the same time: same scene, same sceneMs, same state.
#include "program_run.h"

#include <SDL.h>
#include <SDL_image.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Frames of every scene, the first frames of scenes 2 to 5 among them (drawn
// with the time since the scene before began), late frames after many others.
const std::vector<int> momentsMs = {0,     10000,  20001,  26500,  50001, 61000,
                                    97000, 100001, 105000, 113986, 116800};
const std::vector<int> boundsMs = {20000, 50000, 100000, 113985};

// Clock readings for a live run that passes through the moments, with the
// fresh reading of a scene change equal to the pass's own, as the capture
// tool's clock stands still within a pass.
std::string liveReadings()
{
    std::string readings;
    for (const int ms : momentsMs) {
        readings += std::to_string(ms) + ",";
        for (const int boundMs : boundsMs) {
            if (ms == boundMs + 1) {
                readings += std::to_string(ms) + ",";
            }
        }
    }
    return readings + "130000";
}

std::string joined(const std::vector<int>& values)
{
    std::string text;
    for (const int value : values) {
        text += (text.empty() ? "" : ",") + std::to_string(value);
    }
    return text;
}

// True when the two PNG files hold the same pixels.
bool samePixels(const std::string& first, const std::string& second, std::string* why)
{
    SDL_Surface* a = IMG_Load(first.c_str());
    SDL_Surface* b = IMG_Load(second.c_str());
    bool same = a != nullptr && b != nullptr && a->w == b->w && a->h == b->h &&
                a->format->format == b->format->format;
    for (int y = 0; same && y < a->h; ++y) {
        same = std::memcmp(static_cast<const char*>(a->pixels) + y * a->pitch,
                           static_cast<const char*>(b->pixels) + y * b->pitch,
                           static_cast<size_t>(a->w) * a->format->BytesPerPixel) == 0;
        if (!same) {
            *why = "first difference in row " + std::to_string(y);
        }
    }
    if (a == nullptr || b == nullptr) {
        *why = "missing: " + (a == nullptr ? first : second);
    }
    SDL_FreeSurface(a);
    SDL_FreeSurface(b);
    return same;
}

} // namespace

TEST(CaptureEquality, StillsEqualTheLiveProgramsFrames)
{
    if (std::string(CAPTURE_BINARY).empty()) {
        GTEST_SKIP() << "built without the assets and the capture tool";
    }
    Sandbox live = makeSandbox();
    copyBuiltAssets(live.workDir);
    const std::string liveFrames = live.root + "/live";
    const std::string capturedFrames = live.root + "/captured";
    std::filesystem::create_directories(liveFrames);
    std::filesystem::create_directories(capturedFrames);

    const ProgramResult shown =
        runProgram(live, {{"VCLOCK_TIMES", liveReadings()}, {"VCLOCK_SNAPSHOTS", liveFrames}});
    ASSERT_EQ(shown.exitStatus, 0) << shown.errors;

    Sandbox capture = live;
    capture.program = CAPTURE_BINARY;
    capture.arguments = {"--at", joined(momentsMs), "--out", capturedFrames};
    const ProgramResult captured = runProgram(capture, {{"SDL_VIDEODRIVER", "offscreen"}});
    ASSERT_EQ(captured.exitStatus, 0) << captured.errors;

    for (const int ms : momentsMs) {
        char name[32];
        snprintf(name, sizeof name, "/frame_%06d.png", ms);
        std::string why;
        EXPECT_TRUE(samePixels(liveFrames + name, capturedFrames + name, &why))
            << ms << " ms: " << why;
    }
    removeSandbox(live);
}
