// Text helpers for names and strings kept as UTF-8 bytes. Nothing here
// throws: bytes that are not UTF-8 are carried through as they are.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Folds letters to one case so that names compare as the registry compares
// them: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters.
std::string FoldCase(std::string_view utf8);

// Length in UTF-16 code units, the unit of the registry's name limits.
// A byte that is not part of a valid sequence counts as one unit.
std::size_t Utf16Length(std::string_view utf8);

bool IsValidUtf8(std::string_view bytes);

// The character as UTF-8 bytes, at the end of out.
void AppendUtf8(std::string& out, char32_t cp);

// UTF-16LE bytes (no BOM) to UTF-8; unpaired surrogates become U+FFFD and
// a trailing odd byte is dropped.
std::string Utf16LeToUtf8(std::string_view bytes);

// UTF-8 to UTF-16LE bytes; invalid bytes are taken as Windows-1252.
std::string Utf8ToUtf16Le(std::string_view utf8);

// Windows-1252 ("ANSI") text to UTF-8.
std::string Windows1252ToUtf8(std::string_view bytes);

// Valid UTF-8 stays; otherwise the text is taken as Windows-1252.
std::string ToValidUtf8(std::string_view bytes);

// Text for one line of a terminal or a log: control characters become
// \n, \r, \t or \xNN, so that a name can never begin a line of its own.
std::string Printable(std::string_view text);

// A control character (C0 or DEL): nothing a name may hold.
bool HasControlCharacter(std::string_view text);

}  // namespace platform
