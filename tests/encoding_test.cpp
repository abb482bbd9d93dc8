// SPDX-License-Identifier: MIT
#include "write/encoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/codec.h"
#include "test_files.h"

namespace quillbox {
namespace {

using test::Printable;

std::string Encode(ArchiveEncoding encoding, std::string_view text) {
    std::string out;
    AppendEncoded(out, text, encoding);
    return out;
}

std::string EncodeCodePoint(ArchiveEncoding encoding, char32_t cp) {
    std::string text;
    platform::AppendCodePoint(text, cp);
    return Encode(encoding, text);
}

struct Sample {
    const char* what;
    std::string text;  // the engine's text
    std::string gbk;
    std::string gb18030;
    std::string utf8;
};

// The GB18030 bytes are worked out from the standard's tables by hand: four-byte index i is
// 81+i/12600, 30+i/1260%10, 81+i/10%126, 30+i%10, and U+10000 has index 189000.
TEST(EncodingSink, WritesTheSamplesInEachEncoding) {
    const Sample samples[] = {
        {"ASCII", "Hi, 10086!", "Hi, 10086!", "Hi, 10086!", "Hi, 10086!"},
        {"zero", std::string(1, '\0'), std::string(1, '\0'), std::string(1, '\0'),
         std::string(1, '\0')},
        {"GB2312 ideographs", "中文", "\xD6\xD0\xCE\xC4", "\xD6\xD0\xCE\xC4",
         "\xE4\xB8\xAD\xE6\x96\x87"},
        {"euro sign", "\u20AC", "\x80", "\xA2\xE3", "\xE2\x82\xAC"},
        {"first four-byte code", "\u0080", "?", "\x81\x30\x81\x30", "\xC2\x80"},
        {"yen sign, after 36 four-byte code points", "\u00A5", "?", "\x81\x30\x84\x36", "\xC2\xA5"},
        {"m with acute, two bytes since 2005", "\u1E3F", "?", "\xA8\xBC", "\xE1\xB8\xBF"},
        {"its old private-use stand-in", "\uE7C7", "?", "\x81\x35\xF4\x37", "\xEE\x9F\x87"},
        {"user-defined area", "\uE000", "?", "\xAA\xA1", "\xEE\x80\x80"},
        {"private use at A3 A0", "\uE5E5", "?", "\xA3\xA0", "\xEE\x97\xA5"},
        {"vertical comma, two bytes since 2022", "\uFE10", "?", "\xA6\xD9", "\xEF\xB8\x90"},
        {"its stand-in takes its old four bytes", "\uE78D", "?", "\x84\x31\x82\x36",
         "\xEE\x9E\x8D"},
        {"ideograph moved to FE 59", "\u9FB4", "?", "\xFE\x59", "\xE9\xBE\xB4"},
        {"its stand-in", "\uE81E", "?", "\x82\x35\x90\x37", "\xEE\xA0\x9E"},
        {"stand-in still at FE 51", "\uE816", "?", "\xFE\x51", "\xEE\xA0\x96"},
        {"replacement character", "\uFFFD", "?", "\x84\x31\xA4\x37", "\xEF\xBF\xBD"},
        {"last BMP code point", "\uFFFF", "?", "\x84\x31\xA4\x39", "\xEF\xBF\xBF"},
        {"first code point above the BMP", "\U00010000", "??", "\x90\x30\x81\x30",
         "\xF0\x90\x80\x80"},
        {"emoji", "\U0001F600", "??", "\x94\x39\xFC\x36", "\xF0\x9F\x98\x80"},
        {"extension B ideograph", "\U00020000", "??", "\x95\x32\x82\x36", "\xF0\xA0\x80\x80"},
        {"extension B ideograph that FE 51 once stood for", "\U00020087", "??", "\x95\x32\x90\x31",
         "\xF0\xA0\x82\x87"},
        {"last code point", "\U0010FFFF", "??", "\xE3\x32\x9A\x35", "\xF4\x8F\xBF\xBF"},
        // A byte the reader could not decode, carried as U+DCD5: itself in the classic archive.
        {"escaped byte",
         "a\xED\xB3\x95"
         "b",
         "a\xD5"
         "b",
         "a\x84\x31\xA4\x37"
         "b",
         "a\xEF\xBF\xBD"
         "b"},
        {"mixed", "张三😀€", "\xD5\xC5\xC8\xFD??\x80", "\xD5\xC5\xC8\xFD\x94\x39\xFC\x36\xA2\xE3",
         "\xE5\xBC\xA0\xE4\xB8\x89\xF0\x9F\x98\x80\xE2\x82\xAC"},
    };
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.what);
        EXPECT_EQ(Printable(Encode(ArchiveEncoding::Gbk, s.text)), Printable(s.gbk));
        EXPECT_EQ(Printable(Encode(ArchiveEncoding::Gb18030, s.text)), Printable(s.gb18030));
        EXPECT_EQ(Printable(Encode(ArchiveEncoding::Utf8, s.text)), Printable(s.utf8));
        // A writer's text reaches the file through the sink in the same bytes, however cut.
        StringSink file;
        EncodingSink sink(file, ArchiveEncoding::Gb18030);
        sink.Write(s.text);
        EXPECT_EQ(Printable(file.Bytes()), Printable(s.gb18030));
    }
}

// The classic reader's head conversion, unit by unit, and the sink's code page 936 give the same
// bytes for the same characters.
TEST(EncodingSink, GbkIsTheClassicArchivesConversion) {
    std::u16string all;
    for (char32_t u = 1; u < 0x10000; ++u) {
        all.push_back(static_cast<char16_t>(u));  // lone surrogates included
    }
    all += u"\U0001F600\U00020000";
    std::string classic(all.size() * 2 + 1, '\0');
    const auto length = platform::Utf16ToCp936(all, classic);
    ASSERT_TRUE(length.has_value());
    classic.resize(*length);
    EXPECT_TRUE(Encode(ArchiveEncoding::Gbk, platform::Utf16ToUtf8(all)) == classic);
}

// Every code point of the BMP gets a code of its own, and together they use up the two-byte
// cells and the BMP's four-byte range exactly: a table that lost, doubled or shifted a
// character would leave a hole or a collision. Holds on every platform, whatever its converter.
TEST(EncodingSink, Gb18030GivesEveryBmpCodePointItsOwnCode) {
    std::set<std::uint16_t> pairs;
    std::set<std::uint32_t> quads;
    int other = 0;
    for (char32_t u = 0x80; u < 0x10000; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF) {
            continue;
        }
        const std::string bytes = EncodeCodePoint(ArchiveEncoding::Gb18030, u);
        const auto b = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
        if (bytes.size() == 2 && b(0) >= 0x81 && b(0) <= 0xFE && b(1) >= 0x40 && b(1) <= 0xFE &&
            b(1) != 0x7F) {
            pairs.insert(static_cast<std::uint16_t>(b(0) << 8 | b(1)));
        } else if (bytes.size() == 4 && b(0) >= 0x81 && b(0) <= 0x84 && b(1) >= 0x30 &&
                   b(1) <= 0x39 && b(2) >= 0x81 && b(2) <= 0xFE && b(3) >= 0x30 && b(3) <= 0x39) {
            quads.insert(((b(0) - 0x81u) * 10 + (b(1) - 0x30u)) * 1260 + (b(2) - 0x81u) * 10 +
                         (b(3) - 0x30u));
        } else {
            ADD_FAILURE() << "U+" << std::hex << static_cast<std::uint32_t>(u) << " as "
                          << Printable(bytes);
            ++other;
        }
    }
    EXPECT_EQ(other, 0);
    EXPECT_EQ(pairs.size(), 126u * 190u);
    ASSERT_EQ(quads.size(), 39420u);
    EXPECT_EQ(*quads.rbegin(), 39419u);  // 84 31 A4 39, the BMP's last four-byte code
}

TEST(EncodingSink, TakesMalformedUtf8AsOneReplacementPerMaximalPart) {
    struct Case {
        const char* what;
        std::string utf8;
        int replacements;  // U+FFFD between the "a" and the "b"
    };
    const Case cases[] = {
        {"stray continuation bytes",
         "a\x80\xBF"
         "b",
         2},
        {"overlong two-byte form",
         "a\xC0\x80"
         "b",
         2},
        {"overlong three-byte form",
         "a\xE0\x80\x80"
         "b",
         3},
        {"encoded surrogate",
         "a\xED\xA0\x80"
         "b",
         3},
        {"above U+10FFFF",
         "a\xF4\x90\x80\x80"
         "b",
         4},
        {"cut three-byte sequence",
         "a\xE4\xB8"
         "b",
         1},
        {"cut four-byte sequence",
         "a\xF0\x9F\x98"
         "b",
         1},
        {"bytes no sequence starts with",
         "a\xF5\xFF"
         "b",
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string replaced = "a";
        std::string replacedGb = "a";
        std::string replacedGbk = "a";
        for (int i = 0; i < c.replacements; ++i) {
            replaced += "\xEF\xBF\xBD";
            replacedGb += "\x84\x31\xA4\x37";
            replacedGbk += "?";
        }
        EXPECT_EQ(Printable(Encode(ArchiveEncoding::Utf8, c.utf8)), Printable(replaced + "b"));
        EXPECT_EQ(Printable(Encode(ArchiveEncoding::Gb18030, c.utf8)), Printable(replacedGb + "b"));
        EXPECT_EQ(Encode(ArchiveEncoding::Gbk, c.utf8), replacedGbk + "b");
        // The readers' decoder takes the same parts.
        EXPECT_EQ(Printable(platform::Utf8Lenient(c.utf8)), Printable(replaced + "b"));
        // Cut at the very end, too.
        EXPECT_EQ(Printable(Encode(ArchiveEncoding::Utf8, c.utf8.substr(0, c.utf8.size() - 1))),
                  Printable(replaced));
    }
}

TEST(EncodingSink, LabelsEachEncodingForHtml) {
    EXPECT_EQ(CharsetLabel(ArchiveEncoding::Gbk), "gbk");
    EXPECT_EQ(CharsetLabel(ArchiveEncoding::Gb18030), "gb18030");
    EXPECT_EQ(CharsetLabel(ArchiveEncoding::Utf8), "utf-8");
}

#ifndef _WIN32
// The C library follows an older edition for these: it leaves the 2022 edition's private-use
// stand-ins out and keeps six ideographs above the BMP in two bytes, where the standard
// maps FE 51 and its neighbours to private use. The samples above cover them.
bool LibraryDiffers(char32_t cp) {
    static constexpr char32_t kDiffers[] = {
        0xE78D, 0xE78E, 0xE78F, 0xE790, 0xE791,  0xE792,  0xE793,  0xE794,  0xE795,  0xE796,
        0xE816, 0xE817, 0xE818, 0xE81E, 0xE826,  0xE82B,  0xE82C,  0xE831,  0xE832,  0xE83B,
        0xE843, 0xE854, 0xE855, 0xE864, 0x20087, 0x20089, 0x200CC, 0x215D7, 0x2298F, 0x241FE};
    return std::find(std::begin(kDiffers), std::end(kDiffers), cp) != std::end(kDiffers);
}

// Every code point, in one conversion by the C library, against the encoder's bytes for it.
TEST(EncodingSink, Gb18030AgreesWithTheCLibraryWhereItFollowsTheStandard) {
    std::string utf32;
    std::vector<std::pair<char32_t, std::string>> ours;
    for (char32_t u = 0; u < 0x110000; ++u) {
        if ((u >= 0xD800 && u <= 0xDFFF) || LibraryDiffers(u)) {
            continue;
        }
        for (int shift = 0; shift < 32; shift += 8) {
            utf32.push_back(static_cast<char>(u >> shift & 0xFF));
        }
        ours.emplace_back(u, EncodeCodePoint(ArchiveEncoding::Gb18030, u));
    }
    const std::string library = test::Convert(utf32, "UTF-32LE", "GB18030");
    std::size_t at = 0;
    int mismatches = 0;
    for (const auto& [cp, bytes] : ours) {
        if (library.compare(at, bytes.size(), bytes) != 0) {
            ADD_FAILURE() << "U+" << std::hex << static_cast<std::uint32_t>(cp) << ": ours "
                          << Printable(bytes) << ", the library's from "
                          << Printable(library.substr(at, 4));
            if (++mismatches == 5) {
                return;
            }
        }
        at += bytes.size();
    }
    EXPECT_EQ(at, library.size());
}
#endif

}  // namespace
}  // namespace quillbox
