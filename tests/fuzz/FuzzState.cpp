// libFuzzer target: any bytes as a state block. The restore must never crash,
// leave a parameter outside 0..1, or leave the engine unable to play.

#include <cmath>
#include <cstdint>

#include "PluginProcessor.h"

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    static juce::ScopedJuceInitialiser_GUI juce;
    static VantorixAudioProcessor processor;

    processor.setStateInformation (data, (int) size);

    for (auto* p : processor.getParameters())
        if (! (p->getValue() >= 0.0f && p->getValue() <= 1.0f))
            __builtin_trap();

    juce::AudioBuffer<float> buffer (1, 64);
    buffer.clear();
    buffer.setSample (0, 0, 1.0f);
    juce::MidiBuffer midi;
    processor.processBlock (buffer, midi);
    for (int i = 0; i < 64; ++i)
        if (! std::isfinite (buffer.getSample (0, i)))
            __builtin_trap();

    juce::MemoryBlock saved;
    processor.getStateInformation (saved);
    if (saved.getSize() < 9)
        __builtin_trap();
    return 0;
}
