// A private X server for one group of tests: Xvfb started on a free display
// (it picks the number itself and reports it through -displayfd), DISPLAY
// pointing at it while the object lives.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

class XvfbServer {
public:
    // screen as Xvfb takes it: "1280x1024x24".
    explicit XvfbServer(const std::string& screen = "1280x1024x24");
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool Running() const { return pid_ > 0; }
    const std::string& Display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// Runs xdotool (or another X client) with the given arguments on the current
// DISPLAY; its standard output, and false when it failed.
bool RunX(const std::string& program, const std::vector<std::string>& args, std::string& out);

}  // namespace testsupport
