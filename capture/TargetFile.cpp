#include "capture/TargetFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/SafeFile.h"
#include "platform/UserFolders.h"

namespace {

std::string Home() {
    const std::string home = platform::HomeFolder();
    return home.empty() ? "/" : home;
}

// XDG_PICTURES_DIR="$HOME/Pictures" in ~/.config/user-dirs.dirs.
std::string FromUserDirs() {
    const std::string config = platform::ConfigFolder();
    if (config.empty()) return "";
    const std::string file = config + "/user-dirs.dirs";
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_PICTURES_DIR=\"";
        if (line.rfind(key, 0) != 0 || line.size() < key.size() + 1 || line.back() != '"') continue;
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.rfind("$HOME", 0) == 0) value = Home() + value.substr(5);
        if (!value.empty() && value[0] == '/') return value;
    }
    return "";
}

std::string Trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

}  // namespace

bool IsOtherDesktopPath(const std::string& path) {
    const bool drive =
        path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
    return drive || path.find('\\') != std::string::npos;
}

std::string PicturesFolder() {
    const char* env = std::getenv("XDG_PICTURES_DIR");
    if (env && *env == '/') return env;
    const std::string fromFile = FromUserDirs();
    return fromFile.empty() ? Home() + "/Pictures" : fromFile;
}

TargetFolder ResolveTargetFolder(const std::string& actionDir, const std::string& globalDir) {
    TargetFolder target;
    const std::string dir = Trimmed(actionDir).empty() ? Trimmed(globalDir) : Trimmed(actionDir);
    const std::string pictures = PicturesFolder();
    if (dir.empty() || dir == "." || dir == ".\\" || dir == "./") {
        target.path = pictures;
    } else if (IsOtherDesktopPath(dir)) {
        target.path = pictures;
        target.notes.push_back("folder '" + dir + "' is in another desktop's form; " + pictures +
                               " is used");
    } else if (dir == "~" || dir.rfind("~/", 0) == 0) {
        target.path = Home() + dir.substr(1);
    } else if (dir[0] == '/') {
        target.path = dir;
    } else {
        target.path = pictures + "/" + dir;
    }
    while (target.path.size() > 1 && target.path.back() == '/') target.path.pop_back();
    return target;
}

std::string UnwritableReason(const std::string& folder) {
    std::filesystem::path at(folder);
    struct stat info = {};
    // The nearest part that exists is where the missing ones would be made.
    while (::stat(at.c_str(), &info) != 0) {
        if ((errno != ENOENT && errno != ENOTDIR) || !at.has_relative_path())
            return std::strerror(errno);
        at = at.parent_path();
    }
    if (!S_ISDIR(info.st_mode)) return at.string() + " is not a folder";
    if (::access(at.c_str(), W_OK | X_OK) != 0) {
        const std::string why = std::strerror(errno);
        return at == folder ? why : why + " (in " + at.string() + ")";
    }
    return "";
}

bool FileExists(const std::string& path) {
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string CaptureBaseName(std::time_t when) {
    std::tm local{};
    ::localtime_r(&when, &local);
    char text[64];
    std::strftime(text, sizeof text, "Capture %Y-%m-%d %H.%M.%S", &local);
    return text;
}

std::string CaptureFileName(const std::string& base, int n, const std::string& extension) {
    if (n == 1) return base + extension;
    // "~" sorts after the extension's "." in plain, natural and GLib
    // orders alike, so later files of one second follow the first.
    char number[16];
    std::snprintf(number, sizeof number, "~%02d", n);
    return base + number + extension;
}

bool WriteNewFile(const std::string& folder, const std::string& base, const std::string& extension,
                  const std::string& bytes, std::string& path, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        error = "cannot create the folder " + folder + ": " + ec.message();
        return false;
    }
    // A capture replaces nothing, so a lost one costs a key press again:
    // the file is not flushed to the disk before it is named.
    return platform::CreateNewFile(
        folder, [&](int n) { return CaptureFileName(base, n, extension); }, 10000, bytes,
        /*durable=*/false, path, error);
}
