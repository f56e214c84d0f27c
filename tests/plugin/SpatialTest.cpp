#include "plugin/PluginProcessor.h"
#include "tests/plugin/TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace
{
using Signal = std::function<float (int channel, int64_t t)>;
using Stereo = std::vector<std::vector<float>>;

std::unique_ptr<BinauralAudioProcessor> makeProcessor (int numIn, const juce::String& state, double rate = 48000.0)
{
    auto p = std::make_unique<BinauralAudioProcessor>();
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (numIn));
    layout.outputBuses.add (juce::AudioChannelSet::stereo());
    EXPECT_TRUE (p->setBusesLayout (layout));
    p->prepareToPlay (rate, 512);
    p->setStateInformation (state.toRawUTF8(), (int) state.getNumBytesAsUTF8());
    return p;
}

Stereo run (BinauralAudioProcessor& p, const Signal& input, int64_t start, int total, int blockSize)
{
    const int numIn = p.getTotalNumInputChannels();
    Stereo out (2);
    juce::MidiBuffer midi;
    for (int done = 0; done < total; done += blockSize)
    {
        const int n = juce::jmin (blockSize, total - done);
        juce::AudioBuffer<float> buffer (juce::jmax (2, numIn), n);
        buffer.clear();
        for (int c = 0; c < numIn; ++c)
            for (int i = 0; i < n; ++i)
                buffer.setSample (c, i, input (c, start + done + i));
        p.processBlock (buffer, midi);
        for (int c = 0; c < 2; ++c)
            out[(size_t) c].insert (out[(size_t) c].end(), buffer.getReadPointer (c), buffer.getReadPointer (c) + n);
    }
    return out;
}

using TestSignals::noise;

double energy (const std::vector<float>& ch, size_t from = 0, size_t to = SIZE_MAX)
{
    const auto last = (std::ptrdiff_t) std::min (to, ch.size());
    double e = 0.0;
    for (auto it = ch.begin() + (std::ptrdiff_t) from; it < ch.begin() + last; ++it)
        e += (double) *it * *it;
    return e;
}

double energy (const Stereo& s, size_t from = 0, size_t to = SIZE_MAX)
{
    return energy (s[0], from, to) + energy (s[1], from, to);
}

void expectClose (const Stereo& a, const Stereo& b, float tolerance)
{
    for (size_t c = 0; c < 2; ++c)
    {
        ASSERT_EQ (a[c].size(), b[c].size());
        for (size_t i = 0; i < a[c].size(); ++i)
            ASSERT_NEAR (a[c][i], b[c][i], tolerance) << "channel " << c << " sample " << i;
    }
}

bool allFinite (const Stereo& s)
{
    for (const auto& ch : s)
        for (float v : ch)
            if (! std::isfinite (v))
                return false;
    return true;
}

bool rayHasRun (const Zeph::Ray& ray)
{
    for (const auto& c : ray.contexts)
        if (c.s1 != 0.0f || c.s2 != 0.0f)
            return true;
    return false;
}
} // namespace

TEST (Spatial, NewInstanceRendersBinaurallyAndBypassSwitchesToDownmix)
{
    auto p = makeProcessor (8, "");
    const auto out = run (*p, noise, 0, 4096, 512);
    EXPECT_TRUE (allFinite (out));
    EXPECT_GT (energy (out), 1.0);
    // Binaural: left and right differ for a left-only loudspeaker.
    auto leftOnly = makeProcessor (8, "SoloMutes=s");
    const auto l = run (*leftOnly, noise, 0, 4096, 512);
    EXPECT_GT (energy (l[0]), 2.0 * energy (l[1]));
    EXPECT_GT (energy (l[1]), 0.0);

    p->pluginState.bypassed = 1;
    const auto down = run (*p, noise, 4096, 512, 512);
    const auto& front = *p->pluginState.channelProfiles.findById (1)->positions[0];
    EXPECT_NEAR (down[0][7], noise (0, 4096 + 7) * front.gainLeft + noise (1, 4096 + 7) * 0.0f
                                 + noise (2, 4096 + 7) * p->pluginState.channelProfiles.findById (1)->positions[2]->gainLeft
                                 + noise (3, 4096 + 7) * p->pluginState.channelProfiles.findById (1)->positions[3]->gainLeft
                                 + noise (4, 4096 + 7) * p->pluginState.channelProfiles.findById (1)->positions[4]->gainLeft
                                 + noise (6, 4096 + 7) * p->pluginState.channelProfiles.findById (1)->positions[6]->gainLeft
                                 + noise (7, 4096 + 7) * p->pluginState.channelProfiles.findById (1)->positions[7]->gainLeft,
                 1e-5f);
}

TEST (Spatial, DeskOrFloorByRoom)
{
    for (int room : { 0, 1, 2 })
    {
        auto p = makeProcessor (2, "ChannelProfile=1\nRoom=" + juce::String (room));
        run (*p, noise, 0, 1024, 512);
        p->render.rayBatch.returnHeldMemories();
        auto& set = p->render.room.activeReflections();
        for (int c = 0; c < 2; ++c)
        {
            const auto& desk = *set[c * 15];
            const auto& floor = *set[c * 15 + 1];
            ASSERT_TRUE (desk.isDeskReflection && floor.isFloorReflection);
            EXPECT_EQ (rayHasRun (desk.left), room < 2) << room;
            EXPECT_EQ (rayHasRun (floor.left), room == 2) << room;
        }
        // Channels past the input count never run.
        EXPECT_FALSE (rayHasRun (set[2 * 15 + 8]->left));
    }
}

TEST (Spatial, SoloOneChannelEqualsThatChannelAlone)
{
    auto soloed = makeProcessor (8, "SoloMutes=---s");
    auto alone = makeProcessor (8, "");
    const auto a = run (*soloed, noise, 0, 6000, 512);
    const auto b = run (*alone, [] (int c, int64_t t) { return c == 3 ? noise (c, t) : 0.0f; }, 0, 6000, 512);
    expectClose (a, b, 1e-6f);

    auto spatialSolo = makeProcessor (8, "SoloMutes=--s");
    auto spatialAlone = makeProcessor (8, "");
    expectClose (run (*spatialSolo, noise, 0, 6000, 512),
                 run (*spatialAlone, [] (int c, int64_t t) { return c == 2 ? noise (c, t) : 0.0f; }, 0, 6000, 512),
                 1e-6f);
}

TEST (Spatial, LfeIsOnlyDownmixed)
{
    // "Film layout 5.1": the LFE is channel 5.
    auto lfeOnly = [] (int c, int64_t t) { return c == 5 ? noise (c, t) : 0.0f; };
    auto p = makeProcessor (6, "ChannelProfile=14");
    const auto out = run (*p, lfeOnly, 0, 4096, 512);
    const float g = std::pow (10.0f, -6.0f / 20.0f);
    for (size_t i = 0; i < out[0].size(); ++i)
    {
        ASSERT_NEAR (out[0][i], noise (5, (int64_t) i) * g, 1e-6f);
        ASSERT_NEAR (out[1][i], noise (5, (int64_t) i) * g, 1e-6f);
    }

    // With the loudspeaker equaliser it passes the output stage, which takes away the lows.
    auto near = makeProcessor (6, "ChannelProfile=14\nLoudspeakers=1");
    auto dc = [] (int c, int64_t) { return c == 5 ? 0.5f : 0.0f; };
    const auto eqd = run (*near, dc, 0, 48000, 512);
    EXPECT_LT (std::abs (eqd[0].back()), 0.01f);
}

TEST (Spatial, RoomGainScalesReflectionsAndReverbTogether)
{
    // out(trim) = directGain * D + roomGain * R, with R the room stage of reflections and reverb.
    auto make = [] (int trim) { return makeProcessor (8, "ReverbTrim=" + juce::String (trim)); };
    auto p16 = make (16), p0 = make (0), p32 = make (32);
    auto noLfe = [] (int c, int64_t t) { return c == 3 ? 0.0f : noise (c, t); };
    const auto o16 = run (*p16, noLfe, 0, 8192, 512);
    const auto o0 = run (*p0, noLfe, 0, 8192, 512);
    const auto o32 = run (*p32, noLfe, 0, 8192, 512);
    for (size_t c = 0; c < 2; ++c)
        for (size_t i = 0; i < o16[c].size(); ++i)
        {
            const float room = (o16[c][i] - o0[c][i]) / 0.9f;
            const float direct = o16[c][i] - room;
            ASSERT_NEAR (o32[c][i], 0.1f * direct + room, 1e-5f) << i;
        }
}

TEST (Spatial, MutingEverythingLetsTheReverbPlayOut)
{
    auto p = makeProcessor (8, "");
    run (*p, noise, 0, 9600, 480);
    p->setStateInformation ("SoloMutes=mmmmmmmm", 18);
    // The rebuild of the load waits: no spatial channel is audible, so no set flips.
    const auto active = p->render.room.activeSet();
    const auto tail = run (*p, noise, 9600, 48000, 480);
    EXPECT_EQ (p->render.room.activeSet(), active);
    EXPECT_TRUE (p->render.room.swapPending());
    const double early = energy (tail, 0, 4800);
    const double late = energy (tail, 24000, 48000);
    EXPECT_GT (early, 0.0);
    EXPECT_LT (late, early * 1e-6);

    p->setStateInformation ("SoloMutes=s", 11); // the next audible block flips
    run (*p, noise, 57600, 480, 480);
    EXPECT_NE (p->render.room.activeSet(), active);
    EXPECT_FALSE (p->render.room.swapPending());
}

TEST (Spatial, SameOutputForEveryBlockSize)
{
    Stereo reference;
    for (int block : { 512, 1, 64, 735, 2048, 4096 })
    {
        auto p = makeProcessor (12, "ChannelProfile=11");
        const auto out = run (*p, noise, 0, 12000, block);
        if (reference.empty())
            reference = out;
        else
            expectClose (out, reference, 1e-6f);
    }
}

TEST (Spatial, DirectSoundArrivesAtTheRayDelay)
{
    for (double rate : { 44100.0, 48000.0, 96000.0 })
    {
        // "Mono": one loudspeaker straight ahead; only the direct sound and the early room.
        auto p = makeProcessor (1, "ChannelProfile=0", rate);
        run (*p, [] (int, int64_t) { return 0.0f; }, 0, 512, 512);
        auto impulse = [] (int, int64_t t) { return t == 1000 ? 1.0f : 0.0f; };
        const auto out = run (*p, impulse, 512, 4096, 512);

        const Zeph::Reflection* direct = nullptr;
        for (auto* r : p->render.room.activeReflections())
            if (r->isDirect)
                direct = r;
        ASSERT_NE (direct, nullptr);
        const float expected = 1000.0f - 512.0f + direct->left.targetDelay + 143.0f;
        size_t onset = 0;
        while (onset < out[0].size() && std::abs (out[0][onset]) < 1e-3f)
            ++onset;
        EXPECT_NEAR ((float) onset, expected, 2.5f) << rate;
    }
}

TEST (Spatial, RandomStatesRenderFiniteOutput)
{
    auto p = makeProcessor (16, "");
    juce::Random random (99);
    const char* keys[] = { "Bypassed", "ChannelProfile", "SoloMutes", "Room", "Loudspeakers", "VolumeTrim", "ReverbTrim", "x" };
    for (int round = 0; round < 60; ++round)
    {
        juce::String text;
        for (int line = random.nextInt (8); line >= 0; --line)
        {
            text << keys[random.nextInt (8)] << (random.nextBool() ? "=" : " = ");
            if (random.nextBool())
                text << random.nextInt (juce::Range<int> (-50, 50));
            else
                for (int k = random.nextInt (20); k > 0; --k)
                    text << juce::String::charToString ("smS-M1t\xc3"[random.nextInt (8)]);
            text << (random.nextBool() ? "\r\n" : "\n");
        }
        p->setStateInformation (text.toRawUTF8(), (int) text.getNumBytesAsUTF8());
        ASSERT_TRUE (allFinite (run (*p, noise, round * 1024, 1024, 256 + random.nextInt (800)))) << text;
    }
}
