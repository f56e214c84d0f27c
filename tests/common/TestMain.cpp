#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

// Every test program runs with JUCE initialised, as inside a host.
int main(int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juceInit;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
