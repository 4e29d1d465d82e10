// The per-user settings file and the maker's folders, always against a home
// folder of the test's own.

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <thread>

#include "PluginPaths.h"
#include "PluginProcessor.h"
#include "PluginSettings.h"

namespace
{
class SettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        home = juce::File::createTempFile ("settings-home");
        ASSERT_TRUE (home.createDirectory());
        setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
        PluginSettings::settings = PluginSettings();
        docs = home.getFullPathName() + "/Documents";
    }

    void TearDown() override
    {
        for (auto& m : mounts)
            umount (m.toRawUTF8());
        home.setReadOnly (false, true);
        home.deleteRecursively();
    }

    juce::File pluginDir() const { return home.getChildFile (".config/Quillfen Audio/Vantor"); }
    juce::File settingsFile() const { return pluginDir().getChildFile ("Settings.json"); }

    static juce::String read (const juce::File& f)
    {
        juce::MemoryBlock b;
        f.loadFileAsData (b);
        return b.toString();
    }

    juce::String expectedText (int width, const juce::String& path) const
    {
        return "{\r\n  \"PluginWidth\": " + juce::String (width) + ",\r\n  \"IrSavePath\": \"" + path + "\",\r\n  \"SpectrumSavePath\": \"" + path + "\"\r\n}";
    }

    // A tmpfs at the plug-in's folder; false when this user may not mount.
    bool mountTmpfs (const char* options)
    {
        pluginDir().createDirectory();
        if (mount ("tmpfs", pluginDir().getFullPathName().toRawUTF8(), "tmpfs", 0, options) != 0)
            return false;
        mounts.add (pluginDir().getFullPathName());
        return true;
    }

    juce::File home;
    juce::String docs;
    juce::StringArray mounts;
};
} // namespace

TEST_F (SettingsTest, FirstRunCreatesFoldersAndDefaultFile)
{
    PluginSettings::load();
    EXPECT_TRUE (home.getChildFile (".config/Quillfen Audio").isDirectory());
    EXPECT_TRUE (pluginDir().isDirectory());
    EXPECT_TRUE (pluginDir().getChildFile ("Presets").isDirectory());
    EXPECT_EQ (read (settingsFile()), expectedText (-1, docs));
    EXPECT_EQ (PluginPaths::getPluginResourceDir(), home.getFullPathName() + "/.config/Quillfen Audio/Vantor");
    EXPECT_EQ (pluginDir().getNumberOfChildFiles (juce::File::findFiles, ".Settings_temp*"), 0);

    // A second load reads the file and writes nothing.
    settingsFile().setLastModificationTime (juce::Time (2001, 0, 1, 0, 0));
    PluginSettings::load();
    EXPECT_EQ (settingsFile().getLastModificationTime(), juce::Time (2001, 0, 1, 0, 0));
}

TEST_F (SettingsTest, OnlyMissingFoldersAreCreated)
{
    home.getChildFile (".config/Quillfen Audio").createDirectory();
    PluginPaths::EnsureDirs();
    EXPECT_TRUE (pluginDir().getChildFile ("Presets").isDirectory());
    pluginDir().getChildFile ("Presets").deleteRecursively();
    PluginSettings::load();
    EXPECT_TRUE (pluginDir().getChildFile ("Presets").isDirectory());
}

TEST_F (SettingsTest, LoadTableLeavesTheFileUntouched)
{
    struct Case
    {
        const char* content;
        int width;
        const char* irPath; // null: the documents path it had
    };
    const Case cases[] = {
        { "{\"PluginWidth\": 812}", 812, nullptr },
        { "{\"PluginWidth\": 812.9}", 812, nullptr },
        { "{\"PluginWidth\": -3.7}", -3, nullptr },
        { "{\"PluginWidth\": \"700\"}", 700, nullptr },
        { "{\"PluginWidth\": \"wide\"}", 0, nullptr },
        { "{\"PluginWidth\": true}", 1, nullptr },
        { "{\"PluginWidth\": false}", 0, nullptr },
        { "{\"PluginWidth\": null}", 0, nullptr },
        { "{\"PluginWidth\": [3]}", 0, nullptr },
        { "{\"IrSavePath\": 5}", -1, "5" },
        { "{\"IrSavePath\": null}", -1, "" },
        { "{\"SpectrumSavePath\": \"/x\", \"Other\": 1, \"PluginWidth\": 640}", 640, nullptr },
        { "[1, 2]", -1, nullptr },
        { "", -1, nullptr },
        { "{\"PluginWidth\": 9", -1, nullptr },
        { "not json", -1, nullptr },
        { "\"just a string\"", -1, nullptr },
    };

    for (const auto& k : cases)
    {
        SCOPED_TRACE (k.content);
        PluginSettings::settings = PluginSettings();
        PluginPaths::EnsureDirs();
        ASSERT_TRUE (settingsFile().replaceWithText (k.content));
        PluginSettings::load();
        EXPECT_EQ (PluginSettings::settings.PluginWidth, k.width);
        EXPECT_EQ (PluginSettings::settings.IrSavePath, k.irPath != nullptr ? juce::String (k.irPath) : docs);
        EXPECT_EQ (read (settingsFile()), k.content);
    }
}

TEST_F (SettingsTest, ExtraKeysVanishAndNonAsciiIsEscaped)
{
    PluginPaths::EnsureDirs();
    settingsFile().replaceWithText (juce::String (juce::CharPointer_UTF8 ("{\"Extra\": 1, \"PluginWidth\": 700, \"IrSavePath\": \"/home/ren\xc3\xa9/a/b\"}")));
    PluginSettings::load();
    PluginSettings::Save();
    EXPECT_EQ (read (settingsFile()), "{\r\n  \"PluginWidth\": 700,\r\n  \"IrSavePath\": \"/home/ren\\u00e9/a/b\",\r\n  \"SpectrumSavePath\": \"" + docs + "\"\r\n}");

    PluginSettings::settings = PluginSettings();
    PluginSettings::load();
    EXPECT_EQ (PluginSettings::settings.IrSavePath, juce::String (juce::CharPointer_UTF8 ("/home/ren\xc3\xa9/a/b")));
}

TEST_F (SettingsTest, QuotesBackslashesAndControlCharactersAreEscaped)
{
    PluginSettings::settings.IrSavePath = "a\"b\\c\td";
    PluginSettings::Save();
    EXPECT_TRUE (read (settingsFile()).contains ("\"IrSavePath\": \"a\\\"b\\\\c\\td\","));
    PluginSettings::settings = PluginSettings();
    PluginSettings::load();
    EXPECT_EQ (PluginSettings::settings.IrSavePath, "a\"b\\c\td");
}

TEST_F (SettingsTest, AFailedWriteKeepsTheOldFile)
{
    if (! mountTmpfs ("size=8k"))
        GTEST_SKIP() << "needs permission to mount a tmpfs";

    PluginSettings::settings.PluginWidth = 777;
    PluginSettings::Save();
    const auto before = read (settingsFile());
    ASSERT_EQ (before, expectedText (777, docs));

    // Fill what is left of the tiny filesystem.
    {
        juce::FileOutputStream filler (pluginDir().getChildFile ("filler"));
        std::vector<char> page (4096, 'x');
        for (int i = 0; i < 8; ++i)
            filler.write (page.data(), page.size());
    }

    PluginSettings::settings.PluginWidth = 1234;
    PluginSettings::settings.IrSavePath = juce::String::repeatedString ("long/", 4000);
    PluginSettings::Save();

    EXPECT_EQ (read (settingsFile()), before);
    EXPECT_EQ (pluginDir().getNumberOfChildFiles (juce::File::findFiles, ".Settings_temp*"), 0);
    EXPECT_EQ (PluginSettings::settings.PluginWidth, 1234); // memory keeps the new value
}

TEST_F (SettingsTest, ReadOnlyFolderIsQuietlyIgnored)
{
    if (! mountTmpfs ("ro,size=8k"))
        GTEST_SKIP() << "needs permission to mount a tmpfs";

    PluginSettings::settings.PluginWidth = 901;
    PluginSettings::load();
    PluginSettings::Save();
    EXPECT_FALSE (settingsFile().exists());
    EXPECT_EQ (PluginSettings::settings.PluginWidth, 901);
}

TEST_F (SettingsTest, AFolderNamedSettingsJson)
{
    ASSERT_TRUE (settingsFile().createDirectory()); // empty: the framework's move would remove it
    PluginSettings::settings.PluginWidth = 640;
    PluginSettings::load(); // treated as missing: the save fails quietly
    EXPECT_TRUE (settingsFile().isDirectory());
    EXPECT_EQ (PluginSettings::settings.PluginWidth, 640);
    EXPECT_EQ (pluginDir().getNumberOfChildFiles (juce::File::findFiles, ".Settings_temp*"), 0);
}

TEST_F (SettingsTest, APlainFileWhereTheMakersFolderShouldBe)
{
    home.getChildFile (".config").createDirectory();
    ASSERT_TRUE (home.getChildFile (".config/Quillfen Audio").replaceWithText ("not a folder"));
    PluginSettings::settings.PluginWidth = 555;
    VantorixAudioProcessor processor; // the constructor's load must cope
    EXPECT_EQ (PluginSettings::settings.PluginWidth, 555);
    EXPECT_TRUE (home.getChildFile (".config/Quillfen Audio").existsAsFile());
    EXPECT_EQ (read (home.getChildFile (".config/Quillfen Audio")), "not a folder");
}

TEST_F (SettingsTest, ASecondProcessorReadsTheSavedWidth)
{
    {
        VantorixAudioProcessor first;
        PluginSettings::storeWidth (900);
    }
    PluginSettings::settings.PluginWidth = -1;
    VantorixAudioProcessor second;
    EXPECT_EQ (PluginSettings::settings.PluginWidth, 900);
}

TEST_F (SettingsTest, ConcurrentSavesLeaveOneCompleteVersion)
{
    PluginSettings::load();
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back ([t] {
            for (int i = 0; i < 25; ++i)
                PluginSettings::storeWidth (1000 + t * 100 + i);
        });
    for (auto& w : writers)
        w.join();

    const auto parsed = juce::JSON::parse (read (settingsFile()));
    ASSERT_TRUE (parsed.isObject());
    EXPECT_EQ ((int) parsed["PluginWidth"], PluginSettings::settings.PluginWidth);
    EXPECT_EQ (read (settingsFile()), expectedText (PluginSettings::settings.PluginWidth, docs));
    EXPECT_EQ (pluginDir().getNumberOfChildFiles (juce::File::findFiles, ".Settings_temp*"), 0);
}
