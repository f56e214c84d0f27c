// The editor opened and closed again and again while the audio thread renders,
// a simulated head tracker streams through the processor's scanner and head
// panel, and the editor changes layout, room, trims, solo and mute. Run under ThreadSanitizer and
// AddressSanitizer as well.
#include "EditorRig.h"

#include "../common/AudioThread.h"

#include "../plugin/TestSignals.h"
#include "../tracker/TrackerRig.h"
#include "trackerui/HeadPanel.h"

#include <thread>

using namespace EditorTesting;
using EditorControls::ButtonGroup;

namespace
{
constexpr int numInputs = 12;
constexpr int hostBlockSize = 256;

// The processor, looking for trackers on simulated ports, counting the
// orientations the head panel hands it on the MIDI input thread.
class TrackedProcessor : public BinauralAudioProcessor
{
public:
    explicit TrackedProcessor (Midi::MidiPorts& ports) : BinauralAudioProcessor (ports)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (numInputs));
        layout.outputBuses.add (juce::AudioChannelSet::stereo());
        EXPECT_TRUE (setBusesLayout (layout));
        prepareToPlay (48000.0, hostBlockSize);
    }

    // No orientation may reach this class once its own part is gone.
    ~TrackedProcessor() override { pluginState.headPanel->setListener (nullptr); }

    void trackerChanged (const HeadMatrix& matrix) override
    {
        BinauralAudioProcessor::trackerChanged (matrix);
        ++orientations;
    }

    std::atomic<int> orientations { 0 };
};

// One round of what a user does in an open editor.
void useEditor (BinauralAudioEditor& editor, PluginState& state, juce::Random& random)
{
    switch (random.nextInt (6))
    {
        case 0:
            editor.getLayoutBox().setSelectedId (1 + random.nextInt (16), juce::sendNotificationSync);
            break;
        case 1:
            clickButton (*editor.findButton ({ ButtonGroup::room, random.nextInt (3) }));
            clickButton (*editor.findButton ({ ButtonGroup::loudspeakers, random.nextInt (2) }));
            break;
        case 2:
        {
            auto& fader = random.nextBool() ? editor.getTrimFader() : editor.getReverbFader();
            fader.mouseDown (mouseAt (fader, (float) random.nextInt (320), 6.0f));
            fader.mouseDrag (mouseAt (fader, (float) random.nextInt (320), 6.0f));
            fader.mouseUp (mouseAt (fader, 0, 0));
            break;
        }
        case 3:
        {
            auto& radar = editor.getRadar();
            const int flags[] = { 0, juce::ModifierKeys::shiftModifier, juce::ModifierKeys::ctrlModifier,
                                  juce::ModifierKeys::altModifier };
            HeldKeys held (flags[random.nextInt (4)]);
            if (auto* profile = state.currentProfile(); profile != nullptr && radar.getNumChannels() > 0)
            {
                hoverChannel (radar, *profile, random.nextInt (radar.getNumChannels()));
            }
            clickRadar (radar);
            break;
        }
        case 4:
            clickButton (*editor.findButton ({ ButtonGroup::spatialiser, 0 }));
            break;
        default:
            paintedImage (editor);
            break;
    }
}
} // namespace

TEST (EditorStress, OpenAndCloseWhileRenderingAndTracking)
{
    Sim::SimulatedPorts ports;
    Sim::SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.setStreamInterval (std::chrono::microseconds (1000));
    auto processor = std::make_unique<TrackedProcessor> (ports);
    auto& state = processor->pluginState;

    // Found and switched on by the head panel, then scanned periodically
    // while the editors come and go.
    state.scanner.stopTimer();
    TrackerRig::bringUp (ports, state.scanner, tracker);
    state.scanner.startScanning();
    ASSERT_EQ (state.headPanel->currentTrackerName, "0042");

    AudioThread audio (*processor, numInputs, hostBlockSize, [] (juce::AudioBuffer<float>& buffer, int64_t time) {
        for (int c = 0; c < numInputs; ++c)
            for (int i = 0; i < hostBlockSize; ++i)
                buffer.setSample (c, i, TestSignals::noise (c, time + i));
    });
    ASSERT_TRUE (Sim::waitUntil ([&] { return processor->orientations.load() > 0; }));

    juce::Random random (20240611);
    int openings = 0;
    for (; openings < 100; ++openings)
    {
        juce::Component::SafePointer<juce::Component> editor (processor->createEditorIfNeeded());
        ASSERT_NE (editor, nullptr);
        auto& binaural = dynamic_cast<BinauralAudioEditor&> (*editor);
        ASSERT_EQ (state.headPanel->getParentComponent(), editor.getComponent());
        if (openings % 4 == 0)
        {
            ASSERT_TRUE (waitForRadar (binaural));
        }

        for (int round = random.nextInt (4); round > 0; --round)
            useEditor (binaural, state, random);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (random.nextInt (30));

        delete editor.getComponent();
        EXPECT_EQ (editor, nullptr);
        EXPECT_EQ (processor->getActiveEditor(), nullptr);
        EXPECT_EQ (state.headPanel->getParentComponent(), nullptr);
    }
    ASSERT_TRUE (flushMessages());

    const int blocks = audio.blocks.load();
    ASSERT_TRUE (Sim::waitUntil ([&] { return audio.blocks.load() > blocks + 4; }));
    EXPECT_EQ (audio.nonFiniteBlocks.load(), 0);
    EXPECT_GT (processor->orientations.load(), 0);
    RecordProperty ("openings", openings);
    RecordProperty ("blocks", audio.blocks.load());
    RecordProperty ("orientations", processor->orientations.load());

    // The head panel outlives every editor, still following the tracker and
    // handing its orientation on, and still draws the head.
    auto& panel = *state.headPanel;
    EXPECT_EQ (panel.getBounds(), juce::Rectangle<int> (40, 40, 180, 100));
    EXPECT_EQ (panel.currentTrackerName, "0042");
    EXPECT_EQ (panel.getListener(), processor.get());
    const int handed = processor->orientations.load();
    ASSERT_TRUE (Sim::waitUntil ([&] { return processor->orientations.load() > handed + 10; }));
    const auto head = paintedImage (panel);
    int drawn = 0;
    for (int y = 0; y < head.getHeight(); ++y)
        for (int x = 0; x < head.getWidth(); ++x)
            drawn += head.getPixelAt (x, y).getAlpha() > 0 ? 1 : 0;
    EXPECT_GT (drawn, 500);

    auto editor = openEditor (*processor);
    EXPECT_EQ (panel.getParentComponent(), editor.get());
    EXPECT_TRUE (waitForRadar (*editor));
}
