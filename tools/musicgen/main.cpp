// Music generator: renders the demo's song, masters it, writes it as Ogg Vorbis to the path given.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/generator_args.h"
#include "musicgen/mastering.h"
#include "musicgen/ogg_writer.h"
#include "musicgen/song.h"

// Writes the song's length of silence, encoded as the music is: the web build
// packs it for the program to open, while the page fetches the music itself.
int writeSilence(const char* path)
{
    const std::vector<float> silence(static_cast<size_t>(composeSong().lengthFrames) *
                                     static_cast<size_t>(OggSettings{}.channels));
    const std::string error = writeOggVorbis(path, silence, OggSettings{});
    if (!error.empty()) {
        std::fprintf(stderr, "musicgen: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

// Usage: musicgen [--silent] <output path>. Exit status 0 on success, 1 if
// writing failed, 2 on bad usage.
int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--silent") == 0) {
        return writeSilence(argv[2]);
    }
    const int usageStatus =
        checkGeneratorArgs(argc, argv, "musicgen", "[--silent] <output.ogg>", 1);
    if (usageStatus >= 0) {
        return usageStatus;
    }
    const auto started = std::chrono::steady_clock::now();
    const Score score = composeSong();
    const std::vector<float> samples = renderSong(score);
    const auto rendered = std::chrono::steady_clock::now();
    LoudnessFigures figures;
    const std::string error = writeMastered(argv[1], samples, OggSettings{}, &figures);
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
    std::fprintf(stderr, "musicgen: %.1f LUFS, loudness range %.1f LU, true peak %.1f dBTP\n",
                 figures.integratedLufs, figures.rangeLu, figures.truePeakDbtp);
    return 0;
}
