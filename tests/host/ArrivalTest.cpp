// When an impulse on one loudspeaker reaches each ear, through the VST3 host,
// against the ray model worked out here on its own.

#include "tests/host/HostFixture.h"

#include <array>
#include <cmath>

using HostTesting::stateText;

namespace
{
// Interaural delay tables in microseconds over the lateral angle -90..90 in steps of 5.
constexpr std::array<float, 37> itdMicroseconds { 202, 183, 162, 146, 131, 119, 108, 100, 90, 79, 70, 60, 50,
                                                  41,  34,  27,  22,  19,  15,  13,  11,  9,   7,  6,  5,  4,
                                                  3,   3,   2,   2,   2,   1,   1,   1,   0,   0,  0 };
constexpr std::array<float, 37> itdExtraMicroseconds { 0, 1, 2, 3, 5, 7, 9, 11, 13, 14, 13, 11, 9, 7, 5, 3, 2, 1 };

constexpr float pi = 3.1415927f;
constexpr float earOffset = 0.0715f;      // metres from the head's centre
constexpr float referenceDistance = 1.5f; // a path this long has no distance delay
constexpr float speedOfSound = 343.0f;
constexpr float fixedDelay = 4.0f;        // samples, part of the ray's delay
constexpr float readOffset = 143.0f;      // samples a moving ray adds when reading

// Table lookup with quadratic end segments and linear inner ones.
float lookUp (const std::array<float, 37>& table, float x)
{
    const int last = (int) table.size() - 1;
    const int i = std::min ((int) std::floor (x), last);
    const float v = x - (float) i;
    if (v == 0.0f)
        return table[(size_t) i];
    if (i == 0)
        return table[0] + 0.5f * (table[1] - table[0]) * (v * v + v);
    if (i == last - 1)
        return table[(size_t) i] + 0.5f * (table[(size_t) i] - table[(size_t) last]) * (v * v - 3.0f * v);
    return table[(size_t) i] + v * (table[(size_t) i + 1] - table[(size_t) i]);
}

// Samples from the loudspeaker's signal to its direct sound in one ear (0 left, 1 right),
// for a loudspeaker at the given direction and distance and a head that looks ahead.
double expectedArrival (float azimuth, float elevation, float distance, int ear, double sampleRate)
{
    const float a = azimuth * pi / 180.0f, e = elevation * pi / 180.0f;
    float x = std::sin (a) * std::cos (e) * distance;
    const float y = std::cos (a) * std::cos (e) * distance;
    const float z = std::sin (e) * distance;

    // The left ear's frame is the mirror image of the right ear's.
    if (ear == 0)
        x = -x;
    x -= earOffset;

    const float d = std::sqrt (x * x + y * y + z * z);
    const float lateral = std::asin (x / d) * 180.0f / pi;
    const float polar = std::atan2 (z, y) * 180.0f / pi;
    const float front = std::cos (polar * pi / 180.0f) * std::cos (lateral * pi / 180.0f);
    const float rear = front < 0.0f ? 1.0f : 1.0f - front;

    const float u = (lateral + 90.0f) / 5.0f;
    const float microseconds = lookUp (itdMicroseconds, u) + lookUp (itdExtraMicroseconds, u) * rear;
    const double distanceDelay = (d - referenceDistance) * sampleRate / speedOfSound;
    return distanceDelay + microseconds * sampleRate / 1.0e6 + fixedDelay + readOffset;
}

// The first sample of the ear's output above a fifth of its peak before the reflections.
int onset (const juce::AudioBuffer<float>& output, int ear, int from, int to)
{
    to = std::min (to, output.getNumSamples());
    float peak = 0.0f;
    for (int i = from; i < to; ++i)
        peak = std::max (peak, std::abs (output.getSample (ear, i)));
    for (int i = from; i < to; ++i)
        if (std::abs (output.getSample (ear, i)) > 0.2f * peak)
            return i;
    return -1;
}

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
        const auto output = plugin->process (input, 512);

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
