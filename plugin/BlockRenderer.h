#pragma once

#include "plugin/RoomBuilder.h"
#include "renderer/Render.h"
#include "renderer/RenderSpec.h"

// The audio thread's work on one block of at most Zeph::Render::maxBlock
// samples: the inputs into their history rings, then either the plain
// downmix (spatialiser off) or the room reflections, the reverb, the direct
// sound and the equalisers, into outputs 0 and 1. It takes the room
// builder's newest set over at the start of a block and never waits.
class BlockRenderer
{
public:
    BlockRenderer (Zeph::Render& renderState, const RoomBuilder& builder) noexcept
        : render (renderState), roomBuilder (builder)
    {
    }

    // While no audio runs: the reverb and equaliser designed for the current
    // rate, the input rings and the filter states cleared.
    void prepare() noexcept;

    // Takes over a new build: its geometry for the reverb, and cleared rings and
    // filter states. At the start of every block, and after a build while no
    // audio runs.
    void applyPendingBuild() noexcept;

    // One block: inputs[0 .. numInputs) in the host's channel order into the
    // rings, then the two outputs into outL and outR, which may share storage
    // with inputs.
    void renderBlock (const float* const* inputs, int numInputs, float* outL, float* outR,
                      const Zeph::BlockSpec& blockSpec, bool bypassed) noexcept;

private:
    void renderDownmix (float* outL, float* outR) noexcept;
    void renderSpatial (float* outL, float* outR) noexcept;
    void renderRoomReflections (float* outL, float* outR, const Zeph::ChannelProfile& profile, int numChannels,
                                const SoloMuteRecord& soloMutes, bool hasDesk, float gain) noexcept;
    void renderDirectSound (float* outL, float* outR, const Zeph::ChannelProfile& profile, int numChannels,
                            const SoloMuteRecord& soloMutes, float gain) noexcept;
    void renderRayPair (Zeph::Reflection& reflection, float* outL, float* outR, float gain) noexcept;
    void queueRayPair (Zeph::Reflection& reflection, float* outL, float* outR, float gain) noexcept;
    void renderQueuedRays (float* outL, float* outR) noexcept;
    Zeph::Room::ReflectionSet& swapCheck (float* outL, float* outR) noexcept;

    // Where each channel's reflections lie in the active set: from its first
    // to one past its last, and its first direct sound (-1: none). Made anew
    // whenever the swap check hands over another set, so that a block walks
    // only a channel's own stretch of the set.
    struct ChannelRanges
    {
        static constexpr int numChannels = Zeph::Render::numInputRings;

        const Zeph::Room::ReflectionSet* set = nullptr;
        int32_t begin[numChannels];
        int32_t end[numChannels];
        int32_t direct[numChannels];

        void index (const Zeph::Room::ReflectionSet& reflections) noexcept;
    };

    // What decides the pairs the reflection pass queues, and in which order.
    // While it holds from one block to the next and no flip is due, the
    // pass replays the ray batch's static groups of the block before. The
    // set needs no place here: every flip makes the batch forget its kept
    // lanes, which moves batchGeneration on.
    struct ReflectionPass
    {
        const Zeph::ChannelProfile* profile = nullptr;
        int numChannels = 0;
        uint32_t sounding = 0; // a bit per channel whose reflections are queued
        bool hasDesk = false;
        float gain = 0.0f;
        int32_t filterMask = 0;
        uint32_t batchGeneration = 0;

        bool operator== (const ReflectionPass& other) const noexcept
        {
            return profile == other.profile && numChannels == other.numChannels
                   && sounding == other.sounding && hasDesk == other.hasDesk && gain == other.gain
                   && filterMask == other.filterMask && batchGeneration == other.batchGeneration;
        }
    };

    ReflectionPass lastPass;
    int lastPassGroups = -1; // the batch's static groups of lastPass; -1: none to replay

    Zeph::Render& render;
    const RoomBuilder& roomBuilder;
    Zeph::BlockSpec spec; // the block in hand
    ChannelRanges ranges;
};
