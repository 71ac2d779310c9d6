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
#include "ui/MainForm.h"

namespace {

void AddSample(TActionKeys& list) {
    list.TargetDir = "/home/user/Pictures/Captures";
    list.DefaultSound = "/usr/share/sounds/camera-shutter.wav";
    list.ShowIconOnStartup = true;
    auto add = [&list](const char* name, int mods, int key, int saveTo, int grab, const char* ext,
                       int depth, int quality) {
        auto a = std::make_unique<TActionKey>();
        a->Name = name;
        a->Modifiers = mods;
        a->VirtualKey = key;
        a->SaveTo = static_cast<std::uint8_t>(saveTo);
        a->TargetDir = "/home/user/Pictures/Captures";
        a->GrabMethod = static_cast<std::uint8_t>(grab);
        a->RecHeight = 480;
        a->RecWidth = 640;
        a->Extension = ext;
        a->PixelFormat = static_cast<std::uint8_t>(depth);
        a->Quality = quality;
        a->Sound = "/usr/share/sounds/click.wav";
        list.Add(std::move(a));
    };
    add("Window to JPEG", 2, 116, 1, 1, ".jpg", 6, 75);
    add("Full screen to bitmap", 6, 65, 1, 0, ".bmp", 0, 100);
    add("Area to clipboard", 1, 50, 2, 4, ".bmp", 0, 100);
    add("Fixed rectangle", 3, 82, 1, 3, ".pcx", 3, 100);
}

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
    AddSample(form.ActionKeys());
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
