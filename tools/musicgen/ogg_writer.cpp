// Ogg Vorbis encoding of the rendered music: VBR analysis, pages, file output.
#include "musicgen/ogg_writer.h"

#include <algorithm>
#include <cstdio>

#include <vorbis/vorbisenc.h>

namespace {

// Frames handed to the encoder per analysis call.
constexpr int chunkFrames = 1024;

// All libvorbis and libogg state of one encoding run.
struct Encoder {
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    ogg_stream_state stream;
};

// Appends one Ogg page to the file; false on a write error.
bool writePage(std::FILE* file, const ogg_page& page)
{
    return std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), file) ==
               static_cast<size_t>(page.header_len) &&
           std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), file) ==
               static_cast<size_t>(page.body_len);
}

// Emits the three Vorbis header packets on pages of their own, as the format asks.
bool writeHeaders(Encoder& e, std::FILE* file)
{
    ogg_packet identification;
    ogg_packet comments;
    ogg_packet codebooks;
    vorbis_analysis_headerout(&e.dsp, &e.comment, &identification, &comments, &codebooks);
    ogg_stream_packetin(&e.stream, &identification);
    ogg_stream_packetin(&e.stream, &comments);
    ogg_stream_packetin(&e.stream, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&e.stream, &page) != 0) {
        if (!writePage(file, page)) {
            return false;
        }
    }
    return true;
}

// Runs the analysis on whatever the encoder has buffered and writes all finished pages.
bool drainEncoder(Encoder& e, std::FILE* file)
{
    while (vorbis_analysis_blockout(&e.dsp, &e.block) == 1) {
        vorbis_analysis(&e.block, nullptr);
        vorbis_bitrate_addblock(&e.block);
        ogg_packet packet;
        while (vorbis_bitrate_flushpacket(&e.dsp, &packet) != 0) {
            ogg_stream_packetin(&e.stream, &packet);
            ogg_page page;
            while (ogg_stream_pageout(&e.stream, &page) != 0) {
                if (!writePage(file, page)) {
                    return false;
                }
            }
        }
    }
    return true;
}

// Copies frames [first, first + count) into the encoder's per-channel buffers.
void submitFrames(Encoder& e, const std::vector<float>& samples, int channels, size_t first,
                  int count)
{
    float** buffer = vorbis_analysis_buffer(&e.dsp, count);
    for (int f = 0; f < count; ++f) {
        for (int c = 0; c < channels; ++c) {
            buffer[c][f] =
                samples[(first + static_cast<size_t>(f)) * static_cast<size_t>(channels) +
                        static_cast<size_t>(c)];
        }
    }
    vorbis_analysis_wrote(&e.dsp, count);
}

// Feeds all audio, then the end-of-stream mark, writing pages as they fill.
bool encodeAll(Encoder& e, std::FILE* file, const std::vector<float>& samples, int channels)
{
    const size_t frames = samples.size() / static_cast<size_t>(channels);
    for (size_t first = 0; first < frames; first += chunkFrames) {
        const int count = static_cast<int>(std::min<size_t>(chunkFrames, frames - first));
        submitFrames(e, samples, channels, first, count);
        if (!drainEncoder(e, file)) {
            return false;
        }
    }
    vorbis_analysis_wrote(&e.dsp, 0);
    return drainEncoder(e, file);
}

} // namespace

std::string writeOggVorbis(const std::string& path, const std::vector<float>& samples,
                           const OggSettings& settings)
{
    Encoder e;
    vorbis_info_init(&e.info);
    if (vorbis_encode_init_vbr(&e.info, settings.channels, settings.sampleRate, settings.quality) !=
        0) {
        vorbis_info_clear(&e.info);
        return "libvorbisenc refused the encoding settings";
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        vorbis_info_clear(&e.info);
        return "cannot open " + path + " for writing";
    }
    vorbis_comment_init(&e.comment);
    vorbis_analysis_init(&e.dsp, &e.info);
    vorbis_block_init(&e.dsp, &e.block);
    ogg_stream_init(&e.stream, settings.serial);

    const bool written = writeHeaders(e, file) && encodeAll(e, file, samples, settings.channels);
    const bool closed = std::fclose(file) == 0;

    ogg_stream_clear(&e.stream);
    vorbis_block_clear(&e.block);
    vorbis_dsp_clear(&e.dsp);
    vorbis_comment_clear(&e.comment);
    vorbis_info_clear(&e.info);
    if (!written || !closed) {
        return "writing " + path + " failed";
    }
    return std::string();
}
