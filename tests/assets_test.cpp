// Checks the generated dada/ files: image formats, the seamless fog, a font covering every demo
// text, the music.
#include "font/font.h"
#include "shell/demo_state.h"
#include "web/image_bmp.h"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>
#include <ebur128.h>
#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* spritePath = "dada/suikelois";
constexpr const char* fogPath = "dada/sumuuh";
constexpr const char* picturePath = "dada/astiasto.lentokone";
constexpr const char* pagePath = "dada/aerosoli";
constexpr const char* descriptorPath = "dada/lokki";
constexpr const char* musicPath = "dada/delfiini.kalako";

// Every text the demo draws, byte for byte (0xC4 is the Latin-1 A umlaut).
const std::vector<std::string> demoTexts = {
    "TIVU",
    "MELKORI",
    "SALVO",
    "D"
    "\xC4"
    "RV"
    "\xC4",
    "notes left behind by a forgetful time traveler",
    "technology will continue to make our lives harder and many of us will be delighted about it",
    "all work will be outsourced, until all the work on the planet is being done by one guy",
    "your clothes will be smarter than you",
    "code, graphics",
    "zenkalvor",
    "music",
    "murel",
    "tivu",
    "vinterfest 2016",
    "0123456789-",
};

// One "key=value key=value" line of the descriptor, keyed by field name.
using Fields = std::map<std::string, std::string>;

// The line's first word, and its key=value fields.
struct DescriptorLine {
    std::string tag;
    Fields fields;
};

// Splits a descriptor line at white space; words without "=" after the first are ignored.
DescriptorLine parseLine(const std::string& line)
{
    std::istringstream words(line);
    DescriptorLine parsed;
    words >> parsed.tag;
    std::string word;
    while (words >> word) {
        const size_t equals = word.find('=');
        if (equals != std::string::npos) {
            parsed.fields[word.substr(0, equals)] = word.substr(equals + 1);
        }
    }
    return parsed;
}

// Every line of the descriptor; empty when it cannot be read.
std::vector<DescriptorLine> readDescriptor()
{
    std::vector<DescriptorLine> lines;
    std::ifstream file(descriptorPath);
    std::string line;
    while (std::getline(file, line)) {
        lines.push_back(parseLine(line));
    }
    return lines;
}

// Lines with the given first word, in file order.
std::vector<Fields> linesTagged(const std::vector<DescriptorLine>& lines, const std::string& tag)
{
    std::vector<Fields> tagged;
    for (const DescriptorLine& line : lines) {
        if (line.tag == tag) {
            tagged.push_back(line.fields);
        }
    }
    return tagged;
}

// The field read as an integer, as atoi reads it; -1 when the field is missing.
int fieldValue(const Fields& fields, const std::string& key)
{
    const auto found = fields.find(key);
    return found == fields.end() ? -1 : std::atoi(found->second.c_str());
}

// The file's format as SDL2_image detects it from the content.
bool fileIs(const char* path, int (*detector)(SDL_RWops*))
{
    SDL_RWops* file = SDL_RWFromFile(path, "rb");
    if (file == nullptr) {
        return false;
    }
    const bool matches = detector(file) != 0;
    SDL_RWclose(file);
    return matches;
}

// The image decoded and converted to 8-bit RGBA in byte order; null on failure.
SDL_Surface* loadRgba(const char* path)
{
    SDL_Surface* loaded = IMG_Load(path);
    if (loaded == nullptr) {
        return nullptr;
    }
    SDL_Surface* converted = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0);
    SDL_FreeSurface(loaded);
    return converted;
}

// Channel c (0 r, 1 g, 2 b, 3 a) of pixel (x, y) of an RGBA32 surface.
int channelAt(const SDL_Surface* surface, int x, int y, int c)
{
    return static_cast<const uint8_t*>(surface->pixels)[y * surface->pitch + x * 4 + c];
}

enum class Line { column, row };

// Mean absolute difference of all four channels between lines a and b.
double lineDifference(const SDL_Surface* surface, Line line, int a, int b)
{
    const int length = line == Line::column ? surface->h : surface->w;
    double sum = 0.0;
    for (int i = 0; i < length; ++i) {
        for (int c = 0; c < 4; ++c) {
            sum += line == Line::column
                       ? std::abs(channelAt(surface, a, i, c) - channelAt(surface, b, i, c))
                       : std::abs(channelAt(surface, i, a, c) - channelAt(surface, i, b, c));
        }
    }
    return sum / (length * 4.0);
}

// Checks the decoded file is a PNG with an alpha channel; returns its size.
void expectPngWithAlpha(const char* path, int& width, int& height)
{
    EXPECT_TRUE(fileIs(path, IMG_isPNG)) << path;
    SDL_Surface* surface = IMG_Load(path);
    ASSERT_NE(surface, nullptr) << path << ": " << IMG_GetError();
    EXPECT_NE(surface->format->Amask, 0u) << path;
    width = surface->w;
    height = surface->h;
    SDL_FreeSurface(surface);
}

// The whole file's bytes; empty when it cannot be read.
std::vector<unsigned char> fileBytes(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), {});
}

// Whether two surfaces hold the same layout and pixels, padding aside.
bool sameSurface(const SDL_Surface* a, const SDL_Surface* b)
{
    if (a->format->format != b->format->format || a->w != b->w || a->h != b->h) {
        return false;
    }
    const size_t rowBytes = static_cast<size_t>(a->w) * a->format->BytesPerPixel;
    for (int y = 0; y < a->h; ++y) {
        if (std::memcmp(static_cast<const uint8_t*>(a->pixels) + y * a->pitch,
                        static_cast<const uint8_t*>(b->pixels) + y * b->pitch, rowBytes) != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(Assets, SpriteIsSquarePngThatFadesOutAtItsEdge)
{
    int width = 0;
    int height = 0;
    expectPngWithAlpha(spritePath, width, height);
    EXPECT_EQ(width, height);
    EXPECT_GE(width, 512);
    SDL_Surface* sprite = loadRgba(spritePath);
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(channelAt(sprite, sprite->w / 2, sprite->h / 2, 3), 255);
    EXPECT_EQ(channelAt(sprite, 0, 0, 3), 0);
    EXPECT_EQ(channelAt(sprite, sprite->w - 1, sprite->h - 1, 3), 0);
    SDL_FreeSurface(sprite);
}

TEST(Assets, FogIs1024SquareTranslucentPng)
{
    int width = 0;
    int height = 0;
    expectPngWithAlpha(fogPath, width, height);
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 1024);
    SDL_Surface* fog = loadRgba(fogPath);
    ASSERT_NE(fog, nullptr);
    int lowest = 255;
    int highest = 0;
    for (int y = 0; y < fog->h; ++y) {
        for (int x = 0; x < fog->w; ++x) {
            lowest = std::min(lowest, channelAt(fog, x, y, 3));
            highest = std::max(highest, channelAt(fog, x, y, 3));
        }
    }
    EXPECT_GE(lowest, 24);
    EXPECT_LE(lowest, 80);
    EXPECT_GE(highest, 224);
    SDL_FreeSurface(fog);
}

TEST(Assets, FogTilesWithoutSeams)
{
    SDL_Surface* fog = loadRgba(fogPath);
    ASSERT_NE(fog, nullptr);
    double adjacentColumns = 0.0;
    double adjacentRows = 0.0;
    for (int i = 0; i + 1 < fog->w; ++i) {
        adjacentColumns += lineDifference(fog, Line::column, i, i + 1);
    }
    for (int i = 0; i + 1 < fog->h; ++i) {
        adjacentRows += lineDifference(fog, Line::row, i, i + 1);
    }
    adjacentColumns /= fog->w - 1;
    adjacentRows /= fog->h - 1;
    // Across the wrap the step must look like any other step between neighbours.
    EXPECT_LE(lineDifference(fog, Line::column, fog->w - 1, 0), 2.0 * adjacentColumns + 0.5);
    EXPECT_LE(lineDifference(fog, Line::row, fog->h - 1, 0), 2.0 * adjacentRows + 0.5);
    SDL_FreeSurface(fog);
}

TEST(Assets, PictureIsLightJpeg)
{
    EXPECT_TRUE(fileIs(picturePath, IMG_isJPG));
    SDL_Surface* picture = loadRgba(picturePath);
    ASSERT_NE(picture, nullptr) << IMG_GetError();
    EXPECT_GE(picture->w, 256);
    EXPECT_GE(picture->h, 256);
    double sum = 0.0;
    for (int y = 0; y < picture->h; ++y) {
        for (int x = 0; x < picture->w; ++x) {
            sum += channelAt(picture, x, y, 0) + channelAt(picture, x, y, 1) +
                   channelAt(picture, x, y, 2);
        }
    }
    // Tints multiply the colour, so a dark picture would leave little to tint.
    EXPECT_GE(sum / (picture->w * picture->h * 3.0), 170.0);
    SDL_FreeSurface(picture);
}

TEST(Assets, FontPageSizeMatchesDescriptor)
{
    int width = 0;
    int height = 0;
    expectPngWithAlpha(pagePath, width, height);
    const std::vector<Fields> common = linesTagged(readDescriptor(), "common");
    ASSERT_EQ(common.size(), 1u);
    EXPECT_EQ(fieldValue(common[0], "scaleW"), width);
    EXPECT_EQ(fieldValue(common[0], "scaleH"), height);
    EXPECT_EQ(fieldValue(common[0], "pages"), 1);
}

TEST(Assets, FontPageIsWhiteSoTintsApply)
{
    SDL_Surface* page = loadRgba(pagePath);
    ASSERT_NE(page, nullptr);
    int coloured = 0;
    int inked = 0;
    for (int y = 0; y < page->h; ++y) {
        for (int x = 0; x < page->w; ++x) {
            inked += channelAt(page, x, y, 3) > 0 ? 1 : 0;
            const bool white = channelAt(page, x, y, 0) == 255 && channelAt(page, x, y, 1) == 255 &&
                               channelAt(page, x, y, 2) == 255;
            coloured += white ? 0 : 1;
        }
    }
    EXPECT_EQ(coloured, 0);
    EXPECT_GT(inked, 0);
    SDL_FreeSurface(page);
}

TEST(Assets, DescriptorGlyphsLieInsidePageAndShareOneHeight)
{
    const std::vector<DescriptorLine> lines = readDescriptor();
    const std::vector<Fields> common = linesTagged(lines, "common");
    const std::vector<Fields> chars = linesTagged(lines, "char");
    const std::vector<Fields> counts = linesTagged(lines, "chars");
    ASSERT_EQ(common.size(), 1u);
    ASSERT_EQ(counts.size(), 1u);
    EXPECT_EQ(fieldValue(counts[0], "count"), static_cast<int>(chars.size()));
    const int pageWidth = fieldValue(common[0], "scaleW");
    const int pageHeight = fieldValue(common[0], "scaleH");
    const int lineHeight = fieldValue(common[0], "lineHeight");
    // The overlay's lines stand 50 px apart.
    EXPECT_LT(lineHeight, 50);
    EXPECT_GE(lineHeight, 30);
    for (const Fields& glyph : chars) {
        const int x = fieldValue(glyph, "x");
        const int y = fieldValue(glyph, "y");
        EXPECT_GE(x, 0);
        EXPECT_GE(y, 0);
        EXPECT_GT(fieldValue(glyph, "width"), 0);
        EXPECT_LE(x + fieldValue(glyph, "width"), pageWidth) << "glyph " << fieldValue(glyph, "id");
        EXPECT_LE(y + fieldValue(glyph, "height"), pageHeight)
            << "glyph " << fieldValue(glyph, "id");
        EXPECT_EQ(fieldValue(glyph, "height"), lineHeight) << "glyph " << fieldValue(glyph, "id");
    }
}

TEST(Assets, DescriptorCoversEveryDemoText)
{
    std::map<int, int> glyphCount;
    for (const Fields& glyph : linesTagged(readDescriptor(), "char")) {
        ++glyphCount[fieldValue(glyph, "id")];
    }
    EXPECT_EQ(glyphCount[32], 1);
    for (const std::string& text : demoTexts) {
        for (const char byte : text) {
            const int code = static_cast<unsigned char>(byte);
            EXPECT_EQ(glyphCount[code], 1) << "code " << code << " in \"" << text << "\"";
        }
    }
    for (int code = 33; code <= 126; ++code) {
        EXPECT_EQ(glyphCount[code], 1) << "code " << code;
    }
}

TEST(Assets, ProgramLoaderFindsEveryDemoGlyphInsidePage)
{
    const std::vector<Fields> common = linesTagged(readDescriptor(), "common");
    ASSERT_EQ(common.size(), 1u);
    demo.glyphs.clear();
    loadFont();
    EXPECT_EQ(demo.glyphs.size(), linesTagged(readDescriptor(), "char").size());
    for (const std::string& text : demoTexts) {
        for (const char byte : text) {
            const Glyph* glyph = findGlyph(static_cast<unsigned char>(byte));
            ASSERT_NE(glyph, nullptr)
                << "code " << static_cast<int>(static_cast<unsigned char>(byte));
            EXPECT_GT(glyph->width, 0);
            EXPECT_EQ(glyph->height, fieldValue(common[0], "lineHeight"));
            EXPECT_LE(glyph->x + glyph->width, fieldValue(common[0], "scaleW"));
            EXPECT_LE(glyph->y + glyph->height, fieldValue(common[0], "scaleH"));
            EXPECT_EQ(glyph->source.w, glyph->width);
        }
    }
    demo.glyphs.clear();
}

TEST(Assets, MusicLoadsAndLastsTwoMinutes)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_AUDIO), 0) << SDL_GetError();
    ASSERT_EQ(Mix_OpenAudio(44100, MIX_DEFAULT_FORMAT, 2, 2048), 0) << Mix_GetError();
    Mix_Music* music = Mix_LoadMUS(musicPath);
    EXPECT_NE(music, nullptr) << Mix_GetError();
    if (music != nullptr) {
        const double seconds = Mix_MusicDuration(music);
        EXPECT_GE(seconds, 120.0);
        EXPECT_LE(seconds, 125.0);
        Mix_FreeMusic(music);
    }
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// Decoded as a player decodes it, the music plays at the -14 LUFS of streaming
// and video sites, and no 4x oversampled peak passes -1 dBTP (ITU-R BS.1770-4).
TEST(Assets, MusicIsMasteredForPlayback)
{
    OggVorbis_File file;
    ASSERT_EQ(ov_fopen(musicPath, &file), 0);
    ASSERT_EQ(ov_info(&file, -1)->channels, 2);
    ebur128_state* state = ebur128_init(2, 44100, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    ASSERT_NE(state, nullptr);
    float** pcm = nullptr;
    int section = 0;
    long frames = 0;
    std::vector<float> interleaved;
    while ((frames = ov_read_float(&file, &pcm, 4096, &section)) > 0) {
        interleaved.clear();
        for (long f = 0; f < frames; ++f) {
            interleaved.push_back(pcm[0][f]);
            interleaved.push_back(pcm[1][f]);
        }
        ebur128_add_frames_float(state, interleaved.data(), static_cast<size_t>(frames));
    }
    ov_clear(&file);
    double loudness = 0.0;
    double peaks[2] = {};
    ebur128_loudness_global(state, &loudness);
    ebur128_true_peak(state, 0, &peaks[0]);
    ebur128_true_peak(state, 1, &peaks[1]);
    ebur128_destroy(&state);
    EXPECT_NEAR(loudness, -14.0, 1.0);
    EXPECT_LE(20.0 * std::log10(std::max(peaks[0], peaks[1])), -1.0);
}

// The web page hands the program its images as BMPs; the show must not see the difference.
TEST(Assets, ImagesAsBmpReadBackAsTheSameSurfaces)
{
    for (const char* path : {spritePath, fogPath, picturePath, pagePath}) {
        const std::vector<unsigned char> file = fileBytes(path);
        std::vector<unsigned char> bmp;
        ASSERT_TRUE(imageAsBmp(file.data(), static_cast<int>(file.size()), &bmp)) << path;
        SDL_Surface* original = IMG_Load(path);
        SDL_Surface* readBack =
            IMG_Load_RW(SDL_RWFromConstMem(bmp.data(), static_cast<int>(bmp.size())), 1);
        ASSERT_NE(original, nullptr) << path;
        ASSERT_NE(readBack, nullptr) << path << ": " << IMG_GetError();
        EXPECT_TRUE(fileIs(path, IMG_isPNG) ? original->format->Amask != 0
                                            : original->format->Amask == 0)
            << path;
        EXPECT_TRUE(sameSurface(original, readBack)) << path;
        SDL_FreeSurface(original);
        SDL_FreeSurface(readBack);
    }
    // What is no image, or only part of one, stays for the program to read.
    const std::vector<unsigned char> descriptor = fileBytes(descriptorPath);
    const std::vector<unsigned char> sprite = fileBytes(spritePath);
    std::vector<unsigned char> bmp = {1};
    EXPECT_FALSE(imageAsBmp(descriptor.data(), static_cast<int>(descriptor.size()), &bmp));
    EXPECT_FALSE(imageAsBmp(sprite.data(), static_cast<int>(sprite.size() / 2), &bmp));
    EXPECT_EQ(bmp, std::vector<unsigned char>{1});
}
