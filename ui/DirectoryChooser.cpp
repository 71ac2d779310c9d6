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
    // Open at the start folder: its parents expanded, it selected and in
    // view. The model reads folders in the background, so this is done
    // again as each folder on the way arrives.
    const QString startPath = QDir::cleanPath(QFileInfo(start).absoluteFilePath());
    auto reveal = [this, startPath] {
        const QModelIndex index = model_->index(startPath);
        if (!index.isValid()) return;
        for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) {
            tree_->expand(parent);
        }
        if (tree_->currentIndex() != index) tree_->setCurrentIndex(index);
        tree_->scrollTo(index);
    };
    reveal();
    // Until the start folder itself has arrived, or the user picks another.
    auto* revealing = new QObject(this);
    connect(model_, &QFileSystemModel::directoryLoaded, revealing,
            [reveal, startPath, revealing](const QString& loaded) {
                const QString folder = QDir::cleanPath(loaded);
                if (folder == startPath || startPath.startsWith(folder + '/') ||
                    folder == QDir::rootPath()) {
                    reveal();
                }
                if (folder == startPath) revealing->deleteLater();
            });
    connect(tree_, &QTreeView::clicked, revealing, &QObject::deleteLater);
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
