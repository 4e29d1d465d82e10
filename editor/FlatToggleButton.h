#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// A two-state switch drawn as a flat translucent rounded rectangle with its
// state text in capitals. Only a left click toggles it.
class FlatToggleButton : public juce::ToggleButton
{
public:
    enum ColourIds
    {
        onFillColourId = 0x200001,
        offFillColourId = 0x200002,
        textColourId = 0x200003
    };

    FlatToggleButton();
    ~FlatToggleButton() override = default;

    void mouseEnter (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void paintButton (juce::Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    bool hovered = false;
    juce::String offText;
    juce::String onText;
    int cornerSize = 19;
    int textHeight = 26;
};
