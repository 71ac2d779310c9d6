#include "platform/NamedObjects.h"

#include "platform/Deadline.h"
#include "platform/Numbers.h"
#include "platform/SystemError.h"
#include "platform/UserFolders.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

// A name becomes a file name: "/" and "%" are escaped, nothing else.
bool ObjectPath(const std::string& name, const char* suffix, std::string& path,
                std::string& error) {
    if (name.empty()) {
        error = "a named object needs a name";
        return false;
    }
    std::string file;
    for (char c : name) {
        if (c == '/' || c == '%' || c == '\0') {
            file += PercentEscaped(static_cast<unsigned char>(c));
        } else {
            file += c;
        }
    }
    file += suffix;
    if (file.size() > 255) {
        error = "the name '" + name + "' is too long";
        return false;
    }
    std::string dir;
    if (!NamedObjectDirectory(dir, error)) return false;
    path = dir + "/" + file;
    return true;
}

int OpenObjectFile(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) error = Errno("cannot open '" + path + "'");
    return fd;
}

}  // namespace

// Makes each missing folder of path with mode 0700.
bool MakeFolders(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/') continue;
        const std::string prefix = path.substr(0, at);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

bool NamedObjectDirectory(std::string& directory, std::string& error) {
    // Never a shared, world-writable place such as /tmp, where another user
    // could make the folder first: the runtime folder, or else the user's
    // own state folder.
    std::string base;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
        base = runtime;
    } else {
        base = StateFolder();
        if (base.empty()) {
            error = "no private folder for named objects (neither XDG_RUNTIME_DIR nor HOME is set)";
            return false;
        }
    }
    directory = base + "/lumagrabber";
    if (!MakeFolders(directory)) {
        error = Errno("cannot make '" + directory + "'");
        return false;
    }
    // A folder of another user, or one open to others, would let them see
    // and set our objects.
    struct stat st = {};
    if (::lstat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 077) != 0) {
        error = "'" + directory + "' is not a private folder of this user";
        return false;
    }
    return true;
}

NamedMutex::~NamedMutex() {
    ::close(fd_);
}

std::unique_ptr<NamedMutex> NamedMutex::Create(const std::string& name, bool& alreadyExisted,
                                               std::string& error) {
    alreadyExisted = false;
    std::string path;
    if (!ObjectPath(name, ".mutex", path, error)) return nullptr;
    const int fd = OpenObjectFile(path, error);
    if (fd < 0) return nullptr;
    // The lock is the mutex: the kernel drops it when its holder ends.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            error = Errno("cannot lock '" + path + "'");
            ::close(fd);
            return nullptr;
        }
        alreadyExisted = true;
    }
    return std::unique_ptr<NamedMutex>(new NamedMutex(fd));
}

NamedEvent::~NamedEvent() {
    // Every handle holds a shared lock; whoever can take the lock alone
    // holds the last handle, and the event ends with it.
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) ::unlink(path_.c_str());
    ::close(fd_);
    if (watch_ >= 0) ::close(watch_);
}

std::unique_ptr<NamedEvent> NamedEvent::Open(const std::string& name, std::string& error) {
    std::string path;
    if (!ObjectPath(name, ".event", path, error)) return nullptr;
    // The last holder unlinks the file under its exclusive lock; a file
    // opened just then is no longer the event, so the open is retried until
    // the file held is the one under the name.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const int fd = OpenObjectFile(path, error);
        if (fd < 0) return nullptr;
        if (::flock(fd, LOCK_SH) != 0) {
            error = Errno("cannot lock '" + path + "'");
            ::close(fd);
            return nullptr;
        }
        struct stat held = {};
        struct stat named = {};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            return std::unique_ptr<NamedEvent>(new NamedEvent(fd, path));
        }
        ::close(fd);
    }
    error = "cannot open '" + path + "': it keeps being replaced";
    return nullptr;
}

bool NamedEvent::Write(char state) {
    return ::pwrite(fd_, &state, 1, 0) == 1;
}

// The file holds the state in its first byte and, after it, how many times
// the event was ever set: a waiter that finds the event reset again by
// someone else still knows that a set happened while it waited.
std::uint64_t NamedEvent::Sets() {
    std::uint64_t count = 0;
    if (::pread(fd_, &count, sizeof count, 1) != static_cast<ssize_t>(sizeof count)) return 0;
    return count;
}

bool NamedEvent::Set() {
    // The count's bytes are locked for the increment: setters in several
    // processes each add one. A lock of the open file, not of the process.
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 1;
    lock.l_len = sizeof(std::uint64_t);
    const bool locked = ::fcntl(fd_, F_OFD_SETLKW, &lock) == 0;
    const std::uint64_t count = Sets() + 1;
    const bool counted =
        ::pwrite(fd_, &count, sizeof count, 1) == static_cast<ssize_t>(sizeof count);
    if (locked) {
        lock.l_type = F_UNLCK;
        ::fcntl(fd_, F_OFD_SETLK, &lock);
    }
    return Write('1') && counted;
}
bool NamedEvent::Reset() {
    return Write('0');
}

bool NamedEvent::IsSet() {
    char state = '0';
    return ::pread(fd_, &state, 1, 0) == 1 && state == '1';
}

NamedEvent::WaitResult NamedEvent::Wait(int timeoutMs) {
    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch < 0) return WaitResult::Failed;
    if (::inotify_add_watch(watch, path_.c_str(), IN_MODIFY | IN_ATTRIB) < 0) {
        ::close(watch);
        return WaitResult::Failed;
    }
    const auto deadline = DeadlineIn(timeoutMs < 0 ? 0 : timeoutMs);
    WaitResult result = WaitResult::Timeout;
    const std::uint64_t setsBefore = Sets();
    while (true) {
        // Checked after the watch is in place, so no set can slip between;
        // a set that another process has reset already counts too.
        if (IsSet() || Sets() != setsBefore) {
            result = WaitResult::Signalled;
            break;
        }
        int wait = -1;
        if (timeoutMs >= 0) {
            wait = MillisecondsLeft(deadline);
            if (wait <= 0) break;
        }
        pollfd p{watch, POLLIN, 0};
        const int n = ::poll(&p, 1, wait);
        if (n < 0 && errno != EINTR) {
            result = WaitResult::Failed;
            break;
        }
        char buf[4096];
        while (::read(watch, buf, sizeof buf) > 0) {
        }
    }
    ::close(watch);
    return result;
}

int NamedEvent::WatchDescriptor() {
    if (watch_ >= 0) return watch_;
    watch_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch_ >= 0 && ::inotify_add_watch(watch_, path_.c_str(), IN_MODIFY | IN_ATTRIB) < 0) {
        ::close(watch_);
        watch_ = -1;
    }
    return watch_;
}

void NamedEvent::DrainWatch() {
    char buf[4096];
    while (watch_ >= 0 && ::read(watch_, buf, sizeof buf) > 0) {
    }
}

}  // namespace platform
