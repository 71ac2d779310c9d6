// One run of an action's recipe: grab what it names, encode it as its plan
// says, write the file.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "capture/Desktop.h"
#include "model/ActionKeys.h"

class CaptureUi;

struct CaptureOutcome {
    bool ok = false;
    bool cancelled = false;  // the person cancelled a rectangle or the save dialog
    bool onClipboard = false;
    std::string path;   // the file written; "" when the action writes none
    std::string error;  // why nothing was written
};

// Why this desktop cannot grab so (it does not tell where the pointer
// is, ...); "" when it can.
std::string CannotGrabHere(int grabMethod, Desktop& desktop);

// The pixels of area, in image's coordinates, as a picture of its own:
// black where the image has none, the top byte of each word cleared.
RgbImage Cut(const RgbImage& image, const Rect& area);
// For --check and the tool: each action this desktop cannot carry out.
std::vector<std::string> DesktopProblems(const TActionKeys& list, Desktop& desktop);

// The screen area the action grabs, kept inside the screen.
bool AreaOf(const TActionKey& action, Desktop& desktop, Rect& area, std::string& error);

// ui: for drawn rectangles, the save dialog, the clipboard and sound; with
// none, those are reported as needing the running tool.
CaptureOutcome RunCapture(const TActionKey& action, const TActionKeys& list, Desktop& desktop,
                          std::time_t now, CaptureUi* ui = nullptr);
