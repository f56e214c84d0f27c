// The editor in a real window on a virtual X server, loaded from the built
// bundle, checked by the pixels of the server's picture of the window.
#include "HostFixture.h"

namespace
{
constexpr uint32_t background = 0xff202020;

// Runs the capture script; the picture, or an invalid image and a message.
juce::Image captureEditor (juce::String& error)
{
#if defined(VB_SOURCE_DIR) && defined(VB_BINARY_DIR)
    const auto out = juce::File::createTempFile (".png");
    juce::ChildProcess capture;
    const juce::StringArray command { juce::String (VB_SOURCE_DIR) + "/scripts/capture-editor.sh",
                                      out.getFullPathName(), VB_BINARY_DIR };
    if (! capture.start (command))
    {
        error = "cannot run " + command[0];
        return {};
    }
    const auto output = capture.readAllProcessOutput();
    if (! capture.waitForProcessToFinish (120000) || capture.getExitCode() != 0)
    {
        error = "capture failed:\n" + output;
        return {};
    }
    auto image = juce::ImageFileFormat::loadFrom (out);
    out.deleteFile();
    if (! image.isValid())
        error = "the capture is no PNG:\n" + output;
    return image;
#else
    error = "this build makes no bundle";
    return {};
#endif
}

// The picture under test: one capture serves every check.
juce::Image picture;

uint32_t at (int x, int y)
{
    return picture.getPixelAt (x, y).getARGB();
}

bool isBackground (int x, int y)
{
    return at (x, y) == background;
}

void checkSizeBackgroundAndVersion()
{
    EXPECT_EQ (picture.getWidth(), 604);
    EXPECT_EQ (picture.getHeight(), 472);
    for (auto [x, y] : { std::pair { 300, 420 }, { 590, 140 }, { 5, 100 }, { 600, 60 }, { 280, 380 } })
        EXPECT_EQ (at (x, y), background) << x << ", " << y;

    // "1.15" in the bottom-right corner: light text there and nowhere left of it on those rows.
    int textPixels = 0;
    for (int y = 456; y < 472; ++y)
        for (int x = 280; x < 604; ++x)
            if (picture.getPixelAt (x, y).getBrightness() > 0.5f)
            {
                ++textPixels;
                EXPECT_GE (x, 544) << y;
            }
    EXPECT_GT (textPixels, 10);
}

void checkHeadings()
{
    const auto band = juce::Colour (background).overlaidWith (juce::Colour (0x30ffffff));
    struct Heading { int x, y, width; };
    for (const auto& h : { Heading { 12, 8, 248 }, Heading { 12, 148, 248 }, Heading { 272, 8, 320 }, Heading { 272, 148, 320 } })
    {
        // Both ends of the band, away from the text, and light text inside it.
        for (auto [x, y] : { std::pair { h.x + h.width - 3, h.y + 2 }, { h.x + h.width - 3, h.y + 17 }, { h.x + 1, h.y + 1 } })
            EXPECT_NEAR (picture.getPixelAt (x, y).getRed(), band.getRed(), 2) << x << ", " << y;
        EXPECT_TRUE (isBackground (h.x + h.width + 2, h.y + 10));
        EXPECT_TRUE (isBackground (h.x + 5, h.y + 22));
        int text = 0;
        for (int x = h.x; x < h.x + 120; ++x)
            text += picture.getPixelAt (x, h.y + 10).getBrightness() > 0.7f ? 1 : 0;
        EXPECT_GT (text, 4) << h.y;
    }
}

void checkRadar()
{
    constexpr int radarX = 12, radarY = 217;
    // The disc, plan view, diameter 200.
    for (auto [x, y] : { std::pair { 128, 200 }, { 40, 128 }, { 216, 128 }, { 128, 150 } })
        EXPECT_EQ (at (radarX + x, radarY + y), 0xff000000u) << x << ", " << y;
    EXPECT_EQ (at (radarX + 40, radarY + 25), background);

    // Eight numbered grey circles of "ITU-R 5.1 / Dolby 5.1.2" with white rims,
    // seen from above: front at the top, higher loudspeakers nearer and larger.
    struct Speaker { float azimuth, elevation; bool parked; };
    const Speaker layout[] = { { -30, 0, false }, { 30, 0, false }, { 0, 0, false }, { 0, 0, true },
                               { -115, 0, false }, { 115, 0, false }, { -45, 60, false }, { 45, 60, false } };
    for (int channel = 0; channel < 8; ++channel)
    {
        const auto& s = layout[channel];
        const double a = juce::degreesToRadians (s.azimuth), e = juce::degreesToRadians (s.elevation);
        const double x = std::sin (a) * std::cos (e), y = std::cos (a) * std::cos (e), z = std::sin (e);
        const double k = (9.0 + z) / 9.0; // the depth is -z
        const double cx = s.parked ? 230.0 : 128.0 + 100.0 * x * k;
        const double cy = s.parked ? 230.0 : 128.0 - 100.0 * y * k;
        const double radius = s.parked ? 12.0 : 12.0 + z;
        const int px = radarX + (int) cx, py = radarY + (int) cy;

        EXPECT_EQ (at (px - 7, py), 0xff505050u) << "fill of channel " << channel + 1;
        EXPECT_EQ (at (px, py - juce::roundToInt (radius)), 0xffffffffu) << "rim of channel " << channel + 1;
        int number = 0;
        for (int dx = -4; dx <= 4; ++dx)
            for (int dy = -5; dy <= 5; ++dy)
                number += picture.getPixelAt (px + dx, py + dy).getBrightness() > 0.8f ? 1 : 0;
        EXPECT_GT (number, 3) << "number of channel " << channel + 1;
    }
}

void checkHeadPanel()
{
    // The head tracker section holds nothing but the head panel at (40, 40), 180 x 100.
    const juce::Rectangle<int> panel (40, 40, 180, 100);
    int drawn = 0;
    for (int y = 30; y < 146; ++y)
        for (int x = 0; x < 262; ++x)
            if (! isBackground (x, y))
            {
                ++drawn;
                EXPECT_TRUE (panel.contains (x, y)) << x << ", " << y;
            }

    // With no tracker it shows the idle outline of the head, a faint light
    // circle around the panel's (106, 50) of radius 48, and its settings button.
    const auto outline = juce::Colour (background).overlaidWith (juce::Colour (0x34ffffff));
    for (auto [x, y] : { std::pair { 106, 2 }, { 106, 98 }, { 58, 50 }, { 154, 50 } })
        EXPECT_NEAR (picture.getPixelAt (40 + x, 40 + y).getRed(), outline.getRed(), 3) << x << ", " << y;
    EXPECT_TRUE (isBackground (40 + 106, 40 + 50));
    int button = 0;
    for (int y = 46; y < 86; ++y)
        for (int x = 40; x < 92; ++x)
            button += isBackground (x, y) ? 0 : 1;
    EXPECT_GT (button, 100);
    ::testing::Test::RecordProperty ("headPanelPixels", drawn);
}

} // namespace

TEST (EditorWindow, CapturedFromTheBundle)
{
    if (HostTesting::bundlePath() == juce::File())
        GTEST_SKIP() << "this build makes no VST3 bundle";
    juce::String error;
    picture = captureEditor (error);
    ASSERT_TRUE (picture.isValid()) << error;

    struct Part { const char* name; void (*check)(); };
    const Part parts[] = { { "size, background and version", checkSizeBackgroundAndVersion },
                           { "headings", checkHeadings }, { "radar", checkRadar }, { "head panel", checkHeadPanel } };
    for (const auto& part : parts)
    {
        SCOPED_TRACE (part.name);
        part.check();
    }
    picture = {};
}
