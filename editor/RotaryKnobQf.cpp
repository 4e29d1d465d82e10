#include "RotaryKnobQf.h"

RotaryKnobQf::RotaryKnobQf()
{
    setTextBoxStyle (juce::Slider::NoTextBox, false, 70, 25);
    setSliderStyle (juce::Slider::RotaryVerticalDrag);
    setRange (0.0, 1.0, 0.0);
}

void RotaryKnobQf::mouseEnter (const juce::MouseEvent& e)
{
    hovered = true;
    juce::Slider::mouseEnter (e);
}

void RotaryKnobQf::mouseExit (const juce::MouseEvent& e)
{
    hovered = false;
    juce::Slider::mouseExit (e);
}

void RotaryKnobQf::resized()
{
    fullDragDistance = std::max (100, 2 * getHeight());
    setMouseDragSensitivity (fullDragDistance);
}

void RotaryKnobQf::paint (juce::Graphics& g)
{
    constexpr double pi = juce::MathConstants<double>::pi;
    const double v = getValue(), lo = getMinimum(), hi = getMaximum();
    const double p = (v - lo) / (hi - lo);
    const double t = strokeWidth;
    const int w = getWidth();
    const double c = w * 0.5;
    const double r = (double) (w / 2) - 0.5 * t - 1.0;
    const juce::PathStrokeType stroke ((float) t, juce::PathStrokeType::mitered, juce::PathStrokeType::butt);

    const auto arcX = (float) (c - r), arcSize = (float) (2.0 * r);
    juce::Path path;

    if (showArcs)
    {
        const auto a = (float) ((1.5 * p - 0.75) * pi);

        g.setColour (juce::Colour (hovered ? 0x386FA2B2u : 0x386199ABu));
        path.addArc (arcX, arcX, arcSize, arcSize, a, 2.3561945f, true);
        g.strokePath (path, stroke);
        path.clear();

        g.setColour (juce::Colour (hovered ? 0xFF74ABD2u : 0xFF67A3CEu));
        path.addArc (arcX, arcX, arcSize, arcSize, -2.3561945f, a, true);
        g.strokePath (path, stroke);
        path.clear();
    }

    g.setColour (hovered ? juce::Colours::black.brighter (0.3f).withAlpha ((juce::uint8) 0xB2) : juce::Colour (0xB2000000));

    const double r2 = r - 4.0 * t;
    path.addEllipse ((float) (c - r2), (float) (c - r2), (float) (2.0 * r2), (float) (2.0 * r2));
    g.strokePath (path, stroke);
    path.clear();

    const double theta = ((1.5 - 2.0 * t / 300.0) * p - (0.25 - t / 300.0)) * pi;
    const double x0 = c - r2;
    path.addLineSegment (juce::Line<float> ((float) (x0 + 0.5 * t + t / 100.0), (float) c, (float) (x0 + 18.0), (float) c), (float) t);
    g.fillPath (path, juce::AffineTransform::rotation ((float) theta, (float) c, (float) c));
}
