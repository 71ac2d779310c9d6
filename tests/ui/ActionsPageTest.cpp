// One action shown on the Actions page and stored back, per kind of action
// and per file format, with the user's edits made on the real controls.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "model/ActionKeys.h"
#include "tests/support/FakeModalUi.h"
#include "tests/support/TempStore.h"
#include "tests/support/UiDriving.h"
#include "ui/MainForm.h"

namespace {

using testsupport::Pick;
using testsupport::Tick;
using testsupport::Type;

TActionKey FileAction(const char* extension, int pixelFormat = 0) {
    TActionKey a;
    a.Name = "file";
    a.Modifiers = 2;
    a.VirtualKey = 65;
    a.SaveTo = 1;
    a.TargetDir = "/captures";
    a.QuerryFName = true;
    a.GrabMethod = 1;
    a.Extension = extension;
    a.PixelFormat = static_cast<std::uint8_t>(pixelFormat);
    a.Quality = 35;
    a.Sound = "click.wav";
    return a;
}

TActionKey WithSaveTo(TActionKey a, int saveTo) {
    a.SaveTo = static_cast<std::uint8_t>(saveTo);
    return a;
}

class ActionsPage : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TForm1>(dialogs);
        dialogs.messages.clear();  // the empty store's message at start
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    // Puts the actions in the list and shows the first.
    void Load(std::initializer_list<TActionKey> actions) {
        form->ActionKeys().Clear();
        for (const TActionKey& a : actions) form->ActionKeys().Add(std::make_unique<TActionKey>(a));
        form->FillActionList();
    }
    TActionKey& Action(int i) { return form->ActionKeys().Get(i); }
    // Shows action i and stores the page straight back into it.
    TActionKey ShowAndStore(int i) {
        form->ShowAction(i);
        form->StoreAction(i);
        return Action(i);
    }
    bool Shown(QWidget* w) { return w->isVisibleTo(form.get()); }

    testsupport::TempStore store;
    FakeModalUi dialogs;
    std::unique_ptr<TForm1> form;
};

TEST_F(ActionsPage, AFileActionShowsEveryControlEnabled) {
    Load({FileAction(".bmp")});
    Action(0).Prevent16bit = true;
    form->ShowAction(0);
    EXPECT_EQ(form->edActionName->text(), "file");
    EXPECT_TRUE(form->edActionName->isEnabled());
    EXPECT_TRUE(form->chkCtrl->isChecked());
    EXPECT_FALSE(form->chkAlt->isChecked() || form->chkShift->isChecked());
    EXPECT_EQ(form->lstVirtualKey->currentText(), "A");
    EXPECT_EQ(form->edActionSound->text(), "click.wav");
    EXPECT_TRUE(form->btnDelete->isEnabled());
    EXPECT_TRUE(form->chkQuerryFName->isEnabled() && form->chkQuerryFName->isChecked());
    EXPECT_TRUE(form->edActionDir->isEnabled() && form->btnBrowse->isEnabled());
    EXPECT_EQ(form->edActionDir->text(), "/captures");
    EXPECT_EQ(form->lstGrabMethod->currentIndex(), 1);
    EXPECT_FALSE(form->edCustomRectHeight->isEnabled() || form->lblCustomRectWidth->isEnabled());
    EXPECT_EQ(form->edCustomRectHeight->text(), "");
    EXPECT_TRUE(form->chkSaveToClipboard->isEnabled());
    EXPECT_FALSE(form->chkSaveToClipboard->isChecked());
    EXPECT_EQ(form->lstFileExtension->currentText(), ".bmp");
    EXPECT_TRUE(form->lstFileExtension->isEnabled());
    EXPECT_TRUE(Shown(form->grpBmpDetails));
    EXPECT_FALSE(Shown(form->grpNODetails) || Shown(form->grpJpgDetails));
    EXPECT_EQ(form->lstColorDepth->currentIndex(), 0);
    EXPECT_TRUE(form->chkPrevent15bit->isEnabled());
    EXPECT_TRUE(form->chkPrevent16bit->isChecked());
    EXPECT_FALSE(form->chkPrevent32bit->isChecked());
}

TEST_F(ActionsPage, AClipboardActionSwitchesTheFileDestinationOff) {
    Load({FileAction(".jpg"), WithSaveTo(FileAction(".jpg"), 2)});
    form->ShowAction(1);
    EXPECT_TRUE(form->chkSaveToClipboard->isChecked() && form->chkSaveToClipboard->isEnabled());
    EXPECT_FALSE(form->chkQuerryFName->isEnabled() || form->chkQuerryFName->isChecked());
    EXPECT_FALSE(form->edActionDir->isEnabled() || form->btnBrowse->isEnabled() ||
                 form->lblActionDir->isEnabled());
    EXPECT_EQ(form->edActionDir->text(), "");
    EXPECT_FALSE(form->lstFileExtension->isEnabled() || form->lblFileExtension->isEnabled());
    EXPECT_EQ(form->lstFileExtension->currentText(), ".jpg");  // selection unchanged
    EXPECT_TRUE(Shown(form->grpNODetails));
    EXPECT_FALSE(form->lstColorDepth->isEnabled());
    EXPECT_EQ(form->lstColorDepth->currentIndex(), -1);
    EXPECT_FALSE(form->chkPrevent15bit->isEnabled() || form->chkPrevent15bit->isChecked());
    EXPECT_TRUE(form->edActionName->isEnabled() && form->btnDelete->isEnabled());
}

TEST_F(ActionsPage, AnActionWithoutOutputLetsOnlyItsKeyAndSoundChange) {
    TActionKey fixed = WithSaveTo(FileAction(".bmp"), 0);
    fixed.Name = "fixed";
    fixed.Quit = true;
    fixed.GrabMethod = 3;
    Load({FileAction(".tga"), fixed});
    form->ShowAction(1);
    EXPECT_EQ(form->edActionName->text(), "fixed");
    EXPECT_FALSE(form->edActionName->isEnabled());
    EXPECT_TRUE(form->chkAlt->isEnabled() && form->lstVirtualKey->isEnabled());
    EXPECT_TRUE(form->edActionSound->isEnabled() && form->btnBrowseSound->isEnabled());
    EXPECT_TRUE(form->chkQuitAction->isChecked());
    EXPECT_FALSE(form->chkQuitAction->isEnabled());
    EXPECT_FALSE(form->btnDelete->isEnabled());
    EXPECT_FALSE(form->lstGrabMethod->isEnabled());
    EXPECT_EQ(form->lstGrabMethod->currentIndex(), -1);
    EXPECT_FALSE(form->edCustomRectHeight->isEnabled());
    EXPECT_EQ(form->edCustomRectHeight->text(), "");
    EXPECT_FALSE(form->chkSaveToClipboard->isEnabled() || form->chkSaveToClipboard->isChecked());
    EXPECT_FALSE(form->lstFileExtension->isEnabled());
    EXPECT_EQ(form->lstFileExtension->currentText(), ".tga");
    EXPECT_TRUE(Shown(form->grpNODetails));

    // Stored, it keeps SaveTo 0, takes 255 from the empty grab list and the
    // extension still selected from the action before.
    form->StoreAction(1);
    EXPECT_EQ(Action(1).SaveTo, 0);
    EXPECT_EQ(Action(1).GrabMethod, 255);
    EXPECT_EQ(Action(1).Extension, ".tga");
}

TEST_F(ActionsPage, HotKeysMapBothWays) {
    const struct {
        int modifiers, key;
        bool alt, ctrl, shift;
        const char* shown;
        int storedModifiers, storedKey;
    } cases[] = {
        {6, 0x74, false, true, true, "F5", 6, 0x74}, {0, 0x20, false, false, false, "", 0, 0},
        {9, 48, true, false, false, "0", 1, 48},     {7, 90, true, true, true, "Z", 7, 90},
        {1, 123, true, false, false, "F12", 1, 123}, {0, 0, false, false, false, "", 0, 0},
    };
    for (const auto& c : cases) {
        TActionKey a = FileAction(".bmp");
        a.Modifiers = c.modifiers;
        a.VirtualKey = c.key;
        Load({a});
        EXPECT_EQ(form->chkAlt->isChecked(), c.alt) << c.key;
        EXPECT_EQ(form->chkCtrl->isChecked(), c.ctrl) << c.key;
        EXPECT_EQ(form->chkShift->isChecked(), c.shift) << c.key;
        EXPECT_EQ(form->lstVirtualKey->currentIndex() < 0 ? "" : form->lstVirtualKey->currentText(),
                  c.shown);
        form->StoreAction(0);
        EXPECT_EQ(Action(0).Modifiers, c.storedModifiers) << c.key;
        EXPECT_EQ(Action(0).VirtualKey, c.storedKey) << c.key;
    }
}

TEST_F(ActionsPage, NamesAreStoredAsTypedUnlessBlank) {
    Load({FileAction(".bmp")});
    const struct {
        const char* typed;
        const char* stored;
    } cases[] = {
        {"  spaced out  ", "  spaced out  "}, {"   ", "Noname"}, {"", "Noname"}, {"ok", "ok"}};
    for (const auto& c : cases) {
        Type(form->edActionName, c.typed);
        form->StoreAction(0);
        EXPECT_EQ(Action(0).Name, c.stored) << "'" << c.typed << "'";
    }
    Type(form->edActionDir, "  /trimmed/dir ");
    Type(form->edActionSound, " s.wav  ");
    form->StoreAction(0);
    EXPECT_EQ(Action(0).TargetDir, "/trimmed/dir");
    EXPECT_EQ(Action(0).Sound, "s.wav");
}

TEST_F(ActionsPage, DestinationsStoreByKind) {
    Load({WithSaveTo(FileAction(".bmp"), 5)});
    EXPECT_FALSE(form->chkSaveToClipboard->isChecked());
    EXPECT_TRUE(Shown(form->grpBmpDetails));  // shown as a file action
    form->StoreAction(0);
    EXPECT_EQ(Action(0).SaveTo, 1);
    Tick(form->chkSaveToClipboard);
    ASSERT_TRUE(form->chkSaveToClipboard->isChecked());
    form->StoreAction(0);
    EXPECT_EQ(Action(0).SaveTo, 2);
    // The disabled directory and "Show SaveAs Dialog" keep their values and are stored.
    EXPECT_EQ(Action(0).TargetDir, "/captures");
    EXPECT_TRUE(Action(0).QuerryFName);
}

TEST_F(ActionsPage, ColourDepthsShowAndStoreByFormat) {
    const struct {
        const char* extension;
        int pixelFormat;
        const char* list;  // the list that shows the depth
        int shownIndex;    // -1: nothing selected
        int storedFormat;
        const char* storedExtension;
    } cases[] = {
        {".bmp", 0, "lstColorDepth", 0, 0, ".bmp"},
        {".bmp", 7, "lstColorDepth", 7, 7, ".bmp"},
        {".bmp", 8, "lstColorDepth", -1, 255, ".bmp"},
        {".BMP", 3, "lstColorDepth", 3, 3, ".bmp"},
        {".pcx", 1, "cbPCXColorDepth", 0, 1, ".pcx"},
        {".pcx", 3, "cbPCXColorDepth", 2, 3, ".pcx"},
        {".pcx", 6, "cbPCXColorDepth", -1, 0, ".pcx"},
        {".tga", 3, "cbTGAColorDepth", 0, 3, ".tga"},
        {".tga", 0, "cbTGAColorDepth", 1, 6, ".tga"},
        {".jpg", 2, nullptr, 0, 6, ".jpg"},
        {".Tif", 2, nullptr, 0, 6, ".tif"},
        {".png", 2, nullptr, 0, 2, ""},  // not in the list: nothing shown, the depth kept
    };
    for (const auto& c : cases) {
        Load({FileAction(c.extension, c.pixelFormat)});
        if (c.list) {
            EXPECT_EQ(form->findChild<QComboBox*>(c.list)->currentIndex(), c.shownIndex)
                << c.extension << " " << c.pixelFormat;
        }
        form->StoreAction(0);
        EXPECT_EQ(Action(0).PixelFormat, c.storedFormat) << c.extension << " " << c.pixelFormat;
        EXPECT_EQ(Action(0).Extension, c.storedExtension) << c.extension;
    }
    // An extension outside the list shows no format and no format group.
    Load({FileAction(".png", 2)});
    EXPECT_EQ(form->lstFileExtension->currentIndex(), -1);
    for (QGroupBox* g : {form->grpBmpDetails, form->grpJpgDetails, form->grpPcxDetails,
                         form->grpTifDetails, form->grpTgaDetails}) {
        EXPECT_FALSE(Shown(g)) << g->objectName().toStdString();
    }
    EXPECT_EQ(Action(0).Quality, 35);
}

TEST_F(ActionsPage, ForceBoxesApplyOnlyToTheScreensOwnDepth) {
    TActionKey a = FileAction(".bmp", 3);
    a.Prevent15bit = true;
    Load({FileAction(".bmp", 0), a});
    form->chkPrevent32bit->setChecked(true);  // left over from the action before
    form->ShowAction(1);
    EXPECT_EQ(form->lstColorDepth->currentText(), "8 bit (256 colors)");
    EXPECT_FALSE(form->chkPrevent15bit->isEnabled());
    EXPECT_FALSE(form->chkPrevent15bit->isChecked());  // marks are left as they were
    EXPECT_TRUE(form->chkPrevent32bit->isChecked());
    form->StoreAction(1);
    EXPECT_FALSE(Action(1).Prevent15bit);
    EXPECT_TRUE(Action(1).Prevent32bit);
}

TEST_F(ActionsPage, AClipboardActionTakesTheFormatControlsOfTheActionBefore) {
    TActionKey jpg = FileAction(".jpg");
    jpg.Quality = 60;
    Load({jpg, WithSaveTo(FileAction(".bmp"), 2), FileAction(".bmp")});
    form->ShowAction(1);
    form->StoreAction(1);
    EXPECT_EQ(Action(1).Extension, ".jpg");
    EXPECT_EQ(Action(1).PixelFormat, 6);
    EXPECT_EQ(Action(1).Quality, 60);

    form->ShowAction(2);
    Action(1) = WithSaveTo(FileAction(".bmp"), 2);
    Action(1).Prevent16bit = true;
    form->ShowAction(1);
    form->StoreAction(1);
    EXPECT_EQ(Action(1).PixelFormat, 255);
    EXPECT_FALSE(Action(1).Prevent15bit || Action(1).Prevent16bit || Action(1).Prevent32bit);
}

TEST_F(ActionsPage, LeavingAClipboardActionRestoresTheFileControls) {
    TActionKey fixed = WithSaveTo(FileAction(".bmp"), 0);
    Load({WithSaveTo(FileAction(".bmp"), 2), FileAction(".bmp", 3), fixed, FileAction(".jpg")});
    form->ShowAction(1);  // file action after a clipboard action
    EXPECT_FALSE(form->chkSaveToClipboard->isChecked());
    EXPECT_TRUE(form->lstFileExtension->isEnabled());
    EXPECT_EQ(form->lstColorDepth->currentIndex(), 3);
    EXPECT_TRUE(form->chkPrevent15bit->isChecked());  // checked by the clipboard reaction
    EXPECT_FALSE(form->chkPrevent15bit->isEnabled());
    EXPECT_FALSE(Shown(form->grpNODetails));

    form->ShowAction(0);
    form->ShowAction(2);  // an action without output after a clipboard action
    EXPECT_FALSE(form->lstFileExtension->isEnabled());
    EXPECT_FALSE(form->lblFileExtension->isEnabled());
    EXPECT_TRUE(Shown(form->grpNODetails));

    form->ShowAction(3);
    EXPECT_TRUE(Shown(form->grpJpgDetails));
    EXPECT_EQ(form->tbCompressionQuality->value(), 35);
    EXPECT_EQ(form->tbCompressionQuality->toolTip(), "35");
    EXPECT_EQ(form->edCompressionQuality->text(), "35");
}

TEST_F(ActionsPage, ThePredefinedRectangle) {
    TActionKey rect = FileAction(".bmp");
    rect.GrabMethod = 3;
    rect.RecHeight = 200;
    rect.RecWidth = 250;
    TActionKey top = FileAction(".bmp");
    top.RecHeight = 11;
    top.RecWidth = 22;
    Load({rect, top});
    EXPECT_TRUE(form->edCustomRectHeight->isEnabled() && form->lblCustomRectHeight->isEnabled());
    EXPECT_EQ(form->edCustomRectHeight->text(), "200");
    EXPECT_EQ(form->edCustomRectWidth->text(), "250");
    Type(form->edCustomRectHeight, "abc");
    Type(form->edCustomRectWidth, "-40");
    form->StoreAction(0);
    EXPECT_EQ(Action(0).RecHeight, 0);
    EXPECT_EQ(form->edCustomRectHeight->text(), "0");
    EXPECT_EQ(Action(0).RecWidth, -40);
    Type(form->edCustomRectHeight, "99999999999");
    form->StoreAction(0);
    EXPECT_EQ(Action(0).RecHeight, 0);

    // Another grab method leaves the stored sizes alone.
    EXPECT_EQ(ShowAndStore(1).RecHeight, 11);
    EXPECT_EQ(Action(1).RecWidth, 22);
    EXPECT_EQ(Action(1).GrabMethod, 1);
}

TEST_F(ActionsPage, TheRoadOfATypicalChange) {
    TActionKey a = FileAction(".bmp");
    a.Modifiers = 0;
    Load({a});
    Tick(form->chkCtrl);
    Pick(form->lstVirtualKey, 40);  // "F5"
    Pick(form->lstFileExtension, 1);
    EXPECT_TRUE(Shown(form->grpJpgDetails));
    EXPECT_EQ(form->tbCompressionQuality->value(), 100);
    EXPECT_EQ(form->edCompressionQuality->text(), "100");
    form->tbCompressionQuality->setFocus();
    for (int i = 0; i < 25; ++i) QTest::keyClick(form->tbCompressionQuality, Qt::Key_Left);
    EXPECT_EQ(form->edCompressionQuality->text(), "75");
    EXPECT_EQ(form->tbCompressionQuality->toolTip(), "75");
    form->StoreAction(0);
    EXPECT_EQ(Action(0).Modifiers, 2);
    EXPECT_EQ(Action(0).VirtualKey, 116);
    EXPECT_EQ(Action(0).Extension, ".jpg");
    EXPECT_EQ(Action(0).Quality, 75);
    EXPECT_EQ(Action(0).PixelFormat, 6);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ActionsPage, AQualityThatIsNoNumberIsReportedAndTheSliderStays) {
    Load({FileAction(".jpg")});
    Type(form->edCompressionQuality, "");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "'' is not a valid integer value.");
    EXPECT_EQ(dialogs.messages[0].caption, "Lumagrabber - Configuration");
    EXPECT_EQ(dialogs.messages[0].icon, ModalUi::Icon::Error);
    EXPECT_EQ(form->tbCompressionQuality->value(), 35);
    QTest::keyClicks(form->edCompressionQuality, "150");
    EXPECT_EQ(form->edCompressionQuality->text(), "150");
    EXPECT_EQ(form->tbCompressionQuality->value(), 100);
    Type(form->edCompressionQuality, "0");
    EXPECT_EQ(form->tbCompressionQuality->value(), 1);
    EXPECT_EQ(form->tbCompressionQuality->toolTip(), "35");  // the hint is left alone
    QTest::keyClicks(form->edCompressionQuality, "1234");
    EXPECT_EQ(form->edCompressionQuality->text(), "012");
}

TEST_F(ActionsPage, WithNoActionsThePageIsEmptyAndNothingIsStored) {
    Load({FileAction(".jpg")});
    form->ActionKeys().Clear();
    form->FillActionList();
    EXPECT_EQ(form->lstActions->count(), 0);
    for (QWidget* w : std::initializer_list<QWidget*>{
             form->edActionName, form->chkAlt, form->lstVirtualKey, form->chkSaveToClipboard,
             form->chkQuerryFName, form->chkQuitAction, form->lstGrabMethod, form->lstColorDepth,
             form->chkPrevent15bit, form->btnDelete, form->edActionSound}) {
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    }
    EXPECT_EQ(form->edActionName->text(), "");
    EXPECT_EQ(form->lstVirtualKey->currentIndex(), -1);
    EXPECT_TRUE(Shown(form->grpNODetails));
    form->StoreAction(0);  // does nothing
    EXPECT_EQ(form->ActionKeys().Count(), 0);

    // The next action shown brings the page back.
    Load({FileAction(".bmp")});
    EXPECT_TRUE(form->edActionName->isEnabled() && form->chkAlt->isEnabled());
    EXPECT_TRUE(form->lblActionName->isEnabled());
    EXPECT_FALSE(Shown(form->grpNODetails));
}

TEST_F(ActionsPage, FillingTheListSelectsTheFirstActionWithoutItsClickReaction) {
    TActionKey second = FileAction(".pcx", 2);
    second.Name = "second";
    Load({FileAction(".bmp"), second});
    ASSERT_EQ(form->lstActions->count(), 2);
    EXPECT_EQ(form->lstActions->item(1)->text(), "second");
    EXPECT_EQ(form->lstActions->currentRow(), 0);
    EXPECT_EQ(form->CurrentIndex(), 0);
    EXPECT_EQ(form->edActionName->text(), "file");
    EXPECT_EQ(form->lstActions->sizeHintForRow(0), 13);
}

}  // namespace
