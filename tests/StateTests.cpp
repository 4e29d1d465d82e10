// The state block kept in the host's project: the exact bytes saved, and every
// rule of the restore.

#include <gtest/gtest.h>

#include <cstring>

#include "PluginProcessor.h"
#include "TestSignals.h"

namespace
{
const char* freshText = "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <Vantor><PARAM id=\"Mode\" value=\"1.0\"/>"
                        "<PARAM id=\"Phase\" value=\"1.0\"/><PARAM id=\"Pitch\" value=\"0.3999999761581421\"/>"
                        "<PARAM id=\"Timing\" value=\"0.199999988079071\"/></Vantor>";

juce::MemoryBlock frame (const std::string& text, int lengthOverride = -1, uint32_t magic = 0x21324356)
{
    juce::MemoryBlock b;
    juce::MemoryOutputStream out (b, false);
    out.writeInt ((int) magic);
    out.writeInt (lengthOverride >= 0 ? lengthOverride : (int) text.size());
    out.write (text.data(), text.size());
    out.writeByte (0);
    return b;
}

std::string xmlFor (const std::string& children, const std::string& root = "Vantor")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <" + root + ">" + children + "</" + root + ">";
}

std::string textOf (const juce::MemoryBlock& b)
{
    uint32_t length;
    std::memcpy (&length, (const char*) b.getData() + 4, 4);
    return std::string ((const char*) b.getData() + 8, length);
}

juce::MemoryBlock save (VantorixAudioProcessor& p)
{
    juce::MemoryBlock b;
    p.getStateInformation (b);
    return b;
}

float value (VantorixAudioProcessor& p, int index) { return p.getParameters()[index]->getValue(); }

// Counts the calls the restore makes into the parameter handler.
struct CountingProcessor : VantorixAudioProcessor
{
    int calls[4] = {};
    void parameterValueChanged (int index, float v) override
    {
        if (index >= 0 && index < 4)
            ++calls[index];
        VantorixAudioProcessor::parameterValueChanged (index, v);
    }
};

// Plays some audio so that a reset is observable afterwards.
void dirty (VantorixAudioProcessor& p)
{
    p.prepareToPlay (48000.0, 512);
    auto x = tsig::pluckedPhrase (48000, 0.3);
    float* ch = x.data();
    juce::AudioBuffer<float> buffer (&ch, 1, (int) x.size());
    juce::MidiBuffer midi;
    p.processBlock (buffer, midi);
    ASSERT_NE (p.getController().fastPower, 0.0f);
}

bool engineWasReset (VantorixAudioProcessor& p)
{
    p.applyPendingChanges();
    const auto& c = p.getController();
    return c.fastPower == 0.0f && c.slowPower == 0.0f && c.runsSinceDrift == 100000 && c.currentDelay == c.centreDelay;
}
} // namespace

TEST (StateSave, FreshInstanceWritesTheExactBlock)
{
    VantorixAudioProcessor p;
    const auto b = save (p);
    const std::string text (freshText);
    ASSERT_EQ (b.getSize(), text.size() + 9);
    const auto* bytes = (const uint8_t*) b.getData();
    EXPECT_EQ (bytes[0], 0x56);
    EXPECT_EQ (bytes[1], 0x43);
    EXPECT_EQ (bytes[2], 0x32);
    EXPECT_EQ (bytes[3], 0x21);
    EXPECT_EQ (textOf (b), text);
    EXPECT_EQ (bytes[b.getSize() - 1], 0);
    EXPECT_EQ (save (p), b); // twice without change: identical
}

TEST (StateSave, SavedValuesAreCurrentWithoutTheTimer)
{
    VantorixAudioProcessor p;
    p.getParameters()[1]->setValueNotifyingHost (0.5f);
    EXPECT_NE (textOf (save (p)).find ("<PARAM id=\"Timing\" value=\"0.5\"/>"), std::string::npos);
}

TEST (StateRestore, Cases)
{
    struct Case
    {
        const char* name;
        juce::MemoryBlock block;
        bool restored;
        float mode, timing, pitch, phase; // expected values when restored
        const char* nextSave;             // expected text of the next save, or null
    };

    const float dm = 1.0f, dt = 0.19999998807907104f, dp = 0.39999997615814209f, dph = 1.0f;
    const std::string all = "<PARAM id=\"Mode\" value=\"0.0\"/><PARAM id=\"Phase\" value=\"0.0\"/>"
                            "<PARAM id=\"Pitch\" value=\"0.5\"/><PARAM id=\"Timing\" value=\"0.25\"/>";

    std::vector<Case> cases;
    cases.push_back ({ "all four", frame (xmlFor (all)), true, 0.0f, 0.25f, 0.5f, 0.0f, nullptr });
    cases.push_back ({ "root in capitals", frame (xmlFor (all, "VANTOR")), true, 0.0f, 0.25f, 0.5f, 0.0f, nullptr });
    cases.push_back ({ "root in small letters", frame (xmlFor (all, "vantor")), true, 0.0f, 0.25f, 0.5f, 0.0f, nullptr });
    cases.push_back ({ "id in small letters is kept but ignored", frame (xmlFor ("<PARAM id=\"mode\" value=\"0.0\"/>")), true, dm, dt, dp, dph,
                       "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <Vantor><PARAM id=\"mode\" value=\"0.0\"/>"
                       "<PARAM id=\"Mode\" value=\"1.0\"/><PARAM id=\"Phase\" value=\"1.0\"/>"
                       "<PARAM id=\"Pitch\" value=\"0.3999999761581421\"/><PARAM id=\"Timing\" value=\"0.199999988079071\"/></Vantor>" });
    cases.push_back ({ "only Timing", frame (xmlFor ("<PARAM id=\"Timing\" value=\"0.5\"/>")), true, dm, 0.5f, dp, dph,
                       "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <Vantor><PARAM id=\"Timing\" value=\"0.5\"/>"
                       "<PARAM id=\"Mode\" value=\"1.0\"/><PARAM id=\"Phase\" value=\"1.0\"/>"
                       "<PARAM id=\"Pitch\" value=\"0.3999999761581421\"/></Vantor>" });
    cases.push_back ({ "Phase without value takes its default", frame (xmlFor ("<PARAM id=\"Phase\"/>")), true, dm, dt, dp, 1.0f, nullptr });
    cases.push_back ({ "values clamped", frame (xmlFor ("<PARAM id=\"Mode\" value=\"2\"/><PARAM id=\"Pitch\" value=\"-1\"/>")), true, 1.0f, dt, 0.0f, dph, nullptr });
    cases.push_back ({ "exponent accepted, snapped", frame (xmlFor ("<PARAM id=\"Pitch\" value=\"2.50004e-1\"/>")), true, dm, dt, 0.25f, dph, nullptr });
    cases.push_back ({ "last duplicate wins", frame (xmlFor ("<PARAM id=\"Pitch\" value=\"0.1\"/><X id=\"Pitch\" value=\"0.2\"/>")), true, dm, dt, 0.2f, dph, nullptr });
    cases.push_back ({ "length beyond the data, complete XML", frame (xmlFor ("<PARAM id=\"Pitch\" value=\"0.1\"/>"), 100000), true, dm, dt, 0.1f, dph, nullptr });

    juce::MemoryBlock eight;
    eight.append (frame (xmlFor (all)).getData(), 8);
    cases.push_back ({ "8 bytes", eight, false, 0, 0, 0, 0, nullptr });
    cases.push_back ({ "magic 0", frame (xmlFor (all), -1, 0), false, 0, 0, 0, 0, nullptr });
    cases.push_back ({ "length 0", frame (xmlFor (all), 0), false, 0, 0, 0, 0, nullptr });
    const auto full = xmlFor (all);
    cases.push_back ({ "truncated XML tail", frame (full.substr (0, full.size() - 12)), false, 0, 0, 0, 0, nullptr });
    cases.push_back ({ "other root", frame (xmlFor (all, "Doubler")), false, 0, 0, 0, 0, nullptr });
    cases.push_back ({ "empty text", frame (""), false, 0, 0, 0, 0, nullptr });
    cases.push_back ({ "zero byte first", frame (std::string ("\0", 1) + full), false, 0, 0, 0, 0, nullptr });

    for (auto& k : cases)
    {
        SCOPED_TRACE (k.name);
        VantorixAudioProcessor p;
        dirty (p);
        const auto before = save (p);
        p.setStateInformation (k.block.getData(), (int) k.block.getSize());
        EXPECT_TRUE (engineWasReset (p));

        if (k.restored)
        {
            EXPECT_FLOAT_EQ (value (p, 0), k.mode);
            EXPECT_FLOAT_EQ (value (p, 1), k.timing);
            EXPECT_FLOAT_EQ (value (p, 2), k.pitch);
            EXPECT_FLOAT_EQ (value (p, 3), k.phase);
            if (k.nextSave != nullptr)
                EXPECT_EQ (textOf (save (p)), k.nextSave);
        }
        else
        {
            EXPECT_EQ (save (p), before);
        }
    }
}

TEST (StateRestore, NegativeLengthFieldIsRefused)
{
    VantorixAudioProcessor p;
    const auto before = save (p);
    auto b = frame (xmlFor ("<PARAM id=\"Mode\" value=\"0.0\"/>"));
    const int32_t negative = -5;
    std::memcpy ((char*) b.getData() + 4, &negative, 4);
    p.setStateInformation (b.getData(), (int) b.getSize());
    EXPECT_EQ (save (p), before);
}

TEST (StateRestore, HandlerRunsOnlyForChangedValuesAndReachesTheEngine)
{
    CountingProcessor p;
    for (auto& c : p.calls)
        c = 0;
    auto b = frame (xmlFor ("<PARAM id=\"Mode\" value=\"1.0\"/><PARAM id=\"Timing\" value=\"0.5\"/>"
                            "<PARAM id=\"Pitch\" value=\"0.3999999761581421\"/><PARAM id=\"Phase\" value=\"0\"/>"));
    p.setStateInformation (b.getData(), (int) b.getSize());
    EXPECT_EQ (p.calls[0], 0);
    EXPECT_EQ (p.calls[1], 1);
    EXPECT_EQ (p.calls[2], 0);
    EXPECT_EQ (p.calls[3], 1);
    p.applyPendingChanges();
    EXPECT_EQ (p.getController().timingDelaySamples, 720);
    EXPECT_FALSE (p.getController().invert);
}

TEST (StateRestore, RoundTripIntoAFreshInstance)
{
    VantorixAudioProcessor a;
    a.getParameters()[0]->setValueNotifyingHost (0.4f);
    a.getParameters()[1]->setValueNotifyingHost (0.7f);
    a.getParameters()[3]->setValueNotifyingHost (0.0f);
    const auto saved = save (a);

    VantorixAudioProcessor b;
    b.setStateInformation (saved.getData(), (int) saved.getSize());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ (value (a, i), value (b, i)) << i;
    EXPECT_EQ (save (b), saved);
}

TEST (StateRestore, GarbageNeverCrashes)
{
    VantorixAudioProcessor p;
    const auto before = save (p);
    tsig::Lcg g (4);
    for (int round = 0; round < 300; ++round)
    {
        auto b = before;
        const int flips = 1 + (int) (g.next() % 8);
        for (int f = 0; f < flips; ++f)
            ((uint8_t*) b.getData())[g.next() % b.getSize()] = (uint8_t) g.next();
        const int size = (int) (g.next() % (b.getSize() + 1));
        p.setStateInformation (b.getData(), size);
        for (int i = 0; i < 4; ++i)
        {
            const float v = value (p, i);
            ASSERT_TRUE (v >= 0.0f && v <= 1.0f);
        }
    }
    p.setStateInformation (nullptr, 0);
    p.setStateInformation (nullptr, 100);
}

TEST (StateRestore, ParametersTheBlockDoesNotNameSurviveTheNextRoundTrip)
{
    VantorixAudioProcessor p;
    p.getParameters()[0]->setValueNotifyingHost (0.0f); // Mode away from its default
    auto partial = frame (xmlFor ("<PARAM id=\"Timing\" value=\"0.5\"/>"));
    p.setStateInformation (partial.getData(), (int) partial.getSize());
    const auto saved = save (p);
    EXPECT_NE (textOf (saved).find ("<PARAM id=\"Mode\" value=\"0.0\"/>"), std::string::npos);

    VantorixAudioProcessor fresh;
    fresh.setStateInformation (saved.getData(), (int) saved.getSize());
    EXPECT_EQ (value (fresh, 0), 0.0f);
    EXPECT_EQ (value (fresh, 1), 0.5f);
}
