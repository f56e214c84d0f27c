#include "EditorRig.h"

#include "plugin/SavedState.h"
#include "trackerui/HeadPanel.h"

using namespace EditorTesting;
using EditorControls::ButtonGroup;
using EditorControls::ButtonRole;

namespace
{
struct EditorFixture : ::testing::Test
{
    EditorFixture()
    {
        processor->pluginState.settingsListener = &listener;
        editor = openEditor (*processor);
    }

    ~EditorFixture() override
    {
        editor.reset();
        processor->pluginState.settingsListener = processor.get();
    }

    PluginState& state() { return processor->pluginState; }
    juce::TextButton& button (ButtonGroup group, int index) { return *editor->findButton ({ group, index }); }

    // Toggle states in the order of the button table.
    std::vector<bool> toggles()
    {
        std::vector<bool> result;
        for (const auto& spec : EditorControls::buttonTable)
            result.push_back (editor->findButton (spec.role)->getToggleState());
        return result;
    }

    // Presses the fader bar at the pixel of a position.
    static void pressFader (FaderBar& fader, int position)
    {
        fader.mouseDown (mouseAt (fader, ((float) position + 0.5f) * 320.0f / 33.0f, 6.0f));
        fader.mouseUp (mouseAt (fader, 0, 0));
    }

    std::unique_ptr<BinauralAudioProcessor> processor = makeProcessor (8);
    RecordingListener listener;
    std::unique_ptr<BinauralAudioEditor> editor;
};
} // namespace

TEST_F (EditorFixture, ChildrenInTheirPlacesAndOrder)
{
    EXPECT_EQ (editor->getWidth(), 604);
    EXPECT_EQ (editor->getHeight(), 472);
    EXPECT_FALSE (editor->isResizable());

    struct Child { juce::String name; juce::Rectangle<int> bounds; };
    const std::vector<Child> expected {
        { "HEAD TRACKER", { 12, 8, 248, 20 } }, { "CHANNEL LAYOUT", { 12, 148, 248, 20 } },
        { "MONITORING CONTROLS", { 272, 8, 320, 20 } }, { "LISTENING ENVIRONMENT", { 272, 148, 320, 20 } },
        { "head panel", { 40, 40, 180, 100 } },
        { "Turn spatialiser off", { 272, 40, 152, 25 } }, { "VOLUME TRIM", { 272, 73, 320, 20 } },
        { "trim fader", { 272, 93, 320, 32 } },
        { "ROOM", { 272, 180, 320, 20 } }, { "Speech optimised", { 272, 200, 128, 25 } },
        { "Mixing studio", { 408, 200, 116, 25 } }, { "Hall", { 532, 200, 60, 25 } },
        { "LOUDSPEAKERS", { 272, 237, 320, 20 } }, { "Full range", { 272, 257, 84, 25 } },
        { "Nearfield", { 364, 257, 84, 25 } },
        { "REVERB RATIO", { 272, 294, 320, 20 } }, { "reverb fader", { 272, 314, 320, 32 } },
        { "layout box", { 12, 180, 248, 25 } }, { "radar", { 12, 217, 256, 256 } },
    };
    const std::map<juce::Component*, juce::String> unnamed {
        { state().headPanel.get(), "head panel" }, { &editor->getTrimFader(), "trim fader" },
        { &editor->getReverbFader(), "reverb fader" }, { &editor->getLayoutBox(), "layout box" },
        { &editor->getRadar(), "radar" },
    };

    const auto children = editor->getChildren();
    ASSERT_EQ ((size_t) children.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
    {
        auto* child = children[(int) i];
        const auto found = unnamed.find (child);
        EXPECT_EQ (found != unnamed.end() ? found->second : child->getName(), expected[i].name) << i;
        EXPECT_EQ (child->getBounds(), expected[i].bounds) << expected[i].name;
        EXPECT_TRUE (child->isVisible());
        if (auto* label = dynamic_cast<juce::Label*> (child))
        {
            EXPECT_EQ (label->getText(), expected[i].name);
        }
        if (auto* textButton = dynamic_cast<juce::TextButton*> (child))
        {
            EXPECT_EQ (textButton->getButtonText(), expected[i].name);
        }
    }

    auto& box = editor->getLayoutBox();
    ASSERT_EQ (box.getNumItems(), 16);
    for (int i = 0; i < 16; ++i)
    {
        EXPECT_EQ (box.getItemId (i), i + 1);
        EXPECT_EQ (box.getItemText (i), state().channelProfiles.profiles[i]->name);
    }
}

TEST_F (EditorFixture, ButtonsStoreTheirSettingAndTellTheListener)
{
    // Defaults: spatialiser on, "Mixing studio", "Full range".
    EXPECT_EQ (toggles(), (std::vector<bool> { false, false, true, false, true, false }));

    clickButton (button (ButtonGroup::room, 1));
    EXPECT_TRUE (listener.calls.empty());
    EXPECT_EQ (toggles(), (std::vector<bool> { false, false, true, false, true, false }));

    clickButton (button (ButtonGroup::loudspeakers, 1));
    EXPECT_EQ (state().loudspeakers, Zeph::Loudspeakers::nearfield);
    EXPECT_FLOAT_EQ (state().roomGain, 0.630957f);
    EXPECT_FLOAT_EQ (state().directGain, 1.0f);
    EXPECT_EQ (listener.calls, (std::vector<std::string> { "gain" }));
    EXPECT_EQ (toggles(), (std::vector<bool> { false, false, true, false, false, true }));

    clickButton (button (ButtonGroup::loudspeakers, 1));
    clickButton (button (ButtonGroup::room, 2));
    EXPECT_EQ (state().room, Zeph::ListeningRoom::hall);
    EXPECT_EQ (listener.calls, (std::vector<std::string> { "gain", "layout" }));
    EXPECT_EQ (toggles(), (std::vector<bool> { false, false, false, true, false, true }));

    listener.calls.clear();
    for (int expected : { 1, 0, 1 })
    {
        clickButton (button (ButtonGroup::spatialiser, 0));
        EXPECT_EQ (state().bypassed.load(), expected);
        EXPECT_EQ (button (ButtonGroup::spatialiser, 0).getToggleState(), expected == 1);
    }
    EXPECT_TRUE (listener.calls.empty());
}

TEST_F (EditorFixture, FadersTellTheListenerOncePerChangedSettingReverbFirst)
{
    pressFader (editor->getTrimFader(), 10);
    EXPECT_EQ (state().volumeTrim, 10);
    EXPECT_FLOAT_EQ (state().volumeGain, std::pow (10.0f, -10.0f / 20.0f));
    EXPECT_EQ (listener.calls, (std::vector<std::string> { "gain" }));
    pressFader (editor->getTrimFader(), 10);
    EXPECT_EQ (listener.calls.size(), 1u);

    // Both settings differ from their faders: two calls, the reverb ratio first.
    struct Seen { int reverbTrim, volumeTrim; };
    std::vector<Seen> seen;
    struct Watcher : PluginState::SettingsListener
    {
        Watcher (PluginState& s, std::vector<Seen>& v) : state (s), seen (v) {}
        void layoutSettingsChanged() override {}
        void gainSettingsChanged() override { seen.push_back ({ state.reverbTrim, state.volumeTrim }); }
        PluginState& state;
        std::vector<Seen>& seen;
    } watcher (state(), seen);
    state().settingsListener = &watcher;
    state().volumeTrim = 3;
    state().reverbTrim = 4;
    pressFader (editor->getReverbFader(), 30);
    ASSERT_EQ (seen.size(), 2u);
    EXPECT_EQ (seen[0].reverbTrim, 30);
    EXPECT_EQ (seen[0].volumeTrim, 3);
    EXPECT_EQ (seen[1].volumeTrim, 10);
    EXPECT_FLOAT_EQ (state().directGain, std::pow (10.0f, -15.0f / 20.0f));
    state().settingsListener = &listener;
}

TEST_F (EditorFixture, LayoutListStoresTheEntrysLayoutId)
{
    auto& box = editor->getLayoutBox();
    int changes = 0;
    for (int k = 0; k < 16; ++k)
    {
        const auto before = state().channelProfile;
        box.setSelectedId (k + 1, juce::sendNotificationSync);
        const auto id = state().channelProfiles.profiles[k]->id;
        EXPECT_EQ (state().channelProfile, id) << "entry " << k;
        changes += id != before ? 1 : 0;
        EXPECT_EQ (editor->getRadar().getNumChannels(),
                   juce::jmin (8, state().channelProfiles.profiles[k]->numPositions()));
    }
    EXPECT_EQ (state().channelProfiles.profiles[2]->id, 14); // "Film layout 5.1" is third
    EXPECT_EQ (std::count (listener.calls.begin(), listener.calls.end(), "layout"), changes);
    EXPECT_EQ (listener.calls.size(), (size_t) changes);
}

TEST_F (EditorFixture, ALoadedStateIsShownAtTheNextPoll)
{
    ASSERT_TRUE (waitForRadar (*editor));
    processor->pluginState.settingsListener = processor.get();
    const juce::String text = "Bypassed=True\r\nChannelProfile=11\r\nSoloMutes=--s\r\nRoom=2\r\n"
                              "Loudspeakers=1\r\nVolumeTrim=5\r\nReverbTrim=30";
    processor->setStateInformation (text.toRawUTF8(), (int) text.getNumBytesAsUTF8());
    ASSERT_EQ (state().settingsChanged.load(), 1);

    // The editor polls every 100 ms.
    const auto start = juce::Time::getMillisecondCounter();
    ASSERT_TRUE (dispatchUntil ([&] { return state().settingsChanged.load() == 0; }));
    RecordProperty ("shownAfterMs", (int) (juce::Time::getMillisecondCounter() - start));

    EXPECT_EQ (toggles(), (std::vector<bool> { true, false, false, true, false, true }));
    EXPECT_EQ (editor->getTrimFader().getPosition(), 5);
    EXPECT_EQ (editor->getReverbFader().getPosition(), 30);
    EXPECT_EQ (editor->getLayoutBox().getSelectedId(), EditorControls::itemIdForLayout (state().channelProfiles, 11));
    EXPECT_EQ (editor->getRadar().getNumChannels(), 8); // 12 positions, 8 inputs
}

TEST_F (EditorFixture, ANewEditorShowsTheStoredSettings)
{
    ASSERT_TRUE (waitForRadar (*editor));
    clickButton (button (ButtonGroup::room, 0));
    pressFader (editor->getTrimFader(), 30);
    editor->getLayoutBox().setSelectedId (4, juce::sendNotificationSync); // "Square"
    editor.reset();
    EXPECT_EQ (state().headPanel->getParentComponent(), nullptr);

    editor = openEditor (*processor);
    EXPECT_EQ (state().headPanel->getParentComponent(), editor.get());
    EXPECT_EQ (state().headPanel->getPosition(), juce::Point<int> (40, 40));
    EXPECT_EQ (toggles(), (std::vector<bool> { false, true, false, false, true, false }));
    EXPECT_EQ (editor->getTrimFader().getPosition(), 30);
    EXPECT_EQ (editor->getLayoutBox().getSelectedId(), 4);
    EXPECT_EQ (editor->getRadar().getNumChannels(), 0); // filled by the list's notification
    ASSERT_TRUE (waitForRadar (*editor));
    EXPECT_EQ (editor->getRadar().getNumChannels(), 4);
}

TEST_F (EditorFixture, TheRadarShowsNoMoreChannelsThanInputs)
{
    auto narrow = makeProcessor (3);
    auto narrowEditor = openEditor (*narrow);
    ASSERT_TRUE (waitForRadar (*narrowEditor));
    EXPECT_EQ (narrowEditor->getRadar().getNumChannels(), 3);
    narrowEditor.reset();

    // More inputs than the layout has loudspeakers.
    ASSERT_TRUE (waitForRadar (*editor));
    editor->getLayoutBox().setSelectedId (1, juce::sendNotificationSync); // "Mono"
    EXPECT_EQ (editor->getRadar().getNumChannels(), 1);
}

TEST_F (EditorFixture, StoredValuesOutOfRange)
{
    ASSERT_TRUE (waitForRadar (*editor));
    const auto before = editor->getRadar().getImage().createCopy();

    state().channelProfile = 200;
    state().volumeTrim = 40;
    state().reverbTrim = 99;
    state().settingsChanged = 1;
    ASSERT_TRUE (dispatchUntil ([&] { return state().settingsChanged.load() == 0; }));
    ASSERT_TRUE (flushMessages());
    EXPECT_EQ (editor->getLayoutBox().getSelectedId(), 0);
    EXPECT_EQ (editor->getTrimFader().getPosition(), 26);
    EXPECT_EQ (editor->getReverbFader().getPosition(), 16);
    const auto& after = editor->getRadar().getImage();
    for (int y = 0; y < Radar::size; ++y)
        for (int x = 0; x < Radar::size; ++x)
            ASSERT_EQ (argbAt (after, x, y), argbAt (before, x, y)) << x << ", " << y;
    EXPECT_TRUE (listener.calls.empty());

    // A new editor shows the modes' defaults for trims it cannot show.
    editor = openEditor (*processor);
    EXPECT_EQ (editor->getTrimFader().getPosition(), 26);
    EXPECT_EQ (editor->getReverbFader().getPosition(), 16);
    EXPECT_EQ (editor->getLayoutBox().getSelectedId(), 0);
}

TEST_F (EditorFixture, ChangesAreSavedWithTheProject)
{
    ASSERT_TRUE (waitForRadar (*editor));
    processor->pluginState.settingsListener = processor.get();
    editor->getLayoutBox().setSelectedId (9, juce::sendNotificationSync); // "Dolby 5.1.4"
    clickButton (button (ButtonGroup::room, 2));
    clickButton (button (ButtonGroup::loudspeakers, 1));
    clickButton (button (ButtonGroup::spatialiser, 0));
    pressFader (editor->getTrimFader(), 12);
    pressFader (editor->getReverbFader(), 20);
    {
        HeldKeys held (juce::ModifierKeys::ctrlModifier);
        hoverChannel (editor->getRadar(), *state().currentProfile(), 4);
        clickRadar (editor->getRadar());
    }

    juce::MemoryBlock saved;
    processor->getStateInformation (saved);
    EXPECT_EQ (saved.toString(), "Bypassed=True\r\nChannelProfile=7\r\nSoloMutes=----m-----\r\nRoom=2\r\n"
                                 "Loudspeakers=1\r\nVolumeTrim=12\r\nReverbTrim=20");

    auto restored = makeProcessor (8);
    restored->setStateInformation (saved.getData(), (int) saved.getSize());
    auto reopened = openEditor (*restored);
    ASSERT_TRUE (waitForRadar (*reopened));
    for (const auto& spec : EditorControls::buttonTable)
        EXPECT_EQ (reopened->findButton (spec.role)->getToggleState(), editor->findButton (spec.role)->getToggleState());
    EXPECT_EQ (reopened->getLayoutBox().getSelectedId(), 9);
    EXPECT_EQ (reopened->getTrimFader().getPosition(), 12);
    EXPECT_EQ (reopened->getReverbFader().getPosition(), 20);
    EXPECT_EQ (restored->pluginState.soloMutes.get (4), muted);
}
