#include "ui/MainForm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <cmath>

#include "model/ActionKeys.h"
#include "ui/FormLayout.h"
#include "ui/Text.h"
#include "ui/WindowIcon.h"

namespace {

// 8-point MS Sans Serif is not on this desktop; Liberation Sans at the same
// character height has nearly its widths and the same 13-pixel text height.
QFont WindowFont() {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    font.setWeight(QFont::Normal);
    return font;
}

// The text height as the layout counts it: ascent and descent, each
// rounded up to whole pixels.
int TextHeight(const QFont& font) {
    const QFontMetricsF m(font);
    return static_cast<int>(std::ceil(m.ascent()) + std::ceil(m.descent()));
}

}  // namespace

TForm1::TForm1(ModalUi& modalUi, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      FModalUi(modalUi) {
    setFont(WindowFont());
    const int textHeight = TextHeight(font());
    if (textHeight != kDesignTextHeight) FScale = double(textHeight) / kDesignTextHeight;
    setWindowTitle(QString::fromUtf8(kWindowCaption));
    setWindowIcon(LumagrabberIcon());
    setFixedSize(static_cast<int>(std::lround(kClientWidth * FScale)),
                 static_cast<int>(std::lround(kClientHeight * FScale)));

    // The save dialog's filter is part of the layout; the open dialog's
    // users set theirs before each use.
    SaveDialog.filter = ProfileFilter();

    BuildControls(this, MainFormLayout(), FScale);
    BindControls();
    ConnectHandlers();
    FormCreate(this);
}

TForm1::~TForm1() {
    FormDestroy(this);
}

void TForm1::BindControls() {
    auto bind = [this](auto*& member, const char* name) {
        member = findChild<std::remove_reference_t<decltype(*member)>*>(QString::fromUtf8(name));
        Q_ASSERT_X(member, "TForm1", name);
    };
#define LG_BIND(name) bind(name, #name)
    LG_BIND(btnHelp), LG_BIND(btnOK), LG_BIND(btnCancel), LG_BIND(btnApply);
    LG_BIND(PageControl), LG_BIND(TabGeneral), LG_BIND(TabActions);
    LG_BIND(grpProductInfo), LG_BIND(title), LG_BIND(chkShowIconOnStartup);
    LG_BIND(chkStartOnStartup), LG_BIND(btnRun), LG_BIND(lblGlobalDir), LG_BIND(lblDefaultSound);
    LG_BIND(edGlobalDir), LG_BIND(edDefaultSound), LG_BIND(btnBrowseGlobal);
    LG_BIND(btnBrowseDefaultSound), LG_BIND(btnLoad), LG_BIND(btnSave), LG_BIND(btnRevert);
    LG_BIND(grpAction), LG_BIND(grbActionPropertyes), LG_BIND(lstActions), LG_BIND(btnNewAction);
    LG_BIND(btnDelete), LG_BIND(lblActionName), LG_BIND(lblActionDir), LG_BIND(lblActionKey);
    LG_BIND(lblActionSound), LG_BIND(lblFileExtension), LG_BIND(edActionName), LG_BIND(edActionDir);
    LG_BIND(edActionSound), LG_BIND(btnBrowse), LG_BIND(btnBrowseSound), LG_BIND(chkAlt);
    LG_BIND(chkCtrl), LG_BIND(chkShift), LG_BIND(chkSaveToClipboard), LG_BIND(chkQuerryFName);
    LG_BIND(chkQuitAction), LG_BIND(lstVirtualKey), LG_BIND(lstFileExtension), LG_BIND(grpGrabArea);
    LG_BIND(lstGrabMethod), LG_BIND(lblCustomRectHeight), LG_BIND(lblCustomRectWidth);
    LG_BIND(edCustomRectHeight), LG_BIND(edCustomRectWidth), LG_BIND(grpTgaDetails);
    LG_BIND(grpBmpDetails), LG_BIND(grpJpgDetails), LG_BIND(grpPcxDetails), LG_BIND(grpTifDetails);
    LG_BIND(grpNODetails), LG_BIND(lstColorDepth), LG_BIND(chkPrevent15bit);
    LG_BIND(chkPrevent16bit), LG_BIND(chkPrevent32bit), LG_BIND(tbCompressionQuality);
    LG_BIND(Label2), LG_BIND(Label3), LG_BIND(edCompressionQuality), LG_BIND(cbPCXColorDepth);
    LG_BIND(cbTGAColorDepth);
#undef LG_BIND
}

// Every event binding of the layout, made here and nowhere else. Each kind
// of control fires its event exactly when the window's rules say.
void TForm1::ConnectHandlers() {
    for (const ControlDecl& d : MainFormLayout()) {
        QWidget* w = findChild<QWidget*>(QString::fromUtf8(d.name));
        if (d.kind == ControlKind::Button) {
            // Enter presses the focused button only; no button is a default.
            w->installEventFilter(this);
        }
        if (!d.handler) continue;
        const Handler h = d.handler;
        auto run = [this, h, w] { (this->*h)(w); };
        switch (d.kind) {
            case ControlKind::Button:
                connect(static_cast<QPushButton*>(w), &QPushButton::clicked, this, run);
                break;
            case ControlKind::CheckBox:  // also when the program changes the mark
                connect(static_cast<QCheckBox*>(w), &QCheckBox::toggled, this, run);
                break;
            case ControlKind::ListBox: {  // program selections block it (SelectActionEntry)
                auto* list = static_cast<QListWidget*>(w);
                connect(list, &QListWidget::currentRowChanged, this, run);
                // Ctrl+click or Ctrl+Space would clear the one selected entry.
                connect(list, &QListWidget::itemSelectionChanged, this, [list] {
                    if (list->selectedItems().isEmpty() && list->currentItem()) {
                        const QSignalBlocker quiet(list);
                        list->currentItem()->setSelected(true);
                    }
                });
                break;
            }
            case ControlKind::DropDown:  // picks by the user only
                connect(static_cast<QComboBox*>(w), &QComboBox::activated, this, run);
                break;
            case ControlKind::Edit:  // typing and program changes alike
                connect(static_cast<QLineEdit*>(w), &QLineEdit::textChanged, this, run);
                break;
            case ControlKind::TrackBar:  // moves by the user only
                connect(static_cast<QSlider*>(w), &QSlider::actionTriggered, this, run);
                break;
            default:
                break;
        }
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) emit closed();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button && (key == Qt::Key_Return || key == Qt::Key_Enter) && button->hasFocus()) {
            button->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::FormCreate(QObject*) {
    FActionKeys = std::make_unique<TActionKeys>(kConfigurationKey);
    ReadConfiguration();
    FillActionList();
    PageControl->setCurrentWidget(TabActions);
}

void TForm1::FormDestroy(QObject*) {
    FActionKeys.reset();
}

void TForm1::SelectActionEntry(int row) {
    const QSignalBlocker quiet(lstActions);
    lstActions->setCurrentRow(row);
}

void TForm1::FillActionList() {
    {
        const QSignalBlocker quiet(lstActions);
        lstActions->clear();
    }
    if (!FActionKeys->HasActions()) {
        ShowEmptyPage();
        return;
    }
    QStringList names;
    names.reserve(FActionKeys->Count());
    for (int i = 0; i < FActionKeys->Count(); ++i) names << FromModel(FActionKeys->Get(i).Name);
    {
        const QSignalBlocker quiet(lstActions);
        lstActions->addItems(names);
    }
    if (lstActions->currentRow() < 0) SelectActionEntry(0);
    FCurrentIndex = lstActions->currentRow();
    ShowAction(FCurrentIndex);
}
