#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

// Parameter IDs in index order; each is also the parameter's display name.
struct ParameterLabel
{
    static constexpr int count = 4;
    static constexpr const char* ids[count] = { "Mode", "Timing", "Pitch", "Phase" };

    static juce::String get (int index) { return index >= 0 && index < count ? ids[index] : ""; }
};

// The host- and editor-facing text of parameter `index` at value v (0..1).
// maximumLength > 0 cuts the text to that many characters.
juce::String parameterValueText (int index, float v, int maximumLength);

// Builds the four parameters in index order, registering `listener` on each
// before anything else can listen to them.
juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout (juce::AudioProcessorParameter::Listener* listener);
