// Reading and replacing whole files safely: the one way every program of
// this project reads a file the user names and writes one in its place.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// True when path names a regular file (links followed); otherwise false
// with what it is instead ("... does not exist", "... is a directory, not a
// file").
bool IsRegularFile(const std::string& path, std::string& error);

// Reads a regular file of at most maxBytes. A FIFO, device or folder is
// refused at once (never opened for a blocking read). A missing file reads
// as empty only when missingIsEmpty is set.
bool ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                   std::string& error, bool missingIsEmpty = false);

// Replaces a file as a whole: the new bytes are written to an unnamed file in
// the same folder and put in place only when complete, so that path holds
// its old bytes or all of the new ones. A failed save leaves no file behind;
// a save killed in the instant between naming the new file and renaming it
// over the old one leaves that name, which the next save removes. A replaced file keeps its
// permission bits (and owner where allowed); a new one gets 0666 less the umask. A read-only target
// is not replaced. When the folder refuses new files but the old file is writable, the old file is
// rewritten in place, as the platform's profile functions do (never through a symbolic link, and
// only a regular file of the user's own). Writes bytes as a new file in folder under the first free
// name of nameOf(1), nameOf(2), ... nameOf(tries), never replacing a file: the file appears
// complete under its name or not at all (a hidden neighbour, where the file system has no unnamed
// files, is removed by the next writer if this one is killed). With durable the bytes reach the
// disk before the name does. path: the name written.
bool CreateNewFile(const std::string& folder, const std::function<std::string(int n)>& nameOf,
                   int tries, std::string_view bytes, bool durable, std::string& path,
                   std::string& error);

class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::string path);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Checks the target and reserves the new file; false with the reason.
    bool Prepare(std::string& error);
    bool Commit(std::string_view bytes, std::string& error);
    // After Prepare: the old file will be rewritten where it is, and held
    // these bytes, which a caller may want to keep what it does not rewrite.
    bool InPlace() const { return inPlace_; }
    const std::string& OldBytes() const { return oldBytes_; }

private:
    bool Publish(std::string& error);
    void OpenInPlace(std::string& why);
    void Abandon();

    std::string path_, folder_, temp_, oldBytes_;
    int fd_ = -1;
    bool prepared_ = false;
    bool unnamed_ = false;  // O_TMPFILE: no name until it is published
    bool inPlace_ = false;
    bool existed_ = false;
    unsigned mode_ = 0;
    unsigned uid_ = 0, gid_ = 0;
};

}  // namespace platform
