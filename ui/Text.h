// Conversions between the model's UTF-8 strings and the controls' text,
// and the window's rules for reading numbers and names from an edit.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

// Text that is not UTF-8 (a profile from another desktop's code page) is
// shown as Windows-1252 rather than as replacement marks.
QString FromModel(const std::string& text);
std::string ToModel(const QString& text);

// Without leading and trailing blanks and control characters.
QString TrimBlanks(const QString& text);

// A whole number as the editor reads one: optional leading blanks, an
// optional sign, decimal digits or "$"/"0x" and hex digits, within 32 bits.
bool ParseWholeNumber(const QString& text, std::int32_t& number);

// Maps between entries of the key list and virtual-key codes: "0".."9",
// "A".."Z", "F1".."F12". -1 and 0 for what the list does not hold.
// The profile dialogs' filter, as the window's layout writes it.
QString ProfileFilter();

int VirtualKeyIndex(int virtualKey);
int VirtualKeyCode(int index);
