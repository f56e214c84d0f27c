// Above 192 kHz the rings grow with the rate: the far image rays and the
// reverb taps read what they should, whatever the host's block size.
#include "tests/plugin/ProcessorRig.h"
#include "tests/plugin/TestSignals.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace ProcessorRig;

namespace
{
constexpr int layout = 1; // 5.1 with its height pair

// Noise for the first 2048 samples, then silence until the longest reverb tap
// and the farthest image have been heard; outputs 0 and 1 one after the other.
std::vector<float> render (double rate, int room, int blockSize)
{
    auto p = makeProcessor (rate);
    applyLayout (*p, layout, room);
    const int total = (int) (0.105 * rate);
    std::vector<float> out ((size_t) total * 2);
    juce::AudioBuffer<float> buffer (numInputs, blockSize);
    juce::MidiBuffer midi;
    for (int done = 0; done < total; done += blockSize)
    {
        const int n = std::min (blockSize, total - done);
        buffer.setSize (numInputs, n, false, false, true);
        for (int c = 0; c < numInputs; ++c)
            for (int i = 0; i < n; ++i)
                buffer.setSample (c, i, done + i < 2048 ? TestSignals::noise (c, done + i) : 0.0f);
        p->processBlock (buffer, midi);
        for (int c = 0; c < 2; ++c)
            std::copy (buffer.getReadPointer (c), buffer.getReadPointer (c) + n, out.begin() + c * total + done);
    }
    return out;
}
} // namespace

class HighRate : public testing::TestWithParam<std::tuple<double, int>>
{
};

TEST_P (HighRate, OutputDoesNotDependOnTheBlockSize)
{
    const auto [rate, room] = GetParam();
    const auto reference = render (rate, room, 2048);
    for (int blockSize : { 1, 64, 512 })
    {
        const auto out = render (rate, room, blockSize);
        ASSERT_EQ (out.size(), reference.size());
        size_t firstDifference = 0;
        while (firstDifference < out.size() && out[firstDifference] == reference[firstDifference])
            ++firstDifference;
        EXPECT_EQ (firstDifference, out.size()) << "block " << blockSize;
    }
}

INSTANTIATE_TEST_SUITE_P (Rooms, HighRate,
                          testing::Combine (testing::Values (352800.0, 384000.0), testing::Values (0, 1, 2)),
                          [] (const auto& instance) {
                              return std::to_string ((int) std::get<0> (instance.param)) + "Hz_room"
                                     + std::to_string (std::get<1> (instance.param));
                          });

TEST (HighRate, RingsHoldTheFarthestRayAndTheLongestTap)
{
    for (double rate : { 44100.0, 192000.0, 352800.0, 384000.0 })
    {
        auto p = makeProcessor (rate);
        const auto& r = p->render;
        const int longestDelay = (int) std::ceil (Zeph::Render::longestRayDelaySeconds * rate);
        for (auto* ring : r.inputDelays)
            EXPECT_GE (ring->size, longestDelay + Zeph::Render::maxBlock + Zeph::Ray::scratchExtra) << rate;
        for (int d = 0; d < Zeph::Reverb::numLines; ++d)
            EXPECT_GE (r.reverb.delays[d].size,
                       r.reverb.readTap (d, r.settings.rateRatio, 0) + Zeph::Render::maxBlock) << rate << " line " << d;
    }
}
