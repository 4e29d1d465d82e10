#include "Parameters.h"

#include <cmath>

namespace
{
constexpr float defaults[ParameterLabel::count] = { 1.0f, 0.2f, 0.4f, 1.0f };

juce::String truncatedDecimal (double x)
{
    return juce::String ((juce::int64) std::trunc (x));
}
} // namespace

juce::String parameterValueText (int index, float value, int maximumLength)
{
    const double v = (double) value;
    juce::String text;

    switch (index)
    {
        case 0: text = truncatedDecimal (v * 3.999 + 1.0); break;
        case 1: text = truncatedDecimal (v * 30.0 + 10.0) + " ms"; break;
        case 2: text = truncatedDecimal (v * 10.0) + " cent"; break;
        case 3: text = value == 1.0f ? "Inverted" : "Normal"; break;
        default: break;
    }

    if (maximumLength > 0 && text.length() > maximumLength)
        return text.substring (0, maximumLength);

    return text;
}

juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout (juce::AudioProcessorParameter::Listener* listener)
{
    juce::AudioProcessorValueTreeState::ParameterLayout layout;

    for (int i = 0; i < ParameterLabel::count; ++i)
    {
        const juce::String id = ParameterLabel::get (i);
        auto attributes = juce::AudioParameterFloatAttributes()
                              .withLabel ("")
                              .withCategory (juce::AudioProcessorParameter::genericParameter)
                              .withAutomatable (true)
                              .withMeta (false)
                              .withInverted (false)
                              .withStringFromValueFunction ([i] (float v, int maximumLength) { return parameterValueText (i, v, maximumLength); });

        auto parameter = std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { id, 1 },
                                                                      id,
                                                                      juce::NormalisableRange<float> (0.0f, 1.0f, 0.0001f, 1.0f, false),
                                                                      defaults[i],
                                                                      attributes);
        if (listener != nullptr)
            parameter->addListener (listener);

        layout.add (std::move (parameter));
    }

    return layout;
}
