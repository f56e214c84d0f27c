// The editor's controls heard in the processor's output.
#include "EditorRig.h"

#include "../plugin/TestSignals.h"

using namespace EditorTesting;
using EditorControls::ButtonGroup;

namespace
{
constexpr int numInputs = 8;
constexpr int blockSize = 256;
constexpr int left = 0, centre = 2; // of "ITU-R 5.1 / Dolby 5.1.2"

// One editor on one processor, rendering blocks of noise on chosen channels.
struct Session
{
    Session()
    {
        editor = openEditor (*processor);
        EXPECT_TRUE (waitForRadar (*editor));
    }

    ~Session() { editor.reset(); }

    // Renders the next block; returns outputs 0 and 1 one after the other.
    std::vector<float> render (std::initializer_list<int> channels = { left, centre })
    {
        buffer.clear();
        for (int c : channels)
            for (int i = 0; i < blockSize; ++i)
                buffer.setSample (c, i, TestSignals::noise (c, time + i));
        juce::MidiBuffer midi;
        processor->processBlock (buffer, midi);
        time += blockSize;
        std::vector<float> out (buffer.getReadPointer (0), buffer.getReadPointer (0) + blockSize);
        out.insert (out.end(), buffer.getReadPointer (1), buffer.getReadPointer (1) + blockSize);
        return out;
    }

    struct Downmix
    {
        int channel;
        float gainLeft, gainRight;
    };

    // The plain downmix of the noise of the block just rendered.
    std::vector<float> downmixOf (std::initializer_list<Downmix> channels) const
    {
        std::vector<float> out (2 * blockSize, 0.0f);
        for (const auto& d : channels)
            for (int i = 0; i < blockSize; ++i)
            {
                const float x = TestSignals::noise (d.channel, time - blockSize + i);
                out[(size_t) i] += x * d.gainLeft;
                out[(size_t) (blockSize + i)] += x * d.gainRight;
            }
        return out;
    }

    void clickChannel (int channel, int keys)
    {
        HeldKeys held (keys);
        hoverChannel (editor->getRadar(), *processor->pluginState.currentProfile(), channel);
        clickRadar (editor->getRadar());
    }

    void turnSpatialiserOff() { clickButton (*editor->findButton ({ ButtonGroup::spatialiser, 0 })); }

    std::unique_ptr<BinauralAudioProcessor> processor = makeProcessor (numInputs, blockSize);
    std::unique_ptr<BinauralAudioEditor> editor;
    juce::AudioBuffer<float> buffer { numInputs, blockSize };
    int64_t time = 0;
};

void expectSamples (const std::vector<float>& actual, const std::vector<float>& expected, float tolerance)
{
    ASSERT_EQ (actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i)
        ASSERT_NEAR (actual[i], expected[i], tolerance) << "sample " << i;
}

float peakOf (const std::vector<float>& samples)
{
    float peak = 0.0f;
    for (float x : samples)
        peak = std::max (peak, std::abs (x));
    return peak;
}

const float minus3dB = Zeph::levelToGain (-3.0f);
} // namespace

TEST (EditorThroughProcessor, RadarClicksMuteAndSoloInTheNextBlock)
{
    Session s;
    s.turnSpatialiserOff();
    // L reaches only the left output; C both at -3 dB.
    auto out = s.render();
    expectSamples (out, s.downmixOf ({ { left, minus3dB, 0.0f }, { centre, minus3dB, minus3dB } }), 1e-6f);

    s.clickChannel (centre, juce::ModifierKeys::ctrlModifier);
    EXPECT_EQ (s.processor->pluginState.soloMutes.get (centre), muted);
    out = s.render();
    expectSamples (out, s.downmixOf ({ { left, minus3dB, 0.0f } }), 1e-6f);

    s.clickChannel (centre, 0); // a plain click solos it
    out = s.render();
    expectSamples (out, s.downmixOf ({ { centre, minus3dB, minus3dB } }), 1e-6f);
}

TEST (EditorThroughProcessor, SpatialMuteMatchesTheRecordFromTheNextBlock)
{
    Session clicked, direct, untouched;
    for (int b = 0; b < 6; ++b)
        for (auto* s : { &clicked, &direct, &untouched })
            s->render();

    clicked.clickChannel (centre, juce::ModifierKeys::ctrlModifier);
    direct.processor->pluginState.soloMutes.set (centre, muted);
    for (int b = 0; b < 4; ++b)
    {
        const auto out = clicked.render();
        expectSamples (out, direct.render(), 0.0f);
        const auto unmuted = untouched.render();
        float difference = 0.0f;
        for (size_t i = 0; i < out.size(); ++i)
            difference = std::max (difference, std::abs (out[i] - unmuted[i]));
        EXPECT_GT (difference, 0.01f) << "block " << b;
    }
}

TEST (EditorThroughProcessor, NearfieldAppliesTheRoomFactor)
{
    Session s;
    s.render();
    clickButton (*s.editor->findButton ({ ButtonGroup::loudspeakers, 1 }));
    const auto& spec = s.processor->renderSpec;
    EXPECT_FLOAT_EQ (spec.roomGain.load(), 0.630957f);
    EXPECT_FLOAT_EQ (spec.directGain.load(), 1.0f);
    EXPECT_TRUE (spec.loudspeakerEq.load());
    EXPECT_GT (peakOf (s.render()), 0.01f);
}

TEST (EditorThroughProcessor, TrimFaderScalesTheOutputByTheTable)
{
    for (int position : { 0, 10, 20, 25, 32 })
    {
        Session reference, trimmed;
        auto& fader = trimmed.editor->getTrimFader();
        fader.mouseDown (mouseAt (fader, ((float) position + 0.5f) * 320.0f / 33.0f, 6.0f));
        ASSERT_EQ (fader.getPosition(), position);
        const float gain = std::pow (10.0f, VolumeTrimDb[(size_t) position] / 20.0f);

        for (int b = 0; b < 3; ++b)
        {
            const auto expected = reference.render();
            auto scaled = expected;
            for (auto& x : scaled)
                x *= gain;
            expectSamples (trimmed.render(), scaled, 1e-4f * peakOf (expected));
        }

        // And with the spatialiser off, sample for sample.
        reference.turnSpatialiserOff();
        trimmed.turnSpatialiserOff();
        const auto expected = reference.render();
        auto scaled = expected;
        for (auto& x : scaled)
            x *= gain;
        expectSamples (trimmed.render(), scaled, 1e-6f);
    }
}
