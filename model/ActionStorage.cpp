#include "model/ActionStorage.h"

#include <memory>
#include <string_view>
#include <variant>

#include "model/ActionCodes.h"
#include "model/ActionKeys.h"

using platform::RegCode;
using platform::RegStatus;
using platform::RegValue;

namespace {

std::uint8_t Low8(std::int32_t value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

// An out-of-range quality is taken as the default, on reading and before
// writing alike.
void CorrectQuality(TActionKey& a) {
    a.Quality = codes::EffectiveQuality(a.Quality);
}

bool HasFixedRectangle(const TActionKey& a) {
    return a.GrabMethod == codes::kFixedRectangle;
}

// One stored value of an action: its name, the field it holds, the default
// for reading, and when it is stored at all. The 8-bit fields keep the low
// 8 bits of the stored number.
template <typename T>
using Field = T TActionKey::*;

struct StoredValue {
    const char* name;
    std::variant<Field<std::string>, Field<std::int32_t>, Field<std::uint8_t>, Field<bool>> field;
    std::string_view textDefault = {};
    std::int32_t numberDefault = 0;
    bool (*storedWhen)(const TActionKey&) = nullptr;  // nullptr: always
    void (*correct)(TActionKey&) = nullptr;           // after reading, before writing
};

// The values of an action key, in the order they are read and written.
const StoredValue kActionValues[] = {
    {"Name", &TActionKey::Name},
    {"Modifiers", &TActionKey::Modifiers},
    {"VirtualKey", &TActionKey::VirtualKey},
    {"SaveTo", &TActionKey::SaveTo},
    {"TargetDir", &TActionKey::TargetDir},
    {"QuerryFName", &TActionKey::QuerryFName},
    {"Quit", &TActionKey::Quit},
    {"GrabMethod", &TActionKey::GrabMethod},
    {"RecHeight", &TActionKey::RecHeight, {}, codes::kDefaultRecHeight, HasFixedRectangle},
    {"RecWidth", &TActionKey::RecWidth, {}, codes::kDefaultRecWidth, HasFixedRectangle},
    {"Extension", &TActionKey::Extension, codes::kBmp},
    {"Quality", &TActionKey::Quality, {}, codes::kDefaultQuality, nullptr, CorrectQuality},
    {"PixelFormat", &TActionKey::PixelFormat},
    {"Prevent15bit", &TActionKey::Prevent15bit},
    {"Prevent16bit", &TActionKey::Prevent16bit},
    {"Prevent32bit", &TActionKey::Prevent32bit},
    {"Sound", &TActionKey::Sound},
};

// A close after a failure, which must not raise a second error over the first.
template <class Close>
bool Quietly(const Close& close) {
    try {
        close();
        return true;
    } catch (const EStorageError&) {
        return false;
    }
}

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace

std::string ActionPath(const std::string& keyPath, int number) {
    return keyPath + "\\" + codes::ActionKeyName(number);
}

std::string LogonCommand(const std::string& home, bool startOnStartup) {
    // With no folder known, the bare program name leaves finding it to the
    // search path instead of pointing at the root of a drive.
    std::string command = home;
    if (!command.empty() && command.back() != '\\') command += '\\';
    command += "Lmgrab.exe";
    if (startOnStartup) command += " /start";
    return command;
}

// ---- reading -------------------------------------------------------------

TActionReader::TActionReader(std::string keyPath) : KeyPath(std::move(keyPath)) {}

TActionReader::~TActionReader() = default;

bool TActionReader::CloseKeyQuietly() {
    return Quietly([this] { CloseKey(); });
}

bool TActionReader::ReadAll(TActionKeys& list) {
    Report = TLoadReport();
    bool ok = false;
    std::int32_t count = 0;
    const auto because = [this](const std::string& why) {
        if (Report.cause.empty()) Report.cause = why;
    };
    try {
        ok = ReadStartupSettings(list);
        if (!ok) {
            Report.settingsUnreadable = Report.storeAtFault = true;
            because("the startup settings in the settings store could not be read");
        }
        if (!OpenKey(KeyPath, false)) {
            CloseKeyQuietly();
            Report.settingsUnreadable = true;
            because("there is no " + KeyPath);
            return false;
        }
        count = ReadInteger("Count", 0);
        list.TargetDir = ReadString("TargetDir", ".\\");
        list.DefaultSound = ReadString("DefaultSound", "");
        CloseKey();
    } catch (const EStorageError& e) {
        CloseKeyQuietly();
        Report.settingsUnreadable = true;
        because(e.what());
        return false;
    }
    if (count > kMaxStoredActions) {
        ok = false;
        because("Count is " + std::to_string(count) + ", more than the " +
                std::to_string(kMaxStoredActions) + " actions a configuration may hold");
        count = kMaxStoredActions;
        Report.settingsUnreadable = true;
    }
    // Every action is read even after one fails, so that nothing stored is
    // left behind half-read.
    for (int n = 1; n <= count; ++n) {
        TActionKey& action = list.Get(list.Add(std::make_unique<TActionKey>()));
        const ActionRead read = ReadActionValues(ActionPath(KeyPath, n), action);
        if (read != ActionRead::Complete) {
            ok = false;
            (read == ActionRead::WithoutKey ? Report.withoutKey : Report.unreadable).push_back(n);
            if (read == ActionRead::Unreadable)
                because("action " + std::to_string(n) + ": " + lastError_);
        }
    }
    return ok;
}

TActionReader::ActionRead TActionReader::ReadActionValues(const std::string& path, TActionKey& a) {
    ActionRead result = ActionRead::Unreadable;
    lastError_.clear();
    try {
        if (OpenKey(path, false)) {
            for (const StoredValue& v : kActionValues) {
                if (v.storedWhen && !v.storedWhen(a)) continue;
                const std::string name = v.name;
                std::visit(
                    Overloaded{
                        [&](Field<std::string> f) {
                            a.*f = ReadString(name, std::string(v.textDefault));
                        },
                        [&](Field<std::int32_t> f) { a.*f = ReadInteger(name, v.numberDefault); },
                        [&](Field<std::uint8_t> f) {
                            a.*f = Low8(ReadInteger(name, v.numberDefault));
                        },
                        [&](Field<bool> f) { a.*f = ReadBool(name, v.numberDefault != 0); },
                    },
                    v.field);
                if (v.correct) v.correct(a);
            }
            // An action without a key counts as a failed read.
            result = a.VirtualKey != 0 ? ActionRead::Complete : ActionRead::WithoutKey;
        }
    } catch (const EStorageError& e) {
        result = ActionRead::Unreadable;
        lastError_ = e.what();
    }
    if (result == ActionRead::Unreadable && lastError_.empty())
        lastError_ = "its key cannot be read";
    if (!CloseKeyQuietly()) result = ActionRead::Unreadable;
    return result;
}

bool TActionReader::ReadAction(const std::string& path, TActionKey& a) {
    return ReadActionValues(path, a) == ActionRead::Complete;
}

bool TActionReader::ReadStartupSettings(TActionKeys& list) {
    if (!Registry.OpenKey(KeyPath, true).ok()) return false;
    RegValue value;
    RegStatus s = Registry.ReadValue("Home", value);
    if (s.code == RegCode::NotFound) {
        list.Home.clear();
    } else if (!s.ok() || !platform::DecodeString(value, list.Home)) {
        list.Home = ".\\";
    }
    Registry.CloseKey();

    if (!Registry.OpenKey(kRunKeyPath, false).ok()) {
        list.ShowIconOnStartup = false;
        list.StartOnStartup = false;
        return true;
    }
    s = Registry.ReadValue(kLogonValueName, value);
    std::string command;
    if (s.code == RegCode::NotFound) {
        list.ShowIconOnStartup = false;
        list.StartOnStartup = false;
    } else if (!s.ok() || !platform::DecodeString(value, command)) {
        Registry.CloseKey();
        throw EStorageError(s.ok() ? "Invalid data type for 'Lumagrabber'" : s.message);
    } else {
        list.ShowIconOnStartup = true;
        list.StartOnStartup = command.find("/start") != std::string::npos;
    }
    Registry.CloseKey();
    return true;
}

// ---- writing -------------------------------------------------------------

TActionWriter::TActionWriter(std::string keyPath) : KeyPath(std::move(keyPath)) {}

TActionWriter::~TActionWriter() = default;

bool TActionWriter::CloseKeyQuietly() {
    return Quietly([this] { CloseKey(); });
}

bool TActionWriter::WriteAll(TActionKeys& list) {
    WriteStartupSettings(list);
    try {
        if (!OpenKey(KeyPath, true)) {
            CloseKeyQuietly();
            return false;
        }
        WriteInteger("Count", list.Count());
        WriteString("TargetDir", list.TargetDir);
        WriteString("DefaultSound", list.DefaultSound);
        CloseKey();
    } catch (const EStorageError&) {
        CloseKeyQuietly();
        return false;
    }
    bool ok = true;
    for (int n = 1; n <= list.Count(); ++n) {
        ok = WriteAction(ActionPath(KeyPath, n), list.Get(n - 1)) && ok;
    }
    return ok;
}

bool TActionWriter::WriteAction(const std::string& path, TActionKey& a) {
    if (!OpenKey(path, true)) {
        CloseKeyQuietly();
        return false;
    }
    bool ok = false;
    try {
        for (const StoredValue& v : kActionValues) {
            if (v.storedWhen && !v.storedWhen(a)) continue;
            if (v.correct) v.correct(a);
            const std::string name = v.name;
            std::visit(Overloaded{
                           [&](Field<std::string> f) { WriteString(name, a.*f); },
                           [&](Field<std::int32_t> f) { WriteInteger(name, a.*f); },
                           [&](Field<std::uint8_t> f) { WriteInteger(name, a.*f); },
                           [&](Field<bool> f) { WriteBool(name, a.*f); },
                       },
                       v.field);
        }
        ok = true;
    } catch (const EStorageError&) {
        ok = false;
    }
    return CloseKeyQuietly() && ok;
}

bool TActionWriter::WriteStartupSettings(const TActionKeys& list) {
    if (!Registry.OpenKey(KeyPath, true).ok()) return false;
    const bool homeWritten = Registry.WriteValue("Home", RegValue::String(list.Home)).ok();
    if (!Registry.CloseKey().ok() || !homeWritten) return false;

    if (!Registry.OpenKey(kRunKeyPath, true).ok()) return true;
    RegStatus s = Registry.DeleteValue(kLogonValueName);
    if (s.ok() || s.code == RegCode::NotFound) {
        if (list.ShowIconOnStartup || list.StartOnStartup) {
            s = Registry.WriteValue(kLogonValueName,
                                    RegValue::String(LogonCommand(list.Home, list.StartOnStartup)));
        } else {
            s = RegStatus::Ok();
        }
    }
    // The old entry goes only together with the new one.
    if (!s.ok()) {
        Registry.DiscardAndCloseKey();
        return false;
    }
    return Registry.CloseKey().ok();
}
