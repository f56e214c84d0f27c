// Bad samples on one input channel: NaN, infinity or a huge burst never
// reach the output and never outlive their block, for every layout and room
// at five rates and four block sizes; around NaN and infinity the output is
// exactly that of the same input with silence in their place.
#include "tests/plugin/ProcessorRig.h"
#include "tests/plugin/TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

using namespace ProcessorRig;

namespace
{
struct Burst
{
    const char* name;
    float value;
    bool tenMilliseconds; // else a single sample
    bool matchesSilence;  // the output equals that of silence in its place
};

const Burst bursts[] = {
    { "one NaN", std::numeric_limits<float>::quiet_NaN(), false, true },
    { "one +Inf", std::numeric_limits<float>::infinity(), false, true },
    { "10 ms of NaN", std::numeric_limits<float>::quiet_NaN(), true, true },
    { "10 ms of 1e30", 1.0e30f, true, false }, // last: it leaves the reverb rings loud
};

constexpr int burstStart = 37; // inside the first block for most block sizes
constexpr int burstChannel = 0;

// Runs noise through both processors, the burst into `hit` and silence in its
// place into `clean`; true when every output sample is finite and, if asked,
// the two outputs are the same.
struct PairRun
{
    bool finite = true;
    bool same = true;
};

PairRun runPair (BinauralAudioProcessor& hit, BinauralAudioProcessor& clean, const Burst& burst, int burstLength,
                 int blockSize, int64_t& t)
{
    PairRun result;
    const int total = burstStart + burstLength + blockSize + 64;
    juce::AudioBuffer<float> a (numInputs, blockSize), b (numInputs, blockSize);
    juce::MidiBuffer midi;
    for (int done = 0; done < total; done += blockSize)
    {
        const int n = std::min (blockSize, total - done);
        a.setSize (numInputs, n, false, false, true);
        b.setSize (numInputs, n, false, false, true);
        for (int c = 0; c < numInputs; ++c)
            for (int i = 0; i < n; ++i)
            {
                const int at = done + i;
                const bool inBurst = c == burstChannel && at >= burstStart && at < burstStart + burstLength;
                const float x = TestSignals::noise (c, t + at);
                a.setSample (c, i, inBurst ? burst.value : x);
                b.setSample (c, i, inBurst ? 0.0f : x);
            }
        hit.processBlock (a, midi);
        clean.processBlock (b, midi);
        for (int c = 0; c < 2; ++c)
        {
            result.finite = result.finite && Zeph::Finite::allFinite (a.getReadPointer (c), n);
            for (int i = 0; i < n && result.same; ++i)
                result.same = a.getSample (c, i) == b.getSample (c, i);
        }
    }
    t += total;
    return result;
}
} // namespace

class NonFiniteGrid : public testing::TestWithParam<std::tuple<double, int>>
{
};

TEST_P (NonFiniteGrid, BadSamplesNeverLeaveThePlugIn)
{
    const auto [rate, blockSize] = GetParam();
    auto hit = makeProcessor (rate);
    auto clean = makeProcessor (rate);
    const int tenMilliseconds = (int) std::lround (0.01 * rate);
    int64_t t = 0;

    // Under ThreadSanitizer: mono and the largest layout only.
    const int layoutStep = underThreadSanitizer ? 13 : 1;
    for (int layout = 0; layout < numLayouts; layout += layoutStep)
        for (int room = 0; room < numRooms; ++room)
        {
            applyLayout (*hit, layout, room);
            applyLayout (*clean, layout, room);
            for (const auto& burst : bursts)
            {
                const auto where = testing::Message() << burst.name << ", layout " << layout << ", room " << room;
                const auto run = runPair (*hit, *clean, burst, burst.tenMilliseconds ? tenMilliseconds : 1, blockSize, t);
                EXPECT_TRUE (run.finite) << where;
                if (burst.matchesSilence)
                {
                    EXPECT_TRUE (run.same) << where;
                }
                EXPECT_TRUE (allStatesFinite (*hit)) << where;
            }
            // The huge burst is still in the reverb rings; the next layout's
            // rebuild clears everything else.
            hit->render.reverb.clear();
            clean->render.reverb.clear();
        }
}

INSTANTIATE_TEST_SUITE_P (RatesAndBlocks, NonFiniteGrid,
                          testing::Combine (testing::Values (44100.0, 48000.0, 96000.0, 192000.0, 384000.0),
                                            testing::Values (1, 64, 512, 4096)),
                          [] (const auto& instance) {
                              return std::to_string ((int) std::get<0> (instance.param)) + "Hz_block"
                                     + std::to_string (std::get<1> (instance.param));
                          });

// Samples at the edge of the float range overflow inside the filters and the
// sums: the output stays finite, and whatever turns non-finite is reset
// within its block.
TEST (NonFinite, OverflowIsResetWithinItsBlock)
{
    constexpr int blockSize = 512;
    for (double rate : { 48000.0, 384000.0 })
        for (int layout : { 1, 13 })
            for (int room = 0; room < numRooms; ++room)
            {
                auto p = makeProcessor (rate);
                applyLayout (*p, layout, room);
                p->pluginState.loudspeakers = Zeph::Loudspeakers::nearfield; // every equaliser slot runs
                p->pluginState.updateGains();
                p->gainSettingsChanged();

                juce::AudioBuffer<float> buffer (numInputs, blockSize);
                juce::MidiBuffer midi;
                const int burstBlocks = (int) (0.01 * rate) / blockSize + 1;
                for (int block = 0; block < burstBlocks + 4; ++block)
                {
                    for (int c = 0; c < numInputs; ++c)
                        for (int i = 0; i < blockSize; ++i)
                        {
                            const float loud = ((i + c) % 2 == 0 ? 1.0f : -1.0f) * std::numeric_limits<float>::max();
                            buffer.setSample (c, i, block < burstBlocks ? loud : TestSignals::noise (c, i));
                        }
                    p->processBlock (buffer, midi);
                    const auto where = testing::Message() << rate << " Hz, layout " << layout << ", room " << room
                                                          << ", block " << block;
                    ASSERT_TRUE (Zeph::Finite::allFinite (buffer.getReadPointer (0), blockSize)) << where;
                    ASSERT_TRUE (Zeph::Finite::allFinite (buffer.getReadPointer (1), blockSize)) << where;
                    ASSERT_TRUE (allStatesFinite (*p)) << where;
                }
            }
}

// Outputs past the first two pass their inputs on untouched, but for a NaN or
// an infinity, which become silence.
TEST (NonFinite, PassedOnChannelsCarryNoBadSamples)
{
    BinauralAudioProcessor p;
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (6));
    layout.outputBuses.add (juce::AudioChannelSet::discreteChannels (6));
    ASSERT_TRUE (p.setBusesLayout (layout));
    p.prepareToPlay (48000.0, 64);

    juce::AudioBuffer<float> buffer (6, 64);
    for (int c = 0; c < 6; ++c)
        for (int i = 0; i < 64; ++i)
            buffer.setSample (c, i, TestSignals::noise (c, i));
    buffer.setSample (3, 5, std::numeric_limits<float>::quiet_NaN());
    buffer.setSample (4, 63, -std::numeric_limits<float>::infinity());
    buffer.setSample (5, 0, 1e30f);
    juce::MidiBuffer midi;
    p.processBlock (buffer, midi);

    for (int c = 2; c < 6; ++c)
        for (int i = 0; i < 64; ++i)
        {
            const bool bad = (c == 3 && i == 5) || (c == 4 && i == 63);
            const float expected = bad ? 0.0f : (c == 5 && i == 0 ? 1e30f : TestSignals::noise (c, i));
            ASSERT_EQ (buffer.getSample (c, i), expected) << c << " " << i;
        }
}
