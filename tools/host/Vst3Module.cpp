#include "tools/host/Vst3Module.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#include <pluginterfaces/base/ipluginbase.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivstunits.h>
#pragma GCC diagnostic pop

#include <cstring>
#include <dlfcn.h>

namespace VbHost
{
namespace
{
using GetFactoryProc = Steinberg::IPluginFactory* (PLUGIN_API*) ();
using ModuleEntryProc = bool (PLUGIN_API*) (void*);
using ModuleExitProc = bool (PLUGIN_API*) ();

juce::String fixedString (const char* text, size_t capacity)
{
    return juce::String::fromUTF8 (text, (int) strnlen (text, capacity));
}

juce::String fromString128 (const Steinberg::Vst::String128 text)
{
    return juce::String (juce::CharPointer_UTF16 (reinterpret_cast<const juce::CharPointer_UTF16::CharType*> (text)));
}

const char* thisArchitecture()
{
#if defined(__x86_64__)
    return "x86_64";
#elif defined(__aarch64__)
    return "aarch64";
#elif defined(__i386__)
    return "i386";
#elif defined(__arm__)
    return "armv7l";
#else
    return "unknown";
#endif
}

void readClasses (Steinberg::IPluginFactory& factory, ModuleFactory& result)
{
    Steinberg::IPluginFactory2* factory2 = nullptr;
    if (factory.queryInterface (Steinberg::IPluginFactory2_iid, (void**) &factory2) != Steinberg::kResultOk)
        factory2 = nullptr;

    const int count = factory.countClasses();
    for (int i = 0; i < count; ++i)
    {
        FactoryClass entry;
        Steinberg::PClassInfo2 info2;
        Steinberg::PClassInfo info;

        if (factory2 != nullptr && factory2->getClassInfo2 (i, &info2) == Steinberg::kResultOk)
        {
            std::memcpy (entry.cid.data(), info2.cid, entry.cid.size());
            entry.cardinality = info2.cardinality;
            entry.category = fixedString (info2.category, sizeof (info2.category));
            entry.name = fixedString (info2.name, sizeof (info2.name));
            entry.subCategories = fixedString (info2.subCategories, sizeof (info2.subCategories));
            entry.vendor = fixedString (info2.vendor, sizeof (info2.vendor));
            entry.version = fixedString (info2.version, sizeof (info2.version));
            entry.sdkVersion = fixedString (info2.sdkVersion, sizeof (info2.sdkVersion));
        }
        else if (factory.getClassInfo (i, &info) == Steinberg::kResultOk)
        {
            std::memcpy (entry.cid.data(), info.cid, entry.cid.size());
            entry.cardinality = info.cardinality;
            entry.category = fixedString (info.category, sizeof (info.category));
            entry.name = fixedString (info.name, sizeof (info.name));
        }
        else
        {
            continue;
        }
        result.classes.push_back (entry);
    }

    if (factory2 != nullptr)
        factory2->release();
}

// A fresh audio component, initialised without a host context and terminated on exit.
class ScopedComponent
{
public:
    ScopedComponent (Vst3Module& module, juce::String& error) : component (module.createComponent (nullptr, error)) {}

    ~ScopedComponent()
    {
        if (component == nullptr)
            return;
        component->terminate();
        component->release();
    }

    template <typename Interface>
    Interface* query (const Steinberg::TUID iid)
    {
        void* object = nullptr;
        if (component == nullptr || component->queryInterface (iid, &object) != Steinberg::kResultOk)
            return nullptr;
        return static_cast<Interface*> (object);
    }

    Steinberg::Vst::IComponent* component = nullptr;

    JUCE_DECLARE_NON_COPYABLE (ScopedComponent)
};
} // namespace

const FactoryClass* ModuleFactory::findCategory (const juce::String& category) const
{
    for (const auto& c : classes)
        if (c.category == category)
            return &c;
    return nullptr;
}

std::unique_ptr<Vst3Module> Vst3Module::open (const juce::File& bundle, juce::String& error)
{
    const auto binary = findModuleBinary (bundle);
    if (binary == juce::File())
    {
        error = "no module binary inside " + bundle.getFullPathName();
        return {};
    }

    // Never unmapped: a module may leave threads or exit handlers behind.
    auto* handle = dlopen (binary.getFullPathName().toRawUTF8(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr)
    {
        const char* reason = dlerror();
        error = "cannot load " + binary.getFullPathName() + ": " + (reason != nullptr ? reason : "unknown error");
        return {};
    }
    return enter (handle, binary.getFullPathName(), error);
}

std::unique_ptr<Vst3Module> Vst3Module::openLinked (juce::String& error)
{
    return enter (dlopen (nullptr, RTLD_NOW), "this program", error);
}

std::unique_ptr<Vst3Module> Vst3Module::enter (void* handle, const juce::String& name, juce::String& error)
{
    std::unique_ptr<Vst3Module> module (new Vst3Module());
    module->handle = handle;

    if (auto entry = (ModuleEntryProc) dlsym (module->handle, "ModuleEntry"))
    {
        if (! entry (module->handle))
        {
            error = "ModuleEntry failed in " + name;
            return {};
        }
        module->entered = true;
    }

    auto getFactory = (GetFactoryProc) dlsym (module->handle, "GetPluginFactory");
    if (getFactory == nullptr)
    {
        error = "no GetPluginFactory in " + name;
        return {};
    }

    module->pluginFactory = getFactory();
    if (module->pluginFactory == nullptr)
    {
        error = "GetPluginFactory returned nothing";
        return {};
    }

    Steinberg::PFactoryInfo factoryInfo;
    if (module->pluginFactory->getFactoryInfo (&factoryInfo) == Steinberg::kResultOk)
    {
        module->info.vendor = fixedString (factoryInfo.vendor, sizeof (factoryInfo.vendor));
        module->info.url = fixedString (factoryInfo.url, sizeof (factoryInfo.url));
        module->info.email = fixedString (factoryInfo.email, sizeof (factoryInfo.email));
        module->info.flags = factoryInfo.flags;
    }
    readClasses (*module->pluginFactory, module->info);
    return module;
}

Steinberg::Vst::IComponent* Vst3Module::createComponent (Steinberg::FUnknown* hostContext, juce::String& error)
{
    const auto* cls = info.findCategory (audioModuleCategory);
    if (cls == nullptr)
    {
        error = "the module has no audio component class";
        return nullptr;
    }

    auto* component = static_cast<Steinberg::Vst::IComponent*> (createInstance (cls->cid.data(), Steinberg::Vst::IComponent_iid));
    if (component == nullptr)
    {
        error = "the factory cannot create the audio component";
        return nullptr;
    }

    if (component->initialize (hostContext) != Steinberg::kResultOk)
    {
        error = "the audio component does not initialise";
        component->release();
        return nullptr;
    }
    return component;
}

void* Vst3Module::createInstance (const uint8_t* classId, const char* interfaceId)
{
    void* object = nullptr;
    if (pluginFactory->createInstance (reinterpret_cast<Steinberg::FIDString> (classId), interfaceId, &object)
        != Steinberg::kResultOk)
        return nullptr;
    return object;
}

Vst3Module::~Vst3Module()
{
    if (pluginFactory != nullptr)
        pluginFactory->release();
    if (entered)
        if (auto exitProc = (ModuleExitProc) dlsym (handle, "ModuleExit"))
            exitProc();
    if (handle != nullptr)
        dlclose (handle);
}

int Vst3Module::proposeArrangements (const std::vector<uint64_t>& inputs, const std::vector<uint64_t>& outputs,
                                     juce::String& error)
{
    ScopedComponent scoped (*this, error);
    auto* processor = scoped.query<Steinberg::Vst::IAudioProcessor> (Steinberg::Vst::IAudioProcessor_iid);
    if (processor == nullptr)
    {
        if (error.isEmpty())
            error = "the audio component has no IAudioProcessor";
        return -1;
    }

    std::vector<Steinberg::Vst::SpeakerArrangement> ins (inputs.begin(), inputs.end());
    std::vector<Steinberg::Vst::SpeakerArrangement> outs (outputs.begin(), outputs.end());
    Steinberg::Vst::SpeakerArrangement none = 0;
    const auto result = processor->setBusArrangements (ins.empty() ? &none : ins.data(), (Steinberg::int32) ins.size(),
                                                       outs.empty() ? &none : outs.data(), (Steinberg::int32) outs.size());
    processor->release();
    return result == Steinberg::kResultTrue ? 1 : 0;
}

bool Vst3Module::readProgramLists (std::vector<ProgramList>& result, juce::String& error)
{
    result.clear();
    ScopedComponent scoped (*this, error);
    if (scoped.component == nullptr)
        return false;

    auto* units = scoped.query<Steinberg::Vst::IUnitInfo> (Steinberg::Vst::IUnitInfo_iid);
    if (units == nullptr)
        return true; // no unit information: no program lists

    for (int i = 0; i < units->getProgramListCount(); ++i)
    {
        Steinberg::Vst::ProgramListInfo listInfo {};
        if (units->getProgramListInfo (i, listInfo) != Steinberg::kResultOk)
            continue;

        ProgramList list;
        list.id = listInfo.id;
        list.name = fromString128 (listInfo.name);
        list.programCount = listInfo.programCount;
        for (int p = 0; p < listInfo.programCount; ++p)
        {
            Steinberg::Vst::String128 name {};
            list.programNames.add (units->getProgramName (listInfo.id, p, name) == Steinberg::kResultOk
                                       ? fromString128 (name) : juce::String());
        }
        result.push_back (list);
    }
    units->release();
    return true;
}

juce::File findModuleBinary (const juce::File& bundle)
{
    const auto contents = bundle.getChildFile ("Contents");
    const auto preferred = contents.getChildFile (juce::String (thisArchitecture()) + "-linux")
                               .getChildFile (bundle.getFileNameWithoutExtension() + ".so");
    if (preferred.existsAsFile())
        return preferred;

    for (const auto& dir : contents.findChildFiles (juce::File::findDirectories, false, "*-linux"))
        for (const auto& so : dir.findChildFiles (juce::File::findFiles, false, "*.so"))
            return so;
    return {};
}

bool readModuleFactory (const juce::File& bundle, ModuleFactory& result, juce::String& error)
{
    auto module = Vst3Module::open (bundle, error);
    if (module == nullptr)
        return false;
    result = module->factory();
    return true;
}

juce::String formatClassId (const std::array<uint8_t, 16>& cid)
{
    juce::StringArray bytes;
    for (auto b : cid)
        bytes.add (juce::String::toHexString ((int) b).paddedLeft ('0', 2).toUpperCase());
    return bytes.joinIntoString (" ");
}
} // namespace VbHost
