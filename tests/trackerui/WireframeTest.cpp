#include "trackerui/HeadOutline.h"
#include "trackerui/PlotColours.h"
#include "trackerui/PointPlanes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

using HeadPanel::PointPlanes;

namespace
{
const float identity[9] { 1, 0, 0, 0, 1, 0, 0, 0, 1 };

// Points of a segment's path, in order.
std::vector<juce::Point<float>> pointsOf (const juce::Path& path)
{
    std::vector<juce::Point<float>> points;
    for (juce::Path::Iterator it (path); it.next();)
        points.push_back ({ it.x1, it.y1 });
    return points;
}
} // namespace

TEST (PointPlanes, DepthPlanesFollowTheThresholds)
{
    PointPlanes planes;
    EXPECT_FLOAT_EQ (planes.thresholds[0], -0.9951847f);
    EXPECT_FLOAT_EQ (planes.thresholds[15], 0.9951847f);

    const struct
    {
        float depth;
        int plane;
    } cases[] {
        { 0.0f, 7 }, { 1.0f, 15 }, { -1.0f, 0 }, { 0.762f, 11 }, { -0.613f, 4 },
        { std::numeric_limits<float>::quiet_NaN(), 0 }, { 1.0e30f, 15 }, { -1.0e30f, 0 },
    };
    for (const auto& c : cases)
        EXPECT_EQ (planes.planeOf (c.depth), c.plane) << c.depth;

    // A depth on a threshold takes the lower plane; just above it, the upper.
    for (int k = 1; k < 16; ++k)
    {
        EXPECT_EQ (planes.planeOf (planes.thresholds[k]), k - 1) << k;
        EXPECT_EQ (planes.planeOf (std::nextafter (planes.thresholds[k], 2.0f)), k) << k;
    }
}

TEST (PointPlanes, IdentityHeadFromBehind)
{
    PointPlanes planes;
    const int expected[16] { 7, 6, 6, 5, 5, 5, 6, 6, 7, 8, 8, 9, 9, 9, 8, 8 };
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ (planes.planeOf (HeadPanel::NeckRing[i].y), expected[i]) << "neck point " << i;

    HeadPanel::buildWireframe (planes, identity);
    EXPECT_EQ (planes.segments.size(), 58);
    EXPECT_EQ (planes.currentPlane, -1);

    std::set<int> used;
    for (auto* segment : planes.segments)
        used.insert (segment->plane);
    EXPECT_GE (*used.begin(), 3);
    EXPECT_LE (*used.rbegin(), 11);

    // The first pass starts at the first neck point, mirrored, and ends back there.
    const auto first = pointsOf (planes.segments[0]->path).front();
    EXPECT_FLOAT_EQ (first.x, 0.414f);
    EXPECT_FLOAT_EQ (first.y, 0.68f);
}

TEST (PointPlanes, PlaneChangesSplitPolylinesAtTheLaterPoint)
{
    PointPlanes planes;

    // One plane throughout: one segment, closed back to its first point.
    planes.addPoint (0, 0, 0.0f);
    planes.addPoint (1, 0, 0.01f);
    planes.addPoint (1, 1, -0.01f);
    planes.closePass();
    ASSERT_EQ (planes.segments.size(), 1);
    EXPECT_EQ (pointsOf (planes.segments[0]->path),
               (std::vector<juce::Point<float>> { { 0, 0 }, { 1, 0 }, { 1, 1 }, { 0, 0 } }));

    // The piece leading into another plane belongs to the earlier point's segment.
    planes.beginPass();
    planes.addPoint (5, 5, 0.0f);  // plane 7
    planes.addPoint (6, 5, 0.999f); // plane 15
    planes.addPoint (7, 5, 0.999f);
    ASSERT_EQ (planes.segments.size(), 3);
    EXPECT_EQ (planes.segments[1]->plane, 7);
    EXPECT_EQ (pointsOf (planes.segments[1]->path), (std::vector<juce::Point<float>> { { 5, 5 }, { 6, 5 } }));
    EXPECT_EQ (planes.segments[2]->plane, 15);
    EXPECT_EQ (pointsOf (planes.segments[2]->path), (std::vector<juce::Point<float>> { { 6, 5 }, { 7, 5 } }));
    EXPECT_EQ (planes.firstPoint, juce::Point<float> (5, 5));
}

TEST (PointPlanes, TurnedHeadShowsItsFaceAndStaysInTheCircle)
{
    // Yaw of +90 degrees: the face turns to the viewer's left.
    const float yaw90[9] { 0, -1, 0, 1, 0, 0, 0, 0, 1 };
    PointPlanes planes;
    HeadPanel::buildWireframe (planes, yaw90);

    juce::Rectangle<float> bounds;
    for (auto* segment : planes.segments)
        bounds = bounds.getUnion (segment->path.getBounds());
    EXPECT_LT (bounds.getX(), -0.7f);  // the nose tip
    EXPECT_GT (bounds.getRight(), 0.6f); // the back of the head
    EXPECT_LT (juce::jmax (-bounds.getX(), bounds.getRight(), -bounds.getY(), bounds.getBottom()), 1.0f);
}

TEST (PlotColours, FrontAndBackPlanesTakeTheThemeValues)
{
    const HeadPanel::PlotColours colours (&DarkTheme);
    EXPECT_EQ (colours.theme, &DarkTheme);
    EXPECT_EQ (colours.lineColours[0].getARGB(), DarkTheme.lineFront);
    EXPECT_EQ (colours.lineColours[15].getARGB(), DarkTheme.lineBack);
    EXPECT_FLOAT_EQ (colours.lineWidths[0], 0.065f);
    EXPECT_FLOAT_EQ (colours.lineWidths[15], 0.033f);
    EXPECT_FLOAT_EQ (colours.lineWidths[5], (10 * 0.065f + 5 * 0.033f) / 15);

    // Plane 8, w = 0.52175: red 0xf4 * 0.47825 + 0x92 * 0.52175 = 192.93, truncated.
    EXPECT_EQ (colours.lineColours[8].getRed(), 192);
    EXPECT_EQ (HeadPanel::shadeChannel (0xf4, 0x92, 0.52175f), 192);
    EXPECT_EQ (HeadPanel::shadeChannel (200, 100, 0.5f), 150);
    EXPECT_EQ (HeadPanel::shadeChannel (0, 255, 0.9999f), 254);

    for (int i = 1; i < 16; ++i)
        EXPECT_LE (colours.lineColours[i].getGreen(), colours.lineColours[i - 1].getGreen()) << i;
}
