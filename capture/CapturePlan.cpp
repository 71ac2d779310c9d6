#include "capture/CapturePlan.h"

#include "capture/OutputPlan.h"
#include "capture/TargetFile.h"
#include "model/ActionCodes.h"

namespace {

const char* GrabText(int method) {
    switch (method) {
        case codes::kFullScreen:
            return "the whole screen";
        case codes::kTopWindow:
            return "the active window with its frame";
        case codes::kClientArea:
            return "the active window's client area";
        case codes::kFixedRectangle:
            return "a rectangle around the mouse pointer";
        case codes::kArbitraryRectangle:
            return "a rectangle drawn with the mouse";
        default:
            return "nothing (unknown grab method)";
    }
}

std::string Describe(const TActionKey& a, const TActionKeys& list, int screenDepth,
                     std::vector<std::string>& notes) {
    std::string what;
    if (a.SaveTo == codes::kNoOutput) {
        what = "no capture";
    } else {
        what = GrabText(a.GrabMethod);
        if (a.GrabMethod == codes::kFixedRectangle) {
            what = "a " + std::to_string(a.RecWidth) + " x " + std::to_string(a.RecHeight) +
                   " rectangle around the mouse pointer";
        }
        if (a.SaveTo == codes::kClipboard) {
            what += " to the clipboard";
        } else {
            const OutputPlan plan = PlanOutput(a, screenDepth);
            const TargetFolder folder = ResolveTargetFolder(a.TargetDir, list.TargetDir);
            what += " as " + DescribeOutput(plan) + " into " + folder.path;
            notes.insert(notes.end(), plan.notes.begin(), plan.notes.end());
            notes.insert(notes.end(), folder.notes.begin(), folder.notes.end());
            if (const std::string why = UnwritableReason(folder.path); !why.empty())
                notes.push_back("folder " + folder.path + " cannot be written: " + why);
        }
    }
    if (a.Quit) what += "; then the tool stops";
    return what;
}

}  // namespace

std::string ActionLabel(int number, const std::string& name) {
    return "action " + std::to_string(number) + " \"" + name + "\"";
}

std::string KeyTakenProblem(const PlannedAction& action) {
    return ActionLabel(action.number, action.name) + ": " + action.hotKeyText +
           " is held by another program; this action is not armed";
}

std::string ArmProblem(const PlannedAction& action, const HotKeys::Outcome& outcome) {
    const std::string label = ActionLabel(action.number, action.name) + ": ";
    switch (outcome.result) {
        case HotKeys::GrabResult::Taken:
            if (!outcome.detail.empty()) {
                return label + action.hotKeyText + " is " + outcome.detail +
                       "; this action is not armed";
            }
            return KeyTakenProblem(action);
        case HotKeys::GrabResult::NoSuchKey:
            return label + "no key of this keyboard makes " + action.hotKeyText + "; not armed";
        case HotKeys::GrabResult::KeptByServer:
            return label + "the X server keeps " + action.hotKeyText + " for itself (it " +
                   outcome.detail + "), so this action can never fire; choose another key";
        case HotKeys::GrabResult::Grabbed:
            break;
    }
    return "";
}

std::string BoundTrigger(const PlannedAction& action, const HotKeys::Outcome& outcome) {
    return ActionLabel(action.number, action.name) + ": the desktop fires it with " +
           outcome.detail + " (stored: " + action.hotKeyText + ")";
}

HotKeyBinding BindingOf(const PlannedAction& action, int id) {
    return {id, action.key, codes::ActionKeyName(action.number),
            std::to_string(action.number) + ": " + action.what};
}

CapturePlan PlanConfiguration(const TActionKeys& list, int screenDepth) {
    CapturePlan plan;
    for (int i = 0; i < list.Count(); ++i) {
        const TActionKey& a = list.Get(i);
        PlannedAction p;
        p.number = i + 1;
        p.name = a.Name;
        p.hotKeyText = HotKeyText(a.Modifiers, a.VirtualKey);
        std::vector<std::string> notes;
        p.what = Describe(a, list, screenDepth, notes);

        const int knownModifiers = codes::kAlt | codes::kCtrl | codes::kShift;
        if (a.VirtualKey == 0) {
            notes.push_back("has no hot key; it runs only from the tray menu or with --capture " +
                            std::to_string(p.number));
        } else if (!IsOfferedKey(a.VirtualKey)) {
            notes.push_back("key code " + std::to_string(a.VirtualKey) +
                            " is not one of the 48 keys offered (0-9, A-Z, F1-F12); not armed");
        } else if ((a.Modifiers & knownModifiers) == 0 && !codes::IsFunctionKey(a.VirtualKey)) {
            notes.push_back(
                p.hotKeyText +
                " without Ctrl, Alt or Shift would take that key from every program; not armed");
        } else {
            p.armable = true;
            p.key = {a.Modifiers & knownModifiers, a.VirtualKey};
            for (const PlannedAction& earlier : plan.actions) {
                if (earlier.armable && earlier.key == p.key) {
                    notes.push_back(p.hotKeyText + " is also the key of " +
                                    ActionLabel(earlier.number, earlier.name) +
                                    ", which keeps it; not armed");
                    p.armable = false;
                    break;
                }
            }
        }
        if (a.Modifiers & ~knownModifiers)
            notes.push_back("modifier bits other than Alt, Ctrl and Shift are ignored");
        const std::string sound = a.Sound.empty() ? list.DefaultSound : a.Sound;
        if (IsOtherDesktopPath(sound)) {
            notes.push_back("sound '" + sound +
                            "' is a path of another desktop; no sound is played");
        } else if (!sound.empty() && !FileExists(sound)) {
            notes.push_back("sound '" + sound + "' does not exist; no sound is played");
        }
        if (a.SaveTo > codes::kClipboard) {
            notes.push_back("destination code " + std::to_string(a.SaveTo) +
                            " is unknown; the capture is saved as a file, as the editor shows it");
        }
        if (a.SaveTo != codes::kNoOutput) {
            if (a.GrabMethod > codes::kArbitraryRectangle) {
                notes.push_back("grab method " + std::to_string(a.GrabMethod) +
                                " is unknown; nothing is captured");
            } else if (a.GrabMethod == codes::kFixedRectangle &&
                       (a.RecWidth <= 0 || a.RecHeight <= 0)) {
                notes.push_back("the rectangle's size " + std::to_string(a.RecWidth) + " x " +
                                std::to_string(a.RecHeight) +
                                " is not positive; nothing is captured");
            }
        }
        for (const std::string& n : notes)
            plan.problems.push_back(ActionLabel(p.number, p.name) + ": " + n);
        plan.actions.push_back(std::move(p));
    }
    return plan;
}
