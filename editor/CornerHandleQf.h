#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The resize grip: a translucent triangle in the lower-right half of its
// square. The editor listens to its mouse events and does the resizing.
class CornerHandleQf : public juce::Component
{
public:
    CornerHandleQf();
    ~CornerHandleQf() override = default;

    void mouseMove (const juce::MouseEvent&) override;
    void mouseEnter (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;
    void resized() override;

    juce::Colour gripColour { 0x40FFFFFF };
    bool highlighted = false; // lit while the pointer is over the grip
};
