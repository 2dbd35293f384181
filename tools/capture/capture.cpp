// Capture: any moment of the demo as a PNG, the whole show as a video, or
// its flashing-light analysis, rendered off screen with the demo's own
// start-up, scene and font code.
#include "capture.h"
#include "shell/demo_state.h"
#include "shell/shell.h"

#include <SDL.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <unistd.h>

volatile std::sig_atomic_t interrupted = 0;

namespace {

void onInterrupt(int)
{
    interrupted = 1;
}

// Checks what can be checked before the platform starts.
std::string checkSurroundings(const Options& options)
{
    std::error_code error;
    if (!std::filesystem::is_directory("dada", error)) {
        return "no dada folder here (" + std::filesystem::current_path(error).string() +
               "): run from the folder that holds the demo's assets";
    }
    if (options.flashes) {
        return "";
    }
    const std::string& file = options.videoPath;
    const std::string target =
        file.empty() ? options.outDir : std::filesystem::path(file).parent_path().string();
    const std::string folder = target.empty() ? "." : target;
    // Made as mkdir -p makes it: being told where to write is asking for the folder.
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder, error) || access(folder.c_str(), W_OK) != 0) {
        return "cannot write to " + folder;
    }
    return "";
}

int runTask(const Options& options)
{
    if (!startFrames(options.width, options.height)) {
        return fail(std::string("no render target of that size: ") + SDL_GetError());
    }
    if (options.flashes) {
        return scanFlashes(options);
    }
    return options.videoPath.empty() ? captureStills(options) : captureVideo(options);
}

} // namespace

int fail(const std::string& message)
{
    fprintf(stderr, "capture: %s\n", message.c_str());
    return 1;
}

int main(int argc, char* argv[])
{
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        printUsage();
        return 0;
    }
    Options options;
    const std::string complaint = parseArguments(argc, argv, &options);
    if (!complaint.empty()) {
        fail(complaint + " (see capture --help)");
        return 2;
    }
    const std::string problem = checkSurroundings(options);
    if (!problem.empty()) {
        return fail(problem);
    }
    // No display needed: the offscreen driver renders through EGL.
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    signal(SIGPIPE, SIG_IGN);
    if (initPlatform() != 0) {
        return fail("SDL could not start");
    }
    if (demo.renderer == nullptr) {
        return fail(std::string("no accelerated renderer: ") + SDL_GetError());
    }
    loadMedia();
    demo.reduceFlashes = options.reduceFlashes;
    signal(SIGINT, onInterrupt);
    signal(SIGTERM, onInterrupt);
    const int status = runTask(options);
    finishFrames();
    shutdownPlatform();
    return status;
}
