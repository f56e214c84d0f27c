#pragma once

#include "plugin/PluginState.h"

// The saved state: seven "Key=Value" lines joined by CR LF.
namespace SavedState
{
// The text of the current settings.
juce::String write (const PluginState& state);

// Applies every line of the text it knows to the settings, clamped into range.
// Gains and notifications are the caller's.
void read (PluginState& state, const juce::String& text);

// The host's data as text: null, empty or NUL-first data is empty; a negative
// size means NUL-terminated; otherwise exactly size bytes of UTF-8.
juce::String textFromData (const void* data, int size);
} // namespace SavedState
