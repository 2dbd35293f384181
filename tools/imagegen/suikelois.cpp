// The spinning sprite: layered pastel petals around a finely ringed centre, all soft-edged.
#include "images.h"

#include <cmath>

namespace {

constexpr int32_t spriteSize = 1024;
// Edge softness of petal outlines, in units of the sprite's half width (~4 px).
constexpr float petalEdge = 0.008f;

// Polar position of a pixel centre: radius 1 touches the sprite's side.
struct Polar {
    float r;
    float angle;
};

// One ring of identical petals: outline radius base + reach * |cos(count/2 * angle)|^roundness.
struct PetalRing {
    int32_t count;
    float phase; // radians the ring is turned by
    float base;
    float reach;
    float roundness; // below 1 gives round tips, above 1 pointed ones
    float hue;       // pastel hue of the petal rims, 0..1
};

// A light pastel of the given hue: every channel between 0.6 and 1, so tints still read.
Colour pastel(float hue, float alpha)
{
    const float turn = 2.0f * pi * hue;
    return {0.8f + 0.2f * std::cos(turn), 0.8f + 0.2f * std::cos(turn - 2.0f * pi / 3.0f),
            0.8f + 0.2f * std::cos(turn + 2.0f * pi / 3.0f), alpha};
}

// Straight-alpha "over": top composited onto bottom.
Colour over(Colour top, Colour bottom)
{
    const float alpha = top.a + bottom.a * (1.0f - top.a);
    if (alpha <= 0.0f) {
        return {1, 1, 1, 0};
    }
    const float bottomWeight = bottom.a * (1.0f - top.a);
    return {(top.r * top.a + bottom.r * bottomWeight) / alpha,
            (top.g * top.a + bottom.g * bottomWeight) / alpha,
            (top.b * top.a + bottom.b * bottomWeight) / alpha, alpha};
}

const Colour white = {1, 1, 1, 1};

// Soft white glow behind everything, fading out well inside the sprite's edge.
Colour halo(Polar p)
{
    const float alpha = 0.45f * (1.0f - smoothstep(0.3f, 0.98f, p.r));
    return {0.97f, 0.96f, 1.0f, alpha};
}

// Petals of one ring: white hearts shading to a pastel rim, with a faint
// vein along each petal's axis.
Colour petals(Polar p, const PetalRing& ring)
{
    const float lobe =
        std::fabs(std::cos(0.5f * static_cast<float>(ring.count) * (p.angle - ring.phase)));
    const float outline = ring.base + ring.reach * std::pow(lobe, ring.roundness);
    const float coverage = 1.0f - smoothstep(outline - petalEdge, outline, p.r);
    const float depth = p.r / outline;
    const float rim = smoothstep(0.55f, 0.97f, depth);
    const float vein = smoothstep(0.97f, 1.0f, lobe) * smoothstep(0.3f, 0.6f, depth) * (1.0f - rim);
    Colour colour = mixColour(white, pastel(ring.hue, 1.0f), rim);
    colour = mixColour(colour, pastel(ring.hue + 0.08f, 1.0f), 0.5f * vein);
    // Tips thin out a little, so the flower dissolves into its halo.
    colour.a = coverage * (1.0f - 0.3f * smoothstep(0.6f, 0.95f, p.r));
    return colour;
}

// Rings whose spacing tightens towards the centre, crossed by two families of
// spiral arms, under a soft eight-pointed star: detail at every zoom, all of
// it smooth sinusoids and wide ramps, so magnified filtering shows no edges.
Colour heart(Polar p)
{
    const float radius = std::fmax(p.r, 1e-4f);
    // Angular and log-radial terms crowd the very centre; fade them out
    // before they fall below a few pixels per period.
    const float detail = smoothstep(0.01f, 0.03f, radius);
    const float logR = std::log(radius);
    const float rings = 0.5f + 0.5f * std::cos(2.0f * pi * 3.0f * logR);
    const float fine =
        (0.5f + 0.5f * std::cos(2.0f * pi * 70.0f * radius)) * smoothstep(0.2f, 0.1f, radius);
    const float spiralA = 0.5f + 0.5f * std::cos(16.0f * p.angle + 14.0f * logR);
    const float spiralB = 0.5f + 0.5f * std::cos(16.0f * p.angle - 14.0f * logR);
    const float lattice = spiralA * spiralB;
    Colour colour =
        mixColour(white, pastel(0.9f + 0.2f * rings, 1.0f), detail * (0.25f + 0.55f * rings));
    colour = mixColour(colour, pastel(0.68f, 1.0f), detail * 0.8f * lattice);
    colour = mixColour(colour, white, detail * 0.5f * fine);
    const float starOutline = 0.035f + 0.055f * std::pow(std::fabs(std::cos(4.0f * p.angle)), 3.0f);
    const float star = 1.0f - smoothstep(starOutline - 0.012f, starOutline, radius);
    const Colour gold =
        mixColour(white, pastel(0.12f, 1.0f), smoothstep(0.0f, starOutline, radius));
    colour = mixColour(colour, gold, 0.9f * star);
    colour.a = 1.0f - smoothstep(0.2f - petalEdge, 0.2f, p.r);
    return colour;
}

// Colour of the sprite at a polar position, layers composited back to front.
Colour mandala(Polar p)
{
    const PetalRing outer = {8, 0.0f, 0.55f, 0.38f, 0.7f, 0.95f};
    const PetalRing middle = {8, pi / 8.0f, 0.42f, 0.26f, 0.8f, 0.6f};
    const PetalRing inner = {16, 0.0f, 0.28f, 0.09f, 0.5f, 0.12f};
    Colour colour = halo(p);
    colour = over(petals(p, outer), colour);
    colour = over(petals(p, middle), colour);
    colour = over(petals(p, inner), colour);
    colour = over(heart(p), colour);
    return colour;
}

} // namespace

Canvas paintSuikelois()
{
    Canvas canvas = makeCanvas(spriteSize, spriteSize);
    for (int32_t y = 0; y < spriteSize; ++y) {
        for (int32_t x = 0; x < spriteSize; ++x) {
            const float u = centredCoordinate(x, spriteSize);
            const float v = centredCoordinate(y, spriteSize);
            const Polar p = {std::sqrt(u * u + v * v), std::atan2(v, u)};
            pixelAt(canvas, x, y) = mandala(p);
        }
    }
    return canvas;
}
