// libFuzzer target: any bytes as Settings.json. The load must never crash and
// never rewrite a file that exists.

#include <cstdint>

#include "PluginPaths.h"
#include "PluginSettings.h"

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    static const bool homeSet = [] {
        const auto home = juce::File::createTempFile ("fuzz-home");
        home.createDirectory();
        setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
        return true;
    }();
    (void) homeSet;

    PluginPaths::EnsureDirs();
    const auto file = PluginSettings::file();
    file.replaceWithData (data, size);
    PluginSettings::settings = PluginSettings();
    PluginSettings::load();

    juce::MemoryBlock after;
    file.loadFileAsData (after);
    if (after.getSize() != size || (size > 0 && std::memcmp (after.getData(), data, size) != 0))
        __builtin_trap();
    return 0;
}
