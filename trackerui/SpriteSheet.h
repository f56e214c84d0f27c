#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The head buttons' images: one built-in PNG sheet of 440 by 180 pixels holding
// the settings and connection symbols at three display scales, each drawn for
// dark and for light themes.
namespace HeadPanel
{
enum class SpriteScale
{
    three,      // displays of more than 192 dots per inch
    oneAndHalf, // more than 96, up to 192
    one         // 96 or fewer, or no main display
};

enum class SpriteImage
{
    settings,
    connectMain,       // a connected tracker
    connectAlternative // a tracker disconnected by the user
};

constexpr int spriteSheetWidth = 440;
constexpr int spriteSheetHeight = 180;

// Where an image lies in the sheet. The scale 1 settings rectangle reaches two
// pixels past the sheet's right edge; cutting clips it.
juce::Rectangle<int> spriteRectangle (SpriteImage image, bool darkImages, SpriteScale scale) noexcept;

SpriteScale scaleForDpi (double dotsPerInch) noexcept;
// Null (a headless host, an empty display list) chooses scale 1.
SpriteScale scaleForDisplay (const juce::Displays::Display* mainDisplay) noexcept;
// The first display marked as the main one. Message thread.
SpriteScale scaleForMainDisplay();

// The decoded sheet; an invalid image if the embedded data does not decode.
juce::Image loadSpriteSheet();

// The part of the sheet inside area, clipped to the sheet, with pixels of its own.
juce::Image cutSprite (const juce::Image& sheet, juce::Rectangle<int> area);
} // namespace HeadPanel
