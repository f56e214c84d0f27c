#pragma once

#include "plugin/PluginState.h"

// The saved state: seven "Key=Value" lines joined by CR LF.
namespace SavedState
{
// The text of the current settings.
juce::String write (const PluginState& state);

// Applies every line of the host's data that it knows to the settings,
// clamped into range. Gains and notifications are the caller's.
// The data is read as text up to its first NUL: null or empty data is empty,
// a negative size means NUL-terminated, otherwise at most size bytes. A line
// that is not valid UTF-8 sets nothing.
void read (PluginState& state, const void* data, int size);

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF).
bool isValidUtf8 (const char* bytes, size_t length) noexcept;
} // namespace SavedState
