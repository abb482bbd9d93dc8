// SPDX-License-Identifier: MIT
#include "read/field_normalisation.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <random>

#include "test_files.h"
#include "write/archive_groups.h"
#include "write/encoding.h"

namespace quillbox {
namespace {

using test::Gbk;
using test::Printable;

// A date as the archive shows it, and its key.
std::string Display(std::string_view dateText) {
    std::string display;
    AppendDisplayTime(display, ParseMessageDate(dateText));
    return display;
}

std::uint64_t Key(std::string_view dateText) {
    return ClassicTimeKey(ParseMessageDate(dateText));
}

// A name as the classic archive writes it.
std::string Classic(std::string_view text) {
    std::string out;
    AppendEncoded(out, text, ArchiveEncoding::Gbk);
    return out;
}

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
        {"+86+86139", "+86139"},
        {"a:b:139", "b:139"},
        {"+86+106139", "139"},
        {"+8617951012520", "12520"},
        {"0106", "106"},
        {":", ""},
        {"1795117951", "17951"},
        {"+106+86", "+86"},
        {"12520106", "106"},
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
        EXPECT_EQ(Display(c.text), c.display) << "date: " << c.text;
        EXPECT_EQ(Key(c.text), c.key) << "date: " << c.text;
    }
}

TEST(ParseMessageDate, KeysCountEveryMonthAsThirtyOneDays) {
    const auto jan = Key("01.01.2009 00:00:00");
    const auto feb = Key("01.02.2009 00:00:00");
    const auto mar = Key("01.03.2009 00:00:00");
    EXPECT_EQ(feb - jan, 31u * 86400u);
    EXPECT_EQ(mar - feb, 31u * 86400u);
}

TEST(ParseMessageDate, OddYearsWrapAboveEveryRealDate) {
    const auto twoDigitYear = Key("18.03.09 10:15:30");
    EXPECT_EQ(Display("18.03.09 10:15:30"), "9-03-18 10:15:30");
    // (9 - 1970) wraps as an unsigned 32-bit value before the 64-bit arithmetic.
    const std::uint64_t expected =
        (((((std::uint64_t{static_cast<std::uint32_t>(9 - 1970)} * 12 + 2) * 31 + 17) * 24 + 10) *
              60 +
          15) *
         60) +
        30;
    EXPECT_EQ(twoDigitYear, expected);
    EXPECT_GT(twoDigitYear, Key("31.12.2099 23:59:59"));

    // A negative field enters as an unsigned 32-bit value.
    EXPECT_EQ(Display("-1.03.2009 00:00:00"), "2009-03--1 00:00:00");
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
            ASSERT_EQ(Display(text), expected) << "date: " << text;
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
        EXPECT_EQ(Printable(Classic(DecodeContactName(c.raw))), Printable(c.name))
            << "raw: " << c.raw;
    }
    // A plain name's bytes that are no code page 936 text come back whole; elsewhere each shows
    // as U+FFFD.
    const std::string odd = DecodeContactName(":\xFF\x81 \xD5\xC5");
    EXPECT_EQ(Printable(Classic(odd)), Printable("\xFF\x81 \xD5\xC5"));
    std::string utf8;
    AppendEncoded(utf8, odd, ArchiveEncoding::Utf8);
    EXPECT_EQ(utf8, "\xEF\xBF\xBD\xEF\xBF\xBD 张");
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
        EXPECT_EQ(Printable(Classic(DecodeQuotedPrintable(c.raw))), Printable(c.name))
            << "value: " << c.raw;
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
    EXPECT_EQ(Classic(DecodeQuotedPrintable(value)), expected);
}

}  // namespace
}  // namespace quillbox
