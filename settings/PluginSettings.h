#pragma once

#include <juce_core/juce_core.h>

// The per-user record, shared by every instance in the process, and its file
// "Settings.json" in the plug-in's folder.
struct PluginSettings
{
    int PluginWidth = -1;
    juce::String IrSavePath;
    juce::String SpectrumSavePath;

    PluginSettings();

    static PluginSettings settings;

    // Guards the record: instances are built on host threads while an editor
    // may store a width on the message thread. Recursive, never taken on the
    // audio thread.
    static juce::CriticalSection& lock();

    // Writes the record. The file is replaced only by a complete, flushed
    // copy; on any failure the old file stays and the temporary one goes.
    static void Save();

    // The load run by every processor construction. Creates the folders,
    // reads the file when it is a regular file, otherwise writes it afresh.
    // A file that does not parse is never rewritten.
    static void load();

    // Stores a width chosen in the editor and saves.
    static void storeWidth (int width);
    static int width();

    // The exact text Save writes.
    static juce::String toText (const PluginSettings&);
    // Applies whatever of the three keys a parsed file holds.
    static void applyJson (PluginSettings&, const juce::var& parsed);

    static juce::File file();
};
