#include "PluginSettings.h"

#include "PluginPaths.h"

namespace
{
juce::String documentsPath()
{
    return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory).getFullPathName();
}

// Writes text to a hidden temporary sibling of target and moves it into place
// only when every byte reached the disk. juce::File::replaceWithText would
// move a half-written file over the old one.
bool replaceFileSafely (const juce::File& target, const juce::String& text)
{
    // juce::File::moveFileTo would remove an empty folder standing in the way.
    if (target.isDirectory())
        return false;

    juce::TemporaryFile temp (target, juce::TemporaryFile::useHiddenFile);

    {
        juce::FileOutputStream out (temp.getFile());

        if (! out.openedOk())
            return false;

        // A stale file of the same name would otherwise be appended to.
        if (! out.setPosition (0) || out.truncate().failed())
            return false;

        const auto utf8 = text.toStdString();

        if (! out.write (utf8.data(), utf8.size()))
            return false;

        out.flush(); // fsyncs on POSIX

        if (out.getStatus().failed() || out.getPosition() != (juce::int64) utf8.size())
            return false;
    }

    if (temp.getFile().getSize() != (juce::int64) text.getNumBytesAsUTF8())
        return false;

    return temp.overwriteTargetFileWithTemporary();
    // The TemporaryFile's destructor deletes the temporary file on every path.
}
} // namespace

PluginSettings PluginSettings::settings;

PluginSettings::PluginSettings()
    : IrSavePath (documentsPath()), SpectrumSavePath (documentsPath())
{
}

juce::CriticalSection& PluginSettings::lock()
{
    static juce::CriticalSection section;
    return section;
}

juce::File PluginSettings::file()
{
    return juce::File (PluginPaths::getPluginResourceDir() + "/" + "Settings.json");
}

juce::String PluginSettings::toText (const PluginSettings& s)
{
    auto object = std::make_unique<juce::DynamicObject>();
    object->setProperty ("PluginWidth", s.PluginWidth);
    object->setProperty ("IrSavePath", s.IrSavePath);
    object->setProperty ("SpectrumSavePath", s.SpectrumSavePath);

    juce::MemoryOutputStream stream;
    stream.setNewLineString ("\r\n");
    juce::JSON::writeToStream (stream, juce::var (object.release()), false, 15);
    return stream.toString();
}

void PluginSettings::applyJson (PluginSettings& s, const juce::var& parsed)
{
    auto* object = parsed.getDynamicObject();

    if (object == nullptr) // arrays and plain values hold no object
        return;

    if (object->hasProperty ("PluginWidth"))
        s.PluginWidth = (int) object->getProperty ("PluginWidth");
    if (object->hasProperty ("IrSavePath"))
        s.IrSavePath = object->getProperty ("IrSavePath").toString();
    if (object->hasProperty ("SpectrumSavePath"))
        s.SpectrumSavePath = object->getProperty ("SpectrumSavePath").toString();
}

void PluginSettings::Save()
{
    const juce::ScopedLock sl (lock());
    const auto text = toText (settings);

    PluginPaths::EnsureDirs();
    (void) replaceFileSafely (file(), text);
}

void PluginSettings::load()
{
    const juce::ScopedLock sl (lock());

    PluginPaths::EnsureDirs();
    const auto f = file();

    if (f.existsAsFile())
    {
        applyJson (settings, juce::JSON::parse (f.loadFileAsString()));
        return;
    }

    Save();
}

void PluginSettings::storeWidth (int w)
{
    const juce::ScopedLock sl (lock());
    settings.PluginWidth = w;
    Save();
}

int PluginSettings::width()
{
    const juce::ScopedLock sl (lock());
    return settings.PluginWidth;
}
