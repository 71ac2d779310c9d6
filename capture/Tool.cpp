#include "capture/Tool.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <cstdio>
#include <ctime>

#include "capture/Capture.h"
#include "capture/X11Desktop.h"
#include "capture/X11HotKeys.h"
#include "model/Commit.h"

bool ReadStoredConfiguration(TActionKeys& list, std::string& cause) {
    // Actions without a hot key are read whole; the plan names them.
    if (list.LoadFromRegistry() || list.LastLoad().OnlyKeysMissing()) return true;
    cause = "the stored configuration cannot be read";
    return false;
}

CaptureTool::CaptureTool(X11Desktop& desktop, X11HotKeys& hotKeys, bool armed)
    : desktop_(desktop), hotKeys_(hotKeys), armed_(armed) {}

CaptureTool::~CaptureTool() {
    hotKeys_.UngrabAll();
}

bool CaptureTool::Start(std::string& error) {
    event_ = platform::NamedEvent::Open(kChangeEventName, error);
    if (!event_) return false;
    event_->Reset();  // what was set before the tool ran is read now anyway
    const int watch = event_->WatchDescriptor();
    if (watch < 0) {
        error = "cannot watch the change event";
        return false;
    }
    eventNotifier_ = std::make_unique<QSocketNotifier>(watch, QSocketNotifier::Read);
    connect(eventNotifier_.get(), &QSocketNotifier::activated, this, [this] { OnEvent(); });
    const auto processX = [this] { hotKeys_.ProcessEvents([this](int id) { RunAction(id); }); };
    xNotifier_ = std::make_unique<QSocketNotifier>(hotKeys_.Descriptor(), QSocketNotifier::Read);
    connect(xNotifier_.get(), &QSocketNotifier::activated, this, processX);
    // Xlib may have read events into its queue while answering a request.
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            processX);
    desktop_.Prepare();
    Reload();
    return true;
}

void CaptureTool::Report(const std::string& problem) {
    if (reported_.insert(problem).second) std::fprintf(stderr, "lmgrab: %s\n", problem.c_str());
}

void CaptureTool::OnEvent() {
    event_->DrainWatch();
    if (!event_->IsSet()) return;
    event_->Reset();
    Reload();
}

void CaptureTool::Reload() {
    auto list = std::make_unique<TActionKeys>(kConfigurationKey);
    std::string cause;
    if (!ReadStoredConfiguration(*list, cause)) {
        std::fprintf(stderr, "lmgrab: %s; %s\n", cause.c_str(),
                     list_ ? "the previous configuration stays armed" : "no hot keys are armed");
        return;
    }
    hotKeys_.UngrabAll();
    list_ = std::move(list);
    plan_ = PlanConfiguration(*list_, desktop_.Depth());
    for (const std::string& p : plan_.problems) Report(p);
    if (armed_) Arm();
    std::fprintf(stderr, "lmgrab: %d actions read; hot keys %s\n", list_->Count(),
                 armed_ ? "armed" : "paused");
}

void CaptureTool::Arm() {
    for (std::size_t i = 0; i < plan_.actions.size(); ++i) {
        const PlannedAction& action = plan_.actions[i];
        if (!action.armable) continue;
        switch (hotKeys_.Grab(static_cast<int>(i), action.key)) {
            case X11HotKeys::GrabResult::Taken:
                Report(KeyTakenProblem(action));
                break;
            case X11HotKeys::GrabResult::NoSuchKey:
                Report(ActionLabel(action.number, action.name) +
                       ": no key of this keyboard makes " + action.hotKeyText + "; not armed");
                break;
            case X11HotKeys::GrabResult::Grabbed:
                break;
        }
    }
}

void CaptureTool::SetArmed(bool armed) {
    if (armed == armed_) return;
    armed_ = armed;
    hotKeys_.UngrabAll();
    if (armed_) Arm();
    std::fprintf(stderr, "lmgrab: hot keys %s\n", armed_ ? "armed" : "paused");
}

void CaptureTool::RunAction(int index) {
    if (!list_ || index < 0 || index >= list_->Count()) return;
    const TActionKey& action = list_->Get(index);
    const CaptureOutcome outcome = RunCapture(action, *list_, desktop_, std::time(nullptr));
    if (!outcome.ok) {
        std::fprintf(stderr, "lmgrab: %s: %s\n", ActionLabel(index + 1, action.Name).c_str(),
                     outcome.error.c_str());
    } else if (!outcome.path.empty()) {
        std::printf("%s\n", outcome.path.c_str());
        std::fflush(stdout);
    }
    if (action.Quit) QCoreApplication::exit(0);
}
