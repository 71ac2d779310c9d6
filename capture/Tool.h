// The running capture tool: the stored configuration armed as hot keys,
// re-read whenever the editor says it changed, each press carried out, a
// tray icon where the desktop has a tray, and problems told once.
#pragma once

#include <QMenu>
#include <QObject>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>
#include <set>
#include <string>

#include "capture/Capture.h"
#include "capture/CapturePlan.h"
#include "capture/QtCaptureUi.h"
#include "model/ActionKeys.h"
#include "platform/NamedObjects.h"

class X11Desktop;
class HotKeys;

// One tool a user: a second start ends at once.
inline constexpr const char* kToolMutexName = "Lumagrabber capture tool is running";

// Reads the stored configuration; false with the cause when it cannot be read.
bool ReadStoredConfiguration(TActionKeys& list, std::string& cause);

// Ends the program once the clipboard's image is safe: at once when a
// clipboard manager will take it over, else when another program owns the
// clipboard, or after limitMs.
void QuitWhenClipboardIsSafe(X11Desktop& desktop, QtCaptureUi& ui, int limitMs);

class CaptureTool : public QObject {
public:
    CaptureTool(X11Desktop& desktop, HotKeys& hotKeys, bool armed);
    ~CaptureTool() override;

    // Opens the change event and reads and arms the configuration; false
    // when the event cannot be opened.
    bool Start(std::string& error);
    void SetArmed(bool armed);
    bool Armed() const { return armed_; }
    void Reload();
    void RunAction(int index);
    int ProblemCount() const { return static_cast<int>(problems_.size()); }

private:
    void Arm();
    void Report(const std::string& problem);
    void OnEvent();
    void BuildTray();
    void UpdateTray();

    X11Desktop& desktop_;
    HotKeys& hotKeys_;
    bool armed_;
    bool busy_ = false;  // an action runs; presses meanwhile are dropped
    // Shared with a run in progress: a reload during its dialog or overlay
    // must not free the list it reads.
    std::shared_ptr<TActionKeys> list_;
    CapturePlan plan_;
    std::set<std::string> reported_;  // said once, ever
    std::set<std::string> problems_;  // of the configuration now armed
    QtCaptureUi ui_;
    std::unique_ptr<platform::NamedEvent> event_;
    std::unique_ptr<QSocketNotifier> eventNotifier_, xNotifier_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::unique_ptr<QMenu> menu_;
};
