// The application's identity, set once at program start.
#pragma once

#include <QString>

inline constexpr const char* kHelpFileName = "Lmgrab.hlp";

void SetApplicationHelpFile(const QString& helpFile);
QString ApplicationHelpFile();
