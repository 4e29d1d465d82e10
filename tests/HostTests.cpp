// The built VST3 and LV2 bundles, loaded the way a host loads them: through
// JUCE's own plug-in hosting, not from the source. The audio is compared with
// the engine run in-process with the same settings.

#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "Controller.h"
#include "TestSignals.h"

namespace
{
enum class Format
{
    vst3,
    lv2
};

std::string formatName (Format f) { return f == Format::vst3 ? "VST3" : "LV2"; }

std::unique_ptr<juce::AudioPluginInstance> load (Format f, bool prepare = true, double rate = 48000.0, int block = 512)
{
    juce::AudioPluginFormatManager manager;
    std::unique_ptr<juce::AudioPluginFormat> format;
    juce::String identifier;

    if (f == Format::vst3)
    {
        format = std::make_unique<juce::VST3PluginFormat>();
        identifier = VANTOR_VST3_BUNDLE;
    }
    else
    {
        // JUCE finds LV2 plug-ins by URI, after a search of the bundle's folder.
        format = std::make_unique<juce::LV2PluginFormat>();
        const auto uris = format->searchPathsForPlugins (juce::FileSearchPath (VANTOR_LV2_DIR), true, false);
        EXPECT_TRUE (uris.contains (VANTOR_LV2_URI)) << uris.joinIntoString (", ");
        identifier = VANTOR_LV2_URI;
    }

    juce::OwnedArray<juce::PluginDescription> found;
    format->findAllTypesForFile (found, identifier);
    if (found.isEmpty())
        return nullptr;

    juce::String error;
    auto* formatPtr = format.get();
    manager.addFormat (format.release());
    auto instance = manager.createPluginInstance (*found[0], rate, block, error);
    (void) formatPtr;
    if (instance != nullptr && prepare)
    {
        instance->enableAllBuses();
        instance->prepareToPlay (rate, block);
    }
    return instance;
}

juce::AudioProcessorParameter* byName (juce::AudioPluginInstance& p, const juce::String& name)
{
    for (auto* q : p.getParameters())
        if (q->getName (100) == name)
            return q;
    return nullptr;
}

const char* const parameterNames[] = { "Mode", "Timing", "Pitch", "Phase" };

class Hosted : public ::testing::TestWithParam<Format>
{
};

std::vector<float> process (juce::AudioPluginInstance& p, std::vector<float> x, int block)
{
    juce::AudioBuffer<float> buffer (std::max (1, p.getTotalNumOutputChannels()), block);
    juce::MidiBuffer midi;
    for (size_t pos = 0; pos < x.size(); pos += (size_t) block)
    {
        const int n = (int) std::min<size_t> ((size_t) block, x.size() - pos);
        buffer.setSize (buffer.getNumChannels(), n, false, false, true);
        buffer.clear();
        buffer.copyFrom (0, 0, x.data() + pos, n);
        p.processBlock (buffer, midi);
        std::memcpy (x.data() + pos, buffer.getReadPointer (0), sizeof (float) * (size_t) n);
    }
    return x;
}
} // namespace

TEST_P (Hosted, IdentityBusesAndParameters)
{
    // Layouts are asked before activation, as a host does when it sets up.
    auto p = load (GetParam(), false);
    ASSERT_NE (p, nullptr) << formatName (GetParam());
    EXPECT_EQ (p->getName(), "Vantor");
    EXPECT_EQ (p->getTotalNumInputChannels(), 1);
    EXPECT_EQ (p->getTotalNumOutputChannels(), 1);
    EXPECT_FALSE (p->acceptsMidi());
    EXPECT_FALSE (p->producesMidi());
    EXPECT_EQ (p->getLatencySamples(), 0);
    EXPECT_EQ (p->getTailLengthSeconds(), 0.0);
    EXPECT_FALSE (p->supportsDoublePrecisionProcessing());

    juce::AudioProcessor::BusesLayout stereo;
    stereo.inputBuses.add (juce::AudioChannelSet::stereo());
    stereo.outputBuses.add (juce::AudioChannelSet::stereo());
    EXPECT_FALSE (p->checkBusesLayoutSupported (stereo));
    juce::AudioProcessor::BusesLayout mono;
    mono.inputBuses.add (juce::AudioChannelSet::mono());
    mono.outputBuses.add (juce::AudioChannelSet::mono());
    EXPECT_TRUE (p->checkBusesLayoutSupported (mono));

    p->enableAllBuses();
    p->prepareToPlay (48000.0, 512);
    EXPECT_EQ (p->getTotalNumInputChannels(), 1);

    const auto& params = p->getParameters();
    const char* names[] = { "Mode", "Timing", "Pitch", "Phase" };
    const char* vst3Ids[] = { "2403779", "357686378", "77124384", "77076827" };
    const float defaults[] = { 1.0f, 0.2f, 0.4f, 1.0f };

    if (GetParam() == Format::vst3)
    {
        // Ours first, in order; JUCE's wrapper adds the bypass VST3 hosts expect.
        ASSERT_EQ (params.size(), 5);
        EXPECT_EQ (params[4]->getName (100), "Bypass");
        for (int i = 0; i < 4; ++i)
        {
            EXPECT_EQ (params[i]->getName (100), names[i]);
            EXPECT_NEAR (params[i]->getDefaultValue(), defaults[i], 1e-4);
            EXPECT_NEAR (params[i]->getValue(), defaults[i], 1e-4);
            EXPECT_TRUE (params[i]->isAutomatable());
            auto* withId = dynamic_cast<juce::HostedAudioProcessorParameter*> (params[i]);
            ASSERT_NE (withId, nullptr);
            EXPECT_EQ (withId->getParameterID(), vst3Ids[i]);
        }
        // VST3 hosts ask for texts with a length; JUCE's host side cuts to it.
        EXPECT_EQ (params[1]->getText (0.5f, 128), "25 ms");
        EXPECT_EQ (params[3]->getText (1.0f, 128), "Inverted");
        EXPECT_EQ (params[3]->getText (0.0f, 128), "Normal");
        EXPECT_EQ (params[0]->getText (1.0f, 128), "4");
        EXPECT_EQ (params[2]->getText (0.4f, 128), "3 cent");
    }
    else
    {
        // JUCE's LV2 hosting lists parameters by symbol, with its own bypass;
        // LV2 carries no value texts, so only names and values are checked.
        ASSERT_EQ (params.size(), 5);
        for (int i = 0; i < 4; ++i)
        {
            auto it = std::find_if (params.begin(), params.end(), [&] (auto* q) { return q->getName (100) == names[i]; });
            ASSERT_NE (it, params.end()) << names[i];
            EXPECT_NEAR ((*it)->getDefaultValue(), defaults[i], 1e-4);
            EXPECT_NEAR ((*it)->getValue(), defaults[i], 1e-4);
        }
    }
}

TEST_P (Hosted, StateRoundTripAndGarbage)
{
    auto a = load (GetParam());
    ASSERT_NE (a, nullptr);
    byName (*a, "Mode")->setValueNotifyingHost (0.0f);
    byName (*a, "Timing")->setValueNotifyingHost (0.5f);
    byName (*a, "Phase")->setValueNotifyingHost (0.0f);
    process (*a, std::vector<float> (1024, 0.0f), 512); // LV2 delivers host changes at run()
    juce::MemoryBlock saved;
    a->getStateInformation (saved);
    ASSERT_GT (saved.getSize(), 0u);

    auto b = load (GetParam());
    ASSERT_NE (b, nullptr);
    b->setStateInformation (saved.getData(), (int) saved.getSize());
    // LV2 reports parameter changes back to the host from its next run.
    process (*b, std::vector<float> (1024, 0.0f), 512);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR (byName (*b, parameterNames[i])->getValue(), byName (*a, parameterNames[i])->getValue(), 1e-6) << i;
    juce::MemoryBlock again;
    b->getStateInformation (again);
    EXPECT_EQ (again, saved);

    tsig::Lcg g (21);
    for (int round = 0; round < 50; ++round)
    {
        juce::MemoryBlock junk (1 + g.next() % 300);
        for (size_t i = 0; i < junk.getSize(); ++i)
            junk[i] = (char) g.next();
        b->setStateInformation (junk.getData(), (int) junk.getSize());
    }
    process (*b, std::vector<float> (1024, 0.0f), 512);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR (byName (*b, parameterNames[i])->getValue(), byName (*a, parameterNames[i])->getValue(), 1e-6) << i;
}

TEST_P (Hosted, AudioEqualsTheEngineInProcess)
{
    for (int mode : { 1, 4 })
    {
        auto p = load (GetParam());
        ASSERT_NE (p, nullptr);
        const float modeValue = mode == 1 ? 0.0f : 1.0f;
        byName (*p, "Mode")->setValueNotifyingHost (modeValue);
        byName (*p, "Pitch")->setValueNotifyingHost (0.0f); // no dependence on rand()

        const auto input = tsig::pluckedPhrase (48000, 2.0);
        const auto hosted = process (*p, input, 512);

        auto engine = std::make_unique<Controller>();
        engine->SetSamplerate (48000);
        engine->applyParameter (0, modeValue);
        engine->applyParameter (1, 0.19999998807907104f);
        engine->applyParameter (2, 0.0f);
        engine->applyParameter (3, 1.0f);
        auto expected = input;
        {
            ScopedFlushToZero ftz;
            for (size_t pos = 0; pos < expected.size(); pos += 512)
                engine->process (expected.data() + pos, (int) std::min<size_t> (512, expected.size() - pos));
        }

        size_t mismatches = 0;
        for (size_t i = 0; i < input.size(); ++i)
            mismatches += std::memcmp (&hosted[i], &expected[i], sizeof (float)) != 0;
        EXPECT_EQ (mismatches, 0u) << formatName (GetParam()) << " mode " << mode;

        // The double: silent for 480 + 287 samples, then neither silence nor the dry signal.
        for (size_t i = 0; i < 767; ++i)
            ASSERT_EQ (hosted[i], 0.0f);
        double energy = 0.0, difference = 0.0;
        for (size_t i = 0; i < input.size(); ++i)
        {
            energy += hosted[i] * hosted[i];
            difference += (hosted[i] - input[i]) * (hosted[i] - input[i]);
        }
        EXPECT_GT (energy, 100.0);
        EXPECT_GT (difference, 100.0);
    }
}

INSTANTIATE_TEST_SUITE_P (Formats, Hosted, ::testing::Values (Format::vst3, Format::lv2),
                          [] (const ::testing::TestParamInfo<Format>& info) { return formatName (info.param); });

TEST (Lv2Bundle, UriInTheManifestMatchesTheBinary)
{
    const juce::File bundle = juce::File (VANTOR_LV2_DIR).getChildFile ("Vantor.lv2");
    const auto manifest = bundle.getChildFile ("manifest.ttl").loadFileAsString();
    EXPECT_TRUE (manifest.contains (juce::String ("<") + VANTOR_LV2_URI + ">")) << manifest;
    juce::MemoryBlock binary;
    ASSERT_TRUE (bundle.getChildFile ("libVantor.so").loadFileAsData (binary));
    const std::string bytes ((const char*) binary.getData(), binary.getSize());
    EXPECT_NE (bytes.find (VANTOR_LV2_URI), std::string::npos);
    EXPECT_EQ (manifest.indexOf ("<Vantor>"), -1);
}

// --- what a strict validator throws at a plug-in ---------------------------

TEST_P (Hosted, ManyInstancesComeAndGo)
{
    for (int round = 0; round < 3; ++round)
    {
        std::vector<std::unique_ptr<juce::AudioPluginInstance>> instances;
        for (int i = 0; i < 8; ++i)
        {
            instances.push_back (load (GetParam()));
            ASSERT_NE (instances.back(), nullptr);
        }
        for (auto& p : instances)
            process (*p, tsig::noise (1024, 0.3f, 3), 256);
    }
}

TEST_P (Hosted, RatesBlockSizesAndParameterSweeps)
{
    tsig::Lcg g (31);
    for (double rate : { 44100.0, 48000.0, 88200.0, 96000.0, 192000.0, 22050.0, 8000.0, 384000.0, 11025.5 })
    {
        SCOPED_TRACE (rate);
        auto p = load (GetParam(), true, rate, 8192);
        ASSERT_NE (p, nullptr);
        const auto input = tsig::pluckedPhrase ((int) rate, 1.0);
        juce::AudioBuffer<float> buffer (1, 8192);
        juce::MidiBuffer midi;
        for (size_t pos = 0; pos < input.size();)
        {
            const int n = (int) (g.next() % 8193); // 0 included
            const int m = (int) std::min<size_t> ((size_t) n, input.size() - pos);
            buffer.setSize (1, m, false, false, true);
            buffer.copyFrom (0, 0, input.data() + pos, m);
            auto& q = *p->getParameters()[(int) (g.next() % 4)];
            q.setValueNotifyingHost ((float) (g.next() % 10001) / 10000.0f);
            p->processBlock (buffer, midi);
            for (int i = 0; i < m; ++i)
                ASSERT_TRUE (std::isfinite (buffer.getSample (0, i)) && std::abs (buffer.getSample (0, i)) < 8.0f);
            pos += (size_t) std::max (m, 1);
        }
    }
}

TEST_P (Hosted, BlocksLongerThanTheEnginesBufferAndSilence)
{
    auto p = load (GetParam(), true, 48000.0, 200000);
    ASSERT_NE (p, nullptr);
    auto silence = process (*p, std::vector<float> (200000, 0.0f), 200000);
    for (float v : silence)
        ASSERT_EQ (v, 0.0f);
    auto x = process (*p, tsig::pluckedPhrase (48000, 4.2), 200000);
    for (float v : x)
        ASSERT_TRUE (std::isfinite (v));
}

TEST_P (Hosted, NonFiniteInputDoesNotStickAndResetsBetweenBlocks)
{
    auto p = load (GetParam());
    ASSERT_NE (p, nullptr);
    auto bad = tsig::noise (512, 0.5f, 5);
    bad[10] = std::numeric_limits<float>::quiet_NaN();
    bad[20] = std::numeric_limits<float>::infinity();
    process (*p, bad, 512);
    auto after = process (*p, std::vector<float> (4096, 0.0f), 512);
    for (float v : after)
        ASSERT_EQ (v, 0.0f);

    // Resets and state changes between blocks, as a host sends them.
    tsig::Lcg g (8);
    juce::MemoryBlock state;
    const auto phrase = tsig::pluckedPhrase (48000, 2.0);
    std::vector<float> music;
    for (size_t pos = 0; pos < phrase.size(); pos += 4800)
    {
        switch (g.next() % 3)
        {
            case 0: p->reset(); break;
            case 1: p->getStateInformation (state); break;
            default:
                if (state.getSize() > 0)
                    p->setStateInformation (state.getData(), (int) state.getSize());
                break;
        }
        auto piece = process (*p, std::vector<float> (phrase.begin() + (long) pos, phrase.begin() + (long) std::min (pos + 4800, phrase.size())), 256);
        music.insert (music.end(), piece.begin(), piece.end());
    }
    for (float v : music)
        ASSERT_TRUE (std::isfinite (v));
}
