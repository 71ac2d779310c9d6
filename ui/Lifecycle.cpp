// Reading the stored configuration into the window, and committing it.
#include <QCheckBox>
#include <QLineEdit>
#include <QStringList>

#include "model/ActionKeys.h"
#include "model/KeyTree.h"
#include "platform/RegistryAccessor.h"
#include "ui/MainForm.h"
#include "ui/Text.h"

using platform::RegCode;
using platform::RegistryAccessor;
using platform::RegStatus;

namespace {

QString Numbers(const std::vector<int>& numbers) {
    QStringList list;
    for (int n : numbers) list << QString::number(n);
    return list.join(QStringLiteral(", "));
}

}  // namespace

void TForm1::Error(const QString& text) {
    FModalUi.Message(text, QString::fromUtf8(kErrorCaption), ModalUi::Icon::None);
}

void TForm1::ShowGlobals() {
    chkShowIconOnStartup->setChecked(FActionKeys->ShowIconOnStartup);
    chkStartOnStartup->setChecked(FActionKeys->StartOnStartup);
    edGlobalDir->setText(FromModel(FActionKeys->TargetDir));
    edDefaultSound->setText(FromModel(FActionKeys->DefaultSound));
}

void TForm1::ClearGlobals() {
    chkShowIconOnStartup->setChecked(false);
    chkStartOnStartup->setChecked(false);
    edGlobalDir->clear();
    edDefaultSound->clear();
}

void TForm1::ReadConfiguration() {
    RegistryAccessor registry;
    // A store that cannot be opened is not an empty configuration.
    if (RegStatus s = registry.EnsureHive(); !s.ok()) {
        FStoredConfigurationUnread = true;
        Error(QStringLiteral("The settings store cannot be used: %1.\nThe editor starts empty and "
                             "will not write over the store.")
                  .arg(QString::fromStdString(s.message)));
        return;
    }
    try {
        for (const char* key : {kVendorKey, kConfigurationKey}) {
            const RegStatus s = registry.OpenKey(key, false);
            if (s.code == RegCode::NotFound) {
                Error(key == kVendorKey
                          ? QStringLiteral("Missing vendor key in Registry.")
                          : QStringLiteral("Missing application configuration in Registry."));
                return;
            }
            if (!s.ok()) throw EStorageError(s.message);
            registry.CloseKey();
        }
        if (FActionKeys->LoadFromRegistry()) {
            FStoredConfigurationUnread = false;
            ShowGlobals();
            return;
        }
        const TLoadReport& report = FActionKeys->LastLoad();
        if (report.OnlyKeysMissing()) {
            // Everything stored was read: keep it, so that nothing is lost
            // when it is applied again, and say what is wrong with it.
            FStoredConfigurationUnread = false;
            ShowGlobals();
            Error(QStringLiteral("These stored actions have no hot key: %1.\nThey are shown as "
                                 "stored; give each of them a key.")
                      .arg(Numbers(report.withoutKey)));
            return;
        }
        ClearGlobals();
        if (FActionKeys->HasActions()) FActionKeys->Clear();
        FStoredConfigurationUnread = true;
        Error(QStringLiteral("The configuration in the registry could not be read%1.\nThe editor "
                             "starts empty, and Apply will not write over the stored "
                             "configuration until it has been read again.")
                  .arg(report.unreadable.empty()
                           ? QString()
                           : QStringLiteral(" (actions %1)").arg(Numbers(report.unreadable))));
    } catch (...) {
        if (FActionKeys->HasActions()) FActionKeys->Clear();
        FStoredConfigurationUnread = true;
    }
}

bool TForm1::ApplyConfiguration() {
    if (!FActionKeys->HasActions()) return true;
    if (FStoredConfigurationUnread &&
        !FModalUi.Ask(
            QStringLiteral("The configuration in the registry could not be read, so it is not "
                           "written over.\nRepair it and use \"Revert To Default Profile\", or "
                           "load a profile.\n\nReplace the stored configuration with the one in "
                           "this window now?"),
            QString::fromUtf8(kErrorCaption), ModalUi::Icon::None)) {
        return false;
    }
    FActionKeys->ShowIconOnStartup = chkShowIconOnStartup->isChecked();
    FActionKeys->StartOnStartup = chkStartOnStartup->isChecked();
    FActionKeys->TargetDir = ToModel(edGlobalDir->text());
    FActionKeys->DefaultSound = ToModel(edDefaultSound->text());
    StoreAction(FCurrentIndex);
    std::string cause;
    const bool saved = CommitConfiguration(*FActionKeys, cause);
    // What the store holds now is what the window holds.
    if (saved) FStoredConfigurationUnread = false;
    if (!saved) {
        Error(QStringLiteral("The configuration could not be saved to the registry.\nYour changes "
                             "are still here; try again with Apply or OK.\n\nReason: %1.")
                  .arg(FromModel(cause)));
    }
    return saved;
}

void TForm1::DeleteSurplusActionKeys(const std::string& path, int first) {
    ::DeleteSurplusActionKeys(path, first);
}

void TForm1::DeleteKeyTree(const std::string& path) {
    ::DeleteKeyTree(path);
}

void TForm1::btnApplyClick(QObject*) {
    ApplyConfiguration();
}

void TForm1::btnOKClick(QObject*) {
    if (ApplyConfiguration()) close();
}

void TForm1::btnCancelClick(QObject*) {
    close();
}
