// Number texts as the registry's tools write them: hexadecimal digits,
// byte strings and "0x" numbers. Strict: anything beside the number fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The value of a hexadecimal digit of either case, or -1.
int HexDigit(char c);
// The digit of a value 0..15: upper case, or lower case as .reg files write it.
char HexDigitChar(unsigned value, bool lowerCase = false);
// "%XX": a byte escaped as in URIs and our file names.
std::string PercentEscaped(unsigned char byte);
// Text with each "%XX" turned back into its byte; false for a "%" without
// two hexadecimal digits.
bool PercentDecoded(std::string_view text, std::string& bytes);

// 1 to maxDigits hexadecimal digits, without a prefix.
bool ParseHexDigits(std::string_view digits, std::size_t maxDigits, std::uint64_t& n);

// Decimal digits, or hexadecimal ones after "0x" or "0X", at most max.
bool ParseUnsigned(std::string_view text, std::uint64_t max, std::uint64_t& n);

// Each byte as two upper-case hexadecimal digits.
std::string HexString(std::string_view bytes);

// Pairs of hexadecimal digits to bytes; false for an odd count or a non-digit.
bool ParseHexString(std::string_view digits, std::string& bytes);

}  // namespace platform
