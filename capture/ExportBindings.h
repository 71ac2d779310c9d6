// The actions' hot keys as a desktop's own key bindings, each running
// `lmgrab --capture N` (which asks the running tool when there is one): for
// desktops that give programs no global hot keys.
#pragma once

#include <string>

#include "capture/CapturePlan.h"

// The desktops bindings are written for: "sway", "hyprland", "gnome", "kde".
bool IsBindingsDesktop(const std::string& desktop);

// The bindings for desktop, in its own configuration's words; program is
// lmgrab's path. Actions that cannot be armed are listed as comments.
std::string ExportBindings(const CapturePlan& plan, const std::string& desktop,
                           const std::string& program);
