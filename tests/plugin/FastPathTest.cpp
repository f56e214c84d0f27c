// The rays rendered side by side (the processor's normal path) against the
// one-ray-at-a-time reference: the same output within 1e-6 of the signal
// level, and every ray left in the same state, for every layout, room,
// loudspeaker setting and rate, with the head still and moving.
#include "plugin/PluginProcessor.h"
#include "tests/plugin/ProcessorRig.h"
#include "tests/plugin/TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace
{
constexpr bool sanitized = ProcessorRig::underThreadSanitizer;

constexpr int numLayouts = 16;
constexpr int numInputs = 16;

using TestSignals::noise;

std::unique_ptr<BinauralAudioProcessor> makeProcessor (double rate, bool reference, bool wide)
{
    auto p = std::make_unique<BinauralAudioProcessor>();
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (numInputs));
    layout.outputBuses.add (juce::AudioChannelSet::stereo());
    EXPECT_TRUE (p->setBusesLayout (layout));
    p->prepareToPlay (rate, 512);
    p->render.referenceRays = reference;
    if (! wide)
        p->render.rayBatch.useLaneWidth (4);
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

    Pair (double sampleRate, bool wide)
        : fast (makeProcessor (sampleRate, false, wide)), ref (makeProcessor (sampleRate, true, wide)), rate (sampleRate)
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
                }
            time += n;
        }
        return worst / std::max (1.0f, peak);
    }
};

void sweepRate (double rate, bool wide)
{
    Pair pair (rate, wide);
    // Long enough for the longest reverb tap and for the direct rays' slews.
    const int total = (int) (rate * (sanitized ? 0.05 : 0.12));
    const int layoutStep = sanitized ? 5 : 1;
    for (int layout = 0; layout < numLayouts; layout += layoutStep)
        for (int room = 0; room < 3; ++room)
            for (int loudspeakers = 0; loudspeakers < 2; ++loudspeakers)
            {
                applySettings (*pair.fast, layout, room, loudspeakers);
                applySettings (*pair.ref, layout, room, loudspeakers);
                for (int moving = 0; moving < 2; ++moving)
                {
                    const std::string where = "rate " + std::to_string ((int) rate) + " layout " + std::to_string (layout)
                                              + " room " + std::to_string (room) + " loudspeakers "
                                              + std::to_string (loudspeakers) + (moving ? " moving" : " still");
                    const int blockSize = moving ? 477 : 1024; // 477: a tail shorter than a vector
                    EXPECT_LE (pair.run (total, blockSize, moving != 0), 1e-6) << where;
                    expectSameRays (*pair.fast, *pair.ref, where);
                }
            }
}
} // namespace

TEST (FastPath, MatchesReferenceAt44100) { sweepRate (44100.0, true); }
TEST (FastPath, MatchesReferenceAt48000) { sweepRate (48000.0, true); }
TEST (FastPath, MatchesReferenceAt96000) { sweepRate (96000.0, true); }
TEST (FastPath, FourLanesMatchReferenceAt48000) { sweepRate (48000.0, false); }
