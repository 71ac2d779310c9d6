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

namespace {

std::string Home() {
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/";
}

// XDG_PICTURES_DIR="$HOME/Pictures" in ~/.config/user-dirs.dirs.
std::string FromUserDirs() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string file =
        (config && *config ? std::string(config) : Home() + "/.config") + "/user-dirs.dirs";
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

int OpenUnnamed(const std::string& folder, std::string& temp) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    // File systems without unnamed files: a hidden name, linked when done.
    temp = folder + "/.lmgrab-XXXXXX";
    const int named = ::mkostemp(temp.data(), O_CLOEXEC);
    if (named >= 0) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(named, 0666 & ~mask);
    } else {
        temp.clear();
    }
    return named;
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
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

std::string CaptureBaseName(std::time_t when) {
    std::tm local{};
    ::localtime_r(&when, &local);
    char text[64];
    std::strftime(text, sizeof text, "Capture %Y-%m-%d %H.%M.%S", &local);
    return text;
}

bool WriteNewFile(const std::string& folder, const std::string& base, const std::string& extension,
                  const std::string& bytes, std::string& path, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        error = "cannot create the folder " + folder + ": " + ec.message();
        return false;
    }
    std::string temp;
    const int fd = OpenUnnamed(folder, temp);
    if (fd < 0) {
        error = "cannot write into " + folder + ": " + std::strerror(errno);
        return false;
    }
    bool ok = WriteAll(fd, bytes);
    if (!ok) error = "cannot write into " + folder + ": " + std::strerror(errno);
    for (int n = 1; ok && n <= 10000; ++n) {
        path = folder + "/" + base + (n == 1 ? "" : " (" + std::to_string(n) + ")") + extension;
        const int rc = temp.empty()
                           ? ::linkat(AT_FDCWD, ("/proc/self/fd/" + std::to_string(fd)).c_str(),
                                      AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW)
                           : ::link(temp.c_str(), path.c_str());
        if (rc == 0) break;
        if (errno != EEXIST || n == 10000) {
            error = "cannot name the file " + path + ": " + std::strerror(errno);
            ok = false;
        }
    }
    ::close(fd);
    if (!temp.empty()) ::unlink(temp.c_str());
    return ok;
}
