#include "plugin/editor/PluginEditor.h"

#include "plugin/PluginProcessor.h"
#include "trackerui/HeadPanel.h"

namespace
{
void setEditorColours (juce::LookAndFeel& lookAndFeel)
{
    lookAndFeel.setColour (juce::ResizableWindow::backgroundColourId, juce::Colour (0xff202020));
    lookAndFeel.setColour (juce::TextButton::buttonOnColourId, juce::Colour (0xffa0a0a0));
    lookAndFeel.setColour (juce::TextButton::buttonColourId, juce::Colour (0xff000000));
    lookAndFeel.setColour (juce::TextButton::textColourOnId, juce::Colour (0xff000000));
    lookAndFeel.setColour (juce::ComboBox::backgroundColourId, juce::Colour (0xff181818));
}
} // namespace

BinauralAudioEditor::BinauralAudioEditor (BinauralAudioProcessor& p)
    : juce::AudioProcessorEditor (p), pluginState (p.pluginState)
{
    setEditorColours (lookAndFeel);
    setLookAndFeel (&lookAndFeel);

    for (const auto& step : EditorControls::creationOrder)
        createChild (step);

    setSize (EditorControls::width, EditorControls::height);
    updateControls();
    startTimer (EditorControls::timerPeriodMs);
}

BinauralAudioEditor::~BinauralAudioEditor()
{
    stopTimer();
    // The head panel belongs to the processor and lives on for the next editor.
    removeChildComponent (pluginState.headPanel.get());

    for (auto* button : buttons)
        button->setLookAndFeel (nullptr);
    layoutBox.setLookAndFeel (nullptr);
    setLookAndFeel (nullptr);
}

void BinauralAudioEditor::createChild (const EditorControls::CreationStep& step)
{
    using EditorControls::Child;
    switch (step.child)
    {
        case Child::caption:
            makeLabel (EditorControls::captionTable[(size_t) step.index]);
            break;
        case Child::headPanel:
            pluginState.headPanel->setTopLeftPosition (EditorControls::headPanelX, EditorControls::headPanelY);
            addAndMakeVisible (*pluginState.headPanel);
            break;
        case Child::button:
            makeButton (EditorControls::buttonTable[(size_t) step.index]);
            break;
        case Child::trimFader:
            trimFader.setMode (FaderBar::Mode::volumeTrim);
            trimFader.setPosition (pluginState.volumeTrim);
            place (trimFader, EditorControls::trimFaderPlace);
            break;
        case Child::reverbFader:
            reverbFader.setMode (FaderBar::Mode::reverbRatio);
            reverbFader.setPosition (pluginState.reverbTrim);
            place (reverbFader, EditorControls::reverbFaderPlace);
            break;
        case Child::layoutBox:
            makeLayoutBox();
            break;
        case Child::radar:
            place (radar, EditorControls::radarPlace);
            break;
    }
}

void BinauralAudioEditor::makeLayoutBox()
{
    layoutBox.setLookAndFeel (&lookAndFeel);
    layoutBox.addListener (this);
    const auto& profiles = pluginState.channelProfiles.profiles;
    for (int i = 0; i < profiles.size(); ++i)
        layoutBox.addItem (profiles.getUnchecked (i)->name, i + 1);
    place (layoutBox, EditorControls::layoutBoxPlace);
}

void BinauralAudioEditor::place (juce::Component& child, const EditorControls::Place& where)
{
    child.setBounds (where.x, where.y, where.width, where.height);
    addAndMakeVisible (child);
}

void BinauralAudioEditor::makeLabel (const EditorControls::LabelSpec& spec)
{
    const auto text = EditorControls::captionText (spec.text);
    auto* label = labels.add (new juce::Label (text, text));
    label->setBounds (spec.x, spec.y, spec.width, EditorControls::labelHeight);
    if (spec.bold)
    {
        label->setFont (juce::Font (14.0f, juce::Font::bold));
        label->setColour (juce::Label::textColourId, juce::Colour (0xffe0e0e0));
        label->setColour (juce::Label::backgroundColourId, juce::Colour (0x30ffffff));
    }
    else
    {
        label->setFont (juce::Font (14.0f));
        label->setColour (juce::Label::textColourId, juce::Colour (0xffa0a0a0));
    }
    addAndMakeVisible (label);
}

void BinauralAudioEditor::makeButton (const EditorControls::ButtonSpec& spec)
{
    auto* button = buttons.add (new juce::TextButton (spec.text));
    button->setButtonText (spec.text);
    button->setBounds (spec.x, spec.y, spec.width, EditorControls::buttonHeight);
    button->addListener (this);
    button->setLookAndFeel (&lookAndFeel);
    addAndMakeVisible (button);
    buttonRoles.push_back (spec.role);
}

juce::TextButton* BinauralAudioEditor::findButton (EditorControls::ButtonRole role) const
{
    for (size_t i = 0; i < buttonRoles.size(); ++i)
        if (buttonRoles[i] == role)
            return buttons[(int) i];
    return nullptr;
}

void BinauralAudioEditor::paint (juce::Graphics& g)
{
    g.fillAll (findColour (juce::ResizableWindow::backgroundColourId));
    g.setFont (juce::Font (14.0f));
    g.setColour (juce::Colour (0xffc8c8c8));
    g.drawText (EditorControls::versionText, getWidth() - 60, getHeight() - 16, 56, 16,
                juce::Justification::topRight, true);
}

void BinauralAudioEditor::buttonClicked (juce::Button* button)
{
    const int j = buttons.indexOf (static_cast<juce::TextButton*> (button));
    if (j >= 0)
        EditorControls::click (buttonRoles[(size_t) j], pluginState);
    updateControls();
}

void BinauralAudioEditor::faderChanged()
{
    EditorControls::moveFaders (reverbFader.getPosition(), trimFader.getPosition(), pluginState);
}

void BinauralAudioEditor::comboBoxChanged (juce::ComboBox* box)
{
    if (box != &layoutBox || layoutBox.getSelectedId() <= 0)
        return;
    EditorControls::chooseLayout (layoutBox.getSelectedId(), pluginState);
    updateRadar();
}

void BinauralAudioEditor::timerCallback()
{
    if (pluginState.settingsChanged.load() == 0)
        return;
    pluginState.settingsChanged = 0;
    updateControls();
    updateRadar();
}

void BinauralAudioEditor::updateControls()
{
    for (size_t i = 0; i < buttonRoles.size(); ++i)
        buttons[(int) i]->setToggleState (EditorControls::isOn (buttonRoles[i], pluginState), juce::dontSendNotification);

    // A changed selection reaches comboBoxChanged later, which fills the radar.
    layoutBox.setSelectedId (EditorControls::itemIdForLayout (pluginState.channelProfiles, pluginState.channelProfile),
                             juce::sendNotificationAsync);

    trimFader.setPosition (pluginState.volumeTrim);
    reverbFader.setPosition (pluginState.reverbTrim);
}

void BinauralAudioEditor::updateRadar()
{
    radar.setProfile (pluginState.currentProfile());
    radar.setSoloMutes (&pluginState.soloMutes);
    radar.setNumChannels (pluginState.numInputChannels.load());
}
