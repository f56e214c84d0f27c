// When an impulse on one loudspeaker reaches each ear, through the VST3 host,
// against the ray model worked out here on its own.

#include "tests/common/RayArrival.h"
#include "tests/host/HostFixture.h"

using HostTesting::stateText;

using namespace RayArrival;

namespace
{
struct Loudspeaker
{
    int layout;
    int channel;
    int numChannels;
    float azimuth, elevation;
    const char* name;
};

// Distance of the loudspeakers from the head in each room.
constexpr float roomScale[] { 2.6f, 2.7f, 3.5f };
} // namespace

class HostArrival : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (HostTesting::bundlePath() == juce::File())
            GTEST_SKIP() << "this build makes no VST3 bundle";
    }

    // Renders an impulse on one channel in a fresh instance that is prepared and then
    // given its state, as a host that loads a project into a running engine does, or
    // (stateFirst) given its state and then prepared, as a host that opens a project does.
    static void expectArrival (const Loudspeaker& speaker, int room, double sampleRate, bool stateFirst = false)
    {
        juce::String error;
        auto plugin = HostTesting::loadFresh (error);
        ASSERT_NE (plugin, nullptr) << error;
        const auto state = HostTesting::bytesOf (stateText (false, speaker.layout, "", room));
        if (stateFirst)
            plugin->setPluginState (state);
        ASSERT_TRUE (plugin->prepare (sampleRate, 512, speaker.numChannels, 2, error)) << error;
        if (! stateFirst)
            plugin->setPluginState (state);

        constexpr int impulseAt = 1000;
        juce::AudioBuffer<float> input (speaker.numChannels, 4096);
        input.clear();
        input.setSample (speaker.channel, impulseAt, 1.0f);
        const auto output = plugin->process (input, 512, VbHost::ChannelOrder::host);

        for (int ear = 0; ear < 2; ++ear)
        {
            const double expected = impulseAt + expectedArrival (speaker.azimuth, speaker.elevation,
                                                                 roomScale[room], ear, sampleRate);
            const int found = onset (output, ear, 0, (int) expected + 12);
            EXPECT_NEAR ((double) found, expected, 2.0)
                << speaker.name << (ear == 0 ? " left" : " right") << " ear, room " << room << ", " << sampleRate << " Hz";
        }
    }
};

TEST_F (HostArrival, DirectSoundArrivesWhenTheRayModelSays)
{
    const Loudspeaker speakers[] {
        { 11, 2, 12, 0.0f, 0.0f, "C" },
        { 11, 5, 12, 90.0f, 0.0f, "Rs" },
        { 11, 6, 12, -135.0f, 0.0f, "Lb" },
        { 11, 8, 12, -45.0f, 45.0f, "Ltf" },
        { 8, 6, 8, -90.0f, 0.0f, "L" },
    };
    for (const double rate : { 44100.0, 96000.0 })
        for (const auto& speaker : speakers)
            expectArrival (speaker, 1, rate);
}

// In the smallest room "Rs" stands beyond the right-hand wall, so its wall image
// is nearer than the loudspeaker and comes first; "Ls" stands inside the room.
TEST_F (HostArrival, EveryRoomPlacesTheLoudspeakersAtItsOwnDistance)
{
    const Loudspeaker centre { 1, 2, 8, 0.0f, 0.0f, "C" };
    const Loudspeaker leftSurround { 1, 4, 8, -115.0f, 0.0f, "Ls" };
    for (const int room : { 0, 2 })
    {
        expectArrival (centre, room, 48000.0);
        expectArrival (leftSurround, room, 48000.0);
    }
}

// A state loaded before the first prepare at another rate arrives at the new rate.
TEST_F (HostArrival, StateLoadedBeforePreparingArrivesAtTheNewRate)
{
    const Loudspeaker rightSurround { 11, 5, 12, 90.0f, 0.0f, "Rs" };
    for (const double rate : { 48000.0, 96000.0 })
        expectArrival (rightSurround, 1, rate, true);
}
