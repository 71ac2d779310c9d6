// lmgrab: the capture tool. Reads the configuration the editor stores and
// does what each action says when its hot key is pressed.
//   lmgrab [/start | --start]   run; hot keys armed with /start, else paused
//                               (SIGUSR1 arms or pauses them meanwhile)
//   lmgrab --check              list the actions and every problem
//   lmgrab --capture N          run action N once and exit
//   lmgrab --logon              what the stored logon entry asks, from autostart
//   lmgrab --export-bindings D  the actions as key bindings of desktop D
//   lmgrab --allow-screenshots  the desktop portal's permission, given
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "capture/Capture.h"
#include "capture/CapturePlan.h"
#include "capture/DesktopModule.h"
#include "capture/ExportBindings.h"
#include "capture/HotKeys.h"
#include "capture/KdeDesktop.h"
#include "capture/PortalDesktop.h"
#include "capture/StoredConfiguration.h"
#include "capture/ToolRequests.h"
#include "capture/WlrootsDesktop.h"
#include "capture/X11Desktop.h"
#include "model/ActionCodes.h"
#include "model/Commit.h"
#include "platform/NamedObjects.h"
#include "platform/Unicode.h"

namespace {

int Usage(FILE* to) {
    std::fprintf(to,
                 "usage: lmgrab [/start | --start]   run; hot keys armed with /start, else paused\n"
                 "                                   (SIGUSR1 arms or pauses them)\n"
                 "       lmgrab --check              list the actions and every problem\n"
                 "       lmgrab --capture N          run action N once and exit\n"
                 "       lmgrab --logon              start as the stored logon entry says\n"
                 "       lmgrab --export-bindings sway|hyprland|gnome|kde\n"
                 "                                   the actions as the desktop's own key "
                 "bindings\n"
                 "       lmgrab --allow-screenshots  let lmgrab take screenshots through the "
                 "desktop portal\n");
    return to == stdout ? 0 : 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "lmgrab: %s\n", platform::Printable(message).c_str());
    return 1;
}

// The desktop of this session, chosen once at start: sway (and wlroots
// desktops that speak its IPC) where SWAYSOCK is set; on other Wayland
// desktops KWin where it offers screenshots, else the desktop portal where it
// answers; else X11 where an X display is named (XWayland included; it says
// what it cannot see).
std::unique_ptr<Desktop> OpenSessionDesktop(std::string& error) {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* sway = std::getenv("SWAYSOCK");
    const char* display = std::getenv("DISPLAY");
    if (wayland && *wayland && sway && *sway) return WlrootsDesktop::Open(error);
    std::string noPortal;
    if (wayland && *wayland) {
        // One connection for both: whichever answers keeps it.
        if (std::shared_ptr<BusConnection> bus = BusConnection::Open(noPortal)) {
            if (auto kde = KdeDesktop::Open(bus, noPortal)) return kde;
            if (auto portal = PortalDesktop::Open(bus, noPortal)) return portal;
        }
    }
    if (display && *display) return X11Desktop::Open(error);
    error = wayland && *wayland
                ? "this Wayland desktop has no way for lmgrab to read the screen or bind keys (" +
                      noPortal +
                      "; lmgrab works on sway, KDE Plasma, through the desktop portal and on "
                      "X11); lmgrab "
                      "--export-bindings gives the desktop's own key bindings for the actions"
                : "no X display (DISPLAY is not set) and no Wayland desktop; lmgrab works on an "
                  "X11 desktop and on Wayland";
    return nullptr;
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
    auto desktop = OpenSessionDesktop(error);
    const CapturePlan plan = PlanConfiguration(list, desktop ? desktop->Depth() : 24);
    // Stored text may hold line breaks: no name may begin a line of its own.
    for (const PlannedAction& a : plan.actions) {
        const std::string line =
            std::to_string(a.number) + " \"" + a.name + "\" " + a.hotKeyText + ": " + a.what;
        std::printf("%s\n", platform::Printable(line).c_str());
    }
    problems.insert(problems.end(), plan.problems.begin(), plan.problems.end());
    const std::unique_ptr<HotKeys> keys = desktop ? desktop->MakeHotKeys() : nullptr;
    if (!desktop) {
        problems.push_back(error);
    } else {
        if (const std::string why = desktop->Unreadable(); !why.empty()) problems.push_back(why);
        for (std::string& p : DesktopProblems(list, *desktop)) problems.push_back(std::move(p));
        // The running tool holds its own keys; without it, try each key.
        const bool tryKeys = keys && !ToolRunning();
        std::vector<HotKeyBinding> bindings;
        std::vector<const PlannedAction*> of;
        for (const PlannedAction& a : plan.actions) {
            if (!a.armable || !keys) continue;
            if (!tryKeys) {
                if (std::string what = keys->KeptBySystem(a.key); !what.empty()) {
                    problems.push_back(
                        ArmProblem(a, {HotKeys::GrabResult::KeptByServer, std::move(what)}));
                }
                continue;
            }
            bindings.push_back(BindingOf(a, a.number));
            of.push_back(&a);
        }
        const std::vector<HotKeys::Outcome> outcomes =
            keys ? keys->Arm(bindings) : std::vector<HotKeys::Outcome>{};
        for (std::size_t i = 0; i < outcomes.size(); ++i) {
            if (std::string p = ArmProblem(*of[i], outcomes[i]); !p.empty()) problems.push_back(p);
            if (outcomes[i].result == HotKeys::GrabResult::Grabbed && !outcomes[i].detail.empty())
                std::printf("%s\n", platform::Printable(BoundTrigger(*of[i], outcomes[i])).c_str());
        }
    }
    for (const std::string& p : problems)
        std::printf("problem: %s\n", platform::Printable(p).c_str());
    if (plan.actions.empty()) std::printf("no actions are stored\n");
    return problems.empty() ? 0 : 1;
}

int PrintBindings(const std::string& desktop) {
    if (!IsBindingsDesktop(desktop))
        return Fail("bindings are written for sway, hyprland, gnome and kde, not '" + desktop +
                    "'");
    TActionKeys list(kConfigurationKey);
    std::string cause;
    if (const StoreRead read = ReadStoredConfiguration(list, cause);
        read != StoreRead::Read && read != StoreRead::Missing)
        return Fail(cause);
    const std::string program = ProgramPath();
    std::fputs(
        ExportBindings(PlanConfiguration(list, 24), desktop, program.empty() ? "lmgrab" : program)
            .c_str(),
        stdout);
    return 0;
}

// The yes the desktop portal would store had the person been asked: GNOME
// asks only while a window of the program has the focus, never at a hot key.
int AllowPortalScreenshots() {
    std::string error;
    const auto bus = BusConnection::Open(error);
    if (!bus || !AllowScreenshots(*bus, error)) return Fail(error);
    std::printf("lmgrab may now take screenshots through the desktop portal\n");
    return 0;
}

int CaptureOnce(int argc, char** argv) {
    const char* numberText = argv[2];
    char* end = nullptr;
    const long number = std::strtol(numberText, &end, 10);
    // The running tool has the desktop open and the configuration read.
    if (*end == '\0' && number >= 1 && number <= INT32_MAX) {
        ToolReply reply;
        std::string whyNot;
        const ToolRequest request{RequestVerb::Capture, static_cast<int>(number),
                                  SessionIdentity()};
        if (AskRunningTool(request, reply, whyNot) == Asked::Answered) {
            if (reply.kind != ToolReply::Kind::Done) return Fail(reply.text);
            if (!reply.text.empty()) std::printf("%s\n", reply.text.c_str());
            return 0;
        }
    }
    TActionKeys list(kConfigurationKey);
    std::string cause, error;
    if (const StoreRead read = ReadStoredConfiguration(list, cause);
        read != StoreRead::Read && read != StoreRead::Missing)
        return Fail(cause);
    if (*end != '\0' || number < 1 || number > list.Count()) {
        return Fail(NoSuchAction(numberText, list.Count()));
    }
    auto desktop = OpenSessionDesktop(error);
    if (!desktop) return Fail(error);
    const TActionKey& action = list.Get(static_cast<int>(number - 1));
    // A plain file action loads no desktop: a script's capture stays quick.
    const std::string sound = action.Sound.empty() ? list.DefaultSound : action.Sound;
    // A desktop that serves its clipboard itself (wl-copy) needs no Qt for it.
    const bool asks = (action.SaveTo == codes::kClipboard && !desktop->Capabilities().clipboard) ||
                      action.GrabMethod == codes::kArbitraryRectangle ||
                      (action.SaveTo != codes::kNoOutput && action.QuerryFName) || !sound.empty();
    if (asks) {
        DesktopModule module;
        if (!LoadDesktopModule(module, error)) return Fail(error);
        return module.captureOnDesktop(argc, argv, desktop.get(), &action, &list);
    }
    const CaptureOutcome outcome = RunCapture(action, list, *desktop, std::time(nullptr));
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
            return CaptureOnce(argc, argv);
        } else if (arg == "--export-bindings" && argc == 3) {
            return PrintBindings(argv[2]);
        } else if (arg == "--allow-screenshots" && argc == 2) {
            return AllowPortalScreenshots();
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
    auto desktop = OpenSessionDesktop(error);
    if (!desktop) return Fail(error);

    if (const char* wayland = std::getenv("WAYLAND_DISPLAY");
        wayland && *wayland && desktop->Name() == "X11") {
        std::fprintf(
            stderr,
            "lmgrab: this is a Wayland session with XWayland: hot keys fire only while an X11 "
            "window has the focus, and only X11 windows are seen as the active window\n");
    }
    DesktopModule module;
    if (!LoadDesktopModule(module, error)) return Fail(error);
    return module.runTool(argc, argv, desktop.get(), armed);
}
