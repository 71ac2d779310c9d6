// The user's own folders, as the XDG base directory rules name them: one
// place for the fallbacks every program of ours uses.
#pragma once

#include <string>

namespace platform {

// $HOME when it is an absolute path, else the user's entry in the password
// database; "" when neither says.
std::string HomeFolder();
// $XDG_CONFIG_HOME when absolute, else ~/.config; "" without a home.
std::string ConfigFolder();
// $XDG_STATE_HOME when absolute, else ~/.local/state; "" without a home.
std::string StateFolder();

}  // namespace platform
