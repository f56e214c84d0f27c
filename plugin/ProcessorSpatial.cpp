// The spatialiser-on branch of the audio block.
#include "plugin/PluginProcessor.h"
#include "renderer/VectorOps.h"

namespace
{
bool isSpatial (const Zeph::ChannelPos& position) noexcept
{
    return position.type == Zeph::spatial || position.type == Zeph::fullRange;
}
} // namespace

void BinauralAudioProcessor::applyPendingBuild() noexcept
{
    auto& room = render.room;
    if (! room.takePendingReset())
        return;
    room.geometryIndex = pendingGeometry.load (std::memory_order_relaxed);
    render.reverb.setSamplingFrequency (render.settings, room);
    for (auto* ring : render.inputDelays)
        ring->clear();
    render.reverb.resetFilterStates();
    render.eq.resetContexts();
}

void BinauralAudioProcessor::renderRayPair (Zeph::Reflection& reflection, float* outL, float* outR, float gain) noexcept
{
    const int n = blockSpec.numSamples;
    float* const* work = render.workBuffer.getArrayOfWritePointers();
    const auto& ring = *render.inputDelays.getUnchecked (reflection.channel);
    reflection.left.renderAudio (render.settings, ring, work[0], work[2], n, gain);
    reflection.right.renderAudio (render.settings, ring, work[1], work[2], n, gain);
    Zeph::Vec::add (outL, work[0], outL, n);
    Zeph::Vec::add (outR, work[1], outR, n);
}

// Renders through the batch unless the reference per-ray path is chosen.
void BinauralAudioProcessor::queueRayPair (Zeph::Reflection& reflection, float* outL, float* outR, float gain) noexcept
{
    if (render.referenceRays)
        return renderRayPair (reflection, outL, outR, gain);

    auto& batch = render.rayBatch;
    if (batch.full())
        renderQueuedRays (outL, outR);
    batch.add (reflection.left, reflection.right, *render.inputDelays.getUnchecked (reflection.channel), gain);
}

void BinauralAudioProcessor::renderQueuedRays (float* outL, float* outR) noexcept
{
    auto& batch = render.rayBatch;
    if (! batch.empty())
        batch.render (render.settings, outL, outR, blockSpec.numSamples);
}

// The swap check. Rays queued from the set that a flip retires are rendered
// before the flip, while that set cannot yet be rebuilt.
Zeph::Room::ReflectionSet& BinauralAudioProcessor::swapCheck (float* outL, float* outR) noexcept
{
    if (render.room.swapDue())
        renderQueuedRays (outL, outR);
    return render.room.takePendingSwap();
}

void BinauralAudioProcessor::renderRoomReflections (float* outL, float* outR, const Zeph::ChannelProfile& profile,
                                                    int numChannels, const SoloMuteRecord& soloMutes,
                                                    bool hasDesk, float gain) noexcept
{
    auto& room = render.room;
    for (int c = 0; c < numChannels; ++c)
    {
        if (! isSpatial (*profile.positions.getUnchecked (c)) || ! soloMutes.sounds (c))
            continue;
        auto& set = swapCheck (outL, outR);
        room.curChannel = (uint8_t) c;
        room.curReflection = 0;
        for (int r = room.curReflection; r < set.size(); ++r)
        {
            auto& reflection = *set.getUnchecked (r);
            if (reflection.channel != room.curChannel || reflection.isDirect)
                continue;
            const bool skip = (reflection.isDeskReflection && ! hasDesk) || (reflection.isFloorReflection && hasDesk);
            if (! skip)
                queueRayPair (reflection, outL, outR, gain);
            room.curReflection = r + 1;
        }
    }
    renderQueuedRays (outL, outR);
}

void BinauralAudioProcessor::renderDirectSound (float* outL, float* outR, const Zeph::ChannelProfile& profile,
                                                int numChannels, const SoloMuteRecord& soloMutes, float gain) noexcept
{
    for (int c = 0; c < numChannels; ++c)
    {
        const auto& position = *profile.positions.getUnchecked (c);
        if (isSpatial (position))
        {
            if (! soloMutes.sounds (c))
                continue;
            for (auto* reflection : swapCheck (outL, outR))
                if (reflection->channel == c && reflection->isDirect)
                {
                    queueRayPair (*reflection, outL, outR, gain);
                    break;
                }
        }
        else if (position.type == Zeph::lfe)
        {
            renderQueuedRays (outL, outR); // keeps the order of the additions
            render.addSimpleDownmix (outL, outR, blockSpec, (uint8_t) c);
        }
    }
    renderQueuedRays (outL, outR);
}

void BinauralAudioProcessor::renderSpatial (float* outL, float* outR) noexcept
{
    const int n = blockSpec.numSamples;
    Zeph::Vec::clear (outL, n);
    Zeph::Vec::clear (outR, n);

    constexpr auto relaxed = std::memory_order_relaxed;
    const auto* profile = blockSpec.currentProfile();
    const auto* soloMutes = blockSpec.currentSoloMutes();
    const float volume = blockSpec.volumeGain.load (relaxed);
    const float roomGain = blockSpec.roomGain.load (relaxed) * volume;
    const float directGain = blockSpec.directGain.load (relaxed) * volume;
    const bool hasDesk = blockSpec.hasDesk.load (relaxed);
    const bool loudspeakerEq = blockSpec.loudspeakerEq.load (relaxed);
    const int numChannels = profile == nullptr ? 0
                                               : juce::jmin<int> ((uint8_t) profile->numPositions(),
                                                                  blockSpec.numInputChannels);

    if (numChannels > 0 && soloMutes != nullptr)
        renderRoomReflections (outL, outR, *profile, numChannels, *soloMutes, hasDesk, roomGain);

    auto& room = render.room;
    render.reverb.process (outL, outR, n, render.workBuffer.getArrayOfWritePointers(), render.settings.rateRatio,
                           room.geometryIndex, room.reverbGainLeft.load (std::memory_order_relaxed),
                           room.reverbGainRight.load (std::memory_order_relaxed));
    render.eq.roomStage (outL, outR, n, loudspeakerEq);

    if (numChannels > 0 && soloMutes != nullptr)
        renderDirectSound (outL, outR, *profile, numChannels, *soloMutes, directGain);

    if (loudspeakerEq)
        render.eq.outputStage (outL, outR, n);
}
