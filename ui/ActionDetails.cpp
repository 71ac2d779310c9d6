// The Actions page's reactions to the file format, colour depth, grab
// method, quality and clipboard controls.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include <QDir>

#include "model/ActionCodes.h"
#include "ui/DirectoryChooser.h"
#include "ui/MainForm.h"
#include "ui/Text.h"

void TForm1::lstFileExtensionChange(QObject*) {
    // Picking a format resets that format's settings to its defaults.
    const QString picked =
        lstFileExtension->currentIndex() >= 0 ? lstFileExtension->currentText() : QString();
    if (picked == QLatin1String(codes::kBmp)) {
        lstColorDepth->setEnabled(true);
        lstColorDepth->setCurrentIndex(0);
        for (QCheckBox* box : {chkPrevent15bit, chkPrevent16bit, chkPrevent32bit}) {
            box->setEnabled(true);
            box->setChecked(true);
        }
    } else if (picked == QLatin1String(codes::kJpg)) {
        SetTrackBarPosition(codes::kDefaultQuality);
        tbCompressionQuality->setToolTip(QString::number(codes::kDefaultQuality));
        tbCompressionQuality->setEnabled(true);
        edCompressionQuality->setText(QString::number(codes::kDefaultQuality));
        edCompressionQuality->setEnabled(true);
    } else if (picked == QLatin1String(codes::kPcx)) {
        cbPCXColorDepth->setEnabled(true);
        cbPCXColorDepth->setCurrentIndex(2);
    } else if (picked == QLatin1String(codes::kTga)) {
        cbTGAColorDepth->setEnabled(true);
        cbTGAColorDepth->setCurrentIndex(1);
    }
    SetFormatGroupVisible(picked);
}

void TForm1::lstColorDepthChange(QObject* sender) {
    const auto* list = qobject_cast<QComboBox*>(sender);
    const bool first = list && list->currentIndex() == 0;
    for (QCheckBox* box : {chkPrevent15bit, chkPrevent16bit, chkPrevent32bit})
        box->setEnabled(first);
}

void TForm1::lstGrabMethodChange(QObject*) {
    const bool rectangle = lstGrabMethod->currentIndex() == codes::kFixedRectangle;
    for (QWidget* w : std::initializer_list<QWidget*>{edCustomRectHeight, edCustomRectWidth,
                                                      lblCustomRectHeight, lblCustomRectWidth}) {
        w->setEnabled(rectangle);
    }
}

void TForm1::tbCompressionQualityChange(QObject*) {
    // The slider has moved but not yet told its value.
    const QString position = QString::number(tbCompressionQuality->sliderPosition());
    tbCompressionQuality->setToolTip(position);
    edCompressionQuality->setText(position);
}

void TForm1::edCompressionQualityChange(QObject*) {
    std::int32_t quality = 0;
    const QString text = edCompressionQuality->text();
    if (!ParseWholeNumber(text, quality)) {
        FModalUi.Message(QStringLiteral("'%1' is not a valid integer value.").arg(text),
                         QString::fromUtf8(kApplicationTitle), ModalUi::Icon::Error);
        return;
    }
    SetTrackBarPosition(quality);
}

void TForm1::chkSaveToClipboardClick(QObject*) {
    const bool toClipboard = chkSaveToClipboard->isChecked();
    for (QWidget* w :
         std::initializer_list<QWidget*>{chkQuerryFName, btnBrowse, edActionDir, lblActionDir,
                                         lblFileExtension, lstFileExtension}) {
        w->setEnabled(!toClipboard);
    }
    lstColorDepth->setEnabled(!toClipboard);
    lstColorDepth->setCurrentIndex(toClipboard ? -1 : 0);
    for (QCheckBox* box : {chkPrevent15bit, chkPrevent16bit, chkPrevent32bit}) {
        box->setEnabled(!toClipboard);
        box->setChecked(!toClipboard);
    }
    grpNODetails->setVisible(toClipboard);
    if (!toClipboard && lstFileExtension->currentIndex() < 0) {
        lstFileExtension->setCurrentIndex(0);
        lstFileExtensionChange(lstFileExtension);
    }
}

void TForm1::btnBrowseClick(QObject*) {
    BrowseDirectory(edActionDir);
}

void TForm1::btnBrowseSoundClick(QObject*) {
    BrowseSound(edActionSound);
}

// Shared by both pages' directory buttons.
void TForm1::BrowseDirectory(QLineEdit* edit) {
    QString directory, error;
    switch (FModalUi.ChooseDirectory(ChooserStart(edit->text()), directory, error)) {
        case ModalUi::Chosen::Directory:
            edit->setText(QDir::toNativeSeparators(directory));
            break;
        case ModalUi::Chosen::CreationFailed:
            FModalUi.Message(error, QString::fromUtf8(kApplicationTitle), ModalUi::Icon::Error);
            break;
        case ModalUi::Chosen::Cancelled:
            break;
    }
}

// Shared by both pages' sound buttons; the open dialog keeps its last file.
void TForm1::BrowseSound(QLineEdit* edit) {
    OpenDialog.defaultExt = QStringLiteral("wav");
    OpenDialog.filter = QStringLiteral("Sounds (*.wav)|*.wav");
    QString file;
    if (FModalUi.OpenFile(OpenDialog, file)) edit->setText(file);
}
