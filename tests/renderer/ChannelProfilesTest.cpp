#include "renderer/ChannelProfiles.h"
#include "renderer/FlexibleDelay.h"
#include "renderer/Units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <set>
#include <vector>

using namespace Zeph;

TEST (ChannelProfiles, TableShape)
{
    ChannelProfiles table;
    ASSERT_EQ (table.profiles.size(), 16);

    const int expectedIds[16] = { 0, 1, 14, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 15, 12, 13 };
    const int expectedCounts[16] = { 1, 8, 6, 4, 4, 8, 8, 8, 10, 8, 8, 12, 12, 12, 12, 14 };
    std::set<int> ids;
    int total = 0;
    for (int i = 0; i < 16; ++i)
    {
        EXPECT_EQ (table.profiles[i]->id, expectedIds[i]) << i;
        EXPECT_EQ (table.profiles[i]->numPositions(), expectedCounts[i]) << i;
        ids.insert (table.profiles[i]->id);
        total += table.profiles[i]->numPositions();
    }
    EXPECT_EQ (ids.size(), 16u);
    EXPECT_EQ (total, 135);

    EXPECT_EQ (table.profiles[15]->name, "Auro-3D 12.1");
    EXPECT_EQ (table.profiles[15]->minChannels, 13);
    EXPECT_EQ (table.profiles[15]->maxChannels, 14);
}

TEST (ChannelProfiles, LookupById)
{
    ChannelProfiles table;
    const auto* film = table.findById (14);
    ASSERT_NE (film, nullptr);
    EXPECT_EQ (film->name, "Film layout 5.1");
    EXPECT_EQ (table.profiles.indexOf (film), 2);
    EXPECT_EQ (film->positions[1]->name, "C");
    EXPECT_EQ (table.findById (16), nullptr);

    const auto* cubase = table.findById (15);
    ASSERT_NE (cubase, nullptr);
    EXPECT_EQ (cubase->positions[4]->name, "Lb");
    EXPECT_EQ (cubase->positions[6]->name, "Ls");
}

TEST (ChannelProfiles, LevelsToGains)
{
    EXPECT_EQ (levelToGain (-60.0f), 0.0f);
    EXPECT_EQ (levelToGain (-100.0f), 0.0f);
    EXPECT_NEAR (levelToGain (-59.9f), 0.00101f, 0.00001f);
    EXPECT_FLOAT_EQ (levelToGain (-3.0f), std::pow (10.0f, -3.0f / 20.0f));

    ChannelProfiles table;
    const auto& mono = *table.findById (0)->positions[0];
    EXPECT_EQ (mono.gainLeft, 1.0f);
    EXPECT_EQ (mono.gainRight, 1.0f);

    const auto& left = *table.findById (1)->positions[0];
    EXPECT_EQ (left.gainRight, 0.0f);
    EXPECT_GT (left.gainLeft, 0.7f);

    int lfeCount = 0;
    for (auto* profile : table.profiles)
        for (auto* p : profile->positions)
        {
            EXPECT_TRUE (p->type == fullRange || p->type == lfe);
            lfeCount += p->type == lfe ? 1 : 0;
            EXPECT_NEAR (p->x * p->x + p->y * p->y + p->z * p->z, 1.0f, 1e-6f);
        }
    EXPECT_EQ (lfeCount, 9);
}

TEST (ChannelProfiles, Directions)
{
    ChannelProfiles table;
    const auto& rs = *table.findById (5)->positions[5]; // "Rs" at 90/0
    EXPECT_EQ (rs.name, "Rs");
    EXPECT_FLOAT_EQ (rs.x, 1.0f);
    EXPECT_NEAR (rs.y, 0.0f, 1e-6f);
    EXPECT_EQ (rs.z, 0.0f);

    const auto& top = *table.findById (13)->positions[13];
    EXPECT_EQ (top.name, "Top");
    EXPECT_EQ (top.x, 0.0f);
    EXPECT_NEAR (top.y, 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ (top.z, 1.0f);

    const auto& l = *table.findById (1)->positions[0]; // -30/0
    EXPECT_FLOAT_EQ (l.x, -0.5f);
    EXPECT_NEAR (l.y, 0.8660254f, 1e-6f);
}

TEST (FlexibleDelay, WriteWrapsAtTheEnd)
{
    std::vector<float> storage (16, -1.0f);
    FlexibleDelay ring;
    ring.buffer = storage.data();
    ring.size = 16;
    ring.isClear = false;
    ring.clear();
    EXPECT_TRUE (ring.isClear);
    EXPECT_EQ (storage[5], 0.0f);

    std::vector<float> block (10);
    std::iota (block.begin(), block.end(), 1.0f);
    ring.write (block.data(), 10);
    EXPECT_EQ (ring.writePos, 10);
    EXPECT_FALSE (ring.isClear);

    // Ends exactly at the end of the ring.
    ring.write (block.data(), 6);
    EXPECT_EQ (ring.writePos, 0);
    EXPECT_EQ (storage[15], 6.0f);

    ring.write (block.data(), 10);
    ring.write (block.data(), 10); // wraps: 6 at the end, 4 at the start
    EXPECT_EQ (ring.writePos, 4);
    EXPECT_EQ (storage[10], 1.0f);
    EXPECT_EQ (storage[15], 6.0f);
    EXPECT_EQ (storage[0], 7.0f);
    EXPECT_EQ (storage[3], 10.0f);
}

TEST (FlexibleDelay, ClearSkipsAClearRing)
{
    std::vector<float> storage (8, 3.0f);
    FlexibleDelay ring;
    ring.buffer = storage.data();
    ring.size = 8;
    ring.isClear = true;
    ring.clear(); // believed clear: untouched
    EXPECT_EQ (storage[0], 3.0f);
}
