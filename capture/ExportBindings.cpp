#include "capture/ExportBindings.h"

#include <cstdio>

#include "platform/AppIds.h"

namespace {

// A word for sh: single-quoted, its own quotes closed around.
std::string ShellWord(const std::string& text) {
    std::string out = "'";
    for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A word of a desktop entry's Exec line: double-quoted where it must be.
std::string ExecWord(const std::string& text) {
    if (text.find_first_of(" \t\"'`$\\><~|&;*?#()") == std::string::npos) return text;
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += "\\\\";
        out += c;
    }
    return out + "\"";
}

// One line of text: configuration files end a value at a line's end.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    return text;
}

// What a binding of one action says; the desktop's own lines for it.
struct Binding {
    std::string number, label, program;
    HotKey key;
};

std::string Sway(const Binding& b) {
    return "# " + b.label + "\nbindsym --no-repeat " + DesktopKeyText(b.key, KeyStyle::Sway) +
           " exec " + ShellWord(b.program) + " --capture " + b.number + "\n";
}

std::string Hyprland(const Binding& b) {
    return "# " + b.label + "\nbind = " + DesktopKeyText(b.key, KeyStyle::Hyprland) + ", exec, " +
           ShellWord(b.program) + " --capture " + b.number + "\n";
}

// A GVariant text string, as gsettings parses a value: quotes and
// backslashes escaped, control characters as \u escapes.
std::string GVariantString(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "'";
}

std::string Gnome(const Binding& b) {
    const std::string at =
        "gsettings set $schema.custom-keybinding:$base/lumagrabber-" + b.number + "/ ";
    // GNOME splits the command as a shell would, then runs it without one.
    const std::string command = ShellWord(b.program) + " --capture " + b.number;
    return at + "name " + ShellWord(GVariantString("Lumagrabber: " + b.label)) + "\n" + at +
           "command " + ShellWord(GVariantString(command)) + "\n" + at + "binding " +
           ShellWord(GVariantString(DesktopKeyText(b.key, KeyStyle::Gnome))) + "\n";
}

std::string KdeEntryName(const std::string& number) {
    return std::string(platform::kToolAppId) + ".Action" + number + ".desktop";
}

std::string Kde(const Binding& b) {
    const std::string file = KdeEntryName(b.number);
    return "cat > \"$apps/" + file +
           "\" <<'END'\n[Desktop Entry]\nType=Application\n"
           "Name=Lumagrabber: " +
           b.label + "\nExec=" + ExecWord(b.program) + " --capture " + b.number +
           "\nNoDisplay=true\nEND\n"
           "$kwriteconfig --file kglobalshortcutsrc --group services --group " +
           file + " --key _launch " + ShellWord(DesktopKeyText(b.key, KeyStyle::Kde)) + "\n";
}

struct DesktopBindings {
    const char* name;
    const char* head;
    std::string (*line)(const Binding&);
    const char* tail;
};

constexpr DesktopBindings kDesktops[] = {
    {"sway",
     "# Lumagrabber's actions as sway key bindings, for sway's configuration.\n"
     "# While lmgrab runs on sway it binds its keys itself: use these only without it.\n",
     Sway, ""},
    {"hyprland", "# Lumagrabber's actions as Hyprland key bindings, for hyprland.conf.\n", Hyprland,
     ""},
    {"gnome",
     "#!/bin/sh\n# Lumagrabber's actions as GNOME custom key bindings: run this script once, and\n"
     "# again after the actions change.\nset -e\n"
     "schema=org.gnome.settings-daemon.plugins.media-keys\n"
     "base=/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings\nours=\n",
     Gnome,
     // Ours first, then the person's own without our earlier ones.
     "rest=$(gsettings get $schema custom-keybindings | sed -e 's/^@as //' -e 's/^\\[//' "
     "-e 's/\\]$//' | tr ',' '\\n' | sed 's/^ *//' | grep -v \"^'$base/lumagrabber-[0-9]*/'$\" "
     "| grep -v '^$' || true)\n"
     "gsettings set $schema custom-keybindings \"[$(printf '%s\\n' \"$ours\" \"$rest\" | "
     "grep -v '^$' | paste -sd,)]\"\n"},
    {"kde",
     "#!/bin/sh\n# Lumagrabber's actions as KDE Plasma shortcuts: run this script once, and\n"
     "# again after the actions change; then log out and in. System Settings >\n"
     "# Shortcuts lists them.\nset -e\n"
     "if command -v kwriteconfig6 >/dev/null; then kwriteconfig=kwriteconfig6\n"
     "elif command -v kwriteconfig5 >/dev/null; then kwriteconfig=kwriteconfig5\n"
     "else echo 'Neither kwriteconfig6 (Plasma 6) nor kwriteconfig5 (Plasma 5) is installed.' "
     ">&2; exit 1; fi\n"
     "apps=\"${XDG_DATA_HOME:-$HOME/.local/share}/applications\"\nmkdir -p \"$apps\"\n"
     // Earlier entries go first, also those of the names before this one.
     "for old in \"$apps\"/" LG_TOOL_APP_ID ".Action*.desktop "
     "\"$apps\"/net.local.lumagrabber-action-*.desktop; do\n"
     "  [ -e \"$old\" ] || continue\n"
     "  $kwriteconfig --file kglobalshortcutsrc --group services --group \"${old##*/}\" "
     "--key _launch --delete\n"
     "  rm -f \"$old\"\ndone\n",
     Kde, ""},
};

}  // namespace

bool IsBindingsDesktop(const std::string& desktop) {
    for (const DesktopBindings& d : kDesktops) {
        if (desktop == d.name) return true;
    }
    return false;
}

std::string ExportBindings(const CapturePlan& plan, const std::string& desktop,
                           const std::string& program) {
    const DesktopBindings* d = nullptr;
    for (const DesktopBindings& each : kDesktops) {
        if (desktop == each.name) d = &each;
    }
    if (!d) return "";
    std::string out = d->head;
    for (const PlannedAction& a : plan.actions) {
        const Binding b{std::to_string(a.number), OneLine(ActionLabel(a.number, a.name)), program,
                        a.key};
        if (!a.armable) {
            out += "# " + b.label + " (" + OneLine(a.hotKeyText) + ") has no usable hot key\n";
            continue;
        }
        out += d->line(b);
        if (d->line == Gnome) out += "ours=\"$ours,'$base/lumagrabber-" + b.number + "/'\"\n";
    }
    if (d->line == Gnome) out += "ours=${ours#,}\n";
    return out + d->tail;
}
