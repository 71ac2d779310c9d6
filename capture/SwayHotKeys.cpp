#include "capture/SwayHotKeys.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "model/ActionCodes.h"

namespace {

// What our bindings run: sway does nothing, the binding event says which.
constexpr const char* kCommand = "nop lmgrab-action ";

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string SwayComboKey(const std::string& combo) {
    std::vector<std::string> parts;
    std::stringstream in(Lower(combo));
    for (std::string part; std::getline(in, part, '+');) {
        if (part == "control") part = "ctrl";
        if (part == "mod1") part = "alt";
        if (part == "mod4" || part == "super") part = "logo";
        parts.push_back(part);
    }
    if (parts.empty()) return "";
    // The key stays last; the modifiers in one order.
    std::sort(parts.begin(), parts.end() - 1);
    std::string key;
    for (const std::string& p : parts) key += (key.empty() ? "" : "+") + p;
    return key;
}

std::unique_ptr<SwayHotKeys> SwayHotKeys::Open(std::shared_ptr<SwayIpc> commands,
                                               const std::string& socket, std::string& error) {
    auto events = SwayIpc::Connect(socket, error);
    JsonValue reply;
    // Workspace events include "reload", after which sway has forgotten
    // every binding made at run time.
    if (!events || !events->Ask(SwayIpc::kSubscribe, "[\"binding\", \"workspace\"]", reply, error))
        return nullptr;
    if (!reply["success"].boolean) {
        error = "sway does not tell its binding events";
        return nullptr;
    }
    return std::unique_ptr<SwayHotKeys>(new SwayHotKeys(std::move(commands), std::move(events)));
}

SwayHotKeys::~SwayHotKeys() {
    Disarm();
}

bool SwayHotKeys::Run(const std::string& command) {
    JsonValue reply;
    std::string error;
    return commands_->Ask(SwayIpc::kRunCommand, command, reply, error) && !reply.items.empty() &&
           reply.items[0]["success"].boolean;
}

std::map<std::string, bool> SwayHotKeys::UsersBindings() {
    std::map<std::string, bool> taken;
    JsonValue reply;
    std::string error;
    if (!commands_->Ask(SwayIpc::kGetConfig, "", reply, error)) return taken;
    std::stringstream config(reply["config"].string);
    for (std::string line; std::getline(config, line);) {
        std::stringstream words(line);
        std::string word;
        if (!(words >> word) || (word != "bindsym" && word != "bindcode")) continue;
        while (words >> word && word.rfind("--", 0) == 0) {
        }
        taken[SwayComboKey(word)] = true;
    }
    return taken;
}

std::vector<HotKeys::Outcome> SwayHotKeys::Arm(const std::vector<HotKeyBinding>& keys) {
    wanted_ = keys;
    std::vector<Outcome> outcomes(keys.size());
    std::map<std::string, int> wanted;
    const std::map<std::string, bool> users =
        keys.empty() ? std::map<std::string, bool>{} : UsersBindings();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string combo = DesktopKeyText(keys[i].key, KeyStyle::Sway);
        if (combo.empty()) {
            outcomes[i].result = GrabResult::NoSuchKey;
            continue;
        }
        const auto ours = bound_.find(combo);
        if (ours == bound_.end() && users.count(SwayComboKey(combo))) {
            outcomes[i] = {GrabResult::Taken, "bound in sway's own configuration"};
            continue;
        }
        if (wanted.count(combo)) {
            outcomes[i].result = GrabResult::Taken;
            continue;
        }
        // Bound anew only when it fires another action; kept keys stay bound.
        if ((ours == bound_.end() || ours->second != keys[i].id) &&
            !Run("bindsym --no-repeat " + combo + " " + kCommand + std::to_string(keys[i].id))) {
            outcomes[i] = {GrabResult::Taken, "refused by sway"};
            continue;
        }
        wanted[combo] = keys[i].id;
    }
    for (const auto& [combo, id] : bound_) {
        if (!wanted.count(combo)) Run("unbindsym " + combo);
    }
    bound_ = std::move(wanted);
    return outcomes;
}

void SwayHotKeys::ProcessEvents(const std::function<void(int id)>& pressed) {
    std::vector<SwayIpc::Event> events;
    if (!events_->TakeEvents(events)) {
        // The session has ended, as Xlib ends a program whose server went.
        std::fprintf(stderr, "lmgrab: sway has ended, and lmgrab with it\n");
        std::exit(1);
    }
    for (const SwayIpc::Event& event : events) {
        if (event.type == SwayIpc::kWorkspaceEvent && event.body["change"].string == "reload") {
            bound_.clear();
            Arm(wanted_);
            std::fprintf(stderr, "lmgrab: sway reloaded its configuration; hot keys bound again\n");
            continue;
        }
        if (event.type != SwayIpc::kBindingEvent || event.body["change"].string != "run") continue;
        const std::string& command = event.body["binding"]["command"].string;
        if (command.rfind(kCommand, 0) != 0) continue;
        const std::string number = command.substr(std::string(kCommand).size());
        if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos ||
            number.size() > 9)
            continue;
        pressed(std::stoi(number));
    }
}
