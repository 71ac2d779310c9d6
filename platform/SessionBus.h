// The desktop session's message bus: whether one runs, and keeping Qt's
// D-Bus library from starting one of its own where none does (it would
// outlive the program that started it).
#pragma once

namespace platform {

// DBUS_SESSION_BUS_ADDRESS is set, or the user's bus socket exists.
bool SessionBusRuns();

// The session bus answers the first line of a handshake within timeoutMs
// (true for addresses other than local sockets, which are not probed).
bool SessionBusAnswers(int timeoutMs);

// Where no session bus runs, or the one named does not answer, points
// DBUS_SESSION_BUS_ADDRESS at nothing, so that connecting fails at once
// instead of launching a bus or waiting on a dead one. Call before the
// first Qt application object.
void KeepFromStartingSessionBus();

}  // namespace platform
