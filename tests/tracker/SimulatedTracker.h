#pragma once

#include "SimulatedPorts.h"

#include <chrono>

namespace Sim
{
// A File Dump data packet carrying the text, 8-to-7 packed and padded as the
// tracker pads it; with corruptChecksum its checksum is wrong.
juce::MidiMessage fileDumpDataPacket (int number, const juce::uint8* text, int length, bool corruptChecksum = false);

// What a simulated tracker says about itself in its information text.
struct TrackerIdentity
{
    juce::String asset = "A1";
    juce::String hwver = "HW2";
    juce::String serial = "0042";
    juce::String boot = "B7";
    juce::String main = "M9";
    bool keywordForm = false; // "serial:0042" pieces instead of "#0042"
};

// A head tracker behind a simulated input and output port pair. It answers the
// File Dump request for "INFO" with a header, data packets and an end-of-file
// handshake; answers read requests (type 02) with parameter reports (42);
// streams orientation (40) in the requested format and rate once switched on;
// and applies the rate, format, compass, calibrate, chirality and travel-mode
// writes, reporting the settings back. It runs on a thread of its own.
class SimulatedTracker final : public PortReceiver
{
public:
    using Identity = TrackerIdentity;

    // Ports named portName, identified "<id>-in" and "<id>-out". Starts
    // unplugged.
    SimulatedTracker (SimulatedPorts& ports, const juce::String& portName, const juce::String& id,
                      Identity identity = {});
    ~SimulatedTracker() override;

    juce::String inputIdentifier() const { return id + "-in"; }
    juce::String outputIdentifier() const { return id + "-out"; }

    // Lists both ports; the tracker powers up without streaming.
    void plugIn();
    // Unlists both ports and drops whatever it was about to send.
    void unplug();
    bool isPluggedIn() const;

    // The information text of the File Dump reply; replaces the identity.
    void setInfoText (const juce::MemoryBlock& text);
    // Splits the reply into data packets of at most this many text bytes.
    void setBytesPerPacket (int bytes);
    // Replies and reports leave this much later.
    void setResponseDelay (std::chrono::milliseconds delay);
    // Keeps every reply in the outbox until released, as a tracker too busy to answer.
    void holdReplies (bool shouldHold);
    // Spoils the checksum of the next data packets.
    void corruptChecksums (int numPackets);
    // Sends the File Dump header before the data packets (on by default).
    void setSendsHeader (bool sendsHeader);

    // Streams without being switched on: 0 yaw-pitch-roll, 1 quaternion, 2 matrix.
    void startStreaming (int format, std::chrono::microseconds interval);
    void stopStreaming();
    // Overrides the interval of the requested rate (zero: use the rate).
    void setStreamInterval (std::chrono::microseconds interval);
    void setOrientation (float yaw, float pitch, float roll);

    // Sends arbitrary messages from its input port.
    void sendGarbage (int numMessages, juce::uint32 seed);
    // Sends one message from its input port now.
    void send (const juce::MidiMessage& message);
    // Waits until every reply due so far has been posted.
    bool waitUntilQuiet (int timeoutMs = Sim::patientWaitMs);

    // What the tracker has seen and what it holds.
    int numInfoRequests() const;
    int numReadRequests() const;
    int numSwitchOns() const;
    int numDoubleClicks() const;
    int numOrientationsSent() const;
    bool isStreaming() const;
    int streamFormat() const;
    int rateCode() const;
    int parameter (int number) const; // 3 compass, 4 chirality, 17 travel mode
    std::vector<juce::MidiMessage> receivedMessages() const;

    void receiveFromHost (const juce::MidiMessage& message) override;

    static juce::MidiMessage makeSysEx (std::initializer_list<int> bytes);
    // The 14-bit signed wire form of v (scale 2^-11), high part first.
    static void encodeValue (float v, juce::uint8* out);

private:
    using Clock = std::chrono::steady_clock;

    struct Outgoing
    {
        Clock::time_point due;
        juce::MidiMessage message;
    };

    void run();
    void handle (const juce::MidiMessage& message, std::vector<Outgoing>& replies);
    void handleInfoRequest (std::vector<Outgoing>& replies);
    void handleWrite (const juce::uint8* pairs, int length, std::vector<Outgoing>& replies);
    void handleTravelWrite (const juce::uint8* pairs, int length, std::vector<Outgoing>& replies);
    void handleReadRequest (const juce::uint8* params, int length, std::vector<Outgoing>& replies);
    void addReport (std::vector<Outgoing>& replies, std::initializer_list<int> pairs, Clock::duration extraDelay = {});
    juce::MidiMessage makeOrientation() const;
    juce::MidiMessage makeDataPacket (int number, const juce::uint8* text, int length);
    juce::MemoryBlock identityText (const Identity& identity) const;
    Clock::duration streamInterval() const;
    void schedule (std::vector<Outgoing>& replies);

    SimulatedPorts& ports;
    const juce::String portName;
    const juce::String id;

    mutable std::mutex mutex;
    std::condition_variable changed;
    bool exiting = false;
    bool pluggedIn = false;
    bool posting = false;

    juce::MemoryBlock infoText;
    int bytesPerPacket = 111;
    Clock::duration responseDelay {};
    bool repliesHeld = false;
    int checksumsToCorrupt = 0;
    bool sendsHeader = true;

    bool streaming = false;
    int format = 1;
    int rate = 0x08;
    Clock::duration intervalOverride {};
    Clock::time_point nextOrientation;
    float yaw = 0, pitch = 0, roll = 0;

    int compass = 0x00;   // bit 4 compass used, bit 3 slow central pull off, bits 0-1 compass state
    int chirality = 0x02; // 2 cable left, 3 cable right
    int travelMode = 0x04;

    int infoRequests = 0, readRequests = 0, switchOns = 0, doubleClicks = 0, orientationsSent = 0;
    std::vector<juce::MidiMessage> received;
    std::deque<Outgoing> outbox;

    std::thread thread;
};
} // namespace Sim
