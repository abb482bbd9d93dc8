// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/codec.h"
#include "platform/platform.h"
#include "quillbox/archive.h"
#include "quillbox/text.h"
#include "test_files.h"

namespace quillbox {
namespace {

using test::Printable;

std::optional<std::string> NarrowText(std::u16string_view wide) {
    std::string area(wide.size() * 2 + 1, '\0');
    const auto length = platform::Utf16ToCp936(wide, area);
    if (!length) {
        return std::nullopt;
    }
    area.resize(*length);
    return area;
}

std::optional<std::u16string> WidenText(std::string_view narrow) {
    return platform::Cp936ToUtf16(narrow);
}

struct NarrowCase {
    std::u16string wide;
    std::string narrow;
};

TEST(Utf16ToCp936, ConvertsToCodePage936AndMarksWhatItLacks) {
    const NarrowCase cases[] = {
        {u"", ""},
        {u"abc 123", "abc 123"},
        {u"张三", "\xD5\xC5\xC8\xFD"},
        {u"\u20AC", "\x80"},        // the euro sign is the single byte 0x80
        {u"a\U0001F600b", "a??b"},  // a character outside the BMP: one "?" per unit
        {std::u16string{u'a', char16_t{0xD800}, u'b'}, "a?b"},  // a lone surrogate
        {u"\u0E01", "?"},                                       // Thai is not in the code page
        {std::u16string{u'a', u'\0', u'b'}, "a"},               // conversion stops at a zero unit
    };
    for (const auto& c : cases) {
        const auto narrow = NarrowText(c.wide);
        ASSERT_TRUE(narrow.has_value());
        EXPECT_EQ(Printable(*narrow), Printable(c.narrow));
    }
}

TEST(Utf16ToCp936, AgreesWithTheCLibraryOnEveryCharacterOfTheBasicPlane) {
    int checked = 0;
    for (char32_t u = 1; u < 0x10000; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF) {
            continue;
        }
        const std::u16string wide(1, static_cast<char16_t>(u));
        std::string expected;
        try {
            expected =
                test::Convert(std::string{static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)},
                              "UTF-16LE", "CP936");
        } catch (const std::runtime_error&) {
            expected = "?";
        }
        // Private-use characters are outside the code page on every system the program runs on,
        // although Windows' own table puts them in its user-defined area.
        if (u >= 0xE000 && u <= 0xF8FF) {
            expected = "?";
        }
        ASSERT_EQ(Printable(NarrowText(wide).value()), Printable(expected))
            << "U+" << std::hex << static_cast<unsigned>(u);
        ++checked;
    }
    EXPECT_EQ(checked, 0x10000 - 1 - 0x800);
}

TEST(Cp936ToUtf16, ReadsCodePage936AndRefusesWhatItDoesNotDefine) {
    EXPECT_EQ(WidenText("abc"), std::u16string(u"abc"));
    EXPECT_EQ(WidenText("\xD5\xC5\xC8\xFD"), std::u16string(u"张三"));
    EXPECT_EQ(WidenText("\x80"), std::u16string(u"\u20AC"));
    EXPECT_EQ(WidenText(""), std::u16string());
    EXPECT_FALSE(WidenText("\xFF").has_value());
    EXPECT_FALSE(WidenText("a\xD5").has_value());     // a lead byte without its trail
    EXPECT_FALSE(WidenText("\xD5\x20").has_value());  // a trail byte out of range
}

TEST(PathFromText, KeepsEveryCharacterAsTheSystemNamesIt) {
    // Characters the code page lacks name the file they spell: nothing is refused or replaced.
    for (const std::u16string_view text :
         {std::u16string_view(u"/home/李四/信息"), std::u16string_view(u"out.txt"),
          std::u16string_view(u"/tmp/\U0001F600.txt"), std::u16string_view(u"/tmp/\u0E01"),
          std::u16string_view(u"what?.txt"), std::u16string_view(u"")}) {
        const std::filesystem::path path = PathFromText(text);
        EXPECT_EQ(path, std::filesystem::path(text)) << Printable(DisplayPath(path));
        EXPECT_EQ(WidenUtf8(DisplayPath(path)), std::u16string(text));
    }
#ifndef _WIN32
    EXPECT_EQ(PathFromText(u"/tmp/\U0001F600").native(), "/tmp/\xF0\x9F\x98\x80");
    // A lone surrogate spells no UTF-8: it becomes U+FFFD.
    EXPECT_EQ(PathFromText(std::u16string{u'a', char16_t{0xD800}, u'b'}).native(),
              "a\xEF\xBF\xBD"
              "b");
#endif
}

TEST(PathFromArgument, TakesTheArgumentAsTheSystemGaveIt) {
    EXPECT_EQ(PathFromArgument("/home/\xE6\x9D\x8E\xE5\x9B\x9B"),
              std::filesystem::path(u"/home/李四"));
#ifndef _WIN32
    // POSIX arguments are the system's bytes, UTF-8 or not.
    EXPECT_EQ(PathFromArgument("\xFF.txt").native(), "\xFF.txt");
    EXPECT_EQ(DisplayPath(PathFromArgument("\xFF.txt")), "\xEF\xBF\xBD.txt");
#else
    // Windows hands them over as UTF-8; what is malformed becomes U+FFFD.
    EXPECT_EQ(PathFromArgument("\xFF.txt").native(), L"\uFFFD.txt");
#endif
}

TEST(WidenUtf8, IsStrict) {
    EXPECT_EQ(WidenUtf8("张三"), std::u16string(u"张三"));
    EXPECT_EQ(WidenUtf8("\xF0\x9F\x98\x80"), std::u16string(u"\U0001F600"));
    for (const std::string_view bad :
         {"\xFF", "\xC0\x80", "\xE5\xBC", "\xED\xA0\x80", "\xF4\x90\x80\x80", "a\x80"}) {
        EXPECT_FALSE(WidenUtf8(bad).has_value()) << Printable(bad);
    }
}

TEST(Utf16ToCp936, FailsWhenTheTextWithItsTerminatorDoesNotFit) {
    std::array<char, 4096> area{};
    // 2048 characters of two bytes each need 4097 bytes with the terminator.
    const std::u16string allDouble(2048, u'张');
    EXPECT_FALSE(platform::Utf16ToCp936(allDouble, area).has_value());
    // 2047 of them and one ASCII character need exactly 4096.
    std::u16string fits(2047, u'张');
    fits.push_back(u'a');
    EXPECT_EQ(platform::Utf16ToCp936(fits, area), std::optional<std::size_t>(4095));
    EXPECT_EQ(area[4095], '\0');
}

// Every one- and two-byte code of code page 936 read as the engine's text comes back as the same
// bytes in the classic archive: a character where the table gives one that converts back to the
// code, the raw bytes as escapes where it does not.
TEST(Cp936AsUtf8, EveryCodeComesBackAsItsOwnBytes) {
    std::vector<std::string> codes;
    for (unsigned b = 0; b < 0x100; ++b) {
        codes.emplace_back(1, static_cast<char>(b));
    }
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            codes.push_back({static_cast<char>(lead), static_cast<char>(trail)});
        }
    }
    std::size_t characters = 0;
    for (const std::string& code : codes) {
        const std::string text = platform::Cp936AsUtf8(code);
        std::string back;
        platform::AppendAsCp936(back, text);
        ASSERT_EQ(Printable(back), Printable(code)) << Printable(text);
        std::string_view rest = text;
        const char32_t first = platform::TakeCodePoint(rest);
        const bool character = rest.empty() && !platform::IsEscape(first);
        characters += character ? 1 : 0;
        if (character) {
            // A character of its own is what the code page's decoder says the code is.
            const auto strict = WidenText(code);
            ASSERT_TRUE(strict.has_value()) << Printable(code);
            EXPECT_EQ(platform::Utf16ToUtf8(*strict), text) << Printable(code);
        }
#ifndef _WIN32
        // The C library's converter is the oracle: a character exactly where the code reads as
        // one that converts back to the same code.
        bool roundTrip = false;
        try {
            roundTrip =
                test::Convert(test::Convert(code, "CP936", "UTF-8"), "UTF-8", "CP936") == code;
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(character, roundTrip) << Printable(code);
#endif
    }
    // ASCII at least, and most pairs.
    EXPECT_GT(characters, 20000u);
}

TEST(TakeCodePoint, TakesEscapesWholeAndEachIllFormedPartAsOneReplacement) {
    const struct {
        std::string_view text;
        std::u32string points;
    } cases[] = {
        {"a\xC0\x80"
         "b",
         U"a\uFFFD\uFFFDb"},
        {"\xED\xB2\x80\xED\xB3\xBF", std::u32string{0xDC80, 0xDCFF}},  // two escapes
        {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},                       // an encoded surrogate
        {"\xE5\xBC", U"\uFFFD"},
        {"\xF0\x9F\x98\x80", U"\U0001F600"},
    };
    for (const auto& c : cases) {
        std::u32string points;
        std::string_view rest = c.text;
        while (!rest.empty()) {
            points.push_back(platform::TakeCodePoint(rest));
        }
        EXPECT_EQ(points, c.points) << Printable(c.text);
    }
    // Outside bytes never become escapes.
    EXPECT_EQ(Printable(platform::Utf8Lenient("\xED\xB2\x80")),
              Printable("\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"));
}

TEST(PrintableText, ShowsWhatATerminalWouldActOnAsEscapes) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"plain 名字 😀 a\\b.vmg", "plain 名字 😀 a\\b.vmg"},
        {"\x1b]0;title\x07x", "\\x1b]0;title\\x07x"},
        {"a\n文档生成完毕！\r", "a\\x0a文档生成完毕！\\x0d"},
        {"\x7f\u0085\u009f", "\\x7f\\u0085\\u009f"},
        {"王五\u202e10000000831", "王五\\u202e10000000831"},
        {"\u061c\u200e\u200f\u202a\u2066\u2069\u2028\u2029",
         "\\u061c\\u200e\\u200f\\u202a\\u2066\\u2069\\u2028\\u2029"},
        {"\u00a0\u2065\u206a\u2027", "\u00a0\u2065\u206a\u2027"},
        {"bad \xff\xc0\x80 end", "bad \ufffd\ufffd\ufffd end"},
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(Printable(PrintableText(text)), Printable(shown)) << Printable(text);
    }
}

#ifdef _WIN32
TEST(WindowsCodePages, AreBoth936) {
    // The program is made for Chinese Windows; under Wine the locale must say so.
    EXPECT_EQ(::GetACP(), 936u);
    EXPECT_EQ(::GetOEMCP(), 936u);
}
#endif

}  // namespace
}  // namespace quillbox
