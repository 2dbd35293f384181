// Rasterises the demo's font into a white-on-transparent page and writes its BMFont text
// descriptor.
#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <SDL_image.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/generator_args.h"

namespace {

// 36 px gives a 43 px cell: below the overlay's 50 px line pitch, large
// enough that 2x titles still look sharp.
constexpr int32_t pixelSize = 36;
// Transparent gap after every cell, so linear filtering never reaches a neighbour.
constexpr int32_t cellSpacing = 2;
constexpr const char* pageFileName = "aerosoli";

// One rendered glyph and where its cell lands on the page.
struct GlyphCell {
    int32_t id;
    int32_t advance; // pixels, hinted
    int32_t inkLeft; // bitmap left edge relative to the pen
    int32_t inkTop;  // bitmap top edge above the baseline
    int32_t inkWidth;
    int32_t inkHeight;
    std::vector<uint8_t> coverage; // inkWidth * inkHeight, row by row
    int32_t cellLeft;              // cell left edge relative to the pen, <= 0
    int32_t cellWidth;
    int32_t x; // cell position on the page
    int32_t y;
};

struct KerningPair {
    int32_t first;
    int32_t second;
    int32_t amount;
};

// Vertical layout shared by every cell.
struct LineLayout {
    int32_t base;       // baseline distance from the cell top
    int32_t lineHeight; // cell height
};

struct PageSize {
    int32_t width;
    int32_t height;
};

// Codes the page covers: space, printable ASCII and the Latin-1 upper half,
// each byte standing for the Unicode code point of the same value.
std::vector<int32_t> coveredCodes()
{
    std::vector<int32_t> codes;
    for (int32_t code = 32; code <= 126; ++code) {
        codes.push_back(code);
    }
    for (int32_t code = 160; code <= 255; ++code) {
        codes.push_back(code);
    }
    return codes;
}

// Renders one code with the font's own hinting into an 8-bit coverage cell.
// False when FreeType cannot load or render it.
bool renderGlyph(FT_Face face, int32_t code, GlyphCell& cell)
{
    if (FT_Get_Char_Index(face, static_cast<FT_ULong>(code)) == 0) {
        fprintf(stderr, "fontgen: the font has no glyph for %d\n", code);
        return false;
    }
    if (FT_Load_Char(face, static_cast<FT_ULong>(code), FT_LOAD_RENDER) != 0) {
        fprintf(stderr, "fontgen: cannot render %d\n", code);
        return false;
    }
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    cell.id = code;
    cell.advance = static_cast<int32_t>((slot->advance.x + 32) >> 6);
    cell.inkLeft = slot->bitmap_left;
    cell.inkTop = slot->bitmap_top;
    cell.inkWidth = static_cast<int32_t>(bitmap.width);
    cell.inkHeight = static_cast<int32_t>(bitmap.rows);
    cell.coverage.assign(static_cast<size_t>(cell.inkWidth * cell.inkHeight), 0);
    for (int32_t row = 0; row < cell.inkHeight; ++row) {
        const uint8_t* source = bitmap.buffer + row * bitmap.pitch;
        std::copy(source, source + cell.inkWidth, cell.coverage.begin() + row * cell.inkWidth);
    }
    // The cell spans the advance, widened only where ink overhangs it
    // (a left bearing below zero, or ink past the advance), so nothing is clipped.
    const bool hasInk = cell.inkWidth > 0 && cell.inkHeight > 0;
    cell.cellLeft = hasInk ? std::min(0, cell.inkLeft) : 0;
    const int32_t cellRight =
        hasInk ? std::max(cell.advance, cell.inkLeft + cell.inkWidth) : cell.advance;
    cell.cellWidth = cellRight - cell.cellLeft;
    return true;
}

// One line height for all cells: from the highest ink top to the lowest ink
// bottom of the covered set, so accents and descenders both fit.
LineLayout measureLine(const std::vector<GlyphCell>& cells)
{
    int32_t above = 0;
    int32_t below = 0;
    for (const GlyphCell& cell : cells) {
        if (cell.inkHeight == 0) {
            continue;
        }
        above = std::max(above, cell.inkTop);
        below = std::max(below, cell.inkHeight - cell.inkTop);
    }
    return {above, above + below};
}

// Places cells in rows, left to right in code order, each followed by the
// spacing gap. False when they do not fit into the page.
bool packCells(std::vector<GlyphCell>& cells, int32_t lineHeight, PageSize page)
{
    int32_t x = 0;
    int32_t y = 0;
    for (GlyphCell& cell : cells) {
        if (x + cell.cellWidth > page.width) {
            x = 0;
            y += lineHeight + cellSpacing;
        }
        if (y + lineHeight > page.height || cell.cellWidth > page.width) {
            return false;
        }
        cell.x = x;
        cell.y = y;
        x += cell.cellWidth + cellSpacing;
    }
    return true;
}

// The smallest power-of-two page, in increasing area, that holds every cell.
// Returns {0, 0} when even the largest does not.
PageSize choosePageSize(std::vector<GlyphCell>& cells, int32_t lineHeight)
{
    const PageSize candidates[] = {{256, 256},   {512, 256},   {512, 512},  {1024, 512},
                                   {1024, 1024}, {2048, 1024}, {2048, 2048}};
    for (const PageSize& page : candidates) {
        if (packCells(cells, lineHeight, page)) {
            return page;
        }
    }
    return {0, 0};
}

// Every cell's ink written as alpha into a white, fully transparent page, so
// the colour modulation tints glyphs and filtering never darkens their edges.
SDL_Surface* paintPage(const std::vector<GlyphCell>& cells, const LineLayout& line, PageSize page)
{
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormat(0, page.width, page.height, 32, SDL_PIXELFORMAT_RGBA32);
    if (surface == nullptr) {
        return nullptr;
    }
    for (int32_t row = 0; row < page.height; ++row) {
        uint8_t* pixels = static_cast<uint8_t*>(surface->pixels) + row * surface->pitch;
        for (int32_t column = 0; column < page.width; ++column) {
            pixels[column * 4 + 0] = 255;
            pixels[column * 4 + 1] = 255;
            pixels[column * 4 + 2] = 255;
            pixels[column * 4 + 3] = 0;
        }
    }
    for (const GlyphCell& cell : cells) {
        const int32_t inkX = cell.x + cell.inkLeft - cell.cellLeft;
        const int32_t inkY = cell.y + line.base - cell.inkTop;
        for (int32_t row = 0; row < cell.inkHeight; ++row) {
            uint8_t* pixels =
                static_cast<uint8_t*>(surface->pixels) + (inkY + row) * surface->pitch;
            for (int32_t column = 0; column < cell.inkWidth; ++column) {
                pixels[(inkX + column) * 4 + 3] =
                    cell.coverage[static_cast<size_t>(row * cell.inkWidth + column)];
            }
        }
    }
    return surface;
}

// Kerning of every ordered pair of covered codes, leaving out zero amounts.
// Empty when the font has no kerning table FreeType can read.
std::vector<KerningPair> collectKerning(FT_Face face, const std::vector<GlyphCell>& cells)
{
    std::vector<KerningPair> pairs;
    if (!FT_HAS_KERNING(face)) {
        return pairs;
    }
    for (const GlyphCell& left : cells) {
        const FT_UInt leftIndex = FT_Get_Char_Index(face, static_cast<FT_ULong>(left.id));
        for (const GlyphCell& right : cells) {
            const FT_UInt rightIndex = FT_Get_Char_Index(face, static_cast<FT_ULong>(right.id));
            FT_Vector delta = {0, 0};
            if (FT_Get_Kerning(face, leftIndex, rightIndex, FT_KERNING_DEFAULT, &delta) != 0) {
                continue;
            }
            const int32_t amount = static_cast<int32_t>(delta.x >> 6);
            if (amount != 0) {
                pairs.push_back({left.id, right.id, amount});
            }
        }
    }
    return pairs;
}

// Writes the descriptor as BMFont's text format lays it out. The cell is the
// glyph as the demo copies it: xoffset is the cell's left edge from the pen
// (0 unless ink overhangs to the left), yoffset is 0 because every cell starts
// at the line top, xadvance is the font's own advance.
bool writeDescriptor(const std::string& path, FT_Face face, const std::vector<GlyphCell>& cells,
                     const LineLayout& line, PageSize page, const std::vector<KerningPair>& kerning)
{
    FILE* file = fopen(path.c_str(), "w");
    if (file == nullptr) {
        return false;
    }
    const int bold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0 ? 1 : 0;
    const int italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0 ? 1 : 0;
    fprintf(file,
            "info face=\"%s\" size=%d bold=%d italic=%d charset=\"\" unicode=1 stretchH=100 "
            "smooth=1 aa=1 "
            "padding=0,0,0,0 spacing=%d,%d\n",
            face->family_name, pixelSize, bold, italic, cellSpacing, cellSpacing);
    fprintf(
        file,
        "common lineHeight=%d base=%d scaleW=%d scaleH=%d pages=1 packed=0 alphaChnl=0 redChnl=4 "
        "greenChnl=4 blueChnl=4\n",
        line.lineHeight, line.base, page.width, page.height);
    fprintf(file, "page id=0 file=\"%s\"\n", pageFileName);
    fprintf(file, "chars count=%zu\n", cells.size());
    for (const GlyphCell& cell : cells) {
        fprintf(file,
                "char id=%-4d x=%-5d y=%-5d width=%-5d height=%-5d xoffset=%-5d yoffset=%-5d "
                "xadvance=%-5d "
                "page=%-2d chnl=15\n",
                cell.id, cell.x, cell.y, cell.cellWidth, line.lineHeight, cell.cellLeft, 0,
                cell.advance, 0);
    }
    fprintf(file, "kernings count=%zu\n", kerning.size());
    for (const KerningPair& pair : kerning) {
        fprintf(file, "kerning first=%-3d second=%-3d amount=%d\n", pair.first, pair.second,
                pair.amount);
    }
    return fclose(file) == 0;
}

// Renders every covered code; false when any one fails.
bool renderAll(FT_Face face, std::vector<GlyphCell>& cells)
{
    for (int32_t code : coveredCodes()) {
        GlyphCell cell = {};
        if (!renderGlyph(face, code, cell)) {
            return false;
        }
        cells.push_back(cell);
    }
    return true;
}

// Lays out, paints and writes page and descriptor for an opened face.
int generate(FT_Face face, const std::string& pagePath, const std::string& descriptorPath)
{
    std::vector<GlyphCell> cells;
    if (!renderAll(face, cells)) {
        return 1;
    }
    const LineLayout line = measureLine(cells);
    const PageSize page = choosePageSize(cells, line.lineHeight);
    if (page.width == 0) {
        fprintf(stderr, "fontgen: the glyphs do not fit any page size\n");
        return 1;
    }
    SDL_Surface* surface = paintPage(cells, line, page);
    if (surface == nullptr) {
        fprintf(stderr, "fontgen: %s\n", SDL_GetError());
        return 1;
    }
    const int saved = IMG_SavePNG(surface, pagePath.c_str());
    SDL_FreeSurface(surface);
    if (saved != 0) {
        fprintf(stderr, "fontgen: cannot write %s: %s\n", pagePath.c_str(), IMG_GetError());
        return 1;
    }
    if (!writeDescriptor(descriptorPath, face, cells, line, page, collectKerning(face, cells))) {
        fprintf(stderr, "fontgen: cannot write %s\n", descriptorPath.c_str());
        return 1;
    }
    return 0;
}

} // namespace

// fontgen <ttf path> <page png path> <descriptor path>
int main(int argc, char** argv)
{
    const int usageStatus = checkGeneratorArgs(argc, argv, "fontgen",
                                               "<ttf path> <page png path> <descriptor path>", 3);
    if (usageStatus >= 0) {
        return usageStatus;
    }
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        fprintf(stderr, "fontgen: cannot start FreeType\n");
        return 1;
    }
    FT_Face face = nullptr;
    if (FT_New_Face(library, argv[1], 0, &face) != 0 ||
        FT_Set_Pixel_Sizes(face, 0, pixelSize) != 0) {
        fprintf(stderr, "fontgen: cannot open %s at %d px\n", argv[1], pixelSize);
        FT_Done_FreeType(library);
        return 1;
    }
    const int status = generate(face, argv[2], argv[3]);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return status;
}
