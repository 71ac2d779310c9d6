#include "capture/BusConnection.h"

#include "platform/AppIds.h"
#include "platform/Deadline.h"
#include "platform/SessionBus.h"

#include <dbus/dbus.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <utility>

namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
// The tool's desktop entry's name: desktops list its shortcuts and
// permissions under it.
constexpr const char* kAppId = platform::kToolAppId;

struct Message {
    DBusMessage* m;
    ~Message() {
        if (m) dbus_message_unref(m);
    }
};

struct Error {
    DBusError e;
    Error() { dbus_error_init(&e); }
    ~Error() { dbus_error_free(&e); }
    std::string Text() const { return e.message ? e.message : "unknown error"; }
};

using Pairs = std::vector<std::pair<std::string, std::string>>;

void AppendOptions(DBusMessageIter* to, const Pairs& options,
                   const std::vector<std::string>& bools) {
    DBusMessageIter array;
    dbus_message_iter_open_container(to, DBUS_TYPE_ARRAY, "{sv}", &array);
    for (const auto& [key, value] : options) {
        DBusMessageIter entry, variant;
        dbus_message_iter_open_container(&array, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
        const char* k = key.c_str();
        dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &k);
        bool isBool = false;
        for (const std::string& b : bools) isBool = isBool || b == key;
        dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, isBool ? "b" : "s", &variant);
        if (isBool) {
            const dbus_bool_t v = value == "true";
            dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &v);
        } else {
            const char* v = value.c_str();
            dbus_message_iter_append_basic(&variant, DBUS_TYPE_STRING, &v);
        }
        dbus_message_iter_close_container(&entry, &variant);
        dbus_message_iter_close_container(&array, &entry);
    }
    dbus_message_iter_close_container(to, &array);
}

void Append(DBusMessage* message, const BusArg& arg) {
    DBusMessageIter it;
    dbus_message_iter_init_append(message, &it);
    const char* text = arg.text.c_str();
    switch (arg.kind) {
        case BusArg::Kind::String:
            dbus_message_iter_append_basic(&it, DBUS_TYPE_STRING, &text);
            break;
        case BusArg::Kind::ObjectPath:
            dbus_message_iter_append_basic(&it, DBUS_TYPE_OBJECT_PATH, &text);
            break;
        case BusArg::Kind::Options:
            AppendOptions(&it, arg.options, arg.bools);
            break;
        case BusArg::Kind::Raw:
            if (arg.append) arg.append(&it);
            break;
        case BusArg::Kind::Shortcuts: {
            DBusMessageIter array;
            dbus_message_iter_open_container(&it, DBUS_TYPE_ARRAY, "(sa{sv})", &array);
            for (const auto& [id, options] : arg.shortcuts) {
                DBusMessageIter item;
                dbus_message_iter_open_container(&array, DBUS_TYPE_STRUCT, nullptr, &item);
                const char* i = id.c_str();
                dbus_message_iter_append_basic(&item, DBUS_TYPE_STRING, &i);
                AppendOptions(&item, options, {});
                dbus_message_iter_close_container(&array, &item);
            }
            dbus_message_iter_close_container(&it, &array);
            break;
        }
    }
}

JsonValue Read(DBusMessageIter* it, int depth) {
    JsonValue v;
    if (depth > 64) return v;
    const int type = dbus_message_iter_get_arg_type(it);
    if (type == DBUS_TYPE_STRING || type == DBUS_TYPE_OBJECT_PATH || type == DBUS_TYPE_SIGNATURE) {
        const char* text = nullptr;
        dbus_message_iter_get_basic(it, &text);
        v.type = JsonValue::Type::String;
        v.string = text ? text : "";
    } else if (type == DBUS_TYPE_BOOLEAN) {
        dbus_bool_t b = FALSE;
        dbus_message_iter_get_basic(it, &b);
        v.type = JsonValue::Type::Bool;
        v.boolean = b;
    } else if (dbus_type_is_basic(type)) {
        DBusBasicValue basic{};
        dbus_message_iter_get_basic(it, &basic);
        v.type = JsonValue::Type::Number;
        switch (type) {
            case DBUS_TYPE_BYTE:
                v.number = basic.byt;
                break;
            case DBUS_TYPE_INT16:
                v.number = basic.i16;
                break;
            case DBUS_TYPE_UINT16:
                v.number = basic.u16;
                break;
            case DBUS_TYPE_INT32:
                v.number = basic.i32;
                break;
            case DBUS_TYPE_UINT32:
                v.number = basic.u32;
                break;
            case DBUS_TYPE_INT64:
                v.number = static_cast<double>(basic.i64);
                break;
            case DBUS_TYPE_UINT64:
                v.number = static_cast<double>(basic.u64);
                break;
            case DBUS_TYPE_DOUBLE:
                v.number = basic.dbl;
                break;
            default:
                v.type = JsonValue::Type::Null;
                break;
        }
    } else if (type == DBUS_TYPE_VARIANT) {
        DBusMessageIter inner;
        dbus_message_iter_recurse(it, &inner);
        v = Read(&inner, depth + 1);
    } else if (type == DBUS_TYPE_ARRAY || type == DBUS_TYPE_STRUCT) {
        const bool dict = type == DBUS_TYPE_ARRAY &&
                          dbus_message_iter_get_element_type(it) == DBUS_TYPE_DICT_ENTRY;
        v.type = dict ? JsonValue::Type::Object : JsonValue::Type::Array;
        DBusMessageIter inner;
        dbus_message_iter_recurse(it, &inner);
        while (dbus_message_iter_get_arg_type(&inner) != DBUS_TYPE_INVALID) {
            if (dict) {
                DBusMessageIter entry;
                dbus_message_iter_recurse(&inner, &entry);
                JsonValue key = Read(&entry, depth + 1);
                dbus_message_iter_next(&entry);
                v.keys.push_back(key.string);
                v.items.push_back(Read(&entry, depth + 1));
            } else {
                v.items.push_back(Read(&inner, depth + 1));
            }
            dbus_message_iter_next(&inner);
        }
    }
    return v;
}

}  // namespace

BusArg BusArg::Int32(int value) {
    return Raw([value](DBusMessageIter* it) {
        const dbus_int32_t v = value;
        dbus_message_iter_append_basic(it, DBUS_TYPE_INT32, &v);
    });
}

BusArg BusArg::UInt32(unsigned value) {
    return Raw([value](DBusMessageIter* it) {
        const dbus_uint32_t v = value;
        dbus_message_iter_append_basic(it, DBUS_TYPE_UINT32, &v);
    });
}

BusArg BusArg::Strings(std::vector<std::string> texts) {
    return Raw([texts = std::move(texts)](DBusMessageIter* it) {
        DBusMessageIter array;
        dbus_message_iter_open_container(it, DBUS_TYPE_ARRAY, "s", &array);
        for (const std::string& t : texts) {
            const char* text = t.c_str();
            dbus_message_iter_append_basic(&array, DBUS_TYPE_STRING, &text);
        }
        dbus_message_iter_close_container(it, &array);
    });
}

BusArg BusArg::Int32s(std::vector<int> values) {
    return Raw([values = std::move(values)](DBusMessageIter* it) {
        DBusMessageIter array;
        dbus_message_iter_open_container(it, DBUS_TYPE_ARRAY, "i", &array);
        for (const int value : values) {
            const dbus_int32_t v = value;
            dbus_message_iter_append_basic(&array, DBUS_TYPE_INT32, &v);
        }
        dbus_message_iter_close_container(it, &array);
    });
}

BusArg BusArg::Fd(int fd) {
    return Raw(
        [fd](DBusMessageIter* it) { dbus_message_iter_append_basic(it, DBUS_TYPE_UNIX_FD, &fd); });
}

JsonValue MessageArgs(DBusMessage* message) {
    JsonValue args;
    args.type = JsonValue::Type::Array;
    DBusMessageIter it;
    if (!dbus_message_iter_init(message, &it)) return args;
    do {
        args.items.push_back(Read(&it, 0));
    } while (dbus_message_iter_next(&it));
    return args;
}

BusConnection::BusConnection(DBusConnection* connection) : connection_(connection) {}

BusConnection::~BusConnection() {
    dbus_connection_close(connection_);
    dbus_connection_unref(connection_);
}

std::unique_ptr<BusConnection> BusConnection::Open(std::string& error) {
    if (!platform::SessionBusRuns() || !platform::SessionBusAnswers(500)) {
        error = "no session bus answers";
        return nullptr;
    }
    Error e;
    DBusConnection* connection = dbus_bus_get_private(DBUS_BUS_SESSION, &e.e);
    if (!connection) {
        error = "no session bus (" + e.Text() + ")";
        return nullptr;
    }
    dbus_connection_set_exit_on_disconnect(connection, FALSE);
    return std::unique_ptr<BusConnection>(new BusConnection(connection));
}

bool BusConnection::AddMatch(const std::string& rule, std::string& error) {
    Error e;
    dbus_bus_add_match(connection_, rule.c_str(), &e.e);
    if (!dbus_error_is_set(&e.e)) return true;
    error = "the session bus refuses to pass on signals (" + e.Text() + ")";
    return false;
}

std::string BusConnection::UniqueName() const {
    const char* name = dbus_bus_get_unique_name(connection_);
    return name ? name : "";
}

bool BusConnection::ReachPortal(int timeoutMs, std::string& error) {
    if (!AddMatch("type='signal',sender='org.freedesktop.portal.Desktop'", error)) return false;
    DeclareApp();
    JsonValue answer;
    if (!CallPlain(kPortalPath, "org.freedesktop.DBus.Peer", "Ping", {}, timeoutMs, answer,
                   error)) {
        error = "no desktop portal answers on the session bus (" + error + ")";
        return false;
    }
    return true;
}

void BusConnection::DeclareApp() {
    JsonValue answer;
    std::string error;
    // Newer frontends take the id; older ones read it from the process's
    // systemd scope, "app-<id>-<anything>.scope".
    if (CallPlain(kPortalPath, "org.freedesktop.host.portal.Registry", "Register",
                  {BusArg::String(kAppId), BusArg::Options()}, 2000, answer, error))
        return;
    // A frontend with the registry refuses an id whose desktop entry it
    // cannot find; desktops then take us for a program without a name.
    if (lastErrorName_ != "org.freedesktop.DBus.Error.UnknownMethod" &&
        lastErrorName_ != "org.freedesktop.DBus.Error.UnknownInterface") {
        appIdProblem_ = std::string("the desktop portal does not know lmgrab as ") + kAppId + " (" +
                        error + "): install its desktop entry " + kAppId +
                        ".desktop (the package does)";
    }
    std::ifstream cgroup("/proc/self/cgroup");
    const std::string scope = std::string("app-") + kAppId + "-";
    for (std::string line; std::getline(cgroup, line);) {
        if (line.find("/" + scope) != std::string::npos) return;
    }
    const auto pid = static_cast<dbus_uint32_t>(::getpid());
    const auto pids = BusArg::Raw([pid](DBusMessageIter* it) {
        DBusMessageIter array, item, variant, list;
        dbus_message_iter_open_container(it, DBUS_TYPE_ARRAY, "(sv)", &array);
        dbus_message_iter_open_container(&array, DBUS_TYPE_STRUCT, nullptr, &item);
        const char* name = "PIDs";
        dbus_message_iter_append_basic(&item, DBUS_TYPE_STRING, &name);
        dbus_message_iter_open_container(&item, DBUS_TYPE_VARIANT, "au", &variant);
        dbus_message_iter_open_container(&variant, DBUS_TYPE_ARRAY, "u", &list);
        dbus_message_iter_append_basic(&list, DBUS_TYPE_UINT32, &pid);
        dbus_message_iter_close_container(&variant, &list);
        dbus_message_iter_close_container(&item, &variant);
        dbus_message_iter_close_container(&array, &item);
        dbus_message_iter_close_container(it, &array);
    });
    const auto none = BusArg::Raw([](DBusMessageIter* it) {
        DBusMessageIter array;
        dbus_message_iter_open_container(it, DBUS_TYPE_ARRAY, "(sa(sv))", &array);
        dbus_message_iter_close_container(it, &array);
    });
    // Without a user's systemd this fails, and the portal sees no id.
    CallService("org.freedesktop.systemd1", "/org/freedesktop/systemd1",
                "org.freedesktop.systemd1.Manager", "StartTransientUnit",
                {BusArg::String(scope + std::to_string(pid) + ".scope"), BusArg::String("fail"),
                 pids, none},
                2000, answer, error);
}

std::string BusConnection::Token() {
    return "lmgrab" + std::to_string(++tokens_);
}

int BusConnection::Descriptor() const {
    int fd = -1;
    dbus_connection_get_unix_fd(connection_, &fd);
    return fd;
}

bool BusConnection::Connected() const {
    return dbus_connection_get_is_connected(connection_);
}

void BusConnection::Pump(int timeoutMs) {
    // Messages read during a blocking call wait in the queue already: a
    // wait for more would miss them until the time is up.
    if (dbus_connection_get_dispatch_status(connection_) != DBUS_DISPATCH_DATA_REMAINS)
        dbus_connection_read_write(connection_, timeoutMs);
    while (DBusMessage* raw = dbus_connection_pop_message(connection_)) {
        const Message message{raw};
        const int type = dbus_message_get_type(raw);
        if (type != DBUS_MESSAGE_TYPE_SIGNAL && type != DBUS_MESSAGE_TYPE_METHOD_CALL) continue;
        const bool call = type == DBUS_MESSAGE_TYPE_METHOD_CALL;
        if (call) {
            // Answered at once, empty: the caller waits for nothing of ours.
            const Message reply{dbus_message_new_method_return(raw)};
            if (reply.m) dbus_connection_send(connection_, reply.m, nullptr);
        }
        const char* interface = dbus_message_get_interface(raw);
        const char* member = dbus_message_get_member(raw);
        const char* path = dbus_message_get_path(raw);
        signals_.push_back({interface ? interface : "", member ? member : "", path ? path : "",
                            MessageArgs(raw), call});
    }
}

bool BusConnection::WaitFor(const std::function<bool(const BusMessage&)>& wanted, int timeoutMs,
                            BusMessage& message) {
    const auto deadline = platform::DeadlineIn(timeoutMs);
    for (bool last = false;;) {
        for (auto it = signals_.begin(); it != signals_.end(); ++it) {
            if (!wanted(*it)) continue;
            message = std::move(*it);
            signals_.erase(it);
            return true;
        }
        if (last) return false;
        const int left = platform::MillisecondsLeft(deadline);
        last = left == 0;  // one more look at what has come, without waiting
        Pump(left);
    }
}

std::vector<BusMessage> BusConnection::TakeSessionSignals() {
    if (!Connected()) {
        std::fprintf(stderr, "lmgrab: the session bus has gone, and lmgrab with it\n");
        std::exit(1);
    }
    return TakeSignals();
}

std::vector<BusMessage> BusConnection::TakeSignals() {
    Pump(0);
    return std::exchange(signals_, {});
}

bool BusConnection::CallPlain(const std::string& path, const std::string& interface,
                              const std::string& method, const std::vector<BusArg>& args,
                              int timeoutMs, JsonValue& answer, std::string& error) {
    return CallService(kPortal, path, interface, method, args, timeoutMs, answer, error);
}

bool BusConnection::CallService(const std::string& service, const std::string& path,
                                const std::string& interface, const std::string& method,
                                const std::vector<BusArg>& args, int timeoutMs, JsonValue& answer,
                                std::string& error) {
    const Message call{dbus_message_new_method_call(service.c_str(), path.c_str(),
                                                    interface.c_str(), method.c_str())};
    if (!call.m) return error = "out of memory", false;
    for (const BusArg& a : args) Append(call.m, a);
    Error e;
    const Message reply{
        dbus_connection_send_with_reply_and_block(connection_, call.m, timeoutMs, &e.e)};
    if (!reply.m) {
        error = e.Text();
        lastErrorName_ = e.e.name ? e.e.name : "";
        return false;
    }
    lastErrorName_.clear();
    answer = MessageArgs(reply.m);
    return true;
}

unsigned BusConnection::Version(const std::string& interface) {
    JsonValue answer;
    std::string error;
    const std::vector<BusArg> args{BusArg::String(interface), BusArg::String("version")};
    if (!CallPlain(kPortalPath, "org.freedesktop.DBus.Properties", "Get", args, 2000, answer,
                   error) ||
        answer.items.empty())
        return 0;
    return static_cast<unsigned>(answer.items[0].number);
}

bool BusConnection::Call(const std::string& interface, const std::string& method,
                         std::vector<BusArg> args, int timeoutMs, JsonValue& results,
                         std::string& error) {
    const std::string token = Token();
    results = {};
    if (args.empty() || args.back().kind != BusArg::Kind::Options) {
        error = "a portal request needs its options";
        return false;
    }
    args.back().options.emplace_back("handle_token", token);
    JsonValue answer;
    if (!CallPlain(kPortalPath, interface, method, args, timeoutMs, answer, error)) return false;
    const std::string handle = answer.items.empty() ? "" : answer.items[0].string;
    BusMessage response;
    if (!WaitFor([&](const BusMessage& m) { return m.member == "Response" && m.path == handle; },
                 timeoutMs, response))
        return error = "the portal did not answer in time", false;
    const JsonValue& r = response.args;
    if (r.items.size() < 2) return error = "the portal answered nothing", false;
    results = r.items[1];  // also with a refusal: some desktops say more there
    if (r.items[0].number != 0) {
        error = r.items[0].number == 1 ? "the person cancelled it" : "the desktop refused it";
        return false;
    }
    return true;
}
