#include "capture/Tool.h"

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "capture/Capture.h"
#include "capture/Desktop.h"
#include "capture/HotKeys.h"
#include "capture/Notifications.h"
#include "model/Commit.h"
#include "platform/Registry.h"
#include "platform/SqliteRegistry.h"
#include "platform/Unicode.h"

namespace {

constexpr int kBusyRetryMs = 1000;
constexpr int kSoundWaitMs = 5000;
constexpr int kNotificationsPerRead = 3;  // then one line says how many more

}  // namespace

void QuitWhenDone(Desktop& desktop, QtCaptureUi& ui, bool onClipboard, int limitMs) {
    const bool keepClipboard = onClipboard && !desktop.ClipboardManagerRuns() && ui.OwnsClipboard();
    if (keepClipboard) {
        std::fprintf(stderr,
                     "lmgrab: keeping the image on the clipboard until another program takes it\n");
    }
    auto* poll = new QTimer(qApp);
    QElapsedTimer waited;
    waited.start();
    // Queued, so that it also ends a program whose event loop starts later;
    // Qt hands the clipboard to a manager as it ends.
    QObject::connect(poll, &QTimer::timeout, [&ui, poll, waited, limitMs, keepClipboard] {
        const bool sound = ui.SoundPlaying() && waited.elapsed() < kSoundWaitMs;
        const bool clipboard = keepClipboard && ui.OwnsClipboard() && waited.elapsed() < limitMs;
        if (sound || clipboard) return;
        poll->stop();
        QCoreApplication::exit(0);
    });
    poll->start(50);
}

// One background read of the store and what it plans.
struct CaptureTool::Read {
    std::mutex mutex;
    bool done = false;
    StoreRead status = StoreRead::Unreadable;
    std::string cause;
    std::unique_ptr<TActionKeys> list;
    CapturePlan plan;
    int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ~Read() {
        if (wake >= 0) ::close(wake);
    }
};

CaptureTool::CaptureTool(Desktop& desktop, HotKeys& hotKeys, bool armed)
    : desktop_(desktop),
      hotKeys_(hotKeys),
      armed_(armed),
      ui_([this](const std::string& p) { Report(p); }, [this] { hotKeys_.ReleaseKeyboard(); },
          [this](unsigned long window) { desktop_.StampWindow(window); }) {}

CaptureTool::~CaptureTool() {
    hotKeys_.Disarm();
    for (const auto& [fd, asker] : askers_) ::close(fd);
    StopListening(listening_);
    if (!reader_.joinable()) return;
    bool done = false;
    {
        std::lock_guard<std::mutex> lock(read_->mutex);
        done = read_->done;
    }
    // A read still waiting on a busy store must not hold up the end.
    if (done) {
        reader_.join();
    } else {
        reader_.detach();
    }
}

bool CaptureTool::Start(std::string& error) {
    event_ = platform::NamedEvent::Open(kChangeEventName, error);
    if (!event_) return false;
    event_->Reset();  // what was set before the tool ran is read now anyway
    eventSets_ = event_->Sets();
    const int watch = event_->WatchDescriptor();
    if (watch < 0) {
        error = "cannot watch the change event";
        return false;
    }
    eventNotifier_ = std::make_unique<QSocketNotifier>(watch, QSocketNotifier::Read);
    connect(eventNotifier_.get(), &QSocketNotifier::activated, this, [this] { OnEvent(); });
    const auto processX = [this] { hotKeys_.ProcessEvents([this](int id) { RunAction(id); }); };
    if (hotKeys_.Descriptor() >= 0) {
        xNotifier_ =
            std::make_unique<QSocketNotifier>(hotKeys_.Descriptor(), QSocketNotifier::Read);
        connect(xNotifier_.get(), &QSocketNotifier::activated, this, processX);
    }
    // Xlib may have read events into its queue while answering a request.
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            processX);
    desktop_.Prepare();
    if (const std::string why = desktop_.Unreadable(); !why.empty()) Report(why);
    BuildTray();
    ListenForAskers();
    Reload();
    return true;
}

void CaptureTool::Report(const std::string& problem) {
    if (!problems_.insert(problem).second || previous_.count(problem)) return;
    std::fprintf(stderr, "lmgrab: %s\n", platform::Printable(problem).c_str());
    if (notified_++ < kNotificationsPerRead) NotifyDesktop("Lumagrabber", problem);
    UpdateTray();
}

void CaptureTool::OnEvent() {
    event_->DrainWatch();
    // A set that someone else reset before we looked still counts.
    const std::uint64_t sets = event_->Sets();
    if (!event_->IsSet() && sets == eventSets_) return;
    eventSets_ = sets;
    event_->Reset();
    Reload();
}

void CaptureTool::Reload() {
    if (read_) {
        readAgain_ = true;  // read once more when this one is done
        return;
    }
    read_ = std::make_shared<Read>();
    readNotifier_ = std::make_unique<QSocketNotifier>(read_->wake, QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, [this] { OnRead(); });
    const int depth = desktop_.Depth();
    reader_ = std::thread([read = read_, depth] {
        auto list = std::make_unique<TActionKeys>(kConfigurationKey);
        std::string cause;
        const StoreRead status = ReadStoredConfiguration(*list, cause);
        CapturePlan plan;
        if (status == StoreRead::Read || status == StoreRead::Missing)
            plan = PlanConfiguration(*list, depth);
        std::lock_guard<std::mutex> lock(read->mutex);
        read->status = status;
        read->cause = std::move(cause);
        read->list = std::move(list);
        read->plan = std::move(plan);
        read->done = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(read->wake, &one, sizeof one);
    });
}

void CaptureTool::OnRead() {
    readNotifier_.reset();
    reader_.join();
    const std::shared_ptr<Read> read = std::move(read_);
    const char* keeps = list_ ? "the previous configuration stays armed" : "no hot keys are armed";
    // Each trouble is said once, until a read succeeds or another comes.
    const auto say = [this, keeps](const std::string& cause) {
        const std::string text = cause + "; " + keeps;
        if (text == saidTrouble_) return;
        saidTrouble_ = text;
        std::fprintf(stderr, "lmgrab: %s\n", platform::Printable(text).c_str());
    };
    if (read->status == StoreRead::Busy) {
        say(read->cause);
        // Whoever holds the store will commit and set the event, or not:
        // try again either way.
        QTimer::singleShot(kBusyRetryMs, this, [this] { Reload(); });
    } else if (read->status == StoreRead::Unreadable ||
               (read->status == StoreRead::Missing && list_)) {
        // A store deleted under the tool leaves the keys armed until a new
        // configuration is really committed.
        say(read->cause);
    } else {
        saidTrouble_.clear();
        Apply(std::move(read->list), std::move(read->plan));
    }
    if (readAgain_) {
        readAgain_ = false;
        Reload();
    }
}

void CaptureTool::Apply(std::unique_ptr<TActionKeys> list, CapturePlan plan) {
    list_ = std::move(list);
    plan_ = std::move(plan);
    ui_.ResetSound();
    previous_ = std::move(problems_);
    problems_.clear();
    notified_ = 0;
    for (const std::string& p : plan_.problems) Report(p);
    for (const std::string& p : DesktopProblems(*list_, desktop_)) Report(p);
    if (const std::string why = desktop_.Unreadable(); !why.empty()) Report(why);
    Arm();
    if (notified_ > kNotificationsPerRead) {
        NotifyDesktop("Lumagrabber", std::to_string(notified_ - kNotificationsPerRead) +
                                         " more problem(s), listed by lmgrab --check");
    }
    std::fprintf(stderr, "lmgrab: %d actions read; hot keys %s\n", list_->Count(),
                 armed_ ? "armed" : "paused");
    UpdateTray();
}

void CaptureTool::Arm() {
    if (!armed_) {
        hotKeys_.Disarm();
        return;
    }
    std::vector<HotKeyBinding> keys;
    std::vector<const PlannedAction*> of;
    for (std::size_t i = 0; i < plan_.actions.size(); ++i) {
        if (!plan_.actions[i].armable) continue;
        keys.push_back(BindingOf(plan_.actions[i], static_cast<int>(i)));
        of.push_back(&plan_.actions[i]);
    }
    const std::vector<HotKeys::Outcome> outcomes = hotKeys_.Arm(keys);
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        if (const std::string p = ArmProblem(*of[i], outcomes[i]); !p.empty()) Report(p);
        // Said where the desktop chose other keys than the stored ones.
        if (outcomes[i].result == HotKeys::GrabResult::Grabbed && !outcomes[i].detail.empty() &&
            platform::FoldCase(outcomes[i].detail) != platform::FoldCase(of[i]->hotKeyText)) {
            const std::string said = BoundTrigger(*of[i], outcomes[i]);
            if (triggersSaid_.insert(said).second)
                std::fprintf(stderr, "lmgrab: %s\n", platform::Printable(said).c_str());
        }
    }
}

void CaptureTool::SetArmed(bool armed) {
    if (armed == armed_) return;
    armed_ = armed;
    Arm();
    std::fprintf(stderr, "lmgrab: hot keys %s\n", armed_ ? "armed" : "paused");
    UpdateTray();
}

void CaptureTool::RunAction(int index) {
    if (busy_ || !list_ || index < 0 || index >= list_->Count()) return;
    Perform(index, true);
}

CaptureOutcome CaptureTool::Perform(int index, bool asHotKey) {
    busy_ = true;
    const std::shared_ptr<TActionKeys> list = list_;
    const TActionKey& action = list->Get(index);
    CaptureOutcome outcome = RunCapture(action, *list, desktop_, std::time(nullptr), &ui_);
    busy_ = false;
    if (!asHotKey) return outcome;  // the asker says what became of it
    if (!outcome.ok) {
        Report(ActionLabel(index + 1, action.Name) + ": " + outcome.error);
    } else if (!outcome.path.empty()) {
        std::printf("%s\n", outcome.path.c_str());
        std::fflush(stdout);
    }
    if (action.Quit) QuitWhenDone(desktop_, ui_, outcome.onClipboard, 10 * 60 * 1000);
    return outcome;
}

void CaptureTool::ListenForAskers() {
    std::string error;
    listening_ = ListenForRequests(error);
    if (listening_ < 0) {
        // Askers then capture by themselves, only slower.
        Report(error);
        return;
    }
    session_ = SessionIdentity();
    listenNotifier_ = std::make_unique<QSocketNotifier>(listening_, QSocketNotifier::Read);
    connect(listenNotifier_.get(), &QSocketNotifier::activated, this, [this] {
        for (int fd; (fd = AcceptAsker(listening_)) >= 0;) {
            Asker& asker = askers_[fd];
            asker.notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            connect(asker.notifier.get(), &QSocketNotifier::activated, this,
                    [this, fd] { OnAsker(fd); });
        }
    });
}

void CaptureTool::OnAsker(int fd) {
    std::string line;
    if (!TakeRequestLine(fd, askers_[fd].pending, line)) return;
    // Answered once, then let go; the map may change while an overlay runs.
    askers_.erase(fd);
    ToolRequest request;
    if (ParseRequest(line, request)) Answer(fd, request);
    ::close(fd);
}

void CaptureTool::Answer(int fd, const ToolRequest& request) {
    const auto send = [fd](ToolReply::Kind kind, const std::string& text) {
        const std::string line = FormatReply({kind, text});
        [[maybe_unused]] const ssize_t n = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    };
    using Kind = ToolReply::Kind;
    if (request.session != session_)
        return send(Kind::Declined, "the capture tool works on another display or store");
    // A configuration committed a moment ago is the one the asker means.
    if (!list_ || read_ || event_->IsSet() || event_->Sets() != eventSets_)
        return send(Kind::Declined, "the capture tool is reading the configuration");
    if (busy_) return send(Kind::Declined, "the capture tool is busy with another action");
    if (request.number < 1 || request.number > list_->Count())
        return send(Kind::Failed, NoSuchAction(std::to_string(request.number), list_->Count()));
    const bool press = request.verb == RequestVerb::Press;
    if (press && !armed_) return send(Kind::Failed, "the hot keys are paused");
    send(Kind::Working, "");
    const CaptureOutcome outcome = Perform(request.number - 1, press);
    send(outcome.ok ? Kind::Done : Kind::Failed, outcome.ok ? outcome.path : outcome.error);
}

void CaptureTool::BuildTray() {
    // Made whether or not a tray runs now: a panel started after the tool
    // at logon still gets the icon; without one the tool runs the same.
    tray_ = std::make_unique<QSystemTrayIcon>(QIcon(QStringLiteral(":/lumagrabber-config.xpm")));
    menu_ = std::make_unique<QMenu>();
    tray_->setContextMenu(menu_.get());
    // The menu is filled as it opens, never on a reload: a configuration
    // of a thousand actions read ten thousand times costs nothing.
    connect(menu_.get(), &QMenu::aboutToShow, this, [this] { FillMenu(); });
    FillMenu();
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
}

void CaptureTool::FillMenu() {
    // clear() deletes the actions, and the Run submenu with them (its
    // parent is the menu).
    for (QAction* a : menu_->actions()) {
        if (QMenu* sub = a->menu()) sub->deleteLater();
    }
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
        // "&" would mark an accelerator: "Save & Go" shows as it is.
        QString name = QString::fromStdString(list_->Get(i).Name);
        run->addAction(name.replace(QLatin1Char('&'), QStringLiteral("&&")), this,
                       [this, i] { RunAction(i); });
    }
    run->setEnabled(list_ && list_->Count() > 0);
    menu_->addSeparator();
    menu_->addAction(QStringLiteral("&Quit"), this, [] { QCoreApplication::exit(0); });
}
