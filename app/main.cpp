#include <QApplication>

#include "ui/MainForm.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QtModalUi modalUi;
    TForm1 form(modalUi);
    form.show();
    app.exec();
    return 0;
}
