#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

class BinauralAudioProcessor;

// The plug-in window.
class BinauralAudioEditor : public juce::AudioProcessorEditor
{
public:
    explicit BinauralAudioEditor (BinauralAudioProcessor& processor);
    ~BinauralAudioEditor() override = default;

    void paint (juce::Graphics& g) override;

private:
    BinauralAudioProcessor& processor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BinauralAudioEditor)
};
