#include "EditorRig.h"

using namespace EditorTesting;

namespace
{
struct CountingListener : FaderBar::Listener
{
    void faderChanged() override { ++calls; }
    int calls = 0;
};

struct FaderFixture : ::testing::Test
{
    FaderFixture()
    {
        fader.setSize (320, 32);
        fader.setMode (FaderBar::Mode::reverbRatio);
    }

    void press (float x, float y = 6.0f) { fader.mouseDown (mouseAt (fader, x, y)); }
    void drag (float x, float y = 6.0f) { fader.mouseDrag (mouseAt (fader, x, y)); }

    CountingListener listener;
    FaderBar fader { &listener };
};
} // namespace

TEST (FaderScale, PositionUnderThePointer)
{
    struct Case { float x; int expected; };
    for (const auto& c : { Case { 0.0f, 0 }, Case { 160.0f, 16 }, Case { 319.0f, 32 }, Case { 320.0f, 32 },
                           Case { 9.6f, 0 }, Case { 9.7f, 1 }, Case { 330.0f, -1 }, Case { -5.0f, -1 } })
    {
        const auto p = FaderScale::positionAt (c.x, 320);
        EXPECT_EQ (p ? (int) *p : -1, c.expected) << "x = " << c.x;
    }
    EXPECT_FALSE (FaderScale::positionAt (10.0f, 0));
}

TEST (FaderScale, ReadOutValuesAndBoxes)
{
    using Mode = FaderBar::Mode;
    struct Case { Mode mode; int position; const char* text; };
    for (const auto& c : { Case { Mode::reverbRatio, 0, "-20.0 dB" }, Case { Mode::reverbRatio, 16, "0.0 dB" },
                           Case { Mode::reverbRatio, 32, "20.0 dB" }, Case { Mode::reverbRatio, 4, "-10.0 dB" },
                           Case { Mode::reverbRatio, 28, "10.0 dB" }, Case { Mode::reverbRatio, 17, "0.5 dB" },
                           Case { Mode::volumeTrim, 0, "-20.0 dB" }, Case { Mode::volumeTrim, 26, "0.0 dB" },
                           Case { Mode::volumeTrim, 32, "3.0 dB" }, Case { Mode::volumeTrim, 15, "-5.5 dB" } })
        EXPECT_EQ (FaderScale::readoutText (c.mode, c.position), c.text) << c.position;

    // Symmetric about the middle, and never a negative zero.
    for (int p = 0; p <= 32; ++p)
        EXPECT_EQ (FaderScale::readoutDb (Mode::reverbRatio, p), -FaderScale::readoutDb (Mode::reverbRatio, 32 - p));
    EXPECT_FALSE (std::signbit (FaderScale::readoutDb (Mode::reverbRatio, 16)));

    struct Box { int position; int x; };
    for (const auto& b : { Box { 0, 0 }, Box { 16, 134 }, Box { 32, 268 }, Box { 2, 0 }, Box { 3, 4 }, Box { 30, 268 } })
        EXPECT_EQ (FaderScale::readoutX (320, b.position), b.x) << b.position;
}

TEST_F (FaderFixture, PressAndDragFollowThePointerInsideTheBar)
{
    press (0);
    EXPECT_EQ (fader.getPosition(), 0);
    press (160);
    EXPECT_EQ (fader.getPosition(), 16);
    press (319);
    EXPECT_EQ (fader.getPosition(), 32);
    EXPECT_EQ (listener.calls, 3);

    press (0);
    drag (320);
    EXPECT_EQ (fader.getPosition(), 32);
    drag (330);
    drag (-5);
    EXPECT_EQ (fader.getPosition(), 32); // keeps the last position reached inside
    EXPECT_EQ (listener.calls, 5);
}

TEST_F (FaderFixture, PressOnTheReadOutOrOutsideStartsNoDrag)
{
    press (100, 13.0f);
    EXPECT_FALSE (fader.isDragging());
    drag (300);
    EXPECT_EQ (fader.getPosition(), 16);

    press (-1);
    drag (300);
    press (320);
    drag (300);
    EXPECT_EQ (fader.getPosition(), 16);
    EXPECT_EQ (listener.calls, 0);

    fader.setEnabled (false);
    press (10);
    EXPECT_FALSE (fader.isDragging());
    EXPECT_EQ (fader.getPosition(), 16);
}

TEST_F (FaderFixture, OneCallPerNewPosition)
{
    // Position 20 spans x = 193.9 .. 203.6.
    press (194);
    drag (196);
    drag (203);
    fader.mouseUp (mouseAt (fader, 203, 6));
    EXPECT_EQ (fader.getPosition(), 20);
    EXPECT_EQ (listener.calls, 1);
    EXPECT_FALSE (fader.isDragging());
}

TEST_F (FaderFixture, ModeAndPositionFromTheOwner)
{
    fader.setPosition (3);
    fader.setMode (FaderBar::Mode::reverbRatio);
    EXPECT_EQ (fader.getPosition(), 3);
    fader.setMode (FaderBar::Mode::volumeTrim);
    EXPECT_EQ (fader.getPosition(), 26);
    fader.setPosition (33);
    fader.setPosition (255);
    EXPECT_EQ (fader.getPosition(), 26);
    EXPECT_EQ (listener.calls, 0);

    FaderBar fresh (nullptr);
    fresh.setMode (FaderBar::Mode::reverbRatio);
    EXPECT_EQ (fresh.getPosition(), 16);
}

TEST_F (FaderFixture, HoverEnterAndLeaveEachRepaintOnce)
{
    fader.mouseMove (mouseAt (fader, 50, 5));
    EXPECT_TRUE (fader.isHovering());
    EXPECT_TRUE (fader.isRepaintPending());
    ASSERT_TRUE (dispatchUntil ([&] { return ! fader.isRepaintPending(); }));

    fader.mouseMove (mouseAt (fader, 60, 5)); // still inside
    EXPECT_FALSE (fader.isRepaintPending());

    fader.mouseMove (mouseAt (fader, 60, 20)); // over the read-out
    EXPECT_FALSE (fader.isHovering());
    EXPECT_TRUE (fader.isRepaintPending());
    ASSERT_TRUE (dispatchUntil ([&] { return ! fader.isRepaintPending(); }));
    fader.mouseExit (mouseAt (fader, 60, 40));
    EXPECT_FALSE (fader.isRepaintPending());
}

TEST_F (FaderFixture, PaintsFillOutlineAndHoverWash)
{
    fader.setPosition (16);
    auto image = paintedImage (fader);
    EXPECT_EQ (argbAt (image, 100, 6), 0xfff0f0f0u);   // filled
    EXPECT_EQ (argbAt (image, 159, 6), 0xfff0f0f0u);
    EXPECT_EQ (argbAt (image, 200, 6), 0x00000000u);   // empty inside the outline
    EXPECT_EQ (argbAt (image, 200, 0), 0xfff0f0f0u);   // outline
    EXPECT_EQ (argbAt (image, 319, 6), 0xfff0f0f0u);

    fader.mouseMove (mouseAt (fader, 50, 5));
    image = paintedImage (fader);
    EXPECT_NEAR (image.getPixelAt (200, 6).getAlpha(), 0.16 * 255.0, 1.0); // a faint wash

    fader.setEnabled (false);
    image = paintedImage (fader);
    EXPECT_EQ (argbAt (image, 100, 6), 0xffa8a8a8u);
    EXPECT_EQ (argbAt (image, 200, 6), 0x00000000u); // no wash while disabled
}
