#include "platform/SafeFile.h"

#include "platform/SystemError.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <random>

namespace platform {
namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

constexpr char kTemporaryPrefix[] = ".lgtmp-";

// A short name, so that a target of any length the file system accepts
// still has room for its temporary neighbour; it carries the writer's
// process number so that a later save can tell a dead writer's leftover.
std::string TemporaryName(const std::string& folder) {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::string name = folder + "/" + kTemporaryPrefix + std::to_string(::getpid()) + "-";
    for (int i = 0; i < 8; ++i) name += kChars[random() % (sizeof kChars - 1)];
    return name;
}

// A writer killed between naming its finished file and renaming it over the
// target leaves that name behind (no single call can put an unnamed file
// over an existing one); the next save in the folder removes it. Only our
// own regular files of writers that no longer run are touched.
void RemoveDeadWritersLeftovers(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(kTemporaryPrefix)) continue;
        const std::string_view rest = name.substr(sizeof kTemporaryPrefix - 1);
        long pid = 0;
        const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
        if (ec != std::errc() || end == rest.data() || *end != '-' || pid <= 0) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        struct stat st = {};
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == ::geteuid()) {
            ::unlinkat(dirFd, entry->d_name, 0);
        }
    }
    ::closedir(dir);
}

bool WriteAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::string NotAFile(const std::string& path, mode_t mode) {
    const char* kind = S_ISDIR(mode)                    ? "a directory"
                       : S_ISFIFO(mode)                 ? "a FIFO"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                       : S_ISSOCK(mode)                 ? "a socket"
                                                        : "something else";
    return "'" + path + "' is " + kind + ", not a file";
}

}  // namespace

bool IsRegularFile(const std::string& path, std::string& error) {
    struct stat st = {};
    if (::stat(path.c_str(), &st) != 0) {
        error =
            errno == ENOENT ? "'" + path + "' does not exist" : Errno("cannot read '" + path + "'");
        return false;
    }
    if (S_ISREG(st.st_mode)) return true;
    error = NotAFile(path, st.st_mode);
    return false;
}

bool ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                   std::string& error, bool missingIsEmpty) {
    bytes.clear();
    // Non-blocking, so that a FIFO planted under the name cannot hang us
    // between the open and the check.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT && missingIsEmpty) return true;
        error = Errno("cannot read '" + path + "'");
        return false;
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = NotAFile(path, st.st_mode);
        return false;
    }
    if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
        ::close(fd);
        error = "'" + path + "' is larger than " + std::to_string(maxBytes >> 20) + " MiB";
        return false;
    }
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (true) {
        if (got == bytes.size()) {
            // A file that grew meanwhile is read on, within the limit.
            if (bytes.size() >= maxBytes) break;
            bytes.resize(std::min(maxBytes + 1, bytes.size() + 65536));
        }
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = Errno("cannot read '" + path + "'");
            ::close(fd);
            bytes.clear();
            return false;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(got);
    if (got > maxBytes) {
        bytes.clear();
        error = "'" + path + "' is larger than " + std::to_string(maxBytes >> 20) + " MiB";
        return false;
    }
    return true;
}

bool CreateNewFile(const std::string& folder, const std::function<std::string(int n)>& nameOf,
                   int tries, std::string_view bytes, bool durable, std::string& path,
                   std::string& error) {
    RemoveDeadWritersLeftovers(folder);
    std::string temp;
    int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            temp = TemporaryName(folder);
            fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd < 0 && errno != EEXIST) break;
        }
        if (fd < 0) temp.clear();
    }
    if (fd < 0) {
        error = Errno("cannot write into '" + folder + "'");
        return false;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    bool ok = WriteAll(fd, bytes) && (!durable || ::fsync(fd) == 0);
    if (!ok) error = Errno("cannot write into '" + folder + "'");
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int n = 1; ok && n <= tries; ++n) {
        path = folder + "/" + nameOf(n);
        // Neither call replaces a file that holds the name.
        const int rc = temp.empty() ? ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(),
                                               AT_SYMLINK_FOLLOW)
                                    : ::link(temp.c_str(), path.c_str());
        if (rc == 0) break;
        if (errno != EEXIST || n == tries) {
            error = Errno("cannot name the file '" + path + "'");
            ok = false;
        }
    }
    ::close(fd);
    if (!temp.empty()) ::unlink(temp.c_str());
    if (ok && durable) SyncFolder(folder);
    return ok;
}

AtomicFileWriter::AtomicFileWriter(std::string path)
    : path_(std::move(path)), folder_(FolderOf(path_)) {}

AtomicFileWriter::~AtomicFileWriter() {
    Abandon();
}

void AtomicFileWriter::Abandon() {
    if (fd_ >= 0) ::close(fd_);
    if (fd_ >= 0 && !unnamed_ && !inPlace_ && !temp_.empty()) ::unlink(temp_.c_str());
    fd_ = -1;
}

bool AtomicFileWriter::Prepare(std::string& error) {
    if (prepared_) return true;
    struct stat st = {};
    existed_ = ::stat(path_.c_str(), &st) == 0;
    if (existed_) {
        if (!S_ISREG(st.st_mode)) {
            error = NotAFile(path_, st.st_mode);
            return false;
        }
        // No write bit counts as read-only even for the superuser, as the
        // platform's read-only attribute does.
        if ((st.st_mode & 0222) == 0 || ::access(path_.c_str(), W_OK) != 0) {
            error = "'" + path_ + "' is read-only";
            return false;
        }
        mode_ = st.st_mode & 07777;
        uid_ = st.st_uid;
        gid_ = st.st_gid;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode_ = 0666 & ~mask;
    }

    RemoveDeadWritersLeftovers(folder_);
    fd_ = ::open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    unnamed_ = fd_ >= 0;
    if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without unnamed files: a hidden neighbour instead.
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            temp_ = TemporaryName(folder_);
            fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd_ < 0 && errno != EEXIST) break;
        }
    }
    if (fd_ < 0) {
        std::string why = Errno("cannot write '" + path_ + "'");
        if (existed_ && (errno == EACCES || errno == EPERM)) OpenInPlace(why);
        if (fd_ < 0) {
            temp_.clear();
            error = why;
            return false;
        }
    }
    prepared_ = true;
    return true;
}

// The folder refuses new files: the old file is rewritten where it is. Never
// through a link (planted in a shared folder, it would lead to another
// file of this user's) and only a regular file of this user's own, whose
// bytes are kept for a caller that merges into them.
void AtomicFileWriter::OpenInPlace(std::string& why) {
    fd_ = ::open(path_.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    if (fd_ < 0) {
        if (errno == ELOOP) {
            why = "cannot write '" + path_ +
                  "': it is a symbolic link in a folder that refuses new files";
        }
        return;
    }
    struct stat st = {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        why = "cannot write '" + path_ + "': it is not a file of this user's own";
        ::close(fd_);
        fd_ = -1;
        return;
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    oldBytes_.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < oldBytes_.size()) {
        const ssize_t n =
            ::pread(fd_, oldBytes_.data() + got, oldBytes_.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    oldBytes_.resize(got);
    inPlace_ = true;
}

bool AtomicFileWriter::Commit(std::string_view bytes, std::string& error) {
    if (!Prepare(error)) return false;
    if (fd_ < 0) {
        error = "'" + path_ + "' was already written";
        return false;
    }
    const std::string failed = "cannot write '" + path_ + "'";
    if (inPlace_) {
        const bool ok = ::lseek(fd_, 0, SEEK_SET) == 0 && WriteAll(fd_, bytes) &&
                        ::ftruncate(fd_, static_cast<off_t>(bytes.size())) == 0 &&
                        ::fsync(fd_) == 0;
        if (!ok) error = Errno(failed);
        ::close(fd_);
        fd_ = -1;
        return ok;
    }
    ::fchmod(fd_, mode_);
    if (existed_ && ::fchown(fd_, uid_, gid_) != 0) {
        // Only the superuser may give a file away; the bits still carry over.
    }
    if (!WriteAll(fd_, bytes) || ::fsync(fd_) != 0) {
        error = Errno(failed);
        Abandon();
        return false;
    }
    return Publish(error);
}

bool AtomicFileWriter::Publish(std::string& error) {
    if (unnamed_) {
        // The file gets a name only now, beside the target; the name never
        // follows a link planted there, since linkat does not overwrite.
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        int rc = -1;
        if (!existed_) {
            rc = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW);
            if (rc == 0) {
                Abandon();
                SyncFolder(folder_);
                return true;
            }
        }
        for (int attempt = 0; attempt < 100; ++attempt) {
            temp_ = TemporaryName(folder_);
            rc = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp_.c_str(), AT_SYMLINK_FOLLOW);
            if (rc == 0 || errno != EEXIST) break;
        }
        if (rc != 0) {
            error = Errno("cannot write '" + path_ + "'");
            temp_.clear();
            Abandon();
            return false;
        }
        unnamed_ = false;
    }
    ::close(fd_);
    fd_ = -1;
    if (::rename(temp_.c_str(), path_.c_str()) != 0) {
        error = Errno("cannot replace '" + path_ + "'");
        ::unlink(temp_.c_str());
        return false;
    }
    SyncFolder(folder_);
    return true;
}

}  // namespace platform
