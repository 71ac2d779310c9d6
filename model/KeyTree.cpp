#include "model/KeyTree.h"

#include <map>
#include <vector>

#include "model/ActionCodes.h"
#include "platform/Registry.h"
#include "platform/RegistryAccessor.h"
#include "platform/Unicode.h"

using platform::RegistryAccessor;

void DeleteSurplusActionKeys(const std::string& path, int first) {
    RegistryAccessor registry;
    if (!registry.OpenKey(path, false).ok()) return;
    std::vector<std::string> names;
    if (!registry.HasSubKeys() || !registry.GetKeyNames(names).ok()) return;
    registry.CloseKey();
    // Read once, before anything is deleted; names compare without case.
    std::map<std::string, std::string> byFold;
    for (const std::string& name : names) byFold.emplace(platform::FoldCase(name), name);
    for (int n = first;; ++n) {
        const auto it = byFold.find(platform::FoldCase(codes::ActionKeyName(n)));
        if (it == byFold.end()) break;  // the walk ends at the first gap
        DeleteKeyTree(path + "\\" + it->second);
    }
}

void DeleteKeyTree(const std::string& path) {
    // Any depth: a tree another program nested too deep to open key by key
    // must not block a commit that removes it.
    std::unique_ptr<platform::RegistryHive> hive;
    if (platform::OpenCurrentUserHive(hive).ok()) hive->DeleteKeyTree(path);
}
