#include "plugin/PluginProcessor.h"
#include "plugin/SavedState.h"

#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <cmath>
#include <numeric>
#include <vector>

namespace
{
using Set = juce::AudioChannelSet;

// A processor with the given bus widths, prepared at the rate. The input is discrete,
// so that buffer channel k is host channel k whatever the width.
std::unique_ptr<BinauralAudioProcessor> makeProcessor (int numIn, int numOut, double rate = 48000.0)
{
    auto p = std::make_unique<BinauralAudioProcessor>();
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (Set::discreteChannels (numIn));
    layout.outputBuses.add (Set::canonicalChannelSet (numOut).size() == numOut ? Set::canonicalChannelSet (numOut)
                                                                                : Set::discreteChannels (numOut));
    EXPECT_TRUE (p->setBusesLayout (layout));
    p->prepareToPlay (rate, 512);
    return p;
}

void loadState (BinauralAudioProcessor& p, const juce::String& text)
{
    p.setStateInformation (text.toRawUTF8(), (int) text.getNumBytesAsUTF8());
}

// Input channel c carries a sine of its own frequency and level.
float inputSample (int channel, int64_t t)
{
    return (0.1f + 0.05f * (float) channel) * std::sin (0.01f * (float) (channel + 1) * (float) t);
}

// Runs `total` samples through the processor in blocks of `blockSize`; returns outputs 0 and 1.
std::vector<std::vector<float>> run (BinauralAudioProcessor& p, int total, int blockSize)
{
    const int numIn = p.getTotalNumInputChannels();
    const int numCh = juce::jmax (numIn, p.getTotalNumOutputChannels());
    std::vector<std::vector<float>> out (2);
    juce::MidiBuffer midi;
    for (int64_t start = 0; start < total; start += blockSize)
    {
        const int n = (int) juce::jmin<int64_t> (blockSize, total - start);
        juce::AudioBuffer<float> buffer (numCh, n);
        buffer.clear();
        for (int c = 0; c < numIn; ++c)
            for (int i = 0; i < n; ++i)
                buffer.setSample (c, i, inputSample (c, start + i));
        p.processBlock (buffer, midi);
        for (int c = 0; c < 2; ++c)
            out[(size_t) c].insert (out[(size_t) c].end(), buffer.getReadPointer (c), buffer.getReadPointer (c) + n);
    }
    return out;
}

// The plain downmix of the inputs, computed directly from the layout table.
std::vector<std::vector<float>> expectedDownmix (const Zeph::ChannelProfile& profile, const SoloMuteRecord& sm,
                                                 int numIn, int total, float volume)
{
    std::vector<std::vector<float>> out (2, std::vector<float> ((size_t) total, 0.0f));
    const int count = juce::jmin (profile.numPositions(), numIn);
    for (int c = 0; c < count; ++c)
    {
        const auto& pos = *profile.positions[c];
        if (! sm.sounds (c))
            continue;
        for (int t = 0; t < total; ++t)
        {
            out[0][(size_t) t] += inputSample (c, t) * pos.gainLeft * volume;
            out[1][(size_t) t] += inputSample (c, t) * pos.gainRight * volume;
        }
    }
    return out;
}

void expectClose (const std::vector<std::vector<float>>& a, const std::vector<std::vector<float>>& b)
{
    for (size_t c = 0; c < 2; ++c)
    {
        ASSERT_EQ (a[c].size(), b[c].size());
        for (size_t i = 0; i < a[c].size(); ++i)
            ASSERT_NEAR (a[c][i], b[c][i], 1e-5f) << "channel " << c << " sample " << i;
    }
}
// A processor with the given input set and state, fed block by block: host channel
// k (a sine of its own) sits in buffer channel bufferChannelOf[k] of buffers
// bufferWidth wide; from sample `later` on only the first laterChannels host
// channels are fed, in buffers laterWidth wide. Returns outputs 0 and 1.
std::vector<std::vector<float>> runWithInputSet (const Set& inputs, const juce::String& state,
                                                 const std::vector<int>& bufferChannelOf, int bufferWidth,
                                                 int later = 0, int laterChannels = 0, int laterWidth = 0)
{
    BinauralAudioProcessor p;
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (inputs);
    layout.outputBuses.add (Set::stereo());
    EXPECT_TRUE (p.setBusesLayout (layout));
    loadState (p, state);
    p.prepareToPlay (48000.0, 512);

    constexpr int total = 6144, blockSize = 512;
    std::vector<std::vector<float>> out (2);
    juce::MidiBuffer midi;
    for (int64_t start = 0; start < total; start += blockSize)
    {
        const bool isLater = later > 0 && start >= later;
        const int width = isLater ? laterWidth : bufferWidth;
        const size_t fed = isLater ? (size_t) laterChannels : bufferChannelOf.size();
        juce::AudioBuffer<float> buffer (width, blockSize);
        buffer.clear();
        for (size_t k = 0; k < fed; ++k)
            if (bufferChannelOf[k] < width)
                for (int i = 0; i < blockSize; ++i)
                    buffer.setSample (bufferChannelOf[k], i, inputSample ((int) k, start + i));
        p.processBlock (buffer, midi);
        for (int c = 0; c < 2; ++c)
            out[(size_t) c].insert (out[(size_t) c].end(), buffer.getReadPointer (c), buffer.getReadPointer (c) + blockSize);
    }
    return out;
}

std::vector<int> inHostOrder (int n)
{
    std::vector<int> order ((size_t) n);
    std::iota (order.begin(), order.end(), 0);
    return order;
}
} // namespace

TEST (Processor, BusLayouts)
{
    BinauralAudioProcessor p;
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (Set::stereo());
    EXPECT_FALSE (p.checkBusesLayoutSupported (layout)); // no output bus

    layout.outputBuses.add (Set::mono());
    EXPECT_FALSE (p.checkBusesLayoutSupported (layout));

    layout.outputBuses.getReference (0) = Set::stereo();
    for (auto in : { Set::mono(), Set::create5point1(), Set::create7point1point4(), Set::discreteChannels (24) })
    {
        layout.inputBuses.getReference (0) = in;
        EXPECT_TRUE (p.checkBusesLayoutSupported (layout)) << in.getDescription();
    }
    layout.outputBuses.getReference (0) = Set::create5point1();
    EXPECT_TRUE (p.checkBusesLayoutSupported (layout));
}

TEST (Processor, PrepareSetsRateConstantsAndChannelCount)
{
    auto p = makeProcessor (2, 2, 48000.0);
    EXPECT_EQ (p->render.settings.rateRatio, 1.0f);
    EXPECT_EQ (p->render.settings.samplesPerMetre, 48000.0f / 343.0f);
    EXPECT_EQ (p->render.settings.samplesPerMicrosecond, 0.048f);
    EXPECT_EQ (p->render.settings.filterMask, 3);
    EXPECT_EQ (p->pluginState.settingsChanged.load(), 0); // unchanged count of 2

    auto wide = makeProcessor (24, 2);
    EXPECT_EQ (wide->pluginState.numInputChannels.load(), 16);
    EXPECT_EQ (wide->pluginState.settingsChanged.load(), 1);
    EXPECT_EQ (wide->renderSpec.numInputChannels, 24);
    run (*wide, 3000, 512); // writes 16 rings, reads nothing past them

    // Preparing again with the same 24 channels changes nothing the editor shows.
    wide->pluginState.settingsChanged = 0;
    wide->prepareToPlay (48000.0, 512);
    EXPECT_EQ (wide->pluginState.settingsChanged.load(), 0);
    EXPECT_EQ (wide->pluginState.numInputChannels.load(), 16);
}

TEST (Processor, ConstructionDefaults)
{
    BinauralAudioProcessor p;
    EXPECT_EQ (p.render.settings.rateRatio, 0.91875f);
    EXPECT_EQ (p.render.settings.samplesPerMicrosecond, 0.0441f);
    EXPECT_EQ (p.render.workBuffer.getNumChannels(), 10);
    EXPECT_EQ (p.render.workBuffer.getNumSamples(), 2192);
    EXPECT_EQ (p.render.historyBuffer.getNumChannels(), 16);
    EXPECT_EQ (p.render.historyBuffer.getNumSamples(), 20480);
    EXPECT_EQ (p.renderSpec.currentProfile(), p.pluginState.channelProfiles.findById (1));
    EXPECT_EQ (p.renderSpec.currentSoloMutes(), &p.pluginState.soloMutes);
    EXPECT_TRUE (p.renderSpec.hasDesk.load());
    EXPECT_FALSE (p.renderSpec.loudspeakerEq.load());
    EXPECT_EQ (p.renderSpec.volumeGain.load(), 1.0f);
    EXPECT_EQ (p.getChannelLayoutOfBus (true, 0).size(), 16); // a host sees 16 inputs first
    EXPECT_EQ (p.getChannelLayoutOfBus (false, 0), Set::stereo());
    EXPECT_EQ (p.pluginState.numInputChannels.load(), 2); // until the host prepares it
}

TEST (Processor, FloatingPointModeIsRestored)
{
    auto p = makeProcessor (2, 2);
    const auto caller = _mm_getcsr();
    // Flush-to-zero and denormals-are-zero, off and on in the caller's mode.
    for (const auto before : { caller & ~0x8040u, caller | 0x8040u })
    {
        _mm_setcsr (before);
        run (*p, 1024, 512);
        EXPECT_EQ (_mm_getcsr(), before);
    }
    _mm_setcsr (caller);
}

TEST (Processor, DownmixEveryLayout)
{
    auto reference = std::make_unique<BinauralAudioProcessor>();
    for (auto* profile : reference->pluginState.channelProfiles.profiles)
    {
        for (int numIn : { 1, 2, 6, 16 })
        {
            auto p = makeProcessor (numIn, 2);
            loadState (*p, "Bypassed=True\nVolumeTrim=20\nChannelProfile=" + juce::String (profile->id));
            const auto got = run (*p, 2000, 500);
            const auto want = expectedDownmix (*profile, p->pluginState.soloMutes, numIn, 2000, std::pow (10.0f, -3.0f / 20.0f));
            SCOPED_TRACE (profile->name + " with " + juce::String (numIn) + " inputs");
            expectClose (got, want);
        }
    }
}

TEST (Processor, DownmixHonoursSoloAndMute)
{
    auto p = makeProcessor (8, 2);
    loadState (*p, "Bypassed=True\nChannelProfile=1\nSoloMutes=--s-s--m");
    const auto* profile = p->pluginState.channelProfiles.findById (1);
    expectClose (run (*p, 1500, 256), expectedDownmix (*profile, p->pluginState.soloMutes, 8, 1500, 1.0f));

    loadState (*p, "SoloMutes=m-m-m-m-");
    auto p2 = makeProcessor (8, 2);
    loadState (*p2, "Bypassed=True\nChannelProfile=1\nSoloMutes=m-m-m-m-");
    expectClose (run (*p2, 1500, 256), expectedDownmix (*profile, p2->pluginState.soloMutes, 8, 1500, 1.0f));
}

TEST (Processor, LongHostBlocksMatchShortBlocks)
{
    for (int big : { 2049, 4096, 5000, 20481 })
    {
        auto a = makeProcessor (8, 2);
        auto b = makeProcessor (8, 2);
        loadState (*a, "Bypassed=True");
        loadState (*b, "Bypassed=True");
        expectClose (run (*a, 3 * big, big), run (*b, 3 * big, 512));
    }
}

TEST (Processor, ExtraOutputChannels)
{
    // Outputs backed by inputs pass through; outputs without an input are silent.
    for (int numIn : { 6, 2 })
    {
        auto p = makeProcessor (numIn, 6);
        juce::MidiBuffer midi;
        for (auto bypassed : { 1, 0 })
        {
            p->pluginState.bypassed = (uint8_t) bypassed;
            juce::AudioBuffer<float> buffer (6, 256);
            for (int c = 0; c < 6; ++c)
                juce::FloatVectorOperations::fill (buffer.getWritePointer (c), 0.25f * (float) c, 256);
            p->processBlock (buffer, midi);
            for (int c = 2; c < 6; ++c)
                EXPECT_EQ (buffer.getSample (c, 100), c < numIn ? 0.25f * (float) c : 0.0f) << numIn << " " << c;
        }
    }
}

TEST (Processor, StateTextRoundTrip)
{
    BinauralAudioProcessor p;
    juce::MemoryBlock block;
    p.getStateInformation (block);
    EXPECT_EQ (block.toString(), "Bypassed=False\r\nChannelProfile=1\r\nSoloMutes=--------\r\nRoom=1\r\n"
                                 "Loudspeakers=0\r\nVolumeTrim=26\r\nReverbTrim=16");
}

TEST (Processor, AnyBlockLengthAndRateRendersFinite)
{
    for (double rate : { 8000.0, 11025.0, 22050.0, 32000.0, 44100.0, 96000.0, 192000.0, 384000.0 })
        for (int bypassed : { 0, 1 })
        {
            auto p = makeProcessor (12, 2, rate);
            loadState (*p, "ChannelProfile=11\nBypassed=" + juce::String (bypassed));
            for (int block : { 1, 17, 735, 2048, 4096, 8192 })
            {
                const auto out = run (*p, 2 * block + 100, block);
                for (const auto& channel : out)
                    for (float v : channel)
                        ASSERT_TRUE (std::isfinite (v) && std::abs (v) < 100.0f) << rate << " " << block;
            }
        }
}

TEST (Processor, PrepareRebuildsOnlyForANewRate)
{
    auto p = makeProcessor (2, 2, 48000.0);
    run (*p, 1024, 512); // the build is taken over
    auto directDelay = [&p] {
        for (auto* r : p->render.room.activeReflections())
            if (r->isDirect)
                return r->left.targetDelay;
        return 0.0f;
    };
    const float at48k = directDelay();
    auto* const before = p->render.room.activeReflections().getFirst();

    p->prepareToPlay (48000.0, 512);
    EXPECT_FALSE (p->render.room.swapPending());
    EXPECT_EQ (p->render.room.activeReflections().getFirst(), before);

    p->prepareToPlay (96000.0, 512);
    run (*p, 1024, 512);
    EXPECT_NEAR (directDelay() - 4.0f, 2.0f * (at48k - 4.0f), 0.01f);
}

TEST (Processor, NamedLayoutsAreTakenInTheHostsOrder)
{
    // The framework hands 7.1.4 over sorted by its channel types: the host's
    // channels 4 to 11 arrive in buffer channels 10, 11, 4, 5, 6, 7, 8, 9.
    const std::vector<int> frameworkOrder { 0, 1, 2, 3, 10, 11, 4, 5, 6, 7, 8, 9 };

    for (const auto* state : { "ChannelProfile=15", "ChannelProfile=11\nBypassed=True" })
    {
        const auto named = runWithInputSet (Set::create7point1point4(), state, frameworkOrder, 12);
        const auto discrete = runWithInputSet (Set::discreteChannels (12), state, inHostOrder (12), 12);
        EXPECT_EQ (named, discrete) << state;
    }
}

TEST (Processor, ChannelsTheBufferLacksAreSilent)
{
    // Buffers that turn narrower than the bus: nothing is read past them, and the
    // missing channels sound as silence rather than as the last block their rings took.
    for (const auto* state : { "ChannelProfile=11", "ChannelProfile=11\nBypassed=True" })
    {
        const auto narrow = runWithInputSet (Set::discreteChannels (12), state, inHostOrder (12), 12, 2048, 4, 4);
        const auto silentRest = runWithInputSet (Set::discreteChannels (12), state, inHostOrder (12), 12, 2048, 4, 12);
        EXPECT_EQ (narrow, silentRest) << state;
    }
}

// Hosts hand over their own buffers, often one channel right after another
// and the last right before heap bookkeeping: a block must write nothing
// before or past the samples it was given, whatever its length (up to the
// longest the renderer takes at once and past it).
TEST (Processor, WritesNothingOutsideTheHostsBuffers)
{
    constexpr int channels = 16, guard = 64, longest = 4100;
    constexpr float canary = -1234.5f;
    for (const int block : { 1, 15, 16, 17, 31, 33, 477, 2047, 2048, 2049, 4096 })
    {
        BinauralAudioProcessor p;
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (channels));
        layout.outputBuses.add (juce::AudioChannelSet::stereo());
        ASSERT_TRUE (p.setBusesLayout (layout));
        p.prepareToPlay (48000.0, block);
        p.pluginState.channelProfile = 11; // "Dolby 7.1.4"
        p.layoutSettingsChanged();

        // Each channel in its own stretch of one allocation, guarded on both sides.
        std::vector<float> memory ((size_t) channels * (longest + 2 * guard), canary);
        float* starts[channels];
        for (int c = 0; c < channels; ++c)
            starts[c] = memory.data() + (size_t) c * (longest + 2 * guard) + guard;

        juce::MidiBuffer midi;
        HeadMatrix head;
        for (int b = 0, t = 0; b < 30; ++b, t += block)
        {
            const float yaw = 0.05f * (float) b, m[9] = { std::cos (yaw), -std::sin (yaw), 0.0f, std::sin (yaw),
                                                          std::cos (yaw), 0.0f, 0.0f, 0.0f, 1.0f };
            head.write (m);
            p.trackerChanged (head);
            for (int c = 0; c < channels; ++c)
                for (int i = 0; i < block; ++i)
                    starts[c][i] = 0.1f * std::sin (0.01f * (float) ((c + 1) * (t + i)));
            juce::AudioBuffer<float> buffer (starts, channels, block);
            p.processBlock (buffer, midi);
        }

        for (int c = 0; c < channels; ++c)
        {
            const float* start = starts[c];
            int outside = 0;
            for (int i = -guard; i < 0; ++i)
                outside += start[i] != canary;
            for (int i = block; i < longest + guard; ++i)
                outside += start[i] != canary;
            EXPECT_EQ (outside, 0) << "channel " << c << ", blocks of " << block;
        }
    }
}
