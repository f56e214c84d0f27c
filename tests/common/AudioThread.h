#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

// A host's audio thread: renders blocks back to back until stopped, each
// filled with input first, and counts blocks whose outputs 0 and 1 are not finite.
class AudioThread
{
public:
    using Fill = std::function<void (juce::AudioBuffer<float>& buffer, int64_t startSample)>;

    AudioThread (juce::AudioProcessor& processorToUse, int numChannels, int blockSize, Fill fillToUse)
        : processor (processorToUse), buffer (numChannels, blockSize), fill (std::move (fillToUse)),
          thread ([this] { run(); })
    {
    }

    ~AudioThread() { stop(); }

    void stop()
    {
        stopping = true;
        if (thread.joinable())
            thread.join();
    }

    // Returns once `count` more blocks have been rendered.
    void waitForBlocks (int count) const
    {
        const int target = blocks.load() + count;
        while (blocks.load() < target)
            std::this_thread::sleep_for (std::chrono::microseconds (200));
    }

    std::atomic<int> blocks { 0 };
    std::atomic<int> nonFiniteBlocks { 0 };

private:
    void run()
    {
        juce::MidiBuffer midi;
        const int n = buffer.getNumSamples();
        for (int64_t time = 0; ! stopping.load(); time += n)
        {
            fill (buffer, time);
            processor.processBlock (buffer, midi);
            if (! outputsFinite())
                ++nonFiniteBlocks;
            ++blocks;
        }
    }

    bool outputsFinite() const
    {
        for (int c = 0; c < juce::jmin (2, buffer.getNumChannels()); ++c)
            for (int i = 0; i < buffer.getNumSamples(); ++i)
                if (! std::isfinite (buffer.getSample (c, i)))
                    return false;
        return true;
    }

    juce::AudioProcessor& processor;
    juce::AudioBuffer<float> buffer;
    Fill fill;
    std::atomic<bool> stopping { false };
    std::thread thread;
};
