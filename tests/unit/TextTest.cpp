#include "base/Text.h"

#include <gtest/gtest.h>

#include <limits>

using namespace kestrine;

TEST(Text, PosFindsFirstOccurrenceFromOne) {
    EXPECT_EQ(Pos("%1.", "ffmpeg -i %1 -b 1 %1.mov"), 19);
    EXPECT_EQ(Pos("a", "abca"), 1);
    EXPECT_EQ(Pos("x", "abc"), 0);
    EXPECT_EQ(Pos("", "abc"), 0);
    EXPECT_EQ(Pos("abcd", "abc"), 0);
}

TEST(Text, CopyByStartAndCount) {
    struct Case {
        const char* text;
        std::int64_t start, count;
        const char* expected;
    } cases[] = {
        {"abcdef", 1, 3, "abc"}, {"abcdef", 4, 99, "def"}, // runs past the end: stops there
        {"abcdef", 6, 1, "f"},   {"abcdef", 7, 1, ""},     // start past the end
        {"abcdef", 2, 0, ""},    {"abcdef", 2, -5, ""},    // count of zero or less
        {"abcdef", 0, 2, "ab"},  {"abcdef", -3, 2, "ab"},  // start below 1 counts from 1
        {"", 1, 1, ""},          {"abcdef", 1, std::numeric_limits<std::int64_t>::max(), "abcdef"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Copy(c.text, c.start, c.count), c.expected)
            << c.text << " " << c.start << " " << c.count;
}

TEST(Text, LowerAsciiLowersOnlyAToZ) {
    EXPECT_EQ(LowerAscii("FFmpeg -I %1 ÄÖ [@]"), "ffmpeg -i %1 ÄÖ [@]");
}

TEST(Text, TrimControlRemovesCodesZeroTo32) {
    EXPECT_EQ(TrimControl(std::string("\0\t \r\n time=1 \x1f\x20", 16)), "time=1");
    EXPECT_EQ(TrimControl(" \r\n"), "");
    EXPECT_EQ(TrimControl("a\x7f"), "a\x7f"); // 127 is not trimmed
}

TEST(Text, StrToIntDefFollowsTheClassLibrary) {
    struct Case {
        const char* text;
        std::int32_t expected;
    } cases[] = {
        {"02", 2},
        {" 5", 5},
        {"   -17", -17},
        {"+8", 8},
        {"5 ", 0},
        {"rt", 0},
        {"te", 0},
        {"", 0},
        {" ", 0},
        {"-", 0},
        {"1:", 0},
        {"\t5", 0}, // only spaces are skipped
        {"$1F", 31},
        {"x10", 16},
        {"X10", 16},
        {"0x10", 16},
        {"0XfF", 255},
        {"-$10", -16},
        {"$", 0},
        {"0x", 0},
        {"$G", 0},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"2147483648", 0},
        {"99999999999999999999", 0},
        {"$7FFFFFFF", 2147483647},
        {"$80000000", 0},
        {"1.5", 0},
        {"00012", 12},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StrToIntDef(c.text, 0), c.expected) << '"' << c.text << '"';
    EXPECT_EQ(StrToIntDef("word", -7), -7);
}

TEST(Text, SettingsIntegersAndBooleans) {
    struct Case {
        const char* text;
        bool fallback;
        bool expected;
    } cases[] = {
        {"1", false, true},    {"0", true, false},   {"2", false, true},
        {"-1", false, true},   {"0x1", false, true}, {"0x0", true, false},
        {"0x", true, true},    {"0x", false, false}, {"yes", true, true},
        {"yes", false, false}, {"", true, true},     {"", false, false},
        {" 0", true, false},   {"$0", true, false},  {"99999999999", false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IniStrToBool(c.text, c.fallback), c.expected)
            << '"' << c.text << '"' << c.fallback;
    EXPECT_EQ(IniStrToIntDef("0x1F", 0), 31);
    EXPECT_EQ(IniStrToIntDef("0x-1", 5), 5); // "$-1" is no integer
    EXPECT_EQ(IniBoolToStr(true), "1");
    EXPECT_EQ(IniBoolToStr(false), "0");
}

TEST(Text, TwoDigitsAndMinutesSeconds) {
    struct Case {
        std::int32_t n;
        const char* expected;
    } cases[] = {{0, "00"}, {9, "09"}, {10, "10"}, {59, "59"}, {125, "125"}, {-3, "0-3"}};
    for (const auto& c : cases)
        EXPECT_EQ(TwoDigits(c.n), c.expected) << c.n;
    EXPECT_EQ(MinutesSeconds(0), "00:00");
    EXPECT_EQ(MinutesSeconds(62), "01:02");
    EXPECT_EQ(MinutesSeconds(125 * 60 + 7), "125:07");
}
