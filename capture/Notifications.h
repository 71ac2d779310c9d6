// Desktop notifications over D-Bus (org.freedesktop.Notifications), where
// the session offers them; elsewhere nothing happens.
#pragma once

#include <string>

void NotifyDesktop(const std::string& summary, const std::string& body);
