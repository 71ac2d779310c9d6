// The configuration editor. It reads no command line and ends with exit
// code 0 on every path.
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include "app/DestroyedWindow.h"
#include "app/SingleInstance.h"
#include "platform/AppIds.h"
#include "platform/SessionBus.h"
#include "ui/Application.h"
#include "ui/MainForm.h"

namespace {

int gStopPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const char c = 's';
    [[maybe_unused]] const ssize_t n = ::write(gStopPipe[1], &c, 1);
}

// A session that ends, or a kill without -9, closes the window the way
// Cancel does instead of tearing the process down. The signals are caught
// from the first moment; one that comes before the window closes it as
// soon as it is up.
void CatchStopSignals() {
    if (::pipe(gStopPipe) != 0) return;
    struct sigaction sa = {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}

bool gStopRequested = false;

// Ends the editor as Cancel would, at any moment: message boxes and
// dialogs that are up return as dismissed (committing nothing), every event
// loop ends, and one that has not started yet is not started.
void StopOnSignals(QApplication& app) {
    if (gStopPipe[0] < 0) return;
    auto* notifier = new QSocketNotifier(gStopPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(gStopPipe[0], &c, 1);
        gStopRequested = true;
        QCoreApplication::exit(0);
    });
}

}  // namespace

int main(int argc, char** argv) {
    CatchStopSignals();
    auto guard = AcquireSingleInstance();
    if (!guard) return 0;  // silently: another editor runs, or none can be guarded

    platform::KeepFromStartingSessionBus();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
    // Wayland desktops find the window's entry, icon and name by this.
    QGuiApplication::setDesktopFileName(QString::fromUtf8(platform::kEditorAppId));
    SetApplicationHelpFile(QString::fromUtf8(kHelpFileName));
    StopOnSignals(app);
    {
        QtModalUi modalUi;
        TForm1 form(modalUi);  // FormCreate runs here, before the window shows
        // The program ends with its main window, however that closes, even
        // while other windows (Help) are open.
        form.setAttribute(Qt::WA_DeleteOnClose, false);
        QObject::connect(&form, &TForm1::closed, &app, &QCoreApplication::quit);
        CloseWhenDestroyedByWindowSystem(form);
        if (!gStopRequested) {
            form.show();
            // For checking an installation and timing start-up: the window
            // opens and closes again as Cancel would.
            if (qEnvironmentVariableIsSet("LUMAGRABBER_QUIT_AFTER_START")) {
                QTimer::singleShot(0, &form, &QWidget::close);
            }
            app.exec();
        }
        guard.reset();  // a new editor may start while this one ends
    }
    return 0;
}
