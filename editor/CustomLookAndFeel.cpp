#include "CustomLookAndFeel.h"

#include <BinaryData.h>

#include "FlatToggleButton.h"

juce::Typeface::Ptr EmbeddedFonts::regular()
{
    static const juce::Typeface::Ptr face = juce::Typeface::createSystemTypefaceFor (BinaryData::OpenSansRegular_ttf, (size_t) BinaryData::OpenSansRegular_ttfSize);
    return face;
}

juce::Typeface::Ptr EmbeddedFonts::semiBold()
{
    static const juce::Typeface::Ptr face = juce::Typeface::createSystemTypefaceFor (BinaryData::OpenSansSemiBold_ttf, (size_t) BinaryData::OpenSansSemiBold_ttfSize);
    return face;
}

CustomLookAndFeel::CustomLookAndFeel()
{
    setColour (juce::Slider::trackColourId, juce::Colour (ColourTrackHighlight));
    setColour (juce::Slider::backgroundColourId, juce::Colour (ColourTrackBackground));
    setColour (juce::Slider::thumbColourId, juce::Colour (0xB2000000));
    setColour (FlatToggleButton::onFillColourId, juce::Colour (ColourButton).withAlpha ((juce::uint8) 0xB2));
    setColour (FlatToggleButton::offFillColourId, juce::Colour (ColourButton).withAlpha ((juce::uint8) 0x8C));
    setColour (FlatToggleButton::textColourId, juce::Colour (ColourNearWhite));

    setDefaultSansSerifTypeface (EmbeddedFonts::semiBold());
}

void CustomLookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button& button, const juce::Colour& backgroundColour,
                                              bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown)
{
    auto colour = backgroundColour.withMultipliedSaturation (button.hasKeyboardFocus (true) ? 1.3f : 0.9f)
                      .withMultipliedAlpha (button.isEnabled() ? 1.0f : 0.5f);

    if (shouldDrawButtonAsDown || shouldDrawButtonAsHighlighted)
        colour = colour.contrasting (shouldDrawButtonAsDown ? 0.2f : 0.05f);

    g.setColour (colour);
    g.fillRoundedRectangle (button.getLocalBounds().toFloat().reduced (0.5f, 0.5f), 2.0f);
}
