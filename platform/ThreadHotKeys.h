// Hot keys registered for no window, which belong to the thread that
// registered them. The editor registers none; the capture tool does.
#pragma once

namespace platform {

class ThreadHotKeys {
public:
    virtual ~ThreadHotKeys() = default;
    // False when the identifier is already taken on the calling thread.
    virtual bool Register(int id, unsigned modifiers, unsigned virtualKey) = 0;
    // True when a hot key with this identifier was registered for the
    // calling thread and is now released; false when there was none.
    virtual bool Unregister(int id) = 0;
};

// The desktop's thread hot keys.
ThreadHotKeys& CurrentThreadHotKeys();

// Puts another implementation in place (tests count the calls); returns the
// previous one. nullptr restores the desktop's.
ThreadHotKeys* SetThreadHotKeys(ThreadHotKeys* hotKeys);

}  // namespace platform
