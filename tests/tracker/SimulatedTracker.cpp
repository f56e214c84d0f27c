#include "SimulatedTracker.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Sim
{
namespace
{
constexpr int dataAreaBytes = 120; // data packets are padded to this many encoded bytes

struct Quaternion
{
    float w, x, y, z;
};

Quaternion multiply (Quaternion a, Quaternion b)
{
    return { a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
             a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
             a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
             a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w };
}

bool isTrackerMessage (const juce::uint8* p, int n)
{
    return n >= 4 && p[0] == 0x00 && p[1] == 0x3c && p[2] == 0x19;
}

bool isInfoRequest (const juce::uint8* p, int n)
{
    return n == 13 && p[0] == 0x7e && p[2] == 0x07 && p[3] == 0x03
           && std::memcmp (p + 5, "TEXTINFO", 8) == 0;
}
} // namespace

SimulatedTracker::SimulatedTracker (SimulatedPorts& portsToUse, const juce::String& name, const juce::String& identifier,
                                    Identity identity)
    : ports (portsToUse), portName (name), id (identifier), infoText (identityText (identity))
{
    thread = std::thread ([this] { run(); });
}

SimulatedTracker::~SimulatedTracker()
{
    unplug();

    {
        const std::lock_guard<std::mutex> lock (mutex);
        exiting = true;
    }

    changed.notify_all();
    thread.join();
}

juce::MemoryBlock SimulatedTracker::identityText (const Identity& identity) const
{
    juce::String text;

    if (identity.keywordForm)
        text << "asset:" << identity.asset << "\nhwver:" << identity.hwver << "\nserial:" << identity.serial
             << "\nboot:" << identity.boot << "\nmain:" << identity.main;
    else
        text << "=" << identity.asset << "\n/" << identity.hwver << "\n#" << identity.serial
             << "\nb" << identity.boot << "\nm" << identity.main;

    return juce::MemoryBlock (text.toRawUTF8(), text.getNumBytesAsUTF8());
}

//==============================================================================
void SimulatedTracker::plugIn()
{
    {
        const std::lock_guard<std::mutex> lock (mutex);
        pluggedIn = true;
        streaming = false;
    }

    ports.addInput (portName, inputIdentifier());
    ports.addOutput (portName, outputIdentifier(), this);
    changed.notify_all();
}

void SimulatedTracker::unplug()
{
    ports.removeInput (inputIdentifier());
    ports.removeOutput (outputIdentifier());

    const std::lock_guard<std::mutex> lock (mutex);
    pluggedIn = false;
    streaming = false;
    outbox.clear();
}

bool SimulatedTracker::isPluggedIn() const
{
    const std::lock_guard<std::mutex> lock (mutex);
    return pluggedIn;
}

void SimulatedTracker::setInfoText (const juce::MemoryBlock& text)
{
    const std::lock_guard<std::mutex> lock (mutex);
    // JUCE copies even an empty block with memcpy, from a null pointer.
    if (text.isEmpty())
        infoText.reset();
    else
        infoText = text;
}

void SimulatedTracker::setBytesPerPacket (int bytes)
{
    const std::lock_guard<std::mutex> lock (mutex);
    bytesPerPacket = juce::jlimit (1, 111, bytes);
}

void SimulatedTracker::setResponseDelay (std::chrono::milliseconds delay)
{
    const std::lock_guard<std::mutex> lock (mutex);
    responseDelay = delay;
}

void SimulatedTracker::holdReplies (bool shouldHold)
{
    {
        const std::lock_guard<std::mutex> lock (mutex);
        repliesHeld = shouldHold;
    }

    changed.notify_all();
}

void SimulatedTracker::corruptChecksums (int numPackets)
{
    const std::lock_guard<std::mutex> lock (mutex);
    checksumsToCorrupt = numPackets;
}

void SimulatedTracker::setSendsHeader (bool shouldSend)
{
    const std::lock_guard<std::mutex> lock (mutex);
    sendsHeader = shouldSend;
}

void SimulatedTracker::startStreaming (int newFormat, std::chrono::microseconds interval)
{
    {
        const std::lock_guard<std::mutex> lock (mutex);
        format = newFormat;
        intervalOverride = interval;
        streaming = true;
        nextOrientation = Clock::now();
    }

    changed.notify_all();
}

void SimulatedTracker::stopStreaming()
{
    const std::lock_guard<std::mutex> lock (mutex);
    streaming = false;
}

void SimulatedTracker::setStreamInterval (std::chrono::microseconds interval)
{
    const std::lock_guard<std::mutex> lock (mutex);
    intervalOverride = interval;
}

void SimulatedTracker::setOrientation (float newYaw, float newPitch, float newRoll)
{
    const std::lock_guard<std::mutex> lock (mutex);
    yaw = newYaw;
    pitch = newPitch;
    roll = newRoll;
}

void SimulatedTracker::send (const juce::MidiMessage& message)
{
    ports.post (inputIdentifier(), message);
}

bool SimulatedTracker::waitUntilQuiet (int timeoutMs)
{
    std::unique_lock<std::mutex> lock (mutex);
    return changed.wait_for (lock, std::chrono::milliseconds (timeoutMs),
                             [this] { return outbox.empty() && ! posting; });
}

void SimulatedTracker::sendGarbage (int numMessages, juce::uint32 seed)
{
    juce::Random random ((juce::int64) seed);
    juce::uint8 bytes[64];

    for (int m = 0; m < numMessages; ++m)
    {
        const int length = juce::jlimit (1, 63, 1 + random.nextInt (63));
        const int kind = random.nextInt (4);

        for (int i = 0; i < length; ++i)
            bytes[i] = (juce::uint8) random.nextInt (kind == 0 ? 256 : 128);

        if (kind == 1 || kind == 2)
        {
            // System exclusive; kind 2 looks like a File Dump data packet.
            bytes[0] = 0xf0;
            bytes[length - 1] = 0xf7;

            if (kind == 2 && length > 6)
            {
                bytes[1] = 0x7e;
                bytes[3] = 0x07;
                bytes[4] = 0x02;
                bytes[5] = (juce::uint8) random.nextInt (2);
            }
        }
        else if (kind == 3 && length > 4)
        {
            // A tracker message of a random type.
            bytes[0] = 0xf0;
            bytes[1] = 0x00;
            bytes[2] = 0x3c;
            bytes[3] = 0x19;
            bytes[length - 1] = 0xf7;
        }

        send (juce::MidiMessage (bytes, length));
    }
}

//==============================================================================
int SimulatedTracker::numInfoRequests() const { const std::lock_guard<std::mutex> lock (mutex); return infoRequests; }
int SimulatedTracker::numReadRequests() const { const std::lock_guard<std::mutex> lock (mutex); return readRequests; }
int SimulatedTracker::numSwitchOns() const { const std::lock_guard<std::mutex> lock (mutex); return switchOns; }
int SimulatedTracker::numDoubleClicks() const { const std::lock_guard<std::mutex> lock (mutex); return doubleClicks; }
int SimulatedTracker::numOrientationsSent() const { const std::lock_guard<std::mutex> lock (mutex); return orientationsSent; }
bool SimulatedTracker::isStreaming() const { const std::lock_guard<std::mutex> lock (mutex); return streaming; }
int SimulatedTracker::streamFormat() const { const std::lock_guard<std::mutex> lock (mutex); return format; }
int SimulatedTracker::rateCode() const { const std::lock_guard<std::mutex> lock (mutex); return rate; }

int SimulatedTracker::parameter (int number) const
{
    const std::lock_guard<std::mutex> lock (mutex);

    switch (number)
    {
        case 3: return compass;
        case 4: return chirality;
        case 17: return travelMode;
        default: return -1;
    }
}

std::vector<juce::MidiMessage> SimulatedTracker::receivedMessages() const
{
    const std::lock_guard<std::mutex> lock (mutex);
    return received;
}

//==============================================================================
juce::MidiMessage SimulatedTracker::makeSysEx (std::initializer_list<int> bytes)
{
    std::vector<juce::uint8> data;
    data.push_back (0xf0);

    for (auto b : bytes)
        data.push_back ((juce::uint8) b);

    data.push_back (0xf7);
    return juce::MidiMessage (data.data(), (int) data.size());
}

void SimulatedTracker::encodeValue (float v, juce::uint8* out)
{
    auto value = (int) std::lround (v * 2048.0f);
    value = juce::jlimit (-8192, 8191, value);

    if (value < 0)
        value += 16384;

    out[0] = (juce::uint8) (value >> 7);
    out[1] = (juce::uint8) (value & 0x7f);
}

juce::MidiMessage SimulatedTracker::makeOrientation() const
{
    juce::uint8 bytes[32] = { 0xf0, 0x00, 0x3c, 0x19, 0x40, (juce::uint8) format };
    std::vector<float> values;

    const float cy = std::cos (yaw), sy = std::sin (yaw);
    const float cp = std::cos (pitch), sp = std::sin (pitch);
    const float cr = std::cos (roll), sr = std::sin (roll);

    if (format == 0)
    {
        values = { yaw, pitch, roll };
    }
    else if (format == 1)
    {
        const Quaternion qz { std::cos (yaw / 2), 0, 0, std::sin (yaw / 2) };
        const Quaternion qx { std::cos (pitch / 2), std::sin (pitch / 2), 0, 0 };
        const Quaternion qy { std::cos (roll / 2), 0, std::sin (roll / 2), 0 };
        const auto q = multiply (multiply (qz, qx), qy);
        values = { q.w, q.x, q.y, q.z };
    }
    else
    {
        values = { cy * cr - sy * sp * sr, -sy * cp, cy * sr + sy * sp * cr,
                   sy * cr + cy * sp * sr, cy * cp, sy * sr - cy * sp * cr,
                   -cp * sr, sp, cp * cr };
    }

    int length = 6;

    for (auto v : values)
    {
        encodeValue (v, bytes + length);
        length += 2;
    }

    bytes[length++] = 0xf7;
    return juce::MidiMessage (bytes, length);
}

juce::MidiMessage fileDumpDataPacket (int number, const juce::uint8* text, int length, bool corruptChecksum)
{
    std::vector<juce::uint8> encoded;

    for (int group = 0; group < length; group += 7)
    {
        const int count = std::min (7, length - group);
        juce::uint8 highBits = 0;

        for (int k = 0; k < count; ++k)
            if ((text[group + k] & 0x80) != 0)
                highBits |= (juce::uint8) (0x40 >> k);

        encoded.push_back (highBits);

        for (int k = 0; k < count; ++k)
            encoded.push_back ((juce::uint8) (text[group + k] & 0x7f));
    }

    const auto byteCount = (juce::uint8) encoded.size();
    std::vector<juce::uint8> payload { 0x7e, 0x00, 0x07, 0x02, (juce::uint8) (number & 0x7f), byteCount };
    payload.insert (payload.end(), encoded.begin(), encoded.end());
    payload.resize (std::max (payload.size(), (size_t) (6 + dataAreaBytes)), 0);

    juce::uint8 checksum = 0;

    for (auto b : payload)
        checksum ^= b;

    if (corruptChecksum)
        checksum ^= 0x01;

    std::vector<juce::uint8> message { 0xf0 };
    message.insert (message.end(), payload.begin(), payload.end());
    message.push_back (checksum);
    message.push_back (0xf7);
    return juce::MidiMessage (message.data(), (int) message.size());
}

juce::MidiMessage SimulatedTracker::makeDataPacket (int number, const juce::uint8* text, int length)
{
    const bool corrupt = checksumsToCorrupt > 0;
    if (corrupt)
        --checksumsToCorrupt;
    return fileDumpDataPacket (number, text, length, corrupt);
}

//==============================================================================
void SimulatedTracker::receiveFromHost (const juce::MidiMessage& message)
{
    {
        const std::lock_guard<std::mutex> lock (mutex);

        if (! pluggedIn)
            return;

        received.push_back (message);
        std::vector<Outgoing> replies;
        handle (message, replies);
        schedule (replies);
    }

    changed.notify_all();
}

void SimulatedTracker::schedule (std::vector<Outgoing>& replies)
{
    for (auto& reply : replies)
    {
        auto place = std::upper_bound (outbox.begin(), outbox.end(), reply.due,
                                       [] (Clock::time_point due, const Outgoing& o) { return due < o.due; });
        outbox.insert (place, std::move (reply));
    }
}

void SimulatedTracker::handle (const juce::MidiMessage& message, std::vector<Outgoing>& replies)
{
    const auto* data = message.getRawData();
    const int size = message.getRawDataSize();

    if (size < 2 || data[0] != 0xf0)
        return;

    const auto* p = data + 1;
    const int n = size - 2;

    if (isInfoRequest (p, n))
    {
        handleInfoRequest (replies);
        return;
    }

    if (! isTrackerMessage (p, n))
        return;

    switch (p[3])
    {
        case 0x00: handleWrite (p + 4, n - 4, replies); break;
        case 0x01: handleTravelWrite (p + 4, n - 4, replies); break;
        case 0x02: handleReadRequest (p + 4, n - 4, replies); break;
        default: break;
    }
}

void SimulatedTracker::handleInfoRequest (std::vector<Outgoing>& replies)
{
    ++infoRequests;
    const auto due = Clock::now() + responseDelay;
    const auto length = (int) infoText.getSize();

    if (sendsHeader)
    {
        replies.push_back ({ due, makeSysEx ({ 0x7e, 0x00, 0x07, 0x01, 0x01, 'T', 'E', 'X', 'T',
                                               length & 0x7f, (length >> 7) & 0x7f, 0, 0, 'I', 'N', 'F', 'O' }) });
    }

    const auto* text = static_cast<const juce::uint8*> (infoText.getData());
    int number = 0;
    int offset = 0;

    do
    {
        const int count = std::min (bytesPerPacket, length - offset);
        replies.push_back ({ due, makeDataPacket (number++, text + offset, count) });
        offset += count;
    } while (offset < length);

    replies.push_back ({ due, makeSysEx ({ 0x7e, 0x00, 0x7b, 0x00 }) });
}

void SimulatedTracker::handleWrite (const juce::uint8* pairs, int length, std::vector<Outgoing>& replies)
{
    bool switchedOn = false;

    for (int i = 0; i + 1 < length; i += 2)
    {
        const int value = pairs[i + 1];

        switch (pairs[i])
        {
            case 0:
                rate = value;
                break;

            case 1:
                format = juce::jlimit (0, 2, value >> 2);

                if ((value & 0x01) != 0 && ! streaming)
                {
                    streaming = true;
                    nextOrientation = Clock::now();
                }

                switchedOn = switchedOn || (value & 0x01) != 0;
                break;

            case 3:
                if ((value & 0x20) != 0)
                {
                    compass = (compass & 0x03) | (value & 0x18);
                    addReport (replies, { 3, compass });
                }
                else if ((value & 0x04) != 0)
                {
                    compass = (compass & 0x18) | 0x02; // calibrated: good data
                    addReport (replies, { 5, 1 });
                    addReport (replies, { 5, 2, 3, compass }, std::chrono::milliseconds (30));
                }
                break;

            case 4:
                chirality = value;
                addReport (replies, { 4, chirality });
                break;

            default:
                break;
        }
    }

    if (switchedOn)
        ++switchOns;
}

void SimulatedTracker::handleTravelWrite (const juce::uint8* pairs, int length, std::vector<Outgoing>& replies)
{
    for (int i = 0; i + 1 < length; i += 2)
    {
        if (pairs[i] == 1)
        {
            travelMode = pairs[i + 1];
            addReport (replies, { 17, travelMode });
        }
        else if (pairs[i] == 0 && pairs[i + 1] == 1)
        {
            ++doubleClicks;
        }
    }
}

void SimulatedTracker::handleReadRequest (const juce::uint8* params, int length, std::vector<Outgoing>& replies)
{
    ++readRequests;
    std::vector<juce::uint8> report { 0xf0, 0x00, 0x3c, 0x19, 0x42 };

    for (int i = 0; i < length; ++i)
    {
        const int value = params[i] == 3 ? compass : params[i] == 4 ? chirality : params[i] == 17 ? travelMode : -1;

        if (value >= 0)
        {
            report.push_back (params[i]);
            report.push_back ((juce::uint8) value);
        }
    }

    report.push_back (0xf7);
    replies.push_back ({ Clock::now() + responseDelay, juce::MidiMessage (report.data(), (int) report.size()) });
}

void SimulatedTracker::addReport (std::vector<Outgoing>& replies, std::initializer_list<int> pairs, Clock::duration extraDelay)
{
    std::vector<juce::uint8> report { 0xf0, 0x00, 0x3c, 0x19, 0x42 };

    for (auto b : pairs)
        report.push_back ((juce::uint8) b);

    report.push_back (0xf7);
    replies.push_back ({ Clock::now() + responseDelay + extraDelay,
                         juce::MidiMessage (report.data(), (int) report.size()) });
}

SimulatedTracker::Clock::duration SimulatedTracker::streamInterval() const
{
    if (intervalOverride > Clock::duration::zero())
        return intervalOverride;

    switch (rate)
    {
        case 0x18: return std::chrono::milliseconds (40);
        case 0x28: return std::chrono::milliseconds (10);
        default: return std::chrono::milliseconds (20);
    }
}

//==============================================================================
void SimulatedTracker::run()
{
    std::unique_lock<std::mutex> lock (mutex);

    while (! exiting)
    {
        const auto now = Clock::now();
        std::vector<juce::MidiMessage> toSend;

        while (! repliesHeld && ! outbox.empty() && outbox.front().due <= now)
        {
            toSend.push_back (outbox.front().message);
            outbox.pop_front();
        }

        if (streaming && pluggedIn && now >= nextOrientation)
        {
            toSend.push_back (makeOrientation());
            ++orientationsSent;
            nextOrientation = std::max (nextOrientation + streamInterval(), now);
        }

        if (! toSend.empty())
        {
            posting = true;
            lock.unlock();

            for (auto& message : toSend)
                ports.post (inputIdentifier(), message);

            lock.lock();
            posting = false;
            changed.notify_all();
            continue;
        }

        auto wakeAt = Clock::time_point::max();

        if (! repliesHeld && ! outbox.empty())
            wakeAt = outbox.front().due;

        if (streaming && pluggedIn)
            wakeAt = std::min (wakeAt, nextOrientation);

        if (wakeAt == Clock::time_point::max())
            changed.wait (lock);
        else
            changed.wait_until (lock, wakeAt);
    }
}
} // namespace Sim
