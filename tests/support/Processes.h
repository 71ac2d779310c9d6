// Running the project's programs from tests: where they are, starting
// them, waiting for them with a deadline, and reading what they say.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// A program of the sanitized build ($LG_TEST_BIN_DIR).
std::string Bin(const char* name);
// Starts a program with the given arguments; its output goes to /dev/null.
pid_t Spawn(const std::string& program, std::vector<std::string> args = {});
// The same with its standard output and error appended to files.
pid_t SpawnLogged(const std::string& program, std::vector<std::string> args,
                  const std::string& outFile, const std::string& errFile);
// A whole file's text ("" when it cannot be read).
std::string FileText(const std::string& path);
// The exit code, or -1 when the process was still running at the deadline.
int WaitFor(pid_t pid, std::chrono::milliseconds limit);
// Runs a program to its end (20 s at most); its exit code, with what it
// said on stderr.
int RunCapturing(const std::string& program, std::vector<std::string> args, std::string& err);
// The same with what it wrote on stdout; the program is found on PATH.
int RunForOutput(const std::string& program, std::vector<std::string> args, std::string& out);
// Polls condition for up to ten seconds.
bool WaitUntil(const std::function<bool()>& condition);

}  // namespace testsupport
