// The editor window under a real X display (tests/run-with-xvfb.sh starts a
// private Xvfb of the size given in VANTOR_SCREEN). With Xvfb the user area
// is the whole screen, so the expected limits are worked out for that.

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include "PluginEditor.h"
#include "PluginProcessor.h"
#include "PluginSettings.h"
#include "TestImages.h"

namespace
{
struct Screen
{
    int width, height;
    int minWidth, maxWidth, maxHeight;   // at scale 1
    int openWidth, openHeight;           // with no saved width
    int min2, max2, maxHeight2;          // at scale 2
};

const std::map<int, Screen> screens = {
    { 1440, { 1440, 900, 400, 576, 334, 576, 334, 200, 288, 167 } },
    { 2560, { 2560, 1440, 400, 1024, 594, 620, 360, 200, 512, 297 } },
    { 3840, { 3840, 2160, 600, 1536, 891, 768, 445, 300, 768, 445 } },
};

const Screen& screen()
{
    const juce::String size (std::getenv ("VANTOR_SCREEN") != nullptr ? std::getenv ("VANTOR_SCREEN") : "2560x1440");
    return screens.at (size.upToFirstOccurrenceOf ("x", false, false).getIntValue());
}

void pump (int ms = 50)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}

struct TestEditor : VantorixAudioProcessorEditor
{
    using VantorixAudioProcessorEditor::VantorixAudioProcessorEditor;
    int menus = 0;
    void showContextMenu() override { ++menus; }
};

juce::MouseEvent mouse (juce::Component& target, juce::Point<float> screen, juce::Point<float> screenDown, juce::ModifierKeys mods)
{
    const auto t = juce::Time::getCurrentTime();
    return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), target.getLocalPoint (nullptr, screen), mods, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                             &target, &target, t, target.getLocalPoint (nullptr, screenDown), t, 1, screen != screenDown);
}

const juce::ModifierKeys left (juce::ModifierKeys::leftButtonModifier);

class EditorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PluginSettings::settings.PluginWidth = -1;
        opened.clear();
        VantorixAudioProcessorEditor::openUrl = [this] (const juce::URL& u) { opened.add (u.toString (false)); };
    }
    VantorixAudioProcessor processor;
    juce::StringArray opened;
};

void writePng (juce::Component& c, const juce::String& name)
{
    ::writePng (c.createComponentSnapshot (c.getLocalBounds(), true, 1.0f), name);
}
} // namespace

TEST_F (EditorTest, TheDisplayListIsReal)
{
    const auto& displays = juce::Desktop::getInstance().getDisplays().displays;
    ASSERT_EQ (displays.size(), 1);
    EXPECT_EQ (displays[0].totalArea.getWidth(), screen().width);
    EXPECT_EQ (displays[0].totalArea.getHeight(), screen().height);
}

TEST_F (EditorTest, LimitsAndOpeningSize)
{
    TestEditor editor (processor);
    const auto& s = screen();
    EXPECT_EQ (editor.getMinWidth(), s.minWidth);
    EXPECT_EQ (editor.getMaxWidth(), s.maxWidth);
    EXPECT_EQ (editor.getMaxHeight(), s.maxHeight);
    EXPECT_EQ (editor.getWidth(), s.openWidth);
    EXPECT_EQ (editor.getHeight(), s.openHeight);
    EXPECT_EQ (PluginSettings::settings.PluginWidth, -1); // nothing saved on opening

    editor.setScaleFactor (2.0f);
    EXPECT_EQ (editor.getMinWidth(), s.min2);
    EXPECT_EQ (editor.getMaxWidth(), s.max2);
    EXPECT_EQ (editor.getMaxHeight(), s.maxHeight2);
    pump(); // the deferred resize runs, with no width saved yet: it saves one
    EXPECT_NE (PluginSettings::settings.PluginWidth, -1);
}

TEST_F (EditorTest, ASavedWidthIsClampedButKept)
{
    PluginSettings::settings.PluginWidth = 5000;
    TestEditor editor (processor);
    EXPECT_EQ (editor.getWidth(), screen().maxWidth);
    EXPECT_EQ (editor.getHeight(), screen().maxHeight);
    EXPECT_EQ (PluginSettings::settings.PluginWidth, 5000);
}

TEST_F (EditorTest, LayoutAt620And1240)
{
    TestEditor editor (processor);
    struct Case
    {
        int width, height, corner;
        float scale;
    };
    for (auto k : { Case { 620, 360, 34, 1.0f }, Case { 1240, 720, 68, 2.0f } })
    {
        editor.setSize (k.width, (int) ((float) k.width / 1.7222222f));
        EXPECT_EQ (editor.getHeight(), k.height);
        for (juce::Component* c : { (juce::Component*) &editor.modeKnob, (juce::Component*) &editor.timingKnob, (juce::Component*) &editor.pitchKnob,
                                    (juce::Component*) &editor.phaseButton, (juce::Component*) &editor.modeValueLabel })
        {
            EXPECT_TRUE (c->getTransform() == juce::AffineTransform::scale (k.scale));
        }
        EXPECT_EQ (editor.timingKnob.getBounds(), juce::Rectangle<int> (210, 122, 60, 70)); // base bounds never change
        EXPECT_EQ (editor.phaseButton.getBounds(), juce::Rectangle<int> (430, 144, 80, 28));
        EXPECT_EQ (editor.pitchValueLabel.getBounds(), juce::Rectangle<int> (295, 202, 110, 26));
        EXPECT_EQ (editor.cornerHandle.getBounds(), juce::Rectangle<int> (k.width - k.corner, k.height - k.corner, k.corner, k.corner));

        // The version text sits right-aligned, 10 pixels from the border, in
        // the top strip trunc(W / 620 * 24) high.
        auto image = editor.createComponentSnapshot (editor.getLocalBounds(), true, 1.0f);
        writePng (editor, "editor-" + juce::String (k.width));
        const int stripHeight = k.width / 620 * 24;
        int rightmost = -1, lowest = -1;
        for (int y = 0; y < stripHeight + 20; ++y)
            for (int x = k.width - 220; x < k.width; ++x)
                if (image.getPixelAt (x, y).getBrightness() > 0.55f)
                {
                    rightmost = std::max (rightmost, x);
                    lowest = std::max (lowest, y);
                }
        EXPECT_GT (rightmost, k.width - 20);
        EXPECT_LT (rightmost, k.width - 10);
        EXPECT_LT (lowest, stripHeight);
    }
}

TEST_F (EditorTest, CornerDrag)
{
    struct Case
    {
        float dx, dy;
        int expected; // width, or 0 for the maximum
    };
    const Case cases[] = {
        { 50, -30, 670 }, { -10, 40, 660 }, { -50, -10, 610 }, { -50, 0, 620 }, { 0, -50, 620 }, { 2000, 0, 0 }, { -1000, -1000, -1 }, { 0, 0, 620 },
    };
    for (const auto& k : cases)
    {
        SCOPED_TRACE (juce::String (k.dx) + ", " + juce::String (k.dy));
        TestEditor editor (processor);
        editor.setSize (620, 360);
        auto& handle = editor.cornerHandle;
        const juce::Point<float> press = handle.localPointToGlobal (juce::Point<float> (20.0f, 20.0f));
        editor.mouseDown (mouse (handle, press, press, left));
        EXPECT_TRUE (editor.isResizingNow());
        const auto to = press + juce::Point<float> (k.dx, k.dy);
        if (k.dx != 0 || k.dy != 0)
            editor.mouseDrag (mouse (handle, to, press, left));
        editor.mouseUp (mouse (handle, to, press, left));
        EXPECT_FALSE (editor.isResizingNow());

        const bool moved = k.dx != 0 || k.dy != 0; // without a move nothing is clamped
        const int expectedWidth = k.expected == 0 ? editor.getMaxWidth()
                                                  : (k.expected == -1 ? editor.getMinWidth() : (moved ? std::min (k.expected, editor.getMaxWidth()) : k.expected));
        EXPECT_EQ (editor.getWidth(), expectedWidth);
        EXPECT_EQ (editor.getHeight(), (int) ((float) expectedWidth / 1.7222222f));
        EXPECT_EQ (PluginSettings::settings.PluginWidth, expectedWidth); // saved on release, even without a move
    }
}

TEST_F (EditorTest, LinkRegionAndMenu)
{
    TestEditor editor (processor);
    struct Case
    {
        int width;
        float x, y;
        bool link;
    };
    const Case cases[] = {
        { 620, 600, 10, true }, { 620, 580, 10, false }, { 620, 600, 21, false }, { 620, 581, 20, true },
        { 1240, 1161, 40, true }, { 1240, 1160, 10, false }, { 1240, 1200, 41, false },
    };
    for (const auto& k : cases)
    {
        editor.setSize (k.width, (int) ((float) k.width / 1.7222222f));
        opened.clear();
        const auto at = editor.localPointToGlobal (juce::Point<float> (k.x, k.y));
        editor.mouseMove (mouse (editor, at, at, {}));
        EXPECT_EQ (editor.getMouseCursor() == juce::MouseCursor (juce::MouseCursor::PointingHandCursor), k.link) << k.width << " " << k.x << "," << k.y;
        editor.mouseDown (mouse (editor, at, at, left));
        editor.mouseUp (mouse (editor, at, at, left));
        EXPECT_EQ (opened.size(), k.link ? 1 : 0);
        if (k.link)
            EXPECT_EQ (opened[0], VantorixAudioProcessorEditor::productPage);
    }

    // The menu: right button or Control on the background only.
    const auto bg = editor.localPointToGlobal (juce::Point<float> (30.0f, 300.0f));
    editor.mouseDown (mouse (editor, bg, bg, juce::ModifierKeys (juce::ModifierKeys::rightButtonModifier)));
    editor.mouseDown (mouse (editor, bg, bg, juce::ModifierKeys (juce::ModifierKeys::ctrlModifier | juce::ModifierKeys::leftButtonModifier)));
    EXPECT_EQ (editor.menus, 2);
    editor.mouseDown (mouse (editor, bg, bg, left));
    EXPECT_EQ (editor.menus, 2);
    const auto onHandle = editor.cornerHandle.localPointToGlobal (juce::Point<float> (30.0f, 30.0f));
    editor.mouseDown (mouse (editor.cornerHandle, onHandle, onHandle, juce::ModifierKeys (juce::ModifierKeys::rightButtonModifier)));
    EXPECT_EQ (editor.menus, 2);
    EXPECT_FALSE (editor.isResizingNow());
    // A right-click on a knob never reaches the editor's own handler.
    const auto onKnob = editor.modeKnob.localPointToGlobal (juce::Point<float> (30.0f, 30.0f));
    editor.modeKnob.mouseDown (mouse (editor.modeKnob, onKnob, onKnob, juce::ModifierKeys (juce::ModifierKeys::rightButtonModifier)));
    EXPECT_EQ (editor.menus, 2);
}

TEST_F (EditorTest, ResetUiSize)
{
    TestEditor editor (processor);
    editor.setSize (500, 290);
    editor.resetUiSize();
    const int expected = std::max (620, (int) (screen().width * 0.2));
    EXPECT_EQ (editor.getWidth(), expected);
    EXPECT_EQ (editor.getHeight(), (int) (expected / 1.7222222222222223));
    EXPECT_EQ (PluginSettings::settings.PluginWidth, expected);
}

TEST_F (EditorTest, ValueLabelsFollowTheParameters)
{
    std::unique_ptr<juce::AudioProcessorEditor> base (processor.createEditorIfNeeded());
    auto* editor = dynamic_cast<VantorixAudioProcessorEditor*> (base.get());
    ASSERT_NE (editor, nullptr);
    EXPECT_EQ (editor->modeValueLabel.getText(), "----");
    EXPECT_EQ (editor->timingValueLabel.getText(), "----");

    editor->addToDesktop (0);
    editor->setVisible (true);
    pump();
    EXPECT_EQ (editor->modeValueLabel.getText(), "4");
    EXPECT_EQ (editor->timingValueLabel.getText(), "15 ms");
    EXPECT_EQ (editor->pitchValueLabel.getText(), "3 cent");

    // A change on the message thread is shown at once.
    processor.getParameters()[0]->setValueNotifyingHost (0.0f);
    EXPECT_EQ (editor->modeValueLabel.getText(), "1");

    // A change from another thread reaches the label on the message thread.
    std::thread automation ([this] { processor.getParameters()[1]->setValueNotifyingHost (0.0f); });
    automation.join();
    EXPECT_EQ (editor->timingValueLabel.getText(), "15 ms");
    pump (150);
    EXPECT_EQ (editor->timingValueLabel.getText(), "10 ms");

    // Phase has no label.
    processor.getParameters()[3]->setValueNotifyingHost (0.0f);
    EXPECT_EQ (editor->pitchValueLabel.getText(), "3 cent");
    EXPECT_FALSE (editor->phaseButton.getToggleState());
}

TEST_F (EditorTest, OpenAndCloseWhileParametersStream)
{
    std::atomic<bool> stop { false };
    std::thread automation ([&] {
        int i = 0;
        while (! stop.load())
            processor.getParameters()[i++ % 4]->setValueNotifyingHost ((float) (i % 100) / 100.0f);
    });
    std::thread audio ([&] {
        juce::AudioBuffer<float> buffer (1, 128);
        juce::MidiBuffer midi;
        while (! stop.load())
        {
            buffer.clear();
            processor.processBlock (buffer, midi);
        }
    });

    for (int round = 0; round < 20; ++round)
    {
        std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditorIfNeeded());
        ASSERT_NE (editor, nullptr);
        editor->addToDesktop (0);
        editor->setVisible (true);
        pump (10);
        editor.reset();
        pump (5); // deferred resizes of a closed editor must find it gone
    }
    stop = true;
    automation.join();
    audio.join();
}

TEST_F (EditorTest, PhaseButtonClicks)
{
    std::unique_ptr<juce::AudioProcessorEditor> base (processor.createEditorIfNeeded());
    auto* editor = dynamic_cast<VantorixAudioProcessorEditor*> (base.get());
    editor->addToDesktop (0);
    editor->setVisible (true);
    pump();
    auto& button = editor->phaseButton;
    ASSERT_TRUE (button.getToggleState()); // Phase defaults to 1

    // Put the real pointer over the button, so that the button knows it is
    // under the mouse as it does for a user's click.
    const auto centre = button.localPointToGlobal (button.getLocalBounds().getCentre().toFloat());
    juce::Desktop::setMousePosition (centre.roundToInt());
    pump (100);

    auto click = [&] (juce::ModifierKeys mods) {
        auto& asComponent = static_cast<juce::Component&> (button);
        asComponent.mouseDown (mouse (button, centre, centre, mods));
        asComponent.mouseUp (mouse (button, centre, centre, mods));
        pump (20);
    };
    click (juce::ModifierKeys (juce::ModifierKeys::rightButtonModifier));
    EXPECT_TRUE (button.getToggleState());
    EXPECT_EQ (processor.getParameters()[3]->getValue(), 1.0f);
    button.mouseExit (mouse (button, centre, centre, {}));
    button.mouseEnter (mouse (button, centre, centre, {}));
    click (left);
    EXPECT_FALSE (button.getToggleState());
    EXPECT_EQ (processor.getParameters()[3]->getValue(), 0.0f);
}
