#include "plugin/PluginEditor.h"

#include "plugin/PluginProcessor.h"

BinauralAudioEditor::BinauralAudioEditor (BinauralAudioProcessor& p)
    : juce::AudioProcessorEditor (p), processor (p)
{
    setSize (604, 472);
}

void BinauralAudioEditor::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colours::black);
}
