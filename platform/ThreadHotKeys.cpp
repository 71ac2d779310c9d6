#include "platform/ThreadHotKeys.h"

#include <atomic>
#include <set>

namespace platform {
namespace {

// This desktop has no thread-bound hot keys of its own; the bookkeeping
// answers as the platform does, so releasing an unregistered key fails.
class DesktopThreadHotKeys final : public ThreadHotKeys {
public:
    bool Register(int id, unsigned, unsigned) override { return Registered().insert(id).second; }
    bool Unregister(int id) override { return Registered().erase(id) == 1; }

private:
    static std::set<int>& Registered() {
        thread_local std::set<int> ids;
        return ids;
    }
};

std::atomic<ThreadHotKeys*>& Override() {
    static std::atomic<ThreadHotKeys*> hotKeys{nullptr};
    return hotKeys;
}

}  // namespace

ThreadHotKeys& CurrentThreadHotKeys() {
    static DesktopThreadHotKeys desktop;
    ThreadHotKeys* other = Override().load();
    return other ? *other : desktop;
}

ThreadHotKeys* SetThreadHotKeys(ThreadHotKeys* hotKeys) {
    return Override().exchange(hotKeys);
}

}  // namespace platform
