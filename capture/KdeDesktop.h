// KDE Plasma on Wayland, through KWin itself: pictures from its screenshot
// interface (the active window alone, with or without its frame, or any
// area), monitors, pointer and active window from a small script KWin runs
// for us, hot keys from kglobalaccel, the clipboard through wl-copy.
// KWin serves screenshots only to programs whose installed desktop entry
// lists the interface; where it refuses, the tool says so.
// KWin places windows in logical pixels; lmgrab's are the monitors' own
// (the largest scale where monitors differ), so that a scaled desktop's
// pictures keep every pixel.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "capture/BusConnection.h"
#include "capture/Desktop.h"
#include "capture/KWinAnswers.h"

class KdeDesktop : public Desktop {
public:
    // nullptr where no KWin with screenshots is on this session bus.
    static std::unique_ptr<KdeDesktop> Open(const std::shared_ptr<BusConnection>& bus,
                                            std::string& error);
    ~KdeDesktop() override;

    std::string Name() const override { return "KDE Plasma"; }
    DesktopCapabilities Capabilities() override { return {true, true, true}; }
    std::unique_ptr<HotKeys> MakeHotKeys() override;
    // Measures the monitors' scale, so that the first hot key is as quick
    // as the others.
    void Prepare() override;
    bool ClipboardManagerRuns() override { return true; }
    DesktopClipboard PutOnClipboard(const RgbImage& image, std::string& error) override;
    // Asks KWin afresh; the calls that follow within an action use its answer.
    Rect Screen() override;
    std::vector<Rect> Monitors() override;
    int Depth() override { return 24; }
    double PictureScale() override { return scale_; }
    std::string Unreadable() override { return refused_; }
    bool Pointer(int& x, int& y) override;
    bool ActiveWindow(bool withFrame, Rect& area, std::string& error) override;
    bool Grab(const Rect& area, RgbImage& image, std::string& error) override;

private:
    explicit KdeDesktop(std::shared_ptr<BusConnection> bus) : bus_(std::move(bus)) {}
    // Facts no older than one action; asks KWin when there are none.
    bool Facts(std::string& error);
    bool AskFacts(std::string& error);
    // A screenshot method's picture: args without the options and pipe;
    // at the monitors' own resolution; with KWin's description of it.
    bool Capture(const std::string& method, std::vector<BusArg> args, bool withFrame,
                 RgbImage& image, std::string& error, JsonValue* results = nullptr);
    // The largest scale of the monitors, measured when they change.
    void MeasureScale();

    std::shared_ptr<BusConnection> bus_;  // shared with its hot keys
    KWinFacts facts_;
    std::chrono::steady_clock::time_point asked_{};
    std::string factsError_;
    int questions_ = 0;
    double scale_ = 1;
    std::vector<Rect> scaledFor_;  // the logical monitors scale_ was measured on
    std::string refused_;          // why KWin gives us no pictures; "" when it does
    // The window ActiveWindow chose, for the Grab that follows.
    std::string windowId_;
    bool windowFrame_ = false;
    Rect window_, windowBuffer_;
};
