#pragma once

#include "shared/HeadMatrix.h"

#include <juce_core/juce_core.h>

#include <cstdint>

namespace Tracker
{
// Orientation format of the tracker's output; the wire code is 01, 05 or 09.
enum class AngleMode : int32_t
{
    yawPitchRoll = 0,
    quaternion = 1,
    matrix = 2
};

// Output rate of the tracker; the system always asks for rate1.
enum class Rate : int32_t
{
    rate0 = 0,
    rate1 = 1,
    rate2 = 2
};

enum class TravelMode : int32_t
{
    off = 0,
    slowCorrection = 1,
    fastCorrection = 2
};

enum class CompassState : int32_t
{
    off = 0,
    calibrating = 1,
    succeeded = 2,
    failed = 3,
    goodData = 4,
    badData = 5
};

// One identified tracker: what was last asked of it, what it last reported, and its
// current head orientation.
struct Properties
{
    static constexpr int nameSize = 128;

    // A record with an empty name, which stands for no tracker.
    Properties() noexcept;

    // A new record for the tracker of that name: its first 127 bytes, NUL-padded.
    explicit Properties (const juce::String& trackerName) noexcept;

    // True when the stored name equals the given one byte for byte.
    bool hasName (const juce::String& trackerName) const noexcept;

    char name[nameSize];
    AngleMode angleMode = AngleMode::quaternion;
    Rate rate = Rate::rate1;
    bool chirality = false;
    bool useCompass = false;
    bool slowCentralPull = false;
    bool param4HighBits = false;
    uint8_t shakeStage = 0;
    TravelMode travelMode = TravelMode::off;
    CompassState compassState = CompassState::off;
    HeadMatrix headMatrix;
};
} // namespace Tracker

using Tracker::CompassState;
