#include "platform/ProfileFile.h"

#include <utility>

#include "platform/SafeFile.h"
#include "platform/Unicode.h"

namespace platform {
namespace {

// The blanks the platform's reader drops around names and values.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n' || c == '\x1A';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// The file's bytes as UTF-8 text.
std::string Decode(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) return std::string(bytes.substr(3));
    if (bytes.starts_with("\xFF\xFE")) return Utf16LeToUtf8(bytes.substr(2));
    if (bytes.starts_with("\xFE\xFF")) {
        std::string swapped(bytes.substr(2));
        for (std::size_t i = 0; i + 1 < swapped.size(); i += 2)
            std::swap(swapped[i], swapped[i + 1]);
        return Utf16LeToUtf8(swapped);
    }
    return std::string(bytes);
}

std::string Fold(std::string_view s) {
    return FoldCase(Trim(s));
}

// "[name]" gives name, up to the line's last "]"; false for any other line,
// "[" without "]" included.
bool SectionName(std::string_view line, std::string& name) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') return false;
    const std::size_t close = line.rfind(']');
    if (close == std::string_view::npos || close == 0) return false;
    name.assign(Trim(line.substr(1, close - 1)));
    return true;
}

}  // namespace

void ProfileFile::Index(Section& s, std::size_t i) {
    Line& line = s.lines[i];
    const std::string_view text = Trim(line.text);
    if (text.empty() || text.front() == ';') return;
    const std::size_t eq = line.text.find('=');
    if (eq == std::string::npos) return;
    const std::string_view key = Trim(std::string_view(line.text).substr(0, eq));
    if (key.empty()) return;
    line.key.assign(key);
    line.valueAt = eq + 1;
    s.keys.emplace(FoldCase(key), i);
}

void ProfileFile::Parse(std::string_view bytes) {
    preamble_.clear();
    sections_.clear();
    byName_.clear();
    const std::string decoded = Decode(bytes);
    const std::string_view text = decoded;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view raw = text.substr(start, end - start);
        start = end + 1;
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++start;
        std::string name;
        if (SectionName(raw, name)) {
            sections_.push_back({name, {{std::string(raw), {}, 0}}, {}});
            byName_.emplace(FoldCase(name), sections_.size() - 1);
        } else if (sections_.empty()) {
            preamble_.push_back({std::string(raw), {}, 0});
        } else {
            Section& s = sections_.back();
            s.lines.push_back({std::string(raw), {}, 0});
            Index(s, s.lines.size() - 1);
        }
    }
}

bool ProfileFile::Load(const std::string& path, std::string& error, bool missingIsEmpty) {
    Parse({});
    std::string bytes;
    if (!ReadWholeFile(path, kMaxProfileFileSize, bytes, error, missingIsEmpty)) return false;
    Parse(bytes);
    return true;
}

bool ProfileFile::Get(std::string_view section, std::string_view key, std::string& value) const {
    const auto s = byName_.find(Fold(section));
    if (s == byName_.end()) return false;
    const Section& sec = sections_[s->second];
    const auto k = sec.keys.find(Fold(key));
    if (k == sec.keys.end()) return false;
    const Line& line = sec.lines[k->second];
    std::string_view v = std::string_view(line.text).substr(line.valueAt);
    v = Trim(v.substr(0, v.find('\0')));  // the platform's strings end at a NUL
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    value.assign(v.substr(0, kMaxProfileValue));
    return true;
}

std::string ProfileFile::GetString(std::string_view section, std::string_view key,
                                   std::string_view def) const {
    std::string value;
    return Get(section, key, value) ? value : std::string(def);
}

void ProfileFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    std::string safe(value);
    for (char& c : safe) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    const std::string folded = Fold(section);
    auto s = byName_.find(folded);
    if (s == byName_.end()) {
        sections_.push_back(
            {std::string(section), {{"[" + std::string(section) + "]", {}, 0}}, {}});
        s = byName_.emplace(folded, sections_.size() - 1).first;
    }
    Section& sec = sections_[s->second];
    const auto k = sec.keys.find(Fold(key));
    if (k != sec.keys.end()) {
        Line& line = sec.lines[k->second];
        line.text = line.key + "=" + safe;
        line.valueAt = line.key.size() + 1;
        return;
    }
    // After the section's last non-blank line, before blank lines that part sections.
    std::size_t at = sec.lines.size();
    while (at > 1 && Trim(sec.lines[at - 1].text).empty()) --at;
    sec.lines.insert(sec.lines.begin() + static_cast<std::ptrdiff_t>(at),
                     Line{std::string(key) + "=" + safe, std::string(key), key.size() + 1});
    if (at + 1 == sec.lines.size()) {
        sec.keys.emplace(Fold(key), at);
    } else {
        sec.keys.clear();
        for (std::size_t i = 1; i < sec.lines.size(); ++i) {
            if (!sec.lines[i].key.empty()) sec.keys.emplace(FoldCase(sec.lines[i].key), i);
        }
    }
}

std::string ProfileFile::Text() const {
    std::string out;
    for (const Line& l : preamble_) out += l.text + "\r\n";
    for (const Section& s : sections_) {
        for (const Line& l : s.lines) out += l.text + "\r\n";
    }
    // Text that begins like a byte-order mark would read back in another
    // encoding; a UTF-8 mark in front keeps it as it is.
    if (out.starts_with("\xFF\xFE") || out.starts_with("\xFE\xFF") ||
        out.starts_with("\xEF\xBB\xBF")) {
        out.insert(0, "\xEF\xBB\xBF");
    }
    return out;
}

}  // namespace platform
