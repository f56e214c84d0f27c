#include "trackerui/HeadPanel.h"

#include "trackerui/SpriteSheet.h"

namespace HeadPanel
{
namespace
{
// The head circle and the unit head's place in it, in panel pixels.
const juce::Rectangle<float> headCircle (58.0f, 2.0f, 96.0f, 96.0f);
constexpr float headScale = 48.0f;
constexpr float headCentreX = 106.0f;
constexpr float headCentreY = 50.0f;

// Top-left corners of the four status dots under the head.
constexpr float statusDotSize = 8.0f;
const juce::Point<float> statusDots[] { { 64.72f, 91.28f }, { 74.32f, 91.28f }, { 83.92f, 91.28f }, { 93.52f, 91.28f } };

void loadButtonImages (HeadButton& settingsButton, HeadButton& connectButton, bool darkImages)
{
    const auto sheet = loadSpriteSheet();
    const auto scale = scaleForMainDisplay();
    settingsButton.mainImage = cutSprite (sheet, spriteRectangle (SpriteImage::settings, darkImages, scale));
    connectButton.mainImage = cutSprite (sheet, spriteRectangle (SpriteImage::connectMain, darkImages, scale));
    connectButton.altImage = cutSprite (sheet, spriteRectangle (SpriteImage::connectAlternative, darkImages, scale));
}
} // namespace

HeadPanel::HeadPanel (Midi::MidiScanner* scannerToUse, Midi::TrackerConnection* connectionToUse)
    : scanner (scannerToUse),
      connection (connectionToUse),
      hub (*scannerToUse, *connectionToUse, Tracker::Rate::rate1, Tracker::AngleMode::quaternion),
      angleMode (hub.angleMode),
      rate (hub.rate),
      theme (&DarkTheme),
      knownTrackers (hub.knownTrackers),
      currentTrackerName (hub.currentTrackerName),
      plotColours (&DarkTheme),
      settingsPanel (connectionToUse, &DarkTheme),
      settingsButton (this, &DarkTheme, settingsButtonId, 52, 40, true),
      connectButton (this, &DarkTheme, connectButtonId, 20, 20, false)
{
    settingsPanel.setTheme (theme);

    // Behind the connection, so a tracker's record exists before the panel hears of it.
    scanner->addListener (this);
    connection->addPropertyListener (this);
    connection->addOrientationListener (this);

    setSize (width, height);
    settingsButton.setTopLeftPosition (0, 6);
    connectButton.setTopLeftPosition (156, 6);
    addAndMakeVisible (settingsButton);
    addAndMakeVisible (connectButton);
    loadButtonImages (settingsButton, connectButton, theme->darkImages);
    connectButton.setVisible (false);
}

HeadPanel::~HeadPanel()
{
    // Once these return, no callback is running in the panel or will reach it.
    scanner->removeListener (this);
    connection->removeOrientationListener (this);
    connection->removePropertyListener (this);

    closeSettingsDialog();
    stopTimer();
}

void HeadPanel::setListener (Listener* newListener)
{
    const juce::ScopedLock sl (listenerLock);
    listener = newListener;
}

HeadPanel::Listener* HeadPanel::getListener() const
{
    const juce::ScopedLock sl (listenerLock);
    return listener;
}

void HeadPanel::notifyListener (const HeadMatrix& matrix)
{
    const juce::ScopedLock sl (listenerLock);
    if (listener != nullptr)
        listener->trackerChanged (matrix);
}

void HeadPanel::headLooksAhead()
{
    const HeadMatrix identity;
    notifyListener (identity);
}

//==============================================================================
void HeadPanel::scannerDeviceAdded (const juce::String& name)
{
    if (hub.trackerAdded (name))
        setConnected (true);
}

void HeadPanel::scannerDeviceRemoved (const juce::String& name)
{
    switch (hub.trackerRemoved (name))
    {
        case TrackerHub::Removal::notCurrent:
            break;
        case TrackerHub::Removal::nextIsCurrent:
            // The new tracker's first orientation reaches the listener.
            setConnected (true);
            break;
        case TrackerHub::Removal::noneLeft:
            headLooksAhead();
            setConnected (false);
            break;
    }
}

void HeadPanel::setConnected (bool connected)
{
    focusSettingsPanel (scanner->findDuplex (currentTrackerName));

    connectButton.setVisible (connected);
    connectButton.useAltImage = false;
    connectButton.scheduleRepaint();
}

//==============================================================================
void HeadPanel::trackerOrientation (const juce::String& name, float* matrix)
{
    // The connection hands on rotations only.
    const auto* head = hub.takeOrientation (name, matrix);
    if (head == nullptr)
        return;

    notifyListener (*head);
    hub.buildWireframe (matrix);
    scheduleRepaint();
}

void HeadPanel::scheduleRepaint()
{
    if (! repaintPending.exchange (true))
    {
        repaintDue.startFromNow (repaintDelayMs);
        startTimer (repaintDelayMs);
    }
}

void HeadPanel::timerCallback()
{
    if (repaintDue.restartIfEarly (*this))
        return;

    stopTimer();
    if (repaintPending)
    {
        const juce::MessageManagerLock lock;
        repaintPending = false;
        repaint();
    }
}

//==============================================================================
void HeadPanel::mouseDoubleClick (const juce::MouseEvent&)
{
    if (currentTrackerName.isEmpty())
        return;

    connection->send (currentTrackerName, { 0x01, 0x00, 0x01 });
}

void HeadPanel::headButtonClick (int id)
{
    if (id == settingsButtonId)
        openSettingsDialog();
    else
        toggleConnection();
}

void HeadPanel::openSettingsDialog()
{
    if (auto* open = settingsDialog.getComponent())
    {
        if (open->isVisible())
        {
            open->toFront (true);
            return;
        }
        closeSettingsDialog(); // closed by the user, not yet deleted
    }

    // A headless host has no display to put a window on.
    if (juce::Desktop::getInstance().getDisplays().displays.isEmpty())
        return;

    juce::DialogWindow::LaunchOptions options;
    options.dialogTitle = "Head Tracker Settings";
    options.dialogBackgroundColour = juce::Colour (theme->background);
    options.content.setNonOwned (&settingsPanel);
    options.componentToCentreAround = this;
    options.escapeKeyTriggersCloseButton = true;
    options.useNativeTitleBar = true;
    options.resizable = false;
    settingsDialog = options.launchAsync();
}

void HeadPanel::closeSettingsDialog()
{
    // The dialog does not own the settings panel: deleting it only takes the panel out.
    delete settingsDialog.getComponent();
    settingsDialog = nullptr;
}

void HeadPanel::toggleConnection()
{
    auto* duplex = hub.toggleConnection();
    if (duplex == nullptr)
        return;

    if (! duplex->connected)
    {
        // No orientation of the tracker follows the identity matrix.
        headLooksAhead();
        scheduleRepaint();
    }

    connectButton.useAltImage = ! duplex->connected;
    connectButton.scheduleRepaint();

    // The settings apply to a connected tracker only.
    focusSettingsPanel (duplex);
}

void HeadPanel::focusSettingsPanel (Midi::MidiScanner::Duplex* duplex)
{
    // The record's fields change on the MIDI input thread: the panel gets a whole copy.
    std::optional<Tracker::Properties> record;
    if (auto* found = connection->findProperties (currentTrackerName))
        record.emplace (connection->copyOf (*found));
    settingsPanel.trackerFocus (duplex, record ? &*record : nullptr);
}

//==============================================================================
void HeadPanel::paint (juce::Graphics& g)
{
    const float outlineWidth = plotColours.lineWidths[0] * headScale;

    if (auto* duplex = currentTrackerName.isEmpty() ? nullptr : scanner->findDuplex (currentTrackerName))
    {
        if (duplex->bootloader)
        {
            g.setFont (juce::Font (18.0f));
            g.setColour (juce::Colour (theme->bootloader));
            g.drawEllipse (headCircle, outlineWidth);
            g.drawText ("BOOT-", juce::Rectangle<int> (58, -20, 96, 96), juce::Justification::centred, true);
            g.drawText ("LOADER", juce::Rectangle<int> (58, -2, 96, 96), juce::Justification::centred, true);
            return;
        }

        if (duplex->connected)
        {
            const auto& segments = hub.latestWireframe();

            g.setColour (juce::Colour (theme->background));
            for (auto corner : statusDots)
                g.fillEllipse (corner.x, corner.y, statusDotSize, statusDotSize);

            const auto toPanel = juce::AffineTransform::scale (headScale).translated (headCentreX, headCentreY);
            for (int plane = PointPlanes::numPlanes - 1; plane >= 0; --plane)
            {
                g.setColour (plotColours.lineColours[plane]);
                const juce::PathStrokeType stroke (plotColours.lineWidths[plane] * headScale,
                                                   juce::PathStrokeType::beveled, juce::PathStrokeType::rounded);
                for (auto* segment : segments)
                    if (segment->plane == plane)
                        g.strokePath (segment->path, stroke, toPanel);
            }
            return;
        }
    }

    g.setColour (juce::Colour (theme->highlight));
    g.drawEllipse (headCircle, outlineWidth);
}
} // namespace HeadPanel
