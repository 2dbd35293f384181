// Styled text: tint, rainbow, wave, scale and per-glyph rotation from the font page.
#include "font/font.h"
#include "shell/demo_state.h"

#include <SDL.h>

#include <cmath>
#include <cstdint>

namespace {

constexpr float spaceAdvance = 32.0f;

// (int) truncation toward zero, saturated so that extreme glyph sizes from a
// bad descriptor cannot overflow; identical to the plain cast in range.
int32_t truncToInt(double value)
{
    if (!(value > INT32_MIN)) {
        return value != value ? 0 : INT32_MIN;
    }
    if (value >= INT32_MAX) {
        return INT32_MAX;
    }
    return static_cast<int32_t>(value);
}

// Pen x after advancing by a single-precision amount, truncated toward zero.
int32_t advancePen(int32_t penX, float advance)
{
    return truncToInt(static_cast<float>(penX) + advance);
}

// Vertical offset of a glyph whose left edge is at penX. A zero period has
// no defined wave, so it leaves the glyph in place.
int32_t waveOffset(const TextStyle& style, int32_t penX)
{
    if (style.wavePeriod == 0.0) {
        return 0;
    }
    return truncToInt(std::sin(static_cast<double>(penX) / style.wavePeriod) *
                      static_cast<double>(style.waveAmplitude));
}

void setFontColor(const SDL_Color& color)
{
    SDL_SetTextureColorMod(demo.texFont, color.r, color.g, color.b);
}

} // namespace

void drawStyledText(int32_t x, int32_t y, float scale, TextStyle style)
{
    setFontColor(style.color);
    int32_t penX = x;
    // A character without a glyph reuses the last one found in this call;
    // before any was found it is skipped: nothing to draw, no width to advance.
    const Glyph* glyph = nullptr;
    for (size_t i = 0; i < style.text.size(); ++i) {
        const auto code = static_cast<unsigned char>(style.text[i]);
        if (code == ' ') {
            penX = advancePen(penX, scale * spaceAdvance);
            continue;
        }
        if (const Glyph* found = findGlyph(code)) {
            glyph = found;
        }
        if (glyph == nullptr) {
            continue;
        }
        const auto index = static_cast<int32_t>(i);
        if (style.rainbow) {
            setFontColor(paletteColor(index));
        }
        const int32_t topY = style.wave ? y + waveOffset(style, penX) : y;
        const SDL_Rect destination = {penX, topY,
                                      truncToInt(static_cast<float>(glyph->width) * scale),
                                      truncToInt(static_cast<float>(glyph->height) * scale)};
        const double angle = static_cast<double>(index) * style.angleStep + style.angle;
        SDL_RenderCopyEx(demo.renderer, demo.texFont, &glyph->source, &destination, angle, nullptr,
                         SDL_FLIP_NONE);
        penX = advancePen(penX, static_cast<float>(glyph->width) * scale);
    }
}
