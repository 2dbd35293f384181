// Mastering for playback: loudness and true peak of the encoded file, after ITU-R BS.1770-4.
#pragma once

#include <string>
#include <vector>

#include "musicgen/ogg_writer.h"

// BS.1770-4 / EBU R 128 figures of a piece (measured with libebur128).
struct LoudnessFigures {
    double integratedLufs = 0.0;
    double rangeLu = 0.0;
    double truePeakDbtp = 0.0; // 4x oversampled, the louder channel
};

// Figures of interleaved stereo at 44.1 kHz.
LoudnessFigures measureLoudness(const std::vector<float>& samples);

// The interleaved samples of an Ogg Vorbis file, or nothing when it cannot be read.
std::vector<float> decodeOggVorbis(const std::string& path);

// Brings the piece to -14 LUFS with its true peak under -1 dBTP as decoded
// from the file written: levels, limits, encodes to path, measures the
// decoded file and tries again tighter until it fits. Returns "" on
// success, else what went wrong; figures are those of the file written.
std::string writeMastered(const std::string& path, const std::vector<float>& samples,
                          const OggSettings& settings, LoudnessFigures* figures);
