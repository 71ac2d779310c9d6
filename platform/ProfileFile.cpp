#include "platform/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Unicode.h"

namespace platform {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string Fold(std::string_view s) { return FoldCase(Trim(s)); }

// "[name]" gives name; false for any other line.
bool SectionName(std::string_view line, std::string& name) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') return false;
    const std::size_t close = line.find(']');
    name.assign(Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
    return true;
}

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

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

void ProfileFile::Parse(std::string_view text) {
    preamble_.clear();
    sections_.clear();
    byName_.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view raw = text.substr(start, end - start);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        start = end + 1;
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
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT && missingIsEmpty) return true;
        error = Errno("cannot read '" + path + "'");
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = "'" + path + "' is not a file";
        return false;
    }
    if (static_cast<std::size_t>(st.st_size) > kMaxProfileFileSize) {
        ::close(fd);
        error = "'" + path + "' is larger than 64 MiB";
        return false;
    }
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text.resize(got);
    Parse(text);
    return true;
}

bool ProfileFile::Get(std::string_view section, std::string_view key, std::string& value) const {
    const auto s = byName_.find(Fold(section));
    if (s == byName_.end()) return false;
    const Section& sec = sections_[s->second];
    const auto k = sec.keys.find(Fold(key));
    if (k == sec.keys.end()) return false;
    const Line& line = sec.lines[k->second];
    std::string_view v = Trim(std::string_view(line.text).substr(line.valueAt));
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
        sections_.push_back({std::string(section), {{"[" + std::string(section) + "]", {}, 0}}, {}});
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
    return out;
}

AtomicFileWriter::AtomicFileWriter(std::string path) : path_(std::move(path)) {}

AtomicFileWriter::~AtomicFileWriter() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temp_.c_str());
    }
}

bool AtomicFileWriter::Prepare(std::string& error) {
    if (fd_ >= 0) return true;
    std::string pattern = path_ + ".XXXXXX";
    fd_ = ::mkstemp(pattern.data());
    if (fd_ < 0) {
        error = Errno("cannot write '" + path_ + "'");
        return false;
    }
    temp_ = pattern;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
    return true;
}

bool AtomicFileWriter::Commit(std::string_view text, std::string& error) {
    if (!Prepare(error)) return false;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = Errno("cannot write '" + path_ + "'");
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd_) != 0 || ::close(fd_) != 0) {
        fd_ = -1;
        ::unlink(temp_.c_str());
        error = Errno("cannot write '" + path_ + "'");
        return false;
    }
    fd_ = -1;
    if (::rename(temp_.c_str(), path_.c_str()) != 0) {
        error = Errno("cannot replace '" + path_ + "'");
        ::unlink(temp_.c_str());
        return false;
    }
    return true;
}

}  // namespace platform
