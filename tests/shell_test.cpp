// Start-up, shutdown, timeline, input and the frame composer, against the fake.
#include "fake_sdl.h"

#include "font/font.h"
#include "shell/demo_state.h"
#include "shell/shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> assetFiles = {"dada/suikelois", "dada/sumuuh",
                                             "dada/astiasto.lentokone", "dada/aerosoli",
                                             "dada/delfiini.kalako"};

// The lifecycle calls whose names start with one of the given prefixes.
std::vector<std::string> lifecycleNamed(const std::vector<std::string>& prefixes)
{
    std::vector<std::string> result;
    for (const std::string& call : fakeSdl.lifecycle) {
        for (const std::string& prefix : prefixes) {
            if (call.rfind(prefix, 0) == 0) {
                result.push_back(call);
            }
        }
    }
    return result;
}

// Runs the main function with the clock answering readings in order and
// returns what it printed.
std::string runDemo(std::vector<uint32_t> ticks, int* status)
{
    fakeSdl.ticks.assign(ticks.begin(), ticks.end());
    testing::internal::CaptureStdout();
    char name[] = "demo";
    char* argv[] = {name, nullptr};
    *status = demoMain(1, argv);
    return testing::internal::GetCapturedStdout();
}

int presents()
{
    return static_cast<int>(callsOf(CallKind::Present).size());
}

void pressKey(SDL_Scancode scancode, bool repeat)
{
    SDL_Event event = {};
    event.type = SDL_KEYDOWN;
    event.key.keysym.scancode = scancode;
    event.key.repeat = repeat ? 1 : 0;
    fakeSdl.events.push_back(event);
}

} // namespace

TEST(Startup, EmptyFolderReportsEveryAssetInOrderAndPlaysToTheEnd)
{
    resetFake();
    int status = -1;
    const std::string output = runDemo({500, 600, 130000}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(output,
              "Failed to load dada/suikelois !\n SDL Error: Parameter 'surface' is invalid\n"
              "Failed to load dada/sumuuh !\n SDL Error: Parameter 'surface' is invalid\n"
              "Failed to load dada/astiasto.lentokone !\n SDL Error: Parameter 'surface' is "
              "invalid\n"
              "Failed to load dada/aerosoli !\n SDL Error: Parameter 'surface' is invalid\n"
              "Mix_LoadMUS(\"dada/delfiini.kalako\"): Couldn't open 'dada/delfiini.kalako'\n"
              "can't file fnt file.\n");
    EXPECT_EQ(demo.music, nullptr);
    EXPECT_FALSE(demo.running);
}

TEST(Startup, PlatformComesUpInOrderWithTheFixedArguments)
{
    resetFake();
    fakeSdl.loadableFiles.insert(assetFiles.begin(), assetFiles.end());
    int status = -1;
    EXPECT_EQ(runDemo({0, 200000}, &status), "can't file fnt file.\n");
    EXPECT_EQ(status, 0);
    const std::vector<std::string> expected = {
        "SDL_Init 48",
        "SDL_CreateWindow title 536805376 536805376 1920 1080 144",
        "SDL_CreateRenderer -1 2",
        "SDL_SetHint SDL_RENDER_SCALE_QUALITY 1",
        "IMG_Init 3",
        "Mix_Init 16",
        "Mix_OpenAudio 44100 32784 2 2048",
        "SDL_ShowCursor 0",
        "IMG_Load dada/suikelois",
        "SDL_CreateTextureFromSurface",
        "SDL_FreeSurface",
        "IMG_Load dada/sumuuh",
        "SDL_CreateTextureFromSurface",
        "SDL_FreeSurface",
        "IMG_Load dada/astiasto.lentokone",
        "SDL_CreateTextureFromSurface",
        "SDL_FreeSurface",
        "IMG_Load dada/aerosoli",
        "SDL_CreateTextureFromSurface",
        "SDL_FreeSurface",
        "Mix_LoadMUS dada/delfiini.kalako",
        "Mix_PlayMusic 1",
        "Mix_FreeMusic",
        "SDL_DestroyRenderer",
        "SDL_DestroyWindow",
        "Mix_Quit",
        "IMG_Quit",
        "SDL_Quit",
    };
    std::vector<std::string> calls = fakeSdl.lifecycle;
    calls.erase(
        std::remove_if(calls.begin(), calls.end(),
                       [](const std::string& call) { return call.rfind("SDL_GetTicks", 0) == 0; }),
        calls.end());
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(demo.music, nullptr);
    EXPECT_EQ(demo.palette[0].r, 22);
    EXPECT_EQ(demo.palette[4].b, 218);
    EXPECT_EQ(demo.palette[8].g, 255);
    EXPECT_EQ(demo.palette[8].b, 200);
    EXPECT_EQ(demo.palette[8].a, 255);
}

TEST(Startup, SdlInitFailurePrintsTwoLinesAndReturnsOne)
{
    resetFake();
    fakeSdl.initFails = true;
    int status = -1;
    EXPECT_EQ(runDemo({}, &status),
              "SDL_Init Error: no such video driver\nInit failed. Exiting...\n");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(fakeSdl.lifecycle, std::vector<std::string>{"SDL_Init 48"});
}

TEST(Startup, OffscreenFallbackReportsNoDisplayAndReturnsOne)
{
    resetFake();
    fakeSdl.videoDriver = "offscreen";
    int status = -1;
    EXPECT_EQ(runDemo({0, 200000}, &status),
              "SDL_Init Error: no display found\nInit failed. Exiting...\n");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(fakeSdl.lifecycle, (std::vector<std::string>{"SDL_Init 48", "SDL_Quit"}));
}

TEST(Startup, OffscreenFallbackWithAnEmptyDriverListReportsNoDisplay)
{
    resetFake();
    fakeSdl.videoDriver = "offscreen";
    fakeSdl.hints["SDL_VIDEODRIVER"] = "";
    int status = -1;
    EXPECT_EQ(runDemo({0, 200000}, &status),
              "SDL_Init Error: no display found\nInit failed. Exiting...\n");
    EXPECT_EQ(status, 1);
}

TEST(Startup, OffscreenDriverAskedForPlays)
{
    for (const char* asked : {"offscreen", "x11,offscreen"}) {
        resetFake();
        fakeSdl.videoDriver = "offscreen";
        fakeSdl.hints["SDL_VIDEODRIVER"] = asked;
        fakeSdl.loadableFiles.insert(assetFiles.begin(), assetFiles.end());
        int status = -1;
        EXPECT_EQ(runDemo({0, 200000}, &status), "can't file fnt file.\n") << asked;
        EXPECT_EQ(status, 0) << asked;
        EXPECT_EQ(lifecycleNamed({"SDL_CreateWindow", "Mix_PlayMusic"}).size(), 2u) << asked;
    }
}

TEST(Startup, ImageLibraryShortOfAFormatIsReportedAndStartUpGoesOn)
{
    resetFake();
    fakeSdl.imageInitResult = IMG_INIT_PNG;
    fakeSdl.loadableFiles.insert(assetFiles.begin(), assetFiles.end());
    testing::internal::CaptureStdout();
    EXPECT_EQ(initPlatform(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "IMG_Init: Failed to init required jpg and png support!\nIMG_Init: no jpeg\n");
}

TEST(Timeline, EachSceneIsLeftOnlyAfterItsBound)
{
    const struct {
        int32_t scene;
        int32_t boundMs;
    } bounds[] = {{1, 20000}, {2, 50000}, {3, 100000}, {4, 113985}};
    for (const auto& bound : bounds) {
        resetFake();
        demo.sceneIndex = bound.scene;
        demo.startTicks = 1000;
        fakeSdl.ticks = {1000 + static_cast<uint32_t>(bound.boundMs)};
        runPass();
        EXPECT_EQ(demo.sceneIndex, bound.scene) << bound.boundMs;
        fakeSdl.ticks = {1001 + static_cast<uint32_t>(bound.boundMs),
                         1003 + static_cast<uint32_t>(bound.boundMs)};
        runPass();
        EXPECT_EQ(demo.sceneIndex, bound.scene + 1) << bound.boundMs;
        EXPECT_EQ(demo.sceneStartMs, bound.boundMs + 3) << "from a fresh reading";
        EXPECT_TRUE(demo.running);
    }
}

TEST(Timeline, SceneChangePassDrawsTheNewSceneWithTheOldSceneTime)
{
    resetFake();
    demo.overlayVisible = true;
    demo.startTicks = 0;
    fakeSdl.ticks = {20001, 20004};
    runPass();
    EXPECT_EQ(demo.sceneIndex, 2);
    EXPECT_EQ(demo.elapsedMs, 20001);
    EXPECT_EQ(demo.sceneMs, 20001);
    fakeSdl.ticks = {20010};
    runPass();
    EXPECT_EQ(demo.sceneMs, 6);
}

TEST(Timeline, EndsAfter119985OnlyOnAPassWithoutSceneChange)
{
    resetFake();
    demo.sceneIndex = 5;
    fakeSdl.ticks = {119985};
    runPass();
    EXPECT_TRUE(demo.running);
    fakeSdl.ticks = {119986};
    runPass();
    EXPECT_FALSE(demo.running);
    EXPECT_EQ(presents(), 2) << "the last pass still presents its frame";

    // A stalled clock catches up one scene per pass before the end.
    resetFake();
    demo.sceneIndex = 4;
    fakeSdl.ticks = {200000};
    runPass();
    EXPECT_EQ(demo.sceneIndex, 5);
    EXPECT_TRUE(demo.running);
    runPass();
    EXPECT_FALSE(demo.running);
}

TEST(Timeline, ClockWrapBetweenReadingsKeepsElapsedTime)
{
    resetFake();
    demo.startTicks = 4294967000u;
    fakeSdl.ticks = {4294967000u + 20001u};
    runPass();
    EXPECT_EQ(demo.elapsedMs, 20001);
    EXPECT_EQ(demo.sceneIndex, 2);
}

TEST(Timeline, MainLoopStartsTheMusicOnceAndRunsToTheEnd)
{
    resetFake();
    fakeSdl.ticks = {100, 100 + 5000, 100 + 20001, 100 + 20001, 100 + 119986};
    runMainLoop();
    EXPECT_EQ(demo.startTicks, 100u);
    EXPECT_EQ(lifecycleNamed({"Mix_PlayMusic"}), std::vector<std::string>{"Mix_PlayMusic null 1"});
    // 20001 enters scene 2; a clock that then jumps past the end catches up
    // one scene per pass, each drawn once, before the pass that ends.
    EXPECT_EQ(presents(), 6);
    EXPECT_EQ(demo.sceneIndex, 5);
}

TEST(Input, EscapeAndQuitEndTheShowAfterTheFrame)
{
    for (int scene = 1; scene <= 5; ++scene) {
        resetFake();
        demo.sceneIndex = scene;
        pressKey(SDL_SCANCODE_ESCAPE, false);
        pressKey(SDL_SCANCODE_ESCAPE, true);
        runPass();
        EXPECT_FALSE(demo.running) << scene;
        EXPECT_EQ(presents(), 1);

        resetFake();
        demo.sceneIndex = scene;
        SDL_Event quit = {};
        quit.type = SDL_QUIT;
        fakeSdl.events.push_back(quit);
        runPass();
        EXPECT_FALSE(demo.running) << scene;
        EXPECT_EQ(presents(), 1);
    }
}

TEST(Input, OtherKeysAndEventsChangeNothing)
{
    resetFake();
    pressKey(SDL_SCANCODE_Q, false);
    SDL_Event up = {};
    up.type = SDL_KEYUP;
    up.key.keysym.scancode = SDL_SCANCODE_ESCAPE;
    fakeSdl.events.push_back(up);
    fakeSdl.keys[SDL_SCANCODE_SPACE] = 1;
    testing::internal::CaptureStdout();
    handleInput();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(demo.running);
    EXPECT_FALSE(demo.overlayVisible);
    EXPECT_TRUE(fakeSdl.events.empty()) << "the queue is drained";
}

// Both reset events, as Direct3D sends them: the four textures are made anew
// from their files, and nothing is printed.
TEST(Input, RenderDeviceResetRecreatesTheFourTextures)
{
    for (const Uint32 type : {SDL_RENDER_DEVICE_RESET, SDL_RENDER_TARGETS_RESET}) {
        resetFake();
        fakeSdl.loadableFiles.insert(assetFiles.begin(), assetFiles.end());
        loadTextures();
        const std::vector<SDL_Texture*> before = {demo.texSuikelois, demo.texSumuuh,
                                                  demo.texAstiasto, demo.texFont};
        fakeSdl.lifecycle.clear();
        SDL_Event reset = {};
        reset.type = type;
        fakeSdl.events.push_back(reset);
        testing::internal::CaptureStdout();
        handleInput();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << type;
        EXPECT_TRUE(demo.running) << type;
        EXPECT_EQ(lifecycleNamed({"SDL_DestroyTexture", "IMG_Load"}),
                  (std::vector<std::string>{
                      "SDL_DestroyTexture", "SDL_DestroyTexture", "SDL_DestroyTexture",
                      "SDL_DestroyTexture", "IMG_Load dada/suikelois", "IMG_Load dada/sumuuh",
                      "IMG_Load dada/astiasto.lentokone", "IMG_Load dada/aerosoli"}))
            << type;
        const std::vector<SDL_Texture*> after = {demo.texSuikelois, demo.texSumuuh,
                                                 demo.texAstiasto, demo.texFont};
        for (size_t i = 0; i < after.size(); ++i) {
            EXPECT_NE(after[i], nullptr) << type << " texture " << i;
            EXPECT_NE(after[i], before[i]) << type << " texture " << i;
        }
    }
}

TEST(Input, ReturnHeldPrintsOncePerPass)
{
    resetFake();
    fakeSdl.keys[SDL_SCANCODE_RETURN] = 1;
    testing::internal::CaptureStdout();
    runPass();
    runPass();
    runPass();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "<RETURN> is pressed.\n<RETURN> is pressed.\n<RETURN> is pressed.\n");
}

TEST(Input, OverlayKeysWithWWinningAndStateKeptWhenReleased)
{
    resetFake();
    fakeSdl.keys[SDL_SCANCODE_KP_8] = 1;
    handleInput();
    EXPECT_TRUE(demo.overlayVisible);
    fakeSdl.keys[SDL_SCANCODE_KP_8] = 0;
    handleInput();
    EXPECT_TRUE(demo.overlayVisible) << "kept when released";
    fakeSdl.keys[SDL_SCANCODE_KP_2] = 1;
    handleInput();
    EXPECT_FALSE(demo.overlayVisible);
    fakeSdl.keys[SDL_SCANCODE_W] = 1;
    fakeSdl.keys[SDL_SCANCODE_S] = 1;
    handleInput();
    EXPECT_TRUE(demo.overlayVisible) << "W wins over S";
    fakeSdl.keys[SDL_SCANCODE_W] = 0;
    handleInput();
    EXPECT_FALSE(demo.overlayVisible);
}

namespace {

// A font of three digits, 10 px wide and 12 high, plus a 7 px minus sign.
void useOverlayFont()
{
    demo.texFont = fakeTexture(4);
    demo.glyphs = {{'1', 0, 0, 10, 12, 0, 0, 10, {0, 0, 10, 12}},
                   {'2', 10, 0, 10, 12, 0, 0, 10, {10, 0, 10, 12}},
                   {'0', 20, 0, 10, 12, 0, 0, 10, {20, 0, 10, 12}},
                   {'-', 30, 0, 7, 12, 0, 0, 7, {30, 0, 7, 12}},
                   {'2', 40, 0, 11, 14, 0, 0, 11, {40, 0, 11, 14}}};
}

} // namespace

TEST(Frame, UnknownSceneIsOpaqueBlackWithTheOverlayOnTop)
{
    resetFake();
    useOverlayFont();
    demo.sceneIndex = 7;
    demo.overlayVisible = true;
    demo.elapsedMs = 120;
    demo.sceneMs = -1;
    renderFrame();
    const std::vector<DrawCall>& calls = fakeSdl.calls;
    ASSERT_EQ(calls.size(), 8u);
    EXPECT_EQ(calls[0].kind, CallKind::DrawColor);
    EXPECT_EQ(calls[0].color.a, 255);
    EXPECT_EQ(calls[0].color.r, 0);
    EXPECT_EQ(calls[1].kind, CallKind::Clear);
    // "120" at y 10, "-1" at y 60, "7" at y 110 (no glyph: reuses nothing).
    const int expectedX[] = {10, 20, 31, 10, 17};
    const int expectedY[] = {10, 10, 10, 60, 60};
    for (int i = 0; i < 5; ++i) {
        const DrawCall& copy = calls[2 + i];
        EXPECT_EQ(copy.kind, CallKind::Copy);
        EXPECT_EQ(copy.texture, demo.texFont);
        EXPECT_EQ(copy.destination.x, expectedX[i]) << i;
        EXPECT_EQ(copy.destination.y, expectedY[i]) << i;
        EXPECT_DOUBLE_EQ(copy.angle, 0.0);
        EXPECT_FALSE(copy.hasCenter);
    }
    EXPECT_EQ(calls[3].source.x, 40) << "the last '2' of the table wins";
    EXPECT_EQ(calls[3].destination.w, 11);
    EXPECT_EQ(calls[3].destination.h, 14);
    EXPECT_EQ(calls[7].kind, CallKind::Present);
    EXPECT_EQ(callsOf(CallKind::ColorMod).size(), 0u) << "the overlay sets no colour";
}

TEST(Frame, OverlayOffIsExactlyTheScene)
{
    resetFake();
    useOverlayFont();
    demo.sceneIndex = 9;
    renderFrame();
    ASSERT_EQ(fakeSdl.calls.size(), 3u);
    EXPECT_EQ(fakeSdl.calls[2].kind, CallKind::Present);
}

TEST(Frame, DebugTextSpacesAndMissingGlyphs)
{
    resetFake();
    useOverlayFont();
    drawDebugText("x1 x9", 300);
    // The first 'x' has no glyph to reuse and draws nothing; the second 'x'
    // and the '9' reuse the '1' found before them.
    const std::vector<DrawCall> drawn = copies();
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_EQ(drawn[0].destination.x, 10);
    EXPECT_EQ(drawn[1].destination.x, 10 + 10 + 32);
    EXPECT_EQ(drawn[2].destination.x, 10 + 10 + 32 + 10);
    EXPECT_EQ(drawn[2].source.x, 0);
    EXPECT_EQ(drawn[2].destination.y, 300);
}

TEST(Frame, IntToStringIsPlainDecimal)
{
    EXPECT_EQ(intToString(0), "0");
    EXPECT_EQ(intToString(20001), "20001");
    EXPECT_EQ(intToString(-45), "-45");
    EXPECT_EQ(intToString(INT32_MIN), "-2147483648");
}

TEST(Frame, DebugTextPenSaturatesOnAbsurdWidths)
{
    resetFake();
    demo.texFont = fakeTexture(4);
    demo.glyphs = {{'1', 0, 0, INT32_MAX, 12, 0, 0, 0, {0, 0, INT32_MAX, 12}}};
    drawDebugText("11 1", 0);
    const std::vector<DrawCall> drawn = copies();
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_EQ(drawn[1].destination.x, INT32_MAX);
    EXPECT_EQ(drawn[2].destination.x, INT32_MAX) << "a space past the limit stays there";
}

TEST(DisplayFit, SmallerDisplayGetsTheWholePictureScaledWithBlackBars)
{
    resetFake();
    fakeSdl.display = {0, 0, 1366, 768};
    fakeSdl.window = {-277, -156, 1920, 1080};
    int status = -1;
    runDemo({0, 61000, 200000}, &status);
    const std::vector<std::string> fit =
        lifecycleNamed({"SDL_SetWindow", "SDL_RenderSetViewport 0"});
    ASSERT_GE(fit.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(fit.begin(), fit.begin() + 3),
              (std::vector<std::string>{"SDL_SetWindowPosition 0 0", "SDL_SetWindowSize 1366 768",
                                        "SDL_RenderSetViewport 0 0 1365 768"}));
    // Scene 3 clears the whole output red: its last column is painted black
    // again, and the scene's own draw colour is back for the next frame.
    EXPECT_EQ(lifecycleNamed({"SDL_RenderFillRects"}).at(0),
              "SDL_RenderFillRects 0,0,1366,0 0,768,1366,0 0,0,0,768 1365,0,1,768");
    EXPECT_EQ(fakeSdl.drawColor.r, callsOf(CallKind::DrawColor).back().color.r);
    const std::string scale = std::to_string(768.0f / 1080.0f);
    EXPECT_EQ(lifecycleNamed({"SDL_RenderSetScale 0."}).at(0),
              "SDL_RenderSetScale " + scale + " " + scale);
}

TEST(DisplayFit, ResizeMidShowRefitsWithoutDisturbingTheTimeline)
{
    resetFake();
    demo.sceneIndex = 2;
    demo.sceneStartMs = 20000;
    fakeSdl.ticks = {30000};
    runPass();
    EXPECT_TRUE(lifecycleNamed({"SDL_Render", "SDL_SetWindow"}).empty())
        << "a display of the picture's own size is left as it is";
    // A tablet turned upright: the picture sits in the middle, bars above and below.
    fakeSdl.window = {0, 0, 1080, 1920};
    SDL_Event resized = {};
    resized.type = SDL_WINDOWEVENT;
    resized.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
    fakeSdl.events.push_back(resized);
    fakeSdl.ticks = {30017};
    runPass();
    EXPECT_EQ(lifecycleNamed({"SDL_RenderSetViewport 0"}).back(),
              "SDL_RenderSetViewport 0 656 1080 607");
    EXPECT_EQ(demo.sceneIndex, 2);
    EXPECT_EQ(demo.sceneMs, 10017);
}

namespace {

int demoWith(const char* argument, std::string* err)
{
    char name[] = "demo";
    std::string copy = argument;
    char* argv[] = {name, copy.data(), nullptr};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = demoMain(2, argv);
    testing::internal::GetCapturedStdout();
    *err = testing::internal::GetCapturedStderr();
    return status;
}

} // namespace

TEST(ReducedFlashing, OnlyTheOneOption)
{
    resetFake();
    std::string err;
    EXPECT_EQ(demoWith("--reduce-flash", &err), 2);
    EXPECT_EQ(err, "usage: demo [--reduce-flashes] [--audio-delay MS]\n");
    EXPECT_TRUE(fakeSdl.lifecycle.empty()) << "nothing starts";
    EXPECT_FALSE(demo.reduceFlashes) << "a mistyped option chooses nothing";
}

TEST(Options, AudioDelayTakesAWholeNumberOfMillisecondsWithinASecond)
{
    struct Case {
        std::vector<std::string> arguments;
        bool accepted;
        int32_t delayMs;
    };
    const Case cases[] = {
        {{"--audio-delay", "100"}, true, 100},
        {{"--audio-delay", "-1000", "--reduce-flashes"}, true, -1000},
        {{"--reduce-flashes", "--audio-delay", "+1000"}, true, 1000},
        {{"--audio-delay", "1001"}, false, 0},
        {{"--audio-delay", "-1001"}, false, 0},
        {{"--audio-delay"}, false, 0},
        {{"--audio-delay", "12ms"}, false, 0},
        {{"--audio-delay", "1e3"}, false, 0},
        {{"--audio-delay", " 5"}, false, 0},
        {{"--audio-delay", "-"}, false, 0},
        {{"--audio-delay", "99999999999999999999"}, false, 0},
        {{"--audio-delay=100"}, false, 0},
    };
    for (const Case& c : cases) {
        resetFake();
        std::vector<std::string> copies = c.arguments;
        std::vector<char*> argv = {const_cast<char*>("demo")};
        for (std::string& argument : copies) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        EXPECT_EQ(parseOptions(static_cast<int>(argv.size()) - 1, argv.data()), c.accepted)
            << c.arguments.back();
        if (c.accepted) {
            EXPECT_EQ(demo.audioDelayMs, c.delayMs) << c.arguments.back();
        }
    }
}
