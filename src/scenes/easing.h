// The easing every scene shares, in single precision.
#pragma once

// Clamps u to 0..1 (a NaN becomes 0), then eases: (3 - 2c) * c * c.
inline float smoothstep(float u)
{
    float c = u > 1.0f ? 1.0f : u;
    c = c > 0.0f ? c : 0.0f;
    return (3.0f - c * 2.0f) * (c * c);
}

// The eased progress of time t through the window start .. start + duration,
// formed as ((float)t - start) / duration in single precision.
inline float easeWindow(int t, float start, float duration)
{
    return smoothstep((static_cast<float>(t) - start) / duration);
}
