// A hive or key in front of another that passes every call through: the
// base of wrappers that change a few calls (a transaction's hive, tests
// that refuse or fail chosen writes).
#pragma once

#include <memory>

#include "platform/Registry.h"

namespace platform {

class ForwardingKey : public RegistryKey {
public:
    explicit ForwardingKey(std::unique_ptr<RegistryKey> inner) : inner_(std::move(inner)) {}
    const std::string& Path() const override { return inner_->Path(); }
    RegAccess Access() const override { return inner_->Access(); }
    RegStatus QueryValue(std::string_view name, RegValue& value) override {
        return inner_->QueryValue(name, value);
    }
    RegStatus SetValue(std::string_view name, const RegValue& value) override {
        return inner_->SetValue(name, value);
    }
    RegStatus DeleteValue(std::string_view name) override { return inner_->DeleteValue(name); }
    RegStatus EnumSubKeys(std::vector<std::string>& names) override {
        return inner_->EnumSubKeys(names);
    }
    RegStatus EnumValues(std::vector<std::pair<std::string, RegValue>>& values) override {
        return inner_->EnumValues(values);
    }

private:
    std::unique_ptr<RegistryKey> inner_;
};

class ForwardingHive : public RegistryHive {
public:
    explicit ForwardingHive(RegistryHive& inner) : inner_(inner) {}
    const std::string& Location() const override { return inner_.Location(); }
    bool ReadOnly() const override { return inner_.ReadOnly(); }
    RegStatus OpenKey(std::string_view path, RegAccess access,
                      std::unique_ptr<RegistryKey>& key) override {
        return inner_.OpenKey(path, access, key);
    }
    RegStatus CreateKey(std::string_view path, std::unique_ptr<RegistryKey>& key) override {
        return inner_.CreateKey(path, key);
    }
    RegStatus DeleteKey(std::string_view path) override { return inner_.DeleteKey(path); }
    RegStatus DeleteKeyTree(std::string_view path) override { return inner_.DeleteKeyTree(path); }
    RegStatus Flush() override { return inner_.Flush(); }
    void Discard() override { inner_.Discard(); }
    RegStatus BeginTransaction(TransactionKind kind) override {
        return inner_.BeginTransaction(kind);
    }
    RegStatus EndTransaction(bool commit) override { return inner_.EndTransaction(commit); }

private:
    RegistryHive& inner_;
};

}  // namespace platform
