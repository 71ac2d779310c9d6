// What lmgrab does with Qt lives in a module of its own, loaded only when
// needed: the running tool with its tray, and every action that asks
// something of the person or the desktop (the overlay, the save dialog, the
// clipboard, sound). A plain file capture then loads no Qt library at all.
#pragma once

#include <string>

class Desktop;
class TActionKey;
class TActionKeys;

extern "C" {
// Runs the tool until it is told to end; the program's exit code.
int LmgrabRunTool(int argc, char** argv, Desktop* desktop, bool armed);
// Carries out one action with the desktop's help; the program's exit code.
int LmgrabCaptureOnDesktop(int argc, char** argv, Desktop* desktop, const TActionKey* action,
                           const TActionKeys* list);
}

struct DesktopModule {
    decltype(&LmgrabRunTool) runTool = nullptr;
    decltype(&LmgrabCaptureOnDesktop) captureOnDesktop = nullptr;
};

// This program's own file ("" where the system does not say).
std::string ProgramPath();

// Finds the module beside the program (a build tree) or where it is
// installed, and loads it; false with the reason.
bool LoadDesktopModule(DesktopModule& module, std::string& error);
