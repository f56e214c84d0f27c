#include "plugin/BlockRenderer.h"

#include "renderer/vector/VectorOps.h"

namespace
{
bool isSpatial (const Zeph::ChannelPos& position) noexcept
{
    return position.type == Zeph::spatial || position.type == Zeph::fullRange;
}
} // namespace

void BlockRenderer::prepare() noexcept
{
    render.reverb.setSamplingFrequency (render.settings, render.room);
    render.eq.setSamplingFrequency (render.settings);

    for (auto* ring : render.inputDelays)
        ring->clear();
    render.reverb.resetFilterStates();
    render.eq.resetContexts();
}

void BlockRenderer::renderBlock (const float* const* inputs, int numInputs, float* outL, float* outR,
                                 const Zeph::BlockSpec& blockSpec, bool bypassed) noexcept
{
    spec = blockSpec;
    applyPendingBuild();

    // Inputs go into the rings before anything writes the outputs, which share storage with them.
    const int n = spec.numSamples;
    numInputs = juce::jmin<int> (spec.numInputChannels, numInputs);
    for (int k = 0; k < numInputs; ++k)
        render.inputDelays.getUnchecked (k)->write (inputs[k], n);

    if (bypassed)
        renderDownmix (outL, outR);
    else
        renderSpatial (outL, outR);

    render.silenceNonFiniteOutput (outL, outR, n);
}

void BlockRenderer::renderDownmix (float* outL, float* outR) noexcept
{
    const int n = spec.numSamples;
    Zeph::Vec::clear (outL, n);
    Zeph::Vec::clear (outR, n);

    if (const auto* profile = spec.profile)
    {
        const int count = juce::jmin<int> ((uint8_t) profile->numPositions(), spec.numInputChannels);
        for (int c = 0; c < count; ++c)
            render.addSimpleDownmix (outL, outR, spec, (uint8_t) c);
    }

    // The lines keep running on silence so that what they hold dies away.
    const float* silence = render.silentBuffer.getReadPointer (0);
    render.reverb.feedLines (silence, silence, n);
}

void BlockRenderer::applyPendingBuild() noexcept
{
    auto& room = render.room;
    if (! room.takePendingReset())
        return;
    room.geometryIndex = roomBuilder.builtGeometry();
    render.reverb.setSamplingFrequency (render.settings, room);
    for (auto* ring : render.inputDelays)
        ring->clear();
    render.reverb.resetFilterStates();
    render.eq.resetContexts();
}

void BlockRenderer::renderRayPair (Zeph::Reflection& reflection, float* outL, float* outR, float gain) noexcept
{
    const int n = spec.numSamples;
    float* const* work = render.workBuffer.getArrayOfWritePointers();
    const auto& ring = *render.inputDelays.getUnchecked (reflection.channel);
    reflection.left.renderAudio (render.settings, ring, work[0], work[2], n, gain);
    reflection.right.renderAudio (render.settings, ring, work[1], work[2], n, gain);
    Zeph::Vec::add (outL, work[0], outL, n);
    Zeph::Vec::add (outR, work[1], outR, n);
}

// Renders through the batch unless the reference per-ray path is chosen.
void BlockRenderer::queueRayPair (Zeph::Reflection& reflection, float* outL, float* outR, float gain) noexcept
{
    if (render.referenceRays)
        return renderRayPair (reflection, outL, outR, gain);

    auto& batch = render.rayBatch;
    if (batch.full())
        renderQueuedRays (outL, outR);
    batch.add (reflection.left, reflection.right, *render.inputDelays.getUnchecked (reflection.channel), gain);
}

void BlockRenderer::renderQueuedRays (float* outL, float* outR) noexcept
{
    auto& batch = render.rayBatch;
    if (! batch.empty())
        batch.render (render.settings, outL, outR, spec.numSamples);
}

// The swap check. Rays queued from the set that a flip retires are rendered
// before the flip, while that set cannot yet be rebuilt. Every flip hands
// over the other set, so a set other than the indexed one needs indexing,
// and its rays may sit where rays the batch has kept lanes for sat.
Zeph::Room::ReflectionSet& BlockRenderer::swapCheck (float* outL, float* outR) noexcept
{
    if (render.room.swapDue())
        renderQueuedRays (outL, outR);
    auto& set = render.room.takePendingSwap();
    if (&set != ranges.set)
    {
        ranges.index (set);
        render.rayBatch.forgetKeptLanes();
    }
    return set;
}

void BlockRenderer::ChannelRanges::index (const Zeph::Room::ReflectionSet& reflections) noexcept
{
    set = &reflections;
    for (int c = 0; c < numChannels; ++c)
    {
        begin[c] = end[c] = 0;
        direct[c] = -1;
    }
    for (int r = reflections.size(); --r >= 0;)
    {
        const auto& reflection = *reflections.getUnchecked (r);
        const int c = reflection.channel;
        if (c >= numChannels)
            continue;
        if (end[c] == 0)
            end[c] = r + 1;
        begin[c] = r;
        if (reflection.isDirect)
            direct[c] = r;
    }
}

void BlockRenderer::renderRoomReflections (float* outL, float* outR, const Zeph::ChannelProfile& profile,
                                                    int numChannels, const SoloMuteRecord& soloMutes,
                                                    bool hasDesk, float gain) noexcept
{
    auto& room = render.room;
    auto& batch = render.rayBatch;
    ReflectionPass pass { &profile, numChannels, 0, hasDesk, gain, render.settings.filterMask,
                          batch.keptGeneration() };
    for (int c = 0; c < numChannels; ++c)
        if (isSpatial (*profile.positions.getUnchecked (c)) && soloMutes.sounds (c))
            pass.sounding |= 1u << c;

    // A flip is due only from the start of a block, so without one the set
    // stays for the whole pass.
    if (! render.referenceRays && ! room.swapDue() && lastPassGroups >= 0 && pass == lastPass)
    {
        batch.replayKeptGroups (lastPassGroups, outL, outR, spec.numSamples);
        return;
    }

    for (int c = 0; c < numChannels; ++c)
    {
        if (((pass.sounding >> c) & 1u) == 0)
            continue;
        auto& set = swapCheck (outL, outR);
        room.curChannel = (uint8_t) c;
        room.curReflection = 0;
        // The set holds none of the channel's reflections before begin[c] or from end[c] on.
        for (int r = ranges.begin[c]; r < ranges.end[c]; ++r)
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

    // What this pass rendered, if the next may replay it.
    pass.batchGeneration = batch.keptGeneration();
    lastPass = pass;
    lastPassGroups = render.referenceRays ? -1 : batch.keptGroups();
}

void BlockRenderer::renderDirectSound (float* outL, float* outR, const Zeph::ChannelProfile& profile,
                                                int numChannels, const SoloMuteRecord& soloMutes, float gain) noexcept
{
    for (int c = 0; c < numChannels; ++c)
    {
        const auto& position = *profile.positions.getUnchecked (c);
        if (isSpatial (position))
        {
            if (! soloMutes.sounds (c))
                continue;
            auto& set = swapCheck (outL, outR);
            if (ranges.direct[c] >= 0)
                queueRayPair (*set.getUnchecked (ranges.direct[c]), outL, outR, gain);
        }
        else if (position.type == Zeph::lfe)
        {
            renderQueuedRays (outL, outR); // keeps the order of the additions
            render.addSimpleDownmix (outL, outR, spec, (uint8_t) c);
        }
    }
    renderQueuedRays (outL, outR);
}

void BlockRenderer::renderSpatial (float* outL, float* outR) noexcept
{
    const int n = spec.numSamples;
    Zeph::Vec::clear (outL, n);
    Zeph::Vec::clear (outR, n);

    // The one-ray path reads the rays' own filter memories.
    if (render.referenceRays)
        render.rayBatch.returnHeldMemories();
    render.rayBatch.startBlock();

    const auto* profile = spec.profile;
    const auto* soloMutes = spec.soloMutes;
    const float roomGain = spec.roomGain * spec.volumeGain;
    const float directGain = spec.directGain * spec.volumeGain;
    // Every channel rendered has an input ring (no layout has more positions).
    const int numChannels = profile == nullptr ? 0
                                               : juce::jmin<int> ((uint8_t) profile->numPositions(),
                                                                  spec.numInputChannels, ChannelRanges::numChannels);

    if (numChannels > 0 && soloMutes != nullptr)
        renderRoomReflections (outL, outR, *profile, numChannels, *soloMutes, spec.hasDesk, roomGain);

    auto& room = render.room;
    render.reverb.process (outL, outR, n, render.workBuffer.getArrayOfWritePointers(), render.settings.rateRatio,
                           room.geometryIndex, room.reverbGainLeft.load (std::memory_order_relaxed),
                           room.reverbGainRight.load (std::memory_order_relaxed));
    render.eq.roomStage (outL, outR, n, spec.loudspeakerEq);

    if (numChannels > 0 && soloMutes != nullptr)
        renderDirectSound (outL, outR, *profile, numChannels, *soloMutes, directGain);

    if (spec.loudspeakerEq)
        render.eq.outputStage (outL, outR, n);
}
