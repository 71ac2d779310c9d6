// The main window's controls as the user meets them: every control in its
// place with its caption and items, the focus order of both pages, the
// accelerator letters, and the keys that press nothing.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include "model/ActionKeys.h"
#include "tests/support/FakeModalUi.h"
#include "tests/support/TempStore.h"
#include "ui/MainForm.h"

namespace {

struct Expected {
    const char* name;
    const char* cls;
    const char* parent;
    int left, top, width, height;
    const char* caption;
};

// The designed layout, written out independently of the window's own table.
const Expected kControls[] = {
    {"btnHelp", "QPushButton", "TForm1", 8, 424, 75, 25, "&Help"},
    {"btnOK", "QPushButton", "TForm1", 184, 424, 75, 25, "&OK"},
    {"btnCancel", "QPushButton", "TForm1", 264, 424, 75, 25, "&Cancel"},
    {"btnApply", "QPushButton", "TForm1", 344, 424, 75, 25, "&Apply"},
    {"PageControl", "QTabWidget", "TForm1", 0, 0, 425, 417, nullptr},
    {"chkShowIconOnStartup", "QCheckBox", "TabGeneral", 8, 256, 249, 17, "Show Icon On Startup"},
    {"chkStartOnStartup", "QCheckBox", "TabGeneral", 8, 280, 249, 17,
     "Start Lumagrabber On Startup"},
    {"btnRun", "QPushButton", "TabGeneral", 336, 256, 75, 25, "RunButton"},
    {"lblGlobalDir", "QLabel", "TabGeneral", 8, 304, 82, 13, "Target Directory: "},
    {"edGlobalDir", "QLineEdit", "TabGeneral", 96, 304, 233, 21, nullptr},
    {"btnBrowseGlobal", "QPushButton", "TabGeneral", 336, 304, 75, 25, "&Browse..."},
    {"lblDefaultSound", "QLabel", "TabGeneral", 8, 328, 74, 13, "Default Sound: "},
    {"edDefaultSound", "QLineEdit", "TabGeneral", 88, 328, 241, 21, nullptr},
    {"btnBrowseDefaultSound", "QPushButton", "TabGeneral", 336, 328, 75, 25, "Find Sound..."},
    {"btnLoad", "QPushButton", "TabGeneral", 8, 360, 121, 25, "Load Profile From File"},
    {"btnSave", "QPushButton", "TabGeneral", 144, 360, 113, 25, "Save Profile To File"},
    {"btnRevert", "QPushButton", "TabGeneral", 272, 360, 137, 25, "Revert To Default Profile"},
    {"title", "QLabel", "grpProductInfo", 8, 8, 148, 13, "Lumagrabber version 3.00"},
    {"grpAction", "QGroupBox", "TabActions", 0, 0, 417, 105, "Action"},
    {"lstActions", "QListWidget", "grpAction", 8, 16, 321, 81, nullptr},
    {"btnNewAction", "QPushButton", "grpAction", 336, 16, 75, 25, "&New"},
    {"btnDelete", "QPushButton", "grpAction", 336, 48, 75, 25, "&Delete"},
    {"lblActionName", "QLabel", "grbActionPropertyes", 8, 16, 34, 13, "Name: "},
    {"edActionName", "QLineEdit", "grbActionPropertyes", 48, 16, 361, 21, nullptr},
    {"lblActionDir", "QLabel", "grbActionPropertyes", 8, 48, 48, 13, "Directory: "},
    {"edActionDir", "QLineEdit", "grbActionPropertyes", 56, 48, 273, 21, nullptr},
    {"btnBrowse", "QPushButton", "grbActionPropertyes", 336, 48, 75, 25, "&Browse..."},
    {"lblActionKey", "QLabel", "grbActionPropertyes", 56, 80, 24, 13, "Key: "},
    {"chkAlt", "QCheckBox", "grbActionPropertyes", 128, 80, 49, 17, "Alt"},
    {"chkCtrl", "QCheckBox", "grbActionPropertyes", 184, 80, 49, 17, "Ctrl"},
    {"chkShift", "QCheckBox", "grbActionPropertyes", 240, 80, 57, 17, "Shift"},
    {"lstVirtualKey", "QComboBox", "grbActionPropertyes", 312, 80, 97, 21, nullptr},
    {"lblActionSound", "QLabel", "grbActionPropertyes", 8, 104, 34, 13, "Sound:"},
    {"edActionSound", "QLineEdit", "grbActionPropertyes", 48, 104, 281, 21, nullptr},
    {"btnBrowseSound", "QPushButton", "grbActionPropertyes", 336, 104, 75, 25, "&Find Sound..."},
    {"chkSaveToClipboard", "QCheckBox", "grbActionPropertyes", 8, 144, 113, 17,
     "Save To Clipboard"},
    {"lblFileExtension", "QLabel", "grbActionPropertyes", 144, 144, 57, 13, "File Format: "},
    {"chkQuerryFName", "QCheckBox", "grbActionPropertyes", 248, 144, 161, 17, "Show SaveAs Dialog"},
    {"chkQuitAction", "QCheckBox", "grbActionPropertyes", 8, 168, 129, 17, "Stop After Action"},
    {"lstFileExtension", "QComboBox", "grbActionPropertyes", 144, 168, 97, 21, nullptr},
    {"grpGrabArea", "QGroupBox", "grbActionPropertyes", 8, 192, 233, 89, "Grab"},
    {"lstGrabMethod", "QComboBox", "grpGrabArea", 8, 16, 217, 21, nullptr},
    {"lblCustomRectHeight", "QLabel", "grpGrabArea", 64, 40, 37, 13, "Height: "},
    {"edCustomRectHeight", "QLineEdit", "grpGrabArea", 112, 40, 113, 21, nullptr},
    {"lblCustomRectWidth", "QLabel", "grpGrabArea", 64, 64, 34, 13, "Width: "},
    {"edCustomRectWidth", "QLineEdit", "grpGrabArea", 112, 64, 113, 21, nullptr},
    {"grpTgaDetails", "QGroupBox", "grbActionPropertyes", 248, 168, 161, 113, "Color Depth"},
    {"grpBmpDetails", "QGroupBox", "grbActionPropertyes", 248, 168, 161, 113, "Color Depth"},
    {"grpJpgDetails", "QGroupBox", "grbActionPropertyes", 248, 168, 161, 113, "Image Quality"},
    {"grpPcxDetails", "QGroupBox", "grbActionPropertyes", 248, 168, 161, 113, "Color Depth"},
    {"grpTifDetails", "QGroupBox", "grbActionPropertyes", 248, 168, 161, 113, ""},
    {"grpNODetails", "QGroupBox", "grbActionPropertyes", 248, 168, 161, 113, ""},
    {"lstColorDepth", "QComboBox", "grpBmpDetails", 8, 16, 145, 21, nullptr},
    {"chkPrevent15bit", "QCheckBox", "grpBmpDetails", 8, 40, 145, 17, "Force 15bit to 24bit"},
    {"chkPrevent16bit", "QCheckBox", "grpBmpDetails", 8, 64, 145, 17, "Force 16bit to 24bit"},
    {"chkPrevent32bit", "QCheckBox", "grpBmpDetails", 8, 88, 145, 17, "Force 32bit to 24bit"},
    {"tbCompressionQuality", "QSlider", "grpJpgDetails", 8, 16, 145, 33, nullptr},
    {"Label2", "QLabel", "grpJpgDetails", 8, 48, 6, 13, "1"},
    {"Label3", "QLabel", "grpJpgDetails", 128, 48, 18, 13, "100"},
    {"edCompressionQuality", "QLineEdit", "grpJpgDetails", 88, 80, 57, 21, nullptr},
    {"cbPCXColorDepth", "QComboBox", "grpPcxDetails", 8, 16, 145, 21, nullptr},
    {"cbTGAColorDepth", "QComboBox", "grpTgaDetails", 8, 16, 145, 21, nullptr},
};

QString Caption(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    return {};
}

QStringList Items(QComboBox* c) {
    QStringList items;
    for (int i = 0; i < c->count(); ++i) items << c->itemText(i);
    return items;
}

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TForm1>(dialogs);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    template <class W>
    W* Find(const char* name) {
        W* w = form->findChild<W*>(QString::fromUtf8(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    int Px(int v) const { return static_cast<int>(std::lround(v * form->LayoutScale())); }

    // Names of the widgets that Tab visits from the focus widget, until it
    // comes back round to where it started.
    QStringList TabCycle(QWidget* start) {
        start->setFocus(Qt::TabFocusReason);
        QStringList names;
        for (int i = 0; i < 60; ++i) {
            QWidget* focus = QApplication::focusWidget();
            if (!focus) break;
            const QString name =
                qobject_cast<QTabBar*>(focus) ? QStringLiteral("tabs") : focus->objectName();
            if (i > 0 && focus == start) break;
            names << name;
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        return names;
    }

    testsupport::TempStore store;
    FakeModalUi dialogs;
    std::unique_ptr<TForm1> form;
};

TEST_F(Window, IsAFixedWindowWithItsCaptionIconAndNoCloseButton) {
    EXPECT_EQ(form->objectName(), "");
    EXPECT_EQ(form->windowTitle(), "Lumagrabber - configuration");
    EXPECT_EQ(form->size(), QSize(Px(425), Px(453)));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    const Qt::WindowFlags flags = form->windowFlags();
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_FALSE(flags & (Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowContextHelpButtonHint | Qt::WindowSystemMenuHint));
    EXPECT_EQ(form->windowIcon().availableSizes(), QList<QSize>{QSize(32, 32)});
    EXPECT_EQ(form->LayoutScale(), 1.0) << "the window font should have a 13-pixel text height";
}

TEST_F(Window, EveryControlStandsInItsPlaceWithItsCaption) {
    for (const Expected& e : kControls) {
        QWidget* w = Find<QWidget>(e.name);
        ASSERT_NE(w, nullptr) << e.name << " is missing";
        EXPECT_STREQ(w->metaObject()->className(), e.cls) << e.name;
        const QString parent =
            w->parentWidget() == form.get() ? "TForm1" : w->parentWidget()->objectName();
        EXPECT_EQ(parent, e.parent) << e.name;
        const QRect g = w->geometry();
        EXPECT_EQ(g.topLeft(), QPoint(Px(e.left), Px(e.top))) << e.name;
        EXPECT_EQ(g.height(), Px(e.height)) << e.name;
        if (qobject_cast<QLabel*>(w)) {
            // Labels size themselves to their captions, which must show whole.
            EXPECT_GE(g.width(), w->sizeHint().width()) << e.name;
            EXPECT_NEAR(g.width(), Px(e.width), 12) << e.name;
        } else {
            EXPECT_EQ(g.width(), Px(e.width)) << e.name;
        }
        if (e.caption) {
            EXPECT_EQ(Caption(w), QString::fromUtf8(e.caption)) << e.name;
        }
        EXPECT_EQ(w->isHidden(), std::string(e.name) == "btnRun") << e.name;
    }
}

TEST_F(Window, AlignedControlsFillTheirPagesWidth) {
    auto* pages = Find<QTabWidget>("PageControl");
    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->widget(0), form->TabGeneral);
    EXPECT_EQ(pages->tabText(0), "General");
    EXPECT_EQ(pages->tabText(1), "Actions");
    EXPECT_EQ(pages->currentWidget(), form->TabActions);  // start brings Actions to the front
    const QSize page = form->TabActions->size();
    EXPECT_EQ(page.width(), Px(417));
    EXPECT_EQ(form->grpAction->width(), page.width()) << "the groups stick out of the page";
    EXPECT_EQ(form->grbActionPropertyes->geometry(),
              QRect(0, page.height() - Px(285), page.width(), Px(285)));
    EXPECT_GE(form->grbActionPropertyes->y(), form->grpAction->geometry().bottom() - 2)
        << "the two groups of the Actions page overlap";
    pages->setCurrentWidget(form->TabGeneral);
    EXPECT_EQ(form->grpProductInfo->geometry(), QRect(0, 0, form->TabGeneral->width(), Px(249)));
}

TEST_F(Window, CaptionsAndItemsShowWhole) {
    for (QAbstractButton* b : form->findChildren<QAbstractButton*>()) {
        if (b->objectName().isEmpty()) continue;
        const int text = b->fontMetrics().horizontalAdvance(b->text().remove('&'));
        const int room = qobject_cast<QCheckBox*>(b) ? b->width() - 20 : b->width() - 4;
        EXPECT_LE(text, room) << b->objectName().toStdString();
    }
    for (QComboBox* c : form->findChildren<QComboBox*>()) {
        for (int i = 0; i < c->count(); ++i) {
            EXPECT_LE(c->fontMetrics().horizontalAdvance(c->itemText(i)), c->width() - 24)
                << c->objectName().toStdString() << " " << c->itemText(i).toStdString();
        }
    }
    EXPECT_TRUE(form->title->font().bold());
    EXPECT_FALSE(form->lblGlobalDir->font().bold());
}

TEST_F(Window, DropDownListsHoldTheirItemsInOrderAndNoFreeText) {
    QStringList keys;
    for (char c = '0'; c <= '9'; ++c) keys << QString(QChar(c));
    for (char c = 'A'; c <= 'Z'; ++c) keys << QString(QChar(c));
    for (int f = 1; f <= 12; ++f) keys << QStringLiteral("F%1").arg(f);
    const struct {
        const char* name;
        QStringList items;
    } lists[] = {
        {"lstVirtualKey", keys},
        {"lstGrabMethod",
         {"Full Screen", "Top Window", "Top Window's Client Area", "Rectangle with predefined size",
          "Arbitrary Rectangle"}},
        {"lstFileExtension", {".bmp", ".jpg", ".tga", ".tif", ".pcx"}},
        {"lstColorDepth",
         {"Default Screen", "1 bit (2 colors)", "4 bit (16 colors)", "8 bit (256 colors)", "15 bit",
          "16 bit (64K colors)", "24 bit (1M colors)", "32 bit"}},
        {"cbPCXColorDepth", {"1 bit (2 colors)", "4 bit (16 colors)", "8 bit (256 colors)"}},
        {"cbTGAColorDepth", {"8 bit (256 colors)", "24 bit (16M colors)"}},
    };
    for (const auto& l : lists) {
        auto* c = Find<QComboBox>(l.name);
        EXPECT_EQ(Items(c), l.items) << l.name;
        EXPECT_FALSE(c->isEditable()) << l.name;
        EXPECT_EQ(c->currentIndex(), -1) << l.name;
    }
    EXPECT_EQ(form->lstActions->count(), 0);
    EXPECT_EQ(form->lstActions->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_FALSE(form->lstActions->isSortingEnabled());
}

TEST_F(Window, TheFileDialogsStartWithTheirFilters) {
    EXPECT_EQ(form->SaveDialog.filter, "Lumagrabber profile (*.lgp)|*.lgp|All Files (*.*)|*.*");
    EXPECT_EQ(form->SaveDialog.defaultExt, "");
    EXPECT_EQ(form->OpenDialog.filter, "");
    EXPECT_EQ(form->OpenDialog.filterIndex, 0);
    EXPECT_EQ(QtFilterList(form->SaveDialog.filter),
              "Lumagrabber profile (*.lgp);;All Files (*.*)");
    EXPECT_EQ(QtFilterList("Sounds (*.wav)|*.wav"), "Sounds (*.wav)");
}

TEST_F(Window, TheQualityControlsKeepToTheirRanges) {
    QSlider* tb = form->tbCompressionQuality;
    EXPECT_EQ(tb->minimum(), 1);
    EXPECT_EQ(tb->maximum(), 100);
    EXPECT_EQ(tb->value(), 100);
    EXPECT_EQ(tb->tickInterval(), 10);
    EXPECT_EQ(tb->tickPosition(), QSlider::TicksBelow);
    EXPECT_EQ(tb->singleStep(), 1);
    EXPECT_EQ(tb->pageStep(), 1);
    EXPECT_EQ(tb->toolTip(), "1");
    tb->setValue(500);
    EXPECT_EQ(tb->value(), 100);
    EXPECT_EQ(form->edCompressionQuality->maxLength(), 3);
}

TEST_F(Window, TheEmptyNoDetailsGroupCoversTheOthers) {
    QWidget* props = form->grbActionPropertyes;
    const QPoint centre = form->grpNODetails->geometry().center();
    EXPECT_EQ(props->childAt(centre), form->grpNODetails);
    // Stacking: each later details group lies above the earlier ones.
    const QStringList stacking = {"grpTgaDetails", "grpBmpDetails", "grpJpgDetails",
                                  "grpPcxDetails", "grpTifDetails", "grpNODetails"};
    QStringList order;
    for (QObject* child : props->children()) {
        if (stacking.contains(child->objectName())) order << child->objectName();
    }
    EXPECT_EQ(order, stacking);

    // Covering means hiding: with every group shown, the empty one on top
    // shows nothing of those beneath it (no caption, slider or list).
    for (const QString& name : stacking) props->findChild<QWidget*>(name)->setVisible(true);
    const QRect inside = form->grpNODetails->geometry().adjusted(6, 14, -6, -6);
    const QImage shot = props->grab(inside).toImage();
    const QRgb background = shot.pixel(0, 0);
    int differing = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) differing += shot.pixel(x, y) != background;
    }
    EXPECT_EQ(differing, 0) << "groups beneath show through the empty one";
}

TEST_F(Window, TabVisitsTheGeneralPageInItsOrder) {
    form->PageControl->setCurrentWidget(form->TabGeneral);
    EXPECT_EQ(
        TabCycle(form->btnHelp),
        QStringList({"btnHelp", "btnOK", "btnCancel", "btnApply", "tabs", "chkShowIconOnStartup",
                     "chkStartOnStartup", "edGlobalDir", "btnBrowseGlobal", "edDefaultSound",
                     "btnBrowseDefaultSound", "btnLoad", "btnSave", "btnRevert"}));
}

TEST_F(Window, TabVisitsTheActionsPageInItsOrder) {
    // A file action in BMP shows every control of the page.
    auto a = std::make_unique<TActionKey>();
    a->Name = "a";
    a->SaveTo = 1;
    a->VirtualKey = 65;
    a->Extension = ".bmp";
    form->ActionKeys().Add(std::move(a));
    form->FillActionList();
    const QStringList head = {"btnHelp",      "btnOK",       "btnCancel",     "btnApply",
                              "tabs",         "lstActions",  "btnNewAction",  "btnDelete",
                              "edActionName", "edActionDir", "btnBrowse",     "chkAlt",
                              "chkCtrl",      "chkShift",    "lstVirtualKey", "chkQuerryFName",
                              "chkQuitAction"};
    const QStringList bmp = {"chkPrevent15bit", "chkPrevent16bit", "chkPrevent32bit",
                             "lstColorDepth"};
    const QStringList grab = {"lstGrabMethod", "lstFileExtension"};  // rectangle edits disabled
    const QStringList tail = {"edActionSound", "btnBrowseSound", "chkSaveToClipboard"};
    EXPECT_EQ(TabCycle(form->btnHelp), head + bmp + grab + tail);

    // A JPEG action with the rectangle: the quality controls come after the format list.
    form->ActionKeys().Get(0).Extension = ".jpg";
    form->ActionKeys().Get(0).GrabMethod = 3;
    form->ShowAction(0);
    const QStringList jpg = {"lstGrabMethod",    "edCustomRectHeight",   "edCustomRectWidth",
                             "lstFileExtension", "tbCompressionQuality", "edCompressionQuality"};
    EXPECT_EQ(TabCycle(form->btnHelp), head + jpg + tail);
}

TEST_F(Window, AcceleratorsPressOnlyVisibleEnabledButtons) {
    auto a = std::make_unique<TActionKey>();
    a->SaveTo = 1;
    form->ActionKeys().Add(std::move(a));
    form->FillActionList();
    const char* names[] = {
        "btnHelp",      "btnOK",           "btnCancel",      "btnApply",
        "btnBrowse",    "btnBrowseGlobal", "btnBrowseSound", "btnBrowseDefaultSound",
        "btnNewAction", "btnDelete"};
    std::map<std::string, std::unique_ptr<QSignalSpy>> spies;
    for (const char* n : names) {
        spies[n] = std::make_unique<QSignalSpy>(Find<QPushButton>(n), &QPushButton::clicked);
    }
    form->lstActions->setFocus();
    auto pressed = [&](char letter) {
        for (auto& [n, spy] : spies) spy->clear();
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : form.get();
        QTest::keyClick(target, letter, Qt::AltModifier);
        QTest::qWait(150);  // an accelerator presses the button for a moment, then releases it
        QStringList hit;
        for (auto& [n, spy] : spies) {
            if (spy->count()) hit << QString::fromStdString(n);
        }
        return hit;
    };
    EXPECT_EQ(pressed('b'), QStringList{"btnBrowse"});
    EXPECT_EQ(pressed('f'), QStringList{"btnBrowseSound"});
    EXPECT_EQ(pressed('n'), QStringList{"btnNewAction"});
    EXPECT_EQ(pressed('h'), QStringList{"btnHelp"});
    EXPECT_EQ(pressed('a'), QStringList{"btnApply"});
    form->btnDelete->setEnabled(false);
    EXPECT_EQ(pressed('d'), QStringList{});
    form->btnDelete->setEnabled(true);
    EXPECT_EQ(pressed('d'), QStringList{"btnDelete"});

    form->PageControl->setCurrentWidget(form->TabGeneral);
    EXPECT_EQ(pressed('b'), QStringList{"btnBrowseGlobal"});
    EXPECT_EQ(pressed('f'), QStringList{});  // "Find Sound..." has no letter here
    EXPECT_EQ(pressed('n'), QStringList{});
    EXPECT_EQ(pressed('d'), QStringList{});
    EXPECT_EQ(pressed('o'), QStringList{"btnOK"});
    form->show();  // OK closed the window
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(pressed('c'), QStringList{"btnCancel"});
}

TEST_F(Window, EscapePressesNothingAndEnterOnlyTheFocusedButton) {
    QSignalSpy ok(form->btnOK, &QPushButton::clicked);
    QSignalSpy cancel(form->btnCancel, &QPushButton::clicked);
    QSignalSpy apply(form->btnApply, &QPushButton::clicked);
    form->PageControl->setCurrentWidget(form->TabGeneral);
    form->edGlobalDir->setFocus();
    QTest::keyClick(form->edGlobalDir, Qt::Key_Escape);
    QTest::keyClick(form->edGlobalDir, Qt::Key_Return);
    QTest::keyClick(form->edGlobalDir, Qt::Key_Enter);
    EXPECT_EQ(ok.count() + cancel.count() + apply.count(), 0);
    EXPECT_TRUE(form->isVisible());

    form->btnApply->setFocus();
    QTest::keyClick(form->btnApply, Qt::Key_Return);
    QTest::keyClick(form->btnApply, Qt::Key_Escape);
    EXPECT_EQ(apply.count(), 1);
    EXPECT_EQ(ok.count() + cancel.count(), 0);
    QTest::keyClick(form->btnApply, Qt::Key_Space);
    EXPECT_EQ(apply.count(), 2);
}

TEST_F(Window, ReactionsRunForUserPicksButNotForProgramSelections) {
    auto a = std::make_unique<TActionKey>();
    a->SaveTo = 1;
    a->Extension = ".bmp";
    form->ActionKeys().Add(std::move(a));
    form->FillActionList();
    ASSERT_TRUE(form->grpBmpDetails->isVisibleTo(form.get()));

    form->lstFileExtension->setCurrentIndex(1);  // the program: no reaction
    EXPECT_TRUE(form->grpBmpDetails->isVisibleTo(form.get()));
    EXPECT_FALSE(form->grpJpgDetails->isVisibleTo(form.get()));

    form->lstFileExtension->setFocus();
    form->lstFileExtension->setCurrentIndex(0);
    QTest::keyClick(form->lstFileExtension, Qt::Key_Down);  // the user: ".jpg"
    EXPECT_EQ(form->lstFileExtension->currentText(), ".jpg");
    EXPECT_TRUE(form->grpJpgDetails->isVisibleTo(form.get()));
    EXPECT_FALSE(form->grpBmpDetails->isVisibleTo(form.get()));

    // The program setting the quality text still runs the edit's reaction.
    form->edCompressionQuality->setText("42");
    EXPECT_EQ(form->tbCompressionQuality->value(), 42);
    // And setting the clipboard mark runs the box's reaction.
    form->chkSaveToClipboard->setChecked(true);
    EXPECT_TRUE(form->grpNODetails->isVisibleTo(form.get()));
    EXPECT_FALSE(form->lstFileExtension->isEnabled());
}

}  // namespace
