// What an action may ask of the person at the desktop, and of the
// desktop's clipboard and sound: Qt on X11 in QtCaptureUi, scripted in
// tests. Without one, those actions are reported as needing a desktop.
#pragma once

#include <string>
#include <vector>

#include "capture/Desktop.h"
#include "capture/Image.h"
#include "capture/OutputPlan.h"

class CaptureUi {
public:
    virtual ~CaptureUi() = default;
    // Shows the frozen screen over every monitor and lets a rectangle be
    // drawn on it, in the screen's pixels; false when cancelled. scale:
    // the screen's pixels to a pixel of an unscaled window.
    virtual bool ChooseRectangle(const RgbImage& screen, const std::vector<Rect>& monitors,
                                 double scale, Rect& chosen) = 0;
    // Asks where to save, proposing a full path; false when cancelled. The
    // name chosen ends in a format the tool writes (else extension is
    // added: SaveAsName), and the person has agreed to replace it if it exists.
    virtual bool AskFileName(const std::string& proposed, const std::string& extension,
                             std::string& chosen) = 0;
    // Offers the image to other programs until another takes the clipboard.
    virtual bool PutOnClipboard(const RgbImage& image, const OutputPlan& plan,
                                std::string& error) = 0;
    // Starts the sound and returns at once; failures are the UI's to report.
    virtual void PlaySound(const std::string& path) = 0;
};
