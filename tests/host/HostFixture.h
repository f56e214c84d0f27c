#pragma once

#include "tools/host/PluginHost.h"
#include "tools/host/Signals.h"
#include "tools/host/Vst3Module.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace HostTesting
{
// The built bundle, or an invalid File when this build makes none.
inline juce::File bundlePath()
{
#ifdef VB_VST3_BUNDLE
    return juce::File (juce::String (VB_VST3_BUNDLE)); // resolves the trailing ".."
#else
    return {};
#endif
}

// Loads a fresh instance; null and a message when there is no bundle or it fails.
inline std::unique_ptr<VbHost::HostedPlugin> loadFresh (juce::String& error)
{
    const auto bundle = bundlePath();
    if (bundle == juce::File())
    {
        error = "this build makes no VST3 bundle";
        return {};
    }
    return VbHost::HostedPlugin::load (bundle, error);
}

inline juce::MemoryBlock bytesOf (const juce::String& text)
{
    return { text.toRawUTF8(), text.getNumBytesAsUTF8() };
}

inline juce::String textOf (const juce::MemoryBlock& bytes)
{
    return juce::String::fromUTF8 (static_cast<const char*> (bytes.getData()), (int) bytes.getSize());
}

// The plug-in's saved-state text with the given values, lines joined by CR LF.
inline juce::String stateText (bool bypassed, int profileId, const juce::String& soloMutes,
                               int room = 1, int loudspeakers = 0, int volumeTrim = 26, int reverbTrim = 16)
{
    juce::StringArray lines;
    lines.add ("Bypassed=" + juce::String (bypassed ? "True" : "False"));
    lines.add ("ChannelProfile=" + juce::String (profileId));
    lines.add ("SoloMutes=" + soloMutes);
    lines.add ("Room=" + juce::String (room));
    lines.add ("Loudspeakers=" + juce::String (loudspeakers));
    lines.add ("VolumeTrim=" + juce::String (volumeTrim));
    lines.add ("ReverbTrim=" + juce::String (reverbTrim));
    return lines.joinIntoString ("\r\n");
}

// A fresh instance with the given state runs the input through in blocks, input
// channel k as speaker k of the bus (the host's order). The renderer keeps its
// reverb through a state load and a new prepare, so runs that must match sample
// for sample each get an instance of their own.
inline juce::AudioBuffer<float> runFresh (const juce::String& state, const juce::AudioBuffer<float>& input,
                                          int numOutputs, int blockSize, double sampleRate = 48000.0)
{
    juce::String error;
    auto plugin = loadFresh (error);
    EXPECT_NE (plugin, nullptr) << error;
    if (plugin == nullptr)
        return {};
    plugin->setPluginState (bytesOf (state));
    const bool ok = plugin->prepare (sampleRate, blockSize, input.getNumChannels(), numOutputs, error);
    EXPECT_TRUE (ok) << error;
    return ok ? plugin->process (input, blockSize, VbHost::ChannelOrder::host) : juce::AudioBuffer<float>();
}

// One plug-in instance loaded through the VST3 host for a whole test suite.
class HostTest : public ::testing::Test
{
public:
    static void SetUpTestSuite()
    {
        loadError = {};
        plugin = loadFresh (loadError);
    }

    static void TearDownTestSuite() { plugin.reset(); }

protected:
    void SetUp() override
    {
        if (bundlePath() == juce::File())
            GTEST_SKIP() << "this build makes no VST3 bundle";
        ASSERT_NE (plugin, nullptr) << loadError;
    }

    VbHost::HostedPlugin& host() { return *plugin; }

    void setStateText (const juce::String& text) { plugin->setPluginState (bytesOf (text)); }
    juce::String getStateText() { return textOf (plugin->getPluginState()); }

    // Prepares with the given channel counts and runs the input through in blocks,
    // input channel k as speaker k of the bus (the host's order).
    juce::AudioBuffer<float> run (const juce::AudioBuffer<float>& input, int numOutputs, int blockSize,
                                  double sampleRate = 48000.0, float outputFill = 0.0f)
    {
        juce::String error;
        const bool ok = plugin->prepare (sampleRate, blockSize, input.getNumChannels(), numOutputs, error);
        EXPECT_TRUE (ok) << error.toStdString();
        if (! ok)
            return {};
        auto output = plugin->process (input, blockSize, VbHost::ChannelOrder::host, outputFill);
        plugin->release();
        return output;
    }

    static inline std::unique_ptr<VbHost::HostedPlugin> plugin;
    static inline juce::String loadError;
};
// The bundle's module opened as a host not built on JUCE opens it, for tests that
// drive instances through the plain VST3 interfaces (Vst3Instance).
class PlainHostTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (bundlePath() == juce::File())
            GTEST_SKIP() << "this build makes no VST3 bundle";
        juce::String error;
        module = VbHost::Vst3Module::open (bundlePath(), error);
        ASSERT_NE (module, nullptr) << error;
    }

    std::unique_ptr<VbHost::Vst3Module> module;
};

// Whether every sample of the buffer is a finite number.
inline bool allFinite (const juce::AudioBuffer<float>& buffer)
{
    for (int c = 0; c < buffer.getNumChannels(); ++c)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            if (! std::isfinite (buffer.getSample (c, i)))
                return false;
    return true;
}
} // namespace HostTesting
