#include "tools/host/RenderWav.h"

#include <cmath>
#include <cstring>

namespace VbHost::Wav
{
namespace
{
constexpr int formatPcm = 1;
constexpr int formatFloat = 3;
constexpr int formatExtensible = 0xfffe;

bool isChunk (const char* id, const char* name)
{
    return std::memcmp (id, name, 4) == 0;
}

uint16_t readLe16 (const char* p)
{
    return (uint16_t) ((uint8_t) p[0] | ((uint8_t) p[1] << 8));
}

uint32_t readLe32 (const char* p)
{
    return (uint32_t) readLe16 (p) | ((uint32_t) readLe16 (p + 2) << 16);
}

// One sample of the given layout as a float in [-1, 1).
float decode (const char* p, int bits, bool isFloat)
{
    if (isFloat)
    {
        if (bits == 32)
        {
            const uint32_t raw = readLe32 (p);
            float f;
            std::memcpy (&f, &raw, sizeof f);
            return f;
        }
        const uint64_t raw = readLe32 (p) | ((uint64_t) readLe32 (p + 4) << 32);
        double d;
        std::memcpy (&d, &raw, sizeof d);
        return (float) d;
    }

    switch (bits)
    {
        case 8:  return ((int) (uint8_t) p[0] - 128) / 128.0f;
        case 16: return (float) (int16_t) readLe16 (p) / 32768.0f;
        case 24:
        {
            const uint32_t raw = (uint32_t) readLe16 (p) | ((uint32_t) (uint8_t) p[2] << 16);
            return (float) ((int32_t) (raw << 8) >> 8) / 8388608.0f;
        }
        default: return (float) ((double) (int32_t) readLe32 (p) / 2147483648.0);
    }
}

bool supported (int tag, int bits)
{
    if (tag == formatPcm)
        return bits == 8 || bits == 16 || bits == 24 || bits == 32;
    return tag == formatFloat && (bits == 32 || bits == 64);
}

void writeLe16 (char* p, uint32_t v)
{
    p[0] = (char) (v & 0xff);
    p[1] = (char) ((v >> 8) & 0xff);
}

void writeLe32 (char* p, uint32_t v)
{
    writeLe16 (p, v & 0xffff);
    writeLe16 (p + 2, v >> 16);
}
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

    stream = std::make_unique<juce::FileInputStream> (file);
    char header[12];
    if (! stream->openedOk() || stream->read (header, 12) != 12 || ! isChunk (header, "RIFF") || ! isChunk (header + 8, "WAVE"))
    {
        error = "not a WAV file: " + name;
        return false;
    }

    // Walk the chunks: "fmt " first, then "data".
    int tag = 0, blockAlign = 0;
    bool haveFormat = false;
    for (;;)
    {
        char chunk[8];
        if (stream->read (chunk, 8) != 8)
        {
            error = (haveFormat ? "no audio data in " : "no format chunk in ") + name;
            return false;
        }
        const juce::int64 size = readLe32 (chunk + 4);
        const juce::int64 next = stream->getPosition() + size + (size & 1);

        if (isChunk (chunk, "fmt "))
        {
            char fmt[40] = {};
            if (size < 16 || stream->read (fmt, (int) std::min<juce::int64> (size, 40)) < 16)
            {
                error = "bad format chunk in " + name;
                return false;
            }
            tag = readLe16 (fmt);
            info.numChannels = readLe16 (fmt + 2);
            info.sampleRate = (double) readLe32 (fmt + 4);
            blockAlign = readLe16 (fmt + 12);
            info.bitsPerSample = readLe16 (fmt + 14);
            if (tag == formatExtensible && size >= 40)
                tag = readLe16 (fmt + 24); // the sub-format's first two bytes
            haveFormat = true;
        }
        else if (isChunk (chunk, "data"))
        {
            if (! haveFormat)
            {
                error = "no format chunk in " + name;
                return false;
            }
            if (! supported (tag, info.bitsPerSample) || info.numChannels < 1 || info.sampleRate <= 0.0
                || blockAlign != info.numChannels * info.bitsPerSample / 8)
            {
                error = "unsupported WAV sample format in " + name + " (format " + juce::String (tag) + ", "
                        + juce::String (info.bitsPerSample) + " bits)";
                return false;
            }
            info.isFloat = tag == formatFloat;
            // A data size past the end of the file (an unfinished recording) stops at the end.
            const auto available = stream->getTotalLength() - stream->getPosition();
            info.numFrames = std::min (size, available) / blockAlign;
            framesLeft = info.numFrames;
            return true;
        }

        if (! stream->setPosition (next))
        {
            error = "truncated WAV file: " + name;
            return false;
        }
    }
}

void Reader::read (juce::AudioBuffer<float>& dest)
{
    jassert (dest.getNumChannels() >= info.numChannels);
    dest.clear();
    const int frames = (int) std::min<juce::int64> (framesLeft, dest.getNumSamples());
    if (frames <= 0 || stream == nullptr)
        return;

    const int bytesPerSample = info.bitsPerSample / 8;
    const size_t needed = (size_t) frames * (size_t) (info.numChannels * bytesPerSample);
    if (needed > bytesSize)
    {
        bytes.allocate (needed, false);
        bytesSize = needed;
    }

    const auto got = stream->read (bytes.get(), (int) needed);
    const int complete = got > 0 ? (int) (got / (info.numChannels * bytesPerSample)) : 0;
    for (int i = 0; i < complete; ++i)
        for (int c = 0; c < info.numChannels; ++c)
            dest.setSample (c, i, decode (bytes + ((size_t) i * (size_t) info.numChannels + (size_t) c) * (size_t) bytesPerSample,
                                          info.bitsPerSample, info.isFloat));
    framesLeft = complete < frames ? 0 : framesLeft - frames;
}

//==============================================================================
Writer::~Writer()
{
    close();
}

bool Writer::open (const juce::File& file, double rate, int channels, int bits, juce::String& error)
{
    if (bits != 24 && bits != 32)
    {
        error = "WAV output is 24-bit or 32-bit float";
        return false;
    }
    numChannels = channels;
    bitsPerSample = bits;
    sampleRate = rate;
    framesWritten = 0;
    ok = true;

    file.deleteFile();
    stream = std::make_unique<juce::FileOutputStream> (file);
    if (! stream->openedOk() || ! writeHeader())
    {
        stream.reset();
        error = "cannot write " + file.getFullPathName();
        return false;
    }
    return true;
}

// RIFF header, format chunk (with a fact chunk for float data) and the data chunk's
// header; the sizes are written again by close().
bool Writer::writeHeader()
{
    const bool isFloat = bitsPerSample == 32;
    const uint32_t blockAlign = (uint32_t) (numChannels * bitsPerSample / 8);
    const juce::int64 dataBytes = framesWritten * blockAlign;
    const uint32_t headerBytes = isFloat ? 58 : 44;

    char h[58] = {};
    char* p = h;
    std::memcpy (p, "RIFF", 4);
    writeLe32 (p + 4, (uint32_t) (headerBytes - 8 + dataBytes + (dataBytes & 1)));
    std::memcpy (p + 8, "WAVE", 4);
    p += 12;

    std::memcpy (p, "fmt ", 4);
    writeLe32 (p + 4, isFloat ? 18 : 16);
    writeLe16 (p + 8, isFloat ? formatFloat : formatPcm);
    writeLe16 (p + 10, (uint32_t) numChannels);
    writeLe32 (p + 12, (uint32_t) std::lround (sampleRate));
    writeLe32 (p + 16, (uint32_t) std::lround (sampleRate) * blockAlign);
    writeLe16 (p + 20, blockAlign);
    writeLe16 (p + 22, (uint32_t) bitsPerSample);
    p += isFloat ? 26 : 24; // float: cbSize 0 follows

    if (isFloat)
    {
        std::memcpy (p, "fact", 4);
        writeLe32 (p + 4, 4);
        writeLe32 (p + 8, (uint32_t) framesWritten);
        p += 12;
    }

    std::memcpy (p, "data", 4);
    writeLe32 (p + 4, (uint32_t) dataBytes);
    return stream->write (h, headerBytes);
}

bool Writer::write (const float* const* channels, int numFrames)
{
    if (stream == nullptr || ! ok)
        return false;

    const int bytesPerSample = bitsPerSample / 8;
    const size_t needed = (size_t) numFrames * (size_t) (numChannels * bytesPerSample);
    if (needed > bytesSize)
    {
        bytes.allocate (needed, false);
        bytesSize = needed;
    }

    char* p = bytes.get();
    for (int i = 0; i < numFrames; ++i)
    {
        for (int c = 0; c < numChannels; ++c, p += bytesPerSample)
        {
            const float x = channels[c][i];
            if (bitsPerSample == 32)
            {
                uint32_t raw;
                std::memcpy (&raw, &x, sizeof raw);
                writeLe32 (p, raw);
            }
            else
            {
                const double scaled = std::isfinite (x) ? std::round ((double) x * 8388608.0) : 0.0;
                const auto v = (int32_t) juce::jlimit (-8388608.0, 8388607.0, scaled);
                writeLe16 (p, (uint32_t) v & 0xffff);
                p[2] = (char) (((uint32_t) v >> 16) & 0xff);
            }
        }
    }

    framesWritten += numFrames;
    ok = stream->write (bytes.get(), needed);
    return ok;
}

bool Writer::close()
{
    if (stream == nullptr)
        return ok;

    const juce::int64 dataBytes = framesWritten * numChannels * bitsPerSample / 8;
    if (dataBytes & 1)
        ok = stream->writeByte (0) && ok;
    ok = stream->setPosition (0) && writeHeader() && ok;
    stream->flush();
    ok = stream->getStatus().wasOk() && ok;
    stream.reset();
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
