// Another X client may destroy the editor's window outright (xdotool
// windowclose, a session manager); Qt sees no close then. This watches for
// that and closes the window the ordinary way, so the program ends as Cancel.
#pragma once

class QWidget;

// Closes window when the window system reports it destroyed. Does nothing
// on platforms other than X11.
void CloseWhenDestroyedByWindowSystem(QWidget& window);
