#include <gtest/gtest.h>

#include <array>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/platform.h"
#include "quillbox/text.h"
#include "test_files.h"

namespace quillbox {
namespace {

using test::Gbk;
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

TEST(NarrowPath, AcceptsOnlyPathsThatComeBackUnchanged) {
    EXPECT_EQ(NarrowPath(u"/home/李四/信息"), Gbk("/home/李四/信息"));
    EXPECT_EQ(NarrowPath(u"out.txt"), std::string("out.txt"));
    EXPECT_FALSE(NarrowPath(u"/tmp/\U0001F600.txt").has_value());
    EXPECT_FALSE(NarrowPath(u"/tmp/\u0E01").has_value());
    // "?" itself is a character of the code page and stays.
    EXPECT_EQ(NarrowPath(u"what?.txt"), std::string("what?.txt"));
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
