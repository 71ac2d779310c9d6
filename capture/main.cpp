// lmgrab: the capture tool. Reads the configuration the editor stores and
// does what each action says when its hot key is pressed.
//   lmgrab [/start | --start]   run; hot keys armed with /start, else paused
//                               (SIGUSR1 arms or pauses them meanwhile)
//   lmgrab --check              list the actions and every problem
//   lmgrab --capture N          run action N once and exit
//   lmgrab --logon              what the stored logon entry asks, from autostart
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "capture/Capture.h"
#include "capture/CapturePlan.h"
#include "capture/Tool.h"
#include "capture/X11Desktop.h"
#include "capture/X11HotKeys.h"
#include "model/ActionCodes.h"
#include "model/Commit.h"
#include "platform/NamedObjects.h"
#include "platform/SessionBus.h"
#include "platform/Unicode.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int number) {
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

int Usage(FILE* to) {
    std::fprintf(to,
                 "usage: lmgrab [/start | --start]   run; hot keys armed with /start, else paused\n"
                 "                                   (SIGUSR1 arms or pauses them)\n"
                 "       lmgrab --check              list the actions and every problem\n"
                 "       lmgrab --capture N          run action N once and exit\n"
                 "       lmgrab --logon              start as the stored logon entry says\n");
    return to == stdout ? 0 : 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "lmgrab: %s\n", platform::Printable(message).c_str());
    return 1;
}

// Why there is no X display to work on, or "" when there is one named.
std::string NoX11() {
    const char* display = std::getenv("DISPLAY");
    if (display && *display) return "";
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland) {
        return "this is a Wayland session without X11 (DISPLAY is not set); lmgrab grabs keys and "
               "the screen only through X11";
    }
    return "no X display (DISPLAY is not set); lmgrab works on an X11 desktop";
}

bool ToolRunning() {
    bool existed = false;
    std::string error;
    auto probe = platform::NamedMutex::Create(kToolMutexName, existed, error);
    return existed;
}

int Check() {
    TActionKeys list(kConfigurationKey);
    std::string cause;
    if (const StoreRead read = ReadStoredConfiguration(list, cause);
        read != StoreRead::Read && read != StoreRead::Missing)
        return Fail(cause);
    std::vector<std::string> problems;
    std::string error;
    const std::string noX = NoX11();
    auto desktop = noX.empty() ? X11Desktop::Open(error) : nullptr;
    const CapturePlan plan = PlanConfiguration(list, desktop ? desktop->Depth() : 24);
    // Stored text may hold line breaks: no name may begin a line of its own.
    for (const PlannedAction& a : plan.actions) {
        const std::string line =
            std::to_string(a.number) + " \"" + a.name + "\" " + a.hotKeyText + ": " + a.what;
        std::printf("%s\n", platform::Printable(line).c_str());
    }
    problems.insert(problems.end(), plan.problems.begin(), plan.problems.end());
    if (!desktop) {
        problems.push_back(noX.empty() ? error : noX);
    } else {
        if (const std::string why = desktop->Unreadable(); !why.empty()) problems.push_back(why);
        // The running tool holds its own keys; without it, try each key.
        const bool tryKeys = !ToolRunning();
        X11HotKeys keys(*desktop);
        std::vector<HotKeyBinding> bindings;
        std::vector<const PlannedAction*> of;
        for (const PlannedAction& a : plan.actions) {
            if (!a.armable) continue;
            if (!tryKeys) {
                if (std::string what = keys.ServerAction(a.key); !what.empty()) {
                    problems.push_back(
                        ArmProblem(a, {HotKeys::GrabResult::KeptByServer, std::move(what)}));
                }
                continue;
            }
            bindings.push_back({a.number, a.key});
            of.push_back(&a);
        }
        const std::vector<HotKeys::Outcome> outcomes = keys.Arm(bindings);
        for (std::size_t i = 0; i < outcomes.size(); ++i) {
            if (std::string p = ArmProblem(*of[i], outcomes[i]); !p.empty()) problems.push_back(p);
        }
    }
    for (const std::string& p : problems)
        std::printf("problem: %s\n", platform::Printable(p).c_str());
    if (plan.actions.empty()) std::printf("no actions are stored\n");
    return problems.empty() ? 0 : 1;
}

// Qt on the X server DISPLAY names, whatever QT_QPA_PLATFORM says: this
// is an X11 tool. Unscaled, so that a pixel of the overlay is a pixel of
// the screen on every monitor whatever the desktop's scaling; text still
// follows the desktop's font resolution.
std::unique_ptr<QApplication> DesktopApplication(int& argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    qunsetenv("QT_SCALE_FACTOR");
    qunsetenv("QT_SCREEN_SCALE_FACTORS");
    platform::KeepFromStartingSessionBus();
    auto app = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return app;
}

int CaptureOnce(int& argc, char** argv) {
    const char* numberText = argv[2];
    char* end = nullptr;
    const long number = std::strtol(numberText, &end, 10);
    TActionKeys list(kConfigurationKey);
    std::string cause, error;
    if (const StoreRead read = ReadStoredConfiguration(list, cause);
        read != StoreRead::Read && read != StoreRead::Missing)
        return Fail(cause);
    if (*end != '\0' || number < 1 || number > list.Count()) {
        return Fail("there is no action " + std::string(numberText) + "; actions 1 to " +
                    std::to_string(list.Count()) + " are stored");
    }
    if (const std::string noX = NoX11(); !noX.empty()) return Fail(noX);
    auto desktop = X11Desktop::Open(error);
    if (!desktop) return Fail(error);
    const TActionKey& action = list.Get(static_cast<int>(number - 1));
    // Plain file actions start no Qt desktop: a script's capture stays quick.
    const bool asks = action.SaveTo == codes::kClipboard ||
                      action.GrabMethod == codes::kArbitraryRectangle ||
                      (action.SaveTo == codes::kImageFile && action.QuerryFName);
    std::unique_ptr<QApplication> app = asks ? DesktopApplication(argc, argv) : nullptr;
    QtCaptureUi ui([](const std::string& p) { std::fprintf(stderr, "lmgrab: %s\n", p.c_str()); },
                   [] {}, [&desktop](unsigned long window) { desktop->StampWindow(window); });
    const CaptureOutcome outcome = RunCapture(action, list, *desktop, std::time(nullptr), &ui);
    if (!outcome.ok) return Fail(outcome.error);
    if (!outcome.path.empty()) std::printf("%s\n", outcome.path.c_str());
    std::fflush(stdout);
    if (app) {
        QuitWhenDone(*desktop, ui, outcome.onClipboard, 10 * 60 * 1000);
        return app->exec();
    }
    // The action's sound plays out before the program ends, within reason.
    for (int waited = 0; ui.SoundPlaying() && waited < 5000; waited += 20) usleep(20 * 1000);
    return 0;
}

// What the stored logon entry asks: nothing, the tool paused, or armed.
enum class LogonStart { None, Paused, Armed };

LogonStart LogonDecision() {
    TActionKeys list(kConfigurationKey);
    std::string cause;
    // The entry is read first; the rest the tool reports.
    [[maybe_unused]] const StoreRead read = ReadStoredConfiguration(list, cause);
    if (!list.ShowIconOnStartup) return LogonStart::None;
    return list.StartOnStartup ? LogonStart::Armed : LogonStart::Paused;
}

}  // namespace

int main(int argc, char** argv) {
    bool armed = false;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "/start" || arg == "--start") {
            armed = true;
        } else if (arg == "--check" && argc == 2) {
            return Check();
        } else if (arg == "--capture" && argc == 3) {
            return CaptureOnce(argc, argv);
        } else if (arg == "--logon" && argc == 2) {
            // Started by the desktop's autostart entry: the stored entry decides.
            // Its command text is another desktop's and is never run.
            const LogonStart start = LogonDecision();
            if (start == LogonStart::None) return 0;
            armed = start == LogonStart::Armed;
        } else if (arg == "--help" || arg == "-h") {
            return Usage(stdout);
        } else {
            return Usage(stderr);
        }
    }

    bool existed = false;
    std::string error;
    auto mutex = platform::NamedMutex::Create(kToolMutexName, existed, error);
    if (existed) return 0;
    if (!mutex) return Fail(error);
    if (const std::string noX = NoX11(); !noX.empty()) return Fail(noX);
    auto desktop = X11Desktop::Open(error);
    if (!desktop) return Fail(error);

    if (const char* wayland = std::getenv("WAYLAND_DISPLAY"); wayland && *wayland) {
        std::fprintf(
            stderr,
            "lmgrab: this is a Wayland session with XWayland: hot keys fire only while an X11 "
            "window has the focus, and only X11 windows are seen as the active window\n");
    }
    auto app = DesktopApplication(argc, argv);
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return Fail("cannot set up signals");
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    for (int s : {SIGUSR1, SIGTERM, SIGINT, SIGHUP}) sigaction(s, &action, nullptr);

    X11HotKeys hotKeys(*desktop);
    CaptureTool tool(*desktop, hotKeys, armed);
    if (!tool.Start(error)) return Fail(error);
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
