#pragma once

#include "tools/host/PluginHost.h"

namespace VbHost
{
// The plug-in's settings as the render command takes them; they become its state text.
struct RenderSettings
{
    int layout = 1;       // layout id 0..15
    int room = 1;         // 0 "Speech optimised", 1 "Mixing studio", 2 "Hall"
    int loudspeakers = 0; // 0 "Full range", 1 "Nearfield"
    int volumeTrim = 26;  // 0..32, 26 is 0 dB
    int reverbTrim = 16;  // 0..32, 16 is neutral
};

// The state text for the settings, with the spatialiser on and no solo or mute.
juce::String stateTextFor (const RenderSettings& settings);

// The value of a "Key=Value" line of a state text; empty when there is none.
juce::String stateValue (const juce::String& stateText, const juce::String& key);

// Hands state bytes to the plug-in: a host blob (as a DAW stores it) or the plug-in's own text.
void applyState (HostedPlugin& plugin, const juce::MemoryBlock& state);

// One run of an audio file, or of the built-in burst sequence, through the plug-in
// into a stereo WAV file.
struct RenderJob
{
    juce::File input;              // none: the built-in burst sequence
    int burstChannels = 0;         // channels of the built-in sequence
    double sampleRate = 48000.0;   // of the built-in sequence; a file brings its own
    juce::File output;
    int bitsPerSample = 32;        // 32 (float) or 24
    int blockSize = 512;
    double tailSeconds = 1.0;      // rendered after the input so that the room dies out
    juce::MemoryBlock state;       // applied after preparing; empty keeps the plug-in's own
};

struct RenderOutcome
{
    int numInputs = 0;
    double sampleRate = 0.0;
    juce::int64 inputSamples = 0;
    juce::int64 outputSamples = 0; // input plus tail
    float peak = 0.0f;             // largest absolute output sample
    juce::int64 nonFinite = 0;     // NaN or infinite output samples
};

// Prepares the plug-in for the input, applies the job's state (after preparing, so that
// the plug-in builds its room at the render's rate), streams the input and then the
// tail through it block by block and writes outputs 0 and 1. False and a message when
// the input cannot be read, the plug-in refuses the layout or the output cannot be written.
bool renderToFile (HostedPlugin& plugin, const RenderJob& job, RenderOutcome& outcome, juce::String& error);
} // namespace VbHost
