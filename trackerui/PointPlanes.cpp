#include "trackerui/PointPlanes.h"

#include "trackerui/HeadOutline.h"

#include <cmath>

namespace HeadPanel
{
PointPlanes::PointPlanes()
{
    for (int k = 0; k < numPlanes; ++k)
        thresholds[k] = (float) -std::cos ((k + 0.5) * juce::MathConstants<double>::pi / numPlanes);
}

int PointPlanes::planeOf (float depth) const noexcept
{
    int p = depth > thresholds[8] ? 8 : 0;
    if (depth > thresholds[p + 4]) p += 4;
    if (depth > thresholds[p + 2]) p += 2;
    if (depth > thresholds[p + 1]) p += 1;
    return p;
}

void PointPlanes::addPoint (float x, float y, float depth)
{
    const int plane = planeOf (depth);

    if (plane == currentPlane)
    {
        segments.getLast()->path.lineTo (x, y);
        return;
    }

    if (currentPlane == -1)
        firstPoint = { x, y };
    else
        segments.getLast()->path.lineTo (x, y);

    auto* segment = segments.add (new Segment());
    segment->plane = plane;
    segment->path.startNewSubPath (x, y);
    currentPlane = plane;
}

void PointPlanes::closePass()
{
    if (currentPlane != -1)
        segments.getLast()->path.lineTo (firstPoint);
}

void PointPlanes::clear()
{
    segments.clear();
    currentPlane = -1;
}

namespace
{
struct Pass
{
    const OutlinePoint* table;
    int first, last; // inclusive, in the order the points are taken
    float sign;      // on x: +1 the right half, -1 its mirror image
    bool closed;
};

void runPass (PointPlanes& planes, const Pass& pass, const float* m)
{
    planes.beginPass();
    const int step = pass.last >= pass.first ? 1 : -1;

    for (int i = pass.first;; i += step)
    {
        const auto& point = pass.table[i];
        const float vx = pass.sign * point.x, vy = point.y, vz = point.z;
        const float x = m[0] * vx + m[1] * vy + m[2] * vz;
        const float y = m[3] * vx + m[4] * vy + m[5] * vz;
        const float z = m[6] * vx + m[7] * vy + m[8] * vz;
        planes.addPoint (x, -z, y);

        if (i == pass.last)
            break;
    }

    if (pass.closed)
        planes.closePass();
}
} // namespace

void buildWireframe (PointPlanes& planes, const float* m)
{
    static const Pass passes[] {
        { NeckRing, 0, 15, -1.0f, true },
        { XY, numXYPointsUsed - 1, 0, 1.0f, false },
        { XY, 0, numXYPointsUsed - 1, -1.0f, false },
        { XZ, 23, 0, 1.0f, false },
        { XZ, 0, 23, -1.0f, false },
        { YZ, 0, 52, -1.0f, false },
        { HZ, 0, 33, -1.0f, false },
        { HZ, 0, 33, 1.0f, false },
    };

    planes.clear();
    for (const auto& pass : passes)
        runPass (planes, pass, m);
    planes.beginPass();
}
} // namespace HeadPanel
