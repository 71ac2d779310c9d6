#include "platform/Unicode.h"

#include <gtest/gtest.h>

namespace {

using namespace platform;

TEST(FoldCase, LettersOfEveryCoveredScriptMatchTheirOtherCase) {
    const struct {
        const char* a;
        const char* b;
    } pairs[] = {
        {"Software\\Orvane", "SOFTWARE\\orvane"},
        {"Äpfel", "äPFEL"},    // Latin-1
        {"Łódź", "łÓDŹ"},      // Latin Extended-A, both parities
        {"Ÿ", "ÿ"},            // the one Latin-1 letter whose capital lies outside it
        {"ΣΟΦΙΑ", "σοφια"},    // Greek
        {"ς", "Σ"},            // final sigma
        {"Привет", "пРИВЕТ"},  // Cyrillic
        {"Ёж", "ёЖ"},          // Cyrillic 0x450 block
    };
    for (const auto& p : pairs) EXPECT_EQ(FoldCase(p.a), FoldCase(p.b)) << p.a << " / " << p.b;
    EXPECT_NE(FoldCase("Action1"), FoldCase("Action10"));
    EXPECT_NE(FoldCase("÷"), FoldCase("×"));  // signs are not letters
}

TEST(FoldCase, BytesThatAreNotUtf8PassThrough) {
    EXPECT_EQ(FoldCase("a\xFF"
                       "b"),
              "A\xFF"
              "B");
    EXPECT_EQ(FoldCase("\xC3"), "\xC3");  // a lead byte cut off at the end
}

TEST(Utf16Length, CountsCodeUnitsAsTheRegistryLimitsDo) {
    EXPECT_EQ(Utf16Length(""), 0u);
    EXPECT_EQ(Utf16Length("abc"), 3u);
    EXPECT_EQ(Utf16Length("ä€"), 2u);
    EXPECT_EQ(Utf16Length("😀"), 2u);  // a surrogate pair
    EXPECT_EQ(Utf16Length("\xFF\xFE"), 2u);
}

TEST(Utf16, RoundTripsAndRepairsBrokenInput) {
    const std::string text = "C:\\Bilder\\Größe 😀";
    EXPECT_EQ(Utf16LeToUtf8(Utf8ToUtf16Le(text)), text);
    EXPECT_EQ(Utf16LeToUtf8(std::string("\x00\xD8", 2)), "\xEF\xBF\xBD");  // lone surrogate
    EXPECT_EQ(Utf16LeToUtf8(std::string("A\0B", 3)), "A");                 // odd byte dropped
    // Bytes that are not UTF-8 are taken as Windows-1252.
    EXPECT_EQ(Utf16LeToUtf8(Utf8ToUtf16Le("\x80")), "€");
}

TEST(Windows1252, MapsTheHighRangeAndKeepsValidUtf8) {
    EXPECT_EQ(Windows1252ToUtf8("caf\xE9"), "café");
    EXPECT_EQ(Windows1252ToUtf8("\x80\x9F"), "€Ÿ");
    EXPECT_EQ(Windows1252ToUtf8("\x81"), "\xC2\x81");
    EXPECT_EQ(ToValidUtf8("café"), "café");
    EXPECT_EQ(ToValidUtf8("caf\xE9"), "café");
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // an encoded surrogate
    EXPECT_FALSE(IsValidUtf8("\xC0\x80"));      // an overlong NUL
}

}  // namespace
