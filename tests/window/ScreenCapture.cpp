// Kept apart from JUCE: Xlib's macros clash with its names.
#include "ScreenCapture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace ScreenCapture
{
namespace
{
int shiftOf (unsigned long mask)
{
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0)
    {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

uint32_t channel (unsigned long pixel, unsigned long mask)
{
    const unsigned long value = (pixel & mask) >> shiftOf (mask);
    const unsigned long maximum = mask >> shiftOf (mask);
    return maximum == 0 ? 0 : (uint32_t) (value * 255 / maximum);
}
} // namespace

Picture captureScreen()
{
    Picture picture;
    Display* display = XOpenDisplay (nullptr);
    if (display == nullptr)
        return picture;

    const Window root = DefaultRootWindow (display);
    XWindowAttributes attributes;
    XGetWindowAttributes (display, root, &attributes);

    if (XImage* image = XGetImage (display, root, 0, 0, (unsigned) attributes.width, (unsigned) attributes.height,
                                   AllPlanes, ZPixmap))
    {
        picture.width = attributes.width;
        picture.height = attributes.height;
        picture.pixels.resize ((size_t) (picture.width * picture.height));

        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
            {
                const unsigned long p = XGetPixel (image, x, y);
                picture.pixels[(size_t) (y * picture.width + x)] = 0xff000000u | (channel (p, image->red_mask) << 16)
                                                                   | (channel (p, image->green_mask) << 8)
                                                                   | channel (p, image->blue_mask);
            }

        XDestroyImage (image);
    }

    XCloseDisplay (display);
    return picture;
}
} // namespace ScreenCapture
