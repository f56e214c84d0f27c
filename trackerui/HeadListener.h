#pragma once

#include "shared/HeadMatrix.h"

namespace HeadPanel
{
// Where the head panel hands the head's orientation: HeadPanel::HeadPanel::Listener,
// declared on its own so that its users need not see the panel.
class HeadListener
{
public:
    virtual ~HeadListener() = default;
    // MIDI input thread with the current tracker's matrix after each of its
    // orientations; message thread with an identity matrix when no tracker
    // drives the head any more.
    virtual void trackerChanged (const HeadMatrix& matrix) = 0;
};
} // namespace HeadPanel
