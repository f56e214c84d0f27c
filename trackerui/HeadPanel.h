#pragma once

#include "tracker/TrackerConnection.h"
#include "trackerui/Deadline.h"
#include "trackerui/HeadButton.h"
#include "trackerui/HeadListener.h"
#include "trackerui/PlotColours.h"
#include "trackerui/SettingsPanel.h"
#include "trackerui/Theme.h"
#include "trackerui/TrackerHub.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <optional>

namespace HeadPanel
{
// The head tracker's panel (180 by 100 pixels) and the hub through which the
// tracker reaches the processor: it hears of trackers and their orientations,
// hands the current tracker's orientations to the listener, draws the head as a
// depth-shaded wireframe, and holds the settings and connect buttons. Which
// tracker is current, what reaches its record and the wireframe's building are
// the work of its TrackerHub.
//
// Threads: trackerOrientation runs on the MIDI input thread, under the
// scanner's and the connection's locks; currentHeadMatrix on any thread;
// everything else on the message thread.
// - The listener is called under listenerLock; setListener (nullptr) waits for
//   a call in progress, so the listener may be destroyed once it has returned.
// - Repaints are asked for with the atomic repaintPending and a 20 ms timer.
// - The names and the wireframe are handed between threads by the hub.
class HeadPanel : public juce::Component,
                  public juce::Timer,
                  public Midi::MidiScanner::Listener,
                  public Midi::TrackerConnection::PropertyListener,
                  public Midi::TrackerConnection::OrientationListener,
                  public HeadButton::Listener
{
public:
    using Listener = HeadListener;

    static constexpr int width = 180;
    static constexpr int height = 100;
    static constexpr int repaintDelayMs = 20;
    static constexpr int settingsButtonId = 0;
    static constexpr int connectButtonId = 1;

    // Registers with the scanner and the connection.
    HeadPanel (Midi::MidiScanner* scanner, Midi::TrackerConnection* connection);
    // Leaves the scanner and the connection and closes the settings dialog first.
    ~HeadPanel() override;

    void mouseDoubleClick (const juce::MouseEvent&) override;
    void paint (juce::Graphics& g) override;

    void scannerDeviceAdded (const juce::String& name) override;
    void scannerDeviceRemoved (const juce::String& name) override;
    void trackerOrientation (const juce::String& name, float* matrix) override;
    void headButtonClick (int id) override;
    void timerCallback() override;

    // Tells the settings panel and the connect button which tracker is current
    // and whether it is connected.
    void setConnected (bool connected);

    // Any thread: the current tracker's head matrix while it drives the head;
    // none while no tracker is current or the current one is disconnected.
    std::optional<HeadMatrix> currentHeadMatrix() const { return hub.currentHeadMatrix(); }

    // Message thread. Waits for a listener call in progress on the MIDI input thread.
    void setListener (Listener* newListener);
    Listener* getListener() const;

    // The open settings dialog, or null.
    juce::DialogWindow* getSettingsDialog() const { return settingsDialog.getComponent(); }

    Midi::MidiScanner* scanner;
    Midi::TrackerConnection* connection;
    TrackerHub hub;
    Tracker::AngleMode& angleMode;          // the hub's: what turnOn asks for
    Tracker::Rate& rate;                    // the hub's
    const Theme* theme;
    const juce::StringArray& knownTrackers;  // the hub's
    const juce::String& currentTrackerName;  // the hub's
    PlotColours plotColours;
    ConfigPanel::SettingsPanel settingsPanel;
    HeadButton settingsButton;
    HeadButton connectButton;
    std::atomic<bool> repaintPending { false };
    Deadline repaintDue;

private:
    void notifyListener (const HeadMatrix& matrix);
    void headLooksAhead();
    void scheduleRepaint();
    void openSettingsDialog();
    void closeSettingsDialog();
    void toggleConnection();
    void focusSettingsPanel (Midi::MidiScanner::Duplex* duplex);

    mutable juce::CriticalSection listenerLock;
    Listener* listener = nullptr; // guarded by listenerLock

    juce::Component::SafePointer<juce::DialogWindow> settingsDialog;

    JUCE_DECLARE_NON_COPYABLE (HeadPanel)
};
} // namespace HeadPanel
