// lmgrab: the capture tool. Reads the configuration the editor stores and
// does what each action says when its hot key is pressed.
//   lmgrab [/start | --start]   run; hot keys armed with /start, else paused
//                               (SIGUSR1 arms or pauses them meanwhile)
//   lmgrab --check              list the actions and every problem
//   lmgrab --capture N          run action N once and exit
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
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
#include "model/Commit.h"
#include "platform/NamedObjects.h"

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
                 "       lmgrab --capture N          run action N once and exit\n");
    return to == stdout ? 0 : 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "lmgrab: %s\n", message.c_str());
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
    if (!ReadStoredConfiguration(list, cause)) return Fail(cause);
    std::vector<std::string> problems;
    std::string error;
    const std::string noX = NoX11();
    auto desktop = noX.empty() ? X11Desktop::Open(error) : nullptr;
    const CapturePlan plan = PlanConfiguration(list, desktop ? desktop->Depth() : 24);
    for (const PlannedAction& a : plan.actions) {
        std::printf("%d \"%s\" %s: %s\n", a.number, a.name.c_str(), a.hotKeyText.c_str(),
                    a.what.c_str());
    }
    problems.insert(problems.end(), plan.problems.begin(), plan.problems.end());
    if (!desktop) {
        problems.push_back(noX.empty() ? error : noX);
    } else if (!ToolRunning()) {
        // The running tool holds its own keys; without it, try each key.
        X11HotKeys keys(*desktop);
        for (const PlannedAction& a : plan.actions) {
            if (a.armable && keys.Grab(a.number, a.key) == X11HotKeys::GrabResult::Taken) {
                problems.push_back(KeyTakenProblem(a));
            }
        }
    }
    for (const std::string& p : problems) std::printf("problem: %s\n", p.c_str());
    if (plan.actions.empty()) std::printf("no actions are stored\n");
    return problems.empty() ? 0 : 1;
}

int CaptureOnce(const char* numberText) {
    char* end = nullptr;
    const long number = std::strtol(numberText, &end, 10);
    TActionKeys list(kConfigurationKey);
    std::string cause, error;
    if (!ReadStoredConfiguration(list, cause)) return Fail(cause);
    if (*end != '\0' || number < 1 || number > list.Count()) {
        return Fail("there is no action " + std::string(numberText) + "; actions 1 to " +
                    std::to_string(list.Count()) + " are stored");
    }
    if (const std::string noX = NoX11(); !noX.empty()) return Fail(noX);
    auto desktop = X11Desktop::Open(error);
    if (!desktop) return Fail(error);
    const CaptureOutcome outcome =
        RunCapture(list.Get(static_cast<int>(number - 1)), list, *desktop, std::time(nullptr));
    if (!outcome.ok) return Fail(outcome.error);
    if (!outcome.path.empty()) std::printf("%s\n", outcome.path.c_str());
    return 0;
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
            return CaptureOnce(argv[2]);  // no event loop: Qt's image writers need none
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

    QCoreApplication app(argc, argv);
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
    return app.exec();
}
