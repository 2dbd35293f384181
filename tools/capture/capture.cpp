// Capture: any moment of the demo as a PNG, or the whole show as a video,
// rendered off screen with the demo's own start-up, scene and font code.
#include "shell/demo_state.h"
#include "shell/shell.h"

#include <SDL.h>
#include <SDL_image.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int32_t lastFrameMs = 119986; // the pass that ends the show still draws
constexpr int defaultFps = 60;
constexpr int bytesPerPixel = 3;

// Scene bounds: a pass with elapsedMs one past a bound is the one that changes scene.
constexpr int32_t sceneBoundsMs[] = {20000, 50000, 100000, 113985};

volatile std::sig_atomic_t interrupted = 0;

struct Options {
    std::vector<int32_t> atMs;
    std::string outDir;
    std::string videoPath;
    int fps = defaultFps;
    int shrink = 1; // stills are written 1/shrink of the screen's size
};

void onInterrupt(int)
{
    interrupted = 1;
}

int fail(const std::string& message)
{
    fprintf(stderr, "capture: %s\n", message.c_str());
    return 1;
}

void printUsage()
{
    printf("usage: capture --at MS[,MS...] --out DIR [--shrink N]\n"
           "       capture --video FILE [--fps N]\n"
           "Renders the demo off screen, from the folder that holds its dada/.\n"
           "  --at MS,...   moments of the show to draw, ms from 0 to %d\n"
           "  --out DIR     folder for the stills, frame_<ms>.png\n"
           "  --shrink N    write stills at 1/N size (N divides 1920 and 1080)\n"
           "  --video FILE  the whole show as H.264 + AAC in MP4, through ffmpeg\n"
           "  --fps N       frames per second of show time for --video (default %d)\n",
           lastFrameMs, defaultFps);
}

// Whole decimal number in min..max, or false.
bool parseNumber(const std::string& text, long min, long max, long* value)
{
    if (text.empty() || text.size() > 10) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long parsed = strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < min || parsed > max) {
        return false;
    }
    *value = parsed;
    return true;
}

// Fills options from argv; an empty string on success, else the complaint.
std::string parseArguments(int argc, char* argv[], Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (i + 1 >= argc) {
            return "missing value after " + flag;
        }
        const std::string value = argv[++i];
        if (flag == "--at") {
            size_t start = 0;
            while (start <= value.size()) {
                size_t comma = value.find(',', start);
                if (comma == std::string::npos) {
                    comma = value.size();
                }
                long ms = 0;
                const std::string item = value.substr(start, comma - start);
                if (!parseNumber(item, 0, lastFrameMs, &ms)) {
                    return "time '" + item + "' is not a whole number of ms from 0 to " +
                           std::to_string(lastFrameMs);
                }
                options->atMs.push_back(static_cast<int32_t>(ms));
                start = comma + 1;
            }
        } else if (flag == "--out") {
            options->outDir = value;
        } else if (flag == "--video") {
            options->videoPath = value;
        } else if (flag == "--shrink") {
            long shrink = 0;
            if (!parseNumber(value, 1, 120, &shrink) || screenWidth % shrink != 0 ||
                screenHeight % shrink != 0) {
                return "--shrink wants a whole divisor of both 1920 and 1080";
            }
            options->shrink = static_cast<int>(shrink);
        } else if (flag == "--fps") {
            long fps = 0;
            if (!parseNumber(value, 1, 1000, &fps)) {
                return "--fps wants a whole number from 1 to 1000";
            }
            options->fps = static_cast<int>(fps);
        } else {
            return "unknown argument " + flag;
        }
    }
    const bool stills = !options->atMs.empty() || !options->outDir.empty();
    const bool video = !options->videoPath.empty();
    if (stills == video) {
        return "give either --at and --out, or --video";
    }
    if (stills && (options->atMs.empty() || options->outDir.empty())) {
        return "--at and --out go together";
    }
    return "";
}

// Sets the renderer and textures to the state the live program has before
// any frame: every scene sets what it changes before it draws, except what
// it inherits from these (scene 2's black clear, scene 4's opaque sprites,
// scene 1's untinted sprite and wall), so one reset makes any frame exact.
void resetRenderState()
{
    SDL_SetRenderDrawColor(demo.renderer, 0, 0, 0, 255);
    SDL_Texture* textures[] = {demo.texSuikelois, demo.texSumuuh, demo.texAstiasto, demo.texFont};
    for (SDL_Texture* texture : textures) {
        SDL_SetTextureColorMod(texture, 255, 255, 255);
        SDL_SetTextureAlphaMod(texture, 255);
    }
}

// Plays one pass of the timeline whose clock reads elapsedMs and stands
// still within the pass, as the live loop with a virtual clock does.
void passAt(int32_t elapsedMs)
{
    if (advanceTimeline(elapsedMs)) {
        demo.sceneStartMs = elapsedMs;
    }
}

int32_t frameMs(int frame, int fps)
{
    return static_cast<int32_t>(int64_t{frame} * 1000 / fps);
}

// Frames of a show played at fps: up to and including the pass that ends it.
int frameCount(int fps)
{
    int frames = 1;
    while (frameMs(frames - 1, fps) < lastFrameMs) {
        ++frames;
    }
    return frames;
}

// Rewinds to the start and plays the passes a clock ticking every
// millisecond would make up to elapsedMs: only scene changes carry state.
void seekTo(int32_t elapsedMs)
{
    demo.sceneIndex = 1;
    demo.sceneStartMs = 0;
    for (const int32_t boundMs : sceneBoundsMs) {
        if (boundMs + 1 < elapsedMs) {
            passAt(boundMs + 1);
        }
    }
    passAt(elapsedMs);
}

// Draws the current frame and reads it back as packed RGB.
bool drawAndRead(std::vector<unsigned char>* pixels)
{
    resetRenderState();
    drawScene();
    pixels->resize(static_cast<size_t>(screenWidth) * screenHeight * bytesPerPixel);
    return SDL_RenderReadPixels(demo.renderer, nullptr, SDL_PIXELFORMAT_RGB24, pixels->data(),
                                screenWidth * bytesPerPixel) == 0;
}

// Box-filters packed RGB of the screen's size down to 1/shrink of it.
std::vector<unsigned char> shrunk(const std::vector<unsigned char>& pixels, int shrink)
{
    const int width = screenWidth / shrink;
    const int height = screenHeight / shrink;
    std::vector<unsigned char> result(static_cast<size_t>(width) * height * bytesPerPixel);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int channel = 0; channel < bytesPerPixel; ++channel) {
                int sum = 0;
                for (int dy = 0; dy < shrink; ++dy) {
                    for (int dx = 0; dx < shrink; ++dx) {
                        const size_t source =
                            (static_cast<size_t>(y * shrink + dy) * screenWidth + x * shrink + dx) *
                                bytesPerPixel +
                            channel;
                        sum += pixels[source];
                    }
                }
                result[(static_cast<size_t>(y) * width + x) * bytesPerPixel + channel] =
                    static_cast<unsigned char>((sum + shrink * shrink / 2) / (shrink * shrink));
            }
        }
    }
    return result;
}

bool savePng(const std::vector<unsigned char>& pixels, int width, int height,
             const std::string& path)
{
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormatFrom(const_cast<unsigned char*>(pixels.data()), width, height,
                                           24, width * bytesPerPixel, SDL_PIXELFORMAT_RGB24);
    const bool saved = surface != nullptr && IMG_SavePNG(surface, path.c_str()) == 0;
    SDL_FreeSurface(surface);
    return saved;
}

int captureStills(const Options& options)
{
    std::vector<unsigned char> pixels;
    for (const int32_t ms : options.atMs) {
        seekTo(ms);
        char name[32];
        snprintf(name, sizeof name, "frame_%06d.png", static_cast<int>(ms));
        const std::string path = options.outDir + "/" + name;
        if (!drawAndRead(&pixels)) {
            return fail(std::string("cannot read the frame back: ") + SDL_GetError());
        }
        const int shrink = options.shrink;
        const bool saved = shrink == 1 ? savePng(pixels, screenWidth, screenHeight, path)
                                       : savePng(shrunk(pixels, shrink), screenWidth / shrink,
                                                 screenHeight / shrink, path);
        if (!saved) {
            return fail("cannot write " + path + ": " + SDL_GetError());
        }
        printf("%s\n", path.c_str());
    }
    return 0;
}

// Shell-quotes text for popen.
std::string quoted(const std::string& text)
{
    std::string result = "'";
    for (const char c : text) {
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return result + "'";
}

void showProgress(int done, int total, double secondsSpent)
{
    constexpr int barWidth = 30;
    const int filled = total > 0 ? done * barWidth / total : barWidth;
    const double rate = secondsSpent > 0.0 ? done / secondsSpent : 0.0;
    const int secondsLeft = rate > 0.0 ? static_cast<int>((total - done) / rate) : 0;
    fprintf(stderr, "\r[%.*s%.*s] %d/%d frames  %.1f fps  %d:%02d left ", filled,
            "##############################", barWidth - filled, "..............................",
            done, total, rate, secondsLeft / 60, secondsLeft % 60);
}

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
    const std::string command =
        "ffmpeg -loglevel error -y -f rawvideo -pix_fmt rgb24 -s " + std::to_string(screenWidth) +
        "x" + std::to_string(screenHeight) + " -framerate " + std::to_string(options.fps) +
        " -i - -i dada/delfiini.kalako -map 0:v -map 1:a? -c:v libx264 -preset veryfast "
        "-crf 18 -pix_fmt yuv420p -c:a aac -b:a 192k -f mp4 " +
        quoted(partial);
    FILE* encoder = popen(command.c_str(), "w");
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
            const double spent = static_cast<double>(SDL_GetPerformanceCounter() - started) /
                                 static_cast<double>(SDL_GetPerformanceFrequency());
            showProgress(frame + 1, total, spent);
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
    printf("%s: %d frames at %d fps\n", options.videoPath.c_str(), frame, options.fps);
    return 0;
}

// Checks what can be checked before the platform starts.
std::string checkSurroundings(const Options& options)
{
    std::error_code error;
    if (!std::filesystem::is_directory("dada", error)) {
        return "no dada folder here (" + std::filesystem::current_path(error).string() +
               "): run from the folder that holds the demo's assets";
    }
    const std::string target =
        options.videoPath.empty() ? options.outDir
                                  : std::filesystem::path(options.videoPath).parent_path().string();
    const std::string folder = target.empty() ? "." : target;
    if (!std::filesystem::is_directory(folder, error) || access(folder.c_str(), W_OK) != 0) {
        return "cannot write to " + folder;
    }
    return "";
}

} // namespace

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
    signal(SIGINT, onInterrupt);
    signal(SIGTERM, onInterrupt);
    const int status = options.videoPath.empty() ? captureStills(options) : captureVideo(options);
    shutdownPlatform();
    return status;
}
