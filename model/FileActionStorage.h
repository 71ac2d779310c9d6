// The profile-file back end: the storage primitives over an INI file whose
// sections are named by the registry key paths. The startup settings stay
// in the registry, through the inherited accessor.
#pragma once

#include "model/ActionStorage.h"
#include "platform/ProfileFile.h"
#include "platform/SafeFile.h"

class TFileActionReader : public TActionReader {
public:
    // Parses the file once; a file that cannot be read makes every read raise.
    TFileActionReader(std::string keyPath, const std::string& fileName);
    // Why the file could not be read ("" when it could).
    const std::string& Error() const { return error_; }

    std::string ReadString(const std::string& name, const std::string& def) override;
    std::int32_t ReadInteger(const std::string& name, std::int32_t def) override;
    bool ReadBool(const std::string& name, bool def) override;
    bool OpenKey(const std::string& path, bool canCreate) override;  // always true
    void CloseKey() override;

    platform::ProfileFile IniFile;
    std::string Section;

private:
    std::string error_;
};

class TFileActionWriter : public TActionWriter {
public:
    // Writes a new profile; nothing reaches fileName until Commit.
    TFileActionWriter(std::string keyPath, const std::string& fileName);

    void WriteString(const std::string& name, const std::string& value) override;
    void WriteInteger(const std::string& name, std::int32_t value) override;
    void WriteBool(const std::string& name, bool value) override;
    bool OpenKey(const std::string& path, bool canCreate) override;  // always true
    void CloseKey() override;

    // Puts the complete profile in place of the old file, all at once.
    bool Commit();
    // Why the file could not be written ("" when nothing failed).
    const std::string& Error() const { return error_; }

    platform::ProfileFile IniFile;
    std::string Section;

private:
    platform::AtomicFileWriter file_;
    bool mergedOld_ = false;  // the old file's text is in IniFile
    std::string error_;
};

// A profile's integer text: decimal with an optional "-", "0x"/"0X" hex
// when longer than two characters, or "$" hex. False when it is none.
bool ParseProfileInteger(const std::string& text, std::int32_t& value);
