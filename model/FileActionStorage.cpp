#include "model/FileActionStorage.h"

#include <cerrno>
#include <cstdlib>

#include "platform/Numbers.h"

bool ParseProfileInteger(const std::string& text, std::int32_t& value) {
    std::string digits = text;
    int base = 10;
    bool negative = false;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16, digits.erase(0, 2);
    } else if (!digits.empty() && digits[0] == '$') {
        base = 16, digits.erase(0, 1);
    } else if (!digits.empty() && digits[0] == '-') {
        negative = true, digits.erase(0, 1);
    }
    if (digits.empty()) return false;
    unsigned long long n = 0;
    for (char c : digits) {
        const int d = platform::HexDigit(c);
        if (d < 0 || d >= base) return false;
        n = n * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (n > 0xFFFFFFFFull) return false;
    }
    if (base == 16) {
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(n));  // hex covers all 32 bits
        return true;
    }
    if (negative ? n > 0x80000000ull : n > 0x7FFFFFFFull) return false;
    value = negative ? static_cast<std::int32_t>(-static_cast<long long>(n))
                     : static_cast<std::int32_t>(n);
    return true;
}

TFileActionReader::TFileActionReader(std::string keyPath, const std::string& fileName)
    : TActionReader(std::move(keyPath)) {
    if (!IniFile.Load(fileName, error_))
        error_ = error_.empty() ? "cannot read the profile" : error_;
}

std::string TFileActionReader::ReadString(const std::string& name, const std::string& def) {
    if (!error_.empty()) throw EStorageError(error_);
    return IniFile.GetString(Section, name, def);
}

std::int32_t TFileActionReader::ReadInteger(const std::string& name, std::int32_t def) {
    if (!error_.empty()) throw EStorageError(error_);
    std::string text;
    std::int32_t value;
    if (!IniFile.Get(Section, name, text) || !ParseProfileInteger(text, value)) return def;
    return value;
}

bool TFileActionReader::ReadBool(const std::string& name, bool def) {
    return ReadInteger(name, def ? 1 : 0) != 0;
}

bool TFileActionReader::OpenKey(const std::string& path, bool) {
    Section = path;
    return true;
}

void TFileActionReader::CloseKey() {
    Section.clear();
}

TFileActionWriter::TFileActionWriter(std::string keyPath, const std::string& fileName)
    : TActionWriter(std::move(keyPath)), file_(fileName) {}

void TFileActionWriter::WriteString(const std::string& name, const std::string& value) {
    // The file beside the profile is made at the first write, so a folder
    // that refuses it fails the save before anything else is written.
    if (!file_.Prepare(error_)) throw EStorageError(error_);
    // A file rewritten where it is keeps every key and section this save
    // does not write, as the platform's profile functions leave them.
    if (file_.InPlace() && !mergedOld_) IniFile.Parse(file_.OldBytes());
    mergedOld_ = true;
    IniFile.Set(Section, name, value);
}

void TFileActionWriter::WriteInteger(const std::string& name, std::int32_t value) {
    WriteString(name, std::to_string(value));
}

void TFileActionWriter::WriteBool(const std::string& name, bool value) {
    WriteString(name, value ? "1" : "0");
}

bool TFileActionWriter::OpenKey(const std::string& path, bool) {
    Section = path;
    return true;
}

void TFileActionWriter::CloseKey() {
    Section.clear();
}

bool TFileActionWriter::Commit() {
    return file_.Commit(IniFile.Text(), error_);
}
