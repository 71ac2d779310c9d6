// The General page: profiles, revert, the default directory and sound, help.
#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>

#include "model/ActionKeys.h"
#include "platform/SafeFile.h"
#include "ui/Application.h"
#include "ui/MainForm.h"
#include "ui/Text.h"

void TForm1::btnSaveClick(QObject*) {
    QString file;
    if (!FModalUi.SaveFile(SaveDialog, file)) return;
    StoreAction(FCurrentIndex);
    if (!FActionKeys->SaveToFile(ToModel(file))) {
        FModalUi.Message(QStringLiteral("Save operation failed!"), QStringLiteral("FAILED"),
                         ModalUi::Icon::None);
    }
}

void TForm1::btnLoadClick(QObject*) {
    OpenDialog.defaultExt = QStringLiteral("lgp");
    OpenDialog.filter = ProfileFilter();
    QString file;
    if (!FModalUi.OpenFile(OpenDialog, file)) return;
    ReadProfile(file);
    FillActionList();
}

void TForm1::ReadProfile(const QString& path) {
    const QString failed = QStringLiteral("Failed to read from file: ") + path;
    // A FIFO, device or folder is refused before the working copy is touched.
    std::string notAFile;
    if (QFileInfo::exists(path) && !platform::IsRegularFile(ToModel(path), notAFile)) {
        Error(failed);
        return;
    }
    try {
        if (FActionKeys->LoadFromFile(ToModel(path))) {
            // The user chose this configuration to replace the stored one.
            FStoredConfigurationUnread = false;
            ShowGlobals();
            return;
        }
        ClearGlobals();
        if (FActionKeys->HasActions()) FActionKeys->Clear();
        Error(failed);
    } catch (...) {
        if (FActionKeys->HasActions()) FActionKeys->Clear();
        Error(failed);
    }
}

void TForm1::btnRevertClick(QObject*) {
    ReadConfiguration();
    FillActionList();
}

void TForm1::btnBrowseGlobalClick(QObject*) {
    BrowseDirectory(edGlobalDir);
}

void TForm1::btnBrowseDefaultSoundClick(QObject*) {
    BrowseSound(edDefaultSound);
}

void TForm1::btnHelpClick(QObject*) {
    FModalUi.ShowHelp(ApplicationHelpFile(), QStringLiteral("IDH_Contents"));
}
