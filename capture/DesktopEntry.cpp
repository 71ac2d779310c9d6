// The desktop module's two ways in: the running tool, and one action that
// asks the desktop something. Loaded by lmgrab only when needed.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <cstdio>
#include <ctime>
#include <memory>

#include "capture/Capture.h"
#include "capture/Desktop.h"
#include "capture/DesktopModule.h"
#include "capture/HotKeys.h"
#include "capture/NullDesktop.h"
#include "capture/Tool.h"
#include "platform/AppIds.h"
#include "platform/SessionBus.h"
#include "platform/Unicode.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int number) {
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "lmgrab: %s\n", platform::Printable(message).c_str());
    return 1;
}

// Qt on the desktop the tool works on, whatever QT_QPA_PLATFORM says: the
// X server DISPLAY names, or the Wayland compositor. Unscaled, so that a
// pixel of the overlay is a pixel of the screen on every monitor whatever
// the desktop's scaling; text still follows the desktop's font resolution.
std::unique_ptr<QApplication> DesktopApplication(int& argc, char** argv, const Desktop& desktop) {
    qputenv("QT_QPA_PLATFORM", desktop.Name() == "X11" ? "xcb" : "wayland");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    qunsetenv("QT_SCALE_FACTOR");
    qunsetenv("QT_SCREEN_SCALE_FACTORS");
    platform::KeepFromStartingSessionBus();
    // Qt's tray icon asks for an X11-only signal on every other platform.
    if (desktop.Name() != "X11")
        QLoggingCategory::setFilterRules(QStringLiteral("qt.core.qobject.connect=false"));
    auto app = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QString::fromUtf8(platform::kToolAppId));
    return app;
}

}  // namespace

extern "C" int LmgrabRunTool(int argc, char** argv, Desktop* desktop, bool armed) {
    auto app = DesktopApplication(argc, argv, *desktop);
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return Fail("cannot set up signals");
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    for (int s : {SIGUSR1, SIGTERM, SIGINT, SIGHUP}) sigaction(s, &action, nullptr);

    std::string error;
    std::unique_ptr<HotKeys> hotKeys = desktop->MakeHotKeys();
    // Without hot keys the tool still serves the desktop's own bindings
    // (lmgrab --capture asks it) and its tray.
    const bool none = !hotKeys;
    if (none) hotKeys = std::make_unique<NullHotKeys>();
    CaptureTool tool(*desktop, *hotKeys, armed);
    if (!tool.Start(error)) return Fail(error);
    if (none) {
        std::fprintf(stderr,
                     "lmgrab: this desktop (%s) gives programs no global hot keys; lmgrab "
                     "--export-bindings makes the desktop's own key bindings run the actions\n",
                     desktop->Name().c_str());
    }
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&tool] {
        char number;
        while (::read(g_signalPipe[0], &number, 1) == 1) {
            if (number == SIGUSR1) {
                tool.SetArmed(!tool.Armed());
            } else {
                QCoreApplication::exit(0);
            }
        }
    });
    return app->exec();
}

extern "C" int LmgrabCaptureOnDesktop(int argc, char** argv, Desktop* desktop,
                                      const TActionKey* action, const TActionKeys* list) {
    auto app = DesktopApplication(argc, argv, *desktop);
    QtCaptureUi ui([](const std::string& p) { Fail(p); }, [] {},
                   [desktop](unsigned long window) { desktop->StampWindow(window); });
    const CaptureOutcome outcome = RunCapture(*action, *list, *desktop, std::time(nullptr), &ui);
    if (!outcome.ok) return Fail(outcome.error);
    if (!outcome.path.empty()) std::printf("%s\n", outcome.path.c_str());
    std::fflush(stdout);
    QuitWhenDone(*desktop, ui, outcome.onClipboard, 10 * 60 * 1000);
    return app->exec();
}
