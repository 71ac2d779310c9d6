// Where an action's files go and under which name: a folder of this
// desktop, a name that sorts by time, and a file that never replaces
// another and appears complete or not at all.
#pragma once

#include <ctime>
#include <string>
#include <vector>

// A path in the other desktop's form: a drive letter or backslashes.
bool IsOtherDesktopPath(const std::string& path);

// $XDG_PICTURES_DIR, else the user's user-dirs.dirs entry, else ~/Pictures.
std::string PicturesFolder();

struct TargetFolder {
    std::string path;
    std::vector<std::string> notes;  // what was not taken as written, and why
};

// The action's folder, else the global one. A relative folder (the stored
// default is ".\") lies in the Pictures folder; "~/" is the home folder; a
// folder of the other desktop's form (a drive letter, backslashes) cannot
// be used here, so the Pictures folder is, with a note.
TargetFolder ResolveTargetFolder(const std::string& actionDir, const std::string& globalDir);

// Why no file could ever be written into folder, made where missing (it
// lies under a file, on a read-only mount, or is not the user's to
// write); "" when one can.
std::string UnwritableReason(const std::string& folder);

bool FileExists(const std::string& path);

// "Capture 2026-12-09 14.05.31" in local time.
std::string CaptureBaseName(std::time_t when);

// base + extension for the first file of a name, then base + "~02",
// "~03", ... + extension, which sort after it.
std::string CaptureFileName(const std::string& base, int n, const std::string& extension);

// Writes bytes as folder/CaptureFileName(base, n, extension), with the first
// n whose name is free; creates missing folders. The file
// appears under its name only when complete. path: the name written.
bool WriteNewFile(const std::string& folder, const std::string& base, const std::string& extension,
                  const std::string& bytes, std::string& path, std::string& error);
