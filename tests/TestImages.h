#pragma once

// Writes an image as PNG to $VANTOR_TEST_OUTPUT (when set), so that a person
// can look at what the tests drew.

#include <juce_graphics/juce_graphics.h>

#include <cstdlib>

inline void writePng (const juce::Image& image, const juce::String& name)
{
    const char* dir = std::getenv ("VANTOR_TEST_OUTPUT");
    if (dir == nullptr)
        return;
    const auto file = juce::File (dir).getChildFile (name + ".png");
    file.getParentDirectory().createDirectory();
    file.deleteFile();
    juce::FileOutputStream out (file);
    juce::PNGImageFormat().writeImageToStream (image, out);
}
