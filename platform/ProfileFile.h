// Profile files: INI text with sections and key=value lines, read and
// written as the platform's profile functions do. A file is parsed once
// and written once; bytes pass through unchanged.
//
// Rules: section and key names match without regard to case; the first of
// duplicate sections or keys counts; lines starting with ";" are comments;
// lines without "=" and text before the first section are ignored by reads;
// a section line runs from "[" to the last "]" of the line, and a "[" line
// without "]" is no section. A value read back ends at a NUL, loses the
// blanks and control blanks (tab, vertical tab, form feed, Ctrl+Z) around
// it and one pair of enclosing quotes, and at most 1023 characters of it
// come back. Writing replaces a key in place or adds it at the end of its
// section; a missing section goes to the end. Every other line is kept as
// it was. Files are read in UTF-8 (a byte-order mark is skipped) or in
// UTF-16 LE or BE with a byte-order mark; CR LF, LF and CR all end lines.
// Files are written in UTF-8 with CR LF line ends.
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

    // Reads a regular file; false with a message when it cannot be read, is
    // no regular file or is larger than kMaxProfileFileSize. A missing file
    // reads as empty only when missingIsEmpty is set.
    bool Load(const std::string& path, std::string& error, bool missingIsEmpty = false);
    // Bytes as stored, in any of the encodings above.
    void Parse(std::string_view bytes);

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
        std::vector<Line> lines;                            // the header line first
        std::unordered_map<std::string, std::size_t> keys;  // folded key -> first line
    };
    void Index(Section& s, std::size_t line);

    std::vector<Line> preamble_;
    std::vector<Section> sections_;
    std::unordered_map<std::string, std::size_t> byName_;  // folded name -> first section
};

}  // namespace platform
