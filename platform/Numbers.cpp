#include "platform/Numbers.h"

#include <charconv>

namespace platform {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHexDigits(std::string_view digits, std::size_t maxDigits, std::uint64_t& n) {
    if (digits.empty() || digits.size() > maxDigits || maxDigits > 16) return false;
    n = 0;
    for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        n = n * 16 + static_cast<std::uint64_t>(d);
    }
    return true;
}

bool ParseUnsigned(std::string_view text, std::uint64_t max, std::uint64_t& n) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex) text.remove_prefix(2);
    if (text.empty()) return false;
    const char* last = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), last, n, hex ? 16 : 10);
    return ec == std::errc() && p == last && n <= max;
}

char HexDigitChar(unsigned value, bool lowerCase) {
    return (lowerCase ? "0123456789abcdef" : "0123456789ABCDEF")[value & 15];
}

std::string PercentEscaped(unsigned char byte) {
    return {'%', HexDigitChar(byte >> 4), HexDigitChar(byte)};
}

bool PercentDecoded(std::string_view text, std::string& bytes) {
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            bytes += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
        if (high < 0 || low < 0) return false;
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

std::string HexString(std::string_view bytes) {
    std::string s;
    s.reserve(bytes.size() * 2);
    for (char c : bytes) {
        s += HexDigitChar(static_cast<unsigned char>(c) >> 4);
        s += HexDigitChar(static_cast<unsigned char>(c));
    }
    return s;
}

bool ParseHexString(std::string_view digits, std::string& bytes) {
    if (digits.size() % 2 != 0) return false;
    bytes.clear();
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const int high = HexDigit(digits[i]);
        const int low = HexDigit(digits[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes += static_cast<char>(high * 16 + low);
    }
    return true;
}

}  // namespace platform
