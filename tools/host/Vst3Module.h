#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace Steinberg
{
class FUnknown;
class IPluginFactory;
namespace Vst
{
class IComponent;
}
} // namespace Steinberg

namespace VbHost
{
// One class that a VST3 module's factory exports, as the host reads it.
struct FactoryClass
{
    std::array<uint8_t, 16> cid {};
    juce::String category;      // "Audio Module Class", "Component Controller Class", ...
    juce::String name;
    juce::String subCategories; // empty unless the factory answers PClassInfo2
    juce::String vendor;
    juce::String version;
    juce::String sdkVersion;
    int cardinality = 0;
};

// The factory's vendor information and its classes.
struct ModuleFactory
{
    juce::String vendor;
    juce::String url;
    juce::String email;
    int flags = 0;
    std::vector<FactoryClass> classes;

    // The first class of the given category, or null.
    const FactoryClass* findCategory (const juce::String& category) const;
};

inline constexpr const char* audioModuleCategory = "Audio Module Class";
inline constexpr const char* controllerCategory = "Component Controller Class";

// A program list as the audio component's unit information reports it.
struct ProgramList
{
    int id = 0;
    juce::String name;
    int programCount = 0;
    juce::StringArray programNames;
};

// A VST3 module opened directly, as a host's scanner does: dlopen, ModuleEntry,
// GetPluginFactory. It also talks to a fresh audio component through the VST3
// interfaces, for what JUCE's hosting layer does not show.
class Vst3Module
{
public:
    static std::unique_ptr<Vst3Module> open (const juce::File& bundle, juce::String& error);

    // The module linked into this program, its entry points exported from it.
    static std::unique_ptr<Vst3Module> openLinked (juce::String& error);
    ~Vst3Module();

    const ModuleFactory& factory() const noexcept { return info; }

    // A new audio component, initialised with the given host context (may be null);
    // the caller terminates and releases it. Null and a message on failure.
    Steinberg::Vst::IComponent* createComponent (Steinberg::FUnknown* hostContext, juce::String& error);

    // A new instance of any class the factory exports, queried for the interface; null on failure.
    void* createInstance (const uint8_t* classId, const char* interfaceId);

    // Proposes speaker arrangements (VST3 speaker bit masks, one per bus) to a
    // fresh, inactive audio component. 1 accepted, 0 refused, -1 on error.
    int proposeArrangements (const std::vector<uint64_t>& inputs, const std::vector<uint64_t>& outputs,
                             juce::String& error);

    // The program lists of a fresh audio component. False on error.
    bool readProgramLists (std::vector<ProgramList>& result, juce::String& error);

private:
    Vst3Module() = default;

    // Enters the module behind a dlopen handle and reads its factory.
    static std::unique_ptr<Vst3Module> enter (void* handle, const juce::String& name, juce::String& error);

    void* handle = nullptr;
    bool entered = false;
    Steinberg::IPluginFactory* pluginFactory = nullptr;
    ModuleFactory info;

    JUCE_DECLARE_NON_COPYABLE (Vst3Module)
};

// The shared object inside a bundle: Contents/<arch>-linux/<bundle name>.so.
juce::File findModuleBinary (const juce::File& bundle);

// Opens the module, reads its factory and closes it again. False and a message on failure.
bool readModuleFactory (const juce::File& bundle, ModuleFactory& result, juce::String& error);

// "AB CD EF 01 ..." (16 bytes, upper-case hex, separated by spaces).
juce::String formatClassId (const std::array<uint8_t, 16>& cid);

// VST3 speaker arrangement bits.
namespace Speakers
{
inline constexpr uint64_t empty = 0;
inline constexpr uint64_t mono = 1ull << 19; // kSpeakerM
inline constexpr uint64_t stereo = 0x3;      // L R
inline constexpr uint64_t fivePointOne = 0x3f; // L R C LFE Ls Rs
} // namespace Speakers
} // namespace VbHost
