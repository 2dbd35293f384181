// The wall picture: a light top-view propeller aircraft on a roundel over a sunburst, drawn from
// distance fields.
#include "images.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int32_t pictureSize = 512;
// One pixel in picture units (the picture spans -1..1).
constexpr float pixelUnit = 2.0f / static_cast<float>(pictureSize);
constexpr float outlineWidth = 2.5f * pixelUnit;

struct Point {
    float x;
    float y;
};

// The vector from b to a.
Point minus(Point a, Point b)
{
    return {a.x - b.x, a.y - b.y};
}

// Euclidean length of p.
float length(Point p)
{
    return std::sqrt(p.x * p.x + p.y * p.y);
}

// Signed distance to a circle; negative inside.
float circleDistance(Point p, Point centre, float radius)
{
    return length(minus(p, centre)) - radius;
}

// Signed distance to a segment thickened by radius.
float capsuleDistance(Point p, Point a, Point b, float radius)
{
    const Point pa = minus(p, a);
    const Point ba = minus(b, a);
    const float t = clamp01((pa.x * ba.x + pa.y * ba.y) / (ba.x * ba.x + ba.y * ba.y));
    return length({pa.x - ba.x * t, pa.y - ba.y * t}) - radius;
}

// Signed distance to a simple polygon (any winding): the nearest edge gives
// the distance, the crossing count gives the sign.
float polygonDistance(Point p, const std::vector<Point>& vertices)
{
    float nearest = length(minus(p, vertices[0]));
    bool inside = false;
    for (size_t i = 0, j = vertices.size() - 1; i < vertices.size(); j = i, ++i) {
        const Point edge = minus(vertices[j], vertices[i]);
        const Point w = minus(p, vertices[i]);
        const float t =
            clamp01((w.x * edge.x + w.y * edge.y) / (edge.x * edge.x + edge.y * edge.y));
        nearest = std::min(nearest, length({w.x - edge.x * t, w.y - edge.y * t}));
        const bool crosses = (vertices[i].y > p.y) != (vertices[j].y > p.y);
        if (crosses && p.x < vertices[i].x + edge.x * (p.y - vertices[i].y) / edge.y) {
            inside = !inside;
        }
    }
    return inside ? -nearest : nearest;
}

// Anti-aliased coverage of the inside of a distance field, one pixel of ramp.
float coverage(float distance)
{
    return clamp01(0.5f - distance / pixelUnit);
}

// The aircraft's outline as one distance field: fuselage, wings, tailplane, fin.
float aircraftDistance(Point p)
{
    static const std::vector<Point> wing = {{-0.78f, 0.13f},  {-0.08f, 0.22f}, {0.08f, 0.22f},
                                            {0.78f, 0.13f},   {0.78f, 0.02f},  {0.08f, -0.06f},
                                            {-0.08f, -0.06f}, {-0.78f, 0.02f}};
    static const std::vector<Point> tailplane = {{-0.3f, -0.47f}, {-0.05f, -0.42f},
                                                 {0.05f, -0.42f}, {0.3f, -0.47f},
                                                 {0.3f, -0.55f},  {-0.3f, -0.55f}};
    const float fuselage =
        capsuleDistance(p, {0.0f, -0.6f}, {0.0f, 0.5f}, 0.075f - 0.04f * clamp01(-p.y - 0.1f));
    const float wings = polygonDistance(p, wing) - 0.02f;
    const float tail = polygonDistance(p, tailplane) - 0.015f;
    return std::min(fuselage, std::min(wings, tail));
}

// Light sky with soft sunburst rays: never darker than about 0.8.
Colour background(Point p)
{
    const float angle = std::atan2(p.y, p.x);
    const float rays = 0.5f + 0.5f * std::cos(18.0f * angle);
    const float glow = 1.0f - smoothstep(0.0f, 1.4f, length(p));
    const Colour cream = {0.99f, 0.96f, 0.88f, 1.0f};
    const Colour sky = {0.82f, 0.9f, 0.98f, 1.0f};
    return mixColour(sky, cream, clamp01(0.35f * rays + 0.75f * glow));
}

// The roundel behind the aircraft: a pale disc inside a blue band and a ring of dots.
Colour roundel(Point p, Colour below)
{
    const float radius = length(p);
    const Colour pale = {0.95f, 0.97f, 1.0f, 1.0f};
    const Colour band = {0.55f, 0.7f, 0.92f, 1.0f};
    const Colour edge = {0.3f, 0.42f, 0.62f, 1.0f};
    Colour colour = mixColour(below, edge, coverage(radius - 0.8f));
    colour = mixColour(colour, band, coverage(radius - 0.8f + outlineWidth));
    colour = mixColour(colour, edge, coverage(radius - 0.7f));
    colour = mixColour(colour, pale, coverage(radius - 0.7f + outlineWidth));
    const float dotAngle = 2.0f * pi / 24.0f;
    const float angle = std::atan2(p.y, p.x);
    const float nearestDot = std::round(angle / dotAngle) * dotAngle;
    const Point dot = {0.88f * std::cos(nearestDot), 0.88f * std::sin(nearestDot)};
    return mixColour(colour, band, coverage(circleDistance(p, dot, 0.022f)));
}

// Aircraft paint: white skin, pastel bands on the wing tips and tail, a blue
// canopy, the national marks in pastel rose.
Colour aircraftSkin(Point p)
{
    const Colour skin = {0.98f, 0.98f, 0.97f, 1.0f};
    const Colour stripe = {0.62f, 0.76f, 0.95f, 1.0f};
    const Colour rose = {0.98f, 0.62f, 0.66f, 1.0f};
    const Colour canopy = {0.45f, 0.6f, 0.85f, 1.0f};
    Colour colour = skin;
    const float tipBand = coverage(0.58f - std::fabs(p.x)) * coverage(std::fabs(p.x) - 0.66f);
    colour = mixColour(colour, stripe, tipBand);
    colour = mixColour(colour, stripe, coverage(std::fabs(p.y + 0.5f) - 0.012f));
    const Point markLeft = {-0.42f, 0.1f};
    const Point markRight = {0.42f, 0.1f};
    const float mark =
        std::min(circleDistance(p, markLeft, 0.06f), circleDistance(p, markRight, 0.06f));
    colour = mixColour(colour, rose, coverage(mark));
    colour = mixColour(colour, skin, coverage(mark + 0.03f));
    const float canopyDistance = capsuleDistance(p, {0.0f, 0.2f}, {0.0f, 0.32f}, 0.035f);
    colour = mixColour(colour, canopy, coverage(canopyDistance));
    return colour;
}

// The spinning propeller: a translucent blurred disc across the nose, and its spinner.
Colour propeller(Point p, Colour below)
{
    const Colour blur = {0.6f, 0.65f, 0.75f, 1.0f};
    const Colour spinner = {0.98f, 0.62f, 0.66f, 1.0f};
    const float disc = capsuleDistance(p, {-0.24f, 0.6f}, {0.24f, 0.6f}, 0.012f);
    Colour colour = mixColour(below, blur, 0.45f * coverage(disc));
    colour = mixColour(colour, {0.3f, 0.42f, 0.62f, 1.0f},
                       coverage(circleDistance(p, {0.0f, 0.57f}, 0.045f)));
    return mixColour(colour, spinner,
                     coverage(circleDistance(p, {0.0f, 0.57f}, 0.045f - outlineWidth)));
}

// The whole picture at a point, y up.
Colour picture(Point p)
{
    Colour colour = roundel(p, background(p));
    const float shadow = aircraftDistance({p.x + 0.04f, p.y + 0.05f});
    colour = mixColour(colour, {0.5f, 0.56f, 0.68f, 1.0f},
                       0.35f * (1.0f - smoothstep(-0.02f, 0.04f, shadow)));
    const float body = aircraftDistance(p);
    colour = mixColour(colour, {0.3f, 0.42f, 0.62f, 1.0f}, coverage(body));
    colour = mixColour(colour, aircraftSkin(p), coverage(body + outlineWidth));
    return propeller(p, colour);
}

} // namespace

Canvas paintAstiasto()
{
    Canvas canvas = makeCanvas(pictureSize, pictureSize);
    for (int32_t y = 0; y < pictureSize; ++y) {
        for (int32_t x = 0; x < pictureSize; ++x) {
            const Point p = {centredCoordinate(x, pictureSize), -centredCoordinate(y, pictureSize)};
            pixelAt(canvas, x, y) = picture(p);
        }
    }
    return canvas;
}
