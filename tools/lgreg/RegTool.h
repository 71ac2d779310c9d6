// The lgreg command: looks at and changes the current user's settings
// store, with the syntax and output of the platform's reg command.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// args excludes the program name. Questions ("overwrite?") are read from
// in; an answer that is not yes, or the end of input, cancels.
// Returns the exit code: 0 on success, 1 on any failure.
int RunRegTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
               std::ostream& err);
