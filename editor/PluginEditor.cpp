#include "PluginEditor.h"

#include <BinaryData.h>

#include <climits>
#include <cmath>

#include "PluginSettings.h"

namespace
{
constexpr float aspect = 1.7222222f;              // 620 / 360 as the sizing rules use it
constexpr double aspectExact = 1.7222222222222223; // as paint and the reset use it
} // namespace

std::function<void (const juce::URL&)> VantorixAudioProcessorEditor::openUrl = [] (const juce::URL& url) { (void) url.launchInDefaultBrowser(); };

VantorixAudioProcessorEditor::VantorixAudioProcessorEditor (VantorixAudioProcessor& p)
    : juce::AudioProcessorEditor (p), audioProcessor (p)
{
    audioProcessor.noteEditorThread();

    backgroundImage = juce::ImageFileFormat::loadFrom (BinaryData::background_png, (size_t) BinaryData::background_pngSize);

    setSize (620, 360);
    setLookAndFeel (&customLookAndFeel);
    setOpaque (true);
    setPaintingIsUnclipped (true);
    setResizable (false, false);
    setSizeLimits (1.0f);

    phaseButton.offText = "Off";
    phaseButton.onText = "On";
    phaseButton.cornerSize = 10;
    phaseButton.textHeight = 20;
    addAndMakeVisible (phaseButton);

    for (auto* knob : { &modeKnob, &timingKnob, &pitchKnob })
    {
        knob->strokeWidth = 2.0;
        addAndMakeVisible (*knob);
    }

    if (audioProcessor.parameterState.getParameter ("Phase") != nullptr)
        phaseAttachment = std::make_unique<juce::AudioProcessorValueTreeState::ButtonAttachment> (audioProcessor.parameterState, "Phase", phaseButton);

    attachParam (&modeKnob, 0);
    attachParam (&timingKnob, 1);
    attachParam (&pitchKnob, 2);

    for (auto* label : { &modeValueLabel, &timingValueLabel, &pitchValueLabel })
    {
        label->setText ("----", juce::dontSendNotification);
        label->setFont (EmbeddedFonts::regularFont (22.0f));
        label->setColour (juce::Label::textColourId, juce::Colour (0xff868686));
        label->setJustificationType (juce::Justification::centred);
        addAndMakeVisible (*label);
    }

    cornerHandle.addMouseListener (this, false);
    cornerHandle.setMouseCursor (juce::MouseCursor::BottomRightCornerResizeCursor);
    addAndMakeVisible (cornerHandle);

    modeKnob.setBounds (100, 122, 60, 70);
    timingKnob.setBounds (210, 122, 60, 70);
    pitchKnob.setBounds (320, 122, 60, 70);
    modeValueLabel.setBounds (75, 202, 110, 26);
    timingValueLabel.setBounds (185, 202, 110, 26);
    pitchValueLabel.setBounds (295, 202, 110, 26);
    phaseButton.setBounds (430, 144, 80, 28);

    const int saved = PluginSettings::width();
    applySizeClamp (saved == -1 ? getDefaultEditorWidth() : saved);
    repaint();

    // Picks up label refreshes requested from threads other than this one.
    startTimerHz (30);
}

VantorixAudioProcessorEditor::~VantorixAudioProcessorEditor()
{
    stopTimer();
    cornerHandle.removeMouseListener (this);
    setLookAndFeel (nullptr);
}

void VantorixAudioProcessorEditor::attachParam (juce::Slider* slider, int index)
{
    const auto id = ParameterLabel::get (index);
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> attachment;

    if (slider != nullptr && audioProcessor.parameterState.getParameter (id) != nullptr)
        attachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (audioProcessor.parameterState, id, *slider);

    if (index >= 0 && index < (int) sliderAttachments.size())
        sliderAttachments[(size_t) index] = std::move (attachment);
}

const juce::Displays::Display* VantorixAudioProcessorEditor::displayUnderEditor() const
{
    const auto& displays = juce::Desktop::getInstance().getDisplays().displays;

    if (displays.isEmpty())
        return nullptr;

    const auto point = getPosition();

    for (const auto& d : displays)
        if (d.totalArea.contains (point))
            return &d;

    const juce::Displays::Display* nearest = nullptr;
    int best = INT_MAX;

    for (const auto& d : displays)
    {
        const auto centre = d.totalArea.getCentre();
        const double dx = centre.x - point.x, dy = centre.y - point.y;
        const int distance = (int) std::sqrt (dx * dx + dy * dy);

        if (distance <= best) // a tie goes to the later display
        {
            best = distance;
            nearest = &d;
        }
    }

    return nearest;
}

int VantorixAudioProcessorEditor::getDefaultEditorWidth() const
{
    if (const auto* d = displayUnderEditor())
        return std::max (620, (int) ((double) d->totalArea.getWidth() * 0.2));

    return 620;
}

void VantorixAudioProcessorEditor::applySizeClamp (int requestedWidth)
{
    const int a = std::min (requestedWidth, maxWidth);
    const int h = (int) ((float) a / aspect);
    int width = a, height = h;

    if (h > maxHeight)
    {
        width = (int) ((float) maxHeight * aspect);
        height = maxHeight;
    }

    if (width < minWidth)
    {
        width = minWidth;
        height = (int) ((float) minWidth / aspect);
    }

    setSize (width, height);
}

void VantorixAudioProcessorEditor::setSizeLimits (float scale)
{
    if (scale == 0.0f)
        return;

    const auto* d = displayUnderEditor();

    if (d == nullptr)
        return;

    minWidth = (int) ((d->totalArea.getWidth() >= 2800 ? 600.0f : 400.0f) / scale);

    const double wCap = std::min (std::trunc ((double) d->userArea.getWidth() * 0.4 / (double) scale), 99999.0);
    const double hCap = std::trunc ((double) d->userArea.getHeight() * 0.6 / (double) scale);
    const int hForW = (int) (wCap / (double) aspect);

    maxWidth = (double) hForW <= hCap ? (int) wCap : (int) (hCap * (double) aspect);
    maxHeight = (int) std::min ((double) hForW, hCap);

    if (maxWidth < minWidth)
    {
        maxWidth = minWidth;
        maxHeight = (int) ((float) minWidth / aspect);
    }
}

void VantorixAudioProcessorEditor::setScaleFactor (float newScale)
{
    if (newScale != 0.0f)
    {
        setSizeLimits (newScale);
        juce::AudioProcessorEditor::setScaleFactor (newScale);
    }

    juce::MessageManager::callAsync ([safe = juce::Component::SafePointer<VantorixAudioProcessorEditor> (this), newScale] {
        if (safe != nullptr)
            safe->deferredResize (newScale);
    });
}

void VantorixAudioProcessorEditor::deferredResize (float scale)
{
    int w = PluginSettings::width();

    if (w == -1)
    {
        w = getDefaultEditorWidth();

        if (scale != 0.0f)
            PluginSettings::storeWidth (getWidth());
    }

    applySizeClamp (w);
    repaint();
}

void VantorixAudioProcessorEditor::visibilityChanged()
{
    setScaleFactor (0.0f);

    for (int i = 0; i < ParameterLabel::count; ++i)
        if (auto* p = audioProcessor.parameterState.getParameter (ParameterLabel::get (i)))
            audioProcessor.parameterValueChanged (i, p->getValue());
}

void VantorixAudioProcessorEditor::paint (juce::Graphics& g)
{
    const int W = getWidth();

    if (backgroundImage.isValid())
    {
        juce::AffineTransform transform;

        if (backgroundImage.getWidth() >= 1 && backgroundImage.getHeight() >= 1)
        {
            const auto heightForWidth = (float) ((double) W / aspectExact);
            const float k = std::min ((float) W / (float) backgroundImage.getWidth(), heightForWidth / (float) backgroundImage.getHeight());
            transform = juce::AffineTransform::scale (k);
        }

        g.drawImageTransformed (backgroundImage, transform);
    }

    g.setColour (juce::Colour (0x80ffffff));
    g.setFont (EmbeddedFonts::regularFont ((float) W / 620.0f * 16.0f));
    g.drawText (juce::String ("v") + JucePlugin_VersionString,
                juce::Rectangle<int> (W - 200, 0, 190, (int) ((float) W / 620.0f * 24.0f)),
                juce::Justification::centredRight, false);
}

void VantorixAudioProcessorEditor::resized()
{
    const float s = (float) getWidth() / 620.0f;
    const auto scale = juce::AffineTransform::scale (s);

    for (juce::Component* child : std::initializer_list<juce::Component*> { &phaseButton, &modeKnob, &timingKnob, &pitchKnob,
                                                                            &modeValueLabel, &timingValueLabel, &pitchValueLabel })
        child->setTransform (scale);

    const int d = s > 1.0f ? (int) (34.0f * s) : 34;
    cornerHandle.setBounds (getWidth() - d, getHeight() - d, d, d);
}

bool VantorixAudioProcessorEditor::isInLinkRegion (juce::Point<int> position) const
{
    const float s = (float) getWidth() / 620.0f;
    return (float) position.x > 580.0f * s && (float) position.y <= 20.0f * s;
}

void VantorixAudioProcessorEditor::mouseMove (const juce::MouseEvent& e)
{
    if (e.eventComponent != this)
        return;

    setMouseCursor (isInLinkRegion (e.getPosition()) ? juce::MouseCursor::PointingHandCursor : juce::MouseCursor::NormalCursor);
}

void VantorixAudioProcessorEditor::mouseDown (const juce::MouseEvent& e)
{
    if (e.mods.isRightButtonDown() || e.mods.isCtrlDown())
    {
        if (e.eventComponent == this)
            showContextMenu();
        return;
    }

    if (e.eventComponent == &cornerHandle)
    {
        isResizing = true;
        resizeStartWidth = getWidth();
        return;
    }

    if (e.eventComponent == this && isInLinkRegion (e.getPosition()))
        openUrl (juce::URL (productPage));
}

void VantorixAudioProcessorEditor::showContextMenu()
{
    juce::PopupMenu menu;
    menu.addItem (1, "Reset UI Size", true, false);
    menu.showMenuAsync (juce::PopupMenu::Options(), [safe = juce::Component::SafePointer<VantorixAudioProcessorEditor> (this)] (int result) {
        if (safe != nullptr && result == 1)
            safe->resetUiSize();
    });
}

void VantorixAudioProcessorEditor::resetUiSize()
{
    const int w = getDefaultEditorWidth();
    setBounds (getX(), getY(), w, (int) ((double) w / aspectExact));
    PluginSettings::storeWidth (w);
}

void VantorixAudioProcessorEditor::mouseDrag (const juce::MouseEvent& e)
{
    if (! isResizing)
        return;

    // Measured on the screen from the press, so that the handle's own movement
    // with the corner does not feed back; converted into the editor's units.
    const auto offset = (e.getScreenPosition() - e.getMouseDownScreenPosition()) / juce::Component::getApproximateScaleFactorForComponent (this);
    const int dx = juce::roundToInt (offset.x), dy = juce::roundToInt (offset.y);

    applySizeClamp (resizeStartWidth + std::max (dx, dy));
}

void VantorixAudioProcessorEditor::mouseUp (const juce::MouseEvent&)
{
    const bool wasResizing = isResizing;
    isResizing = false;
    resizeStartWidth = 0;

    if (wasResizing)
        PluginSettings::storeWidth (getWidth());
}

void VantorixAudioProcessorEditor::refreshValueLabel (int index)
{
    if (index < 0 || index > 2)
        return;

    auto* parameter = audioProcessor.parameterState.getParameter (ParameterLabel::get (index));

    if (parameter == nullptr)
        return;

    const double w = (double) parameter->getValue();
    juce::Label* label = nullptr;
    juce::String text;

    switch (index)
    {
        case 0: text = juce::String ((juce::int64) std::trunc (w * 3.999 + 1.0)); label = &modeValueLabel; break;
        case 1: text = juce::String ((juce::int64) std::trunc (w * 30.0 + 10.0)) + " ms"; label = &timingValueLabel; break;
        default: text = juce::String ((juce::int64) std::trunc (w * 10.0)) + " cent"; label = &pitchValueLabel; break;
    }

    label->setText (text, juce::sendNotificationAsync);
}

void VantorixAudioProcessorEditor::timerCallback()
{
    const uint32_t pending = audioProcessor.takePendingLabelRefreshes();

    for (int i = 0; i < 3; ++i)
        if ((pending & (1u << i)) != 0)
            refreshValueLabel (i);
}
