// A small JSON reader for what desktops answer (sway's IPC): every value
// kept, numbers as doubles, nesting bounded so no answer can exhaust the
// stack.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct JsonValue {
    enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<JsonValue> items;   // of an array, or an object's values in order
    std::vector<std::string> keys;  // of an object: the name of each of its items

    // The member named so; a null value when there is none.
    const JsonValue& operator[](std::string_view name) const;
    int Int() const { return static_cast<int>(number); }
};

// The whole text as one value; false with where it went wrong.
bool ParseJson(std::string_view text, JsonValue& value, std::string& error);
