#include "renderer/Mailbox.h"

#include <gtest/gtest.h>

#include <array>
#include <thread>

TEST (Mailbox, TakesOnlyNewValues)
{
    Zeph::Mailbox<int> box;
    EXPECT_EQ (box.take(), nullptr);

    box.writeSlot() = 1;
    box.publish();
    box.writeSlot() = 2;
    box.publish(); // the reader has missed 1: it gets the newest
    const auto* value = box.take();
    ASSERT_NE (value, nullptr);
    EXPECT_EQ (*value, 2);
    EXPECT_EQ (box.take(), nullptr);
}

// A writer publishing without pause and a reader taking without pause: every value
// the reader gets is whole and none is older than one it already had.
TEST (Mailbox, ReaderNeverSeesAHalfWrittenOrOlderValue)
{
    using Value = std::array<uint32_t, 17>;
    Zeph::Mailbox<Value> box;
    constexpr uint32_t last = 100000;

    std::thread writer ([&box] {
        for (uint32_t v = 1; v <= last; ++v)
        {
            box.writeSlot().fill (v);
            box.publish();
        }
    });

    uint32_t seen = 0;
    int torn = 0, older = 0;
    while (seen < last)
    {
        if (const auto* value = box.take())
        {
            for (const auto part : *value)
                torn += part != (*value)[0] ? 1 : 0;
            older += (*value)[0] < seen ? 1 : 0;
            seen = (*value)[0];
        }
    }
    writer.join();

    EXPECT_EQ (torn, 0);
    EXPECT_EQ (older, 0);
}
