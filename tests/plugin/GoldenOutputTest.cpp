// The rendered output of a fixed input, bit for bit, for every layout, room and
// loudspeaker setting, with the head still and turning, and with the
// spatialiser off, at 44.1 and 48 kHz. The checksums were taken from the
// renderer as it stood when this test was written: a change here means the
// sound changed.
//
// To list the checksums of the current build: run with VB_PRINT_GOLDEN=1.
#include "plugin/PluginProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace
{
constexpr int numInputs = 16;
constexpr int totalSamples = 8192;
constexpr int blockPattern[] = { 512, 477, 1024, 64 }; // 477 and 64 leave tails of the vector width

// Deterministic noise in [-0.25, 0.25), its own sequence per channel.
float inputSample (int channel, int64_t t)
{
    uint32_t x = (uint32_t) (t * 2654435761u) ^ (uint32_t) (channel * 40503u + 17u);
    x ^= x >> 13;
    x *= 0x5bd1e995u;
    x ^= x >> 15;
    return ((float) (x & 0xffff) / 32768.0f - 1.0f) * 0.25f;
}

// The head turning a little further every block: yaw, pitch and roll, row-major.
void headAt (int block, float* m)
{
    const float yaw = 1.2f * std::sin (0.05f * (float) block);
    const float pitch = 0.3f * std::sin (0.031f * (float) block);
    const float roll = 0.1f * std::sin (0.017f * (float) block);
    const float cy = std::cos (yaw), sy = std::sin (yaw);
    const float cp = std::cos (pitch), sp = std::sin (pitch);
    const float cr = std::cos (roll), sr = std::sin (roll);
    const float r[9] = { cy * cr - sy * sp * sr, -sy * cp, cy * sr + sy * sp * cr,
                         sy * cr + cy * sp * sr, cy * cp, sy * sr - cy * sp * cr,
                         -cp * sr, sp, cp * cr };
    std::memcpy (m, r, sizeof r);
}

enum class Head
{
    still,
    moving,
    spatialiserOff
};

struct Case
{
    double rate;
    int layout;
    int room;
    int loudspeakers;
    Head head;
};

// FNV-1a over the bit patterns of outputs 0 and 1 of every block.
struct Checksum
{
    uint64_t value = 14695981039346656037ull;

    void add (const float* samples, int n)
    {
        for (int i = 0; i < n; ++i)
        {
            uint32_t bits;
            std::memcpy (&bits, samples + i, sizeof bits);
            for (int b = 0; b < 4; ++b)
            {
                value ^= (bits >> (8 * b)) & 0xffu;
                value *= 1099511628211ull;
            }
        }
    }
};

uint64_t render (const Case& c)
{
    auto p = std::make_unique<BinauralAudioProcessor>();
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (numInputs));
    layout.outputBuses.add (juce::AudioChannelSet::stereo());
    EXPECT_TRUE (p->setBusesLayout (layout));
    p->prepareToPlay (c.rate, 1024);

    const juce::String state = juce::String ("Bypassed=") + (c.head == Head::spatialiserOff ? "True" : "False")
                               + "\r\nChannelProfile=" + juce::String (c.layout)
                               + "\r\nRoom=" + juce::String (c.room)
                               + "\r\nLoudspeakers=" + juce::String (c.loudspeakers)
                               + "\r\nVolumeTrim=22\r\nReverbTrim=20";
    p->setStateInformation (state.toRawUTF8(), (int) state.getNumBytesAsUTF8());

    Checksum sum;
    HeadMatrix head;
    juce::MidiBuffer midi;
    juce::AudioBuffer<float> buffer (numInputs, 1024);
    int64_t t = 0;
    for (int block = 0; t < totalSamples; ++block)
    {
        const int n = (int) std::min<int64_t> (blockPattern[block % 4], totalSamples - t);
        if (c.head == Head::moving)
        {
            float m[9];
            headAt (block, m);
            head.write (m);
            p->trackerChanged (head);
        }
        buffer.setSize (numInputs, n, false, false, true);
        for (int ch = 0; ch < numInputs; ++ch)
            for (int i = 0; i < n; ++i)
                buffer.setSample (ch, i, inputSample (ch, t + i));
        p->processBlock (buffer, midi);
        sum.add (buffer.getReadPointer (0), n);
        sum.add (buffer.getReadPointer (1), n);
        t += n;
    }
    return sum.value;
}

// Per rate and layout, 13 checksums: rooms 0, 1, 2, each with "Full range"
// still and moving, then "Nearfield" still and moving; last the spatialiser off.
struct Reference
{
    double rate;
    int layout;
    uint64_t checksums[13];
};

// clang-format off
const Reference references[] = {
#include "tests/plugin/GoldenChecksums.inc"
};
// clang-format on

class GoldenOutput : public ::testing::TestWithParam<std::tuple<double, int>>
{
};

TEST_P (GoldenOutput, MatchesReference)
{
    const double rate = std::get<0> (GetParam());
    const int layout = std::get<1> (GetParam());

    uint64_t actual[13];
    int k = 0;
    for (int room = 0; room < 3; ++room)
        for (int loudspeakers = 0; loudspeakers < 2; ++loudspeakers)
            for (auto head : { Head::still, Head::moving })
                actual[k++] = render ({ rate, layout, room, loudspeakers, head });
    actual[k] = render ({ rate, layout, 1, 0, Head::spatialiserOff });

    if (std::getenv ("VB_PRINT_GOLDEN") != nullptr)
    {
        std::string line = "    { " + std::to_string ((int) rate) + ".0, " + std::to_string (layout) + ", {";
        for (int i = 0; i < 13; ++i)
        {
            char hex[32];
            std::snprintf (hex, sizeof hex, "%s0x%016llxull", i == 0 ? " " : ", ", (unsigned long long) actual[i]);
            line += hex;
        }
        std::printf ("%s } },\n", line.c_str());
    }

    const Reference* reference = nullptr;
    for (const auto& r : references)
        if (r.rate == rate && r.layout == layout)
            reference = &r;
    ASSERT_NE (reference, nullptr) << "no reference for rate " << rate << " layout " << layout;

    k = 0;
    for (int room = 0; room < 3; ++room)
        for (int loudspeakers = 0; loudspeakers < 2; ++loudspeakers)
            for (const char* head : { "still", "moving" })
            {
                EXPECT_EQ (actual[k], reference->checksums[k])
                    << "room " << room << " loudspeakers " << loudspeakers << " head " << head;
                ++k;
            }
    EXPECT_EQ (actual[k], reference->checksums[k]) << "spatialiser off";
}

INSTANTIATE_TEST_SUITE_P (EveryLayout, GoldenOutput,
                          ::testing::Combine (::testing::Values (44100.0, 48000.0), ::testing::Range (0, 16)),
                          [] (const auto& param)
                          {
                              return "rate" + std::to_string ((int) std::get<0> (param.param)) + "_layout"
                                     + std::to_string (std::get<1> (param.param));
                          });
} // namespace
