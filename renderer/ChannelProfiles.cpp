#include "renderer/ChannelProfiles.h"

#include "renderer/Units.h"

#include <cmath>

namespace Zeph
{
void ChannelProfile::addPos (const juce::String& posName, float azimuth, float elevation,
                             float leftDb, float rightDb, ChannelType posType)
{
    auto* p = new ChannelPos();
    const float a = degreesToRadians (azimuth);
    const float e = degreesToRadians (elevation);
    p->name = posName;
    p->x = std::sin (a) * std::cos (e);
    p->y = std::cos (a) * std::cos (e);
    p->z = std::sin (e);
    p->gainLeft = levelToGain (leftDb);
    p->gainRight = levelToGain (rightDb);
    p->type = posType;
    positions.add (p);
}

void ChannelProfiles::addProfile (const juce::String& name, uint8_t minChannels, uint8_t maxChannels, uint8_t id)
{
    auto* p = new ChannelProfile();
    p->name = name;
    p->minChannels = minChannels;
    p->maxChannels = maxChannels;
    p->id = id;
    profiles.add (p);
}

const ChannelProfile* ChannelProfiles::findById (int id) const noexcept
{
    for (auto* p : profiles)
        if (p->id == id)
            return p;
    return nullptr;
}

ChannelProfiles::ChannelProfiles()
{
    // Positions go to the profile added last.
    auto pos = [this] (const char* name, float az, float el, float l, float r, ChannelType t = fullRange)
    {
        profiles.getLast()->addPos (name, az, el, l, r, t);
    };

    addProfile ("Mono", 1, 1, 0);
    pos ("C", 0, 0, 0, 0);

    addProfile ("ITU-R 5.1 / Dolby 5.1.2", 2, 8, 1);
    pos ("L", -30, 0, -3, -100);
    pos ("R", 30, 0, -100, -3);
    pos ("C", 0, 0, -3, -3);
    pos ("LFE", 0, 0, -6, -6, lfe);
    pos ("Ls", -115, 0, -3, -100);
    pos ("Rs", 115, 0, -100, -3);
    pos ("Ltm", -45, 60, -5, -9.5f);
    pos ("Rtm", 45, 60, -9.5f, -5);

    addProfile ("Film layout 5.1", 4, 8, 14);
    pos ("L", -30, 0, -3, -100);
    pos ("C", 0, 0, -3, -3);
    pos ("R", 30, 0, -100, -3);
    pos ("Ls", -115, 0, -3, -100);
    pos ("Rs", 115, 0, -100, -3);
    pos ("LFE", 0, 0, -6, -6, lfe);

    addProfile ("Square", 2, 4, 2);
    pos ("Lf", -45, 0, -3, -100);
    pos ("Rf", 45, 0, -100, -3);
    pos ("Lb", -135, 0, -6, -100);
    pos ("Rb", 135, 0, -100, -6);

    addProfile ("Square 30/45", 2, 4, 3);
    pos ("Lf", -30, 0, -3, -100);
    pos ("Rf", 30, 0, -100, -3);
    pos ("Lb", -135, 0, -6, -100);
    pos ("Rb", 135, 0, -100, -6);

    addProfile ("Cube (SPS-8 / Mach1)", 8, 8, 4);
    pos ("FLU", -45, 35.264f, -6, -100);
    pos ("FRU", 45, 35.264f, -100, -6);
    pos ("BLU", -135, 35.264f, -6, -100);
    pos ("BRU", 135, 35.264f, -100, -6);
    pos ("FLD", -45, -35.264f, -6, -100);
    pos ("FRD", 45, -35.264f, -100, -6);
    pos ("BLD", -135, -35.264f, -6, -100);
    pos ("BRD", 135, -35.264f, -100, -6);

    addProfile ("Dolby 7.1", 2, 6, 5);
    pos ("L", -30, 0, -3, -100);
    pos ("R", 30, 0, -100, -3);
    pos ("C", 0, 0, -3, -3);
    pos ("LFE", 0, 0, -6, -6, lfe);
    pos ("Ls", -90, 0, -4.5f, -100);
    pos ("Rs", 90, 0, -100, -4.5f);
    pos ("Lb", -135, 0, -4.5f, -100);
    pos ("Rb", 135, 0, -100, -4.5f);

    addProfile ("Sony SDDS", 6, 8, 6);
    pos ("L", -45, 0, -3, -100);
    pos ("R", 45, 0, -100, -3);
    pos ("C", 0, 0, -3, -3);
    pos ("LFE", 0, 0, -6, -6, lfe);
    pos ("Ls", -135, 0, -4.5f, -100);
    pos ("Rs", 135, 0, -100, -4.5f);
    pos ("Lc", -22.5f, 0, -4.5f, -7.5f);
    pos ("Rc", 22.5f, 0, -7.5f, -4.5f);

    addProfile ("Dolby 5.1.4", 10, 10, 7);
    pos ("L", -30, 0, -3, -100);
    pos ("R", 30, 0, -100, -3);
    pos ("C", 0, 0, -3, -3);
    pos ("LFE", 0, 0, -6, -6, lfe);
    pos ("Ls", -115, 0, -4.5f, -100);
    pos ("Rs", 115, 0, -100, -4.5f);
    pos ("Ltf", -45, 45, -5.5f, -9);
    pos ("Rtf", 45, 45, -9, -5.5f);
    pos ("Ltb", -135, 45, -5.5f, -9);
    pos ("Rtb", 135, 45, -9, -5.5f);

    addProfile ("Octagon (with centre)", 8, 8, 8);
    pos ("F", 0, 0, -9, -9);
    pos ("FR", 45, 0, -12, -6);
    pos ("R", 90, 0, -100, -6);
    pos ("BR", 135, 0, -12, -6);
    pos ("B", 180, 0, -9, -9);
    pos ("BL", -135, 0, -6, -12);
    pos ("L", -90, 0, -6, -100);
    pos ("FL", -45, 0, -6, -12);

    addProfile ("Octagon (staggered)", 8, 8, 9);
    pos ("LF", -22.5f, 0, -6, -12);
    pos ("RF", 22.5f, 0, -12, -6);
    pos ("LHF", -67.5f, 0, -4.5f, -15);
    pos ("RHF", 67.5f, 0, -15, -4.5f);
    pos ("LHB", -112.5f, 0, -4.5f, -15);
    pos ("RHB", 112.5f, 0, -15, -4.5f);
    pos ("LB", -157.5f, 0, -6, -12);
    pos ("RB", 157.5f, 0, -12, -6);

    addProfile ("Icosahedron (SPS-12)", 12, 12, 10);
    pos ("", 120, 52.6f, -7.5f, -13.5f);
    pos ("", 0, 52.6f, -9, -9);
    pos ("", -120, 52.6f, -13.5f, -7.5f);
    pos ("", -120, -10.8f, -7.5f, -100);
    pos ("", -60, 10.8f, -7.5f, -100);
    pos ("", 0, -10.8f, -9, -9);
    pos ("", 60, 10.8f, -100, -7.5f);
    pos ("", 120, -10.8f, -100, -7.5f);
    pos ("", 180, 10.8f, -9, -9);
    pos ("", 60, -52.6f, -7.5f, -13.5f);
    pos ("", 180, -52.6f, -9, -9);
    pos ("", -60, -52.6f, -13.5f, -7.5f);

    addProfile ("Dolby 7.1.4", 12, 12, 11);
    pos ("L", -30, 0, -3, -100);
    pos ("R", 30, 0, -100, -3);
    pos ("C", 0, 0, -3, -3);
    pos ("LFE", 0, 0, -6, -6, lfe);
    pos ("Ls", -90, 0, -4.5f, -100);
    pos ("Rs", 90, 0, -100, -4.5f);
    pos ("Lb", -135, 0, -4.5f, -100);
    pos ("Rb", 135, 0, -100, -4.5f);
    pos ("Ltf", -45, 45, -5.5f, -9);
    pos ("Rtf", 45, 45, -9, -5.5f);
    pos ("Ltb", -135, 45, -5.5f, -9);
    pos ("Rtb", 135, 45, -9, -5.5f);

    addProfile ("Cubase/Microsoft 7.1.4", 12, 12, 15);
    pos ("L", -30, 0, -3, -100);
    pos ("R", 30, 0, -100, -3);
    pos ("C", 0, 0, -3, -3);
    pos ("LFE", 0, 0, -6, -6, lfe);
    pos ("Lb", -135, 0, -4.5f, -100);
    pos ("Rb", 135, 0, -100, -4.5f);
    pos ("Ls", -90, 0, -4.5f, -100);
    pos ("Rs", 90, 0, -100, -4.5f);
    pos ("Ltf", -45, 45, -5.5f, -9);
    pos ("Rtf", 45, 45, -9, -5.5f);
    pos ("Ltb", -135, 45, -5.5f, -9);
    pos ("Rtb", 135, 45, -9, -5.5f);

    addProfile ("Auro-3D 9.1-11.1", 10, 12, 12);
    pos ("L", -30, 0, -3, -100);
    pos ("R", 30, 0, -100, -3);
    pos ("C", 0, 0, -3, -3);
    pos ("LFE", 0, 0, -6, -6, lfe);
    pos ("Ls", -115, 0, -4.5f, -100);
    pos ("Rs", 115, 0, -100, -4.5f);
    pos ("HL", -30, 35, -3, -100);
    pos ("HR", 30, 35, -100, -3);
    pos ("HLs", -115, 35, -4.5f, -100);
    pos ("HRs", 115, 35, -100, -4.5f);
    pos ("HC", 0, 35, -3, -3);
    pos ("Top", 0, 90, -3, -3);

    addProfile ("Auro-3D 12.1", 13, 14, 13);
    pos ("L", -30, 0, -3, -100);
    pos ("R", 30, 0, -100, -3);
    pos ("C", 0, 0, -3, -3);
    pos ("LFE", 0, 0, -6, -6, lfe);
    pos ("Ls", -90, 0, -4.5f, -100);
    pos ("Rs", 90, 0, -100, -4.5f);
    pos ("Lb", -135, 0, -4.5f, -100);
    pos ("Rb", 135, 0, -100, -4.5f);
    pos ("HL", -30, 35, -3, -100);
    pos ("HR", 30, 35, -100, -3);
    pos ("HLs", -115, 35, -4.5f, -100);
    pos ("HRs", 115, 35, -100, -4.5f);
    pos ("HC", 0, 35, -3, -3);
    pos ("Top", 0, 90, -3, -3);
}
} // namespace Zeph
