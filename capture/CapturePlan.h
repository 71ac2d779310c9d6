// What the tool makes of a stored configuration: for each action, its hot
// key and what it does, and every problem found, before anything runs.
#pragma once

#include <string>
#include <vector>

#include "capture/HotKey.h"
#include "capture/HotKeys.h"
#include "model/ActionKeys.h"

struct PlannedAction {
    int number = 0;  // as stored: Action1, Action2, ...
    std::string name;
    std::string hotKeyText;
    bool armable = false;  // its hot key may be grabbed
    HotKey key;            // its modifiers limited to Alt, Ctrl and Shift
    std::string what;      // what a press does, for people
};

struct CapturePlan {
    std::vector<PlannedAction> actions;
    std::vector<std::string> problems;
};

// screenDepth: the depth a "Default Screen" action will meet.
CapturePlan PlanConfiguration(const TActionKeys& list, int screenDepth);

// The action's hot key to arm under id, with its stored name and what it does.
HotKeyBinding BindingOf(const PlannedAction& action, int id);

// "Action 2 "Window"" for the messages.
std::string ActionLabel(int number, const std::string& name);

// "action 1 "Screen": the desktop fires it with Ctrl+F11 (stored: Ctrl+F12)":
// the keys a desktop that chooses them itself really bound.
std::string BoundTrigger(const PlannedAction& action, const HotKeys::Outcome& outcome);

// The problem's text for a hot key another program holds.
std::string KeyTakenProblem(const PlannedAction& action);

// The problem's text for a key that could not be armed; "" when it was.
std::string ArmProblem(const PlannedAction& action, const HotKeys::Outcome& outcome);
