#pragma once

#include <juce_core/juce_core.h>

// The maker's folder layout below the user's application-data location:
//   <app data>/Quillfen Audio/Vantor/{Settings.json, Presets}
// Paths are rebuilt on every call so that a changed home folder is followed.
struct PluginPaths
{
    PluginPaths() = delete;

    static juce::String getManufacturerDir();
    static juce::String getPluginResourceDir();
    static juce::String getPresetsDir();

    // Creates the three folders where nothing stands at their paths yet.
    static void EnsureDirs();
};
