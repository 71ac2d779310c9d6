// Choosing, adding and deleting actions, and the reactions of the format,
// depth, grab, clipboard and browse controls, driven as a user would.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <filesystem>
#include <functional>

#include "model/ActionKeys.h"
#include "tests/support/FakeModalUi.h"
#include "tests/support/TempStore.h"
#include "tests/support/UiDriving.h"
#include "ui/DirectoryChooser.h"
#include "ui/MainForm.h"

namespace {

using testsupport::Pick;
using testsupport::Tick;
using testsupport::Type;

class ActionList : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TForm1>(dialogs);
        dialogs.messages.clear();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void Load(int count, const char* extension = ".bmp") {
        for (int n = 1; n <= count; ++n) {
            auto a = std::make_unique<TActionKey>();
            a->Name = "action " + std::to_string(n);
            a->VirtualKey = 64 + n;
            a->SaveTo = 1;
            a->Extension = extension;
            a->Quality = 35;
            a->PixelFormat = 1;
            form->ActionKeys().Add(std::move(a));
        }
        form->FillActionList();
    }
    void ClickEntry(int row) {
        QListWidget* list = form->lstActions;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
    }
    QString Entry(int row) { return form->lstActions->item(row)->text(); }
    TActionKey& Action(int i) { return form->ActionKeys().Get(i); }
    bool Shown(QWidget* w) { return w->isVisibleTo(form.get()); }

    testsupport::TempStore store;
    FakeModalUi dialogs;
    std::unique_ptr<TForm1> form;
};

TEST_F(ActionList, ChoosingAnotherEntryStoresTheOneLeftAndRelabelsIt) {
    Load(3);
    Type(form->edActionName, "renamed");
    ClickEntry(0);  // the entry on view: nothing is stored
    EXPECT_EQ(Action(0).Name, "action 1");
    EXPECT_EQ(Entry(0), "action 1");
    ClickEntry(2);
    EXPECT_EQ(Action(0).Name, "renamed");
    EXPECT_EQ(Entry(0), "renamed");
    EXPECT_EQ(form->CurrentIndex(), 2);
    EXPECT_EQ(form->edActionName->text(), "action 3");

    Type(form->edActionName, "   ");
    form->lstActions->setFocus();
    QTest::keyClick(form->lstActions, Qt::Key_Up);
    EXPECT_EQ(Entry(2), "Noname");
    EXPECT_EQ(Action(2).Name, "Noname");
    EXPECT_EQ(form->CurrentIndex(), 1);
    QTest::keyClick(form->lstActions, Qt::Key_End);
    EXPECT_EQ(form->CurrentIndex(), 2);
    QTest::keyClick(form->lstActions, Qt::Key_Home);
    EXPECT_EQ(form->CurrentIndex(), 0);
    QTest::keyClicks(form->lstActions, "N");  // typing finds "Noname"
    EXPECT_EQ(form->CurrentIndex(), 2);
}

TEST_F(ActionList, EditsOfSeveralActionsAllReachTheList) {
    Load(3);
    for (int row = 0; row < 3; ++row) {
        ClickEntry(row);
        Type(form->edActionName, QStringLiteral("edited %1").arg(row));
        Pick(form->lstVirtualKey, 36 + row);  // F1, F2, F3
        Pick(form->lstGrabMethod, row);
        Pick(form->lstFileExtension, row);  // .bmp, .jpg, .tga
    }
    ClickEntry(0);
    Tick(form->chkShift);
    QTest::mouseClick(form->btnNewAction, Qt::LeftButton);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(Action(row).Name, "edited " + std::to_string(row));
        EXPECT_EQ(Entry(row).toStdString(), "edited " + std::to_string(row));
        EXPECT_EQ(Action(row).VirtualKey, 112 + row);
        EXPECT_EQ(Action(row).GrabMethod, row);
    }
    EXPECT_EQ(Action(0).Modifiers, 4);
    EXPECT_EQ(Action(1).Extension, ".jpg");
    EXPECT_EQ(Action(1).Quality, 100);
    EXPECT_EQ(Action(2).Extension, ".tga");
    EXPECT_EQ(Action(2).PixelFormat, 6);
}

TEST_F(ActionList, NewStoresTheActionOnViewAndAppendsAFileAction) {
    Load(3);
    ClickEntry(1);
    Type(form->edActionName, "second");
    QTest::mouseClick(form->btnNewAction, Qt::LeftButton);
    ASSERT_EQ(form->lstActions->count(), 4);
    EXPECT_EQ(Entry(1), "second");
    EXPECT_EQ(Action(1).Name, "second");
    EXPECT_EQ(Entry(3), "New Action");
    EXPECT_EQ(form->lstActions->currentRow(), 3);
    EXPECT_EQ(form->CurrentIndex(), 3);
    EXPECT_EQ(form->edActionName->text(), "New Action");
    EXPECT_EQ(form->lstVirtualKey->currentIndex(), -1);
    EXPECT_EQ(form->lstGrabMethod->currentText(), "Full Screen");
    EXPECT_EQ(form->lstFileExtension->currentText(), ".bmp");
    EXPECT_TRUE(Shown(form->grpBmpDetails));
    EXPECT_EQ(form->lstColorDepth->currentText(), "Default Screen");
    EXPECT_TRUE(form->chkPrevent15bit->isEnabled());
    EXPECT_FALSE(form->chkPrevent15bit->isChecked());
    EXPECT_TRUE(form->btnDelete->isEnabled());

    QTest::mouseClick(form->btnNewAction, Qt::LeftButton);
    EXPECT_EQ(Entry(4), "New Action");
    // Left without edits, a new action keeps the new-action values.
    const TActionKey& fresh = Action(3);
    EXPECT_EQ(fresh.VirtualKey, 0);
    EXPECT_EQ(fresh.Quality, 0);
    EXPECT_EQ(fresh.SaveTo, 1);
    EXPECT_EQ(fresh.Extension, ".bmp");
}

TEST_F(ActionList, NewOnAnEmptyListMakesTheFirstAction) {
    QTest::mouseClick(form->btnNewAction, Qt::LeftButton);
    EXPECT_EQ(form->ActionKeys().Count(), 1);
    EXPECT_EQ(form->CurrentIndex(), 0);
    EXPECT_TRUE(form->edActionName->isEnabled());
}

TEST_F(ActionList, DeleteDropsTheActionOnViewWithItsEditsAndShowsTheFirst) {
    Load(3);
    Type(form->edActionName, "edited first");
    ClickEntry(2);
    Type(form->edActionName, "doomed edit");
    QTest::mouseClick(form->btnDelete, Qt::LeftButton);
    ASSERT_EQ(form->lstActions->count(), 2);
    EXPECT_EQ(form->lstActions->currentRow(), 0);
    EXPECT_EQ(form->CurrentIndex(), 0);
    EXPECT_EQ(form->edActionName->text(), "edited first");
    EXPECT_EQ(Action(1).Name, "action 2");
    QTest::mouseClick(form->btnDelete, Qt::LeftButton);
    QTest::mouseClick(form->btnDelete, Qt::LeftButton);
    EXPECT_EQ(form->ActionKeys().Count(), 0);
    EXPECT_FALSE(form->btnDelete->isEnabled());
}

TEST_F(ActionList, PickingAFormatResetsItsSettings) {
    Load(1, ".jpg");
    EXPECT_EQ(form->tbCompressionQuality->value(), 35);
    Pick(form->lstFileExtension, 0);
    Pick(form->lstFileExtension, 1);
    EXPECT_EQ(form->tbCompressionQuality->value(), 100);
    EXPECT_EQ(form->edCompressionQuality->text(), "100");
    EXPECT_EQ(form->tbCompressionQuality->toolTip(), "100");

    Pick(form->lstFileExtension, 4);  // ".pcx"
    EXPECT_TRUE(Shown(form->grpPcxDetails));
    EXPECT_EQ(form->cbPCXColorDepth->currentText(), "8 bit (256 colors)");
    Pick(form->cbPCXColorDepth, 0);
    Pick(form->lstFileExtension, 2);  // ".tga"
    EXPECT_EQ(form->cbTGAColorDepth->currentText(), "24 bit (16M colors)");
    Pick(form->lstFileExtension, 4);
    EXPECT_EQ(form->cbPCXColorDepth->currentText(), "8 bit (256 colors)");
    Pick(form->lstFileExtension, 3);  // ".tif": an empty group
    EXPECT_TRUE(Shown(form->grpTifDetails));
    EXPECT_FALSE(Shown(form->grpPcxDetails) || Shown(form->grpNODetails));

    Pick(form->lstFileExtension, 0);
    EXPECT_EQ(form->lstColorDepth->currentText(), "Default Screen");
    EXPECT_TRUE(form->chkPrevent15bit->isChecked() && form->chkPrevent32bit->isEnabled());
    Pick(form->lstColorDepth, 4);  // "15 bit"
    EXPECT_FALSE(form->chkPrevent15bit->isEnabled());
    EXPECT_TRUE(form->chkPrevent15bit->isChecked());
    Pick(form->lstColorDepth, 0);
    EXPECT_TRUE(form->chkPrevent15bit->isEnabled());
}

TEST_F(ActionList, TheGrabMethodOpensTheRectangleSizes) {
    Load(1);
    Pick(form->lstGrabMethod, 3);
    EXPECT_TRUE(form->edCustomRectHeight->isEnabled() && form->lblCustomRectWidth->isEnabled());
    EXPECT_EQ(form->edCustomRectHeight->text(), "");
    Type(form->edCustomRectWidth, "640");
    Pick(form->lstGrabMethod, 4);
    EXPECT_FALSE(form->edCustomRectWidth->isEnabled());
    EXPECT_EQ(form->edCustomRectWidth->text(), "640");  // kept, but not stored
    Pick(form->lstGrabMethod, 3);
    form->StoreAction(0);
    EXPECT_EQ(Action(0).RecHeight, 0);
    EXPECT_EQ(form->edCustomRectHeight->text(), "0");
    EXPECT_EQ(Action(0).RecWidth, 640);
}

TEST_F(ActionList, TheClipboardBoxSwitchesTheFileControlsBothWays) {
    Load(1);
    Action(0).PixelFormat = 3;
    Action(0).TargetDir = "/keep";
    form->ShowAction(0);
    Tick(form->chkSaveToClipboard);
    EXPECT_FALSE(form->edActionDir->isEnabled() || form->lstFileExtension->isEnabled());
    EXPECT_EQ(form->edActionDir->text(), "/keep");
    EXPECT_TRUE(Shown(form->grpNODetails));
    Tick(form->chkSaveToClipboard);
    EXPECT_EQ(form->lstColorDepth->currentText(), "Default Screen");
    EXPECT_TRUE(form->chkPrevent15bit->isChecked() && form->chkPrevent16bit->isChecked());
    EXPECT_FALSE(Shown(form->grpNODetails));

    // With no format selected, unticking picks ".bmp" with its defaults.
    Action(0).Extension = ".png";
    form->ShowAction(0);
    ASSERT_EQ(form->lstFileExtension->currentIndex(), -1);
    Tick(form->chkSaveToClipboard);
    Tick(form->chkSaveToClipboard);
    EXPECT_EQ(form->lstFileExtension->currentText(), ".bmp");
    EXPECT_TRUE(Shown(form->grpBmpDetails));
}

TEST_F(ActionList, TheBrowseButtonsFillTheirEdits) {
    Load(1);
    testsupport::TempDir dir;
    Type(form->edActionDir, QString::fromStdString(dir.path()));
    dialogs.answers = {"", "/chosen/dir", "!Cannot create directory \"/x\": denied"};
    QTest::mouseClick(form->btnBrowse, Qt::LeftButton);  // cancelled
    EXPECT_EQ(form->edActionDir->text(), QString::fromStdString(dir.path()));
    EXPECT_EQ(dialogs.asked.last(), "directory:" + QString::fromStdString(dir.path()));
    QTest::mouseClick(form->btnBrowse, Qt::LeftButton);
    EXPECT_EQ(form->edActionDir->text(), "/chosen/dir");
    QTest::mouseClick(form->btnBrowse, Qt::LeftButton);
    EXPECT_EQ(dialogs.asked.last(), "directory:" + QDir::currentPath());  // no such directory
    EXPECT_EQ(form->edActionDir->text(), "/chosen/dir");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Lumagrabber - Configuration");
    EXPECT_EQ(dialogs.messages[0].icon, ModalUi::Icon::Error);

    form->OpenDialog.filter = "Lumagrabber profile (*.lgp)|*.lgp|All Files (*.*)|*.*";
    form->OpenDialog.filterIndex = 1;
    dialogs.answers = {"/sounds/click.wav", ""};
    QTest::mouseClick(form->btnBrowseSound, Qt::LeftButton);
    EXPECT_EQ(form->edActionSound->text(), "/sounds/click.wav");
    ASSERT_EQ(dialogs.dialogs.size(), 1u);
    EXPECT_EQ(dialogs.dialogs[0].filter, "Sounds (*.wav)|*.wav");
    EXPECT_EQ(dialogs.dialogs[0].defaultExt, "wav");
    QTest::mouseClick(form->btnBrowseSound, Qt::LeftButton);  // cancelled
    EXPECT_EQ(form->edActionSound->text(), "/sounds/click.wav");
    EXPECT_EQ(dialogs.dialogs[1].fileName, "/sounds/click.wav");  // remembered
}

TEST(DirectoryChooser, OffersToCreateAMissingDirectoryAndStaysOpenOnNo) {
    testsupport::TempDir dir;
    QStringList questions;
    bool answer = false;
    DirectoryChooser chooser(QString::fromStdString(dir.path()), [&](const QString& text) {
        questions << text;
        return answer;
    });
    EXPECT_FALSE(chooser.windowFlags() & Qt::WindowContextHelpButtonHint);
    chooser.show();
    const QString wanted = QString::fromStdString(dir.path()) + "/new/deeper";
    chooser.pathEdit()->setText(wanted);
    chooser.accept();
    EXPECT_EQ(questions, QStringList{"The specified directory does not exist. Create it?"});
    EXPECT_TRUE(chooser.isVisible());  // No keeps it open
    EXPECT_FALSE(std::filesystem::exists(wanted.toStdString()));
    answer = true;
    chooser.accept();
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    EXPECT_EQ(chooser.directory(), wanted);
    EXPECT_TRUE(std::filesystem::is_directory(wanted.toStdString()));
    EXPECT_TRUE(chooser.creationError().isEmpty());
}

TEST(DirectoryChooser, ReportsADirectoryThatCannotBeMade) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.file("file"), "x");
    DirectoryChooser chooser(QString::fromStdString(dir.path()),
                             [](const QString&) { return true; });
    chooser.pathEdit()->setText(QString::fromStdString(dir.file("file") + "/sub"));
    chooser.accept();
    EXPECT_FALSE(chooser.creationError().isEmpty());
    // An existing directory is taken without a question.
    DirectoryChooser plain(QString::fromStdString(dir.path()), [](const QString&) {
        ADD_FAILURE() << "asked about an existing directory";
        return false;
    });
    plain.accept();
    EXPECT_EQ(plain.directory(), QString::fromStdString(dir.path()));
    EXPECT_EQ(ChooserStart(""), QDir::currentPath());
    EXPECT_EQ(ChooserStart(QString::fromStdString(dir.path())), QString::fromStdString(dir.path()));
}

TEST(DirectoryChooser, OpensExpandedAtItsFolderWithTheFolderSelected) {
    testsupport::TempDir dir;
    const QString deep = QString::fromStdString(dir.path()) + "/a/b/c";
    std::filesystem::create_directories(deep.toStdString());
    DirectoryChooser chooser(deep, [](const QString&) { return false; });
    chooser.show();
    auto* tree = chooser.findChild<QTreeView*>("folders");
    ASSERT_NE(tree, nullptr);
    auto* model = static_cast<QFileSystemModel*>(tree->model());
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const QModelIndex index = model->index(deep);
        if (tree->currentIndex() != index) return false;
        for (QModelIndex p = index.parent(); p.isValid(); p = p.parent()) {
            if (!tree->isExpanded(p)) return false;
        }
        return tree->visualRect(index).intersects(tree->viewport()->rect());
    }));
}

// The real dialogs, looked at from a timer while they are up, then dismissed.
class RealDialogs : public ::testing::Test {
protected:
    // Runs check on the dialog once it is up, then closes it.
    void WhenUp(std::function<void(QWidget*)> check) {
        QTimer::singleShot(0, [check] {
            QWidget* dialog = nullptr;
            (void)QTest::qWaitFor([&] {
                dialog = QApplication::activeModalWidget();
                return dialog && dialog->isVisible();
            });
            if (dialog) {
                QTest::qWait(50);
                check(dialog);
                dialog->close();
            } else {
                ADD_FAILURE() << "no dialog came up";
            }
        });
    }
    static QPoint ExpectedPlace(QWidget* dialog) {
        const QRect screen = dialog->screen()->geometry();
        return {screen.x() + (screen.width() - dialog->width()) / 2,
                screen.y() + (screen.height() - dialog->height()) / 3};
    }
    QtModalUi ui;
};

TEST_F(RealDialogs, OpenCentredWithAThirdOfTheFreeHeightAbove) {
    QPoint at, expected;
    auto record = [&](QWidget* d) {
        at = d->pos();
        expected = ExpectedPlace(d);
    };
    WhenUp(record);
    ui.Message("text", "caption", ModalUi::Icon::None);
    EXPECT_EQ(at, expected) << "message box";
    WhenUp(record);
    FileDialogState state{"Lumagrabber profile (*.lgp)|*.lgp|All Files (*.*)|*.*", "lgp", 0, {}};
    QString file;
    ui.OpenFile(state, file);
    EXPECT_EQ(at, expected) << "file dialog";
    WhenUp(record);
    QString directory, error;
    ui.ChooseDirectory(QDir::tempPath(), directory, error);
    EXPECT_EQ(at, expected) << "directory chooser";
}

TEST_F(RealDialogs, AllFilesListsFilesWithoutAnExtension) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.file("profile.lgp"), "");
    testsupport::WriteFile(dir.file("noextension"), "");
    const QString folder = QString::fromStdString(dir.path());
    auto listed = [folder](QWidget* d, QStringList& names) {
        auto* model = d->findChild<QFileSystemModel*>();
        if (!model) return;
        (void)QTest::qWaitFor([&] { return model->rowCount(model->index(folder)) > 0; });
        QTest::qWait(100);
        const QModelIndex parent = model->index(folder);
        for (int r = 0; r < model->rowCount(parent); ++r) {
            names << model->fileName(model->index(r, 0, parent));
        }
        names.sort();
    };
    for (const bool save : {false, true}) {
        QStringList all, profiles;
        FileDialogState state{"Lumagrabber profile (*.lgp)|*.lgp|All Files (*.*)|*.*", "lgp", 1,
                              folder + "/x"};
        WhenUp([&](QWidget* d) { listed(d, all); });
        QString file;
        save ? ui.SaveFile(state, file) : ui.OpenFile(state, file);
        EXPECT_EQ(all, (QStringList{"noextension", "profile.lgp"})) << "save " << save;
        state.filterIndex = 0;
        WhenUp([&](QWidget* d) { listed(d, profiles); });
        save ? ui.SaveFile(state, file) : ui.OpenFile(state, file);
        EXPECT_EQ(profiles, QStringList{"profile.lgp"}) << "save " << save;
    }
}

}  // namespace
