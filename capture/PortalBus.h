// The desktop portal (org.freedesktop.portal.Desktop) on the session bus,
// through libdbus: calls whose answer comes later as a Request's Response
// signal, and the signals a session sends. Answers are read into the same
// tree as JSON (dictionaries as objects, structures and arrays as arrays).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/Json.h"

struct DBusConnection;
struct DBusMessage;
struct DBusMessageIter;

// One argument of a call, as the portal's methods take them.
struct PortalArg {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    static PortalArg String(std::string text) {
        return {Kind::String, std::move(text), {}, {}, {}, {}};
    }
    static PortalArg Path(std::string path) {
        return {Kind::ObjectPath, std::move(path), {}, {}, {}, {}};
    }
    static PortalArg Options(Pairs options = {}, std::vector<std::string> bools = {}) {
        return {Kind::Options, "", std::move(options), std::move(bools), {}, {}};
    }
    static PortalArg Shortcuts(std::vector<std::pair<std::string, Pairs>> shortcuts) {
        return {Kind::Shortcuts, "", {}, {}, std::move(shortcuts), {}};
    }
    // Anything else, appended by hand.
    static PortalArg Raw(std::function<void(DBusMessageIter*)> append) {
        return {Kind::Raw, "", {}, {}, {}, std::move(append)};
    }

    enum class Kind { String, ObjectPath, Options, Shortcuts, Raw } kind = Kind::String;
    std::string text;  // String, ObjectPath
    // Options: a{sv} of strings (and of booleans, where the value is "true"
    // or "false" and bools names it).
    Pairs options;
    std::vector<std::string> bools;
    // Shortcuts: a(sa{sv}): an id with its string options each.
    std::vector<std::pair<std::string, Pairs>> shortcuts;
    std::function<void(DBusMessageIter*)> append;
};

struct PortalSignal {
    std::string interface, member, path;
    JsonValue args;  // an array of the signal's arguments
};

class PortalBus {
public:
    ~PortalBus();
    PortalBus(const PortalBus&) = delete;
    PortalBus& operator=(const PortalBus&) = delete;

    // The session bus, with the portal answering on it within timeoutMs.
    static std::unique_ptr<PortalBus> Connect(int timeoutMs, std::string& error);

    // A portal method that answers through a Request: sends it with a
    // handle_token of our own in its last (options) argument, waits for
    // the Response; false when the portal refuses, fails or is silent.
    bool Call(const std::string& interface, const std::string& method, std::vector<PortalArg> args,
              int timeoutMs, JsonValue& results, std::string& error);
    // A plain method call (Session.Close, a property): its answer.
    bool CallPlain(const std::string& path, const std::string& interface, const std::string& method,
                   const std::vector<PortalArg>& args, int timeoutMs, JsonValue& answer,
                   std::string& error);
    // The same to another service of the bus.
    bool CallService(const std::string& service, const std::string& path,
                     const std::string& interface, const std::string& method,
                     const std::vector<PortalArg>& args, int timeoutMs, JsonValue& answer,
                     std::string& error);
    // The portal interface's version property; 0 where it has none.
    unsigned Version(const std::string& interface);

    int Descriptor() const;
    bool Connected() const;
    // The signals that have come, without waiting.
    std::vector<PortalSignal> TakeSignals();
    // A token unique in this connection, for handle and session tokens.
    std::string Token();

private:
    explicit PortalBus(DBusConnection* connection);
    // Tells the portal who we are, before anything else is asked of it.
    void DeclareApp();
    void Pump(int timeoutMs);

    DBusConnection* connection_;
    std::vector<PortalSignal> signals_;
    int tokens_ = 0;
};

// A libdbus message's arguments as a tree.
JsonValue MessageArgs(DBusMessage* message);
