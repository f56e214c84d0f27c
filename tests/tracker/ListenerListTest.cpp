#include "tracker/ListenerList.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
struct Named
{
    std::string name;
    std::string* calls;
    void hear() { *calls += name; }
};
} // namespace

TEST (ListenerList, CallsInTheOrderAddedAndNeverAfterRemoval)
{
    juce::CriticalSection lock;
    Midi::ListenerList<Named> list (lock);
    std::string calls;
    Named a { "a", &calls }, b { "b", &calls }, c { "c", &calls };

    list.add (&b);
    list.add (&a);
    list.add (&c);
    list.add (&a);
    list.call ([] (Named& n) { n.hear(); });
    EXPECT_EQ (calls, "baca");

    calls.clear();
    list.remove (&a); // every entry of it
    list.callUnlocked ([] (Named& n) { n.hear(); });
    EXPECT_EQ (calls, "bc");
    EXPECT_EQ (list.toVector(), (std::vector<Named*> { &b, &c }));

    list.remove (&a); // not there: nothing changes
    list.clear();
    calls.clear();
    list.call ([] (Named& n) { n.hear(); });
    EXPECT_EQ (calls, "");
}

TEST (ListenerList, ALockedCallMayReachBackIntoTheList)
{
    juce::CriticalSection lock;
    Midi::ListenerList<Named> list (lock);
    std::string calls;
    Named a { "a", &calls }, b { "b", &calls };
    list.add (&a);
    list.add (&b);

    // The lock is recursive: a listener that removes another from inside a call does not deadlock.
    list.call ([&] (Named& n)
    {
        n.hear();
        list.remove (&b);
    });
    EXPECT_EQ (calls, "a");
    EXPECT_EQ (list.toVector(), std::vector<Named*> { &a });
}
