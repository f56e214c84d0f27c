#include "plugin/PluginProcessor.h"
#include "plugin/RoomBuilder.h"
#include "trackerui/HeadPanel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace
{
void load (BinauralAudioProcessor& p, const juce::String& text)
{
    p.setStateInformation (text.toRawUTF8(), (int) text.getNumBytesAsUTF8());
}

// Runs one block so the audio thread takes the newest build over.
void takeBuild (BinauralAudioProcessor& p)
{
    if (p.renderSpec.numInputChannels == 0)
    {
        // A stereo input: channels 0 and 1 sound.
        juce::AudioProcessor::BusesLayout stereo;
        stereo.inputBuses.add (juce::AudioChannelSet::stereo());
        stereo.outputBuses.add (juce::AudioChannelSet::stereo());
        p.setBusesLayout (stereo);
        p.prepareToPlay (44100.0, 512);
    }
    juce::AudioBuffer<float> buffer (2, 64);
    buffer.clear();
    juce::MidiBuffer midi;
    p.processBlock (buffer, midi);
}

Zeph::Room::ReflectionSet& newestSet (BinauralAudioProcessor& p)
{
    takeBuild (p);
    return p.render.room.activeReflections();
}
} // namespace

TEST (RoomBuilder, DefaultLayoutAndRoom)
{
    BinauralAudioProcessor p;
    auto& set = newestSet (p);
    EXPECT_EQ (set.size(), 120);
    EXPECT_EQ (p.render.room.geometryIndex, 2);
    EXPECT_TRUE (p.renderSpec.hasDesk.load());
    EXPECT_EQ (p.render.room.reverbGainLeft.load(), 0.0f); // no tracker
    EXPECT_EQ (p.render.room.reverbGainRight.load(), 0.0f);

    // Channel 2 is "C", straight ahead: its fifteen reflections follow channel 1's.
    const auto& desk = *set[30];
    const auto& floor = *set[31];
    ASSERT_EQ (desk.channel, 2);
    EXPECT_TRUE (desk.isDeskReflection);
    EXPECT_NEAR (desk.position[0], 0.0f, 1e-5f);
    EXPECT_NEAR (desk.position[1], 2.7f, 1e-5f);
    EXPECT_NEAR (desk.position[2], -0.96f, 1e-5f);
    EXPECT_EQ (desk.angle, 25.0f);
    EXPECT_EQ (desk.gain, 0.25f);
    EXPECT_TRUE (floor.isFloorReflection);
    EXPECT_NEAR (floor.position[2], -2.56f, 1e-5f);
    EXPECT_EQ (floor.angle, 40.0f);
    EXPECT_EQ (floor.gain, 0.2f);

    const auto& direct = *set[30 + 2 + 6]; // image (0, 0) is the seventh
    EXPECT_TRUE (direct.isDirect);
    EXPECT_NEAR (direct.position[0], 0.0f, 1e-5f);
    EXPECT_NEAR (direct.position[1], 2.7f, 1e-5f);
    EXPECT_NEAR (direct.position[2], 0.0f, 1e-5f);
    EXPECT_EQ (direct.angle, 0.0f);
    EXPECT_EQ (direct.gain, 1.0f);

    // Image (-1, 0) is the third, (1, 0) the eleventh.
    const float n = 5.5449996f;
    EXPECT_NEAR (set[30 + 2 + 2]->position[0], -n - 5.5449996f, 1e-4f);
    EXPECT_NEAR (set[30 + 2 + 10]->position[0], 2.0f * 9.73f - n - 5.5449996f, 1e-4f);
    EXPECT_NEAR (set[30 + 2 + 2]->gain, std::pow (10.0f, -6.9f / 20.0f), 1e-6f);
    EXPECT_NEAR (set[30 + 2 + 0]->gain, std::pow (10.0f, -12.0f / 20.0f), 1e-6f);

    int directs = 0;
    for (auto* r : set)
        directs += r->isDirect ? 1 : 0;
    EXPECT_EQ (directs, 8);
}

TEST (RoomBuilder, ChannelClasses)
{
    Zeph::ChannelPos pos;
    pos.type = Zeph::fullRange;
    pos.y = 0.5f;
    pos.z = 0.005f;
    EXPECT_EQ (RoomBuilder::channelClass (pos, 3), 0);
    pos.z = 0.02f;
    EXPECT_EQ (RoomBuilder::channelClass (pos, 3), 2);
    pos.y = 0.0f;
    pos.z = 0.0f;
    EXPECT_EQ (RoomBuilder::channelClass (pos, 3), 1);
    pos.type = Zeph::lfe;
    EXPECT_EQ (RoomBuilder::channelClass (pos, 3), 35);

    BinauralAudioProcessor p;
    const uint8_t expected[16] = { 0, 0, 0, 35, 1, 1, 2, 2, 40, 41, 42, 43, 44, 45, 46, 47 };
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ (p.pluginState.soloMutes.channelClass[i], expected[i]) << i;
}

TEST (RoomBuilder, BehindTheListenerDeskIsTheFloor)
{
    BinauralAudioProcessor p;
    auto& set = newestSet (p);
    const auto& desk = *set[4 * 15]; // "Ls" at -115 degrees
    const auto& floor = *set[4 * 15 + 1];
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ (desk.position[k], floor.position[k]);
    EXPECT_NE (desk.angle, floor.angle);
}

TEST (RoomBuilder, HallUsesGeometryThree)
{
    BinauralAudioProcessor p;
    load (p, "Room=2");
    auto& set = newestSet (p);
    EXPECT_EQ (p.render.room.geometryIndex, 3);
    EXPECT_FALSE (p.renderSpec.hasDesk.load());
    EXPECT_NEAR (set[2 + 2]->gain, std::pow (10.0f, -6.3f / 20.0f), 1e-6f);
    EXPECT_NEAR (set[2]->gain, std::pow (10.0f, -11.7f / 20.0f), 1e-6f);

    load (p, "Room=0\nChannelProfile=0");
    EXPECT_EQ (newestSet (p).size(), 15);
    EXPECT_EQ (p.render.room.geometryIndex, 0);
}

TEST (RoomBuilder, ReverbWeightsFollowTheHead)
{
    float left = 5.0f, right = 5.0f;
    const float identity[3] = { 1.0f, 0.0f, 0.0f };
    RoomBuilder::reverbWeights (identity, left, right);
    EXPECT_EQ (left, 0.0f);
    EXPECT_EQ (right, 0.0f);
    const float turned[3] = { 0.0f, 1.0f, 0.0f };
    RoomBuilder::reverbWeights (turned, left, right);
    EXPECT_EQ (left, 1.0f);
    EXPECT_EQ (right, -1.0f);

    BinauralAudioProcessor p;
    HeadMatrix head;
    const float m[9] = { 0, 1, 0, -1, 0, 0, 0, 0, 1 };
    head.write (m);
    p.trackerChanged (head);
    EXPECT_EQ (p.render.room.reverbGainLeft.load(), 1.0f);
    EXPECT_EQ (p.render.room.reverbGainRight.load(), -1.0f);
}

TEST (RoomBuilder, RebuildWhileASwapIsPendingReplacesThePendingSet)
{
    BinauralAudioProcessor p;
    takeBuild (p);
    const auto active = p.render.room.activeSet();
    load (p, "ChannelProfile=0");
    load (p, "ChannelProfile=2");
    EXPECT_EQ (p.render.room.activeSet(), active); // nothing flipped without audio
    EXPECT_TRUE (p.render.room.swapPending());
    takeBuild (p);
    EXPECT_NE (p.render.room.activeSet(), active);
    EXPECT_EQ (p.render.room.activeReflections().size(), 60);
    EXPECT_FALSE (p.render.room.swapPending());
}

// The tracker turning while the room is built and while the head is handed
// over: every direct sound and the reverb weights come from one and the same
// orientation.
TEST (RoomBuilder, OneBuildOrHandOffTakesOneOrientation)
{
    BinauralAudioProcessor p;
    auto& state = p.pluginState;
    state.connection.scannerDeviceAdded ("tracker");
    state.headPanel->scannerDeviceAdded ("tracker"); // the current tracker
    auto& head = state.connection.findProperties ("tracker")->headMatrix;

    const float ahead[9] = { 1, 0, 0, 0, 1, 0, 0, 0, 1 };    // reverb weights 0 and 0
    const float turned[9] = { 0, 1, 0, -1, 0, 0, 0, 0, 1 };  // reverb weights 1 and -1

    // The target delays of both ears of every direct sound, in the set just
    // built (inactive until a block runs) or in the active set.
    auto directDelays = [&p] (bool active)
    {
        auto& room = p.render.room;
        std::vector<float> delays;
        for (auto* r : room.reflectionSets[active ? room.activeSet() : 1 - room.activeSet()])
            if (r->isDirect)
            {
                r->left.takeUpdate();
                r->right.takeUpdate();
                delays.insert (delays.end(), { r->left.targetDelay, r->right.targetDelay });
            }
        return delays;
    };
    auto build = [&] { p.layoutSettingsChanged(); return directDelays (false); };
    auto handOff = [&] { p.trackerChanged (head); return directDelays (true); };

    head.write (ahead);
    const auto aheadBuilt = build();
    takeBuild (p);
    const auto aheadHandedOff = handOff();
    head.write (turned);
    const auto turnedBuilt = build();
    const auto turnedHandedOff = handOff();
    ASSERT_NE (aheadBuilt, turnedBuilt);
    ASSERT_NE (aheadHandedOff, turnedHandedOff);

    // The tracker's thread turns the head back and forth until the test is done.
    struct Tracker
    {
        std::atomic<bool> done { false };
        std::thread thread;
        ~Tracker()
        {
            done = true;
            thread.join();
        }
    } tracker;
    tracker.thread = std::thread ([&]
    {
        for (int k = 0; ! tracker.done.load(); ++k)
            head.write (k % 2 == 0 ? ahead : turned);
    });

    for (int k = 0; k < 1000; ++k)
    {
        const bool building = k % 2 == 0;
        const auto delays = building ? build() : handOff();
        const float left = p.render.room.reverbGainLeft.load();
        ASSERT_TRUE (left == 0.0f || left == 1.0f) << left;
        if (building)
            ASSERT_EQ (delays, left == 0.0f ? aheadBuilt : turnedBuilt) << "build " << k;
        else
            ASSERT_EQ (delays, left == 0.0f ? aheadHandedOff : turnedHandedOff) << "hand-off " << k;
    }
}

// A head movement between a rebuild and the block that takes it over is not
// lost when the new set goes live.
TEST (RoomBuilder, HeadMovedBeforeTheFlipIsKept)
{
    BinauralAudioProcessor p;
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (8));
    layout.outputBuses.add (juce::AudioChannelSet::stereo());
    ASSERT_TRUE (p.setBusesLayout (layout));
    p.prepareToPlay (44100.0, 512);
    juce::AudioBuffer<float> buffer (8, 64);
    juce::MidiBuffer midi;
    buffer.clear();
    p.processBlock (buffer, midi);

    load (p, "ChannelProfile=1");
    ASSERT_TRUE (p.render.room.swapPending());
    HeadMatrix head;
    const float yaw90[9] = { 0, -1, 0, 1, 0, 0, 0, 0, 1 };
    head.write (yaw90);
    p.trackerChanged (head);
    buffer.clear();
    p.processBlock (buffer, midi);

    for (auto* reflection : p.render.room.activeReflections())
    {
        if (! reflection->isDirect || reflection->channel != 2) // the centre, now on the right
            continue;
        EXPECT_GT (reflection->left.targetDelay - reflection->right.targetDelay, 20.0f);
        return;
    }
    FAIL() << "no direct sound of the centre loudspeaker";
}

// The input rings are sized from the longest ray delay any room can make.
TEST (RoomBuilder, EveryRayFitsTheLongestDelay)
{
    const Zeph::ChannelProfiles profiles;
    Zeph::Settings settings;
    settings.setSampleRate (48000.0f);
    float longest = 0.0f;
    for (auto* profile : profiles.profiles)
        for (const auto& preset : Zeph::roomPresets)
        {
            Zeph::Room::ReflectionSet set;
            for (int i = 0; i < profile->numPositions(); ++i)
                RoomBuilder::appendReflections (set, (uint8_t) i, *profile->positions[i], preset.geometry);
            for (auto* reflection : set)
            {
                reflection->compile (nullptr, settings, true);
                longest = std::max ({ longest, reflection->left.targetDelay, reflection->right.targetDelay });
            }
        }
    EXPECT_LT (longest / 48000.0f, Zeph::Render::longestRayDelaySeconds);
}
