#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>

namespace Zeph
{
enum ChannelType : int32_t
{
    silent = 0,    // neither rendered nor downmixed
    lfe = 1,       // only ever downmixed
    spatial = 2,   // rendered binaurally, downmixed with the spatialiser off
    fullRange = 3  // treated exactly as spatial
};

// One loudspeaker: a unit direction and its plain-downmix gains.
struct ChannelPos
{
    juce::String name;
    float x = 0.0f; // right
    float y = 0.0f; // front
    float z = 0.0f; // up
    float gainLeft = 0.0f;
    float gainRight = 0.0f;
    ChannelType type = silent;
};

// One loudspeaker layout; position i belongs to input channel i.
struct ChannelProfile
{
    juce::String name;
    uint8_t minChannels = 0;
    uint8_t maxChannels = 0;
    uint8_t id = 0;
    juce::OwnedArray<ChannelPos> positions;

    void addPos (const juce::String& posName, float azimuth, float elevation,
                 float leftDb, float rightDb, ChannelType posType = fullRange);

    int numPositions() const noexcept { return positions.size(); }
};

// The built-in table of 16 layouts, in the order of the editor's list.
struct ChannelProfiles
{
    ChannelProfiles();

    void addProfile (const juce::String& name, uint8_t minChannels, uint8_t maxChannels, uint8_t id);

    // The layout with the given id, or null.
    const ChannelProfile* findById (int id) const noexcept;

    juce::OwnedArray<ChannelProfile> profiles;
};
} // namespace Zeph
