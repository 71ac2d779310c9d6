// Start, Apply, OK and Cancel of the editor against a private store, with
// the user's steps made on the real controls.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "model/ActionKeys.h"
#include "platform/NamedObjects.h"
#include "tests/support/FakeModalUi.h"
#include "tests/support/TempStore.h"
#include "tests/support/UiDriving.h"
#include "ui/MainForm.h"

namespace {

using testsupport::Pick;
using testsupport::Tick;
using testsupport::Type;

const std::string kKey = "Software\\Orvane\\Lmgrab";
std::string Action(int n) {
    return kKey + "\\Action" + std::to_string(n);
}

class Editor : public ::testing::Test {
protected:
    void SeedActions(int count) {
        store.SetDword(kKey, "Count", static_cast<std::uint32_t>(count));
        store.SetString(kKey, "TargetDir", "/shots");
        store.SetString(kKey, "DefaultSound", "ding.wav");
        store.SetString("Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Lumagrabber",
                        "Lmgrab.exe /start");
        for (int n = 1; n <= count; ++n) {
            store.SetString(Action(n), "Name", "stored " + std::to_string(n));
            store.SetDword(Action(n), "VirtualKey", static_cast<std::uint32_t>(64 + n));
            store.SetDword(Action(n), "SaveTo", 1);
            store.SetString(Action(n), "Extension", ".bmp");
        }
    }
    void Start() {
        form = std::make_unique<TForm1>(dialogs);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void Click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    void Select(int row) {
        QListWidget* list = form->lstActions;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
    }
    // A handle like the capture tool's, so the event lives on after Apply.
    std::unique_ptr<platform::NamedEvent> Listen() {
        std::string error;
        auto e = platform::NamedEvent::Open("Lumagrabber configuration changed.", error);
        EXPECT_NE(e, nullptr) << error;
        return e;
    }
    QStringList Messages() {
        QStringList texts;
        for (const auto& m : dialogs.messages) {
            EXPECT_EQ(m.caption, "Lumagrabber - Error");
            texts << m.text;
        }
        return texts;
    }

    testsupport::TempRuntimeDir runtime;
    testsupport::TempStore store;
    FakeModalUi dialogs;
    std::unique_ptr<TForm1> form;
};

TEST_F(Editor, StartsWithTheStoredConfigurationOnTheActionsPage) {
    SeedActions(3);
    Start();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(form->PageControl->currentWidget(), form->TabActions);
    ASSERT_EQ(form->lstActions->count(), 3);
    EXPECT_EQ(form->lstActions->item(2)->text(), "stored 3");
    EXPECT_EQ(form->lstActions->currentRow(), 0);
    EXPECT_EQ(form->CurrentIndex(), 0);
    EXPECT_EQ(form->edActionName->text(), "stored 1");
    EXPECT_EQ(form->edGlobalDir->text(), "/shots");
    EXPECT_EQ(form->edDefaultSound->text(), "ding.wav");
    EXPECT_TRUE(form->chkShowIconOnStartup->isChecked());
    EXPECT_TRUE(form->chkStartOnStartup->isChecked());
}

TEST_F(Editor, MissingKeysAreReportedOnceAndTheWindowOpensEmpty) {
    const struct {
        bool vendor, application;
        const char* message;
    } cases[] = {
        {false, false, "Missing vendor key in Registry."},
        {true, false, "Missing application configuration in Registry."},
    };
    for (const auto& c : cases) {
        testsupport::TempStore fresh;
        if (c.vendor) fresh.CreateKey("Software\\Orvane");
        dialogs.messages.clear();
        Start();
        EXPECT_EQ(Messages(), QStringList{c.message});
        EXPECT_EQ(form->lstActions->count(), 0);
        EXPECT_FALSE(form->chkShowIconOnStartup->isChecked());
        EXPECT_EQ(form->edGlobalDir->text(), "");
        EXPECT_EQ(form->PageControl->currentWidget(), form->TabActions);
        EXPECT_FALSE(fresh.KeyExists(kKey));  // nothing was written on the way
    }
    // Zero stored actions: no message, nothing selected.
    dialogs.messages.clear();
    store.SetDword(kKey, "Count", 0);
    Start();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(form->lstActions->currentRow(), -1);
}

TEST_F(Editor, TheRoadOfATypicalChange) {
    SeedActions(2);
    Start();
    auto event = Listen();
    Select(1);
    Tick(form->chkCtrl);
    Pick(form->lstVirtualKey, 40);
    Pick(form->lstFileExtension, 1);
    EXPECT_EQ(form->edCompressionQuality->text(), "100");
    form->tbCompressionQuality->setFocus();
    for (int i = 0; i < 25; ++i) QTest::keyClick(form->tbCompressionQuality, Qt::Key_Left);
    EXPECT_EQ(form->edCompressionQuality->text(), "75");
    Click(form->btnOK);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(event->IsSet());
    EXPECT_EQ(store.GetDword(Action(2), "Modifiers"), 2u);
    EXPECT_EQ(store.GetDword(Action(2), "VirtualKey"), 116u);
    EXPECT_EQ(store.GetString(Action(2), "Extension"), ".jpg");
    EXPECT_EQ(store.GetDword(Action(2), "Quality"), 75u);
    EXPECT_EQ(store.GetDword(Action(2), "PixelFormat"), 6u);
    EXPECT_EQ(store.GetString(Action(1), "Name"), "stored 1");
    EXPECT_EQ(store.GetString("Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Lumagrabber"),
              "Lmgrab.exe /start");
}

TEST_F(Editor, ApplyDeletesTheKeysOfRemovedActionsUpToTheFirstGap) {
    SeedActions(5);
    store.SetDword(Action(4) + "\\Deep", "v", 1);
    store.CreateKey(Action(7));
    store.CreateKey(kKey + "\\Other");
    Start();
    Select(4);
    Click(form->btnDelete);
    Select(3);
    Click(form->btnDelete);
    ASSERT_EQ(form->lstActions->count(), 3);
    Click(form->btnApply);
    EXPECT_TRUE(form->isVisible());  // Apply keeps the window
    EXPECT_EQ(store.GetDword(kKey, "Count"), 3u);
    EXPECT_FALSE(store.KeyExists(Action(4)));
    EXPECT_FALSE(store.KeyExists(Action(5)));
    EXPECT_TRUE(store.KeyExists(Action(7)));  // beyond the gap at 6
    EXPECT_TRUE(store.KeyExists(kKey + "\\Other"));
    EXPECT_EQ(store.GetString(Action(3), "Name"), "stored 3");
}

TEST_F(Editor, ApplyStoresPendingEditsAndTheGeneralPage) {
    SeedActions(1);
    Start();
    auto event = Listen();
    Type(form->edActionName, "renamed");
    form->PageControl->setCurrentWidget(form->TabGeneral);
    Type(form->edGlobalDir, " /new dir ");
    Tick(form->chkStartOnStartup);  // unticks it
    Click(form->btnApply);
    EXPECT_TRUE(event->IsSet());
    EXPECT_EQ(store.GetString(Action(1), "Name"), "renamed");
    EXPECT_EQ(store.GetString(kKey, "TargetDir"), " /new dir ");  // exactly as typed
    EXPECT_EQ(store.GetString("Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Lumagrabber"),
              "Lmgrab.exe");
    // The list entry keeps the old text until the action is left.
    EXPECT_EQ(form->lstActions->item(0)->text(), "stored 1");

    // A second Apply sets the event again.
    event->Reset();
    Click(form->btnApply);
    EXPECT_TRUE(event->IsSet());
}

TEST_F(Editor, CancelAndClosingCommitNothing) {
    SeedActions(1);
    Start();
    auto event = Listen();
    Type(form->edActionName, "never stored");
    Click(form->btnCancel);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(event->IsSet());
    EXPECT_EQ(store.GetString(Action(1), "Name"), "stored 1");

    Start();
    Type(form->edActionName, "never stored either");
    form->close();  // the window system's close is Cancel
    EXPECT_EQ(store.GetString(Action(1), "Name"), "stored 1");
    EXPECT_FALSE(event->IsSet());
}

TEST_F(Editor, WithNoActionsApplyAndOkCommitNothing) {
    SeedActions(1);
    Start();
    auto event = Listen();
    Click(form->btnDelete);
    form->PageControl->setCurrentWidget(form->TabGeneral);
    Type(form->edGlobalDir, "changed");
    Click(form->btnApply);
    EXPECT_FALSE(event->IsSet());
    EXPECT_EQ(store.GetDword(kKey, "Count"), 1u);
    EXPECT_EQ(store.GetString(kKey, "TargetDir"), "/shots");
    Click(form->btnOK);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(event->IsSet());
}

TEST_F(Editor, AFailedSaveIsReportedAndOkKeepsTheEdits) {
    SeedActions(1);
    Start();
    auto event = Listen();
    Type(form->edActionName, "keep me");
    // The store becomes read-only under the running editor.
    testsupport::ReadOnlyStoreInPlace readOnly(store);
    Click(form->btnOK);
    EXPECT_TRUE(form->isVisible());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains("could not be saved"));
    EXPECT_TRUE(dialogs.messages[0].text.contains("read-only"))
        << dialogs.messages[0].text.toStdString();
    EXPECT_EQ(dialogs.messages[0].caption, "Lumagrabber - Error");
    EXPECT_TRUE(event->IsSet());  // the rest of Apply still happened
    EXPECT_EQ(form->edActionName->text(), "keep me");
}

TEST_F(Editor, AnActionSavedWithoutAKeyIsNotLostOnTheNextStart) {
    SeedActions(3);
    Start();
    Click(form->btnNewAction);  // a new action has no hot key
    Click(form->btnOK);
    ASSERT_EQ(store.GetDword(kKey, "Count"), 4u);
    EXPECT_EQ(store.GetDword(Action(4), "VirtualKey"), 0u);

    // The next start says so, and keeps every stored action.
    Start();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains("have no hot key: 4"));
    ASSERT_EQ(form->lstActions->count(), 4);
    EXPECT_EQ(form->edGlobalDir->text(), "/shots");
    Click(form->btnNewAction);
    Click(form->btnApply);
    EXPECT_EQ(store.GetDword(kKey, "Count"), 5u);
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(store.GetString(Action(n), "Name"), "stored " + std::to_string(n));
    }
}

TEST_F(Editor, AConfigurationThatCannotBeReadIsNeverWrittenOver) {
    SeedActions(3);
    store.SetString(Action(2), "VirtualKey", "not a number");
    Start();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains("could not be read (actions 2)"));
    EXPECT_EQ(form->lstActions->count(), 0);
    EXPECT_EQ(form->edGlobalDir->text(), "");
    auto event = Listen();
    Click(form->btnNewAction);
    Click(form->btnOK);
    EXPECT_TRUE(form->isVisible());           // refused, with the edits kept
    ASSERT_EQ(dialogs.questions.size(), 1u);  // the refusal asks whether to replace; No
    EXPECT_TRUE(dialogs.questions[0].text.contains("not written over"));
    EXPECT_EQ(dialogs.questions[0].caption, "Lumagrabber - Error");
    EXPECT_FALSE(event->IsSet());
    EXPECT_EQ(store.GetDword(kKey, "Count"), 3u);
    EXPECT_EQ(store.GetString(Action(3), "Name"), "stored 3");
}

TEST_F(Editor, AfterAnUnreadableStoreTheUserMayChooseToReplaceIt) {
    SeedActions(3);
    store.SetString(Action(2), "VirtualKey", "not a number");
    Start();
    auto event = Listen();
    Click(form->btnNewAction);
    Type(form->edActionName, "replacement");
    dialogs.replies = {true};
    Click(form->btnApply);
    EXPECT_EQ(dialogs.questions.size(), 1u);
    EXPECT_TRUE(event->IsSet());
    EXPECT_EQ(store.GetDword(kKey, "Count"), 1u);
    EXPECT_EQ(store.GetString(Action(1), "Name"), "replacement");
    EXPECT_FALSE(store.KeyExists(Action(2)));
    Click(form->btnApply);  // the store now holds the window's configuration: no question
    EXPECT_EQ(dialogs.questions.size(), 1u);
}

TEST_F(Editor, AStoreThatIsNotAStoreIsNamedAndLeftAlone) {
    const std::string junk(6000, '~');
    testsupport::WriteFile(store.path(), junk);
    Start();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QString::fromStdString(store.path())));
    Click(form->btnNewAction);
    Click(form->btnApply);
    EXPECT_EQ(dialogs.questions.size(), 1u);
    dialogs.replies = {true};  // even asked to, nothing is written over a file that is no store
    Click(form->btnApply);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(dialogs.messages[1].text.contains("could not be saved"));
    EXPECT_EQ(testsupport::ReadFile(store.path()), junk);
}

TEST_F(Editor, LongValuesPassThroughTheEditsWhole) {
    SeedActions(1);
    const std::string sound(39997, 's');
    store.SetString(Action(1), "Sound", sound);
    store.SetString(Action(1), "Name", std::string(40000, 'n'));
    Start();
    Click(form->btnApply);
    EXPECT_EQ(store.GetString(Action(1), "Sound"), sound);
    EXPECT_EQ(store.GetString(Action(1), "Name").size(), 40000u);
}

TEST_F(Editor, TheListKeepsItsOneSelectedEntryWhateverTheUserPresses) {
    SeedActions(3);
    Start();
    Select(1);
    QListWidget* list = form->lstActions;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      list->visualItemRect(list->item(1)).center());
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
    ASSERT_EQ(list->selectedItems().size(), 1);
    EXPECT_EQ(list->row(list->selectedItems()[0]), 1);
    EXPECT_EQ(form->CurrentIndex(), 1);
}

}  // namespace
