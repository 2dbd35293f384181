// Font descriptor loader: glyph lines of a BMFont text descriptor into the glyph table.
#include "font/font.h"
#include "shell/demo_state.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace {

constexpr const char* descriptorPath = "dada/lokki";
constexpr size_t glyphFieldCount = 8; // id x y width height xoffset yoffset xadvance

// atoi's reading of a decimal integer (leading white space, optional sign,
// digits up to the first other character, 0 without digits), saturated at
// the 32-bit range instead of overflowing.
int32_t parseInt(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
    int64_t magnitude = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        magnitude = std::min<int64_t>(magnitude * 10 + (text[i] - '0'), limit);
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

// Reads the eight values of a glyph line by position. False when the line
// is not well formed: too few fields, or a field without both a key and a
// value around its "=".
bool parseGlyphLine(const std::vector<std::string>& fields, int32_t values[glyphFieldCount])
{
    if (fields.size() < 1 + glyphFieldCount) {
        return false;
    }
    for (size_t i = 0; i < glyphFieldCount; ++i) {
        const std::vector<std::string> pieces = split(fields[1 + i], '=');
        if (pieces.size() < 2) {
            return false;
        }
        values[i] = parseInt(pieces[1]);
    }
    return true;
}

Glyph makeGlyph(const int32_t values[glyphFieldCount])
{
    Glyph glyph = {values[0], values[1], values[2],
                   values[3], values[4], values[5],
                   values[6], values[7], {values[1], values[2], values[3], values[4]}};
    return glyph;
}

bool isDirectory(const char* path)
{
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

} // namespace

std::vector<std::string> split(const std::string& text, char delimiter)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(delimiter, start);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > start) {
            pieces.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return pieces;
}

void loadFont()
{
    std::ifstream file(descriptorPath);
    // A directory opens as a stream on this platform but cannot be read.
    if (!file.is_open() || isDirectory(descriptorPath)) {
        printf("can't file fnt file.\n");
        return;
    }
    std::string line;
    while (std::getline(file, line)) {
        const std::vector<std::string> fields = split(line, ' ');
        if (fields.empty() || fields[0] != "char") {
            continue;
        }
        int32_t values[glyphFieldCount];
        if (parseGlyphLine(fields, values)) {
            demo.glyphs.push_back(makeGlyph(values));
        }
    }
}

const Glyph* findGlyph(int32_t code)
{
    // A full scan with no early exit: the last record of a code wins.
    const Glyph* match = nullptr;
    for (const Glyph& glyph : demo.glyphs) {
        if (glyph.id == code) {
            match = &glyph;
        }
    }
    return match;
}
