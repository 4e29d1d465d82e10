#include "PluginPaths.h"

juce::String PluginPaths::getManufacturerDir()
{
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory).getFullPathName() + "/" + "Quillfen Audio";
}

juce::String PluginPaths::getPluginResourceDir()
{
    return getManufacturerDir() + "/" + "Vantor";
}

juce::String PluginPaths::getPresetsDir()
{
    return getPluginResourceDir() + "/" + "Presets";
}

void PluginPaths::EnsureDirs()
{
    for (const auto& path : { getManufacturerDir(), getPluginResourceDir(), getPresetsDir() })
    {
        const juce::File folder (path);

        // A plain file in the way counts as existing and is left alone.
        if (! folder.exists())
            (void) folder.createDirectory();
    }
}
