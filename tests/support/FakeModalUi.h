// Answers the window's dialogs from a script and records what was shown.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>

#include "tests/support/QtPrinters.h"
#include "ui/ModalUi.h"

class FakeModalUi : public ModalUi {
public:
    struct Shown {
        QString text, caption;
        Icon icon;
    };
    // A file or directory answer: empty means the user cancelled.
    std::deque<QString> answers;
    std::vector<Shown> messages;
    QStringList asked;  // "open", "save", "directory:<start>", "help:<file>#<topic>"
    std::vector<FileDialogState> dialogs;  // the state each file dialog was opened with

    // Yes/No answers to questions, in turn; No once they run out.
    std::deque<bool> replies;
    std::vector<Shown> questions;

    void Message(const QString& text, const QString& caption, Icon icon) override {
        messages.push_back({text, caption, icon});
    }
    bool Ask(const QString& text, const QString& caption, Icon icon) override {
        questions.push_back({text, caption, icon});
        if (replies.empty()) return false;
        const bool yes = replies.front();
        replies.pop_front();
        return yes;
    }
    bool OpenFile(FileDialogState& dialog, QString& fileName) override {
        return File("open", dialog, fileName);
    }
    bool SaveFile(FileDialogState& dialog, QString& fileName) override {
        return File("save", dialog, fileName);
    }
    // A directory answer that starts with "!" fails creation with that text.
    Chosen ChooseDirectory(const QString& start, QString& directory, QString& error) override {
        asked << "directory:" + start;
        QString answer;
        if (!Answer(answer)) return Chosen::Cancelled;
        if (answer.startsWith('!')) {
            error = answer.mid(1);
            return Chosen::CreationFailed;
        }
        directory = answer;
        return Chosen::Directory;
    }
    void ShowHelp(const QString& helpFile, const QString& topic) override {
        asked << "help:" + helpFile + "#" + topic;
    }

private:
    bool File(const char* kind, FileDialogState& dialog, QString& fileName) {
        asked << kind;
        dialogs.push_back(dialog);
        if (!Answer(fileName)) return false;
        dialog.fileName = fileName;
        return true;
    }
    bool Answer(QString& out) {
        if (answers.empty()) return false;
        out = answers.front();
        answers.pop_front();
        return !out.isEmpty();
    }
};
