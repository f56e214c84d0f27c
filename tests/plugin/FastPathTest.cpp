// The rays rendered side by side (the processor's normal path) against the
// one-ray-at-a-time reference: the same output within 1e-6 of the signal
// level, and every ray left in the same state, for every layout, room,
// loudspeaker setting and rate, with the head still and moving; and at the
// small blocks of live monitoring, at 48 and 96 kHz, the same output bit for
// bit.
#include "plugin/PluginProcessor.h"
#include "tests/plugin/ProcessorRig.h"
#include "tests/plugin/TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace
{
constexpr bool sanitized = ProcessorRig::underThreadSanitizer;

constexpr int numLayouts = 16;
constexpr int numInputs = 16;

using TestSignals::noise;

// laneWidth 0: the lane widths the processor picks; else that width throughout.
std::unique_ptr<BinauralAudioProcessor> makeProcessor (double rate, bool reference, int laneWidth)
{
    auto p = std::make_unique<BinauralAudioProcessor>();
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (numInputs));
    layout.outputBuses.add (juce::AudioChannelSet::stereo());
    EXPECT_TRUE (p->setBusesLayout (layout));
    p->prepareToPlay (rate, 512);
    p->render.referenceRays = reference;
    if (laneWidth > 0)
        p->render.rayBatch.useLaneWidth (laneWidth);
    return p;
}

void applySettings (BinauralAudioProcessor& p, int layoutId, int room, int loudspeakers)
{
    auto& s = p.pluginState;
    s.channelProfile = (uint8_t) layoutId;
    s.room = (Zeph::ListeningRoom) room;
    s.loudspeakers = (Zeph::Loudspeakers) loudspeakers;
    s.updateGains();
    p.gainSettingsChanged();
    p.layoutSettingsChanged();
}

// The head turning: yaw and a little pitch, as a row-major rotation.
void headAt (int64_t t, double rate, float* m)
{
    const double seconds = (double) t / rate;
    const float yaw = (float) (1.3 * std::sin (2.0 * 3.141592653589793 * 0.7 * seconds));
    const float pitch = (float) (0.4 * std::sin (2.0 * 3.141592653589793 * 0.3 * seconds));
    const float cy = std::cos (yaw), sy = std::sin (yaw), cp = std::cos (pitch), sp = std::sin (pitch);
    const float r[9] = { cy, -sy * cp, sy * sp, sy, cy * cp, -cy * sp, 0.0f, sp, cp };
    std::copy (r, r + 9, m);
}

void expectSameRays (BinauralAudioProcessor& fast, BinauralAudioProcessor& ref, const std::string& where)
{
    fast.render.rayBatch.returnHeldMemories();
    const auto& a = fast.render.room.activeReflections();
    const auto& b = ref.render.room.activeReflections();
    ASSERT_EQ (a.size(), b.size()) << where;
    for (int r = 0; r < a.size(); ++r)
    {
        const Zeph::Ray* raysA[] = { &a[r]->left, &a[r]->right };
        const Zeph::Ray* raysB[] = { &b[r]->left, &b[r]->right };
        for (int e = 0; e < 2; ++e)
        {
            ASSERT_EQ (raysA[e]->currentDelay, raysB[e]->currentDelay) << where << " reflection " << r;
            for (int k = 0; k < Zeph::Ray::numFilters; ++k)
            {
                ASSERT_EQ (raysA[e]->contexts[k].s1, raysB[e]->contexts[k].s1) << where << " reflection " << r << " filter " << k;
                ASSERT_EQ (raysA[e]->contexts[k].s2, raysB[e]->contexts[k].s2) << where << " reflection " << r << " filter " << k;
            }
        }
    }
}

struct Pair
{
    std::unique_ptr<BinauralAudioProcessor> fast, ref;
    double rate;
    int64_t time = 0;
    HeadMatrix head;
    int64_t differentBits = 0; // output samples whose bits differ, over every run

    Pair (double sampleRate, int laneWidth)
        : fast (makeProcessor (sampleRate, false, laneWidth)), ref (makeProcessor (sampleRate, true, laneWidth)),
          rate (sampleRate)
    {
    }

    // Renders `total` samples in blocks through both; returns the largest
    // difference relative to max(1, peak of the reference).
    double run (int total, int blockSize, bool moving)
    {
        juce::MidiBuffer midi;
        double worst = 0.0;
        float peak = 0.0f;
        juce::AudioBuffer<float> a (numInputs, blockSize), b (numInputs, blockSize);
        for (int done = 0; done < total; done += blockSize)
        {
            if (moving)
            {
                float m[9];
                headAt (time, rate, m);
                head.write (m);
                fast->trackerChanged (head);
                ref->trackerChanged (head);
            }
            const int n = std::min (blockSize, total - done);
            a.setSize (numInputs, n, false, false, true);
            b.setSize (numInputs, n, false, false, true);
            for (int c = 0; c < numInputs; ++c)
                for (int i = 0; i < n; ++i)
                    a.setSample (c, i, noise (c, time + i));
            b.makeCopyOf (a, true);
            fast->processBlock (a, midi);
            ref->processBlock (b, midi);
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < n; ++i)
                {
                    peak = std::max (peak, std::abs (b.getSample (c, i)));
                    worst = std::max (worst, (double) std::abs (a.getSample (c, i) - b.getSample (c, i)));
                    differentBits += std::memcmp (a.getReadPointer (c, i), b.getReadPointer (c, i), sizeof (float)) != 0;
                }
            time += n;
        }
        return worst / std::max (1.0f, peak);
    }
};

// Every layout, room and loudspeaker setting, with the head still and moving,
// through both processors for `seconds` of audio each; check (where, moving,
// total) renders and checks one of them.
template <typename Check>
void sweep (Pair& pair, double seconds, Check check)
{
    const int total = (int) (pair.rate * seconds);
    const int layoutStep = sanitized ? 5 : 1;
    for (int layout = 0; layout < numLayouts; layout += layoutStep)
        for (int room = 0; room < 3; ++room)
            for (int loudspeakers = 0; loudspeakers < 2; ++loudspeakers)
            {
                applySettings (*pair.fast, layout, room, loudspeakers);
                applySettings (*pair.ref, layout, room, loudspeakers);
                for (int moving = 0; moving < 2; ++moving)
                {
                    const std::string where = "rate " + std::to_string ((int) pair.rate) + " layout "
                                              + std::to_string (layout) + " room " + std::to_string (room)
                                              + " loudspeakers " + std::to_string (loudspeakers)
                                              + (moving ? " moving" : " still");
                    check (where, moving != 0, total);
                    expectSameRays (*pair.fast, *pair.ref, where);
                }
            }
}

void sweepRate (double rate, int laneWidth)
{
    Pair pair (rate, laneWidth);
    // Long enough for the longest reverb tap and for the direct rays' slews.
    sweep (pair, sanitized ? 0.05 : 0.12, [&pair] (const std::string& where, bool moving, int total) {
        const int blockSize = moving ? 477 : 1024; // 477: a tail shorter than a vector
        EXPECT_LE (pair.run (total, blockSize, moving), 1e-6) << where;
    });
}

// Small blocks, where every block starts and ends the vector kernels' work;
// the head moves at every block. laneWidth as makeProcessor takes it.
struct SmallBlocks
{
    double rate;
    int blockSize;
    int laneWidth;
};

void PrintTo (const SmallBlocks& c, std::ostream* os)
{
    *os << c.rate << " Hz, blocks of " << c.blockSize << ", lanes " << c.laneWidth;
}

class FastPathSmallBlocks : public ::testing::TestWithParam<SmallBlocks>
{
};
} // namespace

TEST (FastPath, MatchesReferenceAt44100) { sweepRate (44100.0, 0); }
TEST (FastPath, MatchesReferenceAt48000) { sweepRate (48000.0, 0); }
TEST (FastPath, MatchesReferenceAt96000) { sweepRate (96000.0, 0); }
TEST (FastPath, FourLanesMatchReferenceAt48000) { sweepRate (48000.0, 4); }

TEST_P (FastPathSmallBlocks, MatchReferenceBitForBit)
{
    const SmallBlocks c = GetParam();
    if (c.laneWidth > 0 && Zeph::RayKernels::forWidth (c.laneWidth) == nullptr)
        GTEST_SKIP() << "no " << c.laneWidth << "-lane kernels on this processor";
    Pair pair (c.rate, c.laneWidth);
    sweep (pair, sanitized ? 0.03 : 0.1, [&pair, &c] (const std::string& where, bool moving, int total) {
        pair.differentBits = 0;
        pair.run (total, c.blockSize, moving);
        EXPECT_EQ (pair.differentBits, 0) << where << " block " << c.blockSize;
    });
}

INSTANTIATE_TEST_SUITE_P (RatesBlocksAndLanes, FastPathSmallBlocks,
                          ::testing::Values (SmallBlocks { 48000.0, 32, 0 }, SmallBlocks { 48000.0, 16, 0 },
                                             SmallBlocks { 96000.0, 32, 0 }, SmallBlocks { 96000.0, 16, 0 },
                                             SmallBlocks { 48000.0, 32, 8 }, SmallBlocks { 48000.0, 16, 4 }),
                          [] (const auto& test)
                          {
                              return std::to_string ((int) test.param.rate) + "Hz_block" + std::to_string (test.param.blockSize)
                                     + "_lanes" + std::to_string (test.param.laneWidth);
                          });

// The batch keeps static rays in their lanes from block to block, and
// renders a block's reflections as the block before while nothing that
// decides them changes. Rays that change lanes (a channel muted or soloed
// shifts every later ray), rays that leave for the one-ray path (another
// filter mask), another room gain and a fast path that turns into the
// reference one and back must carry on from the same filter memories as the
// reference.
TEST (FastPath, RaysChangingLanesKeepTheirFilterMemories)
{
    Pair pair (48000.0, 0);
    for (auto* p : { pair.fast.get(), pair.ref.get() })
        applySettings (*p, 11, 0, 0);
    struct Step
    {
        int channel;            // -1: none
        SoloMuteState state;
        int32_t filterMask;
        bool fastAsReference;
        uint8_t reverbTrim = 16;
    };
    const Step steps[] = {
        { -1, normal, 3, false },  { 0, muted, 3, false },  { 0, normal, 3, false }, { 5, soloed, 3, false },
        { 7, soloed, 3, false },   { 5, normal, 3, false }, { 7, normal, 0x1f, false }, { -1, normal, 3, false },
        { 2, muted, 3, true },     { 2, normal, 3, false }, { 3, muted, 7, false },   { 3, normal, 3, false },
        { -1, normal, 3, false, 10 }, { 4, muted, 3, false, 10 },
    };
    for (const auto& step : steps)
    {
        for (auto* p : { pair.fast.get(), pair.ref.get() })
        {
            if (step.channel >= 0)
                p->pluginState.soloMutes.set (step.channel, step.state);
            p->render.settings.filterMask = step.filterMask;
            p->pluginState.reverbTrim = step.reverbTrim;
            p->pluginState.updateGains();
            p->gainSettingsChanged();
        }
        pair.fast->render.referenceRays = step.fastAsReference;
        pair.differentBits = 0;
        pair.run (640, 64, true);
        EXPECT_EQ (pair.differentBits, 0) << "channel " << step.channel << " mask " << step.filterMask;
    }
    expectSameRays (*pair.fast, *pair.ref, "after the changes");
}
