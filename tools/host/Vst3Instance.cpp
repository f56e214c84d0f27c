#include "tools/host/Vst3Instance.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#include <pluginterfaces/base/ibstream.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>
#include <pluginterfaces/vst/ivsthostapplication.h>
#include <pluginterfaces/vst/ivstmessage.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

namespace VbHost
{
namespace
{
using Steinberg::kResultFalse;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;
using Steinberg::tresult;
namespace Vst = Steinberg::Vst;

// Reference counting for the host's own COM objects.
template <typename Interface>
class HostObject : public Interface
{
public:
    Steinberg::uint32 PLUGIN_API addRef() override { return (Steinberg::uint32) ++refCount; }
    Steinberg::uint32 PLUGIN_API release() override
    {
        const int left = --refCount;
        if (left == 0)
            delete this;
        return (Steinberg::uint32) left;
    }

    tresult PLUGIN_API queryInterface (const Steinberg::TUID wanted, void** object) override
    {
        if (Steinberg::FUnknownPrivate::iidEqual (wanted, Steinberg::FUnknown::iid)
            || Steinberg::FUnknownPrivate::iidEqual (wanted, Interface::iid))
        {
            addRef();
            *object = static_cast<Interface*> (this);
            return kResultOk;
        }
        *object = nullptr;
        return Steinberg::kNoInterface;
    }

protected:
    virtual ~HostObject() = default;

private:
    std::atomic<int> refCount { 1 };
};

// The host as the plug-in sees it: a name and no objects of its own to lend.
class HostApplication final : public HostObject<Vst::IHostApplication>
{
public:
    explicit HostApplication (const juce::String& hostName) : name (hostName) {}

    tresult PLUGIN_API getName (Vst::String128 result) override
    {
        const auto utf16 = name.toUTF16();
        const auto length = std::min<size_t> (utf16.length(), 127);
        std::memcpy (result, utf16.getAddress(), length * sizeof (Vst::TChar));
        result[length] = 0;
        return kResultOk;
    }

    tresult PLUGIN_API createInstance (Steinberg::TUID, Steinberg::TUID, void** object) override
    {
        *object = nullptr;
        return kResultFalse;
    }

private:
    juce::String name;
};

// A growable byte stream for the component's state.
class MemoryStream final : public HostObject<Steinberg::IBStream>
{
public:
    MemoryStream() = default;
    explicit MemoryStream (const juce::MemoryBlock& initial) : data (initial) {}

    tresult PLUGIN_API read (void* buffer, Steinberg::int32 numBytes, Steinberg::int32* numBytesRead) override
    {
        // Nothing left past the end, also after a seek beyond it.
        const auto available = juce::jmax<Steinberg::int64> (0, (Steinberg::int64) data.getSize() - position);
        const auto n = (Steinberg::int32) juce::jmin<Steinberg::int64> (juce::jmax (0, numBytes), available);
        if (n > 0)
            std::memcpy (buffer, static_cast<const char*> (data.getData()) + position, (size_t) n);
        position += n;
        if (numBytesRead != nullptr)
            *numBytesRead = n;
        return kResultOk;
    }

    tresult PLUGIN_API write (void* buffer, Steinberg::int32 numBytes, Steinberg::int32* numBytesWritten) override
    {
        if (numBytes < 0)
            return kResultFalse;
        const auto end = (size_t) position + (size_t) numBytes;
        if (end > data.getSize())
            data.setSize (end, true);
        std::memcpy (static_cast<char*> (data.getData()) + position, buffer, (size_t) numBytes);
        position = (Steinberg::int64) end;
        if (numBytesWritten != nullptr)
            *numBytesWritten = numBytes;
        return kResultOk;
    }

    tresult PLUGIN_API seek (Steinberg::int64 pos, Steinberg::int32 mode, Steinberg::int64* result) override
    {
        const Steinberg::int64 base = mode == kIBSeekCur ? position : mode == kIBSeekEnd ? (Steinberg::int64) data.getSize() : 0;
        if (base + pos < 0)
            return kResultFalse;
        position = base + pos;
        if (result != nullptr)
            *result = position;
        return kResultTrue;
    }

    tresult PLUGIN_API tell (Steinberg::int64* pos) override
    {
        if (pos == nullptr)
            return Steinberg::kInvalidArgument;
        *pos = position;
        return kResultTrue;
    }

    juce::MemoryBlock data;

private:
    Steinberg::int64 position = 0;
};

template <typename Interface>
Interface* query (Steinberg::FUnknown* object, const Steinberg::TUID iid)
{
    void* result = nullptr;
    if (object == nullptr || object->queryInterface (iid, &result) != kResultOk)
        return nullptr;
    return static_cast<Interface*> (result);
}

template <typename Interface>
void releaseAndClear (Interface*& object)
{
    if (object != nullptr)
        object->release();
    object = nullptr;
}
} // namespace

int channelCount (uint64_t arrangement)
{
    return Vst::SpeakerArr::getChannelCount (arrangement);
}

struct Vst3Instance::Interfaces
{
    explicit Interfaces (const juce::String& hostName) : host (new HostApplication (hostName)) {}

    HostApplication* host;
    Vst::IComponent* component = nullptr;
    Vst::IAudioProcessor* processor = nullptr;
    Vst::IEditController* controller = nullptr;
    bool controllerIsComponent = false;
    Vst::IConnectionPoint* componentPoint = nullptr;
    Vst::IConnectionPoint* controllerPoint = nullptr;

    // Creates the controller the component names and connects the two.
    void attachController (Vst3Module& module)
    {
        controller = query<Vst::IEditController> (component, Vst::IEditController::iid);
        controllerIsComponent = controller != nullptr;
        if (controller == nullptr)
        {
            Steinberg::TUID cid {};
            if (component->getControllerClassId (cid) != kResultTrue)
                return;
            controller = static_cast<Vst::IEditController*> (
                module.createInstance (reinterpret_cast<const uint8_t*> (cid), Vst::IEditController::iid));
            if (controller == nullptr || controller->initialize (host) != kResultOk)
            {
                releaseAndClear (controller);
                return;
            }
        }

        componentPoint = query<Vst::IConnectionPoint> (component, Vst::IConnectionPoint::iid);
        controllerPoint = query<Vst::IConnectionPoint> (controller, Vst::IConnectionPoint::iid);
        if (componentPoint != nullptr && controllerPoint != nullptr && ! controllerIsComponent)
        {
            componentPoint->connect (controllerPoint);
            controllerPoint->connect (componentPoint);
        }
    }

    ~Interfaces()
    {
        if (componentPoint != nullptr && controllerPoint != nullptr && ! controllerIsComponent)
        {
            componentPoint->disconnect (controllerPoint);
            controllerPoint->disconnect (componentPoint);
        }
        releaseAndClear (componentPoint);
        releaseAndClear (controllerPoint);

        if (controller != nullptr && ! controllerIsComponent)
            controller->terminate();
        releaseAndClear (controller);
        releaseAndClear (processor);
        if (component != nullptr)
            component->terminate();
        releaseAndClear (component);
        host->release();
    }
};

Vst3Instance::Vst3Instance (const juce::String& hostName) : vst (std::make_unique<Interfaces> (hostName)) {}

std::unique_ptr<Vst3Instance> Vst3Instance::create (Vst3Module& module, juce::String& error, const juce::String& hostName)
{
    std::unique_ptr<Vst3Instance> instance (new Vst3Instance (hostName));
    auto& v = *instance->vst;

    v.component = module.createComponent (v.host, error);
    if (v.component == nullptr)
        return {};

    v.processor = query<Vst::IAudioProcessor> (v.component, Vst::IAudioProcessor::iid);
    if (v.processor == nullptr)
    {
        error = "the audio component has no IAudioProcessor";
        return {};
    }

    v.attachController (module);
    return instance;
}

Vst3Instance::~Vst3Instance()
{
    stop();
}

int Vst3Instance::busChannels (bool isInput) const
{
    Vst::BusInfo info {};
    const auto direction = isInput ? Vst::kInput : Vst::kOutput;
    if (vst->component->getBusCount (Vst::kAudio, direction) < 1
        || vst->component->getBusInfo (Vst::kAudio, direction, 0, info) != kResultOk)
        return 0;
    return info.channelCount;
}

uint64_t Vst3Instance::busArrangement (bool isInput) const
{
    Vst::SpeakerArrangement arrangement = 0;
    vst->processor->getBusArrangement (isInput ? Vst::kInput : Vst::kOutput, 0, arrangement);
    return arrangement;
}

bool Vst3Instance::setArrangements (uint64_t input, uint64_t output)
{
    jassert (! running);
    Vst::SpeakerArrangement in = input, out = output;
    return vst->processor->setBusArrangements (&in, 1, &out, 1) == kResultTrue;
}

juce::MemoryBlock Vst3Instance::getState()
{
    auto* stream = new MemoryStream();
    juce::MemoryBlock result;
    if (vst->component->getState (stream) == kResultOk)
        result = stream->data;
    stream->release();
    return result;
}

bool Vst3Instance::setState (const juce::MemoryBlock& state)
{
    auto* stream = new MemoryStream (state);
    bool ok = vst->component->setState (stream) == kResultOk;
    if (ok && vst->controller != nullptr)
    {
        stream->seek (0, Steinberg::IBStream::kIBSeekSet, nullptr);
        vst->controller->setComponentState (stream);
    }
    stream->release();
    return ok;
}

bool Vst3Instance::start (double sampleRate, int maxBlockSize, juce::String& error)
{
    stop();

    Vst::ProcessSetup setup {};
    setup.processMode = Vst::kRealtime;
    setup.symbolicSampleSize = Vst::kSample32;
    setup.maxSamplesPerBlock = maxBlockSize;
    setup.sampleRate = sampleRate;
    if (vst->processor->canProcessSampleSize (Vst::kSample32) != kResultTrue
        || vst->processor->setupProcessing (setup) != kResultOk)
    {
        error = "the processor refuses 32-bit processing at " + juce::String (sampleRate) + " Hz";
        return false;
    }

    for (const auto direction : { Vst::kInput, Vst::kOutput })
        if (vst->component->getBusCount (Vst::kAudio, direction) > 0)
            vst->component->activateBus (Vst::kAudio, direction, 0, true);

    if (vst->component->setActive (true) != kResultOk)
    {
        error = "the component does not activate";
        return false;
    }
    vst->processor->setProcessing (true); // optional for the plug-in: kNotImplemented is fine
    maxBlock = maxBlockSize;
    running = true;
    return true;
}

void Vst3Instance::stop()
{
    if (! running)
        return;
    vst->processor->setProcessing (false);
    vst->component->setActive (false);
    running = false;
}

bool Vst3Instance::processBlock (const float* const* inputs, int numInputs, float* const* outputs, int numOutputs,
                                 int numSamples)
{
    if (! running || numSamples > maxBlock)
        return false;

    Vst::AudioBusBuffers in {}, out {};
    in.numChannels = numInputs;
    in.channelBuffers32 = const_cast<float**> (inputs);
    out.numChannels = numOutputs;
    out.channelBuffers32 = const_cast<float**> (outputs);

    Vst::ProcessData data {};
    data.processMode = Vst::kRealtime;
    data.symbolicSampleSize = Vst::kSample32;
    data.numSamples = numSamples;
    data.numInputs = numInputs > 0 ? 1 : 0;
    data.numOutputs = 1;
    data.inputs = numInputs > 0 ? &in : nullptr;
    data.outputs = &out;
    return vst->processor->process (data) == kResultOk;
}

juce::AudioBuffer<float> Vst3Instance::process (const juce::AudioBuffer<float>& input, int blockSize)
{
    const int ins = busChannels (true);
    const int outs = busChannels (false);
    const int total = input.getNumSamples();
    blockSize = juce::jlimit (1, juce::jmax (1, maxBlock), blockSize);

    juce::AudioBuffer<float> output (outs, total);
    output.clear();
    juce::AudioBuffer<float> inBlock (juce::jmax (1, ins), blockSize);
    std::vector<const float*> inPointers ((size_t) ins);
    std::vector<float*> outPointers ((size_t) outs);

    for (int start = 0; start < total; start += blockSize)
    {
        const int n = juce::jmin (blockSize, total - start);
        inBlock.clear();
        for (int c = 0; c < ins; ++c)
        {
            if (c < input.getNumChannels())
                inBlock.copyFrom (c, 0, input, c, start, n);
            inPointers[(size_t) c] = inBlock.getReadPointer (c);
        }
        for (int c = 0; c < outs; ++c)
            outPointers[(size_t) c] = output.getWritePointer (c, start);

        if (! processBlock (inPointers.data(), ins, outPointers.data(), outs, n))
        {
            output.clear (start, total - start);
            break;
        }
    }
    return output;
}
} // namespace VbHost
