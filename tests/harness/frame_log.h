// The preloaded library's call log, cut into the program's passes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A rectangle as the log writes it; absent when the program passed none.
struct LoggedRect {
    bool present = false;
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
};

// One SDL_RenderCopyEx call.
struct LoggedCopy {
    std::string texture;
    LoggedRect source;
    LoggedRect destination;
    double angle = 0.0;
};

// One pass of the main loop: everything logged up to and including its present.
struct Frame {
    std::vector<int64_t> elapsed;    // elapsed times of the clock readings taken in the pass
    std::vector<uint32_t> readings;  // the raw clock readings themselves
    std::vector<std::string> events; // scripted events delivered, by name
    std::vector<LoggedCopy> copies;  // rotated copies, in order
    std::vector<std::string> clears; // the draw colour of each clear, "r,g,b,a"
    bool presented = false;          // false only for a pass that never reached its present
    int sceneIndex = 0;              // the scene it drew, counted from the scene changes
    int64_t residentKiB = -1;        // resident size right after its present, when logged
};

// The whole log of one run.
struct ProgramLog {
    bool started = false;               // the loop took its start reading
    uint32_t startReading = 0;          // the reading taken as the music started
    std::vector<Frame> frames;          // the passes, in order
    std::vector<std::string> lifecycle; // shutdown calls, by name, in order
    std::vector<std::string> writes;    // paths opened for writing, by any thread, in order
};

// Cuts the log lines into the start reading, the passes, the shutdown calls
// and the files opened for writing. A pass with two clock readings is one that changed the scene.
ProgramLog parseProgramLog(const std::vector<std::string>& lines);

// The three lines of the debug overlay of a frame, decoded from its last
// copies through the test font (see testFontDescriptor); empty when the frame
// shows no overlay.
std::vector<std::string> overlayLines(const Frame& frame);

// A font descriptor with glyphs for the digits and the minus sign only, each
// 7 by 13 pixels, whose source x tells the character (digit d at 10 d, minus at 100).
std::string testFontDescriptor();

// The elapsed time of each pass, i.e. its first reading.
std::vector<int64_t> passTimes(const ProgramLog& log);

// The number of clock readings of each pass.
std::vector<int> readingsPerPass(const ProgramLog& log);
