// vantor-demo: the demo's two helpers.
//   vantor-demo phrase OUT.wav            a plucked phrase with clear onsets
//   vantor-demo plot IN DOUBLE CSV OUT.png  input, double and drift over time

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_graphics/juce_graphics.h>

#include <cmath>
#include <cstdio>

namespace
{
// Karplus-Strong plucks: a deterministic guitar-like phrase.
int writePhrase (const juce::File& out)
{
    const double rate = 44100.0;
    const int length = (int) (rate * 6.0);
    juce::AudioBuffer<float> buffer (1, length);
    buffer.clear();
    const double notes[] = { 196.0, 246.9, 293.7, 392.0, 329.6, 293.7, 246.9, 220.0, 261.6, 329.6, 392.0, 493.9 };
    uint32_t seed = 12345;
    for (int k = 0; k < 12; ++k)
    {
        const int start = (int) (rate * (0.15 + 0.47 * k));
        const int period = (int) std::round (rate / notes[k]);
        std::vector<float> ring ((size_t) period);
        for (auto& v : ring)
        {
            seed = seed * 1664525u + 1013904223u;
            v = ((float) (seed >> 8) / 8388608.0f - 1.0f) * 0.5f;
        }
        for (int i = 0, j = 0; start + i < length && i < (int) (rate * 1.2); ++i, j = (j + 1) % period)
        {
            const int next = (j + 1) % period;
            const float v = ring[(size_t) j];
            ring[(size_t) j] = 0.996f * 0.5f * (v + ring[(size_t) next]);
            buffer.addSample (0, start + i, v);
        }
    }
    buffer.applyGain (0.7f / std::max (0.001f, buffer.getMagnitude (0, length)));

    out.deleteFile();
    auto stream = std::make_unique<juce::FileOutputStream> (out);
    std::unique_ptr<juce::AudioFormatWriter> writer (juce::WavAudioFormat().createWriterFor (stream.get(), rate, 1, 24, {}, 0));
    if (writer == nullptr)
        return 1;
    stream.release();
    return writer->writeFromAudioSampleBuffer (buffer, 0, length) ? 0 : 1;
}

juce::AudioBuffer<float> readMono (const juce::File& f, double& rate)
{
    juce::AudioFormatManager m;
    m.registerBasicFormats();
    std::unique_ptr<juce::AudioFormatReader> r (m.createReaderFor (f));
    juce::AudioBuffer<float> b;
    if (r == nullptr)
        return b;
    rate = r->sampleRate;
    b.setSize ((int) r->numChannels, (int) r->lengthInSamples);
    r->read (&b, 0, b.getNumSamples(), 0, true, true);
    return b;
}

void waveform (juce::Graphics& g, const juce::AudioBuffer<float>& b, juce::Rectangle<float> area, juce::Colour colour)
{
    const int n = b.getNumSamples();
    const int columns = (int) area.getWidth();
    g.setColour (colour);
    for (int x = 0; x < columns && n > 0; ++x)
    {
        const int s0 = (int) ((juce::int64) n * x / columns), s1 = std::max (s0 + 1, (int) ((juce::int64) n * (x + 1) / columns));
        const auto range = juce::FloatVectorOperations::findMinAndMax (b.getReadPointer (0) + s0, std::min (s1, n) - s0);
        const float mid = area.getCentreY(), half = area.getHeight() * 0.5f;
        g.drawVerticalLine ((int) area.getX() + x, mid - range.getEnd() * half, mid - range.getStart() * half + 1.0f);
    }
}

int plot (const juce::File& in, const juce::File& doubled, const juce::File& csv, const juce::File& out)
{
    double rate = 44100.0, rate2 = 44100.0;
    const auto dry = readMono (in, rate);
    const auto wet = readMono (doubled, rate2);
    if (dry.getNumSamples() == 0 || wet.getNumSamples() == 0)
        return 1;

    juce::StringArray lines;
    csv.readLines (lines);
    std::vector<std::pair<double, double>> delay;
    std::vector<double> onsets;
    for (int i = 1; i < lines.size(); ++i)
    {
        const auto cells = juce::StringArray::fromTokens (lines[i], ",", "");
        if (cells.size() < 3)
            continue;
        delay.push_back ({ cells[0].getDoubleValue(), cells[1].getDoubleValue() });
        if (cells[2] == "1")
            onsets.push_back (cells[0].getDoubleValue());
    }

    const int W = 1600, H = 900;
    juce::Image image (juce::Image::RGB, W, H, true, juce::SoftwareImageType());
    juce::Graphics g (image);
    g.fillAll (juce::Colour (0xff1e2428));
    const double seconds = dry.getNumSamples() / rate;
    const float left = 90.0f, right = (float) W - 30.0f;
    auto xFor = [&] (double t) { return left + (float) (t / seconds) * (right - left); };

    const juce::Rectangle<float> top (left, 50, right - left, 220), middle (left, 320, right - left, 220), bottom (left, 590, right - left, 260);
    g.setFont (18.0f);
    g.setColour (juce::Colours::white.withAlpha (0.85f));
    g.drawText ("Input (dry)", (int) left, 20, 400, 26, juce::Justification::left);
    g.drawText ("Vantor double", (int) left, 290, 400, 26, juce::Justification::left);
    g.drawText ("Drift delay (ms); accepted onsets marked", (int) left, 560, 600, 26, juce::Justification::left);
    for (auto area : { top, middle, bottom })
    {
        g.setColour (juce::Colour (0xff2a3238));
        g.fillRect (area);
    }
    waveform (g, dry, top, juce::Colour (0xffc8ccce));
    waveform (g, wet, middle, juce::Colour (0xff67a3ce));

    // Delay axis: the drift range is 2..20 ms.
    auto yFor = [&] (double ms) { return bottom.getBottom() - (float) ((ms - 0.0) / 22.0) * bottom.getHeight(); };
    g.setFont (14.0f);
    for (double ms : { 2.0, 10.0, 20.0 })
    {
        g.setColour (juce::Colours::white.withAlpha (0.15f));
        g.drawHorizontalLine ((int) yFor (ms), bottom.getX(), bottom.getRight());
        g.setColour (juce::Colours::white.withAlpha (0.6f));
        g.drawText (juce::String ((int) ms) + " ms", 10, (int) yFor (ms) - 9, 70, 18, juce::Justification::right);
    }
    for (double t : onsets)
    {
        g.setColour (juce::Colour (0xffe0a040).withAlpha (0.8f));
        for (auto area : { top, middle, bottom })
            g.drawVerticalLine ((int) xFor (t), area.getY(), area.getBottom());
    }
    juce::Path line;
    for (size_t i = 0; i < delay.size(); ++i)
    {
        const juce::Point<float> p (xFor (delay[i].first), yFor (delay[i].second));
        if (i == 0)
            line.startNewSubPath (p);
        else
            line.lineTo (p);
    }
    g.setColour (juce::Colour (0xff74d2a0));
    g.strokePath (line, juce::PathStrokeType (2.5f));
    g.setColour (juce::Colours::white.withAlpha (0.6f));
    for (int s = 0; s <= (int) seconds; ++s)
        g.drawText (juce::String (s) + " s", (int) xFor (s) - 30, (int) bottom.getBottom() + 8, 60, 18, juce::Justification::centred);

    out.deleteFile();
    juce::FileOutputStream stream (out);
    return stream.openedOk() && juce::PNGImageFormat().writeImageToStream (image, stream) ? 0 : 1;
}
} // namespace

int main (int argc, char** argv)
{
    auto file = [&] (int i) { return juce::File::getCurrentWorkingDirectory().getChildFile (juce::String::fromUTF8 (argv[i])); };
    if (argc == 3 && juce::String (argv[1]) == "phrase")
        return writePhrase (file (2));
    if (argc == 6 && juce::String (argv[1]) == "plot")
        return plot (file (2), file (3), file (4), file (5));
    std::fprintf (stderr, "usage: vantor-demo phrase OUT.wav | vantor-demo plot IN DOUBLE CSV OUT.png\n");
    return 2;
}
