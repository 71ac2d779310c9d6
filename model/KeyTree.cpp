#include "model/KeyTree.h"

#include <map>
#include <vector>

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
        const auto it = byFold.find(platform::FoldCase("Action" + std::to_string(n)));
        if (it == byFold.end()) break;  // the walk ends at the first gap
        DeleteKeyTree(path + "\\" + it->second);
    }
}

void DeleteKeyTree(const std::string& path) {
    RegistryAccessor registry;
    if (!registry.OpenKey(path, false).ok()) return;
    std::vector<std::string> names;
    if (registry.HasSubKeys()) registry.GetKeyNames(names);
    registry.CloseKey();
    for (const std::string& name : names) DeleteKeyTree(path + "\\" + name);
    registry.DeleteKey(path);
}
