// vantor-render: doubles an audio file with the plug-in's own processor, the
// same code a DAW runs, in host-sized blocks.

#include <juce_audio_formats/juce_audio_formats.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>

#include "PluginProcessor.h"

namespace
{
const char* usageText = R"(Usage: vantor-render IN OUT [options]

Doubles a mono recording: OUT gets the synthesised double as a 32-bit float
WAV at IN's sample rate. IN may be any file JUCE reads (WAV, AIFF).

Options (defaults are the plug-in's defaults):
  --mode 1..4              all-pass voicing (default 4)
  --timing-ms 0..30        extra delay of the double in ms (default 6)
  --pitch-cents 0..10      depth of the pitch drift in cents (default 4)
  --phase normal|inverted  polarity of the double (default inverted)
  --param ID=VALUE         set a parameter (Mode, Timing, Pitch, Phase) to a raw 0..1 value
  --state FILE             load a state block saved by --save-state or a host
  --save-state FILE        write the state block after the options are applied
  --pair                   write stereo: dry input left, double right
  --block N                block size in samples (default 512)
  --channel N              take channel N (1-based) of a multichannel input
  --mix                    sum a multichannel input to mono
  --drift-log FILE         write the drift delay per block as CSV (time_s,delay_ms,onset)
  --quiet                  no progress bar
  --help                   this text

Examples:
  vantor-render vocal.wav vocal-double.wav
  vantor-render guitar.aiff guitar-pair.wav --pair --mode 2 --timing-ms 12
  vantor-render take.wav out.wav --pitch-cents 0 --phase normal --save-state take.vantor
)";

struct Failure
{
    int code;
    std::string message;
};

[[noreturn]] void fail (int code, const juce::String& message)
{
    throw Failure { code, message.toStdString() };
}

double number (const juce::String& option, const juce::String& text, double lo, double hi)
{
    const auto t = text.trim();
    char* end = nullptr;
    const double v = std::strtod (t.toRawUTF8(), &end);
    if (t.isEmpty() || end == nullptr || *end != '\0' || ! std::isfinite (v))
        fail (2, option + ": not a number: '" + text + "'");
    if (v < lo || v > hi)
        fail (2, option + ": " + text + " is out of range " + juce::String (lo) + ".." + juce::String (hi));
    return v;
}

struct Options
{
    juce::File in, out, stateIn, stateOut, driftLog;
    std::vector<std::pair<int, float>> values; // parameter index, 0..1, applied in order
    bool pair = false, mix = false, quiet = false;
    int block = 512, channel = 0;
};

int parameterIndex (const juce::String& id)
{
    for (int i = 0; i < ParameterLabel::count; ++i)
        if (ParameterLabel::get (i) == id)
            return i;
    return -1;
}

Options parse (const juce::StringArray& args)
{
    Options o;
    juce::StringArray positional;
    for (int i = 0; i < args.size(); ++i)
    {
        const auto& a = args[i];
        auto value = [&]() -> juce::String {
            if (i + 1 >= args.size())
                fail (2, a + " needs a value");
            return args[++i];
        };
        auto file = [&] (const juce::String& v) { return juce::File::getCurrentWorkingDirectory().getChildFile (v); };

        if (a == "--help" || a == "-h")
            fail (0, usageText);
        else if (a == "--mode")
            o.values.push_back ({ 0, (float) ((number (a, value(), 1, 4) - 1.0) / 3.0) });
        else if (a == "--timing-ms")
            o.values.push_back ({ 1, (float) (number (a, value(), 0, 30) / 30.0) });
        else if (a == "--pitch-cents")
            o.values.push_back ({ 2, (float) (number (a, value(), 0, 10) / 10.0) });
        else if (a == "--phase")
        {
            const auto v = value();
            if (v != "normal" && v != "inverted")
                fail (2, "--phase: expected normal or inverted, got '" + v + "'");
            o.values.push_back ({ 3, v == "inverted" ? 1.0f : 0.0f });
        }
        else if (a == "--param")
        {
            const auto v = value();
            const auto id = v.upToFirstOccurrenceOf ("=", false, false);
            const int index = parameterIndex (id);
            if (index < 0 || ! v.contains ("="))
                fail (2, "--param: expected ID=VALUE with ID one of Mode, Timing, Pitch, Phase, got '" + v + "'");
            o.values.push_back ({ index, (float) number ("--param " + id, v.fromFirstOccurrenceOf ("=", false, false), 0, 1) });
        }
        else if (a == "--state")
            o.stateIn = file (value());
        else if (a == "--save-state")
            o.stateOut = file (value());
        else if (a == "--drift-log")
            o.driftLog = file (value());
        else if (a == "--pair")
            o.pair = true;
        else if (a == "--mix")
            o.mix = true;
        else if (a == "--quiet")
            o.quiet = true;
        else if (a == "--block")
            o.block = (int) number (a, value(), 1, 1 << 20);
        else if (a == "--channel")
            o.channel = (int) number (a, value(), 1, 1024);
        else if (a.startsWith ("-") && a.length() > 1)
            fail (2, "unknown option " + a + " (see --help)");
        else
            positional.add (a);
    }

    if (positional.size() != 2)
        fail (2, "expected IN and OUT (see --help)");
    o.in = juce::File::getCurrentWorkingDirectory().getChildFile (positional[0]);
    o.out = juce::File::getCurrentWorkingDirectory().getChildFile (positional[1]);
    if (o.mix && o.channel > 0)
        fail (2, "--mix and --channel exclude each other");
    return o;
}

void progress (bool show, juce::int64 done, juce::int64 total)
{
    static int lastPercent = -1;
    const int percent = (int) (100 * done / std::max<juce::int64> (1, total));
    if (! show || percent == lastPercent)
        return;
    lastPercent = percent;
    const int width = 40, filled = (int) (width * done / std::max<juce::int64> (1, total));
    std::fprintf (stderr, "\r[%s%s] %3d%%", std::string ((size_t) filled, '#').c_str(), std::string ((size_t) (width - filled), '.').c_str(),
                  (int) (100 * done / std::max<juce::int64> (1, total)));
    if (done >= total)
        std::fprintf (stderr, "\n");
    std::fflush (stderr);
}

int run (const Options& o)
{
    if (! o.in.existsAsFile())
        fail (1, "cannot read " + o.in.getFullPathName() + ": no such file");

    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (o.in));
    if (reader == nullptr)
        fail (1, "cannot read " + o.in.getFullPathName() + ": unknown or unreadable audio format");

    const int channels = (int) reader->numChannels;
    if (channels > 1 && ! o.mix && o.channel == 0)
        fail (2, o.in.getFileName() + " has " + juce::String (channels) + " channels; Vantor doubles one: choose with --channel N or sum with --mix");
    if (o.channel > channels)
        fail (2, "--channel " + juce::String (o.channel) + ": " + o.in.getFileName() + " has only " + juce::String (channels) + " channels");

    // juce::File::moveFileTo would remove an empty folder of that name.
    if (o.out.isDirectory())
        fail (1, "cannot write " + o.out.getFullPathName() + ": it is a folder");

    const double rate = reader->sampleRate;
    const auto length = reader->lengthInSamples;

    VantorixAudioProcessor processor;

    if (o.stateIn != juce::File())
    {
        juce::MemoryBlock state;
        if (! o.stateIn.loadFileAsData (state))
            fail (1, "cannot read state " + o.stateIn.getFullPathName());
        processor.setStateInformation (state.getData(), (int) state.getSize());
    }
    for (const auto& [index, value] : o.values)
        processor.getParameters()[index]->setValueNotifyingHost (value);

    if (o.stateOut != juce::File())
    {
        juce::MemoryBlock state;
        processor.getStateInformation (state);
        if (! o.stateOut.replaceWithData (state.getData(), state.getSize()))
            fail (1, "cannot write state " + o.stateOut.getFullPathName());
    }

    processor.setRateAndBufferSizeDetails (rate, o.block);
    processor.prepareToPlay (rate, o.block);

    // Written beside OUT and renamed only when everything succeeded.
    const auto temp = o.out.getSiblingFile ("." + o.out.getFileName() + ".part" + juce::String::toHexString (juce::Random::getSystemRandom().nextInt()));
    std::unique_ptr<juce::AudioFormatWriter> writer;
    {
        auto stream = std::make_unique<juce::FileOutputStream> (temp);
        if (! stream->openedOk())
            fail (1, "cannot write " + o.out.getFullPathName() + ": " + stream->getStatus().getErrorMessage());
        juce::WavAudioFormat wav;
        writer.reset (wav.createWriterFor (stream.get(), rate, o.pair ? 2u : 1u, 32, {}, 0));
        if (writer == nullptr)
        {
            stream.reset();
            temp.deleteFile();
            fail (1, "cannot write " + o.out.getFullPathName());
        }
        stream.release(); // the writer owns it now
    }

    std::unique_ptr<juce::FileOutputStream> log;
    if (o.driftLog != juce::File())
    {
        o.driftLog.deleteFile();
        log = std::make_unique<juce::FileOutputStream> (o.driftLog);
        if (! log->openedOk())
            fail (1, "cannot write " + o.driftLog.getFullPathName());
        *log << "time_s,delay_ms,onset\n";
    }

    const bool showProgress = ! o.quiet && (double) length / rate > 3.0;
    juce::AudioBuffer<float> in ((int) reader->numChannels, o.block), block (1, o.block), pair (2, o.block);
    juce::MidiBuffer midi;
    bool ok = true;
    const auto& engine = processor.getController();

    for (juce::int64 pos = 0; pos < length && ok; pos += o.block)
    {
        const int n = (int) std::min<juce::int64> (o.block, length - pos);
        in.setSize (in.getNumChannels(), n, false, false, true);
        block.setSize (1, n, false, false, true);
        ok = reader->read (&in, 0, n, pos, true, true);

        if (o.mix)
        {
            block.clear();
            for (int c = 0; c < in.getNumChannels(); ++c)
                block.addFrom (0, 0, in, c, 0, n);
        }
        else
        {
            block.copyFrom (0, 0, in, o.channel > 0 ? o.channel - 1 : 0, 0, n);
        }

        pair.setSize (2, n, false, false, true);
        pair.copyFrom (0, 0, block, 0, 0, n);
        const int runsBefore = engine.runsSinceDrift;
        processor.processBlock (block, midi);

        if (log != nullptr)
        {
            // An accepted onset restarts the count of detector runs.
            const bool onset = engine.runsSinceDrift < runsBefore;
            *log << juce::String ((double) (pos + n) / rate, 5) << "," << juce::String (engine.currentDelay * 1000.0 / engine.driftSampleRate, 4) << ","
                 << (onset ? "1" : "0") << "\n";
        }

        if (o.pair)
        {
            pair.copyFrom (1, 0, block, 0, 0, n);
            ok = ok && writer->writeFromAudioSampleBuffer (pair, 0, n);
        }
        else
        {
            ok = ok && writer->writeFromAudioSampleBuffer (block, 0, n);
        }
        progress (showProgress, pos + n, length);
    }

    ok = ok && writer->flush();
    writer.reset();

    if (! ok || ! temp.moveFileTo (o.out))
    {
        temp.deleteFile();
        fail (1, "cannot write " + o.out.getFullPathName());
    }
    return 0;
}
} // namespace

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;
    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    try
    {
        return run (parse (args));
    }
    catch (const Failure& f)
    {
        if (f.code == 0)
        {
            std::cout << f.message;
            return 0;
        }
        std::cerr << "vantor-render: " << f.message << "\n";
        return f.code;
    }
}
