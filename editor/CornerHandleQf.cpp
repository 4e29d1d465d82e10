#include "CornerHandleQf.h"

#include <cmath>

CornerHandleQf::CornerHandleQf()
{
    setSize (30, 30);
}

void CornerHandleQf::mouseMove (const juce::MouseEvent&)
{
    repaint();
}

void CornerHandleQf::mouseEnter (const juce::MouseEvent&)
{
    highlighted = true;
    repaint();
}

void CornerHandleQf::mouseExit (const juce::MouseEvent&)
{
    highlighted = false;
    repaint();
}

void CornerHandleQf::resized()
{
    repaint();
}

void CornerHandleQf::paint (juce::Graphics& g)
{
    const auto w = (float) getWidth(), h = (float) getHeight();
    auto colour = gripColour;

    if (highlighted)
    {
        const float alpha = std::nearbyint ((float) gripColour.getAlpha() * 1.5f); // ties to even
        colour = gripColour.withAlpha ((juce::uint8) std::min (255.0f, alpha));
    }

    juce::Path triangle;
    triangle.startNewSubPath (0.0f, h);
    triangle.lineTo (w, 0.0f);
    triangle.lineTo (w, h);
    triangle.closeSubPath();

    g.setColour (colour);
    g.fillPath (triangle);
}
