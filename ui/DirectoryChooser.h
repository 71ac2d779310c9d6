// A modal directory chooser that lets the user name a directory that does
// not exist yet and offers to create it, with its missing parents.
#pragma once

#include <QDialog>
#include <functional>

class QFileSystemModel;
class QLineEdit;
class QTreeView;

class DirectoryChooser : public QDialog {
    Q_OBJECT

public:
    // Asks a Yes/No question; true for Yes.
    using Question = std::function<bool(const QString& text)>;

    DirectoryChooser(const QString& start, Question ask, QWidget* parent = nullptr);

    // The chosen directory once accepted.
    QString directory() const { return directory_; }
    // Set when the user agreed to create a directory that could not be made.
    QString creationError() const { return creationError_; }

    QLineEdit* pathEdit() const { return path_; }

    void accept() override;

private:
    QFileSystemModel* model_;
    QTreeView* tree_;
    QLineEdit* path_;
    Question ask_;
    QString directory_;
    QString creationError_;
};

// The directory a chooser opens at: the given one where it exists, else the
// current directory.
QString ChooserStart(const QString& wanted);
