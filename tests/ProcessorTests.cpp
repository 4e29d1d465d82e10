// The processor shell: parameters, their texts, the bus rule, fixed answers,
// prepareToPlay and the hand-over of changes to the audio thread.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "PluginProcessor.h"
#include "TestSignals.h"

namespace
{
juce::AudioProcessorParameter& param (VantorixAudioProcessor& p, int index)
{
    return *p.getParameters()[index];
}

juce::AudioParameterFloat& floatParam (VantorixAudioProcessor& p, int index)
{
    return *dynamic_cast<juce::AudioParameterFloat*> (p.getParameters()[index]);
}

void processAll (VantorixAudioProcessor& p, std::vector<float>& x, int block)
{
    juce::MidiBuffer midi;
    for (size_t pos = 0; pos < x.size(); pos += (size_t) block)
    {
        float* ch = x.data() + pos;
        juce::AudioBuffer<float> buffer (&ch, 1, (int) std::min<size_t> ((size_t) block, x.size() - pos));
        p.processBlock (buffer, midi);
    }
}

uint32_t bits (float f)
{
    uint32_t u;
    std::memcpy (&u, &f, sizeof u);
    return u;
}
} // namespace

TEST (Parameters, IdsOrderRangesAndDefaults)
{
    VantorixAudioProcessor p;
    const auto& params = p.getParameters();
    ASSERT_EQ (params.size(), 4);

    const char* ids[] = { "Mode", "Timing", "Pitch", "Phase" };
    const float defaults[] = { 1.0f, 0.19999998807907104f, 0.39999997615814209f, 1.0f };
    for (int i = 0; i < 4; ++i)
    {
        auto& f = param (p, i);
        auto& range = floatParam (p, i).range;
        EXPECT_EQ (floatParam (p, i).getParameterID(), ids[i]);
        EXPECT_EQ (f.getName (100), ids[i]);
        EXPECT_EQ (floatParam (p, i).getVersionHint(), 1);
        EXPECT_EQ (f.getLabel(), "");
        EXPECT_TRUE (f.isAutomatable());
        EXPECT_FALSE (f.isMetaParameter());
        EXPECT_EQ (range.start, 0.0f);
        EXPECT_EQ (range.end, 1.0f);
        EXPECT_EQ (range.interval, 0.0001f);
        EXPECT_EQ (bits (f.getValue()), bits (defaults[i])) << ids[i];
        EXPECT_EQ (bits (f.getDefaultValue()), bits (defaults[i])) << ids[i];
    }
}

TEST (Parameters, ValueTexts)
{
    VantorixAudioProcessor p;
    struct Case
    {
        int index;
        float value;
        int maxLength;
        const char* text;
    };
    const Case cases[] = {
        { 0, 1.0f, 0, "4" },         { 1, 0.2f, 0, "15 ms" },      { 2, 0.4f, 0, "3 cent" },   { 3, 1.0f, 0, "Inverted" },
        { 1, 0.0f, 0, "10 ms" },     { 1, 1.0f, 0, "40 ms" },      { 2, 1.0f, 0, "10 cent" },  { 0, 0.0f, 0, "1" },
        { 0, 0.25f, 0, "1" },        { 0, 0.2501f, 0, "2" },       { 0, 0.5001f, 0, "2" },     { 0, 0.5002f, 0, "3" },
        { 3, 0.7f, 0, "Normal" },    { 3, 0.9999f, 0, "Normal" },  { 1, 0.5f, 0, "25 ms" },    { 1, 0.5f, 3, "25 " },
        { 1, 0.5f, -1, "25 ms" },    { 0, 0.25004f, 0, "1" }, // snapped to 0.2500 first
    };
    for (const auto& k : cases)
        EXPECT_EQ (param (p, k.index).getText (k.value, k.maxLength), k.text) << k.index << " " << k.value;

    // The host's text-to-value is the framework's: a leading number, clamped.
    EXPECT_FLOAT_EQ (param (p, 1).getValueForText ("0.5"), 0.5f);
    EXPECT_FLOAT_EQ (param (p, 1).getValueForText ("16 ms"), 1.0f);
    EXPECT_FLOAT_EQ (param (p, 1).getValueForText ("fast"), 0.0f);
}

TEST (Processor, EngineAfterConstructionFollowsTheDefaults)
{
    VantorixAudioProcessor p;
    const auto& c = p.getController();
    EXPECT_EQ (c.sampleRate, 48000);
    EXPECT_EQ (c.mode, 4);
    EXPECT_EQ (c.activeSections, 12);
    EXPECT_EQ (c.timingDelaySamples, 287);
    EXPECT_LT (c.timingMs, 6.0f);
    EXPECT_LT (c.driftScale, 0.4f);
    EXPECT_GT (c.driftScale, 0.3999f);
    EXPECT_TRUE (c.invert);
    EXPECT_EQ (c.currentDelay, 480.0f);
}

TEST (Processor, FixedAnswers)
{
    VantorixAudioProcessor p;
    EXPECT_EQ (p.getName(), "Vantor");
    EXPECT_FALSE (p.acceptsMidi());
    EXPECT_FALSE (p.producesMidi());
    EXPECT_FALSE (p.isMidiEffect());
    EXPECT_EQ (p.getTailLengthSeconds(), 0.0);
    EXPECT_EQ (p.getLatencySamples(), 0);
    EXPECT_TRUE (p.hasEditor());
    EXPECT_FALSE (p.supportsDoublePrecisionProcessing());
    EXPECT_EQ (p.getNumPrograms(), 1);
    EXPECT_EQ (p.getProgramName (5), "Default");
    p.setCurrentProgram (3);
    EXPECT_EQ (p.getCurrentProgram(), 0);
    ASSERT_EQ (p.getBusCount (true), 1);
    ASSERT_EQ (p.getBusCount (false), 1);
    EXPECT_EQ (p.getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (p.getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (p.getTotalNumInputChannels(), 1);
    EXPECT_EQ (p.getTotalNumOutputChannels(), 1);
}

TEST (Processor, BusRule)
{
    using CS = juce::AudioChannelSet;
    struct Case
    {
        CS in, out;
        bool accepted;
    };
    const Case cases[] = {
        { CS::mono(), CS::mono(), true },
        { CS::discreteChannels (1), CS::discreteChannels (1), true },
        { CS::stereo(), CS::stereo(), false },
        { CS::mono(), CS::stereo(), false },
        { CS::disabled(), CS::mono(), false },
        { CS::mono(), CS::disabled(), false },
    };
    VantorixAudioProcessor p;
    for (const auto& k : cases)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (k.in);
        layout.outputBuses.add (k.out);
        EXPECT_EQ (p.checkBusesLayoutSupported (layout), k.accepted) << k.in.getDescription() << " -> " << k.out.getDescription();
    }
    juce::AudioProcessor::BusesLayout noInput;
    noInput.outputBuses.add (CS::mono());
    EXPECT_FALSE (p.checkBusesLayoutSupported (noInput));
}

TEST (Processor, PrepareAtTheSameRateKeepsStateAndAFractionalRateSetsUpAgain)
{
    VantorixAudioProcessor p;
    p.prepareToPlay (48000.0, 512);
    auto x = tsig::pluckedPhrase (48000, 1.0);
    processAll (p, x, 512);
    const float delay = p.getController().currentDelay;
    const float follower = p.getController().fastPower;
    ASSERT_NE (follower, 0.0f);

    p.prepareToPlay (48000.0, 64);
    EXPECT_EQ (p.getController().currentDelay, delay);
    EXPECT_EQ (p.getController().fastPower, follower);

    p.prepareToPlay (44100.7, 512);
    EXPECT_EQ (p.getController().sampleRate, 44100);
    std::vector<float> more (256, 0.3f);
    processAll (p, more, 256);
    ASSERT_NE (p.getController().fastPower, 0.0f);
    p.prepareToPlay (44100.7, 512); // differs from the stored integer: set up again
    EXPECT_EQ (p.getController().fastPower, 0.0f);

    for (double bad : { 0.0, -1.0, std::nan (""), std::numeric_limits<double>::infinity() })
    {
        p.prepareToPlay (bad, 512);
        EXPECT_EQ (p.getController().sampleRate, 48000) << bad;
    }
}

TEST (Processor, ResetTakesEffectAtTheNextBlock)
{
    VantorixAudioProcessor p;
    p.prepareToPlay (48000.0, 512);
    auto x = tsig::pluckedPhrase (48000, 0.5);
    processAll (p, x, 512);
    p.reset();
    std::vector<float> silence (512, 0.0f);
    processAll (p, silence, 512);
    for (float v : silence)
        ASSERT_EQ (v, 0.0f);
}

TEST (Processor, MidiIsIgnoredAndExtraChannelsUntouched)
{
    VantorixAudioProcessor p;
    p.prepareToPlay (48000.0, 256);
    juce::AudioBuffer<float> buffer (2, 256);
    buffer.clear();
    buffer.setSample (1, 10, 0.25f);
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 60, 1.0f), 0);
    p.processBlock (buffer, midi);
    EXPECT_EQ (midi.getNumEvents(), 1);
    EXPECT_EQ (buffer.getSample (1, 10), 0.25f);
}

TEST (Processor, HostAutomationChangesTheSound)
{
    VantorixAudioProcessor p;
    p.prepareToPlay (48000.0, 512);
    param (p, 0).setValueNotifyingHost (0.0f);
    param (p, 1).setValueNotifyingHost (0.5f);
    param (p, 3).setValueNotifyingHost (0.0f);
    std::vector<float> x (1, 0.0f);
    processAll (p, x, 1); // changes are in force from the next block on
    EXPECT_EQ (p.getController().mode, 1);
    EXPECT_EQ (p.getController().activeSections, 3);
    EXPECT_EQ (p.getController().timingDelaySamples, 720);
    EXPECT_FALSE (p.getController().invert);
}

TEST (Processor, ChangesFromAnotherThreadWhileBlocksRun)
{
    VantorixAudioProcessor p;
    p.prepareToPlay (48000.0, 256);
    std::atomic<bool> stop { false };

    std::thread writer ([&] {
        tsig::Lcg g (9);
        for (int i = 0; i < 20000; ++i)
        {
            param (p, (int) (g.next() % 4)).setValueNotifyingHost ((float) (g.next() % 10001) / 10000.0f);
            if (i % 997 == 0)
                p.reset();
        }
        param (p, 0).setValueNotifyingHost (1.0f / 3.0f);
        param (p, 1).setValueNotifyingHost (0.5f);
        param (p, 2).setValueNotifyingHost (0.0f);
        param (p, 3).setValueNotifyingHost (1.0f);
        stop = true;
    });

    auto input = tsig::pluckedPhrase (48000, 1.0);
    juce::MidiBuffer midi;
    int blocks = 0;
    while (! stop.load() || blocks < 4)
    {
        std::vector<float> x (input.begin() + (blocks % 100) * 256, input.begin() + (blocks % 100) * 256 + 256);
        float* ch = x.data();
        juce::AudioBuffer<float> buffer (&ch, 1, 256);
        p.processBlock (buffer, midi);
        const auto& c = p.getController();
        // Every block sees a whole voicing and a consistent Timing line.
        ASSERT_TRUE (c.activeSections == 3 || c.activeSections == 4 || c.activeSections == 5 || c.activeSections == 12);
        ASSERT_EQ ((c.timingWriteIndex - c.timingReadIndex + 48000) % 48000, c.timingDelaySamples);
        for (float v : x)
            ASSERT_TRUE (std::isfinite (v));
        ++blocks;
    }
    writer.join();

    std::vector<float> last (16, 0.0f);
    processAll (p, last, 16);
    const auto& c = p.getController();
    EXPECT_EQ (c.mode, 2);
    EXPECT_EQ (c.activeSections, 4);
    EXPECT_EQ (c.timingDelaySamples, 720);
    EXPECT_EQ (c.driftScale, 0.0f);
    EXPECT_TRUE (c.invert);
}

TEST (Processor, OutputIsTheDoubleNotTheDryInput)
{
    VantorixAudioProcessor p;
    p.prepareToPlay (48000.0, 512);
    param (p, 2).setValueNotifyingHost (0.0f);
    std::vector<float> x (4096, 0.0f);
    x[0] = 1.0f;
    processAll (p, x, 512);
    // Defaults: 480 samples of drift delay plus 287 of Timing, inverted.
    for (int i = 0; i < 767; ++i)
        ASSERT_EQ (x[(size_t) i], 0.0f) << i;
    EXPECT_LT (x[767], 0.0f);
}

TEST (Processor, StateRestoresAndResetsFromAnotherThreadWhileBlocksRun)
{
    VantorixAudioProcessor p;
    p.prepareToPlay (48000.0, 256);
    juce::MemoryBlock a, b;
    p.getStateInformation (a);
    p.getParameters()[0]->setValueNotifyingHost (0.0f);
    p.getParameters()[1]->setValueNotifyingHost (1.0f);
    p.getStateInformation (b);

    std::atomic<bool> stop { false };
    std::thread host ([&] {
        for (int i = 0; i < 400; ++i)
        {
            const auto& s = i % 2 ? a : b;
            p.setStateInformation (s.getData(), (int) s.getSize());
            juce::MemoryBlock saved;
            p.getStateInformation (saved);
            if (i % 5 == 0)
                p.reset();
        }
        p.setStateInformation (b.getData(), (int) b.getSize());
        stop = true;
    });

    const auto input = tsig::pluckedPhrase (48000, 1.0);
    juce::MidiBuffer midi;
    for (int block = 0; ! stop.load() || block < 2; ++block)
    {
        std::vector<float> x (input.begin() + (block % 150) * 256, input.begin() + (block % 150) * 256 + 256);
        float* ch = x.data();
        juce::AudioBuffer<float> buffer (&ch, 1, 256);
        p.processBlock (buffer, midi);
        for (float v : x)
            ASSERT_TRUE (std::isfinite (v));
    }
    host.join();
    std::vector<float> last (16, 0.0f);
    processAll (p, last, 16);
    EXPECT_EQ (p.getController().mode, 1);
    EXPECT_EQ (p.getController().timingDelaySamples, 1440);
}
