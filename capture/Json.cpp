#include "capture/Json.h"

#include <cstdlib>

#include "platform/Numbers.h"
#include "platform/Unicode.h"

namespace {

constexpr int kDeepest = 200;

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool Document(JsonValue& value, std::string& error) {
        if (!Value(value, 0) || (Space(), at_ != text_.size())) {
            error = "not JSON at byte " + std::to_string(at_);
            return false;
        }
        return true;
    }

private:
    void Space() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }
    bool Take(char c) {
        Space();
        if (at_ < text_.size() && text_[at_] == c) return ++at_, true;
        return false;
    }
    bool Word(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    bool Value(JsonValue& v, int depth) {
        if (depth > kDeepest) return false;
        Space();
        if (at_ >= text_.size()) return false;
        const char c = text_[at_];
        if (c == '{') return Object(v, depth);
        if (c == '[') return Array(v, depth);
        if (c == '"') return v.type = JsonValue::Type::String, String(v.string);
        if (Word("null")) return v.type = JsonValue::Type::Null, true;
        if (Word("true")) return v.type = JsonValue::Type::Bool, v.boolean = true;
        if (Word("false")) return v.type = JsonValue::Type::Bool, v.boolean = false, true;
        return Number(v);
    }

    bool Object(JsonValue& v, int depth) {
        v.type = JsonValue::Type::Object;
        ++at_;
        if (Take('}')) return true;
        do {
            std::string key;
            Space();
            if (at_ >= text_.size() || text_[at_] != '"' || !String(key) || !Take(':'))
                return false;
            v.keys.push_back(std::move(key));
            v.items.emplace_back();
            if (!Value(v.items.back(), depth + 1)) return false;
        } while (Take(','));
        return Take('}');
    }

    bool Array(JsonValue& v, int depth) {
        v.type = JsonValue::Type::Array;
        ++at_;
        if (Take(']')) return true;
        do {
            v.items.emplace_back();
            if (!Value(v.items.back(), depth + 1)) return false;
        } while (Take(','));
        return Take(']');
    }

    bool Number(JsonValue& v) {
        const std::size_t start = at_;
        while (at_ < text_.size() &&
               std::string_view("+-0123456789.eE").find(text_[at_]) != std::string_view::npos)
            ++at_;
        if (at_ == start) return false;
        const std::string digits(text_.substr(start, at_ - start));
        char* end = nullptr;
        v.number = std::strtod(digits.c_str(), &end);
        v.type = JsonValue::Type::Number;
        return end == digits.c_str() + digits.size();
    }

    bool Hex4(unsigned& code) {
        if (at_ + 4 > text_.size()) return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const int d = platform::HexDigit(text_[at_++]);
            if (d < 0) return false;
            code = code * 16 + static_cast<unsigned>(d);
        }
        return true;
    }

    bool String(std::string& out) {
        ++at_;  // the opening quote
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) return false;
            const char e = text_[at_++];
            const std::string_view plain = "\"\\/bfnrt", meant = "\"\\/\b\f\n\r\t";
            if (const std::size_t i = plain.find(e); i != std::string_view::npos) {
                out += meant[i];
            } else if (e == 'u') {
                unsigned code = 0;
                if (!Hex4(code)) return false;
                // A pair of surrogates is one character beyond the first plane.
                if (code >= 0xD800 && code < 0xDC00 && Word("\\u")) {
                    unsigned low = 0;
                    if (!Hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                } else if (code >= 0xD800 && code < 0xE000) {
                    code = 0xFFFD;
                }
                platform::AppendUtf8(out, code);
            } else {
                return false;
            }
        }
        return false;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](std::string_view name) const {
    static const JsonValue none;
    for (std::size_t i = 0; i < keys.size() && i < items.size(); ++i) {
        if (keys[i] == name) return items[i];
    }
    return none;
}

bool ParseJson(std::string_view text, JsonValue& value, std::string& error) {
    value = {};
    return Reader(text).Document(value, error);
}
