// Music generator: renders the demo's song and writes it as Ogg Vorbis to the path given.
#include <chrono>
#include <cstdio>
#include <string>

#include "musicgen/ogg_writer.h"
#include "musicgen/song.h"

// Usage: musicgen <output path>. Exit status 0 on success, 1 if writing failed, 2 on bad usage.
int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.ogg>\n", argv[0]);
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    const Score score = composeSong();
    const std::vector<float> samples = renderSong(score);
    const auto rendered = std::chrono::steady_clock::now();
    const std::string error = writeOggVorbis(argv[1], samples, OggSettings{});
    if (!error.empty()) {
        std::fprintf(stderr, "musicgen: %s\n", error.c_str());
        return 1;
    }
    const auto finished = std::chrono::steady_clock::now();
    // Timing goes to stderr only: the file itself never depends on the clock.
    const double seconds = static_cast<double>(score.lengthFrames) / sampleRate;
    const double renderS = std::chrono::duration<double>(rendered - started).count();
    const double totalS = std::chrono::duration<double>(finished - started).count();
    std::fprintf(stderr,
                 "musicgen: %.1f s of music, rendered in %.2f s (%.0fx real time), total %.2f s\n",
                 seconds, renderS, seconds / renderS, totalS);
    return 0;
}
