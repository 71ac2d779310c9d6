// The running capture tool: the stored configuration armed as hot keys,
// re-read whenever the editor says it changed, and each press carried out.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>
#include <set>
#include <string>

#include "capture/CapturePlan.h"
#include "model/ActionKeys.h"
#include "platform/NamedObjects.h"

class X11Desktop;
class X11HotKeys;

// One tool a user: a second start ends at once.
inline constexpr const char* kToolMutexName = "Lumagrabber capture tool is running";

// Reads the stored configuration; false with the cause when it cannot be read.
bool ReadStoredConfiguration(TActionKeys& list, std::string& cause);

class CaptureTool : public QObject {
public:
    CaptureTool(X11Desktop& desktop, X11HotKeys& hotKeys, bool armed);
    ~CaptureTool() override;

    // Opens the change event and reads and arms the configuration; false
    // when the event cannot be opened.
    bool Start(std::string& error);
    void SetArmed(bool armed);
    bool Armed() const { return armed_; }
    void Reload();
    void RunAction(int index);

private:
    void Arm();
    void Report(const std::string& problem);
    void OnEvent();

    X11Desktop& desktop_;
    X11HotKeys& hotKeys_;
    bool armed_;
    std::unique_ptr<TActionKeys> list_;
    CapturePlan plan_;
    std::set<std::string> reported_;
    std::unique_ptr<platform::NamedEvent> event_;
    std::unique_ptr<QSocketNotifier> eventNotifier_, xNotifier_;
};
