#pragma once

#include "renderer/ChannelProfiles.h"
#include "renderer/Render.h"
#include "renderer/RoomPresets.h"
#include "renderer/SoloMute.h"

#include <atomic>
#include <cstdint>
#include <mutex>

// Places a layout's loudspeakers in a listening room and makes their
// reflections, desk, floor and image sources up to the second order, into the
// set of the room that the audio thread does not render; re-aims the direct
// sounds of the rendered set when the head turns.
//
// Threads: build and setSampleRate run on the message thread, turnHead on the
// MIDI input thread (or the message thread). One lock keeps them apart; the
// audio thread never takes it: it takes a build over through Zeph::Room's swap
// and reset flags and reads builtGeometry() (see BlockRenderer).
class RoomBuilder
{
public:
    explicit RoomBuilder (Zeph::Render& renderToBuild) noexcept : render (renderToBuild) {}

    // The rate constants for a new sample rate; true when the sets were
    // compiled at another rate and need building again.
    bool setSampleRate (double rate);

    // A complete new set for the layout (none: an empty set) in the room, with
    // every reflection compiled against one reading of the head's orientation
    // (none: straight ahead, without head weights on the reverb), handed to
    // the audio thread.
    void build (const Zeph::ChannelProfile* profile, Zeph::ListeningRoom room, const HeadMatrix* head);

    // Re-aims the direct sounds of the rendered set and the reverb's weights
    // at one reading of the orientation.
    void turnHead (const HeadMatrix& head);

    // Audio thread: the room geometry of the newest build, for the reverb.
    // Valid once the build's reset was taken from the room.
    int32_t builtGeometry() const noexcept { return pendingGeometry.load (std::memory_order_relaxed); }

    // The building steps.
    // The radar's class of a position: 0 front, 1 other horizontal, 2 elevated,
    // 32 + i for a channel that is not rendered binaurally.
    static uint8_t channelClass (const Zeph::ChannelPos& position, int index) noexcept;

    // The classes of the layout's positions; 32 + i for channels it does not use.
    static void writeChannelClasses (const Zeph::ChannelProfile& profile, SoloMuteRecord& soloMutes) noexcept;

    // Appends the fifteen reflections of one loudspeaker to the set: desk, floor,
    // then the images (m, s) with |m| + |s| <= 2, m outer, s inner.
    static void appendReflections (Zeph::Room::ReflectionSet& set, uint8_t channel,
                                   const Zeph::ChannelPos& position, const Zeph::RoomGeometry& geometry);

    // The reverb's left and right weights from the first row of a head matrix.
    static void reverbWeights (const float* firstRow, float& left, float& right) noexcept;

private:
    void buildReflections (Zeph::Room::ReflectionSet& set, const Zeph::ChannelProfile& profile,
                           Zeph::ListeningRoom room, const HeadMatrix* matrix);
    void setReverbWeights (const HeadMatrix* matrix) noexcept;

    Zeph::Render& render;
    std::mutex mutex;
    // The rate in force and the one the sets were compiled at (both under mutex).
    double sampleRate = 44100.0;
    double compiledRate = 0.0;
    // Geometry of the newest build, taken over by the audio thread with the build's clears.
    std::atomic<int32_t> pendingGeometry { 0 };
};
