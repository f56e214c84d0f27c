#pragma once

#include "plugin/editor/ChannelRadar.h"
#include "plugin/editor/EditorControls.h"
#include "plugin/editor/FaderBar.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <vector>

class BinauralAudioProcessor;

// The plug-in window: the head tracker panel, the layout list with its radar,
// the spatialiser, room and loudspeaker buttons and the two faders. Every
// control shows PluginState and writes it back; a 100 ms timer picks up
// changes made elsewhere.
class BinauralAudioEditor : public juce::AudioProcessorEditor,
                            private juce::Timer,
                            private juce::Button::Listener,
                            private FaderBar::Listener,
                            private juce::ComboBox::Listener
{
public:
    explicit BinauralAudioEditor (BinauralAudioProcessor& processor);
    ~BinauralAudioEditor() override;

    void paint (juce::Graphics& g) override;
    void resized() override {}

    // The button of a role, or null.
    juce::TextButton* findButton (EditorControls::ButtonRole role) const;
    FaderBar& getReverbFader() noexcept { return reverbFader; }
    FaderBar& getTrimFader() noexcept { return trimFader; }
    juce::ComboBox& getLayoutBox() noexcept { return layoutBox; }
    ChannelRadar& getRadar() noexcept { return radar; }
    const juce::OwnedArray<juce::Label>& getLabels() const noexcept { return labels; }

private:
    void buttonClicked (juce::Button* button) override;
    void faderChanged() override;
    void comboBoxChanged (juce::ComboBox* box) override;
    void timerCallback() override;

    void createChild (const EditorControls::CreationStep& step);
    void makeLabel (const EditorControls::LabelSpec& spec);
    void makeButton (const EditorControls::ButtonSpec& spec);
    void makeLayoutBox();
    void place (juce::Component& child, const EditorControls::Place& where);
    // Copies the settings into the buttons, the layout list and the faders.
    void updateControls();
    // Hands the radar the current layout, the solo and mute record and the channel count.
    void updateRadar();

    PluginState& pluginState;
    juce::OwnedArray<juce::Label> labels;
    juce::OwnedArray<juce::TextButton> buttons;
    std::vector<EditorControls::ButtonRole> buttonRoles; // one per button, in the order of `buttons`
    FaderBar reverbFader { this };
    FaderBar trimFader { this };
    juce::ComboBox layoutBox;
    ChannelRadar radar;
    juce::LookAndFeel_V4 lookAndFeel;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BinauralAudioEditor)
};
