#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ScreenCapture
{
struct Picture
{
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // 0xffRRGGBB, row by row

    uint32_t at (int x, int y) const { return pixels[(size_t) (y * width + x)]; }
};

// What the X display shows now (the root window with every window on it);
// empty when there is no display.
Picture captureScreen();
} // namespace ScreenCapture
