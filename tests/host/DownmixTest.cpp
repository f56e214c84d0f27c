// The spatialiser-off path through the VST3 host: every layout's plain downmix,
// solo and mute, the volume trim, and the channels that must be ignored.

#include "tests/host/HostFixture.h"

#include <cmath>

using HostTesting::HostTest;
using HostTesting::stateText;

namespace
{
struct Level
{
    float leftDb, rightDb;
};

struct LayoutRow
{
    int id;
    const char* name;
    std::vector<Level> levels; // in input-channel order
};

// The layout table's downmix levels, written out independently of the renderer.
const std::vector<LayoutRow>& layoutRows()
{
    static const std::vector<LayoutRow> rows {
        { 0, "Mono", { { 0, 0 } } },
        { 1, "ITU-R 5.1 / Dolby 5.1.2",
          { { -3, -100 }, { -100, -3 }, { -3, -3 }, { -6, -6 }, { -3, -100 }, { -100, -3 }, { -5, -9.5f }, { -9.5f, -5 } } },
        { 14, "Film layout 5.1", { { -3, -100 }, { -3, -3 }, { -100, -3 }, { -3, -100 }, { -100, -3 }, { -6, -6 } } },
        { 2, "Square", { { -3, -100 }, { -100, -3 }, { -6, -100 }, { -100, -6 } } },
        { 3, "Square 30/45", { { -3, -100 }, { -100, -3 }, { -6, -100 }, { -100, -6 } } },
        { 4, "Cube (SPS-8 / Mach1)",
          { { -6, -100 }, { -100, -6 }, { -6, -100 }, { -100, -6 }, { -6, -100 }, { -100, -6 }, { -6, -100 }, { -100, -6 } } },
        { 5, "Dolby 7.1",
          { { -3, -100 }, { -100, -3 }, { -3, -3 }, { -6, -6 }, { -4.5f, -100 }, { -100, -4.5f }, { -4.5f, -100 }, { -100, -4.5f } } },
        { 6, "Sony SDDS",
          { { -3, -100 }, { -100, -3 }, { -3, -3 }, { -6, -6 }, { -4.5f, -100 }, { -100, -4.5f }, { -4.5f, -7.5f }, { -7.5f, -4.5f } } },
        { 7, "Dolby 5.1.4",
          { { -3, -100 }, { -100, -3 }, { -3, -3 }, { -6, -6 }, { -4.5f, -100 }, { -100, -4.5f },
            { -5.5f, -9 }, { -9, -5.5f }, { -5.5f, -9 }, { -9, -5.5f } } },
        { 8, "Octagon (with centre)",
          { { -9, -9 }, { -12, -6 }, { -100, -6 }, { -12, -6 }, { -9, -9 }, { -6, -12 }, { -6, -100 }, { -6, -12 } } },
        { 9, "Octagon (staggered)",
          { { -6, -12 }, { -12, -6 }, { -4.5f, -15 }, { -15, -4.5f }, { -4.5f, -15 }, { -15, -4.5f }, { -6, -12 }, { -12, -6 } } },
        { 10, "Icosahedron (SPS-12)",
          { { -7.5f, -13.5f }, { -9, -9 }, { -13.5f, -7.5f }, { -7.5f, -100 }, { -7.5f, -100 }, { -9, -9 },
            { -100, -7.5f }, { -100, -7.5f }, { -9, -9 }, { -7.5f, -13.5f }, { -9, -9 }, { -13.5f, -7.5f } } },
        { 11, "Dolby 7.1.4",
          { { -3, -100 }, { -100, -3 }, { -3, -3 }, { -6, -6 }, { -4.5f, -100 }, { -100, -4.5f }, { -4.5f, -100 },
            { -100, -4.5f }, { -5.5f, -9 }, { -9, -5.5f }, { -5.5f, -9 }, { -9, -5.5f } } },
        { 15, "Cubase/Microsoft 7.1.4",
          { { -3, -100 }, { -100, -3 }, { -3, -3 }, { -6, -6 }, { -4.5f, -100 }, { -100, -4.5f }, { -4.5f, -100 },
            { -100, -4.5f }, { -5.5f, -9 }, { -9, -5.5f }, { -5.5f, -9 }, { -9, -5.5f } } },
        { 12, "Auro-3D 9.1-11.1",
          { { -3, -100 }, { -100, -3 }, { -3, -3 }, { -6, -6 }, { -4.5f, -100 }, { -100, -4.5f }, { -3, -100 },
            { -100, -3 }, { -4.5f, -100 }, { -100, -4.5f }, { -3, -3 }, { -3, -3 } } },
        { 13, "Auro-3D 12.1",
          { { -3, -100 }, { -100, -3 }, { -3, -3 }, { -6, -6 }, { -4.5f, -100 }, { -100, -4.5f }, { -4.5f, -100 },
            { -100, -4.5f }, { -3, -100 }, { -100, -3 }, { -4.5f, -100 }, { -100, -4.5f }, { -3, -3 }, { -3, -3 } } },
    };
    return rows;
}

const LayoutRow& rowWithId (int id)
{
    for (const auto& row : layoutRows())
        if (row.id == id)
            return row;
    throw std::out_of_range ("no layout id");
}

double gainOf (float dB)
{
    return dB <= -60.0f ? 0.0 : std::pow (10.0, dB / 20.0);
}

// The expected stereo output: the downmix of the channels that sound, times the volume.
juce::AudioBuffer<float> expectedDownmix (const juce::AudioBuffer<float>& input, const LayoutRow& row,
                                          const std::vector<bool>& sounds, double volume)
{
    const int n = input.getNumSamples();
    const int channels = std::min ((int) row.levels.size(), std::min (input.getNumChannels(), 16));
    juce::AudioBuffer<float> out (2, n);
    for (int i = 0; i < n; ++i)
    {
        double left = 0.0, right = 0.0;
        for (int c = 0; c < channels; ++c)
        {
            if (! sounds[(size_t) c])
                continue;
            left += gainOf (row.levels[(size_t) c].leftDb) * input.getSample (c, i);
            right += gainOf (row.levels[(size_t) c].rightDb) * input.getSample (c, i);
        }
        out.setSample (0, i, (float) (left * volume));
        out.setSample (1, i, (float) (right * volume));
    }
    return out;
}

std::vector<bool> allSound()
{
    return std::vector<bool> (16, true);
}

// Sounding channels for a SoloMutes text: soloed, or normal while nothing is soloed.
std::vector<bool> soundsFor (const juce::String& soloMutes)
{
    std::vector<char> states (16, '-');
    for (int i = 0; i < std::min (16, soloMutes.length()); ++i)
        states[(size_t) i] = (char) juce::CharacterFunctions::toLowerCase (soloMutes[i]);
    const bool anySolo = std::find (states.begin(), states.end(), 's') != states.end();

    std::vector<bool> sounds (16);
    for (size_t i = 0; i < 16; ++i)
        sounds[i] = states[i] == 's' || (states[i] != 'm' && ! anySolo);
    return sounds;
}

// Within float rounding of a sum of at most 16 products of magnitude below 0.5.
constexpr float tolerance = 2.0e-6f;
} // namespace

class HostDownmix : public HostTest
{
protected:
    juce::AudioBuffer<float> render (int profileId, const juce::String& soloMutes, int numInputs,
                                     int volumeTrim = 26, int numSamples = 3000)
    {
        setStateText (stateText (true, profileId, soloMutes, 1, 0, volumeTrim, 16));
        input = VbHost::Signals::make (numInputs, numSamples, 48000.0);
        return run (input, 2, 512);
    }

    juce::AudioBuffer<float> input;
};

TEST_F (HostDownmix, EveryLayoutMixesItsChannelsWithItsGains)
{
    for (const auto& row : layoutRows())
    {
        const int positions = (int) row.levels.size();
        const auto output = render (row.id, juce::String::repeatedString ("-", positions), positions);
        const auto expected = expectedDownmix (input, row, allSound(), 1.0);
        EXPECT_LT (VbHost::maxDifference (output, expected), tolerance) << row.name;
    }
}

TEST_F (HostDownmix, ChannelsPastTheLayoutAreIgnored)
{
    for (const auto& row : layoutRows())
    {
        const auto output = render (row.id, "", 16);
        const auto expected = expectedDownmix (input, row, allSound(), 1.0);
        EXPECT_LT (VbHost::maxDifference (output, expected), tolerance) << row.name << ", 16 inputs";
    }

    const auto& widest = rowWithId (13);
    const auto output = render (13, "", 24);
    EXPECT_LT (VbHost::maxDifference (output, expectedDownmix (input, widest, allSound(), 1.0)), tolerance)
        << "24 inputs";
}

TEST_F (HostDownmix, ChannelsPastTheInputCountAreIgnored)
{
    struct Case { int id; int inputs; };
    for (const auto& c : { Case { 14, 1 }, Case { 13, 2 }, Case { 1, 6 }, Case { 10, 11 }, Case { 0, 1 } })
    {
        const auto& row = rowWithId (c.id);
        const auto output = render (c.id, "", c.inputs);
        EXPECT_LT (VbHost::maxDifference (output, expectedDownmix (input, row, allSound(), 1.0)), tolerance)
            << row.name << ", " << c.inputs << " inputs";
    }
}

TEST_F (HostDownmix, SoloAndMute)
{
    const auto& row = rowWithId (7); // ten positions, distinct gains per side
    for (const juce::String soloMutes : { "-s-m------", "--m-m-----", "S---M-----", "ssssssssss", "mmmmmmmmmm",
                                          "-s-s---s--", "m-s-------" })
    {
        const auto output = render (7, soloMutes, 10);
        const auto expected = expectedDownmix (input, row, soundsFor (soloMutes), 1.0);
        EXPECT_LT (VbHost::maxDifference (output, expected), tolerance) << soloMutes;
    }
}

TEST_F (HostDownmix, SoloOutsideTheInputsSilencesTheRest)
{
    // Channel 9 is soloed but only four channels come in: nothing sounds.
    const auto output = render (7, "---------s", 4);
    EXPECT_EQ (VbHost::measureLevels (output)[0].peak, 0.0f);
    EXPECT_EQ (VbHost::measureLevels (output)[1].peak, 0.0f);

    // A solo beyond the layout's positions does the same.
    const auto beyond = render (2, "----------s", 4);
    EXPECT_EQ (VbHost::measureLevels (beyond)[0].peak, 0.0f);
    EXPECT_EQ (VbHost::measureLevels (beyond)[1].peak, 0.0f);
}

TEST_F (HostDownmix, VolumeTrimScalesTheDownmix)
{
    const auto& row = rowWithId (5);
    struct Case { int trim; double dB; };
    for (const auto& c : { Case { 0, -20.0 }, Case { 10, -10.0 }, Case { 15, -5.5 }, Case { 25, -0.5 },
                           Case { 26, 0.0 }, Case { 32, 3.0 } })
    {
        const auto output = render (5, "", 8, c.trim);
        const auto expected = expectedDownmix (input, row, allSound(), std::pow (10.0, c.dB / 20.0));
        EXPECT_LT (VbHost::maxDifference (output, expected), 3.0f * tolerance) << "VolumeTrim=" << c.trim;
    }
}

TEST_F (HostDownmix, SilenceInSilenceOut)
{
    setStateText (stateText (true, 1, ""));
    juce::AudioBuffer<float> silence (8, 2048);
    silence.clear();
    const auto output = run (silence, 2, 512);
    EXPECT_EQ (VbHost::measureLevels (output)[0].peak, 0.0f);
    EXPECT_EQ (VbHost::measureLevels (output)[1].peak, 0.0f);
}

TEST_F (HostDownmix, HostBypassPassesTheInputThrough)
{
    // The framework's "Bypass" parameter replaces the plug-in's processing.
    setStateText (stateText (true, 0, ""));
    const auto in = VbHost::Signals::make (2, 4096, 48000.0);

    juce::String error;
    ASSERT_TRUE (host().prepare (48000.0, 512, 2, 2, error)) << error;
    ASSERT_TRUE (host().setHostBypass (true));
    host().process (in, 512, VbHost::ChannelOrder::host); // lets the parameter change reach the processor
    const auto output = host().process (in, 512, VbHost::ChannelOrder::host);
    ASSERT_TRUE (host().setHostBypass (false));
    host().process (in, 512, VbHost::ChannelOrder::host);
    host().release();

    EXPECT_EQ (VbHost::maxDifference (output, in), 0.0f);
}
