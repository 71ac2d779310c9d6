#include "ui/ModalUi.h"

#include "ui/DirectoryChooser.h"
#include "ui/HelpViewer.h"

#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QScreen>
#include <QStringList>

QString QtFilterList(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList descriptions;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) descriptions << parts[i];
    return descriptions.join(QStringLiteral(";;"));
}

namespace {

// Places the watched dialog once it is shown, when its size is final.
class ScreenPlacement : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            auto* dialog = static_cast<QWidget*>(watched);
            if (const QScreen* screen = dialog->screen()) {
                const QRect area = screen->geometry();
                const QSize size = dialog->size();
                dialog->move(area.x() + (area.width() - size.width()) / 2,
                             area.y() + (area.height() - size.height()) / 3);
            }
        }
        return false;
    }
};

QMessageBox::Icon BoxIcon(ModalUi::Icon icon) {
    return icon == ModalUi::Icon::Error         ? QMessageBox::Critical
           : icon == ModalUi::Icon::Warning     ? QMessageBox::Warning
           : icon == ModalUi::Icon::Information ? QMessageBox::Information
                                                : QMessageBox::NoIcon;
}

int RunBox(const QString& text, const QString& caption, ModalUi::Icon icon,
           QMessageBox::StandardButtons buttons) {
    QMessageBox box(BoxIcon(icon), caption, text, buttons);
    PlaceOnScreen(&box);
    return box.exec();
}

}  // namespace

void PlaceOnScreen(QWidget* dialog) {
    dialog->installEventFilter(new ScreenPlacement(dialog));
}

void QtModalUi::Message(const QString& text, const QString& caption, Icon icon) {
    RunBox(text, caption, icon, QMessageBox::Ok);
}

bool QtModalUi::Ask(const QString& text, const QString& caption, Icon icon) {
    return RunBox(text, caption, icon, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

namespace {

// Qt's "*.*" wants a dot in the name; on this desktop "*.*" means every file.
void ShowEveryFileForStarDotStar(QFileDialog& dialog) {
    auto apply = [&dialog](const QString& filter) {
        if (!filter.contains(QLatin1String("(*.*)"))) return;
        if (auto* model = dialog.findChild<QFileSystemModel*>()) {
            model->setNameFilters({QStringLiteral("*")});
        }
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, apply);
    apply(dialog.selectedNameFilter());
}

bool RunFileDialog(FileDialogState& state, QString& fileName, QFileDialog::AcceptMode mode) {
    QFileDialog dialog;
    // Qt's own dialog, so that its placement and filters are ours to set.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    PlaceOnScreen(&dialog);
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
    ShowEveryFileForStarDotStar(dialog);
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
    DirectoryChooser chooser(
        start, [this](const QString& text) { return Ask(text, QString(), Icon::None); });
    PlaceOnScreen(&chooser);
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
