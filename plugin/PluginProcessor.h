#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>

#include "Controller.h"
#include "Parameters.h"

class VantorixAudioProcessor : public juce::AudioProcessor,
                               public juce::AudioProcessorParameter::Listener
{
public:
    VantorixAudioProcessor();
    ~VantorixAudioProcessor() override;

    const juce::String getName() const override { return "Vantor"; }

    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override {}
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    using juce::AudioProcessor::processBlock;

    double getTailLengthSeconds() const override { return 0.0; }
    bool acceptsMidi() const override { return false; }
    bool producesMidi() const override { return false; }
    bool isMidiEffect() const override { return false; }

    void reset() override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override { return true; }

    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram (int) override {}
    const juce::String getProgramName (int) override { return "Default"; }
    void changeProgramName (int, const juce::String&) override {}

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    // Runs on whichever thread changed the parameter. The engine side is
    // staged (see applyPendingChanges); the label side is the editor's.
    void parameterValueChanged (int parameterIndex, float newValue) override;
    void parameterGestureChanged (int, bool) override {}

    // Carries staged parameter values and a requested reset into the engine.
    // Called at the start of every block, and from prepareToPlay and the
    // constructor, where no block can be running.
    void applyPendingChanges() noexcept;

    // Bits of parameter indices whose value label needs a refresh that came
    // from a thread other than the message thread; the editor polls them.
    uint32_t takePendingLabelRefreshes() noexcept { return pendingLabels.exchange (0, std::memory_order_acquire); }

    const Controller& getController() const noexcept { return controller; }

    // Called by the editor on the message thread. The handler compares
    // thread ids against it instead of asking the framework, whose check
    // takes a lock (not allowed on the audio thread).
    void noteEditorThread() noexcept { editorThread.store (juce::Thread::getCurrentThreadId(), std::memory_order_release); }

    juce::AudioProcessorValueTreeState parameterState;

private:
    void refreshValueLabel (int parameterIndex);
    void completeStateTree (juce::ValueTree& tree) const;

    Controller controller;

    // Hand-over to the audio thread. A writer stores the value, then sets its
    // bit with release order; the audio thread swaps the mask to zero with
    // acquire order and applies the values it names. No lock, no waiting, and
    // a block always runs with a complete voicing and Timing delay, because
    // the engine is rewritten only by the audio thread itself between blocks.
    std::array<std::atomic<float>, ParameterLabel::count> pendingValues;
    std::atomic<uint32_t> pendingMask { 0 };
    std::atomic<bool> resetRequested { false };
    std::atomic<uint32_t> pendingLabels { 0 };
    std::atomic<juce::Thread::ThreadID> editorThread { nullptr };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VantorixAudioProcessor)
};
