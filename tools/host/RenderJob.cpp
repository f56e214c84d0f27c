#include "tools/host/RenderJob.h"

#include "tools/host/HostState.h"
#include "tools/host/RenderSignal.h"
#include "tools/host/RenderWav.h"

#include <cmath>

namespace VbHost
{
juce::String stateTextFor (const RenderSettings& s)
{
    juce::StringArray lines;
    lines.add ("Bypassed=False");
    lines.add ("ChannelProfile=" + juce::String (s.layout));
    lines.add ("SoloMutes=");
    lines.add ("Room=" + juce::String (s.room));
    lines.add ("Loudspeakers=" + juce::String (s.loudspeakers));
    lines.add ("VolumeTrim=" + juce::String (s.volumeTrim));
    lines.add ("ReverbTrim=" + juce::String (s.reverbTrim));
    return lines.joinIntoString ("\r\n");
}

juce::String stateValue (const juce::String& stateText, const juce::String& key)
{
    juce::StringArray lines;
    lines.addLines (stateText);
    for (const auto& line : lines)
        if (line.upToFirstOccurrenceOf ("=", false, false).trim() == key)
            return line.fromFirstOccurrenceOf ("=", false, false).trim();
    return {};
}

void applyState (HostedPlugin& plugin, const juce::MemoryBlock& state)
{
    juce::MemoryBlock stream;
    if (HostState::componentStream (state, stream))
        plugin.setState (state);
    else
        plugin.setPluginState (state);
}

namespace
{
// The input of a render: an audio file read block by block, or the built-in sequence.
class RenderInput
{
public:
    bool open (const RenderJob& job, juce::String& error)
    {
        if (job.input == juce::File())
        {
            generated = BurstSequence { job.burstChannels, job.sampleRate }.make();
            numChannels = generated.getNumChannels();
            sampleRate = job.sampleRate;
            length = generated.getNumSamples();
            return true;
        }

        fromFile = true;
        if (! reader.open (job.input, error))
            return false;

        const auto& format = reader.format();
        numChannels = format.numChannels;
        sampleRate = format.sampleRate;
        length = format.numFrames;
        if (numChannels > HostedPlugin::maxBusChannels)
        {
            error = job.input.getFileName() + " has " + juce::String (numChannels)
                    + " channels; a VST3 input bus carries at most " + juce::String (HostedPlugin::maxBusChannels);
            return false;
        }
        return true;
    }

    // The next dest.getNumSamples() samples into dest, zero past the end of the input.
    void read (juce::AudioBuffer<float>& dest)
    {
        if (fromFile)
        {
            reader.read (dest);
            return;
        }

        dest.clear();
        const int n = (int) juce::jlimit<juce::int64> (0, dest.getNumSamples(), length - position);
        for (int c = 0; c < numChannels && n > 0; ++c)
            dest.copyFrom (c, 0, generated, c, (int) position, n);
        position += dest.getNumSamples();
    }

    int numChannels = 0;
    double sampleRate = 0.0;
    juce::int64 length = 0;

private:
    bool fromFile = false;
    Wav::Reader reader;
    juce::AudioBuffer<float> generated;
    juce::int64 position = 0;
};

void measure (const juce::AudioBuffer<float>& block, int numSamples, RenderOutcome& outcome)
{
    for (int c = 0; c < 2; ++c)
    {
        const auto* data = block.getReadPointer (c);
        for (int i = 0; i < numSamples; ++i)
        {
            if (! std::isfinite (data[i]))
                ++outcome.nonFinite;
            else
                outcome.peak = std::max (outcome.peak, std::abs (data[i]));
        }
    }
}
} // namespace

bool renderToFile (HostedPlugin& plugin, const RenderJob& job, RenderOutcome& outcome, juce::String& error)
{
    outcome = {};
    if (job.input != juce::File() && job.input == job.output)
    {
        error = "the output would overwrite the input";
        return false;
    }

    RenderInput input;
    if (! input.open (job, error))
        return false;

    const int blockSize = juce::jmax (1, job.blockSize);
    if (! plugin.prepare (input.sampleRate, blockSize, input.numChannels, 2, error))
        return false;

    // The plug-in compiles its rays at the rate in force when its layout is built.
    if (! job.state.isEmpty())
        applyState (plugin, job.state);

    Wav::Writer writer;
    if (! writer.open (job.output, input.sampleRate, 2, job.bitsPerSample, error))
    {
        plugin.release();
        return false;
    }

    outcome.numInputs = input.numChannels;
    outcome.sampleRate = input.sampleRate;
    outcome.inputSamples = input.length;
    outcome.outputSamples = input.length + (juce::int64) std::lround (job.tailSeconds * input.sampleRate);

    juce::AudioBuffer<float> inputBlock (input.numChannels, blockSize);
    juce::AudioBuffer<float> hostBlock (juce::jmax (input.numChannels, 2), blockSize);
    bool written = true;

    for (juce::int64 start = 0; start < outcome.outputSamples && written; start += blockSize)
    {
        const int n = (int) juce::jmin<juce::int64> (blockSize, outcome.outputSamples - start);
        inputBlock.setSize (input.numChannels, n, false, false, true);
        hostBlock.setSize (hostBlock.getNumChannels(), n, false, false, true);

        input.read (inputBlock);
        hostBlock.clear();
        for (int c = 0; c < input.numChannels; ++c)
            hostBlock.copyFrom (c, 0, inputBlock, c, 0, n);

        plugin.processBlock (hostBlock, ChannelOrder::host); // a WAV file holds its channels in VST3 order

        measure (hostBlock, n, outcome);
        written = writer.write (hostBlock.getArrayOfReadPointers(), n);
    }

    plugin.release();
    written = writer.close() && written;
    if (! written)
    {
        error = "cannot write " + job.output.getFullPathName();
        return false;
    }
    return true;
}
} // namespace VbHost
