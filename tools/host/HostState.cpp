#include "tools/host/HostState.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <cstring>

namespace VbHost::HostState
{
namespace
{
constexpr const char* trailerMagic = "JUCEPrivateData";
constexpr const char* rootTag = "VST3PluginState";
constexpr const char* componentTag = "IComponent";

// Layout of the trailer, from the end: magic, then the private data size
// (int64, little endian), the private data, and an int64 zero before it.
bool trailerStart (const juce::MemoryBlock& stream, size_t& start)
{
    const auto magicSize = std::strlen (trailerMagic);
    const auto size = stream.getSize();
    if (size < magicSize + 2 * sizeof (int64_t))
        return false;

    const auto* bytes = static_cast<const char*> (stream.getData());
    if (std::memcmp (bytes + size - magicSize, trailerMagic, magicSize) != 0)
        return false;

    int64_t privateSize = 0;
    std::memcpy (&privateSize, bytes + size - magicSize - sizeof (int64_t), sizeof (int64_t));
    privateSize = (int64_t) juce::ByteOrder::swapIfBigEndian ((uint64_t) privateSize);

    const auto fixed = (int64_t) (magicSize + 2 * sizeof (int64_t));
    if (privateSize < 0 || privateSize > (int64_t) size - fixed)
        return false;

    start = (size_t) ((int64_t) size - fixed - privateSize);
    return true;
}
} // namespace

bool componentStream (const juce::MemoryBlock& hostBlob, juce::MemoryBlock& result)
{
    const auto xml = juce::AudioProcessor::getXmlFromBinary (hostBlob.getData(), (int) hostBlob.getSize());
    if (xml == nullptr || ! xml->hasTagName (rootTag))
        return false;

    const auto* child = xml->getChildByName (componentTag);
    if (child == nullptr)
        return false;

    result.reset();
    return result.fromBase64Encoding (child->getAllSubText());
}

bool hasFrameworkTrailer (const juce::MemoryBlock& stream)
{
    size_t start = 0;
    return trailerStart (stream, start);
}

juce::MemoryBlock stripFrameworkTrailer (const juce::MemoryBlock& stream)
{
    size_t start = 0;
    if (! trailerStart (stream, start))
        return stream;
    return { stream.getData(), start };
}

juce::MemoryBlock withFrameworkTrailer (const juce::MemoryBlock& pluginBytes, const juce::MemoryBlock& privateData,
                                        uint64_t length)
{
    juce::MemoryOutputStream out;
    out << pluginBytes;
    out.writeInt64 (0);
    out << privateData;
    out.writeInt64 ((juce::int64) length);
    out.write (trailerMagic, std::strlen (trailerMagic));
    return out.getMemoryBlock();
}

juce::MemoryBlock pluginBytes (const juce::MemoryBlock& hostBlob)
{
    juce::MemoryBlock stream;
    if (! componentStream (hostBlob, stream))
        return {};
    return stripFrameworkTrailer (stream);
}

juce::MemoryBlock hostBlobFor (const juce::MemoryBlock& bytes)
{
    juce::XmlElement root (rootTag);
    root.createNewChildElement (componentTag)->addTextElement (bytes.toBase64Encoding());

    juce::MemoryBlock blob;
    juce::AudioProcessor::copyXmlToBinary (root, blob);
    return blob;
}
} // namespace VbHost::HostState
