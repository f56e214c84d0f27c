#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <memory>

// WAV files for the render command, read and written block by block.
namespace VbHost::Wav
{
struct Format
{
    int numChannels = 0;
    double sampleRate = 0.0;
    int bitsPerSample = 0;
    bool isFloat = false;
    juce::int64 numFrames = 0;
};

// Reads PCM (8, 16, 24 or 32 bits) and floating-point (32 or 64 bits) WAV files,
// plain or extensible, front to back.
class Reader
{
public:
    // False and a message when the file is missing or not a WAV file this reads.
    bool open (const juce::File& file, juce::String& error);
    const Format& format() const noexcept { return info; }

    // The next dest.getNumSamples() frames into dest's first numChannels channels,
    // zeros past the end of the data. dest has at least numChannels channels.
    void read (juce::AudioBuffer<float>& dest);

private:
    std::unique_ptr<juce::FileInputStream> stream;
    Format info;
    juce::int64 framesLeft = 0;
    juce::HeapBlock<char> bytes;
    size_t bytesSize = 0;
};

// Writes a WAV file of 32-bit float or 24-bit PCM samples.
class Writer
{
public:
    ~Writer();

    // Replaces the file. bitsPerSample is 32 (float) or 24.
    bool open (const juce::File& file, double sampleRate, int numChannels, int bitsPerSample, juce::String& error);

    // numFrames frames of numChannels channels; 24-bit samples are clipped to full scale.
    bool write (const float* const* channels, int numFrames);

    // Completes the header's sizes and closes the file; also done by the destructor.
    bool close();

private:
    bool writeHeader();

    std::unique_ptr<juce::FileOutputStream> stream;
    int numChannels = 0;
    int bitsPerSample = 32;
    double sampleRate = 0.0;
    juce::int64 framesWritten = 0;
    juce::HeapBlock<char> bytes;
    size_t bytesSize = 0;
    bool ok = true;
};

// A whole file into memory; false and a message when it cannot be read.
bool readFile (const juce::File& file, juce::AudioBuffer<float>& samples, Format& format, juce::String& error);
} // namespace VbHost::Wav
