#pragma once

// The wire model of a unit head: five outline tables of points (x, y, z) in a
// head-fixed frame, +x to the head's right, +y out of the face, +z up.
namespace HeadPanel
{
struct OutlinePoint
{
    float x, y, z;
};

// A closed ring around the neck.
extern const OutlinePoint NeckRing[16];
// The horizontal section z = 0, right half, from the nose to the back. The 24th
// point is never read.
extern const OutlinePoint XY[24];
// The vertical section y = 0 through the ears, right half, from the crown down.
extern const OutlinePoint XZ[24];
// The mid-line profile x = 0, from the back of the neck over the crown and the
// face to under the chin.
extern const OutlinePoint YZ[53];
// A diagonal profile in the plane x = y, from the back left of the neck to the
// front right under the chin.
extern const OutlinePoint HZ[34];

constexpr int numXYPointsUsed = 23;

// The shading weight of each depth plane, rising in an S-shape from 0 to 1.
extern const float ShadeCurve[16];
} // namespace HeadPanel
