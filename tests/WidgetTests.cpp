// The editor's parts drawn headless into images with the software renderer,
// probed pixel by pixel. Each widget is also written as PNG to
// $VANTOR_TEST_OUTPUT (when set) so that a person can look at it.

#include <gtest/gtest.h>

#include <BinaryData.h>

#include <cmath>

#include "CornerHandleQf.h"
#include "CustomLookAndFeel.h"
#include "FlatToggleButton.h"
#include "RotaryKnobQf.h"
#include "TestImages.h"

namespace
{
juce::Image render (juce::Component& c, juce::Colour background = juce::Colours::transparentBlack)
{
    juce::Image image (juce::Image::ARGB, std::max (1, c.getWidth()), std::max (1, c.getHeight()), true, juce::SoftwareImageType());
    juce::Graphics g (image);
    g.fillAll (background);
    c.paintEntireComponent (g, false);
    return image;
}

// Colours compared channel by channel; translucent pixels lose precision in
// the premultiplied image, hence the tolerance.
::testing::AssertionResult near (juce::Colour actual, juce::uint32 expected, int tolerance = 3)
{
    const juce::Colour e (expected);
    const int d = std::max ({ std::abs (actual.getAlpha() - e.getAlpha()), std::abs (actual.getRed() - e.getRed()),
                              std::abs (actual.getGreen() - e.getGreen()), std::abs (actual.getBlue() - e.getBlue()) });
    if (d <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got 0x" << actual.toDisplayString (true) << ", expected 0x" << e.toDisplayString (true);
}

struct Knob
{
    RotaryKnobQf knob;
    Knob (double value, bool hovered, int w = 60, int h = 70)
    {
        knob.setBounds (0, 0, w, h);
        knob.strokeWidth = 2.0;
        knob.setValue (value, juce::dontSendNotification);
        knob.hovered = hovered;
    }
};

// A point at `radius` from the centre, at `angle` clockwise from 12 o'clock.
juce::Point<int> polar (float radius, double angle, float c = 30.0f)
{
    return { (int) std::floor (c + radius * std::sin (angle)), (int) std::floor (c - radius * std::cos (angle)) };
}
} // namespace

TEST (Resources, BackgroundAndFonts)
{
    const auto image = juce::ImageFileFormat::loadFrom (BinaryData::background_png, (size_t) BinaryData::background_pngSize);
    ASSERT_TRUE (image.isValid());
    EXPECT_EQ (image.getWidth(), 2480);
    EXPECT_EQ (image.getHeight(), 1440);
    const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::readOnly);
    int transparent = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            transparent += pixels.getPixelColour (x, y).getAlpha() != 255;
    EXPECT_EQ (transparent, 0);

    // The layout: slate ground, light panel, dark captions.
    EXPECT_TRUE (near (pixels.getPixelColour (1240, 40), 0xff3b474e, 10));
    EXPECT_TRUE (near (pixels.getPixelColour (1240, 500), 0xffccCFD1, 3));
    writePng (image.rescaled (1240, 720), "background");

    EXPECT_EQ (EmbeddedFonts::regular()->getName(), "Open Sans");
    // FreeType reports the typographic family of Google's SemiBold release.
    EXPECT_EQ (EmbeddedFonts::semiBold()->getName(), "Open Sans");
    EXPECT_EQ (EmbeddedFonts::semiBold()->getStyle(), "SemiBold");
    EXPECT_EQ (EmbeddedFonts::regular()->getStyle(), "Regular");
}

TEST (RotaryKnob, ArcsRingAndPointerAtTheEnds)
{
    constexpr double pi = juce::MathConstants<double>::pi;
    for (bool hovered : { false, true })
    {
        Knob minimum (0.0, hovered), maximum (1.0, hovered);
        const auto lo = render (minimum.knob), hi = render (maximum.knob);
        writePng (lo, juce::String ("knob-min") + (hovered ? "-hover" : ""));
        writePng (hi, juce::String ("knob-max") + (hovered ? "-hover" : ""));

        const auto grey = hovered ? 0x386FA2B2u : 0x386199ABu;
        const auto blue = hovered ? 0xFF74ABD2u : 0xFF67A3CEu;
        const auto ring = hovered ? 0xB23A3A3Au : 0xB2000000u;

        // Track radius 28: at 12, 3 and 9 o'clock the grey arc at the
        // minimum, the blue arc at the maximum; nothing in the gap at 6.
        for (double angle : { 0.0, pi / 2, -pi / 2, 0.7 * pi, -0.7 * pi })
        {
            const auto pt = polar (28.0f, angle);
            EXPECT_TRUE (near (lo.getPixelAt (pt.x, pt.y), grey, 6)) << angle;
            EXPECT_TRUE (near (hi.getPixelAt (pt.x, pt.y), blue, 6)) << angle;
        }
        const auto gap = polar (28.0f, pi);
        EXPECT_EQ (lo.getPixelAt (gap.x, gap.y).getAlpha(), 0);
        EXPECT_EQ (hi.getPixelAt (gap.x, gap.y).getAlpha(), 0);

        // Ring of radius 20.
        const auto top = polar (20.0f, 0.0), right = polar (20.0f, pi / 2);
        EXPECT_TRUE (near (lo.getPixelAt (top.x, top.y), ring));
        EXPECT_TRUE (near (hi.getPixelAt (right.x - 1, right.y), ring));

        // Pointer: towards 7:30 at the minimum, towards 4:30 at the maximum.
        const auto downLeft = polar (14.0f, -0.75 * pi), downRight = polar (14.0f, 0.75 * pi), upLeft = polar (14.0f, -0.25 * pi);
        EXPECT_TRUE (near (lo.getPixelAt (downLeft.x, downLeft.y), ring, 40));
        EXPECT_EQ (lo.getPixelAt (downRight.x, downRight.y).getAlpha(), 0);
        EXPECT_EQ (lo.getPixelAt (upLeft.x, upLeft.y).getAlpha(), 0);
        EXPECT_TRUE (near (hi.getPixelAt (downRight.x, downRight.y), ring, 40));
        EXPECT_EQ (hi.getPixelAt (downLeft.x, downLeft.y).getAlpha(), 0);

        // The 10 rows below the 60 x 60 square stay empty.
        for (int y = 60; y < 70; ++y)
            for (int x = 0; x < 60; ++x)
                ASSERT_EQ (lo.getPixelAt (x, y).getAlpha(), 0);
    }
}

TEST (RotaryKnob, ScalesWithItsWidthAndHidesArcsOnRequest)
{
    Knob big (0.5, false, 120, 140);
    big.knob.strokeWidth = 4.0;
    const auto image = render (big.knob);
    writePng (image, "knob-120");
    // Half way the value arc ends at 12 o'clock: blue just before, grey after.
    const auto before = polar (57.0f, -0.15, 60.0f), after = polar (57.0f, 0.15, 60.0f); // radius (120/2) - 0.5*4 - 1
    EXPECT_TRUE (near (image.getPixelAt (before.x, before.y), 0xFF67A3CE, 6));
    EXPECT_TRUE (near (image.getPixelAt (after.x, after.y), 0x386199AB, 6));

    Knob plain (1.0, false);
    plain.knob.showArcs = false;
    const auto noArcs = render (plain.knob);
    const auto pt = polar (28.0f, 0.0);
    EXPECT_EQ (noArcs.getPixelAt (pt.x, pt.y).getAlpha(), 0);
}

TEST (RotaryKnob, DragDistanceForTheFullRange)
{
    struct Case
    {
        int height, distance;
    };
    for (auto k : { Case { 40, 100 }, Case { 50, 100 }, Case { 70, 140 }, Case { 140, 280 } })
    {
        RotaryKnobQf knob;
        knob.setBounds (0, 0, 60, k.height);
        EXPECT_EQ (knob.getFullDragDistance(), k.distance) << k.height;
    }

    // A real drag of 50 pixels up on a 40-high knob moves half the range.
    RotaryKnobQf knob;
    knob.setBounds (0, 0, 60, 40);
    knob.setValue (0.0);
    auto source = juce::Desktop::getInstance().getMainMouseSource();
    const auto t = juce::Time::getCurrentTime();
    auto event = [&] (float y, juce::Point<float> down) {
        return juce::MouseEvent (source, { 30.0f, y }, juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier), 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                                 &knob, &knob, t, down, t, 1, true);
    };
    knob.mouseDown (event (60.0f, { 30.0f, 60.0f }));
    knob.mouseDrag (event (10.0f, { 30.0f, 60.0f }));
    EXPECT_NEAR (knob.getValue(), 0.5, 1e-9);
}

TEST (FlatToggleButton, FillsTextAndHover)
{
    CustomLookAndFeel laf;
    juce::Component parent;
    parent.setLookAndFeel (&laf);
    FlatToggleButton button;
    button.cornerSize = 10;
    button.textHeight = 20;
    button.setBounds (0, 0, 80, 28);
    parent.addAndMakeVisible (button);

    struct Case
    {
        bool on, hovered;
        juce::uint32 fill, text;
    };
    const Case cases[] = {
        { false, false, 0x8C171D1F, 0xFFF0F0F0 },
        { true, false, 0xB2171D1F, 0xFFF0F0F0 },
        { false, true, 0x8C353A3C, 0xFFF3F3F3 },
        { true, true, 0xB2353A3C, 0xFFF3F3F3 },
    };
    for (const auto& k : cases)
    {
        button.setToggleState (k.on, juce::dontSendNotification);
        button.hovered = k.hovered;
        const auto image = render (button);
        writePng (image, juce::String ("button-") + (k.on ? "on" : "off") + (k.hovered ? "-hover" : ""));
        EXPECT_TRUE (near (image.getPixelAt (8, 5), k.fill, 2)) << k.on << k.hovered;
        EXPECT_EQ (image.getPixelAt (0, 14).getAlpha(), 0); // outside (1, 1, 78, 26)
        EXPECT_EQ (image.getPixelAt (79, 14).getAlpha(), 0);
        EXPECT_EQ (image.getPixelAt (1, 1).getAlpha(), 0);  // rounded corner

        // The brightest pixel is the text colour.
        juce::Colour brightest;
        for (int y = 0; y < 28; ++y)
            for (int x = 0; x < 80; ++x)
                if (image.getPixelAt (x, y).getBrightness() > brightest.getBrightness())
                    brightest = image.getPixelAt (x, y);
        EXPECT_TRUE (near (brightest, k.text, 3)) << k.on << k.hovered;
    }

    // The state text is drawn in capitals, and empty texts leave the fill.
    button.setToggleState (false, juce::dontSendNotification);
    button.hovered = false;
    const auto mixed = render (button);
    button.offText = "OFF";
    const auto upper = render (button);
    EXPECT_TRUE (mixed.getPixelAt (40, 14) == upper.getPixelAt (40, 14));
    int differing = 0;
    for (int y = 0; y < 28; ++y)
        for (int x = 0; x < 80; ++x)
            differing += mixed.getPixelAt (x, y) != upper.getPixelAt (x, y);
    EXPECT_EQ (differing, 0);
    button.offText = "";
    const auto empty = render (button);
    for (int x = 3; x < 77; ++x)
        ASSERT_TRUE (near (empty.getPixelAt (x, 14), 0x8C171D1F, 2));
    parent.setLookAndFeel (nullptr);
}

TEST (CornerHandle, TriangleOverTheBackground)
{
    CornerHandleQf handle;
    EXPECT_EQ (handle.getWidth(), 30);
    handle.setBounds (0, 0, 34, 34);
    const auto background = juce::Colour (0xff202830);
    const auto image = render (handle, background);
    writePng (image, "corner-34");
    const auto expected = background.overlaidWith (juce::Colour (0x40FFFFFF));
    EXPECT_TRUE (near (image.getPixelAt (30, 30), expected.getARGB(), 1));
    EXPECT_TRUE (near (image.getPixelAt (33, 1), expected.getARGB(), 1));
    EXPECT_EQ (image.getPixelAt (3, 3), background);
    EXPECT_EQ (image.getPixelAt (15, 10), background);

    handle.highlighted = true;
    const auto lit = render (handle, background);
    writePng (lit, "corner-34-hover");
    EXPECT_TRUE (near (lit.getPixelAt (30, 30), background.overlaidWith (juce::Colour (0x60FFFFFF)).getARGB(), 1));

    CornerHandleQf empty;
    empty.setBounds (0, 0, 0, 0);
    juce::Image canvas (juce::Image::ARGB, 4, 4, true, juce::SoftwareImageType());
    {
        juce::Graphics g (canvas);
        empty.paint (g);
    }
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ (canvas.getPixelAt (x, y).getAlpha(), 0);
}

TEST (LookAndFeel, ColoursTypefaceAndButtonBackground)
{
    CustomLookAndFeel laf;
    EXPECT_EQ (laf.findColour (FlatToggleButton::onFillColourId).getARGB(), 0xB2171D1Fu);
    EXPECT_EQ (laf.findColour (FlatToggleButton::offFillColourId).getARGB(), 0x8C171D1Fu);
    EXPECT_EQ (laf.findColour (FlatToggleButton::textColourId).getARGB(), 0xFFF0F0F0u);
    EXPECT_EQ (laf.findColour (juce::Slider::trackColourId).getARGB(), 0xFF67A3CEu);
    EXPECT_EQ (laf.findColour (juce::Slider::backgroundColourId).getARGB(), 0xA82E495Cu);
    EXPECT_EQ (laf.findColour (juce::Slider::thumbColourId).getARGB(), 0xB2000000u);
    const auto face = laf.getTypefaceForFont (juce::Font (12.0f));
    EXPECT_EQ (face->getName(), "Open Sans");
    EXPECT_EQ (face->getStyle(), "SemiBold");

    juce::Component parent;
    parent.setLookAndFeel (&laf);
    juce::TextButton button ("x");
    button.setBounds (0, 0, 40, 20);
    parent.addAndMakeVisible (button);
    const auto red = juce::Colour (0xffd02020);

    auto fillAt = [&] (bool enabled, bool highlighted, bool down) {
        juce::Image image (juce::Image::ARGB, 40, 20, true, juce::SoftwareImageType());
        juce::Graphics g (image);
        button.setEnabled (enabled);
        laf.drawButtonBackground (g, button, red, highlighted, down);
        return image.getPixelAt (10, 10);
    };
    EXPECT_EQ (fillAt (false, false, false).getAlpha(), 128);
    EXPECT_EQ (fillAt (true, false, false).getAlpha(), 255);
    const auto base = red.withMultipliedSaturation (0.9f);
    EXPECT_TRUE (near (fillAt (true, false, false), base.getARGB(), 1));
    EXPECT_TRUE (near (fillAt (true, true, false), base.contrasting (0.05f).getARGB(), 1));
    EXPECT_TRUE (near (fillAt (true, false, true), base.contrasting (0.2f).getARGB(), 1));

    juce::Image edge (juce::Image::ARGB, 40, 20, true, juce::SoftwareImageType());
    {
        juce::Graphics g (edge);
        button.setEnabled (true);
        laf.drawButtonBackground (g, button, red, false, false);
    }
    EXPECT_LT (edge.getPixelAt (0, 10).getAlpha(), 255); // shrunk by half a pixel
    parent.setLookAndFeel (nullptr);
}
