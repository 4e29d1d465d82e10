#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The editor's four colour constants.
constexpr juce::uint32 ColourTrackHighlight = 0xFF67A3CE;
constexpr juce::uint32 ColourTrackBackground = 0xA82E495C;
constexpr juce::uint32 ColourButton = 0xFF171D1F;
constexpr juce::uint32 ColourNearWhite = 0xFFF0F0F0;

// Typefaces made from the embedded fonts. Parsing a font costs far more than
// drawing with it, so each is made once and shared.
struct EmbeddedFonts
{
    static juce::Typeface::Ptr regular();
    static juce::Typeface::Ptr semiBold();
    static juce::Font regularFont (float height) { return juce::Font (regular()).withHeight (height); }
};

class CustomLookAndFeel : public juce::LookAndFeel_V4
{
public:
    CustomLookAndFeel();
    ~CustomLookAndFeel() override = default;

    void drawButtonBackground (juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                               bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;
};
