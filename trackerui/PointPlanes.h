#pragma once

#include <juce_graphics/juce_graphics.h>

namespace HeadPanel
{
// The head wireframe of one orientation: 2-D polylines in unit-head
// coordinates, each belonging to one of 16 depth planes (0 nearest).
struct PointPlanes
{
    static constexpr int numPlanes = 16;

    struct Segment
    {
        int plane = 0;
        juce::Path path; // one open polyline
    };

    PointPlanes();

    // The plane of a depth: how many of thresholds[1..15] lie strictly below it.
    // A depth equal to a threshold takes the lower plane; not-a-number takes plane 0.
    int planeOf (float depth) const noexcept;

    // Appends a projected point to the current pass. A line piece that crosses
    // into another plane belongs to the plane of the point it starts from.
    void addPoint (float x, float y, float depth);
    // The next point starts a new polyline.
    void beginPass() noexcept { currentPlane = -1; }
    // Closes the current pass with a line back to its first point.
    void closePass();
    void clear();

    juce::OwnedArray<Segment> segments;
    juce::Point<float> firstPoint;
    int currentPlane = -1;
    float thresholds[numPlanes]; // -cos ((k + 0.5) pi / 16), rising
};

// Clears planes and turns the unit head by the row-major rotation m, in eight
// passes: the neck ring, both halves of the horizontal and of the ear section,
// the mid-line profile and the diagonal profile on both sides. The screen x is
// the turned x, the screen y the negated turned z, the depth the turned y.
void buildWireframe (PointPlanes& planes, const float* m);
} // namespace HeadPanel
