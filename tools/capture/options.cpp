// Capture tool: its command line, read into Options with a one-line complaint for anything wrong.
#include "capture.h"
#include "shell/demo_state.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int minWidth = 640;
constexpr int maxWidth = 3840;
constexpr int flashScanWidth = 960; // a quarter of the pixels is plenty for whole-screen flashes
constexpr int flashGridColumns = 240;
constexpr const char* presets[] = {"ultrafast", "superfast", "veryfast", "faster",  "fast",
                                   "medium",    "slow",      "slower",   "veryslow"};
constexpr const char* valueOptions[] = {"--at",   "--out",    "--video",  "--from", "--to",
                                        "--size", "--preset", "--shrink", "--fps",  "--crf"};

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

std::string parseTimes(const std::string& value, Options* options)
{
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
    return "";
}

// WxH, 16:9, from 640x360 to 3840x2160.
std::string parseSize(const std::string& value, Options* options)
{
    const size_t x = value.find('x');
    long width = 0;
    long height = 0;
    if (x == std::string::npos || !parseNumber(value.substr(0, x), minWidth, maxWidth, &width) ||
        !parseNumber(value.substr(x + 1), 1, maxWidth, &height) || width * 9 != height * 16) {
        return "--size wants a 16:9 WxH from 640x360 to 3840x2160, such as 2560x1440";
    }
    options->width = static_cast<int>(width);
    options->height = static_cast<int>(height);
    return "";
}

// The video's muxer from the file name's extension.
std::string parseVideoPath(const std::string& value, Options* options)
{
    const size_t dot = value.rfind('.');
    std::string extension = dot == std::string::npos ? "" : value.substr(dot + 1);
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (extension != "mp4" && extension != "mkv") {
        return "--video wants a file name ending in .mp4 or .mkv";
    }
    options->videoPath = value;
    options->container = extension == "mp4" ? "mp4" : "matroska";
    return "";
}

std::string parsePreset(const std::string& value, Options* options)
{
    for (const char* preset : presets) {
        if (value == preset) {
            options->preset = value;
            return "";
        }
    }
    return "--preset wants an x264 preset, ultrafast to veryslow";
}

// Whether the flag is one of the options followed by a value.
bool takesValue(const std::string& flag)
{
    for (const char* option : valueOptions) {
        if (flag == option) {
            return true;
        }
    }
    return false;
}

// One of the valueOptions with its value, into options; a complaint if the value is wrong.
std::string parseOption(const std::string& flag, const std::string& value, Options* options)
{
    long number = 0;
    if (flag == "--at") {
        return parseTimes(value, options);
    }
    if (flag == "--out") {
        options->outDir = value;
    } else if (flag == "--video") {
        return parseVideoPath(value, options);
    } else if (flag == "--from" || flag == "--to") {
        if (!parseNumber(value, 0, lastFrameMs, &number)) {
            return flag + " wants a whole number of ms from 0 to " + std::to_string(lastFrameMs);
        }
        (flag == "--from" ? options->fromMs : options->toMs) = static_cast<int32_t>(number);
    } else if (flag == "--size") {
        return parseSize(value, options);
    } else if (flag == "--preset") {
        return parsePreset(value, options);
    } else if (flag == "--shrink") {
        if (!parseNumber(value, 1, 120, &number)) {
            return "--shrink wants a whole divisor of the frame's width and height";
        }
        options->shrink = static_cast<int>(number);
    } else if (flag == "--fps") {
        if (!parseNumber(value, 1, 1000, &number)) {
            return "--fps wants a whole number from 1 to 1000";
        }
        options->fps = static_cast<int>(number);
    } else { // --crf
        if (!parseNumber(value, 0, 51, &number)) {
            return "--crf wants a whole number from 0 to 51";
        }
        options->crf = static_cast<int>(number);
    }
    return "";
}

// What the chosen task makes of the options together.
std::string checkTogether(Options* options)
{
    const bool stills = !options->atMs.empty() || !options->outDir.empty();
    const bool video = !options->videoPath.empty();
    if (int{stills} + int{video} + int{options->flashes} != 1) {
        return "give either --at and --out, or --video, or --flashes";
    }
    if (stills && (options->atMs.empty() || options->outDir.empty())) {
        return "--at and --out go together";
    }
    if (options->width == 0) {
        options->width = options->flashes ? flashScanWidth : screenWidth;
        options->height = options->width * 9 / 16;
    }
    if (options->width % options->shrink != 0 || options->height % options->shrink != 0) {
        return "--shrink wants a whole divisor of the frame's width and height";
    }
    if (options->flashes && options->width % flashGridColumns != 0) {
        return "--flashes wants a --size whose width is a multiple of 240";
    }
    if ((options->fromMs != 0 || options->toMs != lastFrameMs) &&
        (!options->flashes || options->fromMs >= options->toMs)) {
        return "--from and --to go with --flashes, --from before --to";
    }
    return "";
}

} // namespace

void printUsage()
{
    printf("usage: capture --at MS[,MS...] --out DIR [--reduce-flashes] [--size WxH] [--shrink N]\n"
           "       capture --video FILE [--reduce-flashes] [--size WxH] [--fps N] [--crf N]\n"
           "               [--preset NAME]\n"
           "       capture --flashes [--reduce-flashes] [--size WxH] [--fps N] [--from MS]\n"
           "               [--to MS]\n"
           "Renders the demo off screen, from the folder that holds its dada/.\n"
           "  --at MS,...    moments of the show to draw, ms from 0 to %d\n"
           "  --out DIR      folder for the stills, frame_<ms>.png, made if missing\n"
           "  --size WxH     frame size, 16:9 from 640x360 to 3840x2160 (default 1920x1080)\n"
           "  --shrink N     write stills at 1/N of the frame size\n"
           "  --video FILE   the whole show as H.264 + AAC through ffmpeg, in MP4 or\n"
           "                 Matroska as FILE ends in .mp4 or .mkv\n"
           "  --reduce-flashes  draw the show as demo --reduce-flashes plays it: its\n"
           "                 flashing layers steady and its fastest motion calmer\n"
           "  --fps N        frames per second of show time (default %d)\n"
           "  --crf N        x264 quality, 0 to 51, lower is better (default %d)\n"
           "  --preset NAME  x264 speed preset, ultrafast to veryslow (default %s)\n"
           "  --flashes      print where the show exceeds the general flash threshold and\n"
           "                 the red one as WCAG 2.2 and as WCAG 2.0/2.1 define it\n"
           "                 (default size 960x540, width a multiple of 240)\n"
           "  --from MS, --to MS  analyse only that stretch of the show\n",
           lastFrameMs, defaultFps, defaultCrf, defaultPreset);
}

std::string parseArguments(int argc, char* argv[], Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--flashes") {
            options->flashes = true;
            continue;
        }
        if (flag == "--reduce-flashes") {
            options->reduceFlashes = true;
            continue;
        }
        if (!takesValue(flag)) {
            return "unknown option " + flag;
        }
        if (i + 1 >= argc) {
            return "missing value after " + flag;
        }
        const std::string complaint = parseOption(flag, argv[++i], options);
        if (!complaint.empty()) {
            return complaint;
        }
    }
    return checkTogether(options);
}
