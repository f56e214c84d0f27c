// Where the framework's VST3 layer puts each host channel, and the processor's
// routing of the first sixteen of them into its rings.

#include "vst3/Vst3ChannelOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace
{
using Set = juce::AudioChannelSet;

std::vector<int> identity (int n)
{
    std::vector<int> order ((size_t) n);
    std::iota (order.begin(), order.end(), 0);
    return order;
}

struct OrderCase
{
    const char* name;
    Set set;
    std::vector<int> bufferChannels; // for host channel k
};

// The host sends a named layout in VST3's speaker order; the framework sorts by
// its own channel types, which puts the side pair of 7.1 ahead of the rear pair.
const std::vector<OrderCase>& orderCases()
{
    static const std::vector<OrderCase> cases {
        { "mono", Set::mono(), { 0 } },
        { "stereo", Set::stereo(), { 0, 1 } },
        { "5.1", Set::create5point1(), identity (6) },
        { "5.1.4", Set::create5point1point4(), identity (10) },
        { "7.1", Set::create7point1(), { 0, 1, 2, 3, 6, 7, 4, 5 } },
        { "7.1.2", Set::create7point1point2(), { 0, 1, 2, 3, 6, 7, 4, 5, 8, 9 } },
        { "7.1.4", Set::create7point1point4(), { 0, 1, 2, 3, 10, 11, 4, 5, 6, 7, 8, 9 } },
        { "9.1.6", Set::create9point1point6(), { 12, 13, 2, 3, 10, 11, 0, 1, 4, 5, 6, 7, 8, 9, 14, 15 } },
        { "12 discrete", Set::discreteChannels (12), identity (12) },
        { "1 discrete", Set::discreteChannels (1), identity (1) },
        { "disabled", Set::disabled(), {} },
    };
    return cases;
}
} // namespace

TEST (Vst3ChannelOrder, NamedLayoutsAndDiscreteSets)
{
    for (const auto& c : orderCases())
        EXPECT_EQ (Vst3ChannelOrder::bufferChannels (c.set), c.bufferChannels) << c.name;
}

TEST (Vst3ChannelOrder, EveryLayoutMapsOntoItsOwnChannels)
{
    std::vector<Set> sets;
    for (int n = 1; n <= 16; ++n)
    {
        sets.push_back (Set::canonicalChannelSet (n));
        sets.push_back (Set::namedChannelSet (n));
        sets.push_back (Set::discreteChannels (n));
    }
    for (int order = 1; order <= 3; ++order)
        sets.push_back (Set::ambisonic (order));
    sets.push_back (Set::discreteChannels (33));

    for (const auto& set : sets)
    {
        auto order = Vst3ChannelOrder::bufferChannels (set);
        ASSERT_EQ ((int) order.size(), set.size()) << set.getDescription();
        std::sort (order.begin(), order.end());
        EXPECT_EQ (order, identity (set.size())) << set.getDescription();
    }
}

TEST (InputRouting, FirstSixteenHostChannels)
{
    const auto named = InputRouting::forBus (Set::create7point1point4());
    ASSERT_EQ (named.numChannels, 12);
    const int expected[] = { 0, 1, 2, 3, 10, 11, 4, 5, 6, 7, 8, 9 };
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ (named.bufferChannel[(size_t) k], expected[k]) << k;

    const auto wide = InputRouting::forBus (Set::discreteChannels (24));
    ASSERT_EQ (wide.numChannels, 16);
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ (wide.bufferChannel[(size_t) k], k);

    EXPECT_EQ (InputRouting::forBus (Set::disabled()).numChannels, 0);
}
