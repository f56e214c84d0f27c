// What a VST3 host sees of the plug-in: identity, buses, parameters, programs,
// accepted layouts and the factory's class identifiers.

#include "tests/host/HostFixture.h"
#include "tools/host/Vst3Module.h"

using HostTesting::HostTest;
using VbHost::HostedPlugin;

namespace
{
using Layout = juce::AudioProcessor::BusesLayout;

Layout layoutOf (const juce::AudioChannelSet& in, const juce::AudioChannelSet& out)
{
    Layout layout;
    layout.inputBuses.add (in);
    layout.outputBuses.add (out);
    return layout;
}

std::array<uint8_t, 16> classId (std::array<uint8_t, 8> prefix)
{
    std::array<uint8_t, 16> id {};
    std::copy (prefix.begin(), prefix.end(), id.begin());
    const char codes[] = "VontBina";
    for (int i = 0; i < 8; ++i)
        id[8 + (size_t) i] = (uint8_t) codes[i];
    return id;
}
} // namespace

class HostIdentity : public HostTest
{
};

TEST_F (HostIdentity, NameVendorVersionAndCategory)
{
    const auto id = host().identity();
    EXPECT_EQ (id.name, "Vontaleer Binaural");
    EXPECT_EQ (id.vendor, "Vontaleer");
    EXPECT_EQ (id.version, "1.15");
    EXPECT_EQ (id.category, "Fx|Up-Downmix");
    EXPECT_FALSE (id.isInstrument);
}

TEST_F (HostIdentity, NoMidiNoTailNoLatency)
{
    juce::String error;
    ASSERT_TRUE (host().prepare (48000.0, 512, 2, 2, error)) << error;
    const auto id = host().identity();
    host().release();

    EXPECT_FALSE (id.acceptsMidi);
    EXPECT_FALSE (id.producesMidi);
    EXPECT_FALSE (id.isMidiEffect);
    EXPECT_EQ (id.tailSeconds, 0.0);
    EXPECT_EQ (id.latencySamples, 0);
}

TEST_F (HostIdentity, OnlyParameterIsTheFrameworkBypass)
{
    const auto params = host().parameters();
    ASSERT_EQ (params.size(), 1u);
    EXPECT_EQ (params[0].name, "Bypass");
    EXPECT_TRUE (params[0].isBypass);
    EXPECT_EQ (params[0].id, juce::String ((uint32_t) 0x62797073)) << "the four characters \"byps\"";
    EXPECT_EQ (params[0].defaultValue, 0.0f);
}

TEST_F (HostIdentity, OneUnnamedProgram)
{
    // JUCE's hosting lists programs only through a program-change parameter,
    // which the framework adds for more than one program: the host lists none.
    EXPECT_EQ (host().programs().size(), 0);

    // The component's unit information holds the one program in one list.
    juce::String error;
    auto module = VbHost::Vst3Module::open (host().bundle(), error);
    ASSERT_NE (module, nullptr) << error;
    std::vector<VbHost::ProgramList> lists;
    ASSERT_TRUE (module->readProgramLists (lists, error)) << error;
    ASSERT_EQ (lists.size(), 1u);
    EXPECT_EQ (lists[0].programCount, 1);
    ASSERT_EQ (lists[0].programNames.size(), 1);
    EXPECT_EQ (lists[0].programNames[0], "");
}

TEST_F (HostIdentity, SixteenChannelInputAndStereoOutputByDefault)
{
    const auto buses = host().buses();
    ASSERT_EQ (buses.size(), 2u);

    // The first 16 VST3 speakers, so that a host offering no more than the
    // default width still hands over every channel of a wide track.
    EXPECT_TRUE (buses[0].isInput);
    EXPECT_EQ (buses[0].name, "Input");
    EXPECT_EQ (buses[0].defaultLayout, HostedPlugin::channelSetFor (16));
    EXPECT_TRUE (buses[0].enabled);

    EXPECT_FALSE (buses[1].isInput);
    EXPECT_EQ (buses[1].name, "Output");
    EXPECT_EQ (buses[1].defaultLayout, juce::AudioChannelSet::stereo());
    EXPECT_TRUE (buses[1].enabled);
}

TEST_F (HostIdentity, RefusesMonoOutputWhateverTheInput)
{
    for (const int ins : { 1, 2, 6, 12, 24 })
        EXPECT_FALSE (host().isLayoutSupported (HostedPlugin::layoutFor (ins, 1))) << ins << " in";

    juce::String error;
    EXPECT_FALSE (host().prepare (48000.0, 512, 2, 1, error));
    EXPECT_EQ (host().numOutputs(), 2) << "a refused layout leaves the previous one";
}

TEST_F (HostIdentity, RefusesAnEmptyOutputArrangement)
{
    // Through JUCE's hosting a disabled output bus is only deactivated, which the
    // framework always allows; an empty arrangement is the VST3 way to propose no output.
    juce::String error;
    auto module = VbHost::Vst3Module::open (host().bundle(), error);
    ASSERT_NE (module, nullptr) << error;

    using namespace VbHost::Speakers;
    EXPECT_EQ (module->proposeArrangements ({ stereo }, { empty }, error), 0) << error;
    EXPECT_EQ (module->proposeArrangements ({ fivePointOne }, { mono }, error), 0) << error;
    EXPECT_EQ (module->proposeArrangements ({ mono }, { stereo }, error), 1) << error;
    EXPECT_EQ (module->proposeArrangements ({ empty }, { stereo }, error), 1) << error;
    EXPECT_EQ (module->proposeArrangements ({ fivePointOne }, { fivePointOne }, error), 1) << error;
}

TEST_F (HostIdentity, AcceptsAnyInputWithStereoOrWiderOutput)
{
    const juce::AudioChannelSet inputs[] = {
        juce::AudioChannelSet::mono(),
        juce::AudioChannelSet::stereo(),
        juce::AudioChannelSet::create5point1(),
        juce::AudioChannelSet::create7point1point4(),
        HostedPlugin::channelSetFor (24),
    };
    const juce::AudioChannelSet outputs[] = {
        juce::AudioChannelSet::stereo(),
        juce::AudioChannelSet::create5point1(),
        juce::AudioChannelSet::create7point1point4(),
    };

    for (const auto& in : inputs)
        for (const auto& out : outputs)
            EXPECT_TRUE (host().isLayoutSupported (layoutOf (in, out)))
                << in.getDescription() << " in, " << out.getDescription() << " out";
}

TEST_F (HostIdentity, AppliesWideInputLayouts)
{
    for (const int ins : { 1, 6, 12, 16, 24 })
    {
        juce::String error;
        ASSERT_TRUE (host().prepare (44100.0, 256, ins, 2, error)) << error;
        EXPECT_EQ (host().numInputs(), ins);
        EXPECT_EQ (host().numOutputs(), 2);
        host().release();
    }
}

TEST_F (HostIdentity, ClassIdentifiersFromTheFactory)
{
    juce::String error;
    auto module = VbHost::Vst3Module::open (host().bundle(), error);
    ASSERT_NE (module, nullptr) << error;
    const auto& factory = module->factory();

    EXPECT_EQ (factory.vendor, "Vontaleer");
    EXPECT_EQ (factory.email, "");

    const auto* component = factory.findCategory (VbHost::audioModuleCategory);
    const auto* controller = factory.findCategory (VbHost::controllerCategory);
    ASSERT_NE (component, nullptr);
    ASSERT_NE (controller, nullptr);

    EXPECT_EQ (VbHost::formatClassId (component->cid),
               VbHost::formatClassId (classId ({ 0xAB, 0xCD, 0xEF, 0x01, 0x91, 0x82, 0xFA, 0xEB })));
    EXPECT_EQ (VbHost::formatClassId (controller->cid),
               VbHost::formatClassId (classId ({ 0xAB, 0xCD, 0xEF, 0x01, 0x12, 0x34, 0xAB, 0xCD })));

    EXPECT_EQ (component->name, "Vontaleer Binaural");
    EXPECT_EQ (component->subCategories, "Fx|Up-Downmix");
    EXPECT_EQ (component->vendor, "Vontaleer");
    EXPECT_EQ (component->version, "1.15");
}

TEST (HostBundle, BadPathsAreReportedNotLoaded)
{
    juce::String error;
    EXPECT_EQ (HostedPlugin::load (juce::File ("/nonexistent/Nothing.vst3"), error), nullptr);
    EXPECT_TRUE (error.contains ("no such bundle")) << error;

    const auto dir = juce::File::createTempFile ("notabundle");
    ASSERT_TRUE (dir.createDirectory());
    error = {};
    EXPECT_EQ (HostedPlugin::load (dir, error), nullptr);
    EXPECT_TRUE (error.contains ("not a VST3 bundle")) << error;

    const auto empty = dir.getChildFile ("Empty.vst3");
    ASSERT_TRUE (empty.getChildFile ("Contents/x86_64-linux").createDirectory());
    error = {};
    EXPECT_EQ (HostedPlugin::load (empty, error), nullptr);
    EXPECT_TRUE (error.contains ("no module binary")) << error;
    dir.deleteRecursively();
}

TEST_F (HostIdentity, InputsUpToTheWidestVst3Bus)
{
    // 33 named speakers travel; wider sets cannot be put into a VST3 bus at all.
    juce::String error;
    ASSERT_TRUE (host().prepare (48000.0, 256, HostedPlugin::maxBusChannels, 2, error)) << error;
    const auto output = host().process (VbHost::Signals::make (HostedPlugin::maxBusChannels, 1024, 48000.0), 256,
                                        VbHost::ChannelOrder::host);
    host().release();
    EXPECT_EQ (output.getNumChannels(), 2);

    EXPECT_FALSE (host().isLayoutSupported (HostedPlugin::layoutFor (40, 2)));
    EXPECT_FALSE (host().prepare (48000.0, 256, 40, 2, error));
    EXPECT_TRUE (error.contains ("at most 33")) << error;
}
