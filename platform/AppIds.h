// The names desktops know the programs by: their desktop entries' file
// names, the portal's application ids, the bus names of their own. Set in
// the top CMakeLists.txt, which names the installed entries by them too.
// GNOME takes only valid reverse-DNS ids (two or more dotted elements).
#pragma once

namespace platform {

inline constexpr const char* kToolAppId = LG_TOOL_APP_ID;
inline constexpr const char* kEditorAppId = LG_EDITOR_APP_ID;

}  // namespace platform
