// The session bus through libdbus: calls to its services, and the signals
// and calls that come to us; and the desktop portal's calls, whose answer
// comes later as a Request's Response signal. Answers are read into the
// same tree as JSON (dictionaries as objects, structures and arrays as
// arrays).
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
struct BusArg {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    static BusArg String(std::string text) {
        return {Kind::String, std::move(text), {}, {}, {}, {}};
    }
    static BusArg Path(std::string path) {
        return {Kind::ObjectPath, std::move(path), {}, {}, {}, {}};
    }
    static BusArg Options(Pairs options = {}, std::vector<std::string> bools = {}) {
        return {Kind::Options, "", std::move(options), std::move(bools), {}, {}};
    }
    static BusArg Shortcuts(std::vector<std::pair<std::string, Pairs>> shortcuts) {
        return {Kind::Shortcuts, "", {}, {}, std::move(shortcuts), {}};
    }
    static BusArg Int32(int value);
    static BusArg UInt32(unsigned value);
    static BusArg Strings(std::vector<std::string> texts);  // as
    static BusArg Int32s(std::vector<int> values);          // ai
    // A file descriptor; the message holds a copy of its own.
    static BusArg Fd(int fd);
    // Anything else, appended by hand.
    static BusArg Raw(std::function<void(DBusMessageIter*)> append) {
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

// A signal, or a method called on us (call; it has been answered).
struct BusMessage {
    std::string interface, member, path;
    JsonValue args;  // an array of the message's arguments
    bool call = false;
};

class BusConnection {
public:
    ~BusConnection();
    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;

    // The session bus, where one answers: a bus that does not would hold
    // every call for half a minute.
    static std::unique_ptr<BusConnection> Open(std::string& error);
    // Tells the desktop portal who we are and hears its signals; false
    // where no portal answers within timeoutMs.
    bool ReachPortal(int timeoutMs, std::string& error);
    // Signals that match rule come to TakeSignals.
    bool AddMatch(const std::string& rule, std::string& error);
    // Our own name on the bus (":1.42"), where others call us.
    std::string UniqueName() const;

    // A portal method that answers through a Request: sends it with a
    // handle_token of our own in its last (options) argument, waits for
    // the Response; false when the portal refuses (results then hold what
    // it said with the refusal), fails or is silent.
    bool Call(const std::string& interface, const std::string& method, std::vector<BusArg> args,
              int timeoutMs, JsonValue& results, std::string& error);
    // A plain method call (Session.Close, a property): its answer.
    bool CallPlain(const std::string& path, const std::string& interface, const std::string& method,
                   const std::vector<BusArg>& args, int timeoutMs, JsonValue& answer,
                   std::string& error);
    // The same to another service of the bus.
    bool CallService(const std::string& service, const std::string& path,
                     const std::string& interface, const std::string& method,
                     const std::vector<BusArg>& args, int timeoutMs, JsonValue& answer,
                     std::string& error);
    // The portal interface's version property; 0 where it has none.
    unsigned Version(const std::string& interface);

    int Descriptor() const;
    bool Connected() const;
    // The signals (and calls to us) that have come, without waiting.
    std::vector<BusMessage> TakeSignals();
    // The same for a program that lives as long as the session: where the
    // bus has gone, it ends, as Xlib ends a program whose server went.
    std::vector<BusMessage> TakeSessionSignals();
    // Takes the first message that is wanted, waiting up to timeoutMs for
    // it and leaving the others for whoever wants them; false when none came.
    bool WaitFor(const std::function<bool(const BusMessage&)>& wanted, int timeoutMs,
                 BusMessage& message);
    // The D-Bus name of the last call's error ("org.freedesktop.DBus.Error.ServiceUnknown").
    const std::string& LastErrorName() const { return lastErrorName_; }
    // Why the portal may not know lmgrab by its application id; "" when
    // nothing says so.
    const std::string& AppIdProblem() const { return appIdProblem_; }
    // A token unique in this connection, for handle and session tokens.
    std::string Token();

private:
    explicit BusConnection(DBusConnection* connection);
    // Tells the portal who we are, before anything else is asked of it.
    void DeclareApp();
    void Pump(int timeoutMs);

    DBusConnection* connection_;
    std::vector<BusMessage> signals_;
    int tokens_ = 0;
    std::string lastErrorName_;
    std::string appIdProblem_;
};

// A libdbus message's arguments as a tree.
JsonValue MessageArgs(DBusMessage* message);
