// Encodes interleaved float audio to an Ogg Vorbis file with libvorbisenc.
#pragma once

#include <string>
#include <vector>

// How the file is encoded. A fixed stream serial number keeps repeated runs byte-identical.
struct OggSettings {
    int channels = 2;
    int sampleRate = 44100;
    float quality = 0.45f; // libvorbis VBR quality, -0.1 .. 1
    int serial = 0x4B414C41;
};

// Writes `samples` (interleaved, settings.channels per frame, nominally within [-1, 1]) to
// `path`. Returns an empty string on success, else what went wrong.
std::string writeOggVorbis(const std::string& path, const std::vector<float>& samples,
                           const OggSettings& settings);
