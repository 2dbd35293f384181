// The page's music decoder, the program's own Ogg Vorbis decoder run in a worker.
#include <SDL.h>

#include <emscripten.h>

#include <vector>

// The Ogg Vorbis decoder inside SDL_mixer, declared as SDL_mixer builds it:
// reading SDL's streams, without stdio or the push API. Its header comes from
// SDL_mixer's source (scripts/build-sdl.sh).
#define STB_VORBIS_SDL 1
#define STB_VORBIS_NO_STDIO 1
#define STB_VORBIS_NO_PUSHDATA_API 1
#define STB_VORBIS_HEADER_ONLY 1
#include <stb_vorbis/stb_vorbis.h>

namespace {

// About a second and a half at 44.1 kHz: few enough pieces that handing them
// over costs the page little, small enough that none holds it.
constexpr int pieceFrames = 65536;

} // namespace

// Tells the worker the music's shape before its first piece.
EM_JS(void, announceMusic, (int channels, int rate, int frames),
      { Module["musicShape"](channels, rate, frames); });

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

// Decodes the Ogg Vorbis data of size bytes at data, a piece at a time.
// Returns 1 when done, 0 when the data cannot be decoded.
extern "C" EMSCRIPTEN_KEEPALIVE int decodeMusic(const unsigned char* data, int size)
{
    // SDL_mixer's copy of the decoder reads through SDL's streams only.
    SDL_RWops* file = SDL_RWFromConstMem(data, size);
    if (file == nullptr) {
        return 0;
    }
    int error = 0;
    stb_vorbis* vorbis = stb_vorbis_open_rwops(file, 0, &error, nullptr);
    if (vorbis == nullptr) {
        SDL_RWclose(file);
        return 0;
    }
    const stb_vorbis_info info = stb_vorbis_get_info(vorbis);
    const unsigned int length = stb_vorbis_stream_length_in_samples(vorbis);
    announceMusic(info.channels, static_cast<int>(info.sample_rate), static_cast<int>(length));
    std::vector<std::vector<float>> buffers(info.channels, std::vector<float>(pieceFrames));
    std::vector<float*> channels;
    for (std::vector<float>& buffer : buffers) {
        channels.push_back(buffer.data());
    }
    unsigned int offset = 0;
    while (offset < length) {
        const int frames =
            stb_vorbis_get_samples_float(vorbis, info.channels, channels.data(), pieceFrames);
        if (frames <= 0) {
            break;
        }
        handOverPiece(channels.data(), info.channels, frames, static_cast<int>(offset));
        offset += static_cast<unsigned int>(frames);
    }
    stb_vorbis_close(vorbis);
    SDL_RWclose(file);
    return 1;
}
