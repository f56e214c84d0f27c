#include "EditorRig.h"

using namespace EditorTesting;

namespace
{
constexpr int shift = juce::ModifierKeys::shiftModifier;
constexpr int ctrl = juce::ModifierKeys::ctrlModifier;
constexpr int alt = juce::ModifierKeys::altModifier;

// "ITU-R 5.1 / Dolby 5.1.2": L R C LFE Ls Rs Ltm Rtm.
const Zeph::ChannelProfiles& layouts()
{
    static const Zeph::ChannelProfiles table;
    return table;
}

const Zeph::ChannelProfile& layout (int id)
{
    return *layouts().findById (id);
}

// A record with the front, other horizontal and elevated classes of the 5.1.2 layout.
void setClasses (SoloMuteRecord& record)
{
    const uint8_t classes[8] = { 0, 0, 0, 35, 1, 1, 2, 2 };
    for (int i = 0; i < 8; ++i)
        record.channelClass[i] = classes[i];
}

std::vector<int> states (const SoloMuteRecord& record)
{
    std::vector<int> result;
    for (int i = 0; i < SoloMuteRecord::numChannels; ++i)
        result.push_back (record.get (i));
    return result;
}

struct RadarFixture : ::testing::Test
{
    RadarFixture()
    {
        setClasses (record);
        radar.setProfile (&layout (1));
        radar.setSoloMutes (&record);
        radar.setNumChannels (8);
    }

    // The fill colour of a channel's circle, read left of its number.
    uint32_t fillOf (int channel)
    {
        const auto p = Radar::project (*layout (1).positions[channel], Radar::View (radar.getViewAngle()));
        return argbAt (radar.getImage(), (int) p.x - 8, (int) p.y);
    }

    void clickChannel (int channel, int keys)
    {
        HeldKeys held (keys);
        hoverChannel (radar, layout (1), channel);
        clickRadar (radar);
    }

    SoloMuteRecord record;
    ChannelRadar radar;
};
} // namespace

TEST (RadarModel, Projection)
{
    struct Case { float angle, azimuth, elevation, x, y, depth; };
    for (const auto& c : { Case { 90, -30, 0, 78.0f, 41.397f, 0.0f }, Case { 90, 0, 90, 128.0f, 128.0f, -1.0f },
                           Case { 0, 0, 0, 128.0f, 128.0f, 1.0f }, Case { 0, -45, 60, 94.034f, 44.800f, 0.354f },
                           Case { 45, 30, 0, 174.598f, 70.929f, 0.612f }, Case { 90, 115, 0, 218.631f, 170.262f, 0.0f } })
    {
        Zeph::ChannelProfile profile;
        profile.addPos ("P", c.azimuth, c.elevation, 0.0f, 0.0f);
        const auto p = Radar::project (*profile.positions[0], Radar::View (c.angle));
        EXPECT_NEAR (p.x, c.x, 0.01f) << c.angle << " " << c.azimuth << " " << c.elevation;
        EXPECT_NEAR (p.y, c.y, 0.01f);
        EXPECT_NEAR (p.depth, c.depth, 0.001f);
        EXPECT_NEAR (Radar::radiusAt (p.depth), 12.0f - c.depth, 0.001f);
    }

    // Silent and LFE channels are parked bottom right, wherever they point.
    Zeph::ChannelProfile profile;
    profile.addPos ("LFE", -30, 60, 0, 0, Zeph::lfe);
    profile.addPos ("", 90, 0, 0, 0, Zeph::silent);
    for (auto* pos : profile.positions)
    {
        const auto p = Radar::project (*pos, Radar::View (37.0f));
        EXPECT_EQ (p.x, 230.0f);
        EXPECT_EQ (p.y, 230.0f);
        EXPECT_EQ (p.depth, 0.0f);
    }
}

TEST (RadarModel, DrawOrderIsFarthestFirstTiesInIndexOrder)
{
    const Radar::ScreenPoint points[] = { { 0, 0, 0.5f }, { 0, 0, 1.0f }, { 0, 0, 0.5f }, { 0, 0, -1.0f }, { 0, 0, 0.0f } };
    const auto order = Radar::drawOrder (points, 5);
    EXPECT_EQ (std::vector<int> (order.begin(), order.begin() + 5), (std::vector<int> { 1, 0, 2, 4, 3 }));
}

TEST (RadarModel, HitMapBlocks)
{
    struct Case { float x, y; std::vector<int> cells; };
    for (const auto& c : { Case { 100.0f, 100.0f, { 363, 364, 365, 395, 396, 397, 427, 428, 429 } },
                           Case { 0.0f, 0.0f, { 0, 1, 31, 32, 33 } },
                           Case { 255.9f, 255.9f, { 990, 991, 992, 1022, 1023 } },
                           Case { 230.0f, 230.0f, { 891, 892, 893, 923, 924, 925, 955, 956, 957 } } })
    {
        Radar::HitMap map {};
        Radar::stampHitMap (map, c.x, c.y, 5);
        std::vector<int> stamped;
        for (int i = 0; i < Radar::numCells; ++i)
            if (map[(size_t) i] != 0)
                stamped.push_back (i);
        EXPECT_EQ (stamped, c.cells) << c.x << ", " << c.y;
    }

    Radar::HitMap map {};
    Radar::stampHitMap (map, 100.0f, 100.0f, 3);
    EXPECT_EQ (Radar::channelAt (map, 100, 100), 2);
    EXPECT_EQ (Radar::channelAt (map, 88, 111), 2);
    EXPECT_EQ (Radar::channelAt (map, 87, 100), -1);
    for (auto [x, y] : { std::pair { -1, 5 }, { 5, -1 }, { 256, 0 }, { 0, 256 } })
        EXPECT_EQ (Radar::channelAt (map, x, y), -1);
}

TEST (RadarModel, CircleColours)
{
    SoloMuteRecord record;
    setClasses (record);
    record.set (1, muted);
    record.set (2, soloed);

    struct Case { const SoloMuteRecord* record; int channel, hovered; bool group; uint32_t fill, text; };
    const uint32_t white = 0xffffffff, black = 0xff000000;
    SoloMuteRecord plain;
    for (const auto& c : { Case { nullptr, 1, 1, false, 0xff505050, white },
                           Case { &record, 1, -1, false, 0xffc04040, white },
                           Case { &record, 1, 1, false, 0xffd78787, white },
                           Case { &record, 2, -1, false, 0xffd0d000, black },
                           Case { &record, 2, 2, false, 0xffe1e15f, black },
                           Case { &record, 0, -1, false, 0xff323232, white },
                           Case { &record, 0, 0, false, 0xff7e7e7e, white },
                           Case { &record, 0, 1, false, 0xff323232, white },
                           Case { &record, 0, 1, true, 0xff7e7e7e, white }, // same class as the hovered one
                           Case { &record, 4, 1, true, 0xff323232, white },
                           Case { &plain, 0, -1, false, 0xff505050, white },
                           Case { &plain, 0, 0, false, 0xff919191, white } })
    {
        const auto colours = Radar::circleColours (c.record, c.channel, c.hovered, c.group);
        EXPECT_EQ (colours.fill.getARGB(), c.fill) << "channel " << c.channel << " hovered " << c.hovered;
        EXPECT_EQ (colours.text.getARGB(), c.text);
    }
}

TEST (RadarModel, SoloAndMuteRules)
{
    const int N = 0, M = muted, S = soloed;
    struct Case { const char* what; std::vector<int> before; int channel; Radar::ClickKeys keys; std::vector<int> after; };
    const std::vector<Case> cases {
        { "plain click on a normal channel is an exclusive solo", { S, N, S, N }, 1, {}, { N, S, N, N } },
        { "plain click on a soloed channel removes only that solo", { S, N, S, N }, 2, {}, { S, N, N, N } },
        { "plain click on a muted channel solos it alone", { S, M, N, N }, 1, {}, { N, S, N, N } },
        { "shift adds a solo", { S, N, N, N }, 3, { true, false, false }, { S, N, N, S } },
        { "shift on a soloed channel removes only that solo", { S, N, N, S }, 3, { true, false, false }, { S, N, N, N } },
        { "ctrl mutes a normal channel, other solos stay", { S, N, N, N }, 2, { false, true, false }, { S, N, M, N } },
        { "ctrl mutes a soloed channel", { S, N, S, N }, 2, { false, true, false }, { S, N, M, N } },
        { "ctrl unmutes", { N, M, N, N }, 1, { false, true, false }, { N, N, N, N } },
        { "alt solos the whole front", { N, N, N, S, S }, 0, { false, false, true }, { S, S, S, N, N } },
        { "alt ctrl mutes the whole front, whatever each was", { S, M, N }, 2, { false, true, true }, { M, M, M } },
        { "alt ctrl on a muted channel unmutes its class", { S, M, N }, 1, { false, true, true }, { N, N, N } },
    };
    for (const auto& c : cases)
    {
        SoloMuteRecord record;
        setClasses (record);
        for (size_t i = 0; i < c.before.size(); ++i)
            record.set ((int) i, (SoloMuteState) c.before[i]);

        Radar::applyClick (record, c.channel, c.keys);

        auto expected = c.after;
        expected.resize (SoloMuteRecord::numChannels, N);
        EXPECT_EQ (states (record), expected) << c.what;
        const bool anySolo = std::find (expected.begin(), expected.end(), S) != expected.end();
        EXPECT_EQ (record.anySolo.load(), anySolo ? 1 : 0) << c.what;
    }

    SoloMuteRecord record;
    for (const int channel : { -1, 16, 100 })
        Radar::applyClick (record, channel, {});
    EXPECT_EQ (states (record), std::vector<int> (16, N));
}

TEST (RadarModel, DragTilt)
{
    EXPECT_EQ (Radar::dragAngle (90.0f, 100, 70), 80.0f);
    EXPECT_EQ (Radar::dragAngle (90.0f, 100, 130), 90.0f);
    EXPECT_EQ (Radar::dragAngle (10.0f, 100, 40), 0.0f);
    EXPECT_EQ (Radar::dragAngle (45.0f, 0, 3), 46.0f);
}

TEST_F (RadarFixture, DrawsTheLayoutAndItsHitMap)
{
    EXPECT_EQ (radar.getNumChannels(), 8);
    EXPECT_EQ (fillOf (0), 0xff505050u);
    for (int channel = 0; channel < 8; ++channel)
    {
        const auto p = Radar::project (*layout (1).positions[channel], Radar::View (90.0f));
        EXPECT_EQ (Radar::channelAt (radar.getHitMap(), (int) p.x, (int) p.y), channel);
    }
    // The LFE is parked at (230, 230).
    EXPECT_EQ (Radar::channelAt (radar.getHitMap(), 230, 230), 3);

    EXPECT_EQ (argbAt (radar.getImage(), 128, 200), 0xff000000u); // the disc
    EXPECT_EQ (argbAt (radar.getImage(), 20, 128), 0x00000000u);
}

TEST_F (RadarFixture, ParkedChannelsStackHighestOnTop)
{
    Zeph::ChannelProfile profile;
    profile.addPos ("LFE", 0, 0, 0, 0, Zeph::lfe);
    profile.addPos ("C", 0, 0, 0, 0);
    profile.addPos ("LFE2", 0, 0, 0, 0, Zeph::lfe);
    profile.addPos ("", 0, 0, 0, 0, Zeph::silent);
    radar.setProfile (&profile);
    EXPECT_EQ (Radar::channelAt (radar.getHitMap(), 230, 230), 3);

    record.reset();
    radar.mouseMove (mouseAt (radar, 230, 230));
    clickRadar (radar);
    EXPECT_EQ (record.get (3), soloed);
    radar.setProfile (nullptr);
}

TEST_F (RadarFixture, ClicksEditTheRecord)
{
    clickChannel (2, 0);
    EXPECT_EQ (record.get (2), soloed);
    EXPECT_EQ (fillOf (2), 0xffe1e15fu); // soloed and hovered
    EXPECT_EQ (fillOf (0), 0xff323232u); // silenced by the solo

    clickChannel (5, shift);
    clickChannel (0, ctrl);
    EXPECT_EQ (states (record), (std::vector<int> { muted, 0, soloed, 0, 0, soloed, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 }));

    clickChannel (6, alt);
    EXPECT_EQ (states (record), (std::vector<int> { muted, 0, 0, 0, 0, 0, soloed, soloed, 0, 0, 0, 0, 0, 0, 0, 0 }));
    EXPECT_EQ (record.anySolo.load(), 1);
}

TEST_F (RadarFixture, AltHoverLightsTheWholeClass)
{
    HeldKeys held (alt);
    hoverChannel (radar, layout (1), 0);
    EXPECT_TRUE (radar.isGroupMode());
    for (int channel : { 0, 1, 2 })
        EXPECT_EQ (fillOf (channel), 0xff919191u) << channel;
    for (int channel : { 4, 5, 6 })
        EXPECT_EQ (fillOf (channel), 0xff505050u) << channel;
}

TEST_F (RadarFixture, DragTiltsAndTheReleaseStillClicks)
{
    hoverChannel (radar, layout (1), 0);
    radar.mouseDown (mouseAt (radar, 78, 100));
    radar.mouseDrag (mouseAt (radar, 78, 70));
    EXPECT_EQ (radar.getViewAngle(), 80.0f);
    radar.mouseDrag (mouseAt (radar, 78, 130));
    EXPECT_EQ (radar.getViewAngle(), 90.0f);
    radar.mouseDrag (mouseAt (radar, 78, 40));
    radar.mouseUp (mouseAt (radar, 78, 40));
    EXPECT_EQ (radar.getViewAngle(), 70.0f);
    EXPECT_EQ (radar.getHovered(), 0);
    EXPECT_EQ (record.get (0), soloed);
}

TEST_F (RadarFixture, DiscAndRingAtBothEndsOfTheTilt)
{
    radar.setNumChannels (0);
    EXPECT_EQ (radar.getNumChannels(), 0);
    EXPECT_TRUE (std::all_of (radar.getHitMap().begin(), radar.getHitMap().end(), [] (uint8_t c) { return c == 0; }));

    // 90 degrees: a full disc of diameter 200; the ring is a line through it.
    const auto& plan = radar.getImage();
    for (auto [x, y] : { std::pair { 30, 128 }, { 226, 128 }, { 128, 30 }, { 128, 226 }, { 128, 128 } })
        EXPECT_EQ (argbAt (plan, x, y), 0xff000000u) << x << ", " << y;
    for (auto [x, y] : { std::pair { 25, 128 }, { 231, 128 }, { 128, 25 }, { 128, 231 } })
        EXPECT_EQ (argbAt (plan, x, y), 0u) << x << ", " << y;

    // 0 degrees: only the upright ring, a circle outline of diameter 200.
    radar.mouseDown (mouseAt (radar, 0, 250));
    radar.mouseDrag (mouseAt (radar, 0, -30));
    ASSERT_EQ (radar.getViewAngle(), 0.0f);
    const auto& back = radar.getImage();
    for (auto [x, y] : { std::pair { 28, 128 }, { 227, 128 }, { 128, 28 }, { 128, 227 } })
        EXPECT_EQ (argbAt (back, x, y), 0xff000000u) << x << ", " << y;
    for (auto [x, y] : { std::pair { 128, 128 }, { 128, 60 }, { 60, 128 }, { 128, 32 } })
        EXPECT_EQ (argbAt (back, x, y), 0u) << x << ", " << y;
}

TEST_F (RadarFixture, ChannelCountIsCappedByTheLayout)
{
    radar.setNumChannels (40);
    EXPECT_EQ (radar.getNumChannels(), 8);
    radar.setNumChannels (2);
    EXPECT_EQ (radar.getNumChannels(), 2);
    EXPECT_EQ (Radar::channelAt (radar.getHitMap(), 230, 230), -1); // the LFE is no longer drawn
}

TEST_F (RadarFixture, AChannelThatIsGoneTakesNoClick)
{
    radar.setProfile (&layout (11)); // "Dolby 7.1.4", 12 channels
    hoverChannel (radar, layout (11), 11);
    ASSERT_EQ (radar.getHovered(), 11);

    radar.setProfile (&layout (0)); // "Mono"
    clickRadar (radar);
    radar.setProfile (&layout (1));
    radar.setNumChannels (2);
    clickRadar (radar);
    EXPECT_EQ (states (record), std::vector<int> (16, 0));
    EXPECT_EQ (record.anySolo.load(), 0);
}

TEST (ChannelRadar, WithoutLayoutOrRecord)
{
    ChannelRadar radar;
    radar.setNumChannels (5);
    EXPECT_EQ (radar.getNumChannels(), 5);
    SoloMuteRecord record;
    radar.setSoloMutes (&record);
    const auto& image = radar.getImage();
    for (int y = 0; y < Radar::size; y += 4)
        for (int x = 0; x < Radar::size; x += 4)
            ASSERT_EQ (argbAt (image, x, y), 0u);

    // Drawn plain grey without a record, and releases change nothing.
    radar.setSoloMutes (nullptr);
    radar.setProfile (&layout (1));
    hoverChannel (radar, layout (1), 2);
    clickRadar (radar);
    const auto p = Radar::project (*layout (1).positions[2], Radar::View (90.0f));
    EXPECT_EQ (argbAt (radar.getImage(), (int) p.x - 8, (int) p.y), 0xff505050u);
    EXPECT_EQ (states (record), std::vector<int> (16, 0));
}

TEST_F (RadarFixture, RepaintsFromTheImage)
{
    juce::LookAndFeel_V4 lookAndFeel;
    lookAndFeel.setColour (juce::ResizableWindow::backgroundColourId, juce::Colour (0xff202020));
    radar.setLookAndFeel (&lookAndFeel);
    const auto painted = paintedImage (radar);
    EXPECT_EQ (argbAt (painted, 5, 5), 0xff202020u);
    EXPECT_EQ (argbAt (painted, 128, 200), 0xff000000u);
    EXPECT_EQ (argbAt (painted, 70, 41), fillOf (0));
    radar.setLookAndFeel (nullptr);
}
