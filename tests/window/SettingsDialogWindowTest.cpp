// The head panel in a real window on an X display, and its settings dialog
// opened through the settings button; pictures of the screen go to the build
// folder.

#include "ScreenCapture.h"
#include "plugin/PluginProcessor.h"
#include "tests/trackerui/HeadPanelRig.h"
#include "tests/tracker/TrackerRig.h"
#include "trackerui/HeadPanel.h"

#include <gtest/gtest.h>

using namespace UiTesting;
using Sim::SimulatedTracker;

namespace
{
juce::Image toImage (const ScreenCapture::Picture& picture)
{
    juce::Image image (juce::Image::RGB, picture.width, picture.height, false, juce::SoftwareImageType());
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            image.setPixelAt (x, y, juce::Colour (picture.at (x, y)));
    return image;
}

juce::File savePicture (const juce::Image& image, const char* name)
{
    const auto file = juce::File (VB_PICTURE_DIR).getChildFile (name);
    file.deleteFile();
    juce::FileOutputStream out (file);
    EXPECT_TRUE (out.openedOk() && juce::PNGImageFormat().writeImageToStream (image, out)) << file.getFullPathName();
    return file;
}

int dialogsOnTheDesktop()
{
    int count = 0;
    auto& desktop = juce::Desktop::getInstance();
    for (int i = 0; i < desktop.getNumComponents(); ++i)
        if (dynamic_cast<juce::DialogWindow*> (desktop.getComponent (i)) != nullptr)
            ++count;
    return count;
}

// A mouse press and release at the centre of a component, through its window.
void click (juce::Component& target)
{
    auto* peer = target.getPeer();
    ASSERT_NE (peer, nullptr);
    const auto position = peer->globalToLocal (target.getScreenBounds().getCentre().toFloat());
    const auto now = juce::Time::currentTimeMillis();
    peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, position,
                            juce::ModifierKeys::leftButtonModifier, juce::MouseInputSource::defaultPressure,
                            juce::MouseInputSource::defaultOrientation, now);
    peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, position, {},
                            juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation, now + 20);
}

// An editor-sized window with the head panel where the editor puts it.
class PanelWindow : public juce::Component
{
public:
    explicit PanelWindow (juce::Component& panelToShow) : panel (panelToShow)
    {
        setOpaque (true);
        setSize (604, 472);
        addAndMakeVisible (panel);
        panel.setTopLeftPosition (40, 40);
    }

    ~PanelWindow() override { removeChildComponent (&panel); }

    void paint (juce::Graphics& g) override { g.fillAll (juce::Colours::black); }

private:
    juce::Component& panel;
};

// Pixels of the picture within the screen area that are close to one of the colours.
int countOnScreen (const ScreenCapture::Picture& picture, juce::Rectangle<int> area,
                   std::initializer_list<juce::Colour> colours, int tolerance)
{
    area = area.getIntersection ({ 0, 0, picture.width, picture.height });
    int count = 0;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            for (auto colour : colours)
                if (closeTo (juce::Colour (picture.at (x, y)), colour, tolerance))
                {
                    ++count;
                    break;
                }
    return count;
}
} // namespace

TEST (SettingsDialogWindow, OpensThroughTheSettingsButtonAndClosesBeforeThePanelGoes)
{
    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() == nullptr)
        GTEST_SKIP() << "no X display";

    Sim::SimulatedPorts ports;
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.setOrientation (0.6f, 0.3f, 0.0f);
    auto processor = std::make_unique<BinauralAudioProcessor> (ports);
    auto& panel = *processor->pluginState.headPanel;
    auto& connection = processor->pluginState.connection;

    tracker.plugIn();
    ASSERT_TRUE (pumpUntil ([&] { return tracker.numSwitchOns() == 1 && tracker.numOrientationsSent() > 5; }));

    auto window = std::make_unique<PanelWindow> (panel);
    window->addToDesktop (juce::ComponentPeer::windowIsTemporary);
    window->setTopLeftPosition (100, 100);
    window->setVisible (true);
    ASSERT_TRUE (pumpUntil ([&] { return window->isShowing(); }));

    // The tracked head, drawn on the screen.
    const auto panelArea = panel.getScreenBounds();
    std::initializer_list<juce::Colour> wireColours { panel.plotColours.lineColours[3], panel.plotColours.lineColours[5],
                                                      panel.plotColours.lineColours[7], panel.plotColours.lineColours[9],
                                                      panel.plotColours.lineColours[11] };
    ScreenCapture::Picture picture;
    ASSERT_TRUE (pumpUntil ([&] {
        picture = ScreenCapture::captureScreen();
        return countOnScreen (picture, panelArea, wireColours, 4) > 40;
    }));
    savePicture (toImage (picture), "head-panel-window.png");

    // The settings button opens the dialog around the settings panel.
    click (panel.settingsButton);
    ASSERT_TRUE (pumpUntil ([&] { return panel.getSettingsDialog() != nullptr && panel.getSettingsDialog()->isShowing(); }));
    juce::Component::SafePointer<juce::DialogWindow> dialog (panel.getSettingsDialog());
    EXPECT_EQ (dialog->getName(), "Head Tracker Settings");
    EXPECT_EQ (dialog->getContentComponent(), &panel.settingsPanel);
    EXPECT_EQ (dialog->getBackgroundColour().getARGB(), DarkTheme.background);
    EXPECT_FALSE (dialog->isResizable());
    EXPECT_TRUE (dialog->isCurrentlyModal());
    ASSERT_TRUE (pumpUntil ([&] { return panel.settingsPanel.toggles[0]->isEnabled(); }));

    // Without a window manager the native frame is left out and the content
    // fills the whole window, a few pixels larger; the layout stays.
    const auto content = panel.settingsPanel.getScreenBounds();
    EXPECT_GE (content.getWidth(), 244);
    EXPECT_GE (content.getHeight(), 373);
    EXPECT_EQ (panel.settingsPanel.toggles[6]->getBounds(), juce::Rectangle<int> (22, 345, 228, 22));
    ASSERT_TRUE (pumpUntil ([&] {
        picture = ScreenCapture::captureScreen();
        return countOnScreen (picture, content, { juce::Colour (DarkTheme.background) }, 0) > content.getWidth() * content.getHeight() / 3
               && picture.at (content.getX() + 230, content.getY() + 10) == DarkTheme.titleBar;
    }));
    EXPECT_GT (countOnScreen (picture, content.withHeight (30), { juce::Colour (DarkTheme.titleText) }, 60), 10);
    EXPECT_GT (countOnScreen (picture, content, { juce::Colour (DarkTheme.headingText) }, 60), 20);
    const auto file = savePicture (toImage (picture), "settings-dialog-window.png");
    EXPECT_TRUE (file.existsAsFile());

    // Pressed again while open: the same dialog comes to the front, no second one.
    panel.headButtonClick (HeadPanel::HeadPanel::settingsButtonId);
    pump (50);
    EXPECT_EQ (panel.getSettingsDialog(), dialog.getComponent());
    EXPECT_EQ (dialogsOnTheDesktop(), 1);

    // A click in the dialog reaches the settings panel and the tracker.
    const auto before = tracker.receivedMessages().size();
    click (*panel.settingsPanel.toggles[ConfigPanel::SettingsPanel::cableOnRight]);
    ASSERT_TRUE (Sim::waitUntil ([&] { return tracker.parameter (4) == 0x03; }));
    EXPECT_GT (tracker.receivedMessages().size(), before);
    EXPECT_TRUE (connection.copyOf (*connection.findProperties ("0042")).chirality);

    // The editor goes, then the processor with the dialog still open: the
    // dialog goes first and never shows a destroyed panel.
    window.reset();
    processor.reset();
    EXPECT_EQ (dialog.getComponent(), nullptr);
    EXPECT_EQ (dialogsOnTheDesktop(), 0);
    pump (100);
}

TEST (SettingsDialogWindow, DialogClosedByTheUserOpensAgain)
{
    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() == nullptr)
        GTEST_SKIP() << "no X display";

    Sim::SimulatedPorts ports;
    auto processor = std::make_unique<BinauralAudioProcessor> (ports);
    auto& panel = *processor->pluginState.headPanel;

    for (int round = 0; round < 3; ++round)
    {
        panel.headButtonClick (HeadPanel::HeadPanel::settingsButtonId);
        ASSERT_TRUE (pumpUntil ([&] { return panel.getSettingsDialog() != nullptr && panel.getSettingsDialog()->isShowing(); }));
        EXPECT_EQ (dialogsOnTheDesktop(), 1);
        EXPECT_FALSE (panel.settingsPanel.toggles[0]->isEnabled()); // no tracker

        // Escape closes it; it deletes itself a moment later. Pressed in that
        // moment, the settings button opens a new one.
        juce::Component::SafePointer<juce::DialogWindow> dialog (panel.getSettingsDialog());
        pressEscape (*dialog);
        if (round == 2)
        {
            panel.headButtonClick (HeadPanel::HeadPanel::settingsButtonId);
            EXPECT_EQ (dialog.getComponent(), nullptr);
            ASSERT_NE (panel.getSettingsDialog(), nullptr);
            EXPECT_EQ (panel.getSettingsDialog()->getContentComponent(), &panel.settingsPanel);
            pump (50);
            EXPECT_EQ (dialogsOnTheDesktop(), 1);
            dialog = panel.getSettingsDialog();
            pressEscape (*dialog);
        }
        ASSERT_TRUE (pumpUntil ([&] { return dialog == nullptr; }));
        EXPECT_EQ (panel.settingsPanel.getParentComponent(), nullptr);
        EXPECT_EQ (dialogsOnTheDesktop(), 0);
    }
}
