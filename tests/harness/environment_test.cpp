// The shipped program on an unfriendly machine: no sound, no display or renderer, odd folders.
#include "expectations.h"
#include "frame_log.h"
#include "program_run.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const showStepMs = "12000";

const EnvSetting noAudioDriverChoice = {"SDL_AUDIODRIVER", "", true};
const EnvSetting noDisplay = {"DISPLAY", "", true};
const EnvSetting noWaylandDisplay = {"WAYLAND_DISPLAY", "", true};

// Runs the show once with the built assets in the working directory.
ProgramResult runWithBuiltAssets(const std::vector<EnvSetting>& settings)
{
    const Sandbox sandbox = makeSandbox();
    copyBuiltAssets(sandbox.workDir);
    ProgramResult result = runProgram(sandbox, settings);
    removeSandbox(sandbox);
    return result;
}

// Checks the defined end of a failed SDL start-up: the two lines, status 1,
// no loop and nothing torn down.
void expectInitFailure(const ProgramResult& result)
{
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitStatus, 1) << "standard error: " << result.errors;
    EXPECT_TRUE(matchesExpected(result.output, initFailureText())) << result.output;
    const ProgramLog log = parseProgramLog(result.log);
    EXPECT_FALSE(log.started) << "the main loop ran after a failed start-up";
    EXPECT_TRUE(log.lifecycle.empty()) << "something was torn down after a failed start-up";
}

// True when SDL could find a sound output here: a sound device of the
// kernel, or a PulseAudio (or PipeWire) server to connect to.
bool machineHasSoundOutput()
{
    std::error_code error;
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    const bool pulseSocket =
        runtimeDir != nullptr && *runtimeDir != '\0' &&
        std::filesystem::exists(std::string(runtimeDir) + "/pulse/native", error);
    return std::filesystem::exists("/dev/snd", error) || std::getenv("PULSE_SERVER") != nullptr ||
           pulseSocket;
}

// True when the kernel shows display devices, which SDL's KMSDRM driver could take.
bool machineHasDrmDevice()
{
    std::error_code error;
    return std::filesystem::exists("/dev/dri", error);
}

// Every entry under the folder with its type, permissions, size and
// modification time, one line each, in a stable order.
std::string describeTree(const std::string& folder)
{
    std::ostringstream text;
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    for (const std::filesystem::path& path : paths) {
        struct stat info {};
        lstat(path.c_str(), &info);
        text << path.string() << " mode=" << std::oct << info.st_mode << std::dec
             << " size=" << info.st_size << " mtime=" << info.st_mtim.tv_sec << "."
             << info.st_mtim.tv_nsec << "\n";
    }
    return text.str();
}

// The program and its assets, as a release unpacks them, in a folder of the sandbox.
std::string installCopy(Sandbox& sandbox)
{
    const std::string folder = sandbox.root + "/release";
    copyBuiltAssets(folder);
    std::filesystem::copy_file(sandbox.program, folder + "/demo");
    sandbox.program = folder + "/demo";
    return folder;
}

// Takes the write permissions off everything under the folder, the folder included.
void makeReadOnly(const std::string& folder)
{
    const auto writable = std::filesystem::perms::owner_write |
                          std::filesystem::perms::group_write |
                          std::filesystem::perms::others_write;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        std::filesystem::permissions(entry.path(), writable, std::filesystem::perm_options::remove);
    }
    std::filesystem::permissions(folder, writable, std::filesystem::perm_options::remove);
}

// Gives the owner back the right to write and enter, so that the sandbox can be removed.
void makeWritable(const std::string& folder)
{
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
    }
}

// Files that libraries beneath the program open for writing, which the
// program itself cannot prevent: /dev/null, opened by libdbus's child before
// it execs its helper, and Mesa's shader cache, sent into the sandbox.
bool isLibraryWrite(const std::string& path, const std::string& shaderCache)
{
    return path == "/dev/null" || path.rfind(shaderCache + "/", 0) == 0;
}

} // namespace

TEST(ProgramEnvironment, WithoutAnAudioDeviceThePlayIsSilentButWhole)
{
    if (machineHasSoundOutput()) {
        GTEST_SKIP() << "this machine has a sound output; the forced case below still runs";
    }
    const ProgramResult result =
        runWithBuiltAssets({noAudioDriverChoice, {"VCLOCK_STEP", showStepMs}});
    expectCleanExit(result);
    // With no device open, the mixer has no decoder ready and refuses the music.
    EXPECT_TRUE(matchesExpected(result.output, musicFailureText())) << result.output;
    expectWholeShow(parseProgramLog(result.log));
}

TEST(ProgramEnvironment, AnAudioDeviceThatCannotBeOpenedLeavesThePlaySilentButWhole)
{
    const ProgramResult result = runWithBuiltAssets({{"SDL_AUDIODRIVER", "alsa"},
                                                     {"AUDIODEV", "hw:CARD=nosuchcard,DEV=0"},
                                                     {"VCLOCK_STEP", showStepMs}});
    expectCleanExit(result);
    EXPECT_TRUE(matchesExpected(result.output, musicFailureText())) << result.output;
    expectWholeShow(parseProgramLog(result.log));
}

TEST(ProgramEnvironment, AnUnknownAudioDriverFailsSdlStartUp)
{
    expectInitFailure(runWithBuiltAssets({{"SDL_AUDIODRIVER", "nosuchdriver"}}));
}

TEST(ProgramEnvironment, NoDisplayForTheX11DriverFailsSdlStartUp)
{
    expectInitFailure(runWithBuiltAssets({noDisplay, {"SDL_VIDEODRIVER", "x11"}}));
}

TEST(ProgramEnvironment, NoDisplayAndNoDriverChosenReportsNoDisplay)
{
    if (machineHasDrmDevice()) {
        GTEST_SKIP() << "SDL may take this machine's DRM device before its offscreen driver";
    }
    // SDL tries its display drivers in turn and ends with the offscreen one,
    // which would play the whole show, sound and all, to no one.
    const ProgramResult result = runWithBuiltAssets({noDisplay, noWaylandDisplay});
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitStatus, 1) << "standard error: " << result.errors;
    EXPECT_EQ(result.output, "SDL_Init Error: no display found\nInit failed. Exiting...\n");
    const ProgramLog log = parseProgramLog(result.log);
    EXPECT_FALSE(log.started) << "the main loop ran, music and all, with no display";
    EXPECT_TRUE(log.frames.empty());
    EXPECT_EQ(log.lifecycle, std::vector<std::string>{"SDL_Quit"});
}

TEST(ProgramEnvironment, OffscreenDriverAskedForPlaysWithoutADisplay)
{
    const ProgramResult result = runWithBuiltAssets({noDisplay,
                                                     noWaylandDisplay,
                                                     {"SDL_VIDEODRIVER", "offscreen"},
                                                     {"VCLOCK_STEP", showStepMs}});
    expectCleanExit(result);
    EXPECT_EQ(result.output, "");
    expectWholeShow(parseProgramLog(result.log));
}

TEST(ProgramEnvironment, AWindowWithoutARendererReportsEveryImageAndPlaysOn)
{
    // SDL's dummy video driver makes windows but has no accelerated renderer.
    const ProgramResult result =
        runWithBuiltAssets({{"SDL_VIDEODRIVER", "dummy"}, {"VCLOCK_STEP", showStepMs}});
    expectCleanExit(result);
    std::string expected;
    for (const char* path :
         {"dada/suikelois", "dada/sumuuh", "dada/astiasto.lentokone", "dada/aerosoli"}) {
        expected += imageFailureText(path);
    }
    EXPECT_TRUE(matchesExpected(result.output, expected)) << result.output;
    expectWholeShow(parseProgramLog(result.log));
}

TEST(ProgramEnvironment, RunFromAnotherFolderFindsNoAssets)
{
    Sandbox sandbox = makeSandbox();
    installCopy(sandbox);
    const ProgramResult result = runProgram(sandbox, {{"VCLOCK_STEP", showStepMs}});
    removeSandbox(sandbox);
    expectCleanExit(result);
    EXPECT_TRUE(matchesExpected(result.output, loadFailureText(true))) << result.output;
    expectWholeShow(parseProgramLog(result.log));
}

TEST(ProgramEnvironment, ReadOnlyCopyPlaysAndWritesNothing)
{
    Sandbox sandbox = makeSandbox();
    sandbox.workDir = installCopy(sandbox);
    const std::string shaderCache = sandbox.root + "/shader-cache";
    makeReadOnly(sandbox.workDir);
    const std::string before = describeTree(sandbox.workDir);
    const ProgramResult result =
        runProgram(sandbox, {{"VCLOCK_STEP", showStepMs}, {"MESA_SHADER_CACHE_DIR", shaderCache}});
    const std::string after = describeTree(sandbox.workDir);
    makeWritable(sandbox.workDir);
    removeSandbox(sandbox);
    expectCleanExit(result);
    EXPECT_EQ(result.output, "");
    const ProgramLog log = parseProgramLog(result.log);
    expectWholeShow(log);
    EXPECT_EQ(after, before) << "the run changed its folder";
    for (const std::string& path : log.writes) {
        EXPECT_TRUE(isLibraryWrite(path, shaderCache)) << "opened for writing: " << path;
    }
}
