#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

// Runs with JUCE initialised for real windows. There is no JUCE application:
// the windowing layer is told so before it starts.
int main (int argc, char** argv)
{
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };
    juce::ScopedJuceInitialiser_GUI juceInit;
    ::testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
