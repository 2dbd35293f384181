// Capture tool: what its files share: the options, the off-screen frames and the three tasks.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

constexpr int32_t lastFrameMs = 119986; // the pass that ends the show still draws
constexpr int defaultFps = 60;
constexpr int defaultCrf = 18;
constexpr const char* defaultPreset = "veryfast";
constexpr int bytesPerPixel = 3;

struct Options {
    std::vector<int32_t> atMs;
    std::string outDir;
    std::string videoPath;
    std::string container; // ffmpeg's muxer for videoPath, from its extension
    bool flashes = false;
    bool reduceFlashes = false; // draw as demo --reduce-flashes does
    int32_t fromMs = 0;         // the stretch --flashes analyses
    int32_t toMs = lastFrameMs;
    int fps = defaultFps;
    int shrink = 1; // stills are written 1/shrink of the frame's size
    int width = 0;  // frame size; 0 until parsed
    int height = 0;
    int crf = defaultCrf;
    std::string preset = defaultPreset;
};

// Set by Ctrl+C or SIGTERM; long tasks stop at the next frame.
extern volatile std::sig_atomic_t interrupted;

// Reports message on stderr as the tool's; returns the failure status 1.
int fail(const std::string& message);

// options.cpp
void printUsage();
// Fills options from argv; an empty string on success, else the complaint.
std::string parseArguments(int argc, char* argv[], Options* options);

// frames.cpp
// Makes the renderer draw frames of width x height: the scenes' 1920x1080
// space scaled by the renderer into a target of that size, or the window itself.
bool startFrames(int width, int height);
// Releases what startFrames made, before the platform shuts down.
void finishFrames();
// Plays one pass of the timeline whose clock reads elapsedMs.
void passAt(int32_t elapsedMs);
// Rewinds and plays the passes up to elapsedMs that carry state.
void seekTo(int32_t elapsedMs);
// Show time of frame number frame at fps.
int32_t frameMs(int frame, int fps);
// Frames of a show played at fps: up to and including the pass that ends it.
int frameCount(int fps);
// Draws the current frame and reads it back as packed RGB of the frame size.
bool drawAndRead(std::vector<unsigned char>* pixels);
// A progress line on stderr, when it is a terminal, for done of total frames
// after secondsSpent.
void showProgress(int done, int total, double secondsSpent);
// Seconds since ticks, a reading of SDL's performance counter.
double secondsSince(uint64_t ticks);

// stills.cpp
int captureStills(const Options& options);
// video.cpp
int captureVideo(const Options& options);
// flash_scan.cpp
int scanFlashes(const Options& options);
