// Renders the editor's background picture (2480 x 1440, four times the
// editor's 620 x 360 base space) with JUCE's software renderer and the
// embedded fonts, and writes it as PNG. Everything is deterministic, so the
// same build writes the same bytes on every run.
//
//   vantor-artwork OUT.png

#include <BinaryData.h>
#include <juce_graphics/juce_graphics.h>

#include <cmath>
#include <cstdio>

namespace
{
constexpr int scale = 4;
constexpr int width = 620 * scale, height = 360 * scale;

juce::Font font (bool semiBold, float baseHeight, float kerning)
{
    auto face = semiBold ? juce::Typeface::createSystemTypefaceFor (BinaryData::OpenSansSemiBold_ttf, (size_t) BinaryData::OpenSansSemiBold_ttfSize)
                         : juce::Typeface::createSystemTypefaceFor (BinaryData::OpenSansRegular_ttf, (size_t) BinaryData::OpenSansRegular_ttfSize);
    return juce::Font (face).withHeight (baseHeight * scale).withExtraKerningFactor (kerning);
}

// Text whose capitals span [capTop, capBottom] in base units, centred on x.
void drawCaps (juce::Graphics& g, const juce::String& text, float centreX, float capTop, float capBottom, bool semiBold, float kerning, juce::Colour colour)
{
    // Open Sans capitals are 0.714 of the font height.
    const float capHeight = (capBottom - capTop);
    const auto f = font (semiBold, capHeight / 0.714f, kerning);
    juce::GlyphArrangement glyphs;
    glyphs.addLineOfText (f, text, 0.0f, 0.0f);
    // Extra kerning also trails the last letter; leave it out of the centring.
    const auto bounds = glyphs.getBoundingBox (0, -1, true);
    const float x = centreX * scale - bounds.getCentreX();
    const float baseline = capBottom * scale;
    g.setColour (colour);
    glyphs.moveRangeOfGlyphs (0, -1, x, baseline);
    glyphs.draw (g);
}

// A brushed, barely visible grain: value noise smoothed along x.
void drawGround (juce::Image& image)
{
    juce::Image::BitmapData pixels (image, juce::Image::BitmapData::writeOnly);
    uint32_t state = 0x9e3779b9u;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return (float) (state & 0xffff) / 65535.0f - 0.5f;
    };

    std::vector<float> row ((size_t) width);
    for (int y = 0; y < height; ++y)
    {
        for (auto& v : row)
            v = next();
        float smooth = 0.0f;
        const float t = (float) y / (float) (height - 1);
        for (int x = 0; x < width; ++x)
        {
            smooth = smooth * 0.85f + row[(size_t) x] * 0.15f;
            const float vignette = 1.0f - 0.05f * std::pow (std::abs ((float) x / width - 0.5f) * 2.0f, 2.0f);
            const float grain = smooth * 5.0f;
            auto channel = [&] (float top, float bottom) {
                return (juce::uint8) juce::jlimit (0.0f, 255.0f, std::round ((top + (bottom - top) * t) * vignette + grain));
            };
            pixels.setPixelColour (x, y, juce::Colour (channel (60.0f, 54.0f), channel (73.0f, 65.0f), channel (80.0f, 71.0f)));
        }
    }
}

void drawLogo (juce::Graphics& g)
{
    // The mark: two interlocking rings, one offset from the other, for the
    // dry track and its double.
    const float cx = 40.0f * scale, cy = 322.0f * scale, r = 11.0f * scale;
    const auto light = juce::Colour (0xffd8dbdd);
    g.setColour (light);
    g.drawEllipse (cx - r - 3.5f * scale, cy - r, 2 * r, 2 * r, 2.2f * scale);
    g.setColour (light.withAlpha (0.55f));
    g.drawEllipse (cx - r + 3.5f * scale, cy - r, 2 * r, 2 * r, 2.2f * scale);

    const float textX = 60.0f;
    auto drawLeft = [&] (const juce::String& text, float capTop, float capBottom, bool semiBold, float kerning, juce::Colour c) {
        const auto f = font (semiBold, (capBottom - capTop) / 0.714f, kerning);
        juce::GlyphArrangement glyphs;
        glyphs.addLineOfText (f, text, textX * scale, capBottom * scale);
        g.setColour (c);
        glyphs.draw (g);
    };
    drawLeft ("QUILLFEN", 311.0f, 320.0f, true, 0.22f, light);
    drawLeft ("AUDIO", 325.0f, 332.0f, false, 0.42f, light.withAlpha (0.7f));
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: vantor-artwork OUT.png\n");
        return 2;
    }

    juce::Image image (juce::Image::ARGB, width, height, true, juce::SoftwareImageType());
    drawGround (image);

    {
        juce::Graphics g (image);

        drawCaps (g, "VANTOR", 310.0f, 29.0f, 49.0f, true, 0.32f, juce::Colour (225, 227, 228));

        // The panel, with a soft shadow under it and a faint top highlight.
        const juce::Rectangle<float> panel (20.0f * scale, 78.0f * scale, 580.0f * scale, 172.0f * scale);
        const float corner = 16.0f * scale;
        for (int i = 12; i >= 1; --i)
        {
            g.setColour (juce::Colours::black.withAlpha (0.018f));
            g.fillRoundedRectangle (panel.translated (0.0f, 3.0f * scale).expanded ((float) i * 2.0f), corner + (float) i * 2.0f);
        }
        g.setColour (juce::Colour (204, 207, 209));
        g.fillRoundedRectangle (panel, corner);
        g.setColour (juce::Colours::white.withAlpha (0.35f));
        g.drawRoundedRectangle (panel.reduced (1.5f), corner - 1.5f, 3.0f);

        const auto captionColour = juce::Colour (91, 92, 92);
        drawCaps (g, "MODE", 130.0f, 189.0f, 199.0f, true, 0.3f, captionColour);
        drawCaps (g, "TIMING", 240.0f, 189.0f, 199.0f, true, 0.3f, captionColour);
        drawCaps (g, "PITCH", 350.0f, 189.0f, 199.0f, true, 0.3f, captionColour);
        drawCaps (g, "PHASE INVERT", 470.0f, 189.0f, 199.0f, true, 0.3f, captionColour);

        drawLogo (g);
    }

    // Opaque everywhere, whatever anti-aliasing left at the edges.
    {
        juce::Image::BitmapData pixels (image, juce::Image::BitmapData::readWrite);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixels.setPixelColour (x, y, pixels.getPixelColour (x, y).withAlpha ((juce::uint8) 255));
    }

    const juce::File out (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));
    out.deleteFile();
    juce::FileOutputStream stream (out);
    juce::PNGImageFormat png;
    if (! stream.openedOk() || ! png.writeImageToStream (image, stream))
    {
        std::fprintf (stderr, "vantor-artwork: cannot write %s\n", argv[1]);
        return 1;
    }
    stream.flush();
    return stream.getStatus().wasOk() ? 0 : 1;
}
