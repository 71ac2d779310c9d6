// The registry back end: the storage primitives over the current user's hive.
#pragma once

#include "model/ActionStorage.h"

class TRegActionReader : public TActionReader {
public:
    using TActionReader::TActionReader;

    std::string ReadString(const std::string& name, const std::string& def) override;
    std::int32_t ReadInteger(const std::string& name, std::int32_t def) override;
    bool ReadBool(const std::string& name, bool def) override;
    bool OpenKey(const std::string& path, bool canCreate) override;
    void CloseKey() override;
};

class TRegActionWriter : public TActionWriter {
public:
    using TActionWriter::TActionWriter;

    void WriteString(const std::string& name, const std::string& value) override;
    void WriteInteger(const std::string& name, std::int32_t value) override;
    void WriteBool(const std::string& name, bool value) override;
    bool OpenKey(const std::string& path, bool canCreate) override;
    void CloseKey() override;
};
