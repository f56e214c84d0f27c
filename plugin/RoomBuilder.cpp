#include "plugin/RoomBuilder.h"

#include "renderer/Units.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace
{
constexpr float deskHeight = 0.8f;
constexpr float deskAngle = 25.0f;
constexpr float deskGain = 0.25f;
constexpr float floorAngle = 40.0f;
constexpr float floorGain = 0.2f;

// k(m) = ((m > 0 ? 1 : 0) + m) / 2, truncated toward zero.
int wallPairs (int m) noexcept
{
    return ((m > 0 ? 1 : 0) + m) / 2;
}

// Coordinate of the image m of a source at p between walls at 0 and extent.
float mirrored (int m, float p, float extent) noexcept
{
    return 2.0f * (float) wallPairs (m) * extent + ((m % 2) != 0 ? -p : p);
}

// Angle in degrees between the loudspeaker direction d and the image position q, seen from the head.
float angleBetween (const float (&d)[3], const float (&q)[3]) noexcept
{
    const float a2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    const float b2 = q[0] * q[0] + q[1] * q[1] + q[2] * q[2];
    const float dx = q[0] - d[0], dy = q[1] - d[1], dz = q[2] - d[2];
    const float c2 = dx * dx + dy * dy + dz * dz;
    const float denominator = 2.0f * std::sqrt (a2 * b2);
    float cosine = denominator > 0.0f ? (a2 + b2 - c2) / denominator : 1.0f;
    cosine = std::clamp (cosine, -1.0f, 1.0f);
    return Zeph::radiansToDegrees (std::acos (cosine));
}
} // namespace

//==============================================================================
bool RoomBuilder::setSampleRate (double rate)
{
    // The head hand-off and the builder read the rate while they compile.
    const std::lock_guard<std::mutex> lock (mutex);
    sampleRate = rate;
    render.settings.setSampleRate ((float) sampleRate);
    return compiledRate != sampleRate;
}

void RoomBuilder::build (const Zeph::ChannelProfile* profile, Zeph::ListeningRoom room, const HeadMatrix* head)
{
    const std::lock_guard<std::mutex> lock (mutex);
    // One orientation for the whole build, however the tracker turns meanwhile.
    std::optional<HeadMatrix> orientation;
    if (head != nullptr)
        orientation.emplace (*head);
    const HeadMatrix* matrix = orientation ? &*orientation : nullptr;

    auto& set = render.room.claimInactiveSet(); // the audio thread can no longer flip to it
    if (profile != nullptr)
        buildReflections (set, *profile, room, matrix);
    else
        set.clear();
    compiledRate = sampleRate;
    setReverbWeights (matrix);

    // The audio thread takes the geometry, redesigns the reverb and clears the
    // rings and filter states at the start of its next block, then flips.
    pendingGeometry.store (Zeph::roomPreset (room).geometryIndex, std::memory_order_relaxed);
    render.room.publishInactiveSet();
}

void RoomBuilder::turnHead (const HeadMatrix& head)
{
    const std::lock_guard<std::mutex> lock (mutex);
    // One orientation for every reflection and the reverb weights.
    const HeadMatrix orientation (head);
    // Only the direct sounds follow the head; the rays take the new targets
    // through their mailboxes, so the audio thread may be rendering them.
    // A new set that waits for its flip was compiled against an older head and
    // follows too, first, so that the flip cannot turn the head back.
    auto& room = render.room;
    if (room.swapPending())
        for (auto* reflection : room.inactiveReflections())
            reflection->compile (&orientation, render.settings, false);
    for (auto* reflection : room.activeReflections())
        reflection->compile (&orientation, render.settings, false);
    setReverbWeights (&orientation);
}

void RoomBuilder::buildReflections (Zeph::Room::ReflectionSet& set, const Zeph::ChannelProfile& profile,
                                    Zeph::ListeningRoom room, const HeadMatrix* matrix)
{
    set.clear();
    const auto& geometry = Zeph::roomPreset (room).geometry;
    for (int i = 0; i < profile.numPositions(); ++i)
        appendReflections (set, (uint8_t) i, *profile.positions[i], geometry);

    for (auto* reflection : set)
    {
        reflection->compile (matrix, render.settings, true);
        for (auto* ray : { &reflection->left, &reflection->right })
            for (auto& context : ray->contexts)
                context = {};
    }
}

void RoomBuilder::setReverbWeights (const HeadMatrix* matrix) noexcept
{
    float left = 0.0f, right = 0.0f;
    if (matrix != nullptr)
    {
        float m[9];
        matrix->read (m);
        reverbWeights (m, left, right);
    }
    render.room.reverbGainLeft.store (left, std::memory_order_relaxed);
    render.room.reverbGainRight.store (right, std::memory_order_relaxed);
}

//==============================================================================
uint8_t RoomBuilder::channelClass (const Zeph::ChannelPos& position, int index) noexcept
{
    if (position.type != Zeph::spatial && position.type != Zeph::fullRange)
        return (uint8_t) (32 + index);
    if (position.z < -0.01f || position.z > 0.01f)
        return 2;
    if (position.y > 0.01f)
        return 0;
    return 1;
}

void RoomBuilder::writeChannelClasses (const Zeph::ChannelProfile& profile, SoloMuteRecord& soloMutes) noexcept
{
    for (int i = 0; i < SoloMuteRecord::numChannels; ++i)
        soloMutes.channelClass[i] = i < profile.numPositions() ? channelClass (*profile.positions[i], i)
                                                               : (uint8_t) (32 + i);
}

void RoomBuilder::appendReflections (Zeph::Room::ReflectionSet& set, uint8_t channel,
                                     const Zeph::ChannelPos& position, const Zeph::RoomGeometry& g)
{
    // The loudspeaker's place in the room.
    const float n = position.x * g.scale + g.listenerX;
    const float p = position.y * g.scale + g.listenerY;
    const float o = position.z * g.scale + g.earHeight;

    const float deskMirror = (position.y > 0.0f && o >= deskHeight) ? 2.0f * deskHeight - o : -o;
    const float desk[3] = { n - g.listenerX, p - g.listenerY, deskMirror - g.earHeight };
    set.add (new Zeph::Reflection (channel, 1, desk, deskAngle, deskGain))->isDeskReflection = true;

    const float floor[3] = { n - g.listenerX, p - g.listenerY, -o - g.earHeight };
    set.add (new Zeph::Reflection (channel, 1, floor, floorAngle, floorGain))->isFloorReflection = true;

    const float direction[3] = { position.x, position.y, position.z };
    for (int m = -2; m <= 2; ++m)
        for (int s = -2; s <= 2; ++s)
        {
            const int order = std::abs (m) + std::abs (s);
            if (order > 2)
                continue;
            const float image[3] = { mirrored (m, n, g.width) - g.listenerX,
                                     mirrored (s, p, g.depth) - g.listenerY,
                                     o - g.earHeight };
            const float gain = order == 0 ? 1.0f : Zeph::decibelsToGain (order == 1 ? g.order1Db : g.order2Db);
            // The direct image lies on the loudspeaker's own direction.
            const float angle = order == 0 ? 0.0f : angleBetween (direction, image);
            set.add (new Zeph::Reflection (channel, (uint8_t) order, image, angle, gain));
        }
}

void RoomBuilder::reverbWeights (const float* row, float& left, float& right) noexcept
{
    const float m0 = row[0], m1 = row[1], m2 = row[2];
    right = 1.0f - ((m1 + 1.0f) * (m1 + 1.0f) + m0 * m0 + m2 * m2) / 2.0f;
    left = 1.0f - ((m1 - 1.0f) * (m1 - 1.0f) + m0 * m0 + m2 * m2) / 2.0f;
}
