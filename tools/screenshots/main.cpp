// Renders both pages of the main window, with a sample configuration shown,
// to PNG files: lumagrabber-screenshots [OUTPUT_DIRECTORY]
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QTabWidget>
#include <cstdio>

#include "model/ActionKeys.h"
#include "samples/SampleActions.h"
#include "ui/MainForm.h"

namespace {

bool Save(TForm1& form, const QDir& dir, const char* file) {
    const QString path = dir.filePath(QString::fromUtf8(file));
    if (form.grab().save(path)) return true;
    std::fprintf(stderr, "cannot write %s\n", path.toLocal8Bit().constData());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots"));
    if (!QDir().mkpath(dir.path())) return 1;
    SilentModalUi dialogs;
    TForm1 form(dialogs);
    samples::FillShowcase(form.ActionKeys());
    form.FillActionList();
    form.chkShowIconOnStartup->setChecked(true);
    form.edGlobalDir->setText(QString::fromStdString(form.ActionKeys().TargetDir));
    form.edDefaultSound->setText(QString::fromStdString(form.ActionKeys().DefaultSound));
    form.show();
    app.processEvents();
    bool ok = Save(form, dir, "actions-page.png");
    form.PageControl->setCurrentWidget(form.TabGeneral);
    app.processEvents();
    ok = Save(form, dir, "general-page.png") && ok;
    return ok ? 0 : 1;
}
