#include <gtest/gtest.h>

#if JUCE_MODULE_AVAILABLE_juce_events
 #include <juce_events/juce_events.h>
#endif

// Every test program that links JUCE's message loop runs with JUCE
// initialised, as inside a host.
int main (int argc, char** argv)
{
#if JUCE_MODULE_AVAILABLE_juce_events
    juce::ScopedJuceInitialiser_GUI juceInit;
#endif
    ::testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
