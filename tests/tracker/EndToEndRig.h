#pragma once

#include "ScannerFixture.h"
#include "tracker/TrackerConnection.h"

#include <cmath>

namespace EndToEnd
{
// Stands in for the head panel: switches every announced tracker on, as the
// panel does with its current tracker, and records the orientations.
class PanelStandIn : public Midi::MidiScanner::Listener,
                     public Midi::TrackerConnection::OrientationListener
{
public:
    PanelStandIn (Midi::MidiScanner& s, Midi::TrackerConnection& c) : scanner (s), connection (c)
    {
        scanner.addListener (this);
        connection.addOrientationListener (this);
    }

    ~PanelStandIn() override
    {
        connection.removeOrientationListener (this);
        scanner.removeListener (this);
    }

    void scannerDeviceAdded (const juce::String& name) override
    {
        events.push_back ("added " + name.toStdString());
        connection.turnOn (name, Tracker::Rate::rate1, angleMode);
    }

    void scannerDeviceRemoved (const juce::String& name) override { events.push_back ("removed " + name.toStdString()); }

    void trackerOrientation (const juce::String& name, float* matrix) override
    {
        const std::lock_guard<std::mutex> lock (mutex);
        ++orientations;
        lastName = name;
        std::copy (matrix, matrix + 9, lastMatrix);
    }

    int numOrientations() const
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return orientations;
    }

    std::vector<float> latest (juce::String* name = nullptr) const
    {
        const std::lock_guard<std::mutex> lock (mutex);

        if (name != nullptr)
            *name = lastName;

        return { lastMatrix, lastMatrix + 9 };
    }

    Midi::MidiScanner& scanner;
    Midi::TrackerConnection& connection;
    Tracker::AngleMode angleMode = Tracker::AngleMode::quaternion;
    std::vector<std::string> events; // message thread

private:
    mutable std::mutex mutex;
    int orientations = 0;
    juce::String lastName;
    float lastMatrix[9] = {};
};

// Rz(yaw) Rx(pitch) Ry(roll), row-major.
inline std::vector<float> expectedMatrix (float yaw, float pitch, float roll)
{
    const float cy = std::cos (yaw), sy = std::sin (yaw);
    const float cp = std::cos (pitch), sp = std::sin (pitch);
    const float cr = std::cos (roll), sr = std::sin (roll);
    return { cy * cr - sy * sp * sr, -sy * cp, cy * sr + sy * sp * cr,
             sy * cr + cy * sp * sr, cy * cp, sy * sr - cy * sp * cr,
             -cp * sr, sp, cp * cr };
}

inline void expectNear (const std::vector<float>& actual, const std::vector<float>& expected, float tolerance)
{
    ASSERT_EQ (actual.size(), expected.size());

    for (size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR (actual[i], expected[i], tolerance) << "element " << i;
}
} // namespace EndToEnd
