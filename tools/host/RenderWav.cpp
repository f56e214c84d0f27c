#include "tools/host/RenderWav.h"

#include <cmath>
#include <cstring>

namespace VbHost::Wav
{
namespace
{
constexpr int formatFloat = 3;
constexpr int formatExtensible = 0xfffe;

// What decides how a WAV file is read, found by walking its chunks: the format
// chunk's fields and where the samples lie.
struct Layout
{
    int tag = 0; // sample format; the sub-format of an extensible file
    int numChannels = 0;
    double sampleRate = 0.0;
    int bitsPerSample = 0;
    int blockAlign = 0;
    juce::int64 dataStart = 0;
    juce::int64 numFrames = 0; // as far as the file reaches
};

bool isChunk (const char* id, const char* name)
{
    return std::memcmp (id, name, 4) == 0;
}

// False and a message when the stream is not a WAV file or lacks a chunk.
bool readLayout (juce::InputStream& in, const juce::String& name, Layout& layout, juce::String& error)
{
    using juce::ByteOrder;

    char header[12];
    if (in.read (header, 12) != 12 || ! isChunk (header, "RIFF") || ! isChunk (header + 8, "WAVE"))
    {
        error = "not a WAV file: " + name;
        return false;
    }

    bool haveFormat = false;
    for (;;)
    {
        char chunk[8];
        if (in.read (chunk, 8) != 8)
        {
            error = (haveFormat ? "no audio data in " : "no format chunk in ") + name;
            return false;
        }
        const juce::int64 size = ByteOrder::littleEndianInt (chunk + 4);
        const juce::int64 next = in.getPosition() + size + (size & 1);

        if (isChunk (chunk, "fmt "))
        {
            char fmt[40] = {};
            if (size < 16 || in.read (fmt, (int) std::min<juce::int64> (size, 40)) < 16)
            {
                error = "bad format chunk in " + name;
                return false;
            }
            layout.tag = ByteOrder::littleEndianShort (fmt);
            layout.numChannels = ByteOrder::littleEndianShort (fmt + 2);
            layout.sampleRate = (double) ByteOrder::littleEndianInt (fmt + 4);
            layout.blockAlign = ByteOrder::littleEndianShort (fmt + 12);
            layout.bitsPerSample = ByteOrder::littleEndianShort (fmt + 14);
            if (layout.tag == formatExtensible && size >= 40)
                layout.tag = ByteOrder::littleEndianShort (fmt + 24);
            haveFormat = true;
        }
        else if (isChunk (chunk, "data"))
        {
            if (! haveFormat)
            {
                error = "no format chunk in " + name;
                return false;
            }
            layout.dataStart = in.getPosition();
            const auto available = in.getTotalLength() - layout.dataStart;
            layout.numFrames = layout.blockAlign > 0 ? std::min (size, available) / layout.blockAlign : 0;
            return true;
        }

        if (! in.setPosition (next))
        {
            error = "truncated WAV file: " + name;
            return false;
        }
    }
}

// JUCE's WAV reader stops at 32 bits; this one reads 64-bit float samples.
class Float64Reader final : public juce::AudioFormatReader
{
public:
    Float64Reader (juce::InputStream* in, const Layout& layout) : juce::AudioFormatReader (in, "WAV"), dataStart (layout.dataStart)
    {
        sampleRate = layout.sampleRate;
        bitsPerSample = 64;
        usesFloatingPointData = true;
        numChannels = (unsigned int) layout.numChannels;
        lengthInSamples = layout.numFrames;
    }

    bool readSamples (int* const* destChannels, int numDestChannels, int startOffsetInDestBuffer,
                      juce::int64 startSampleInFile, int numSamples) override
    {
        clearSamplesBeyondAvailableLength (destChannels, numDestChannels, startOffsetInDestBuffer, startSampleInFile,
                                           numSamples, lengthInSamples);
        if (numSamples <= 0)
            return true;

        const auto frameBytes = (size_t) numChannels * sizeof (double);
        const auto needed = frameBytes * (size_t) numSamples;
        bytes.ensureSize (needed);
        input->setPosition (dataStart + startSampleInFile * (juce::int64) frameBytes);
        const auto got = input->read (bytes.getData(), (int) needed);
        if (got < (int) needed)
            std::memset (static_cast<char*> (bytes.getData()) + std::max (got, 0), 0, needed - (size_t) std::max (got, 0));

        const auto* frames = static_cast<const char*> (bytes.getData());
        for (int c = 0; c < numDestChannels; ++c)
        {
            if (destChannels[c] == nullptr)
                continue;
            auto* dest = reinterpret_cast<float*> (destChannels[c]) + startOffsetInDestBuffer;
            for (int i = 0; i < numSamples; ++i)
            {
                const auto bits = juce::ByteOrder::littleEndianInt64 (frames + (size_t) i * frameBytes + (size_t) c * sizeof (double));
                double value;
                std::memcpy (&value, &bits, sizeof value);
                dest[i] = (float) value;
            }
        }
        return true;
    }

private:
    juce::int64 dataStart;
    juce::MemoryBlock bytes;
};
} // namespace

//==============================================================================
bool Reader::open (const juce::File& file, juce::String& error)
{
    const auto name = file.getFullPathName();
    if (! file.existsAsFile())
    {
        error = "no such input file: " + name;
        return false;
    }

    auto stream = std::make_unique<juce::FileInputStream> (file);
    Layout layout;
    if (! stream->openedOk())
    {
        error = "cannot read " + name;
        return false;
    }
    if (! readLayout (*stream, name, layout, error))
        return false;

    stream->setPosition (0);
    if (layout.tag == formatFloat && layout.bitsPerSample == 64 && layout.numChannels > 0 && layout.sampleRate > 0.0
        && layout.blockAlign == layout.numChannels * 8)
        reader = std::make_unique<Float64Reader> (stream.release(), layout);
    else
        reader.reset (juce::WavAudioFormat().createReaderFor (stream.release(), true));

    if (reader == nullptr)
    {
        error = "unsupported WAV sample format in " + name + " (format " + juce::String (layout.tag) + ", "
                + juce::String (layout.bitsPerSample) + " bits)";
        return false;
    }

    reader->lengthInSamples = std::min (reader->lengthInSamples, layout.numFrames);
    info.numChannels = (int) reader->numChannels;
    info.sampleRate = reader->sampleRate;
    info.bitsPerSample = (int) reader->bitsPerSample;
    info.isFloat = reader->usesFloatingPointData;
    info.numFrames = reader->lengthInSamples;
    position = 0;
    return true;
}

void Reader::read (juce::AudioBuffer<float>& dest)
{
    jassert (dest.getNumChannels() >= info.numChannels);
    dest.clear();
    const int frames = (int) std::min<juce::int64> (info.numFrames - position, dest.getNumSamples());
    if (frames <= 0 || reader == nullptr)
        return;
    reader->read (dest.getArrayOfWritePointers(), info.numChannels, position, frames);
    position += frames;
}

//==============================================================================
Writer::~Writer()
{
    close();
}

bool Writer::open (const juce::File& file, double rate, int channels, int bits, juce::String& error)
{
    close();
    if (bits != 24 && bits != 32)
    {
        error = "WAV output is 24-bit or 32-bit float";
        return false;
    }

    ok = true;
    file.deleteFile();
    auto stream = std::make_unique<juce::FileOutputStream> (file);
    if (stream->openedOk())
        writer.reset (juce::WavAudioFormat().createWriterFor (stream.get(), rate, (unsigned int) channels, bits, {}, 0));
    if (writer == nullptr)
    {
        error = "cannot write " + file.getFullPathName();
        return false;
    }
    stream.release(); // the writer owns it now
    return true;
}

bool Writer::write (const float* const* channels, int numFrames)
{
    if (writer == nullptr || ! ok)
        return false;

    const int numChannels = writer->getNumChannels();
    const float* const* source = channels;
    if (! writer->isFloatingPoint())
    {
        finite.setSize (numChannels, numFrames, false, false, true);
        for (int c = 0; c < numChannels; ++c)
            for (int i = 0; i < numFrames; ++i)
                finite.setSample (c, i, std::isfinite (channels[c][i]) ? channels[c][i] : 0.0f);
        source = finite.getArrayOfReadPointers();
    }
    ok = writer->writeFromFloatArrays (source, numChannels, numFrames);
    return ok;
}

bool Writer::close()
{
    if (writer == nullptr)
        return ok;
    ok = writer->flush() && ok;
    writer.reset();
    return ok;
}

//==============================================================================
bool readFile (const juce::File& file, juce::AudioBuffer<float>& samples, Format& format, juce::String& error)
{
    Reader reader;
    if (! reader.open (file, error))
        return false;
    format = reader.format();
    if (format.numFrames > std::numeric_limits<int>::max())
    {
        error = "too long to read at once: " + file.getFullPathName();
        return false;
    }
    samples.setSize (format.numChannels, (int) format.numFrames);
    reader.read (samples);
    return true;
}
} // namespace VbHost::Wav
