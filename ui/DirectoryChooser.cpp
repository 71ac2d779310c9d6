#include "ui/DirectoryChooser.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

QString ChooserStart(const QString& wanted) {
    const QFileInfo info(wanted);
    if (!wanted.trimmed().isEmpty() && info.isDir()) return info.absoluteFilePath();
    return QDir::currentPath();
}

DirectoryChooser::DirectoryChooser(const QString& start, Question ask, QWidget* parent)
    : QDialog(parent), ask_(std::move(ask)) {
    setObjectName(QStringLiteral("DirectoryChooser"));
    setWindowTitle(QStringLiteral("Browse for Folder"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);  // no Help button
    setModal(true);

    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setRootPath(QDir::rootPath());

    tree_ = new QTreeView(this);
    tree_->setObjectName(QStringLiteral("folders"));
    tree_->setModel(model_);
    for (int column = 1; column < model_->columnCount(); ++column) tree_->hideColumn(column);
    tree_->header()->hide();

    path_ = new QLineEdit(QDir::toNativeSeparators(start), this);
    path_->setObjectName(QStringLiteral("path"));
    const QModelIndex startIndex = model_->index(start);
    tree_->setCurrentIndex(startIndex);
    tree_->scrollTo(startIndex);
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) path_->setText(model_->filePath(current));
            });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &DirectoryChooser::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DirectoryChooser::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tree_);
    layout->addWidget(new QLabel(QStringLiteral("Folder:"), this));
    layout->addWidget(path_);
    layout->addWidget(buttons);
    resize(360, 400);
}

void DirectoryChooser::accept() {
    const QString typed = path_->text().trimmed();
    if (typed.isEmpty()) return;
    const QString absolute = QFileInfo(typed).absoluteFilePath();
    if (!QFileInfo(absolute).isDir()) {
        if (!ask_(QStringLiteral("The specified directory does not exist. Create it?")))
            return;  // stays open
        std::error_code ec;
        std::filesystem::create_directories(absolute.toStdString(), ec);
        if (ec || !QFileInfo(absolute).isDir()) {
            creationError_ =
                QStringLiteral("Cannot create directory \"%1\": %2")
                    .arg(absolute, QString::fromStdString(ec ? ec.message() : "not a directory"));
        }
    }
    directory_ = QDir::cleanPath(absolute);
    QDialog::accept();
}
