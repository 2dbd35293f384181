// Capture tool: the whole show as a video with its music, encoded by ffmpeg.
#include "capture.h"
#include "shell/demo_state.h"

#include <SDL.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

// Shell-quotes text for popen.
std::string quoted(const std::string& text)
{
    std::string result = "'";
    for (const char c : text) {
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return result + "'";
}

std::string encoderCommand(const Options& options, const std::string& path)
{
    return "ffmpeg -loglevel error -y -f rawvideo -pix_fmt rgb24 -s " +
           std::to_string(options.width) + "x" + std::to_string(options.height) + " -framerate " +
           std::to_string(options.fps) +
           " -i - -i dada/delfiini.kalako -map 0:v -map 1:a? -c:v libx264 -preset " +
           options.preset + " -crf " + std::to_string(options.crf) +
           " -pix_fmt yuv420p -c:a aac -b:a 192k -f " + options.container + " " + quoted(path);
}

} // namespace

// Renders every frame of the show at fps frames per second of virtual time
// and pipes them to ffmpeg with the music, writing FILE only when complete.
int captureVideo(const Options& options)
{
    if (system("command -v ffmpeg >/dev/null 2>&1") != 0) {
        return fail("ffmpeg not found; install it (Debian package ffmpeg)");
    }
    const std::string partial = options.videoPath + ".part";
    if (FILE* probe = fopen(partial.c_str(), "wb")) {
        fclose(probe);
    } else {
        return fail("cannot write " + partial + ": " + strerror(errno));
    }
    FILE* encoder = popen(encoderCommand(options, partial).c_str(), "w");
    if (encoder == nullptr) {
        return fail("cannot start ffmpeg");
    }
    const int total = frameCount(options.fps);
    std::vector<unsigned char> pixels;
    const Uint64 started = SDL_GetPerformanceCounter();
    bool ok = true;
    demo.sceneIndex = 1;
    demo.sceneStartMs = 0;
    int frame = 0;
    for (; frame < total && !interrupted && ok; ++frame) {
        passAt(frameMs(frame, options.fps));
        ok = drawAndRead(&pixels) &&
             fwrite(pixels.data(), 1, pixels.size(), encoder) == pixels.size();
        if (frame % 10 == 0 || frame + 1 == total) {
            showProgress(frame + 1, total, secondsSince(started));
        }
    }
    const bool encoded = pclose(encoder) == 0;
    fprintf(stderr, "\n");
    if (interrupted || !ok || !encoded) {
        std::filesystem::remove(partial);
        return fail(interrupted ? "interrupted; no video written"
                                : "encoding failed; no video written (see ffmpeg's message)");
    }
    std::error_code error;
    std::filesystem::rename(partial, options.videoPath, error);
    if (error) {
        return fail("cannot write " + options.videoPath + ": " + error.message());
    }
    printf("%s: %d frames of %dx%d at %d fps\n", options.videoPath.c_str(), frame, options.width,
           options.height, options.fps);
    return 0;
}
