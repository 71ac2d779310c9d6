// Profile files: INI text with sections and key=value lines, read and
// written as the platform's profile functions do. A file is parsed once
// and written once; bytes pass through unchanged.
//
// Rules: section and key names match without regard to case; the first of
// duplicate sections or keys counts; lines starting with ";" are comments;
// lines without "=" and text before the first section are ignored by reads;
// a value read back loses surrounding blanks and one pair of enclosing
// quotes, and at most 1023 characters of it come back. Writing replaces a
// key in place or adds it at the end of its section; a missing section goes
// to the end. Every other line is kept as it was. Lines end in CR LF when
// written; CR LF and LF are both read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

inline constexpr std::size_t kMaxProfileValue = 1023;
inline constexpr std::size_t kMaxProfileFileSize = 64u << 20;

class ProfileFile {
public:
    ProfileFile() = default;

    // Reads a file; false with a message when it cannot be read or is larger
    // than kMaxProfileFileSize. A missing file reads as empty only when
    // missingIsEmpty is set.
    bool Load(const std::string& path, std::string& error, bool missingIsEmpty = false);
    void Parse(std::string_view text);

    // The value, or false when the section or key is absent.
    bool Get(std::string_view section, std::string_view key, std::string& value) const;
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view def) const;
    // Line breaks in a value would split it into other lines; they become blanks.
    void Set(std::string_view section, std::string_view key, std::string_view value);

    std::string Text() const;  // CR LF line ends

private:
    struct Line {
        std::string text;  // the line as read, without its end
        std::string key;   // empty for lines that are no key=value
        std::size_t valueAt = 0;
    };
    struct Section {
        std::string name;
        std::vector<Line> lines;  // the header line first
        std::unordered_map<std::string, std::size_t> keys;  // folded key -> first line
    };
    void Index(Section& s, std::size_t line);

    std::vector<Line> preamble_;
    std::vector<Section> sections_;
    std::unordered_map<std::string, std::size_t> byName_;  // folded name -> first section
};

// Writes the text beside path and renames it into place, so that path holds
// either its old bytes or all of the new ones. Prepare reserves the file
// beside path; Commit puts it in place.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::string path);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool Prepare(std::string& error);
    bool Commit(std::string_view text, std::string& error);

private:
    std::string path_, temp_;
    int fd_ = -1;
};

}  // namespace platform
