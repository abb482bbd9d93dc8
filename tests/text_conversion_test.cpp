// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/platform.h"
#include "quillbox/archive.h"
#include "quillbox/text.h"
#include "test_files.h"

namespace quillbox {
namespace {

using test::Printable;

struct NarrowCase {
    std::u16string wide;
    std::string narrow;
};

TEST(NarrowText, ConvertsToCodePage936AndMarksWhatItLacks) {
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

TEST(NarrowText, AgreesWithTheCLibraryOnEveryCharacterOfTheBasicPlane) {
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

TEST(WidenText, ReadsCodePage936AndRefusesWhatItDoesNotDefine) {
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

TEST(Utf16ToOem, FailsWhenTheTextWithItsTerminatorDoesNotFit) {
    std::array<char, 4096> area{};
    // 2048 characters of two bytes each need 4097 bytes with the terminator.
    const std::u16string allDouble(2048, u'张');
    EXPECT_FALSE(platform::Utf16ToOem(allDouble, area).has_value());
    // 2047 of them and one ASCII character need exactly 4096.
    std::u16string fits(2047, u'张');
    fits.push_back(u'a');
    EXPECT_EQ(platform::Utf16ToOem(fits, area), std::optional<std::size_t>(4095));
    EXPECT_EQ(area[4095], '\0');
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
