#pragma once

#include "UiTesting.h"
#include "shared/HeadMatrix.h"
#include "trackerui/HeadPanel.h"

#include <array>
#include <cmath>
#include <mutex>
#include <vector>

namespace HeadPanelRig
{
using Matrix = std::array<float, 9>;

inline const Matrix identity { 1, 0, 0, 0, 1, 0, 0, 0, 1 };

// Records every matrix handed to it, from any thread.
class MatrixRecorder : public HeadPanel::HeadPanel::Listener
{
public:
    void trackerChanged (const HeadMatrix& matrix) override { record (matrix); }

    void record (const HeadMatrix& matrix)
    {
        Matrix m;
        matrix.read (m.data());
        const std::lock_guard<std::mutex> lock (mutex);
        matrices.push_back (m);
    }

    std::vector<Matrix> all() const
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return matrices;
    }

    size_t count() const
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return matrices.size();
    }

private:
    mutable std::mutex mutex;
    std::vector<Matrix> matrices;
};

// Finite, orthonormal and turning the right way.
inline bool isRotation (const Matrix& m, float tolerance = 1.0e-3f)
{
    for (auto v : m)
        if (! std::isfinite (v))
            return false;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
        {
            const float d = m[3 * i] * m[3 * j] + m[3 * i + 1] * m[3 * j + 1] + m[3 * i + 2] * m[3 * j + 2];
            if (std::abs (d - (i == j ? 1.0f : 0.0f)) > tolerance)
                return false;
        }
    const float det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6])
                      + m[2] * (m[3] * m[7] - m[4] * m[6]);
    return det > 0.0f;
}

inline bool near (const Matrix& a, const Matrix& b, float tolerance)
{
    for (size_t i = 0; i < 9; ++i)
        if (std::abs (a[i] - b[i]) > tolerance)
            return false;
    return true;
}

// The panel's own drawing (no buttons) over a plain background.
inline juce::Image paintPanelOnly (HeadPanel::HeadPanel& panel, juce::Colour background)
{
    juce::Image image (juce::Image::ARGB, panel.getWidth(), panel.getHeight(), true, juce::SoftwareImageType());
    juce::Graphics g (image);
    g.fillAll (background);
    panel.paint (g);
    return image;
}

// Notes when each repaint of the panel ran.
struct WatchedHeadPanel : HeadPanel::HeadPanel
{
    using HeadPanel::HeadPanel;

    // A subclass leaves the lists itself, before its destruction changes the
    // object's type under a callback.
    ~WatchedHeadPanel() override
    {
        scanner->removeListener (this);
        connection->removeOrientationListener (this);
        connection->removePropertyListener (this);
    }

    void timerCallback() override
    {
        const bool pending = repaintPending;
        HeadPanel::timerCallback();
        if (pending && ! repaintPending)
            repaints.push_back (juce::Time::getMillisecondCounterHiRes());
    }

    std::vector<double> repaints;
};
} // namespace HeadPanelRig
