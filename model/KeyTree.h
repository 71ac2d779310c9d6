// Removing stored action keys that a shorter list no longer uses.
#pragma once

#include <string>

// Deletes path\ActionN for N = first, first + 1, ... up to the first number
// with no such subkey (names compared without case); other subkeys stay.
void DeleteSurplusActionKeys(const std::string& path, int first);

// Deletes a key with everything below it, deepest first; a key that cannot
// be opened is skipped.
void DeleteKeyTree(const std::string& path);
