#pragma once

#include <cstdint>

// The colours, wireframe line widths and button images of the head-tracking
// panels. Colours are ARGB, alpha in the top byte, as juce::Colour takes them.
// Readers hold a const pointer and never change the record.
struct Theme
{
    uint32_t background;  // settings dialog; the status dots of the head display
    uint32_t titleBar;    // strip behind a panel's title
    uint32_t headingText; // heading labels
    uint32_t titleText;   // a panel's title
    uint32_t statusText;  // status labels
    uint32_t controlText; // radio text and tick; opacity of a head button without hover highlight
    uint32_t controlDim;  // radio ring; opacity of a head button with hover highlight
    uint32_t highlight;   // hovered head button; idle outline of the head display
    uint32_t bootloader;  // outline and words of the head display in bootloader mode
    uint32_t lineBack;    // wireframe colour of the farthest depth plane
    uint32_t lineFront;   // wireframe colour of the nearest depth plane
    float lineWidthFront; // wireframe widths, in units of the unit head
    float lineWidthBack;
    bool darkImages;      // which column of the head-button sprite sheet to use
};

extern const Theme DarkTheme;
