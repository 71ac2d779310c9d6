// The running capture tool: the stored configuration armed as hot keys,
// re-read in the background whenever the editor says it changed, each press
// carried out, a tray icon where the desktop has a tray, and problems told
// once.
#pragma once

#include <QMenu>
#include <QObject>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "capture/Capture.h"
#include "capture/CapturePlan.h"
#include "capture/QtCaptureUi.h"
#include "capture/StoredConfiguration.h"
#include "capture/ToolRequests.h"
#include "model/ActionKeys.h"
#include "platform/NamedObjects.h"

class Desktop;
class HotKeys;

// Ends the program once what the last action started is safe: its sound
// played out (at most a few seconds), and with onClipboard the image taken
// over, at once when a clipboard manager will take it, else when another
// program owns the clipboard, or after limitMs.
void QuitWhenDone(Desktop& desktop, QtCaptureUi& ui, bool onClipboard, int limitMs);

class CaptureTool : public QObject {
public:
    CaptureTool(Desktop& desktop, HotKeys& hotKeys, bool armed);
    ~CaptureTool() override;

    // Opens the change event and starts reading the configuration; false
    // when the event cannot be opened.
    bool Start(std::string& error);
    void SetArmed(bool armed);
    bool Armed() const { return armed_; }
    // Reads the configuration in the background; the keys armed now stay
    // armed meanwhile.
    void Reload();
    // A hot key's press, or the tray's Run menu.
    void RunAction(int index);
    int ProblemCount() const { return static_cast<int>(problems_.size()); }

private:
    struct Read;
    void OnRead();
    void Apply(std::unique_ptr<TActionKeys> list, CapturePlan plan);
    void Arm();
    void Report(const std::string& problem);
    void OnEvent();
    void BuildTray();
    void UpdateTray();
    void FillMenu();
    CaptureOutcome Perform(int index, bool asHotKey);
    void ListenForAskers();
    void OnAsker(int fd);
    void Answer(int fd, const ToolRequest& request);

    Desktop& desktop_;
    HotKeys& hotKeys_;
    bool armed_;
    bool busy_ = false;  // an action runs; presses meanwhile are dropped
    // Shared with a run in progress: a reload during its dialog or overlay
    // must not free the list it reads.
    std::shared_ptr<TActionKeys> list_;
    CapturePlan plan_;
    std::set<std::string> problems_;  // of the configuration now armed, and since
    std::set<std::string> previous_;  // of the configuration before: not said again
    int notified_ = 0;                // desktop notifications since the last read
    std::shared_ptr<Read> read_;      // the read under way
    std::thread reader_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    bool readAgain_ = false;              // the configuration changed during the read
    std::string saidTrouble_;             // the last read's trouble, said once
    std::set<std::string> triggersSaid_;  // keys a desktop chose, said once each
    QtCaptureUi ui_;
    std::unique_ptr<platform::NamedEvent> event_;
    std::uint64_t eventSets_ = 0;  // the event's count of sets, as last seen
    std::unique_ptr<QSocketNotifier> eventNotifier_, xNotifier_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::unique_ptr<QMenu> menu_;
    // Askers of other programs (lmgrab --capture, a desktop's key binding).
    struct Asker {
        std::string pending;  // what came before the end of the line
        std::unique_ptr<QSocketNotifier> notifier;
    };
    int listening_ = -1;
    std::string session_;
    std::unique_ptr<QSocketNotifier> listenNotifier_;
    std::map<int, Asker> askers_;
};
