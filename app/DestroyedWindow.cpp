#include "app/DestroyedWindow.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <cstring>

namespace {

// The X protocol's DestroyNotify event as XCB lays it out; spelled here so
// the editor needs no X development headers.
constexpr std::uint8_t kDestroyNotify = 17;
struct DestroyNotifyEvent {
    std::uint8_t responseType;
    std::uint8_t pad0;
    std::uint16_t sequence;
    std::uint32_t event;
    std::uint32_t window;
};

class DestroyWatcher : public QAbstractNativeEventFilter {
public:
    explicit DestroyWatcher(QWidget& window) : window_(&window) {}

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t" || !window_) return false;
        DestroyNotifyEvent e;
        std::memcpy(&e, message, sizeof e);
        if ((e.responseType & 0x7F) != kDestroyNotify) return false;
        if (!window_->testAttribute(Qt::WA_WState_Created) ||
            e.window != static_cast<std::uint32_t>(window_->winId())) {
            return false;
        }
        // Closed outside the event filter, as any close from the window system.
        QPointer<QWidget> window = window_;
        QTimer::singleShot(0, window, [window] {
            if (window) window->close();
        });
        return false;
    }

private:
    QPointer<QWidget> window_;
};

}  // namespace

void CloseWhenDestroyedByWindowSystem(QWidget& window) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
    auto* watcher = new DestroyWatcher(window);
    QCoreApplication::instance()->installNativeEventFilter(watcher);
    QObject::connect(&window, &QObject::destroyed, [watcher] {
        QCoreApplication::instance()->removeNativeEventFilter(watcher);
        delete watcher;
    });
}
