// SPDX-License-Identifier: MIT
#include "read/field_normalisation.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <random>

#include "test_files.h"

namespace quillbox {
namespace {

using test::Gbk;
using test::Printable;

TEST(NormalizeNumber, StripsEachKnownPrefixOnceInItsOrder) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"+8613912345678", "13912345678"},
        {"013912345678", "13912345678"},
        {"1795113912345678", "13912345678"},
        {"1252013912345678", "13912345678"},
        {"+8617951139123", "139123"},  // "+86", then "17951"
        {"0086139", "086139"},         // one zero only
        {"+861065512345", "5512345"},  // "+86", "+106" does not match, then "106"
        {"+86+106", ""},
        {"+8612520139", "139"},
        {"106", ""},
        {"0", ""},
        {"", ""},
        {" +86139", " +86139"},      // no trimming
        {"TEL;CELL:+86139", "139"},  // everything up to the first ":" goes
        {"13912345678\r", "13912345678\r"},
        {"+10612520139", "139"},   // "+106", then "12520"
        {"+1060106", "106"},       // "+106", then only one of "0", "12520", "106"
        {"17951017951", "17951"},  // "17951" once, then "0"
    };
    for (const auto& [raw, expected] : cases) {
        EXPECT_EQ(NormalizeNumber(raw), expected) << "raw: " << raw;
    }
}

struct DateCase {
    std::string_view text;
    std::string_view display;
    std::uint64_t key;
};

TEST(ParseMessageDate, GivesTheDisplayDateAndTheKey) {
    const DateCase cases[] = {
        {"18.03.2009 10:15:30", "2009-03-18 10:15:30", 1260353730},
        {"01.01.1970 00:00:00", "1970-01-01 00:00:00", 0},
        {"31.12.2009 23:59:59", "2009-12-31 23:59:59", 1285631999},
        {"01.01.2010 00:00:00", "2010-01-01 00:00:00", 1285632000},
        {"1.2.2009 3:4:5", "2009-02-01 03:04:05", 1256180645},
        {"  18 .03.2009\t10:15:30 trailing", "2009-03-18 10:15:30", 1260353730},
        // Fewer than six numbers: those read before the first failure count, the rest are 0.
        {"2009/03/18", "0-00-2009 00:00:00", 138043621720713600u},
        {"18.03.2009", "2009-03-18 00:00:00", 1260316800},
        {"", "0-00-00 00:00:00", 138043621547136000u},
    };
    for (const auto& c : cases) {
        std::string display = "old";
        const std::uint64_t key = ParseMessageDate(std::string(c.text), display);
        EXPECT_EQ(display, c.display) << "date: " << c.text;
        EXPECT_EQ(key, c.key) << "date: " << c.text;
    }
}

TEST(ParseMessageDate, KeysCountEveryMonthAsThirtyOneDays) {
    std::string display;
    const auto jan = ParseMessageDate("01.01.2009 00:00:00", display);
    const auto feb = ParseMessageDate("01.02.2009 00:00:00", display);
    const auto mar = ParseMessageDate("01.03.2009 00:00:00", display);
    EXPECT_EQ(feb - jan, 31u * 86400u);
    EXPECT_EQ(mar - feb, 31u * 86400u);
}

TEST(ParseMessageDate, OddYearsWrapAboveEveryRealDate) {
    std::string display;
    const auto twoDigitYear = ParseMessageDate("18.03.09 10:15:30", display);
    EXPECT_EQ(display, "9-03-18 10:15:30");
    // (9 - 1970) wraps as an unsigned 32-bit value before the 64-bit arithmetic.
    const std::uint64_t expected =
        (((((std::uint64_t{static_cast<std::uint32_t>(9 - 1970)} * 12 + 2) * 31 + 17) * 24 + 10) *
              60 +
          15) *
         60) +
        30;
    EXPECT_EQ(twoDigitYear, expected);
    EXPECT_GT(twoDigitYear, ParseMessageDate("31.12.2099 23:59:59", display));

    // A negative field enters as an unsigned 32-bit value.
    ParseMessageDate("-1.03.2009 00:00:00", display);
    EXPECT_EQ(display, "2009-03--1 00:00:00");
}

TEST(ParseMessageDate, HugeNumbersKeepTheLowBitsOfTheCLibrarysLong) {
    std::string display;
    // 4294967297 = 2^32 + 1 keeps 1; past the range of a long it saturates and keeps all ones.
    ParseMessageDate("4294967297.03.2009 00:00:00", display);
    EXPECT_EQ(display, "2009-03-01 00:00:00");
    ParseMessageDate("99999999999999999999999.03.2009 00:00:00", display);
    EXPECT_EQ(display, "2009-03--1 00:00:00");
}

TEST(ParseMessageDate, WritesTheDisplayDateAsTheCLibraryDoes) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    std::vector<std::int32_t> values = {kMin, kMin + 1, -100, -10, -9,   -1,       0,   1,
                                        9,    10,       99,   100, 2009, kMax - 1, kMax};
    std::mt19937 random(20090318);
    for (int i = 0; i < 200; ++i) {
        values.push_back(static_cast<std::int32_t>(random()));
        values.push_back(static_cast<std::int32_t>(random() % 200) - 100);
    }
    char text[96];
    char expected[96];
    for (std::size_t i = 0; i < values.size(); ++i) {
        // Each value in every field over the run, the others drawn from the same list.
        const std::int32_t v[6] = {values[i],
                                   values[(i * 7 + 1) % values.size()],
                                   values[(i * 13 + 2) % values.size()],
                                   values[(i * 17 + 3) % values.size()],
                                   values[(i * 19 + 4) % values.size()],
                                   values[(i * 23 + 5) % values.size()]};
        for (int rotate = 0; rotate < 6; ++rotate) {
            const auto at = [&](int k) { return v[(k + rotate) % 6]; };
            std::snprintf(text, sizeof text, "%d.%d.%d %d:%d:%d", at(0), at(1), at(2), at(3), at(4),
                          at(5));
            std::snprintf(expected, sizeof expected, "%d-%02d-%02d %02d:%02d:%02d", at(2), at(1),
                          at(0), at(3), at(4), at(5));
            std::string display;
            ParseMessageDate(std::string(text), display);
            ASSERT_EQ(display, expected) << "date: " << text;
            DisplayDate date;
            ParseMessageDate(std::string_view(text), date);
            ASSERT_EQ(date.View(), expected) << "date: " << text;
        }
    }
}

struct NameCase {
    std::string_view raw;
    std::string name;
};

TEST(DecodeContactName, TakesPlainLinesAsTheyAreAndDecodesLinesWithParameters) {
    const NameCase cases[] = {
        {":Zhang San", "Zhang San"},
        {":", ""},
        {"", ""},
        {";X", ""},  // no ":" after the parameters
        {";CHARSET=UTF-8:=E5=BC=A0", Gbk("张")},
        {";CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=A0=E4=B8=89", Gbk("张三")},
        {":=E5=BC=A0", "=E5=BC=A0"},  // no parameters, no decoding
        {":a\\;b", "a;b"},            // an escaped semicolon stays
        {":Zhang;San;;;", "ZhangSan"},
        {":a\\;;b", "a;b"},
        {";ENCODING=QUOTED-PRINTABLE:plain", "plain"},
        {";X:\xD5\xC5", "??"},  // not UTF-8: each malformed sequence is one "?"
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Printable(DecodeContactName(c.raw)), Printable(c.name)) << "raw: " << c.raw;
    }
}

TEST(DecodeQuotedPrintable, DecodesEscapesAndConvertsTheUtf8) {
    const NameCase cases[] = {
        {"=E5=BC=A03", Gbk("张3")},
        {"=41=42C", "ABC"},
        {"plain_text", "plain_text"},  // an underscore stays an underscore
        {"=4", "\x04"},                // one hex digit alone
        {"=4x", "\x04"},
        {"=41=xyB", "AAB"},  // no hex digit: the escape before it again
        {"=xyA", ""},        // 0, which ends the name
        {"a=", "a"},         // "=" at the end: 0, which ends the name
        {"=e5=bc=a0", Gbk("张")},
        {"=F0=9F=98=80", "??"},  // outside the code page, one "?" per UTF-16 unit
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Printable(DecodeQuotedPrintable(c.raw)), Printable(c.name)) << "value: " << c.raw;
    }
}

TEST(DecodeQuotedPrintable, DecodesAValueLongerThan255BytesWhole) {
    std::string value;
    for (int i = 0; i < 100; ++i) {
        value += "=E5=BC=A0";  // 900 bytes encoded
    }
    std::string expected;
    for (int i = 0; i < 100; ++i) {
        expected += Gbk("张");
    }
    EXPECT_EQ(DecodeQuotedPrintable(value), expected);
}

TEST(Utf8ToLocal, ReplacesMalformedSequencesAndStopsAtZero) {
    EXPECT_EQ(Utf8ToLocal("abc"), std::string("abc"));
    EXPECT_EQ(Utf8ToLocal(""), std::string());
    EXPECT_EQ(Utf8ToLocal("\xE5\xBC\xA0"), Gbk("张"));
    EXPECT_EQ(Utf8ToLocal("a\xE5\xBC"
                          "b"),
              std::string("a?b"));  // a cut sequence
    EXPECT_EQ(Utf8ToLocal("\xFF\xFE"), std::string("??"));
    EXPECT_EQ(Utf8ToLocal(std::string_view("ab\0cd", 5)), std::string("ab"));
}

}  // namespace
}  // namespace quillbox
