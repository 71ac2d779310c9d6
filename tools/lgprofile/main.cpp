// lgprofile: backs up the stored configuration to a profile file, or puts a
// profile into the store the way Apply does.
//   lgprofile save FILE   the stored configuration, read as the editor reads it, into FILE
//   lgprofile load FILE   FILE into the store as one commit: surplus action keys removed,
//                         the whole list written, and the change event set
#include <cstdio>
#include <string>

#include "model/ActionKeys.h"
#include "model/Commit.h"
#include "platform/RegistryAccessor.h"

namespace {

int Fail(const std::string& message) {
    std::fprintf(stderr, "lgprofile: %s\n", message.c_str());
    return 1;
}

std::string Numbers(const std::vector<int>& numbers) {
    std::string text;
    for (int n : numbers) text += (text.empty() ? "" : ", ") + std::to_string(n);
    return text;
}

// The store's own trouble, if it has one, so that it is never blamed on the profile.
std::string StoreTrouble() {
    platform::RegistryAccessor registry;
    const platform::RegStatus s = registry.EnsureHive();
    return s.ok() ? std::string() : s.message;
}

int Save(const std::string& file) {
    TActionKeys list(kConfigurationKey);
    // Actions without a hot key are read in full, as the editor keeps them.
    if (!list.LoadFromRegistry() && !list.LastLoad().OnlyKeysMissing()) {
        const std::string trouble = StoreTrouble();
        return Fail((trouble.empty()
                         ? "the configuration in the settings store could not be read completely"
                         : trouble) +
                    "; nothing was written");
    }
    if (!list.SaveToFile(file)) {
        return Fail(list.LastFileError().empty() ? "cannot write '" + file + "'"
                                                 : list.LastFileError());
    }
    return 0;
}

int Load(const std::string& file) {
    TActionKeys list(kConfigurationKey);
    if (!list.LoadFromFile(file)) {
        if (!list.LastFileError().empty())
            return Fail(list.LastFileError() + "; nothing was committed");
        const TLoadReport& report = list.LastLoad();
        if (!report.withoutKey.empty() && !report.settingsUnreadable && report.unreadable.empty()) {
            return Fail("actions " + Numbers(report.withoutKey) + " of '" + file +
                        "' have no hot key; nothing was committed");
        }
        // The profile is at fault unless the store is: say which, and why.
        const std::string trouble = StoreTrouble();
        if (!trouble.empty()) return Fail(trouble + "; nothing was committed");
        if (!report.storeAtFault && !report.cause.empty()) {
            return Fail("'" + file + "' cannot be loaded: " + report.cause +
                        "; nothing was committed");
        }
        return Fail(
            "the startup settings in the settings store could not be read; nothing was "
            "committed");
    }
    // An empty list would delete every stored action: Apply refuses that too.
    if (!list.HasActions()) return Fail("'" + file + "' holds no actions; nothing was committed");
    std::string cause;
    if (!CommitConfiguration(list, cause)) {
        return Fail("the configuration could not be saved to the settings store: " + cause);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lgprofile save FILE\n       lgprofile load FILE\n");
        return 1;
    }
    const std::string command = argv[1];
    const std::string file = argv[2];
    if (command == "save") return Save(file);
    if (command == "load") return Load(file);
    return Fail("unknown command '" + command + "'");
}
