#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// A rotary slider turned by vertical drag, drawn as a 270-degree track with a
// light-blue value arc, a dark ring and a pointer. Brightens under the mouse.
class RotaryKnobQf : public juce::Slider
{
public:
    RotaryKnobQf();
    ~RotaryKnobQf() override = default;

    void mouseEnter (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;
    void resized() override;

    int getFullDragDistance() const noexcept { return fullDragDistance; }

    bool hovered = false;
    bool showArcs = true;
    double strokeWidth = 4.0;

private:
    int fullDragDistance = 100;
};
