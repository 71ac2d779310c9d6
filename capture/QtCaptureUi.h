// The capture's questions and outputs on a Qt desktop: the overlay to draw
// a rectangle on, the save dialog, the clipboard, and sound through
// libcanberra. Problems go to report, which says each once.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "capture/CaptureUi.h"

struct ca_context;
class QWidget;

class QtCaptureUi : public CaptureUi {
public:
    // releaseKeyboard: lets go of the keyboard the hot key's press still
    // holds, so that the overlay or the dialog can take it. stampWindow:
    // changes a property of the given window, so that its owner learns the
    // server's time.
    QtCaptureUi(std::function<void(const std::string&)> report,
                std::function<void()> releaseKeyboard,
                std::function<void(unsigned long window)> stampWindow);
    ~QtCaptureUi() override;

    bool ChooseRectangle(const RgbImage& screen, const std::vector<Rect>& monitors, double scale,
                         Rect& chosen) override;
    bool AskFileName(const std::string& proposed, const std::string& extension,
                     std::string& chosen) override;
    bool PutOnClipboard(const RgbImage& image, const OutputPlan& plan, std::string& error) override;
    void PlaySound(const std::string& path) override;

    // The image put there last is still ours to serve.
    bool OwnsClipboard() const;
    // The last sound started has not ended yet.
    bool SoundPlaying() const;
    // Sounds are tried again after a failure.
    void ResetSound();

private:
    std::function<void(const std::string&)> report_;
    std::function<void()> releaseKeyboard_;
    std::function<void(unsigned long)> stampWindow_;
    std::unique_ptr<QWidget> stamped_;  // never shown: it only hears the time
    static constexpr std::uint32_t kSoundId = 1;
    ca_context* sound_ = nullptr;
    bool soundFailed_ = false;
};
