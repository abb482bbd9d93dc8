// SPDX-License-Identifier: MIT
// Today's archive bytes for the inputs that a rewrite of paths, folder scans and readers is most
// likely to move. Everything goes through RunArchive, the one call of the engine's run.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "quillbox/archive.h"
#include "read/field_normalisation.h"
#include "test_files.h"
#include "write/archive_groups.h"

namespace quillbox {
namespace {

namespace fs = std::filesystem;
using test::Gbk;
using test::Printable;
using test::ReadBytes;
using test::TempDir;
using test::Utf16Le;
using test::WriteBytes;
using test::WriteMessage;

// The archive a run writes for the input, or none when the run fails. The only call of the
// engine's run in this file: adapt it, not the cases, when the run's signature changes.
std::optional<std::string> RunArchive(const fs::path& messages, const fs::path& cards = {},
                                      SortOrder order = SortOrder::ByDate, bool html = false,
                                      bool recurse = true) {
    TempDir out;
    const fs::path archive = out / "archive";
    ArchiveRequest request;
    request.messageFolder = messages;
    request.recurseMessages = recurse;
    request.contactsFolder = cards;
    request.recurseContacts = recurse;
    request.output = archive;
    request.form = html ? ArchiveForm::ClassicHtml : ArchiveForm::Text;
    request.order = order;
    if (!GenerateArchive(request)) {
        return std::nullopt;
    }
    return ReadBytes(archive);
}

// The plain-text archive's pieces, code page 936.
std::string Heading(std::string_view text) {
    return "\r\n>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>" + std::string(text) +
           "<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<\r\n";
}
std::string MonthHeading(std::string_view year, std::string_view month) {
    return Heading(std::string(year) + Gbk("年") + std::string(month) + Gbk("月"));
}
std::string SenderHeading(std::string_view name) {
    return Heading(Gbk("发信人：") + std::string(name));
}
std::string Entry(std::string_view name, std::string_view number, std::string_view date,
                  std::string_view body) {
    return std::string(name) + " <" + std::string(number) + ">     " + std::string(date) +
           " : \r\n" + std::string(body) + "\r\n";
}

// A message file from its text with LF line ends; the text is UTF-8 source text.
void WriteMessageText(const fs::path& path, std::string_view utf8) {
    WriteBytes(path, Utf16Le(utf8));
}

std::string Vmsg(std::string_view vcardLines, std::string_view bodyBlock) {
    return "BEGIN:VMSG\nVERSION:1.1\nBEGIN:VCARD\n" + std::string(vcardLines) +
           "END:VCARD\nBEGIN:VENV\nBEGIN:VBODY\n" + std::string(bodyBlock) + "END:VENV\nEND:VMSG\n";
}

// ---- One message, one archive: how its fields are cut out of the file ----

struct MessageCase {
    std::string name;
    std::string text;      // UTF-8; written as UTF-16LE
    std::string expected;  // the plain-text archive by date, code page 936; empty: not read
};

TEST(PinnedMessages, FieldsAreCutAtTheMarkersAsToday) {
    const std::string body2009 = "Date:18.03.2009 10:15:30\n";
    const std::string head2009 = MonthHeading("2009", "03");
    const MessageCase cases[] = {
        {"the body ends at the first END:VBODY",
         Vmsg("TEL:139\n", body2009 + "one\nEND:VBODY\ntwo\nEND:VBODY\n"),
         head2009 + Entry("139", "139", "2009-03-18 10:15:30", "one")},
        {"an X-TELCO line is no telephone line",
         Vmsg("X-TELCO:9\nTEL:139\n", body2009 + "x\nEND:VBODY\n"),
         head2009 + Entry("139", "139", "2009-03-18 10:15:30", "x")},
        {"the number is cut at its first colon", Vmsg("TEL:a:b:139\n", body2009 + "x\nEND:VBODY\n"),
         head2009 + Entry("b:139", "b:139", "2009-03-18 10:15:30", "x")},
        {"+86 goes once", Vmsg("TEL:+86+86139\n", body2009 + "x\nEND:VBODY\n"),
         head2009 + Entry("+86139", "+86139", "2009-03-18 10:15:30", "x")},
        {"the marker is found in the converted bytes, across a character's second byte",
         Vmsg("\xE4\xB9\x80"
              "EL:139\n",
              body2009 + "x\nEND:VBODY\n"),
         head2009 + Entry("139", "139", "2009-03-18 10:15:30", "x")},
        {"signs before the date's numbers",
         Vmsg("TEL:139\n", "Date:+18.+03.+2009 +10:+15:+30\nx\nEND:VBODY\n"),
         head2009 + Entry("139", "139", "2009-03-18 10:15:30", "x")},
        {"an empty body", Vmsg("TEL:139\n", body2009 + "END:VBODY\n"),
         head2009 + Entry("139", "139", "2009-03-18 10:15:30", "")},
        {"a zero unit ends the text",
         Vmsg("TEL:139\n", body2009 + "x\n" + std::string(1, '\0') + "END:VBODY\n"), ""},
    };
    for (const auto& c : cases) {
        TempDir dir;
        WriteMessageText(dir / "m/a.vmg", c.text);
        const auto archive = RunArchive(dir / "m");
        ASSERT_TRUE(archive) << c.name;
        EXPECT_EQ(Printable(*archive), Printable(c.expected)) << c.name;
    }
}

// The head is 2048 UTF-16 units; its code page 936 form must fit 4096 bytes with a zero after.
// The markers' ":" and line ends cannot be parts of two-byte characters, so a head that is read
// converts to at most 4067 bytes: here the first letters of "TEL:", "BEGIN:VBODY" and
// "END:VBODY" are second bytes of 乀 (81 54), 丅 (81 42) and 丒 (81 45), and every other unit
// is a two-byte character.
TEST(PinnedMessages, TheHeadIs2048UnitsConvertedWhole) {
    const auto fill = [](std::size_t units) {
        std::string text;
        for (std::size_t i = 0; i < units; ++i) {
            text += "\xE5\xAD\x97";  // 字
        }
        return text;
    };
    const std::string number =
        "\xE4\xB9\x80"
        "EL:\n";
    const std::string block =
        "\xE4\xB8\x85"
        "EGIN:VBODY\nDate:\n";
    const std::string end =
        "\xE4\xB8\x92"
        "ND:VBODY";
    struct HeadCase {
        std::string name;
        std::size_t bodyUnits;
        bool read;
    };
    // 29 ASCII units and 3 marker characters.
    const HeadCase cases[] = {
        {"END:VBODY ends at the head's last unit: 4067 bytes converted", 2048 - 32, true},
        {"END:VBODY's last letter is one unit past the head", 2048 - 31, false},
    };
    for (const auto& c : cases) {
        TempDir dir;
        WriteMessageText(dir / "m/a.vmg", number + block + fill(c.bodyUnits) + end + fill(100));
        const auto archive = RunArchive(dir / "m");
        ASSERT_TRUE(archive) << c.name;
        // The byte before "END:VBODY", 丒's first, is dropped with the body's end. The empty
        // number and the all-zero date open no group.
        const std::string expected =
            c.read ? Entry("", "", "0-00-00 00:00:00", Gbk(fill(c.bodyUnits))) : "";
        EXPECT_TRUE(*archive == expected) << c.name << ": " << archive->size() << " bytes";
    }
    // No head of 2048 two-byte units fits the area.
    TempDir dir;
    WriteMessageText(dir / "m/a.vmg", fill(2048) + "TEL:1\nBEGIN:VBODY\nDate:\nx\nEND:VBODY\n");
    const auto archive = RunArchive(dir / "m");
    ASSERT_TRUE(archive);
    EXPECT_EQ(*archive, "");
}

// ---- Cards ----

struct CardCase {
    std::string name;
    std::string card;    // bytes as stored
    std::string number;  // the message's number as written
    std::string sender;  // the number as the archive shows it
    std::string shown;   // the name the archive shows for it, code page 936
};

TEST(PinnedCards, NamesAndNumbersAsToday) {
    const CardCase cases[] = {
        {"a plain FN value is taken byte for byte", "BEGIN:VCARD\nFN:a=41\nTEL:139\n", "139", "139",
         "a=41"},
        {"a zero byte ends the card",
         std::string("BEGIN:VCARD\nFN:A\nTEL:139\n") + '\0' + "\nTEL:138\nEND:VCARD\n", "138",
         "138", "138"},
        {"before the zero byte the card is read",
         std::string("BEGIN:VCARD\nFN:A\nTEL:139\n") + '\0' + "\nTEL:138\nEND:VCARD\n", "139",
         "139", "A"},
        {"a card's number is cut at its first colon", "BEGIN:VCARD\nFN:A\nTEL;X:a:b:139\n",
         "a:b:139", "b:139", "A"},
        {"+86 goes once from a card's number", "BEGIN:VCARD\nFN:A\nTEL:+86+86139\n", "+86+86139",
         "+86139", "A"},
        {"a quoted-printable name with 0x81 0x40",
         "BEGIN:VCARD\r\nFN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E4=B8=82\r\nTEL:139\r\n",
         "139", "139", "\x81\x40"},
        {"a quoted-printable name with 0x81 0xFE and 0xFE 0x40",
         "BEGIN:VCARD\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E4=BE=A2;=EF=A8=8C;;;\nTEL:139\n",
         "139", "139", "\x81\xFE\xFE\x40"},
        {"a plain name in code page 936 bytes",
         "BEGIN:VCARD\nFN:\x81\x40\xFE\x4F\n"
         "TEL:139\n",
         "139", "139", "\x81\x40\xFE\x4F"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        WriteMessage(dir / "m/a.vmg", c.number, "18.03.2009 10:15:30", "x");
        WriteBytes(dir / "c/a.vcf", c.card);
        const auto archive = RunArchive(dir / "m", dir / "c");
        ASSERT_TRUE(archive) << c.name;
        EXPECT_EQ(Printable(*archive),
                  Printable(MonthHeading("2009", "03") +
                            Entry(c.shown, c.sender, "2009-03-18 10:15:30", "x")))
            << c.name;
    }
}

// The display name is remembered for the last number looked up, and the memo starts as the
// empty number with the empty name: the first message from the empty number shows no name even
// when a card names that number; a later one, after another number, shows the card's name.
TEST(PinnedCards, TheEmptyNumbersFirstLookupGivesTheEmptyName) {
    TempDir dir;
    WriteMessage(dir / "m/1.vmg", "", "03.01.2009 00:00:00", "newest");
    WriteMessage(dir / "m/2.vmg", "7", "02.01.2009 00:00:00", "middle");
    WriteMessage(dir / "m/3.vmg", "", "01.01.2009 00:00:00", "oldest");
    WriteBytes(dir / "c/a.vcf", "BEGIN:VCARD\nFN:Nobody\nTEL:\nEND:VCARD\n");
    const auto byDate = RunArchive(dir / "m", dir / "c");
    ASSERT_TRUE(byDate);
    EXPECT_EQ(*byDate, MonthHeading("2009", "01") + Entry("", "", "2009-01-03 00:00:00", "newest") +
                           Entry("7", "7", "2009-01-02 00:00:00", "middle") +
                           Entry("Nobody", "", "2009-01-01 00:00:00", "oldest"));
    // By sender the empty number comes last, after 7, and opens its group there.
    const auto bySender = RunArchive(dir / "m", dir / "c", SortOrder::BySender);
    ASSERT_TRUE(bySender);
    EXPECT_EQ(*bySender, SenderHeading("7") + Entry("7", "7", "2009-01-02 00:00:00", "middle") +
                             SenderHeading("Nobody") +
                             Entry("Nobody", "", "2009-01-03 00:00:00", "newest") +
                             Entry("Nobody", "", "2009-01-01 00:00:00", "oldest"));
    // Without another number before it, the empty number keeps the empty name throughout.
    fs::remove(dir / "m/2.vmg");
    const auto alone = RunArchive(dir / "m", dir / "c");
    ASSERT_TRUE(alone);
    EXPECT_EQ(*alone, MonthHeading("2009", "01") + Entry("", "", "2009-01-03 00:00:00", "newest") +
                          Entry("", "", "2009-01-01 00:00:00", "oldest"));
}

// ---- Dates ----

struct DateCase {
    std::string text;
    std::string display;
    std::uint64_t key;
};

// "%d" as glibc reads it: a sign, digits saturating at the long's limits, the int's low 32 bits.
TEST(PinnedDates, SignsOverflowAndTheSaturationBoundary) {
    constexpr std::uint64_t k2009 = ((((39ull * 12 + 2) * 31 + 17) * 24 + 10) * 60 + 15) * 60 + 30;
    const DateCase cases[] = {
        {"+18.+03.+2009 +10:+15:+30", "2009-03-18 10:15:30", k2009},
        {"18.03.2009 10:15:30", "2009-03-18 10:15:30", k2009},
        // LONG_MAX and past it: low 32 bits all ones.
        {"9223372036854775807.03.2009", "2009-03--1 00:00:00", 371086433049600},
        {"9223372036854775808.03.2009", "2009-03--1 00:00:00", 371086433049600},
        {"99999999999999999999999.03.2009", "2009-03--1 00:00:00", 371086433049600},
        // LONG_MIN exactly, one past it and far past it: low 32 bits zero.
        {"-9223372036854775808.03.2009", "2009-03-00 00:00:00", 1258761600},
        {"-9223372036854775809.03.2009", "2009-03-00 00:00:00", 1258761600},
        {"-99999999999999999999999.03.2009", "2009-03-00 00:00:00", 1258761600},
        // One below LONG_MIN's magnitude: no saturation, low 32 bits one.
        {"-9223372036854775807.03.2009", "2009-03-01 00:00:00", 1258848000},
        {"4294967297.03.2009", "2009-03-01 00:00:00", 1258848000},
        {"-1.-2.-3 -4:-5:-6", "-3--2--1 -4:-5:-6", 149934070900507150},
        {"+-1.03.2009", "0-00-00 00:00:00", 138043621547136000},
    };
    for (const auto& c : cases) {
        const MessageTime time = ParseMessageDate(c.text);
        std::string display;
        AppendDisplayTime(display, time);
        EXPECT_EQ(display, c.display) << c.text;
        EXPECT_EQ(ClassicTimeKey(time), c.key) << c.text;
    }
}

// ---- Paths ----

// Names whose code page 936 bytes hold the trail byte 0x40 and the lead and trail boundaries.
TEST(PinnedPaths, CodePage936BoundaryBytesInFolderAndFileNames) {
    TempDir dir;
    const char* names[] = {"\xE4\xB8\x82", "\xE4\xBE\xA2", "\xEF\xA8\x8C", "\xEF\xA8\xA9"};
    std::string expected = MonthHeading("2009", "03");
    int day = 28;
    for (const char* name : names) {
        const std::string date = std::to_string(day) + ".03.2009 10:00:00";
        // A folder and a file named with the character, and a card named with it too.
        WriteMessage(dir / ("m/" + std::string(name) + "/" + name + ".vmg"), std::to_string(day),
                     date, name);
        WriteBytes(dir / ("c/" + std::string(name) + "/" + name + ".vcf"),
                   "BEGIN:VCARD\nFN:" + Gbk(name) + "\nTEL:" + std::to_string(day) + "\n");
        expected += Entry(Gbk(name), std::to_string(day),
                          "2009-03-" + std::to_string(day) + " 10:00:00", Gbk(name));
        --day;
    }
    const auto archive = RunArchive(dir / "m", dir / "c");
    ASSERT_TRUE(archive);
    EXPECT_EQ(Printable(*archive), Printable(expected));

    // The same, with a message folder named by one of the characters.
    const auto inner = RunArchive(dir / ("m/" + std::string(names[0])), dir / "c");
    ASSERT_TRUE(inner);
    EXPECT_EQ(Printable(*inner),
              Printable(MonthHeading("2009", "03") +
                        Entry(Gbk(names[0]), "28", "2009-03-28 10:00:00", Gbk(names[0]))));
}

TEST(PinnedPaths, TrailingSeparatorsNameTheSameFolder) {
    TempDir dir;
    WriteMessage(dir / "m/a.vmg", "1", "18.03.2009 10:15:30", "x");
    const auto plain = RunArchive(dir / "m");
    ASSERT_TRUE(plain);
    ASSERT_NE(*plain, "");
    for (const char* suffix : {"/", "//"}) {
        const auto trailing = RunArchive((dir / "m").string() + suffix);
        ASSERT_TRUE(trailing) << suffix;
        EXPECT_EQ(*trailing, *plain) << suffix;
    }
}

#ifndef _WIN32
TEST(PinnedPaths, TheRootFolderIsListedAndHoldsNoMessages) {
    const auto archive = RunArchive("/", "/", SortOrder::ByDate, false, false);
    ASSERT_TRUE(archive);
    EXPECT_EQ(*archive, "");
}

// A file is read when its path is shorter than PATH_MAX bytes, and passed over at PATH_MAX.
TEST(PinnedPaths, PathsAtAndJustUnderThePlatformLimit) {
    TempDir dir;
    const fs::path top = dir / "m";
    fs::create_directories(top);
    // Nested folders until a file name (at most 255 bytes) can reach the limit, made relative
    // to keep each call short.
    const fs::path start = fs::current_path();
    fs::current_path(top);
    const std::string segment(200, 'd');
    std::size_t length = top.string().size();
    while (PATH_MAX - 2 - length > 250) {
        fs::create_directory(segment);
        fs::current_path(segment);
        length += 1 + segment.size();
    }
    // "/" and the name: a path of PATH_MAX - 1 bytes, and one of PATH_MAX bytes.
    const std::size_t under = PATH_MAX - 1 - length - 1;
    const std::string shortName = std::string(under - 4, 's') + ".vmg";
    const std::string longName = std::string(under - 3, 'l') + ".vmg";
    std::ofstream(shortName, std::ios::binary)
        << Utf16Le(test::MessageText("1", "02.01.2009 00:00:00", "fits"));
    std::ofstream(longName, std::ios::binary)
        << Utf16Le(test::MessageText("2", "01.01.2009 00:00:00", "too long"));
    const bool written = fs::exists(shortName) && fs::exists(longName);
    fs::current_path(start);
    ASSERT_TRUE(written);

    const auto archive = RunArchive(top);
    ASSERT_TRUE(archive);
    EXPECT_EQ(*archive,
              MonthHeading("2009", "01") + Entry("1", "1", "2009-01-02 00:00:00", "fits"));
}
#endif

// ---- Ties: the listing order decides, as the test reads it now ----

// The message files of a folder in the order the system lists them.
std::vector<std::string> ListingOrder(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::u8string name = entry.path().filename().u8string();
        names.emplace_back(name.begin(), name.end());
    }
    return names;
}

// More than 16 messages, so that an unstable sort shows.
TEST(PinnedOrder, FortyMessagesWithOneKeyKeepTheListingOrder) {
    TempDir dir;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "n" + std::to_string(i * 7919 % 1000);
        WriteMessage(dir / ("m/" + name + ".vmg"), "5", "18.03.2009 10:15:30", name);
    }
    // One more sender before and after, so that the group of ties sits inside the archive.
    WriteMessage(dir / "m/sub/late.VMG", "9", "19.03.2009 10:15:30", "late");
    WriteMessage(dir / "m/sub/early.VMG", "1", "17.03.2009 10:15:30", "early");
    std::string ties;
    for (const auto& name : ListingOrder(dir / "m")) {
        if (name.ends_with(".vmg")) {
            ties += Entry("5", "5", "2009-03-18 10:15:30", name.substr(0, name.size() - 4));
        }
    }
    const auto byDate = RunArchive(dir / "m");
    ASSERT_TRUE(byDate);
    EXPECT_EQ(*byDate, MonthHeading("2009", "03") + Entry("9", "9", "2009-03-19 10:15:30", "late") +
                           ties + Entry("1", "1", "2009-03-17 10:15:30", "early"));
    const auto bySender = RunArchive(dir / "m", {}, SortOrder::BySender);
    ASSERT_TRUE(bySender);
    EXPECT_EQ(*bySender, SenderHeading("9") + Entry("9", "9", "2009-03-19 10:15:30", "late") +
                             SenderHeading("5") + ties + SenderHeading("1") +
                             Entry("1", "1", "2009-03-17 10:15:30", "early"));
}

// By date only the key counts: forty senders at one time keep the listing order too.
TEST(PinnedOrder, FortySendersAtOneTimeKeepTheListingOrderByDate) {
    TempDir dir;
    for (int i = 0; i < 40; ++i) {
        WriteMessage(dir / ("m/" + std::to_string(i) + ".vmg"), std::to_string(200 + i),
                     "18.03.2009 10:15:30", "b" + std::to_string(i));
    }
    std::string expected = MonthHeading("2009", "03");
    for (const auto& name : ListingOrder(dir / "m")) {
        const int i = std::stoi(name);
        expected += Entry(std::to_string(200 + i), std::to_string(200 + i), "2009-03-18 10:15:30",
                          "b" + std::to_string(i));
    }
    const auto archive = RunArchive(dir / "m");
    ASSERT_TRUE(archive);
    EXPECT_EQ(*archive, expected);
}

}  // namespace
}  // namespace quillbox
