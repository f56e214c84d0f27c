#include "shared/Rotation.h"

#include <cmath>

namespace
{
constexpr float tolerance = 0.02f; // well above the 2^-11 steps of the wire format
constexpr float smallest = 1.0e-3f;
constexpr float leastSpread = 0.1f; // rows closer than about 6 degrees count as one

struct Vec
{
    float x, y, z;
};

float dot (Vec a, Vec b) noexcept { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec cross (Vec a, Vec b) noexcept { return { a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x }; }
Vec scaled (Vec a, float s) noexcept { return { a.x * s, a.y * s, a.z * s }; }
Vec minus (Vec a, Vec b) noexcept { return { a.x - b.x, a.y - b.y, a.z - b.z }; }

bool isRotation (const Vec* rows) noexcept
{
    for (int i = 0; i < 3; ++i)
        for (int j = i; j < 3; ++j)
            if (std::abs (dot (rows[i], rows[j]) - (i == j ? 1.0f : 0.0f)) > tolerance)
                return false;

    return dot (cross (rows[0], rows[1]), rows[2]) > 0.0f;
}
} // namespace

bool toRotation (const float* m, float* out) noexcept
{
    for (int i = 0; i < 9; ++i)
        if (! std::isfinite (m[i]))
            return false;

    const Vec rows[3] { { m[0], m[1], m[2] }, { m[3], m[4], m[5] }, { m[6], m[7], m[8] } };

    if (isRotation (rows))
    {
        for (int i = 0; i < 9; ++i)
            out[i] = m[i];
        return true;
    }

    const float length0 = std::sqrt (dot (rows[0], rows[0]));
    if (length0 < smallest)
        return false;
    const Vec r0 = scaled (rows[0], 1.0f / length0);

    const Vec along1 = minus (rows[1], scaled (r0, dot (rows[1], r0)));
    const float length1 = std::sqrt (dot (along1, along1));
    if (length1 < smallest || length1 < leastSpread * std::sqrt (dot (rows[1], rows[1])))
        return false;
    const Vec r1 = scaled (along1, 1.0f / length1);

    // The third row only says which way round: it must stand out of the plane
    // of the first two, on the side of a rotation, not of a mirror image.
    const Vec r2 = cross (r0, r1);
    const float length2 = std::sqrt (dot (rows[2], rows[2]));
    if (length2 < smallest || dot (r2, rows[2]) < leastSpread * length2)
        return false;

    const Vec result[3] { r0, r1, r2 };
    for (int i = 0; i < 3; ++i)
    {
        out[3 * i] = result[i].x;
        out[3 * i + 1] = result[i].y;
        out[3 * i + 2] = result[i].z;
    }
    return true;
}
