#include "PluginProcessor.h"

#include <cmath>

#include "PluginSettings.h"

#if __has_include("PluginEditor.h")
 #include "PluginEditor.h"
 #define VANTOR_HAS_EDITOR 1
#endif

VantorixAudioProcessor::VantorixAudioProcessor()
    : juce::AudioProcessor (BusesProperties()
                                .withInput ("Input", juce::AudioChannelSet::mono(), true)
                                .withOutput ("Output", juce::AudioChannelSet::mono(), true)),
      parameterState (*this, nullptr, "Vantor", createParameterLayout (this))
{
    for (auto& v : pendingValues)
        v.store (0.0f, std::memory_order_relaxed);

    controller.SetSamplerate (48000);
    controller.Reset();

    for (int i = 0; i < ParameterLabel::count; ++i)
        if (auto* p = parameterState.getParameter (ParameterLabel::get (i)))
            parameterValueChanged (i, p->getValue());

    // No block can run before the constructor returns, so the defaults are
    // put into the engine right away.
    applyPendingChanges();

    PluginSettings::load();
}

VantorixAudioProcessor::~VantorixAudioProcessor() = default;

void VantorixAudioProcessor::applyPendingChanges() noexcept
{
    const uint32_t mask = pendingMask.exchange (0, std::memory_order_acquire);

    for (int i = 0; i < ParameterLabel::count; ++i)
        if ((mask & (1u << i)) != 0)
            controller.applyParameter (i, pendingValues[(size_t) i].load (std::memory_order_relaxed));

    if (resetRequested.exchange (false, std::memory_order_acquire))
        controller.Reset();
}

void VantorixAudioProcessor::prepareToPlay (double sampleRate, int)
{
    applyPendingChanges();

    // A rate that is not a number, infinite or below 1 Hz is a host fault;
    // the engine then keeps to the 48 kHz it was built for.
    if (! (std::isfinite (sampleRate) && sampleRate >= 1.0))
    {
        if (controller.sampleRate != 48000)
            controller.SetSamplerate (48000);
        return;
    }

    if ((double) controller.sampleRate != sampleRate)
        controller.SetSamplerate ((int32_t) std::min (sampleRate, (double) Controller::maxSampleRate));
}

void VantorixAudioProcessor::reset()
{
    resetRequested.store (true, std::memory_order_release);
}

void VantorixAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    ScopedFlushToZero floatMode;

    applyPendingChanges();

    if (buffer.getNumChannels() < 1)
        return;

    controller.process (buffer.getWritePointer (0), buffer.getNumSamples());
}

bool VantorixAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    return layouts.getMainInputChannels() == 1 && layouts.getMainOutputChannels() == 1;
}

void VantorixAudioProcessor::parameterValueChanged (int parameterIndex, float newValue)
{
    if (parameterIndex < 0 || parameterIndex >= ParameterLabel::count)
        return;

    pendingValues[(size_t) parameterIndex].store (newValue, std::memory_order_relaxed);
    pendingMask.fetch_or (1u << parameterIndex, std::memory_order_release);

    refreshValueLabel (parameterIndex);
}

void VantorixAudioProcessor::refreshValueLabel (int parameterIndex)
{
    if (parameterIndex < 0 || parameterIndex > 2)
        return;

#if VANTOR_HAS_EDITOR
    // Components belong to the message thread. From any other thread (the
    // audio thread included) only a bit is set, which the open editor picks
    // up on its own timer; nothing is allocated, locked or touched here.
    if (const auto id = editorThread.load (std::memory_order_acquire); id != nullptr && id == juce::Thread::getCurrentThreadId())
    {
        if (auto* editor = dynamic_cast<VantorixAudioProcessorEditor*> (getActiveEditor()))
            editor->refreshValueLabel (parameterIndex);
        return;
    }
#endif

    pendingLabels.fetch_or (1u << parameterIndex, std::memory_order_release);
}

juce::AudioProcessorEditor* VantorixAudioProcessor::createEditor()
{
#if VANTOR_HAS_EDITOR
    return new VantorixAudioProcessorEditor (*this);
#else
    // Until the custom editor exists the framework's generic one stands in.
    return new juce::GenericAudioProcessorEditor (*this);
#endif
}

void VantorixAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    // copyState takes the state lock and flushes the parameters first.
    const auto state = parameterState.copyState();

    if (auto xml = state.createXml())
        copyXmlToBinary (*xml, destData);
}

void VantorixAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    if (data != nullptr && sizeInBytes > 0)
        if (auto xml = getXmlFromBinary (data, sizeInBytes))
            if (xml->getTagName().equalsIgnoreCase (parameterState.state.getType().toString()))
            {
                auto tree = juce::ValueTree::fromXml (*xml);
                completeStateTree (tree);
                parameterState.replaceState (tree);
            }

    // Whatever the block held, the signal state starts afresh; the audio
    // thread carries the reset out at the start of its next block.
    reset();
}

void VantorixAudioProcessor::completeStateTree (juce::ValueTree& tree) const
{
    // The framework appends a child for each parameter the restored text does
    // not name, but its flush writes only values changed since the last
    // flush, so such a child would be saved without a value and the next load
    // would put that parameter back to its default. Appending the children
    // here, with the current values and in the framework's (ID) order, keeps
    // the saved text complete.
    juce::StringArray ids;
    for (int i = 0; i < ParameterLabel::count; ++i)
        ids.add (ParameterLabel::get (i));
    ids.sort (false);

    for (const auto& id : ids)
    {
        if (tree.getChildWithProperty ("id", id).isValid())
            continue;

        if (auto* raw = parameterState.getRawParameterValue (id))
        {
            juce::ValueTree child ("PARAM");
            child.setProperty ("id", id, nullptr);
            child.setProperty ("value", raw->load(), nullptr);
            tree.appendChild (child, nullptr);
        }
    }
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new VantorixAudioProcessor();
}
