#include "ui/HelpViewer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>

QString FindHelpDocument(const QString& helpFile) {
    const QString html = QFileInfo(helpFile).completeBaseName() + QStringLiteral(".html");
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {dir + "/" + html, dir + "/../share/lumagrabber/" + html}) {
        if (QFileInfo(candidate).isFile()) return QFileInfo(candidate).canonicalFilePath();
    }
    return {};
}

bool ShowHelpTopic(const QString& helpFile, const QString& topic, QString& error) {
    const QString document = FindHelpDocument(helpFile);
    if (document.isEmpty()) {
        error = QStringLiteral("The help file \"%1\" cannot be found.").arg(helpFile);
        return false;
    }
    static QTextBrowser* viewer = nullptr;  // one help window for the run
    if (!viewer) {
        viewer = new QTextBrowser();
        viewer->setObjectName(QStringLiteral("HelpViewer"));
        viewer->setAttribute(Qt::WA_DeleteOnClose, false);
        viewer->setOpenExternalLinks(true);
        viewer->resize(560, 620);
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] {
            delete viewer;
            viewer = nullptr;
        });
    }
    QUrl url = QUrl::fromLocalFile(document);
    url.setFragment(topic);
    viewer->setSource(url);
    viewer->setWindowTitle(QStringLiteral("Lumagrabber - Help"));
    viewer->show();
    viewer->raise();
    return true;
}
