#include "capture/Tool.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <cstdio>
#include <ctime>

#include "capture/Capture.h"
#include "capture/HotKeys.h"
#include "capture/Notifications.h"
#include "capture/X11Desktop.h"
#include "model/Commit.h"

bool ReadStoredConfiguration(TActionKeys& list, std::string& cause) {
    // Actions without a hot key are read whole; the plan names them.
    if (list.LoadFromRegistry() || list.LastLoad().OnlyKeysMissing()) return true;
    cause = "the stored configuration cannot be read";
    return false;
}

void QuitWhenClipboardIsSafe(X11Desktop& desktop, QtCaptureUi& ui, int limitMs) {
    if (desktop.ClipboardManagerRuns() || !ui.OwnsClipboard()) {
        QCoreApplication::exit(0);  // Qt hands the image to the manager as it ends
        return;
    }
    std::fprintf(stderr,
                 "lmgrab: keeping the image on the clipboard until another program takes it\n");
    auto* poll = new QTimer(qApp);
    QElapsedTimer waited;
    waited.start();
    QObject::connect(poll, &QTimer::timeout, [&ui, poll, waited, limitMs] {
        if (ui.OwnsClipboard() && waited.elapsed() < limitMs) return;
        poll->stop();
        QCoreApplication::exit(0);
    });
    poll->start(100);
}

CaptureTool::CaptureTool(X11Desktop& desktop, HotKeys& hotKeys, bool armed)
    : desktop_(desktop),
      hotKeys_(hotKeys),
      armed_(armed),
      ui_([this](const std::string& p) { Report(p); }, [this] { hotKeys_.ReleaseKeyboard(); },
          [this](unsigned long window) { desktop_.StampWindow(window); }) {}

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
    BuildTray();
    return true;
}

void CaptureTool::Report(const std::string& problem) {
    problems_.insert(problem);
    if (!reported_.insert(problem).second) return;
    std::fprintf(stderr, "lmgrab: %s\n", problem.c_str());
    NotifyDesktop("Lumagrabber", problem);
    UpdateTray();
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
    problems_.clear();
    for (const std::string& p : plan_.problems) Report(p);
    if (armed_) Arm();
    std::fprintf(stderr, "lmgrab: %d actions read; hot keys %s\n", list_->Count(),
                 armed_ ? "armed" : "paused");
    UpdateTray();
}

void CaptureTool::Arm() {
    for (std::size_t i = 0; i < plan_.actions.size(); ++i) {
        const PlannedAction& action = plan_.actions[i];
        if (!action.armable) continue;
        switch (hotKeys_.Grab(static_cast<int>(i), action.key)) {
            case HotKeys::GrabResult::Taken:
                Report(KeyTakenProblem(action));
                break;
            case HotKeys::GrabResult::NoSuchKey:
                Report(ActionLabel(action.number, action.name) +
                       ": no key of this keyboard makes " + action.hotKeyText + "; not armed");
                break;
            case HotKeys::GrabResult::Grabbed:
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
    UpdateTray();
}

void CaptureTool::RunAction(int index) {
    if (busy_ || !list_ || index < 0 || index >= list_->Count()) return;
    busy_ = true;
    const std::shared_ptr<TActionKeys> list = list_;
    const TActionKey& action = list->Get(index);
    const CaptureOutcome outcome = RunCapture(action, *list, desktop_, std::time(nullptr), &ui_);
    busy_ = false;
    if (!outcome.ok) {
        Report(ActionLabel(index + 1, action.Name) + ": " + outcome.error);
    } else if (!outcome.path.empty()) {
        std::printf("%s\n", outcome.path.c_str());
        std::fflush(stdout);
    }
    if (!action.Quit) return;
    if (outcome.onClipboard) {
        QuitWhenClipboardIsSafe(desktop_, ui_, 10 * 60 * 1000);
    } else {
        QCoreApplication::exit(0);
    }
}

void CaptureTool::BuildTray() {
    // Made whether or not a tray runs now: a panel started after the tool
    // at logon still gets the icon; without one the tool runs the same.
    tray_ = std::make_unique<QSystemTrayIcon>(QIcon(QStringLiteral(":/lumagrabber-config.xpm")));
    menu_ = std::make_unique<QMenu>();
    tray_->setContextMenu(menu_.get());
    connect(menu_.get(), &QMenu::aboutToShow, this, [this] { UpdateTray(); });
    UpdateTray();
    tray_->show();
}

void CaptureTool::UpdateTray() {
    if (!tray_) return;
    const QString problems =
        problems_.empty()
            ? QStringLiteral("no problems")
            : QStringLiteral("%1 problem(s), listed by lmgrab --check").arg(problems_.size());
    tray_->setToolTip(
        QStringLiteral("Lumagrabber: hot keys %1; %2")
            .arg(armed_ ? QStringLiteral("armed") : QStringLiteral("paused"), problems));
    menu_->clear();
    menu_->addAction(armed_ ? QStringLiteral("&Pause Hot Keys") : QStringLiteral("&Arm Hot Keys"),
                     this, [this] { SetArmed(!armed_); });
    menu_->addAction(QStringLiteral("&Configuration..."), this, [] {
        const QString beside =
            QCoreApplication::applicationDirPath() + QStringLiteral("/lumagrabber-config");
        QProcess::startDetached(
            QFileInfo::exists(beside) ? beside : QStringLiteral("lumagrabber-config"), {});
    });
    QMenu* run = menu_->addMenu(QStringLiteral("&Run"));
    for (int i = 0; list_ && i < list_->Count(); ++i) {
        run->addAction(QString::fromStdString(list_->Get(i).Name), this,
                       [this, i] { RunAction(i); });
    }
    run->setEnabled(list_ && list_->Count() > 0);
    menu_->addSeparator();
    menu_->addAction(QStringLiteral("&Quit"), this, [] { QCoreApplication::exit(0); });
}
