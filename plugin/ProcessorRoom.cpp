// The room builder, the gain copy and the head hand-off.
#include "plugin/PluginProcessor.h"
#include "plugin/RoomBuilder.h"

#include <optional>

const HeadMatrix* BinauralAudioProcessor::currentHeadMatrix() const
{
    const auto& panel = pluginState.headPanel;
    if (panel.connection == nullptr || panel.currentTrackerName.isEmpty())
        return nullptr;
    // Records change only on this thread, so the pointer stays valid for the build.
    auto* record = panel.connection->findProperties (panel.currentTrackerName);
    return record != nullptr ? &record->headMatrix : nullptr;
}

void BinauralAudioProcessor::writeChannelClasses (const Zeph::ChannelProfile& profile)
{
    auto& classes = pluginState.soloMutes.channelClass;
    for (int i = 0; i < SoloMuteRecord::numChannels; ++i)
        classes[i] = i < profile.numPositions() ? RoomBuilder::channelClass (*profile.positions[i], i)
                                                : (uint8_t) (32 + i);
}

void BinauralAudioProcessor::buildReflections (Zeph::Room::ReflectionSet& set, const Zeph::ChannelProfile& profile,
                                               Zeph::ListeningRoom room, const HeadMatrix* matrix)
{
    set.clear();
    const auto& geometry = RoomBuilder::geometryFor (room);
    for (int i = 0; i < profile.numPositions(); ++i)
        RoomBuilder::appendReflections (set, (uint8_t) i, *profile.positions[i], geometry);

    for (auto* reflection : set)
    {
        reflection->compile (matrix, render.settings, true);
        for (auto* ray : { &reflection->left, &reflection->right })
            for (auto& context : ray->contexts)
                context = {};
    }
}

void BinauralAudioProcessor::setReverbWeights (const HeadMatrix* matrix) noexcept
{
    float left = 0.0f, right = 0.0f;
    if (matrix != nullptr)
    {
        float m[9];
        matrix->read (m);
        RoomBuilder::reverbWeights (m, left, right);
    }
    render.room.reverbGainLeft.store (left, std::memory_order_relaxed);
    render.room.reverbGainRight.store (right, std::memory_order_relaxed);
}

void BinauralAudioProcessor::layoutSettingsChanged()
{
    const HeadMatrix* head = currentHeadMatrix();
    const auto* profile = pluginState.currentProfile();
    if (profile != nullptr)
        writeChannelClasses (*profile);
    const auto& room = Zeph::roomPreset (pluginState.room);

    {
        const std::lock_guard<std::mutex> lock (roomMutex);
        // One orientation for the whole build, however the tracker turns meanwhile.
        std::optional<HeadMatrix> orientation;
        if (head != nullptr)
            orientation.emplace (*head);
        const HeadMatrix* matrix = orientation ? &*orientation : nullptr;

        auto& set = render.room.claimInactiveSet(); // the audio thread can no longer flip to it
        if (profile != nullptr)
            buildReflections (set, *profile, room.room, matrix);
        else
            set.clear();
        compiledRate = sampleRate;
        setReverbWeights (matrix);

        // The audio thread takes the geometry, redesigns the reverb and clears the
        // rings and filter states at the start of its next block, then flips.
        pendingGeometry.store (room.geometryIndex, std::memory_order_relaxed);
        render.room.publishInactiveSet();
    }

    renderSpec.profile.store (profile, std::memory_order_release);
    renderSpec.soloMutes.store (&pluginState.soloMutes, std::memory_order_release);
    renderSpec.hasDesk.store (room.hasDesk, std::memory_order_relaxed);
}

void BinauralAudioProcessor::gainSettingsChanged()
{
    renderSpec.loudspeakerEq.store (Zeph::loudspeakerPreset (pluginState.loudspeakers).equaliser,
                                    std::memory_order_relaxed);
    renderSpec.volumeGain.store (pluginState.volumeGain, std::memory_order_relaxed);
    renderSpec.directGain.store (pluginState.directGain, std::memory_order_relaxed);
    renderSpec.roomGain.store (pluginState.roomGain, std::memory_order_relaxed);
}

void BinauralAudioProcessor::trackerChanged (const HeadMatrix& matrix)
{
    const std::lock_guard<std::mutex> lock (roomMutex);
    // One orientation for every reflection and the reverb weights.
    const HeadMatrix orientation (matrix);
    // Only the direct sounds follow the head; the rays take the new targets
    // through their mailboxes, so the audio thread may be rendering them.
    for (auto* reflection : render.room.activeReflections())
        reflection->compile (&orientation, render.settings, false);
    setReverbWeights (&orientation);
}
