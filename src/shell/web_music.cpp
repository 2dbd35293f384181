// Web only: the music decoded by the program for the page, whatever codecs the browser has.
#include <SDL.h>

#include <emscripten.h>

#include <vector>

// The Ogg Vorbis decoder inside SDL_mixer, which installs no header for it.
extern "C" {
struct stb_vorbis;
struct stb_vorbis_alloc;
struct stb_vorbis_info {
    unsigned int sample_rate;
    int channels;
    unsigned int setup_memory_required;
    unsigned int setup_temp_memory_required;
    unsigned int temp_memory_required;
    int max_frame_size;
};
stb_vorbis* stb_vorbis_open_rwops(SDL_RWops* rwops, int close_on_free, int* error,
                                  const stb_vorbis_alloc* alloc);
stb_vorbis_info stb_vorbis_get_info(stb_vorbis* vorbis);
unsigned int stb_vorbis_stream_length_in_samples(stb_vorbis* vorbis);
int stb_vorbis_get_samples_float(stb_vorbis* vorbis, int channels, float** buffer, int samples);
void stb_vorbis_close(stb_vorbis* vorbis);
}

namespace {

constexpr int chunkFrames = 8192;

} // namespace

// Makes Module.music an empty AudioBuffer of the given shape.
EM_JS(void, createPageMusic, (int channels, int rate, int frames), {
    Module["music"] =
        new AudioBuffer({numberOfChannels : channels, sampleRate : rate, length : frames});
});

// Copies frames samples of each channel into Module.music from frame offset on.
EM_JS(void, copyToPageMusic, (float** channels, int count, int frames, int offset), {
    for (let channel = 0; channel < count; channel++) {
        const start = HEAPU32[(channels >> 2) + channel] >> 2;
        Module["music"].copyToChannel(HEAPF32.subarray(start, start + frames), channel, offset);
    }
});

// Decodes the Ogg Vorbis file at path into Module.music, a chunk at a time so
// that the program's memory does not grow by the whole decoded music.
// Returns 1 when done, 0 when the file cannot be read or decoded.
extern "C" EMSCRIPTEN_KEEPALIVE int decodeMusicForPage(const char* path)
{
    SDL_RWops* file = SDL_RWFromFile(path, "rb");
    if (file == nullptr) {
        return 0;
    }
    int error = 0;
    stb_vorbis* vorbis = stb_vorbis_open_rwops(file, 1, &error, nullptr);
    if (vorbis == nullptr) {
        SDL_RWclose(file);
        return 0;
    }
    const stb_vorbis_info info = stb_vorbis_get_info(vorbis);
    const unsigned int length = stb_vorbis_stream_length_in_samples(vorbis);
    createPageMusic(info.channels, static_cast<int>(info.sample_rate), static_cast<int>(length));
    std::vector<std::vector<float>> buffers(info.channels, std::vector<float>(chunkFrames));
    std::vector<float*> channels;
    for (std::vector<float>& buffer : buffers) {
        channels.push_back(buffer.data());
    }
    unsigned int offset = 0;
    while (offset < length) {
        const int frames =
            stb_vorbis_get_samples_float(vorbis, info.channels, channels.data(), chunkFrames);
        if (frames <= 0) {
            break;
        }
        copyToPageMusic(channels.data(), info.channels, frames, static_cast<int>(offset));
        offset += static_cast<unsigned int>(frames);
    }
    stb_vorbis_close(vorbis);
    return 1;
}
