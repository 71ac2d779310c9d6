// Requests to the running tool through a local socket in the user's private
// folder: `lmgrab --capture N` (and a desktop's key binding) then costs what
// a hot key costs the resident tool, not a second program's start.
//
// One line each way, fields separated by tabs, each field percent-escaped:
//   request:  verb, action number, the asker's session
//   replies:  "working" at once, then "done" with the file written (may be
//             empty), "failed" with why, or "declined" with why (the asker
//             then does the work itself)
#pragma once

#include <string>

enum class RequestVerb {
    Capture,  // run action N once, as --capture does
    Press,    // as if N's hot key were pressed (Stop After Action included)
};

struct ToolRequest {
    RequestVerb verb = RequestVerb::Capture;
    int number = 0;       // as the person counts actions: from 1
    std::string session;  // SessionIdentity() of the asker
};

struct ToolReply {
    enum class Kind { Working, Done, Failed, Declined } kind = Kind::Failed;
    std::string text;  // the path written, or why not
};

// The display, the Wayland display and the store this process works on: a
// tool of another session or store declines.
std::string SessionIdentity();

std::string FormatRequest(const ToolRequest& request);
bool ParseRequest(const std::string& line, ToolRequest& request);
std::string FormatReply(const ToolReply& reply);
bool ParseReply(const std::string& line, ToolReply& reply);

// The running tool's end: a listening, non-blocking socket that replaces a
// dead tool's; -1 with the reason. Only the holder of the tool's mutex may
// call it.
int ListenForRequests(std::string& error);
// Forgets the socket's name as the tool ends.
void StopListening(int fd);
// Accepts one waiting asker of this user; -1 when none waits.
int AcceptAsker(int listening);
// Reads what an asker's non-blocking socket holds: true with its request's
// line, or with "" when it ended or sent too much without one; false while
// the line is still coming.
bool TakeRequestLine(int fd, std::string& pending, std::string& line);

enum class Asked {
    NoTool,    // nobody listens, or the tool declined or did not answer at once
    Answered,  // reply holds the tool's final word
};
// Asks the running tool and waits for its final word; whyNot says why the
// tool did not take the request.
Asked AskRunningTool(const ToolRequest& request, ToolReply& reply, std::string& whyNot);
