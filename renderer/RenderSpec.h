#pragma once

#include "renderer/ChannelProfiles.h"
#include "renderer/SoloMute.h"

#include <atomic>
#include <cstdint>

namespace Zeph
{
// Parameters of the block being rendered. The fields the message thread
// writes while audio runs are atomics; the audio thread reads them relaxed.
struct RenderSpec
{
    uint8_t numInputChannels = 0;
    int32_t numSamples = 0;
    std::atomic<const ChannelProfile*> profile { nullptr };
    std::atomic<const SoloMuteRecord*> soloMutes { nullptr };
    std::atomic<bool> hasDesk { false };
    std::atomic<bool> loudspeakerEq { false };
    std::atomic<float> volumeGain { 1.0f };
    std::atomic<float> directGain { 1.0f };
    std::atomic<float> roomGain { 1.0f };

    const ChannelProfile* currentProfile() const noexcept { return profile.load (std::memory_order_acquire); }
    const SoloMuteRecord* currentSoloMutes() const noexcept { return soloMutes.load (std::memory_order_acquire); }
};
} // namespace Zeph
