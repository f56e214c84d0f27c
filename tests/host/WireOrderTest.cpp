// The bundle driven through the VST3 interfaces alone, as a host not built on JUCE
// does: whatever speaker arrangement the host sets, host channel k is rendered as
// loudspeaker k of the chosen layout.

#include "tests/common/SpeakerClicks.h"
#include "tests/host/HostFixture.h"
#include "tools/host/Vst3Instance.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#include <pluginterfaces/vst/vstspeaker.h>
#pragma GCC diagnostic pop

namespace
{
namespace Arr = Steinberg::Vst::SpeakerArr;
using Steinberg::Vst::SpeakerArrangement;

constexpr double rate = 48000.0;
constexpr int blockSize = 512;
constexpr int slot = 4800;

juce::String stateFor (int layoutId)
{
    return HostTesting::stateText (false, layoutId, "");
}

class WireOrder : public HostTesting::PlainHostTest
{
protected:
    // A fresh instance with the arrangement and the state runs the input through;
    // empty when the instance does not come up.
    juce::AudioBuffer<float> renderPlain (SpeakerArrangement input, const juce::String& state,
                                          const juce::AudioBuffer<float>& in)
    {
        juce::String error;
        auto plugin = VbHost::Vst3Instance::create (*module, error);
        EXPECT_NE (plugin, nullptr) << error;
        if (plugin == nullptr)
            return {};
        EXPECT_TRUE (plugin->setArrangements (input, Arr::kStereo));
        EXPECT_EQ (plugin->busArrangement (true), input);
        EXPECT_TRUE (plugin->setState (HostTesting::bytesOf (state)));
        const bool started = plugin->start (rate, blockSize, error);
        EXPECT_TRUE (started) << error;
        return started ? plugin->process (in, blockSize) : juce::AudioBuffer<float>();
    }

    // Clicks on every host channel through the plain host, against the same clicks
    // fed in process with channel k as loudspeaker k: slot by slot, exactly equal.
    void expectEverySpeakerInPlace (SpeakerArrangement arrangement, int layoutId, const char* name)
    {
        const int numChannels = VbHost::channelCount (arrangement);
        const auto clicks = SpeakerClicks::make (numChannels, slot);
        const auto plain = renderPlain (arrangement, stateFor (layoutId), clicks);
        const auto reference = SpeakerClicks::renderInProcess (stateFor (layoutId), clicks, rate, blockSize);
        ASSERT_EQ (plain.getNumSamples(), clicks.getNumSamples()) << name;

        for (int k = 0; k < numChannels; ++k)
            EXPECT_EQ (SpeakerClicks::maxDifference (plain, reference, k * slot, (k + 1) * slot), 0.0f)
                << name << ": host channel " << k;
        EXPECT_GT (SpeakerClicks::peak (reference, 0, slot), 0.0f) << name << ": the first channel sounds";
    }
};

struct ArrangementCase
{
    const char* name;
    SpeakerArrangement arrangement;
    int layoutId;
};

// The arrangements a DAW sets for the layouts' channel counts, each with the
// layouts that follow its order or fill its width.
const ArrangementCase arrangementCases[] = {
    { "k51, ITU-R 5.1", Arr::k51, 1 },
    { "k51, Film layout 5.1", Arr::k51, 14 },
    { "k71Music, Dolby 7.1", Arr::k71Music, 5 },
    { "k71Music, Sony SDDS", Arr::k71Music, 6 },
    { "k71_2, Dolby 5.1.4", Arr::k71_2, 7 },
    { "k71_2, Auro-3D 9.1-11.1", Arr::k71_2, 12 },
    { "k71_4, Dolby 7.1.4", Arr::k71_4, 11 },
    { "k71_4, Cubase/Microsoft 7.1.4", Arr::k71_4, 15 },
    { "k51_4, Dolby 5.1.4", Arr::k51_4, 7 },
    { "k40Music, Square", Arr::k40Music, 2 },
    { "16 generic speakers, Auro-3D 12.1", 0xffff, 13 },
    { "12 generic speakers (Ardour), Icosahedron", 0xfff, 10 },
    { "k91_6, Auro-3D 12.1", Arr::k91_6, 13 },
};
} // namespace

TEST_F (WireOrder, EveryHostChannelReachesItsLoudspeaker)
{
    for (const auto& c : arrangementCases)
        expectEverySpeakerInPlace (c.arrangement, c.layoutId, c.name);
}

TEST_F (WireOrder, ArrangementsBeyondTheRingsOrUnknownToJuce)
{
    // More than 16 channels: the first 16 in host order are kept, the rest ignored.
    expectEverySpeakerInPlace (0xffffff, 13, "24 generic speakers");
    expectEverySpeakerInPlace (Arr::k71_4 | (0x3full << 50), 11, "7.1.4 and six speakers of no known kind");
    // Speakers no VST3 version names: the framework makes discrete channels of them.
    expectEverySpeakerInPlace (Arr::kStereo | (1ull << 62) | (1ull << 63), 2, "stereo and two unnamed speakers");
}

TEST_F (WireOrder, AnEmptyInputArrangementRendersSilence)
{
    juce::String error;
    auto plugin = VbHost::Vst3Instance::create (*module, error);
    ASSERT_NE (plugin, nullptr) << error;
    ASSERT_TRUE (plugin->setArrangements (Arr::kEmpty, Arr::kStereo));
    ASSERT_TRUE (plugin->setState (HostTesting::bytesOf (stateFor (1))));
    ASSERT_TRUE (plugin->start (rate, blockSize, error)) << error;
    const auto out = plugin->process (juce::AudioBuffer<float> (0, 4 * blockSize), blockSize);
    ASSERT_EQ (out.getNumChannels(), 2);
    EXPECT_EQ (SpeakerClicks::peak (out, 0, out.getNumSamples()), 0.0f);
}

TEST_F (WireOrder, SixteenChannelInputAndStereoOutputByDefault)
{
    juce::String error;
    auto plugin = VbHost::Vst3Instance::create (*module, error);
    ASSERT_NE (plugin, nullptr) << error;
    EXPECT_EQ (plugin->busChannels (true), 16);
    EXPECT_EQ (plugin->busArrangement (true), (SpeakerArrangement) 0xffff);
    EXPECT_EQ (plugin->busChannels (false), 2);
    EXPECT_EQ (plugin->busArrangement (false), Arr::kStereo);
}

// Ardour 7 sets an arrangement of the channels a track connects but hands every
// block over with as many channels as the default bus: the plug-in stays at that
// width there, and a narrower track's channels arrive with silence after them.
TEST_F (WireOrder, ArdourIsFollowedAtTheDefaultWidth)
{
    struct Case
    {
        int trackChannels;
        int layoutId;
    };
    for (const auto& c : { Case { 2, 1 }, Case { 6, 1 }, Case { 12, 11 }, Case { 16, 13 } })
    {
        juce::String error;
        auto plugin = VbHost::Vst3Instance::create (*module, error, "Ardour");
        ASSERT_NE (plugin, nullptr) << error;
        const auto connected = (SpeakerArrangement) ((1ull << c.trackChannels) - 1);
        EXPECT_EQ (plugin->setArrangements (connected, Arr::kStereo), c.trackChannels == 16) << c.trackChannels;
        EXPECT_EQ (plugin->busArrangement (true), (SpeakerArrangement) 0xffff) << c.trackChannels;

        const auto track = SpeakerClicks::make (c.trackChannels, slot);
        juce::AudioBuffer<float> bus (16, track.getNumSamples());
        bus.clear();
        for (int k = 0; k < c.trackChannels; ++k)
            bus.copyFrom (k, 0, track, k, 0, track.getNumSamples());

        ASSERT_TRUE (plugin->setState (HostTesting::bytesOf (stateFor (c.layoutId))));
        ASSERT_TRUE (plugin->start (rate, blockSize, error)) << error;
        const auto output = plugin->process (bus, blockSize);
        const auto reference = SpeakerClicks::renderInProcess (stateFor (c.layoutId), track, rate, blockSize);
        EXPECT_EQ (SpeakerClicks::maxDifference (output, reference, 0, track.getNumSamples()), 0.0f)
            << c.trackChannels << " channels";
    }

    // Every other host gets what it sets.
    juce::String error;
    auto other = VbHost::Vst3Instance::create (*module, error);
    ASSERT_NE (other, nullptr) << error;
    EXPECT_TRUE (other->setArrangements (Arr::kStereo, Arr::kStereo));
    EXPECT_EQ (other->busArrangement (true), Arr::kStereo);
}

// JUCE's own VST3 hosting hands a buffer over in JUCE's channel order; fed either
// way round it renders what the plain host renders.
TEST_F (WireOrder, JuceHostingInEitherOrder)
{
    constexpr int cubase714 = 15;
    // 7.1.4 in JUCE's order: L R C LFE Ls Rs Lrs Rrs Ltf Rtf Ltr Rtr; the host's puts the rears (Lrs Rrs) fifth and sixth.
    const int juceChannelOf[] = { 0, 1, 2, 3, 10, 11, 4, 5, 6, 7, 8, 9 };

    const auto clicks = SpeakerClicks::make (12, slot);
    const auto plain = renderPlain (Arr::k71_4, stateFor (cubase714), clicks);

    juce::AudioBuffer<float> juceOrder (12, clicks.getNumSamples());
    for (int k = 0; k < 12; ++k)
        juceOrder.copyFrom (juceChannelOf[k], 0, clicks, k, 0, clicks.getNumSamples());

    for (const auto order : { VbHost::ChannelOrder::host, VbHost::ChannelOrder::juce })
    {
        juce::String error;
        auto hosted = HostTesting::loadFresh (error);
        ASSERT_NE (hosted, nullptr) << error;
        hosted->setPluginState (HostTesting::bytesOf (stateFor (cubase714)));
        ASSERT_TRUE (hosted->prepare (rate, blockSize, 12, 2, error)) << error;
        ASSERT_EQ (hosted->instance().getChannelLayoutOfBus (true, 0), juce::AudioChannelSet::create7point1point4());
        const auto output = hosted->process (order == VbHost::ChannelOrder::host ? clicks : juceOrder, blockSize, order);
        EXPECT_EQ (SpeakerClicks::maxDifference (output, plain, 0, clicks.getNumSamples()), 0.0f)
            << (order == VbHost::ChannelOrder::host ? "host order" : "JUCE's order");
    }
}
