// The action list box and its New and Delete buttons.
#include <QListWidget>
#include <QSignalBlocker>

#include "model/ActionCodes.h"
#include "model/ActionKeys.h"
#include "ui/MainForm.h"
#include "ui/Text.h"

// The entry being left shows the name just stored.
void TForm1::RelabelCurrentEntry() {
    if (QListWidgetItem* item = lstActions->item(FCurrentIndex)) {
        item->setText(FromModel(FActionKeys->Get(FCurrentIndex).Name));
    }
}

void TForm1::lstActionsClick(QObject*) {
    if (!FActionKeys->HasActions()) return;
    const int selected = lstActions->currentRow();
    if (selected < 0 || selected == FCurrentIndex) return;
    StoreAction(FCurrentIndex);
    RelabelCurrentEntry();
    FCurrentIndex = selected;
    ShowAction(FCurrentIndex);
}

void TForm1::btnNewActionClick(QObject*) {
    if (FActionKeys->HasActions()) {
        StoreAction(FCurrentIndex);
        RelabelCurrentEntry();
    }
    TActionKey& action = FActionKeys->Get(FActionKeys->Add(std::make_unique<TActionKey>()));
    action.Name = "New Action";
    action.SaveTo = codes::kImageFile;
    action.Extension = codes::kBmp;
    action.PixelFormat = codes::kScreenDepth;
    {
        const QSignalBlocker quiet(lstActions);
        lstActions->addItem(FromModel(action.Name));
    }
    SelectActionEntry(lstActions->count() - 1);
    FCurrentIndex = lstActions->currentRow();
    ShowAction(FCurrentIndex);
}

void TForm1::btnDeleteClick(QObject*) {
    if (!FActionKeys->HasActions()) return;
    const int selected = lstActions->currentRow();
    if (selected < 0 || selected >= FActionKeys->Count()) return;
    FActionKeys->Delete(selected);
    FillActionList();
}
