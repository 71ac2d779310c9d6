#include "ui/ModalUi.h"

#include "ui/DirectoryChooser.h"
#include "ui/HelpViewer.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

QString QtFilterList(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList descriptions;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) descriptions << parts[i];
    return descriptions.join(QStringLiteral(";;"));
}

void QtModalUi::Message(const QString& text, const QString& caption, Icon icon) {
    QMessageBox box(icon == Icon::Error         ? QMessageBox::Critical
                    : icon == Icon::Warning     ? QMessageBox::Warning
                    : icon == Icon::Information ? QMessageBox::Information
                                                : QMessageBox::NoIcon,
                    caption, text, QMessageBox::Ok);
    box.exec();
}

namespace {

bool RunFileDialog(FileDialogState& state, QString& fileName, QFileDialog::AcceptMode mode) {
    QFileDialog dialog;
    dialog.setAcceptMode(mode);
    dialog.setFileMode(QFileDialog::AnyFile);  // a name that does not exist is accepted
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QStringList filters = QtFilterList(state.filter).split(QStringLiteral(";;"));
    dialog.setNameFilters(filters);
    if (state.filterIndex >= 0 && state.filterIndex < filters.size()) {
        dialog.selectNameFilter(filters[state.filterIndex]);
    }
    dialog.setDefaultSuffix(state.defaultExt);
    if (!state.fileName.isEmpty()) dialog.selectFile(state.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    fileName = QFileInfo(dialog.selectedFiles().first()).absoluteFilePath();
    state.fileName = fileName;
    state.filterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
    return true;
}

}  // namespace

bool QtModalUi::OpenFile(FileDialogState& dialog, QString& fileName) {
    return RunFileDialog(dialog, fileName, QFileDialog::AcceptOpen);
}

bool QtModalUi::SaveFile(FileDialogState& dialog, QString& fileName) {
    return RunFileDialog(dialog, fileName, QFileDialog::AcceptSave);
}

ModalUi::Chosen QtModalUi::ChooseDirectory(const QString& start, QString& directory,
                                           QString& error) {
    DirectoryChooser chooser(start, [](const QString& text) {
        return QMessageBox::question(nullptr, QString(), text,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    });
    if (chooser.exec() != QDialog::Accepted) return Chosen::Cancelled;
    if (!chooser.creationError().isEmpty()) {
        error = chooser.creationError();
        return Chosen::CreationFailed;
    }
    directory = chooser.directory();
    return Chosen::Directory;
}

void QtModalUi::ShowHelp(const QString& helpFile, const QString& topic) {
    QString error;
    if (!ShowHelpTopic(helpFile, topic, error)) {
        Message(error, QStringLiteral("Lumagrabber - Error"), Icon::None);
    }
}
