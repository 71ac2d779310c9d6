// The Actions page: one action shown in the controls and stored back.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include "model/ActionCodes.h"
#include "model/ActionKeys.h"
#include "ui/FormLayout.h"
#include "ui/MainForm.h"
#include "ui/Text.h"

namespace {

// The formats in the order their groups are dealt with.
enum Format { kBmp, kJpg, kPcx, kTif, kTga, kFormatCount };
constexpr const char* kFormatExtensions[kFormatCount] = {codes::kBmp, codes::kJpg, codes::kPcx,
                                                         codes::kTif, codes::kTga};

int FormatOf(const QString& extension) {
    for (int f = 0; f < kFormatCount; ++f) {
        if (extension.compare(QLatin1String(kFormatExtensions[f]), Qt::CaseInsensitive) == 0)
            return f;
    }
    return -1;
}

int ExtensionEntry(const std::string& extension) {
    const QString ext = FromModel(extension);
    for (int i = 0; i < static_cast<int>(std::size(codes::kFormats)); ++i) {
        if (ext.compare(QLatin1String(codes::kFormats[i]), Qt::CaseInsensitive) == 0) return i;
    }
    return -1;
}

void Enable(std::initializer_list<QWidget*> widgets, bool enabled) {
    for (QWidget* w : widgets) w->setEnabled(enabled);
}

// The entry index, or nothing when the value lies outside the list.
void Select(QComboBox* list, int index) {
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

std::uint8_t SelectedAsByte(const QComboBox* list) {
    return static_cast<std::uint8_t>(list->currentIndex() & 0xFF);  // no selection: 255
}

}  // namespace

void TForm1::SetTrackBarPosition(int position) {
    tbCompressionQuality->setValue(std::clamp(position, codes::kMinQuality, codes::kMaxQuality));
}

void TForm1::SetFormatGroupVisible(const QString& extension) {
    QGroupBox* groups[kFormatCount] = {grpBmpDetails, grpJpgDetails, grpPcxDetails, grpTifDetails,
                                       grpTgaDetails};
    const int format = FormatOf(extension);
    for (int f = 0; f < kFormatCount; ++f) groups[f]->setVisible(f == format);
}

void TForm1::ShowAction(int index) {
    const TActionKey& a = FActionKeys->Get(index);
    edActionName->setText(FromModel(a.Name));
    lblActionName->setEnabled(true);

    chkAlt->setChecked(a.Modifiers & codes::kAlt);
    chkCtrl->setChecked(a.Modifiers & codes::kCtrl);
    chkShift->setChecked(a.Modifiers & codes::kShift);
    Select(lstVirtualKey, VirtualKeyIndex(a.VirtualKey));
    // Always enabled for an action; only the empty page turns them off.
    Enable({lblActionKey, chkAlt, chkCtrl, chkShift, lstVirtualKey}, true);

    Enable({lblActionSound, btnBrowseSound, edActionSound}, true);
    edActionSound->setText(FromModel(a.Sound));
    chkQuitAction->setChecked(a.Quit);

    const QList<QCheckBox*> forceBoxes = {chkPrevent15bit, chkPrevent16bit, chkPrevent32bit};
    auto clearDepth = [&] {
        lstColorDepth->setEnabled(false);
        lstColorDepth->setCurrentIndex(-1);
        for (QCheckBox* box : forceBoxes) box->setEnabled(false), box->setChecked(false);
    };
    auto noDirectory = [&] {
        chkQuerryFName->setEnabled(false);
        chkQuerryFName->setChecked(false);
        Enable({btnBrowse, edActionDir, lblActionDir}, false);
        edActionDir->clear();
    };

    if (a.SaveTo == codes::kNoOutput) {
        // An action without capture output: only its hot key and sound change.
        chkSaveToClipboard->setChecked(false);
        chkSaveToClipboard->setEnabled(false);
        Enable({lblFileExtension, lstFileExtension, edActionName}, false);
        noDirectory();
        btnDelete->setEnabled(false);
        chkQuitAction->setEnabled(false);
        lstGrabMethod->setEnabled(false);
        lstGrabMethod->setCurrentIndex(-1);
        Enable({edCustomRectHeight, edCustomRectWidth, lblCustomRectHeight, lblCustomRectWidth},
               false);
        edCustomRectHeight->clear();
        edCustomRectWidth->clear();
        clearDepth();
        grpNODetails->setVisible(true);
        return;
    }

    Enable({chkQuitAction, edActionName, btnDelete}, true);
    lstGrabMethod->setEnabled(true);
    Select(lstGrabMethod, a.GrabMethod);
    const bool rectangle = a.GrabMethod == codes::kFixedRectangle;
    Enable({edCustomRectHeight, edCustomRectWidth, lblCustomRectHeight, lblCustomRectWidth},
           rectangle);
    edCustomRectHeight->setText(rectangle ? QString::number(a.RecHeight) : QString());
    edCustomRectWidth->setText(rectangle ? QString::number(a.RecWidth) : QString());

    chkSaveToClipboard->setChecked(a.SaveTo ==
                                   codes::kClipboard);  // runs chkSaveToClipboardClick on a change
    chkSaveToClipboard->setEnabled(true);

    if (a.SaveTo == codes::kClipboard) {
        noDirectory();
        Enable({lblFileExtension, lstFileExtension}, false);
        clearDepth();
        grpNODetails->setVisible(true);
        return;
    }

    chkQuerryFName->setEnabled(true);
    chkQuerryFName->setChecked(a.QuerryFName);
    Enable({lblActionDir, btnBrowse, edActionDir}, true);
    edActionDir->setText(FromModel(a.TargetDir));
    ShowFileFormat(a);
    grpNODetails->setVisible(false);
}

void TForm1::ShowFileFormat(const TActionKey& a) {
    Select(lstFileExtension, ExtensionEntry(a.Extension));
    Enable({lblFileExtension, lstFileExtension}, true);
    const QString extension = FromModel(a.Extension);
    switch (FormatOf(extension)) {
        case kBmp: {
            lstColorDepth->setEnabled(true);
            Select(lstColorDepth, a.PixelFormat);
            const bool screenDepth = a.PixelFormat == codes::kScreenDepth;
            for (QCheckBox* box : {chkPrevent15bit, chkPrevent16bit, chkPrevent32bit}) {
                box->setEnabled(screenDepth);
            }
            if (screenDepth) {
                chkPrevent15bit->setChecked(a.Prevent15bit);
                chkPrevent16bit->setChecked(a.Prevent16bit);
                chkPrevent32bit->setChecked(a.Prevent32bit);
            }
            break;
        }
        case kJpg:
            SetTrackBarPosition(a.Quality);
            tbCompressionQuality->setToolTip(QString::number(a.Quality));
            edCompressionQuality->setText(QString::number(a.Quality));
            break;
        case kPcx:
            Select(cbPCXColorDepth, a.PixelFormat - 1);
            break;
        case kTga:
            cbTGAColorDepth->setCurrentIndex(a.PixelFormat == codes::k8Bit ? 0 : 1);
            break;
        default:
            break;
    }
    SetFormatGroupVisible(extension);
}

void TForm1::StoreAction(int index) {
    if (!FActionKeys->HasActions()) return;
    TActionKey& a = FActionKeys->Get(index);

    a.Modifiers = (chkAlt->isChecked() ? codes::kAlt : 0) +
                  (chkCtrl->isChecked() ? codes::kCtrl : 0) +
                  (chkShift->isChecked() ? codes::kShift : 0);
    a.VirtualKey = VirtualKeyCode(lstVirtualKey->currentIndex());
    const QString name = edActionName->text();
    a.Name = TrimBlanks(name).isEmpty() ? std::string("Noname") : ToModel(name);
    a.Sound = ToModel(TrimBlanks(edActionSound->text()));
    if (a.SaveTo != codes::kNoOutput) {
        a.SaveTo = chkSaveToClipboard->isChecked() ? codes::kClipboard : codes::kImageFile;
    }
    a.QuerryFName = chkQuerryFName->isChecked();
    a.TargetDir = ToModel(TrimBlanks(edActionDir->text()));

    const QString extension =
        lstFileExtension->currentIndex() >= 0 ? lstFileExtension->currentText() : QString();
    a.Extension = ToModel(extension);
    switch (FormatOf(extension)) {
        case kBmp:
            a.PixelFormat = SelectedAsByte(lstColorDepth);
            a.Prevent15bit = chkPrevent15bit->isChecked();
            a.Prevent16bit = chkPrevent16bit->isChecked();
            a.Prevent32bit = chkPrevent32bit->isChecked();
            break;
        case kJpg:
            a.PixelFormat = codes::k24Bit;
            a.Quality = tbCompressionQuality->value();
            break;
        case kPcx:
            a.PixelFormat = static_cast<std::uint8_t>(cbPCXColorDepth->currentIndex() + 1);
            break;
        case kTif:
            a.PixelFormat = codes::k24Bit;
            break;
        case kTga:
            a.PixelFormat = cbTGAColorDepth->currentIndex() == 0 ? codes::k8Bit : codes::k24Bit;
            break;
        default:
            break;
    }

    a.Quit = chkQuitAction->isChecked();
    a.GrabMethod = SelectedAsByte(lstGrabMethod);
    if (a.GrabMethod == codes::kFixedRectangle) {
        // Sizes that are not whole numbers are repaired quietly.
        for (auto [edit, field] : {std::pair{edCustomRectHeight, &a.RecHeight},
                                   std::pair{edCustomRectWidth, &a.RecWidth}}) {
            std::int32_t size = 0;
            if (!ParseWholeNumber(edit->text(), size)) {
                edit->setText(QStringLiteral("0"));
                size = 0;
            }
            *field = size;
        }
    }
}

// While the list holds no action nothing typed here could be stored, so
// the page shows empty and cannot be edited.
void TForm1::ShowEmptyPage() {
    const QSignalBlocker quiet(chkSaveToClipboard);
    for (QLineEdit* e :
         {edActionName, edActionDir, edActionSound, edCustomRectHeight, edCustomRectWidth}) {
        e->clear();
        e->setEnabled(false);
    }
    for (QCheckBox* c : {chkAlt, chkCtrl, chkShift, chkSaveToClipboard, chkQuerryFName,
                         chkQuitAction, chkPrevent15bit, chkPrevent16bit, chkPrevent32bit}) {
        c->setChecked(false);
        c->setEnabled(false);
    }
    for (QComboBox* c : {lstVirtualKey, lstGrabMethod, lstColorDepth, lstFileExtension}) {
        c->setCurrentIndex(-1);
        c->setEnabled(false);
    }
    Enable({lblActionName, lblActionDir, lblActionKey, lblActionSound, lblFileExtension,
            lblCustomRectHeight, lblCustomRectWidth, btnBrowse, btnBrowseSound, btnDelete},
           false);
    grpNODetails->setVisible(true);
}
