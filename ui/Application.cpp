#include "ui/Application.h"

namespace {
QString& HelpFile() {
    static QString file;
    return file;
}
}  // namespace

void SetApplicationHelpFile(const QString& helpFile) {
    HelpFile() = helpFile;
}
QString ApplicationHelpFile() {
    return HelpFile();
}
