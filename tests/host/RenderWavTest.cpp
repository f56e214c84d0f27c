// The render command's WAV files and its built-in signal.

#include "tools/host/RenderSignal.h"
#include "tools/host/RenderWav.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace
{
class TempDir
{
public:
    TempDir() : dir (juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("vb-wav-" + juce::Uuid().toString()))
    {
        dir.createDirectory();
    }
    ~TempDir() { dir.deleteRecursively(); }

    juce::File file (const juce::String& name) const { return dir.getChildFile (name); }

private:
    juce::File dir;
};

std::vector<uint8_t> bytesOf (const juce::File& file)
{
    juce::MemoryBlock data;
    file.loadFileAsData (data);
    const auto* p = static_cast<const uint8_t*> (data.getData());
    return { p, p + data.getSize() };
}

uint32_t le32 (const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | ((uint32_t) b[at + 3] << 24);
}

std::string text (const std::vector<uint8_t>& b, size_t at)
{
    return std::string (b.begin() + (long) at, b.begin() + (long) at + 4);
}

// A WAV file from chunks written out by hand.
struct RawWav
{
    juce::MemoryOutputStream body;

    RawWav& chunk (const char* id, const void* data, uint32_t size, uint32_t declaredSize)
    {
        body.write (id, 4);
        body.writeInt ((int) declaredSize);
        body.write (data, size);
        if (size & 1)
            body.writeByte (0);
        return *this;
    }
    RawWav& chunk (const char* id, const void* data, uint32_t size) { return chunk (id, data, size, size); }

    RawWav& format (int tag, int channels, int rate, int bits)
    {
        juce::MemoryOutputStream f;
        f.writeShort ((short) tag);
        f.writeShort ((short) channels);
        f.writeInt (rate);
        f.writeInt (rate * channels * bits / 8);
        f.writeShort ((short) (channels * bits / 8));
        f.writeShort ((short) bits);
        return chunk ("fmt ", f.getData(), (uint32_t) f.getDataSize());
    }

    void save (const juce::File& file)
    {
        juce::MemoryOutputStream out;
        out.write ("RIFF", 4);
        out.writeInt ((int) body.getDataSize() + 4);
        out.write ("WAVE", 4);
        out.write (body.getData(), body.getDataSize());
        file.replaceWithData (out.getData(), out.getDataSize());
    }
};

juce::AudioBuffer<float> read (const juce::File& file, VbHost::Wav::Format& format)
{
    juce::AudioBuffer<float> samples;
    juce::String error;
    EXPECT_TRUE (VbHost::Wav::readFile (file, samples, format, error)) << error;
    return samples;
}
} // namespace

TEST (RenderWav, FloatFileKeepsEverySampleExactly)
{
    TempDir temp;
    const auto file = temp.file ("float.wav");
    const float left[] { 0.5f, 1.5f, 0.0f };
    const float right[] { -0.25f, -2.0f, 1.0e-3f };
    const float* channels[] { left, right };
    {
        VbHost::Wav::Writer writer;
        juce::String error;
        ASSERT_TRUE (writer.open (file, 44100.0, 2, 32, error)) << error;
        ASSERT_TRUE (writer.write (channels, 2));
        ASSERT_TRUE (writer.write (channels, 1)); // the first frame again
        ASSERT_TRUE (writer.close());
    }

    const auto b = bytesOf (file);
    ASSERT_GT (b.size(), 44u + 3 * 8);
    EXPECT_EQ (text (b, 0), "RIFF");
    EXPECT_EQ (le32 (b, 4), b.size() - 8);
    EXPECT_EQ (text (b, 8), "WAVE");

    VbHost::Wav::Format format;
    const auto samples = read (file, format);
    EXPECT_EQ (format.numChannels, 2);
    EXPECT_EQ (format.sampleRate, 44100.0);
    EXPECT_EQ (format.bitsPerSample, 32);
    EXPECT_TRUE (format.isFloat);
    ASSERT_EQ (samples.getNumSamples(), 3);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ (samples.getSample (0, i), left[i % 2]) << i;  // 1.5 kept above full scale
        EXPECT_EQ (samples.getSample (1, i), right[i % 2]) << i;
    }
}

TEST (RenderWav, TwentyFourBitSamplesRoundAndClip)
{
    TempDir temp;
    const auto file = temp.file ("pcm24.wav");
    const float values[] { 0.5f, 1.5f, -2.0f, -0.5f, 1.0f / 8388608.0f, std::nanf (""), 0.3f };
    const float* channels[] { values };
    {
        VbHost::Wav::Writer writer;
        juce::String error;
        ASSERT_TRUE (writer.open (file, 48000.0, 1, 24, error)) << error;
        ASSERT_TRUE (writer.write (channels, 7));
    } // the destructor completes the file

    const auto b = bytesOf (file);
    EXPECT_EQ (le32 (b, 4), b.size() - 8);

    VbHost::Wav::Format format;
    const auto samples = read (file, format);
    EXPECT_EQ (format.bitsPerSample, 24);
    EXPECT_FALSE (format.isFloat);
    ASSERT_EQ (samples.getNumSamples(), 7);
    const float expected[] { 0.5f, 8388607.0f / 8388608.0f, -1.0f, -0.5f, 1.0f / 8388608.0f, 0.0f };
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ (samples.getSample (0, i), expected[i]) << "sample " << i;
    EXPECT_NEAR (samples.getSample (0, 6), 0.3f, 0.6f / 8388608.0f);
}

TEST (RenderWav, ReadsOtherLayoutsAndSkipsUnknownChunks)
{
    TempDir temp;

    // 16-bit stereo after an odd-sized chunk of its own.
    const int16_t pcm16[] { 16384, -32768, -16384, 32767 };
    const auto f16 = temp.file ("pcm16.wav");
    RawWav().chunk ("junk", "abc", 3).format (1, 2, 22050, 16).chunk ("data", pcm16, sizeof pcm16).save (f16);
    VbHost::Wav::Format format;
    auto samples = read (f16, format);
    ASSERT_EQ (samples.getNumChannels(), 2);
    ASSERT_EQ (samples.getNumSamples(), 2);
    EXPECT_EQ (format.sampleRate, 22050.0);
    EXPECT_EQ (samples.getSample (0, 0), 0.5f);
    EXPECT_EQ (samples.getSample (1, 0), -1.0f);
    EXPECT_EQ (samples.getSample (0, 1), -0.5f);

    // 8-bit unsigned.
    const uint8_t pcm8[] { 0xc0, 0x00, 0x80 };
    const auto f8 = temp.file ("pcm8.wav");
    RawWav().format (1, 1, 8000, 8).chunk ("data", pcm8, sizeof pcm8).save (f8);
    samples = read (f8, format);
    ASSERT_EQ (samples.getNumSamples(), 3);
    EXPECT_EQ (samples.getSample (0, 0), 0.5f);
    EXPECT_EQ (samples.getSample (0, 1), -1.0f);
    EXPECT_EQ (samples.getSample (0, 2), 0.0f);

    // Extensible 64-bit float whose data size runs past the end of the file.
    juce::MemoryOutputStream ext;
    ext.writeShort ((short) 0xfffe);
    ext.writeShort (1);
    ext.writeInt (96000);
    ext.writeInt (96000 * 8);
    ext.writeShort (8);
    ext.writeShort (64);
    ext.writeShort (22);
    ext.writeShort (64);
    ext.writeInt (4);
    const uint8_t floatGuid[] { 3, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xaa, 0, 0x38, 0x9b, 0x71 };
    ext.write (floatGuid, sizeof floatGuid);
    const double values[] { 0.25, -0.75 };
    const auto f64 = temp.file ("float64.wav");
    RawWav().chunk ("fmt ", ext.getData(), (uint32_t) ext.getDataSize()).chunk ("data", values, sizeof values, 8000).save (f64);
    samples = read (f64, format);
    EXPECT_TRUE (format.isFloat);
    EXPECT_EQ (format.numFrames, 2);
    ASSERT_EQ (samples.getNumSamples(), 2);
    EXPECT_EQ (samples.getSample (0, 0), 0.25f);
    EXPECT_EQ (samples.getSample (0, 1), -0.75f);
}

TEST (RenderWav, BlockReadsMatchTheWholeFileAndEndInZeros)
{
    TempDir temp;
    const auto file = temp.file ("blocks.wav");
    std::vector<float> left (10), right (10);
    for (int i = 0; i < 10; ++i)
    {
        left[(size_t) i] = 0.01f * (float) i;
        right[(size_t) i] = -0.02f * (float) i;
    }
    const float* channels[] { left.data(), right.data() };
    {
        VbHost::Wav::Writer writer;
        juce::String error;
        ASSERT_TRUE (writer.open (file, 48000.0, 2, 32, error)) << error;
        ASSERT_TRUE (writer.write (channels, 10));
    }

    VbHost::Wav::Reader reader;
    juce::String error;
    ASSERT_TRUE (reader.open (file, error)) << error;
    juce::AudioBuffer<float> block (2, 4);
    for (int start = 0; start < 16; start += 4)
    {
        reader.read (block);
        for (int i = 0; i < 4; ++i)
        {
            const int n = start + i;
            EXPECT_EQ (block.getSample (0, i), n < 10 ? left[(size_t) n] : 0.0f) << n;
            EXPECT_EQ (block.getSample (1, i), n < 10 ? right[(size_t) n] : 0.0f) << n;
        }
    }
}

TEST (RenderWav, RefusesWhatItCannotRead)
{
    TempDir temp;
    auto failure = [] (const juce::File& file) {
        VbHost::Wav::Reader reader;
        juce::String error;
        EXPECT_FALSE (reader.open (file, error)) << file.getFileName();
        return error;
    };

    EXPECT_TRUE (failure (temp.file ("missing.wav")).startsWith ("no such input file"));

    const auto textFile = temp.file ("notes.wav");
    textFile.replaceWithText ("Bypassed=False\r\nChannelProfile=1\r\n");
    EXPECT_TRUE (failure (textFile).startsWith ("not a WAV file"));

    const uint8_t data[] { 0, 0, 0, 0 };
    const auto adpcm = temp.file ("adpcm.wav");
    RawWav().format (2, 1, 8000, 4).chunk ("data", data, 4).save (adpcm);
    EXPECT_TRUE (failure (adpcm).startsWith ("unsupported WAV sample format"));

    const auto dataFirst = temp.file ("datafirst.wav");
    RawWav().chunk ("data", data, 4).format (1, 1, 8000, 16).save (dataFirst);
    EXPECT_TRUE (failure (dataFirst).startsWith ("no format chunk"));

    const auto noData = temp.file ("nodata.wav");
    RawWav().format (1, 1, 8000, 16).save (noData);
    EXPECT_TRUE (failure (noData).startsWith ("no audio data"));

    VbHost::Wav::Writer writer;
    juce::String error;
    EXPECT_FALSE (writer.open (temp.file ("no/such/dir.wav"), 48000.0, 2, 32, error));
    EXPECT_TRUE (error.startsWith ("cannot write"));
    EXPECT_FALSE (writer.open (temp.file ("x.wav"), 48000.0, 2, 16, error));
}

TEST (RenderSignal, OneFadedBurstPerChannelInItsOwnSlot)
{
    const VbHost::BurstSequence sequence { 3, 44100.0 };
    EXPECT_EQ (sequence.burstLength(), 11025);
    EXPECT_EQ (sequence.slotLength(), 22050);
    EXPECT_EQ (sequence.fadeLength(), 441);
    EXPECT_EQ (sequence.totalLength(), 3 * 22050);

    const auto signal = sequence.make();
    ASSERT_EQ (signal.getNumChannels(), 3);
    ASSERT_EQ (signal.getNumSamples(), sequence.totalLength());
    for (int c = 0; c < 3; ++c)
    {
        const int start = sequence.burstStart (c);
        const int end = start + sequence.burstLength();
        float peak = 0.0f, edges = 0.0f;
        for (int i = 0; i < signal.getNumSamples(); ++i)
        {
            const float x = std::abs (signal.getSample (c, i));
            if (i < start || i >= end)
                ASSERT_EQ (x, 0.0f) << "channel " << c << " sample " << i;
            else
                peak = std::max (peak, x);
        }
        for (const int i : { start, start + 1, end - 2, end - 1 })
            edges = std::max (edges, std::abs (signal.getSample (c, i)));
        EXPECT_LE (peak, VbHost::BurstSequence::level);
        EXPECT_GT (peak, 0.9f * VbHost::BurstSequence::level);
        EXPECT_LT (edges, 0.001f);
    }

    // The same every time, and different on every channel.
    const auto again = sequence.make();
    for (int i = 0; i < signal.getNumSamples(); ++i)
        ASSERT_EQ (again.getSample (1, i), signal.getSample (1, i));
    EXPECT_NE (signal.getSample (0, 5000), signal.getSample (1, sequence.burstStart (1) + 5000));
}
