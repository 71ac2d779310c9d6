#include <gtest/gtest.h>

#include "platform/Numbers.h"

namespace {

TEST(Numbers, UnsignedTextsAreDecimalOrHexAndNothingElse) {
    struct Case {
        const char* text;
        std::uint64_t max;
        bool ok;
        std::uint64_t value;
    };
    const Case cases[] = {
        {"0", 10, true, 0},
        {"4294967295", 0xFFFFFFFF, true, 0xFFFFFFFF},
        {"4294967296", 0xFFFFFFFF, false, 0},
        {"0xFFFFFFFF", 0xFFFFFFFF, true, 0xFFFFFFFF},
        {"0XfF", 255, true, 255},
        {"0x", 255, false, 0},
        {"", 255, false, 0},
        {"-1", 255, false, 0},
        {"+1", 255, false, 0},
        {" 1", 255, false, 0},
        {"12a", 255, false, 0},
        {"18446744073709551615", UINT64_MAX, true, UINT64_MAX},
        {"18446744073709551616", UINT64_MAX, false, 0},
    };
    for (const Case& c : cases) {
        std::uint64_t n = 0;
        EXPECT_EQ(platform::ParseUnsigned(c.text, c.max, n), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(n, c.value) << c.text;
        }
    }
}

TEST(Numbers, HexDigitsHaveALengthLimit) {
    std::uint64_t n = 0;
    EXPECT_TRUE(platform::ParseHexDigits("deadBEEF", 8, n));
    EXPECT_EQ(n, 0xDEADBEEFu);
    EXPECT_FALSE(platform::ParseHexDigits("123456789", 8, n));
    EXPECT_FALSE(platform::ParseHexDigits("", 8, n));
    EXPECT_FALSE(platform::ParseHexDigits("0x1", 8, n));
    EXPECT_FALSE(platform::ParseHexDigits("g", 8, n));
}

TEST(Numbers, ByteStringsRoundTripAndRejectHalfBytes) {
    const std::string all = [] {
        std::string s;
        for (int b = 0; b < 256; ++b) s += static_cast<char>(b);
        return s;
    }();
    const std::string hex = platform::HexString(all);
    EXPECT_EQ(hex.substr(0, 6), "000102");
    EXPECT_EQ(hex.substr(hex.size() - 4), "FEFF");
    std::string back;
    ASSERT_TRUE(platform::ParseHexString(hex, back));
    EXPECT_EQ(back, all);
    EXPECT_TRUE(platform::ParseHexString("", back));
    EXPECT_EQ(back, "");
    EXPECT_FALSE(platform::ParseHexString("abc", back));
    EXPECT_FALSE(platform::ParseHexString("0g", back));
}

}  // namespace
