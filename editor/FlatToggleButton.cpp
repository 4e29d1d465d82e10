#include "FlatToggleButton.h"

#include "CustomLookAndFeel.h"

FlatToggleButton::FlatToggleButton() : juce::ToggleButton ("-")
{
    offText = "Off";
    onText = "On";
}

void FlatToggleButton::mouseEnter (const juce::MouseEvent& e)
{
    hovered = true;
    juce::ToggleButton::mouseEnter (e);
}

void FlatToggleButton::mouseExit (const juce::MouseEvent& e)
{
    hovered = false;
    juce::ToggleButton::mouseExit (e);
}

void FlatToggleButton::mouseUp (const juce::MouseEvent& e)
{
    if (e.mods.isRightButtonDown())
        return;

    juce::ToggleButton::mouseUp (e);
}

void FlatToggleButton::paintButton (juce::Graphics& g, bool, bool)
{
    const bool on = getToggleState();
    const auto w = (float) getWidth(), h = (float) getHeight();

    auto fill = findColour (on ? onFillColourId : offFillColourId, false);
    if (hovered)
        fill = fill.brighter (0.15f);

    g.setColour (fill);
    g.fillRoundedRectangle (1.0f, 1.0f, w - 2.0f, h - 2.0f, (float) cornerSize);

    auto text = findColour (textColourId, false);
    if (hovered)
        text = text.brighter (0.3f);

    g.setColour (text);
    g.setFont (EmbeddedFonts::regularFont ((float) textHeight));
    g.drawText ((on ? onText : offText).toUpperCase(), juce::Rectangle<float> (0.0f, 0.0f, w, h), juce::Justification::centred, true);
}
