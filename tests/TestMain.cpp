// Entry point of the tests that use JUCE: the framework's message manager and
// a home folder of the tests' own, so that no test ever touches the
// developer's settings.

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <cstdlib>

int main (int argc, char** argv)
{
    if (std::getenv ("VANTOR_KEEP_HOME") == nullptr)
    {
        const auto home = juce::File::getSpecialLocation (juce::File::tempDirectory)
                              .getChildFile ("vantor-test-home-" + juce::String (juce::Time::getCurrentTime().toMilliseconds()) + "-" + juce::String (juce::Random::getSystemRandom().nextInt()));
        home.createDirectory();
        setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    }

    juce::ScopedJuceInitialiser_GUI juce;
    ::testing::InitGoogleTest (&argc, argv);
    const int result = RUN_ALL_TESTS();
    return result;
}
