#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

#include <memory>

// WAV files for the render command, read and written block by block through
// JUCE's WAV format.
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
// plain or extensible, front to back. A data chunk that claims more than the
// file holds (an unfinished recording) ends with the file.
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
    std::unique_ptr<juce::AudioFormatReader> reader;
    Format info;
    juce::int64 position = 0;
};

// Writes a WAV file of 32-bit float or 24-bit PCM samples.
class Writer
{
public:
    ~Writer();

    // Replaces the file. bitsPerSample is 32 (float) or 24.
    bool open (const juce::File& file, double sampleRate, int numChannels, int bitsPerSample, juce::String& error);

    // numFrames frames of numChannels channels; 24-bit samples are clipped to
    // full scale, and those that are not finite written as 0.
    bool write (const float* const* channels, int numFrames);

    // Completes the header and closes the file; also done by the destructor.
    bool close();

private:
    std::unique_ptr<juce::AudioFormatWriter> writer;
    juce::AudioBuffer<float> finite;
    bool ok = true;
};

// A whole file into memory; false and a message when it cannot be read.
bool readFile (const juce::File& file, juce::AudioBuffer<float>& samples, Format& format, juce::String& error);
} // namespace VbHost::Wav
