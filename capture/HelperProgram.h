// Desktop tools lmgrab runs for what a Wayland client cannot do by itself
// (grim reads the screen, wl-copy serves the clipboard): found on PATH,
// fed and read through pipes, their words kept for the messages.
#pragma once

#include <string>
#include <vector>

// Whether program can be run from PATH.
bool HelperInstalled(const std::string& program);

// Runs argv to its end with input on its standard input; what it wrote on
// its standard output (when keepOutput, else that goes nowhere, as for a
// program that leaves a child serving in the background) and its exit
// status. false with the reason when it cannot be run or fails.
bool RunHelper(const std::vector<std::string>& argv, const std::string& input, bool keepOutput,
               std::string& output, std::string& error);
