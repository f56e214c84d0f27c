#pragma once

#include "renderer/ChannelProfiles.h"
#include "renderer/SoloMute.h"

#include <atomic>
#include <cstdint>

namespace Zeph
{
// The render settings of one block, as the audio thread took them when the
// block began: a setting changed in mid-block (a smaller layout, say) waits
// for the next one.
struct BlockSpec
{
    uint8_t numInputChannels = 0;
    int32_t numSamples = 0;
    const ChannelProfile* profile = nullptr;
    const SoloMuteRecord* soloMutes = nullptr;
    bool hasDesk = false;
    bool loudspeakerEq = false;
    float volumeGain = 1.0f;
    float directGain = 1.0f;
    float roomGain = 1.0f;
};

// The render settings as the message thread hands them to the audio thread.
// The fields it writes while audio runs are atomics; the audio thread takes
// them all at once at the start of every block (snapshot).
struct RenderSpec
{
    uint8_t numInputChannels = 0; // written only while no audio runs
    std::atomic<const ChannelProfile*> profile { nullptr };
    std::atomic<const SoloMuteRecord*> soloMutes { nullptr };
    std::atomic<bool> hasDesk { false };
    std::atomic<bool> loudspeakerEq { false };
    std::atomic<float> volumeGain { 1.0f };
    std::atomic<float> directGain { 1.0f };
    std::atomic<float> roomGain { 1.0f };

    const ChannelProfile* currentProfile() const noexcept { return profile.load (std::memory_order_acquire); }
    const SoloMuteRecord* currentSoloMutes() const noexcept { return soloMutes.load (std::memory_order_acquire); }

    // The settings for a block of numSamples samples.
    BlockSpec snapshot (int32_t numSamples) const noexcept
    {
        constexpr auto relaxed = std::memory_order_relaxed;
        BlockSpec block;
        block.numInputChannels = numInputChannels;
        block.numSamples = numSamples;
        block.profile = currentProfile();
        block.soloMutes = currentSoloMutes();
        block.hasDesk = hasDesk.load (relaxed);
        block.loudspeakerEq = loudspeakerEq.load (relaxed);
        block.volumeGain = volumeGain.load (relaxed);
        block.directGain = directGain.load (relaxed);
        block.roomGain = roomGain.load (relaxed);
        return block;
    }
};
} // namespace Zeph
