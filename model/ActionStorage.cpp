#include "model/ActionStorage.h"

#include <memory>

#include "model/ActionKeys.h"

using platform::RegCode;
using platform::RegStatus;
using platform::RegValue;

namespace {

constexpr int kDefaultQuality = 100;

std::uint8_t Low8(std::int32_t value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

bool QualityInRange(std::int32_t q) {
    return q >= 1 && q <= 100;
}

}  // namespace

std::string ActionPath(const std::string& keyPath, int number) {
    return keyPath + "\\Action" + std::to_string(number);
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
    try {
        CloseKey();
        return true;
    } catch (const EStorageError&) {
        return false;
    }
}

bool TActionReader::ReadAll(TActionKeys& list) {
    Report = TLoadReport();
    bool ok = false;
    std::int32_t count = 0;
    try {
        ok = ReadStartupSettings(list);
        if (!ok) Report.settingsUnreadable = true;
        if (!OpenKey(KeyPath, false)) {
            CloseKeyQuietly();
            Report.settingsUnreadable = true;
            return false;
        }
        count = ReadInteger("Count", 0);
        list.TargetDir = ReadString("TargetDir", ".\\");
        list.DefaultSound = ReadString("DefaultSound", "");
        CloseKey();
    } catch (const EStorageError&) {
        CloseKeyQuietly();
        Report.settingsUnreadable = true;
        return false;
    }
    if (count > kMaxStoredActions) {
        ok = false;
        count = kMaxStoredActions;
        Report.settingsUnreadable = true;
    }
    // Every action is read even after one fails, so that nothing stored is
    // left behind half-read.
    for (int n = 1; n <= count; ++n) {
        TActionKey& action = list.Get(list.Add(std::make_unique<TActionKey>()));
        if (!ReadAction(ActionPath(KeyPath, n), action)) {
            ok = false;
            if (lastReadComplete_) {
                Report.withoutKey.push_back(n);
            } else {
                Report.unreadable.push_back(n);
            }
        }
    }
    return ok;
}

bool TActionReader::ReadAction(const std::string& path, TActionKey& a) {
    bool ok = false;
    lastReadComplete_ = false;
    try {
        if (OpenKey(path, false)) {
            a.Name = ReadString("Name", "");
            a.Modifiers = ReadInteger("Modifiers", 0);
            a.VirtualKey = ReadInteger("VirtualKey", 0);
            a.SaveTo = Low8(ReadInteger("SaveTo", 0));
            a.TargetDir = ReadString("TargetDir", "");
            a.QuerryFName = ReadBool("QuerryFName", false);
            a.Quit = ReadBool("Quit", false);
            a.GrabMethod = Low8(ReadInteger("GrabMethod", 0));
            if (a.GrabMethod == 3) {
                a.RecHeight = ReadInteger("RecHeight", 200);
                a.RecWidth = ReadInteger("RecWidth", 250);
            }
            a.Extension = ReadString("Extension", ".bmp");
            a.Quality = ReadInteger("Quality", kDefaultQuality);
            if (!QualityInRange(a.Quality)) a.Quality = kDefaultQuality;
            a.PixelFormat = Low8(ReadInteger("PixelFormat", 0));
            a.Prevent15bit = ReadBool("Prevent15bit", false);
            a.Prevent16bit = ReadBool("Prevent16bit", false);
            a.Prevent32bit = ReadBool("Prevent32bit", false);
            a.Sound = ReadString("Sound", "");
            lastReadComplete_ = true;
            // An action without a key counts as a failed read.
            ok = a.VirtualKey != 0;
        }
    } catch (const EStorageError&) {
        ok = false;
    }
    if (!CloseKeyQuietly()) lastReadComplete_ = false;
    return lastReadComplete_ && ok;
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
    try {
        CloseKey();
        return true;
    } catch (const EStorageError&) {
        return false;
    }
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
        WriteString("Name", a.Name);
        WriteInteger("Modifiers", a.Modifiers);
        WriteInteger("VirtualKey", a.VirtualKey);
        WriteInteger("SaveTo", a.SaveTo);
        WriteString("TargetDir", a.TargetDir);
        WriteBool("QuerryFName", a.QuerryFName);
        WriteBool("Quit", a.Quit);
        WriteInteger("GrabMethod", a.GrabMethod);
        if (a.GrabMethod == 3) {
            WriteInteger("RecHeight", a.RecHeight);
            WriteInteger("RecWidth", a.RecWidth);
        }
        WriteString("Extension", a.Extension);
        if (!QualityInRange(a.Quality)) a.Quality = kDefaultQuality;
        WriteInteger("Quality", a.Quality);
        WriteInteger("PixelFormat", a.PixelFormat);
        WriteBool("Prevent15bit", a.Prevent15bit);
        WriteBool("Prevent16bit", a.Prevent16bit);
        WriteBool("Prevent32bit", a.Prevent32bit);
        WriteString("Sound", a.Sound);
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
