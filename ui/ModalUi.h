// Everything modal the window shows goes through this interface, so that
// tests can answer message boxes and dialogs without a person.
#pragma once

#include <QString>

class QWidget;

// What a file dialog remembers between uses: the filter and default
// extension its last user set, the filter pair last confirmed (from 0) and
// the file last chosen.
struct FileDialogState {
    QString filter;  // "Description|pattern|Description|pattern"
    QString defaultExt;
    int filterIndex = 0;
    QString fileName;
};

class ModalUi {
public:
    enum class Icon { None, Information, Warning, Error };

    virtual ~ModalUi() = default;

    // A message box without owner window and with one OK button.
    virtual void Message(const QString& text, const QString& caption, Icon icon) = 0;
    // The same with Yes and No buttons; true for Yes.
    virtual bool Ask(const QString& text, const QString& caption, Icon icon) = 0;
    // On confirmation, true with the chosen file's full path; the dialog's
    // state then remembers the file and the filter pair.
    virtual bool OpenFile(FileDialogState& dialog, QString& fileName) = 0;
    virtual bool SaveFile(FileDialogState& dialog, QString& fileName) = 0;
    enum class Chosen { Directory, Cancelled, CreationFailed };
    // A modal directory chooser starting at start, which offers to create a
    // directory that does not exist. On CreationFailed, error says why.
    virtual Chosen ChooseDirectory(const QString& start, QString& directory, QString& error) = 0;
    // Shows a topic of a help file.
    virtual void ShowHelp(const QString& helpFile, const QString& topic) = 0;
};

// The desktop's dialogs.
class QtModalUi : public ModalUi {
public:
    void Message(const QString& text, const QString& caption, Icon icon) override;
    bool Ask(const QString& text, const QString& caption, Icon icon) override;
    bool OpenFile(FileDialogState& dialog, QString& fileName) override;
    bool SaveFile(FileDialogState& dialog, QString& fileName) override;
    Chosen ChooseDirectory(const QString& start, QString& directory, QString& error) override;
    void ShowHelp(const QString& helpFile, const QString& topic) override;
};

// Shows nothing and cancels every dialog: for running the window where no
// one answers (pictures, benchmarks).
class SilentModalUi : public ModalUi {
public:
    void Message(const QString&, const QString&, Icon) override {}
    bool Ask(const QString&, const QString&, Icon) override { return false; }
    bool OpenFile(FileDialogState&, QString&) override { return false; }
    bool SaveFile(FileDialogState&, QString&) override { return false; }
    Chosen ChooseDirectory(const QString&, QString&, QString&) override {
        return Chosen::Cancelled;
    }
    void ShowHelp(const QString&, const QString&) override {}
};

// Makes a dialog open horizontally centred on its screen, with a third of
// the free screen height above it and two thirds below.
void PlaceOnScreen(QWidget* dialog);

// "Name (*.lgp)|*.lgp|All Files (*.*)|*.*" as Qt's "Name (*.lgp);;All Files (*.*)".
QString QtFilterList(const QString& filter);
