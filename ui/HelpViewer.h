// Our help viewer: the help file's HTML shown at one topic in a window of
// its own.
#pragma once

#include <QString>

// The HTML document that stands for a help file name ("Lmgrab.hlp" is
// Lmgrab.html), beside the program or in ../share/lumagrabber; "" when
// there is none.
QString FindHelpDocument(const QString& helpFile);

// Shows the topic; false with a message when the help cannot be shown.
bool ShowHelpTopic(const QString& helpFile, const QString& topic, QString& error);
