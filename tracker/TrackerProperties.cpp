#include "tracker/TrackerProperties.h"

#include <cstring>

namespace Tracker
{
Properties::Properties() noexcept
{
    std::memset (name, 0, sizeof (name));
}

Properties::Properties (const juce::String& trackerName) noexcept : Properties()
{
    const char* text = trackerName.toRawUTF8();
    const size_t length = std::min (std::strlen (text), sizeof (name) - 1);
    std::memcpy (name, text, length);
}

bool Properties::hasName (const juce::String& trackerName) const noexcept
{
    return std::strcmp (name, trackerName.toRawUTF8()) == 0;
}
} // namespace Tracker
