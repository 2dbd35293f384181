// The page's music decoder: SDL_mixer's Ogg Vorbis decoder, fed the file's bytes as they arrive.
#include <emscripten.h>

#include <algorithm>
#include <cstddef>
#include <vector>

// The push API of SDL_mixer's decoder (stb_vorbis_push.c), which decodes
// whatever part of the file has come and asks for more.
#define STB_VORBIS_NO_PULLDATA_API 1
#define STB_VORBIS_HEADER_ONLY 1
#include <stb_vorbis/stb_vorbis.h>

namespace {

// About 0.4 s at 44.1 kHz: a piece the page copies in a moment, and soon
// after its bytes arrive.
constexpr int pieceFrames = 16384;

// The one decoding under way: the bytes received and not yet decoded, and
// the piece being filled, one buffer per channel.
struct MusicDecoding {
    stb_vorbis* vorbis = nullptr;
    std::vector<unsigned char> bytes;
    std::vector<std::vector<float>> piece;
    int pieceFilled = 0;
    int offset = 0;
    bool failed = false;
};

MusicDecoding decoding;

} // namespace

// Tells the worker the music's shape before its first piece.
EM_JS(void, announceMusic, (int channels, int rate), { Module["musicShape"](channels, rate); });

// Hands the worker a copy of frames samples of each channel, which start at
// frame offset of the music.
EM_JS(void, handOverPiece, (float** channels, int count, int frames, int offset), {
    const samples = [];
    for (let channel = 0; channel < count; channel++) {
        const start = HEAPU32[(channels >> 2) + channel] >> 2;
        samples.push(HEAPF32.slice(start, start + frames));
    }
    Module["musicPiece"](samples, offset);
});

namespace {

// Hands over the piece filled so far, if any, and starts the next.
void handOverFilledPiece()
{
    if (decoding.pieceFilled == 0) {
        return;
    }
    std::vector<float*> channels;
    for (std::vector<float>& channel : decoding.piece) {
        channels.push_back(channel.data());
    }
    handOverPiece(channels.data(), static_cast<int>(channels.size()), decoding.pieceFilled,
                  decoding.offset);
    decoding.offset += decoding.pieceFilled;
    decoding.pieceFilled = 0;
}

// Adds a decoded frame's samples to the pieces, handing each over once full.
void keepSamples(float** output, int frames)
{
    for (int done = 0; done < frames;) {
        const int count = std::min(frames - done, pieceFrames - decoding.pieceFilled);
        for (size_t channel = 0; channel < decoding.piece.size(); ++channel) {
            std::copy(output[channel] + done, output[channel] + done + count,
                      decoding.piece[channel].begin() + decoding.pieceFilled);
        }
        decoding.pieceFilled += count;
        done += count;
        if (decoding.pieceFilled == pieceFrames) {
            handOverFilledPiece();
        }
    }
}

// Opens the decoder once the headers are in; returns how many bytes it read
// (0 while they are not all in, or on a fault, which it notes).
int openDecoder()
{
    int used = 0;
    int error = 0;
    decoding.vorbis = stb_vorbis_open_pushdata(
        decoding.bytes.data(), static_cast<int>(decoding.bytes.size()), &used, &error, nullptr);
    if (decoding.vorbis == nullptr) {
        decoding.failed = error != VORBIS_need_more_data;
        return 0;
    }
    const stb_vorbis_info info = stb_vorbis_get_info(decoding.vorbis);
    decoding.piece.assign(static_cast<size_t>(info.channels), std::vector<float>(pieceFrames));
    announceMusic(info.channels, static_cast<int>(info.sample_rate));
    return used;
}

// Decodes every whole frame among the bytes received; returns how many bytes it read.
int decodeReceived()
{
    size_t read = 0;
    for (;;) {
        int channels = 0;
        float** output = nullptr;
        int frames = 0;
        const int used = stb_vorbis_decode_frame_pushdata(
            decoding.vorbis, decoding.bytes.data() + read,
            static_cast<int>(decoding.bytes.size() - read), &channels, &output, &frames);
        if (used == 0) {
            return static_cast<int>(read);
        }
        read += static_cast<size_t>(used);
        keepSamples(output, frames);
    }
}

} // namespace

// Takes the next size bytes of the Ogg Vorbis file at data (last: the file
// ends there) and hands over the music they complete, a piece at a time.
// Returns 1 while the file decodes, 0 once it cannot be decoded.
extern "C" EMSCRIPTEN_KEEPALIVE int decodeMusicBytes(const unsigned char* data, int size, int last)
{
    if (decoding.failed) {
        return 0;
    }
    decoding.bytes.insert(decoding.bytes.end(), data, data + size);
    int read = decoding.vorbis == nullptr ? openDecoder() : 0;
    if (decoding.vorbis != nullptr) {
        decoding.bytes.erase(decoding.bytes.begin(), decoding.bytes.begin() + read);
        read = decodeReceived();
    }
    decoding.bytes.erase(decoding.bytes.begin(), decoding.bytes.begin() + read);
    if (last != 0) {
        decoding.failed = decoding.vorbis == nullptr;
        handOverFilledPiece();
    }
    return decoding.failed ? 0 : 1;
}
