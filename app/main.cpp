// The configuration editor. It reads no command line and ends with exit
// code 0 on every path.
#include <QApplication>

#include "app/SingleInstance.h"
#include "ui/Application.h"
#include "ui/MainForm.h"

int main(int argc, char** argv) {
    auto guard = AcquireSingleInstance();
    if (!guard) return 0;  // silently: another editor runs, or none can be guarded

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
    SetApplicationHelpFile(QString::fromUtf8(kHelpFileName));
    {
        QtModalUi modalUi;
        TForm1 form(modalUi);  // FormCreate runs here, before the window shows
        form.show();
        app.exec();
        guard.reset();  // a new editor may start while this one ends
    }
    return 0;
}
