// vantor-render and the demo helpers, run as programs, against the processor
// in-process.

#include <gtest/gtest.h>
#include <juce_audio_formats/juce_audio_formats.h>

#include <cstring>

#include "PluginProcessor.h"
#include "TestSignals.h"

namespace
{
struct Result
{
    int code;
    juce::String output;
};

Result runTool (const char* tool, const juce::StringArray& args)
{
    juce::ChildProcess p;
    juce::StringArray command;
    command.add (tool);
    command.addArray (args);
    if (! p.start (command, juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr))
        return { -1, "could not start" };
    const auto output = p.readAllProcessOutput();
    p.waitForProcessToFinish (60000);
    return { (int) p.getExitCode(), output };
}

juce::AudioBuffer<float> readWav (const juce::File& f, double* rate = nullptr, int* bits = nullptr)
{
    juce::AudioFormatManager m;
    m.registerBasicFormats();
    std::unique_ptr<juce::AudioFormatReader> r (m.createReaderFor (f));
    juce::AudioBuffer<float> b;
    if (r == nullptr)
        return b;
    if (rate != nullptr)
        *rate = r->sampleRate;
    if (bits != nullptr)
        *bits = (int) r->bitsPerSample * (r->usesFloatingPointData ? -1 : 1);
    b.setSize ((int) r->numChannels, (int) r->lengthInSamples);
    r->read (&b, 0, b.getNumSamples(), 0, true, true);
    return b;
}

void writeWav (const juce::File& f, const juce::AudioBuffer<float>& b, double rate)
{
    f.deleteFile();
    auto stream = std::make_unique<juce::FileOutputStream> (f);
    std::unique_ptr<juce::AudioFormatWriter> w (juce::WavAudioFormat().createWriterFor (stream.get(), rate, (unsigned) b.getNumChannels(), 32, {}, 0));
    stream.release();
    w->writeFromAudioSampleBuffer (b, 0, b.getNumSamples());
}

class RenderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = juce::File::createTempFile ("render");
        dir.createDirectory();
        const auto x = tsig::pluckedPhrase (44100, 4.0);
        juce::AudioBuffer<float> b (1, (int) x.size());
        b.copyFrom (0, 0, x.data(), (int) x.size());
        input = dir.getChildFile ("in.wav");
        writeWav (input, b, 44100.0);
    }
    void TearDown() override { dir.deleteRecursively(); }
    juce::String path (const char* name) const { return dir.getChildFile (name).getFullPathName(); }

    juce::File dir, input;
};
} // namespace

TEST_F (RenderTest, SameSamplesAsTheProcessorInProcess)
{
    const auto r = runTool (VANTOR_RENDER, { input.getFullPathName(), path ("out.wav"), "--mode", "2", "--timing-ms", "12", "--pitch-cents", "0",
                                             "--phase", "normal", "--block", "300", "--quiet" });
    ASSERT_EQ (r.code, 0) << r.output;
    double rate = 0;
    int bits = 0;
    const auto rendered = readWav (dir.getChildFile ("out.wav"), &rate, &bits);
    EXPECT_EQ (rate, 44100.0);
    EXPECT_EQ (bits, -32); // 32-bit float
    ASSERT_EQ (rendered.getNumChannels(), 1);

    VantorixAudioProcessor p;
    p.getParameters()[0]->setValueNotifyingHost (1.0f / 3.0f);
    p.getParameters()[1]->setValueNotifyingHost (12.0f / 30.0f);
    p.getParameters()[2]->setValueNotifyingHost (0.0f);
    p.getParameters()[3]->setValueNotifyingHost (0.0f);
    p.prepareToPlay (44100.0, 300);
    auto expected = readWav (input);
    ASSERT_EQ (expected.getNumSamples(), rendered.getNumSamples());
    juce::MidiBuffer midi;
    for (int pos = 0; pos < expected.getNumSamples(); pos += 300)
    {
        float* ch = expected.getWritePointer (0) + pos;
        juce::AudioBuffer<float> block (&ch, 1, std::min (300, expected.getNumSamples() - pos));
        p.processBlock (block, midi);
    }
    EXPECT_EQ (std::memcmp (expected.getReadPointer (0), rendered.getReadPointer (0), sizeof (float) * (size_t) expected.getNumSamples()), 0);
}

TEST_F (RenderTest, StateSavedByOneRunIsLoadedByTheNext)
{
    auto r = runTool (VANTOR_RENDER, { input.getFullPathName(), path ("a.wav"), "--param", "Timing=0.25", "--mode", "3", "--phase", "normal",
                                       "--save-state", path ("take.vantor"), "--quiet" });
    ASSERT_EQ (r.code, 0) << r.output;
    r = runTool (VANTOR_RENDER, { input.getFullPathName(), path ("b.wav"), "--state", path ("take.vantor"), "--save-state", path ("again.vantor"), "--quiet" });
    ASSERT_EQ (r.code, 0) << r.output;
    juce::MemoryBlock first, second;
    dir.getChildFile ("take.vantor").loadFileAsData (first);
    dir.getChildFile ("again.vantor").loadFileAsData (second);
    EXPECT_EQ (first, second);

    VantorixAudioProcessor p;
    p.setStateInformation (first.getData(), (int) first.getSize());
    EXPECT_FLOAT_EQ (p.getParameters()[1]->getValue(), 0.25f);
    EXPECT_FLOAT_EQ (p.getParameters()[0]->getValue(), 0.6667f);
    EXPECT_FLOAT_EQ (p.getParameters()[3]->getValue(), 0.0f);
}

TEST_F (RenderTest, PairHasDryLeftAndDoubleRight)
{
    ASSERT_EQ (runTool (VANTOR_RENDER, { input.getFullPathName(), path ("pair.wav"), "--pair", "--quiet" }).code, 0);
    ASSERT_EQ (runTool (VANTOR_RENDER, { input.getFullPathName(), path ("double.wav"), "--quiet" }).code, 0);
    const auto pair = readWav (dir.getChildFile ("pair.wav")), dbl = readWav (dir.getChildFile ("double.wav")), dry = readWav (input);
    ASSERT_EQ (pair.getNumChannels(), 2);
    EXPECT_EQ (std::memcmp (pair.getReadPointer (0), dry.getReadPointer (0), sizeof (float) * (size_t) dry.getNumSamples()), 0);
    EXPECT_EQ (std::memcmp (pair.getReadPointer (1), dbl.getReadPointer (0), sizeof (float) * (size_t) dry.getNumSamples()), 0);
}

TEST_F (RenderTest, MultichannelNeedsAChoice)
{
    juce::AudioBuffer<float> stereo (2, 44100);
    stereo.clear();
    for (int i = 0; i < 44100; ++i)
        stereo.setSample (1, i, 0.5f * std::sin ((float) i * 0.05f));
    writeWav (dir.getChildFile ("st.wav"), stereo, 44100.0);

    const auto refused = runTool (VANTOR_RENDER, { path ("st.wav"), path ("o.wav") });
    EXPECT_EQ (refused.code, 2);
    EXPECT_TRUE (refused.output.contains ("--channel N") && refused.output.contains ("--mix")) << refused.output;
    EXPECT_FALSE (dir.getChildFile ("o.wav").exists());

    ASSERT_EQ (runTool (VANTOR_RENDER, { path ("st.wav"), path ("c2.wav"), "--channel", "2", "--quiet" }).code, 0);
    ASSERT_EQ (runTool (VANTOR_RENDER, { path ("st.wav"), path ("mix.wav"), "--mix", "--quiet" }).code, 0);
    const auto c2 = readWav (dir.getChildFile ("c2.wav")), mix = readWav (dir.getChildFile ("mix.wav"));
    EXPECT_GT (c2.getMagnitude (0, 0, c2.getNumSamples()), 0.1f);
    // Channel 1 is silent, so the sum equals channel 2.
    EXPECT_EQ (std::memcmp (c2.getReadPointer (0), mix.getReadPointer (0), sizeof (float) * (size_t) c2.getNumSamples()), 0);
}

TEST_F (RenderTest, BadInvocations)
{
    dir.getChildFile ("text.wav").replaceWithText ("not audio");
    dir.getChildFile ("locked").createDirectory();
    struct Case
    {
        juce::StringArray args;
        int code;
        const char* message;
    };
    const juce::String in = input.getFullPathName(), out = path ("bad.wav");
    const std::vector<Case> cases = {
        { { path ("missing.wav"), out }, 1, "no such file" },
        { { path ("text.wav"), out }, 1, "unknown or unreadable audio format" },
        { { in, out, "--frobnicate" }, 2, "unknown option --frobnicate" },
        { { in, out, "--mode", "five" }, 2, "not a number" },
        { { in, out, "--mode", "5" }, 2, "out of range" },
        { { in, out, "--timing-ms", "-1" }, 2, "out of range" },
        { { in, out, "--pitch-cents", "11" }, 2, "out of range" },
        { { in, out, "--phase", "upside" }, 2, "expected normal or inverted" },
        { { in, out, "--param", "Volume=0.5" }, 2, "expected ID=VALUE" },
        { { in, out, "--param", "Mode=2" }, 2, "out of range" },
        { { in, out, "--block", "0" }, 2, "out of range" },
        { { in, out, "--block" }, 2, "needs a value" },
        { { in }, 2, "expected IN and OUT" },
        { { in, path ("nowhere/deeper/out.wav") }, 1, "cannot write" },
        { { in, path ("locked") }, 1, "cannot write" },
        { { in, out, "--state", path ("missing.state") }, 1, "cannot read state" },
    };
    for (const auto& k : cases)
    {
        const auto r = runTool (VANTOR_RENDER, k.args);
        EXPECT_EQ (r.code, k.code) << k.args.joinIntoString (" ") << ": " << r.output;
        EXPECT_TRUE (r.output.contains (k.message)) << r.output;
        EXPECT_TRUE (r.output.startsWith ("vantor-render: ")) << r.output;
        EXPECT_EQ (r.output.trim().indexOfChar ('\n'), -1) << r.output; // one line
        EXPECT_FALSE (dir.getChildFile ("bad.wav").exists());
        EXPECT_EQ (dir.getNumberOfChildFiles (juce::File::findFiles, ".*.part*"), 0);
    }
    EXPECT_TRUE (dir.getChildFile ("locked").isDirectory());

    const auto help = runTool (VANTOR_RENDER, { "--help" });
    EXPECT_EQ (help.code, 0);
    EXPECT_TRUE (help.output.contains ("Examples:"));
}

TEST_F (RenderTest, ProgressBarOnlyForLongFilesAndNotWhenQuiet)
{
    const auto shown = runTool (VANTOR_RENDER, { input.getFullPathName(), path ("p.wav") });
    EXPECT_TRUE (shown.output.contains ("100%"));
    const auto quiet = runTool (VANTOR_RENDER, { input.getFullPathName(), path ("q.wav"), "--quiet" });
    EXPECT_EQ (quiet.output, "");
}

TEST_F (RenderTest, DemoWritesDoublePairAndPicture)
{
    ASSERT_EQ (runTool (VANTOR_DEMO, { "phrase", path ("phrase.wav") }).code, 0);
    ASSERT_EQ (runTool (VANTOR_RENDER, { path ("phrase.wav"), path ("double.wav"), "--drift-log", path ("drift.csv"), "--quiet" }).code, 0);
    ASSERT_EQ (runTool (VANTOR_RENDER, { path ("phrase.wav"), path ("pair.wav"), "--pair", "--quiet" }).code, 0);
    ASSERT_EQ (runTool (VANTOR_DEMO, { "plot", path ("phrase.wav"), path ("double.wav"), path ("drift.csv"), path ("drift.png") }).code, 0);

    const auto picture = juce::ImageFileFormat::loadFrom (dir.getChildFile ("drift.png"));
    EXPECT_EQ (picture.getWidth(), 1600);
    EXPECT_EQ (picture.getHeight(), 900);

    double rate = 0;
    const auto dry = readWav (dir.getChildFile ("phrase.wav"), &rate), dbl = readWav (dir.getChildFile ("double.wav"));
    ASSERT_EQ (dry.getNumSamples(), dbl.getNumSamples());
    auto firstSound = [] (const juce::AudioBuffer<float>& b) {
        for (int i = 0; i < b.getNumSamples(); ++i)
            if (b.getSample (0, i) != 0.0f)
                return i;
        return -1;
    };
    // 10 ms of drift centre (441) plus the default 6 ms Timing (264) at 44.1 kHz.
    EXPECT_EQ (firstSound (dbl) - firstSound (dry), 441 + 264);
    double difference = 0;
    for (int i = 0; i < dry.getNumSamples(); ++i)
        difference += std::abs (dry.getSample (0, i) - dbl.getSample (0, i));
    EXPECT_GT (difference, 100.0);

    juce::StringArray lines;
    dir.getChildFile ("drift.csv").readLines (lines);
    int onsets = 0;
    for (auto& l : lines)
        onsets += l.endsWith (",1");
    EXPECT_GE (onsets, 8);
}
