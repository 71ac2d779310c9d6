// The General page's commands, driven as a user would, with the dialogs
// answered from a script.
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "model/ActionKeys.h"
#include "tests/support/FakeModalUi.h"
#include "tests/support/TempStore.h"
#include "tests/support/UiDriving.h"
#include "ui/Application.h"
#include "ui/HelpViewer.h"
#include "ui/MainForm.h"

namespace {

using testsupport::ReadFile;
using testsupport::Type;

const std::string kKey = "Software\\Orvane\\Lmgrab";

class GeneralPage : public ::testing::Test {
protected:
    void SetUp() override {
        store.SetDword(kKey, "Count", 2);
        store.SetString(kKey, "TargetDir", "/stored");
        for (int n = 1; n <= 2; ++n) {
            const std::string key = kKey + "\\Action" + std::to_string(n);
            store.SetString(key, "Name", "stored " + std::to_string(n));
            store.SetDword(key, "VirtualKey", 65);
            store.SetDword(key, "SaveTo", 1);
        }
        form = std::make_unique<TForm1>(dialogs);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->PageControl->setCurrentWidget(form->TabGeneral);
    }
    void Click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    QString File(const char* name) { return QString::fromStdString(store.dir().file(name)); }

    testsupport::TempRuntimeDir runtime;
    testsupport::TempStore store;
    FakeModalUi dialogs;
    std::unique_ptr<TForm1> form;
};

TEST_F(GeneralPage, SaveWritesTheListWithThePendingEditsUnderTheNameAsTyped) {
    form->PageControl->setCurrentWidget(form->TabActions);
    Type(form->edActionName, "edited");
    form->PageControl->setCurrentWidget(form->TabGeneral);
    Type(form->edGlobalDir, "/not applied");
    dialogs.answers = {File("profile")};
    Click(form->btnSave);
    EXPECT_EQ(dialogs.asked, QStringList{"save"});
    EXPECT_EQ(dialogs.dialogs[0].filter, "Lumagrabber profile (*.lgp)|*.lgp|All Files (*.*)|*.*");
    const std::string text = ReadFile(store.dir().file("profile"));
    EXPECT_NE(text.find("Name=edited\r\n"), std::string::npos);
    EXPECT_NE(text.find("TargetDir=/stored\r\n"), std::string::npos);  // the list's, not the edit's
    EXPECT_TRUE(dialogs.messages.empty());

    dialogs.answers = {File("no/such/dir/p.lgp")};
    Click(form->btnSave);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Save operation failed!");
    EXPECT_EQ(dialogs.messages[0].caption, "FAILED");
    dialogs.answers = {""};  // cancelled
    Click(form->btnSave);
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(GeneralPage, LoadReplacesTheWorkingCopyAndApplyCommitsIt) {
    testsupport::WriteFile(
        store.dir().file("in.lgp"),
        "[Software\\Orvane\\Lmgrab]\nCount=1\nTargetDir=/from profile\n"
        "[Software\\Orvane\\Lmgrab\\Action1]\nName=loaded\nVirtualKey=66\nSaveTo=1\n");
    dialogs.answers = {File("in.lgp")};
    Click(form->btnLoad);
    EXPECT_EQ(dialogs.dialogs[0].defaultExt, "lgp");
    ASSERT_EQ(form->lstActions->count(), 1);
    EXPECT_EQ(form->lstActions->item(0)->text(), "loaded");
    EXPECT_EQ(form->edGlobalDir->text(), "/from profile");
    EXPECT_EQ(store.GetDword(kKey, "Count"), 2u);  // nothing committed yet
    Click(form->btnApply);
    EXPECT_EQ(store.GetDword(kKey, "Count"), 1u);
    EXPECT_FALSE(store.KeyExists(kKey + "\\Action2"));
    EXPECT_EQ(store.GetString(kKey + "\\Action1", "Name"), "loaded");
}

TEST_F(GeneralPage, AProfileThatCannotBeReadEmptiesTheEditor) {
    dialogs.answers = {File("missing.lgp")};
    Click(form->btnLoad);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Failed to read from file: " + File("missing.lgp"));
    EXPECT_EQ(dialogs.messages[0].caption, "Lumagrabber - Error");
    EXPECT_EQ(form->lstActions->count(), 0);
    EXPECT_EQ(form->edGlobalDir->text(), "");
    Click(form->btnApply);  // nothing to commit
    EXPECT_EQ(store.GetDword(kKey, "Count"), 2u);
}

TEST_F(GeneralPage, RevertBringsBackTheStoredConfiguration) {
    form->PageControl->setCurrentWidget(form->TabActions);
    Click(form->btnNewAction);
    Type(form->edActionName, "unsaved");
    form->PageControl->setCurrentWidget(form->TabGeneral);
    Click(form->btnRevert);
    EXPECT_EQ(form->lstActions->count(), 2);
    EXPECT_EQ(form->CurrentIndex(), 0);
    EXPECT_EQ(form->edActionName->text(), "stored 1");
}

TEST_F(GeneralPage, TheBrowseButtonsFillTheGlobalEdits) {
    dialogs.answers = {"/picked", "/sounds/beep.wav"};
    Click(form->btnBrowseGlobal);
    EXPECT_EQ(form->edGlobalDir->text(), "/picked");
    Click(form->btnBrowseDefaultSound);
    EXPECT_EQ(form->edDefaultSound->text(), "/sounds/beep.wav");
    EXPECT_EQ(dialogs.dialogs.back().filter, "Sounds (*.wav)|*.wav");
}

TEST_F(GeneralPage, HelpAsksForTheContentsTopic) {
    SetApplicationHelpFile("Lmgrab.hlp");
    Click(form->btnHelp);
    EXPECT_EQ(dialogs.asked, QStringList{"help:Lmgrab.hlp#IDH_Contents"});
    EXPECT_TRUE(form->isVisible());
    // The help document is found beside the program, and has that topic.
    const QString document = FindHelpDocument("Lmgrab.hlp");
    ASSERT_FALSE(document.isEmpty());
    EXPECT_NE(ReadFile(document.toStdString()).find("id=\"IDH_Contents\""), std::string::npos);
    QString error;
    EXPECT_FALSE(ShowHelpTopic("Nothing.hlp", "IDH_Contents", error));
    EXPECT_TRUE(error.contains("Nothing.hlp"));
    EXPECT_TRUE(ShowHelpTopic("Lmgrab.hlp", "IDH_Contents", error));
}

}  // namespace

namespace {

TEST_F(GeneralPage, LoadingAFifoIsRefusedAtOnceAndKeepsTheWorkingCopy) {
    const std::string fifo = store.dir().file("fifo.lgp");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    dialogs.answers = {QString::fromStdString(fifo)};
    Click(form->btnLoad);  // would hang here if the FIFO were opened for reading
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              "Failed to read from file: " + QString::fromStdString(fifo));
    EXPECT_EQ(form->lstActions->count(), 2);
}

}  // namespace
