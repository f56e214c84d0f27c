#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>

// The layers around a plug-in's own state as a JUCE host stores it:
// host blob = XML "VST3PluginState" (in JUCE's binary XML wrapper) with base64
// children "IComponent" and "IEditController"; the component's stream is the
// plug-in's own bytes followed by the framework's private trailer, which ends
// with the text "JUCEPrivateData".
namespace VbHost::HostState
{
// The component's stream inside a host blob; false when there is none.
bool componentStream (const juce::MemoryBlock& hostBlob, juce::MemoryBlock& result);

// True when the stream ends with the framework's private trailer.
bool hasFrameworkTrailer (const juce::MemoryBlock& stream);

// The stream without the framework's trailer (unchanged when it has none).
juce::MemoryBlock stripFrameworkTrailer (const juce::MemoryBlock& stream);

// A component stream as the framework writes one: the plug-in's bytes, eight zero
// bytes, the private data, the given length (little endian) and "JUCEPrivateData".
juce::MemoryBlock withFrameworkTrailer (const juce::MemoryBlock& pluginBytes, const juce::MemoryBlock& privateData,
                                        uint64_t length);

// The plug-in's own bytes inside a host blob (empty when there is no component state).
juce::MemoryBlock pluginBytes (const juce::MemoryBlock& hostBlob);

// A host blob that hands exactly these bytes to the component (no trailer, no controller state).
juce::MemoryBlock hostBlobFor (const juce::MemoryBlock& pluginBytes);
} // namespace VbHost::HostState
