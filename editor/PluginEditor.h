#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <functional>
#include <memory>

#include "CornerHandleQf.h"
#include "CustomLookAndFeel.h"
#include "FlatToggleButton.h"
#include "PluginProcessor.h"
#include "RotaryKnobQf.h"

// The plug-in's window. Everything is laid out in a 620 x 360 base space and
// shown at the window's width through one scale transform per child.
class VantorixAudioProcessorEditor : public juce::AudioProcessorEditor,
                                     private juce::Timer
{
public:
    explicit VantorixAudioProcessorEditor (VantorixAudioProcessor&);
    ~VantorixAudioProcessorEditor() override;

    void mouseMove (const juce::MouseEvent&) override;
    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void visibilityChanged() override;
    void paint (juce::Graphics&) override;
    void resized() override;
    void setScaleFactor (float newScale) override;

    void attachParam (juce::Slider* slider, int index);
    void setSizeLimits (float scale);

    // Rewrites one value label from the parameter's current value. Message
    // thread only; the processor routes calls from other threads here
    // through pendingLabels and this editor's timer.
    void refreshValueLabel (int index);

    // The "Reset UI Size" action of the context menu.
    void resetUiSize();

    int getDefaultEditorWidth() const;
    void applySizeClamp (int requestedWidth);
    bool isInLinkRegion (juce::Point<int> position) const;

    int getMinWidth() const noexcept { return minWidth; }
    int getMaxWidth() const noexcept { return maxWidth; }
    int getMaxHeight() const noexcept { return maxHeight; }
    bool isResizingNow() const noexcept { return isResizing; }

    static constexpr const char* productPage = "https://quillfen.audio/vantor";
    // How the link is opened; replaceable so that tests need no browser.
    static std::function<void (const juce::URL&)> openUrl;

    juce::Label modeValueLabel;
    juce::Label timingValueLabel;
    juce::Label pitchValueLabel;

protected:
    virtual void showContextMenu();

private:
    void timerCallback() override;
    void deferredResize (float scale);
    const juce::Displays::Display* displayUnderEditor() const;

    VantorixAudioProcessor& audioProcessor;
    CustomLookAndFeel customLookAndFeel;

public:
    RotaryKnobQf modeKnob, timingKnob, pitchKnob;
    FlatToggleButton phaseButton;
    CornerHandleQf cornerHandle;

private:
    bool isResizing = false;
    int resizeStartWidth = 0;
    int minWidth = 400;
    int maxWidth = 1500;
    int maxHeight = 1000;

    std::array<std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment>, ParameterLabel::count> sliderAttachments;
    std::unique_ptr<juce::AudioProcessorValueTreeState::ButtonAttachment> phaseAttachment;
    juce::Image backgroundImage;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VantorixAudioProcessorEditor)
};
