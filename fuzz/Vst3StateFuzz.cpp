// Component states as a host hands them to the plug-in's VST3 component: the
// plug-in and the framework's VST3 wrapper are linked into this program and driven
// through the plain VST3 interfaces, so each input reaches the state loader a host
// calls. After loading, a few blocks render to finite output, and saving, loading
// and saving again gives the same state. One instance serves every input, as one
// instance serves a host that reloads projects; it goes when the program exits.
#include "renderer/Finite.h"
#include "tools/host/Vst3Instance.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace
{
constexpr double rate = 48000.0;
constexpr int blockSize = 64;
constexpr int numBlocks = 2;

struct Rig
{
    std::unique_ptr<VbHost::Vst3Module> module;
    std::unique_ptr<VbHost::Vst3Instance> instance;
    juce::AudioBuffer<float> input { 2, numBlocks * blockSize };
};

[[noreturn]] void fail (const juce::String& what)
{
    std::fprintf (stderr, "fuzz_vst3state: %s\n", what.toRawUTF8());
    std::abort();
}

Rig* theRig = nullptr;

// The instance, then the module, go before the framework's statics do: its
// message and timer threads stop with them.
void tearDown()
{
    delete theRig;
    theRig = nullptr;
}

Rig& rig()
{
    static Rig* r = [] {
        auto* made = new Rig();
        juce::String error;
        made->module = VbHost::Vst3Module::openLinked (error);
        if (made->module != nullptr)
            made->instance = VbHost::Vst3Instance::create (*made->module, error);
        if (made->instance == nullptr)
            fail (error);
        made->instance->setArrangements (VbHost::Speakers::stereo, VbHost::Speakers::stereo);
        if (! made->instance->start (rate, blockSize, error))
            fail (error);
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < made->input.getNumSamples(); ++i)
                made->input.setSample (c, i, (float) ((i * (c + 3)) % 17) / 17.0f - 0.5f);
        theRig = made;
        std::atexit (tearDown);
        return made;
    }();
    return *r;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    auto& r = rig();
    auto& instance = *r.instance;

    instance.setState (juce::MemoryBlock (data, size));
    const auto output = instance.process (r.input, blockSize);
    for (int c = 0; c < output.getNumChannels(); ++c)
        if (! Zeph::Finite::allFinite (output.getReadPointer (c), output.getNumSamples()))
            fail ("output not finite");

    const auto saved = instance.getState();
    instance.setState (saved);
    if (instance.getState() != saved)
        fail ("the saved state does not load back");
    return 0;
}
