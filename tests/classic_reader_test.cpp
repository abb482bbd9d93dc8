// SPDX-License-Identifier: MIT
#include "read/classic_reader.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "scan/folder_scan.h"
#include "test_files.h"
#include "test_messages.h"

namespace quillbox {
namespace {

using ReadOutcome = std::optional<SkipReason>;

// The readers as the run calls them, on one open file.
ReadOutcome ReadMessageFile(platform::InputFile& file, MessageStore& store) {
    std::string scratch;
    const ReadSettings settings;
    Input input{file, {}, {}, settings, scratch};
    Items items;
    const ReadResult result = ReadClassicMessage(input, items);
    store.Append(items.messages, 0, items.messages.Size());
    return result.refused;
}

ReadOutcome ReadCardFile(platform::InputFile& file, std::vector<ContactEntry>& entries) {
    std::string scratch;
    const ReadSettings settings;
    Input input{file, {}, {}, settings, scratch};
    Items items;
    const ReadResult result = ReadClassicCard(input, items);
    for (std::size_t i = 0; i < items.cards.Size(); ++i) {
        entries.push_back({std::string(items.cards.Name(i)), std::string(items.cards.Number(i))});
    }
    return result.refused;
}

using test::Gbk;
using test::MessageText;
using test::Printable;
using test::TempDir;
using test::Utf16Le;
using test::WriteBytes;

struct ParseCase {
    std::string name;
    std::string text;
    // Expected sender, dateText and body, or why the text is refused.
    std::optional<std::array<std::string, 3>> fields;
    ReadOutcome refusal = std::nullopt;
};

TEST(ParseMessageHead, CutsNumberDateAndBodyAtTheMarkers) {
    const std::string body = "BEGIN:VBODY\nDate:18.03.2009 10:15:30\n";
    const ParseCase cases[] = {
        {"well formed",
         MessageText("+8613912345678", "18.03.2009 10:15:30", "hello\nworld"),
         {{"13912345678", "2009-03-18 10:15:30", "hello\nworld"}}},
        {"empty body", "TEL:1\n" + body + "END:VBODY\n", {{"1", "2009-03-18 10:15:30", ""}}},
        {"END:VBODY inside a line ends the body a byte early",
         "TEL:1\n" + body + "abcEND:VBODY\n",
         {{"1", "2009-03-18 10:15:30", "ab"}}},
        {"first TEL: wins",
         "TEL:111\nTEL:222\n" + body + "x\nEND:VBODY",
         {{"111", "2009-03-18 10:15:30", "x"}}},
        // The number meets the same number written with LF, and no control character of it
        // reaches the archive.
        {"a CR before the number's LF is no part of it",
         "TEL:5\r\n" + body + "x\nEND:VBODY",
         {{"5", "2009-03-18 10:15:30", "x"}}},
        {"control characters in a number become spaces",
         "TEL:+861\x1b"
         "2\a\x7f"
         "3\r\r\n" +
             body + "x\x1b\nEND:VBODY",
         {{"1 2  3 ", "2009-03-18 10:15:30", "x\x1b"}}},
        {"empty number and empty date",
         "TEL:\nBEGIN:VBODY\nDate:\nx\nEND:VBODY",
         {{"", "0-00-00 00:00:00", "x"}}},
        {"no TEL:", "BEGIN:VBODY\nDate:1.1.2009 0:0:0\nx\nEND:VBODY", std::nullopt,
         SkipReason::NoTelLine},
        {"no LF after the number", "TEL:1", std::nullopt, SkipReason::NoLineEnd},
        {"CR LF after BEGIN:VBODY", "TEL:1\nBEGIN:VBODY\r\nDate:x\nEND:VBODY", std::nullopt,
         SkipReason::NoBody},
        {"blank line before Date:", "TEL:1\nBEGIN:VBODY\n\nDate:x\ny\nEND:VBODY", std::nullopt,
         SkipReason::NoDate},
        {"date marker in lower case", "TEL:1\nBEGIN:VBODY\ndate:x\ny\nEND:VBODY", std::nullopt,
         SkipReason::NoDate},
        {"no LF after the date", "TEL:1\nBEGIN:VBODY\nDate:x", std::nullopt, SkipReason::NoLineEnd},
        {"no END:VBODY", "TEL:1\n" + body + "text\n", std::nullopt, SkipReason::NoBodyEnd},
        {"BEGIN:VBODY before the number", "BEGIN:VBODY\nDate:x\nTEL:1\ny\nEND:VBODY", std::nullopt,
         SkipReason::NoBody},
        {"text after a zero unit is not seen", std::string("TEL:1\n\0", 7) + body + "x\nEND:VBODY",
         std::nullopt, SkipReason::NoBody},
    };
    const test::Message earlier{"old sender", "old body", "2001-02-03 04:05:06", 42};
    for (const auto& c : cases) {
        MessageStore store = test::StoreOf({earlier});
        const std::string head = Utf16Le(c.text);
        const ReadOutcome outcome = ParseMessageHead(head, store);
        const auto messages = test::Contents(store);
        ASSERT_EQ(outcome, c.refusal) << c.name;
        if (c.fields) {
            ASSERT_EQ(messages.size(), 2u) << c.name;
            EXPECT_EQ(Printable(messages[1].party), Printable((*c.fields)[0])) << c.name;
            EXPECT_EQ(messages[1].time, (*c.fields)[1]) << c.name;
            EXPECT_EQ(Printable(messages[1].body), Printable((*c.fields)[2])) << c.name;
        }
        // A refused head leaves the store as it was; an accepted one only appends.
        EXPECT_EQ(messages.front(), earlier) << c.name;
        EXPECT_EQ(messages.size(), c.fields ? 2u : 1u) << c.name;
    }
}

TEST(ParseMessageHead, RefusesAHeadWithoutAWholeUnit) {
    MessageStore store;
    EXPECT_EQ(ParseMessageHead({}, store), SkipReason::Empty);
    EXPECT_EQ(ParseMessageHead(std::string_view("T"), store), SkipReason::NotUtf16Text);
    EXPECT_TRUE(store.Messages().empty());
}

// A message or card file read as the run reads it: opened by its path, then its head.
class ReaderTest : public ::testing::Test {
protected:
    // Opens the file as a listing that told nothing of it, and as its folder's listing tells of
    // it (a regular file of known identity needs no further check); both must read alike.
    template <typename Read>
    ReadOutcome ReadBoth(const std::filesystem::path& path, Read&& read) {
        std::vector<std::pair<platform::EntryKind, std::optional<platform::FileId>>> views = {
            {platform::EntryKind::Unchecked, std::nullopt}};
        FileList list;
        const std::string extension = path.extension().string();
        const std::string name = extension.substr(extension.empty() ? 0 : 1);
        CollectFiles(
            path.parent_path().native(), list,
            {{name, InputKind::ClassicMessage}, {"", InputKind::ClassicMessage}, {}, false});
        for (std::size_t i = 0; i < list.Size(); ++i) {
            if (list.At(i).name == path.filename().native()) {
                views.emplace_back(list.At(i).kind, list.At(i).id);
                break;
            }
        }
        EXPECT_EQ(views.size(), std::filesystem::exists(path) ? 2u : 1u) << path;
        std::optional<ReadOutcome> first;
        for (const auto& [kind, id] : views) {
            platform::InputFile file;
            ReadOutcome outcome;
            switch (file.Open(path.native(), kind, id)) {
                case platform::InputFile::Outcome::Opened:
                    outcome = read(file);
                    break;
                case platform::InputFile::Outcome::CannotOpen:
                    outcome = SkipReason::CannotOpen;
                    break;
                case platform::InputFile::Outcome::NotRegularFile:
                    outcome = SkipReason::NotRegularFile;
                    break;
            }
            if (first) {
                EXPECT_EQ(outcome, *first) << path;
            } else {
                first = outcome;
            }
        }
        return *first;
    }

    TempDir dir_;
};

class ReadMessageTest : public ReaderTest {
protected:
    // The message the file holds; none, with the reason in refusal_, when it holds none.
    std::optional<test::Message> Read(std::string_view fileBytes) {
        const auto path = dir_ / "m.vmg";
        WriteBytes(path, fileBytes);
        return ReadPath(path);
    }

    std::optional<test::Message> ReadPath(const std::filesystem::path& path) {
        std::vector<test::Message> read;
        refusal_ = ReadBoth(path, [&](platform::InputFile& file) {
            MessageStore store;
            const ReadOutcome outcome = ReadMessageFile(file, store);
            const auto messages = test::Contents(store);
            EXPECT_EQ(messages.size(), outcome ? 0u : 1u);
            read.insert(read.end(), messages.begin(), messages.end());
            return outcome;
        });
        if (read.empty()) {
            return std::nullopt;
        }
        EXPECT_EQ(read.size(), 2u);
        EXPECT_EQ(read.front(), read.back());
        return read.front();
    }

    ReadOutcome refusal_;
};

TEST_F(ReadMessageTest, ReadsAUtf16LittleEndianFile) {
    const auto message =
        Read(Utf16Le(MessageText("013912345678", "18.03.2009 10:15:30", "你好\n再见")));
    ASSERT_TRUE(message);
    EXPECT_EQ(refusal_, std::nullopt);
    EXPECT_EQ(message->party, "13912345678");
    EXPECT_EQ(message->time, "2009-03-18 10:15:30");
    EXPECT_EQ(message->key, 1260353730u);
    EXPECT_EQ(message->body, "你好\n再见");
}

TEST_F(ReadMessageTest, RefusesFilesThatHoldNoWholeMessageInTheirHead) {
    const std::pair<std::string, SkipReason> refused[] = {
        {"", SkipReason::Empty},
        {"T", SkipReason::NotUtf16Text},
        // Big-endian units are other characters: no marker is found.
        {test::Convert(MessageText("1", "1.1.2009 0:0:0", "x"), "UTF-8", "UTF-16BE"),
         SkipReason::NoTelLine},
        {Utf16Le(MessageText("1", "1.1.2009 0:0:0", "x")).substr(0, 100), SkipReason::NoTelLine},
        {Utf16Le(MessageText("1", "1.1.2009 0:0:0", "x")).substr(0, 200), SkipReason::NoBody},
        {Utf16Le(MessageText("1", "1.1.2009 0:0:0", "x")).substr(0, 254), SkipReason::NoBodyEnd},
    };
    for (const auto& [bytes, reason] : refused) {
        EXPECT_FALSE(Read(bytes)) << Printable(bytes);
        EXPECT_EQ(refusal_, reason) << Printable(bytes);
    }

    // "END:VBODY" just past the 2048th unit: a long message is dropped.
    const std::string prefix = "TEL:1\nBEGIN:VBODY\nDate:1.1.2009 0:0:0\n";
    const std::string longBody(2048 - prefix.size(), 'x');
    EXPECT_FALSE(Read(Utf16Le(prefix + longBody + "\nEND:VBODY\n")));
    EXPECT_EQ(refusal_, SkipReason::NoBodyEnd);
    // The same message one unit shorter fits: "END:VBODY" then ends at unit 2048.
    const std::string fits = prefix + std::string(2048 - prefix.size() - 10, 'x') + "\nEND:VBODY";
    ASSERT_EQ(fits.size(), 2048u);
    EXPECT_TRUE(Read(Utf16Le(fits)));
}

TEST_F(ReadMessageTest, HeadOfTwoByteCharactersConvertsWhileItFits) {
    // Every head holding the ASCII markers fits the 4096-byte area; the one that does not
    // (2048 two-byte units) is shown by the conversion's own test.
    const std::string prefix = "TEL:1\nBEGIN:VBODY\nDate:1.1.2009 0:0:0\nEND:VBODY\n";
    std::string filler;
    for (std::size_t i = prefix.size(); i < 2048; ++i) {
        filler += "张";
    }
    EXPECT_TRUE(Read(Utf16Le(prefix + filler)));
    // 2048 of them do not fit with the terminator: the head is no text the reader can take.
    std::string allDouble;
    for (std::size_t i = 0; i < 2048; ++i) {
        allDouble += "张";
    }
    EXPECT_FALSE(Read(Utf16Le(allDouble)));
    EXPECT_EQ(refusal_, SkipReason::NotUtf16Text);
}

TEST_F(ReadMessageTest, ByteOrderMarkOddByteAndForeignCharacters) {
    const std::string text = MessageText("123", "2.3.2009 8:5:9", "smile \xF0\x9F\x98\x80");
    const auto plain = Read(Utf16Le(text));
    ASSERT_TRUE(plain);
    // The store keeps the character the code page lacks; the classic archive writes it "??".
    EXPECT_EQ(plain->body, "smile \xF0\x9F\x98\x80");
    const auto withMark = Read("\xFF\xFE" + Utf16Le(text));
    ASSERT_TRUE(withMark);
    EXPECT_EQ(withMark->body, plain->body);
    EXPECT_EQ(withMark->party, plain->party);
    const auto oddByte = Read(Utf16Le(text) + "\x41");
    ASSERT_TRUE(oddByte);
    EXPECT_EQ(oddByte->body, plain->body);
}

TEST_F(ReadMessageTest, MissingFileAndFolderAreRefused) {
    EXPECT_FALSE(ReadPath(dir_ / "absent.vmg"));
    EXPECT_EQ(refusal_, SkipReason::CannotOpen);
    // A folder in place of what the listing saw as a file still reads as nothing.
    for (const auto kind : {platform::EntryKind::Unchecked, platform::EntryKind::RegularFile}) {
        platform::InputFile file;
        const auto opened = file.Open(dir_.Path().native(), kind, platform::FileId{1, 2});
        ReadOutcome outcome = SkipReason::CannotOpen;
        MessageStore store;
        if (opened == platform::InputFile::Outcome::Opened) {
            outcome = ReadMessageFile(file, store);
        } else if (opened == platform::InputFile::Outcome::NotRegularFile) {
            outcome = SkipReason::NotRegularFile;
        }
        EXPECT_TRUE(store.Messages().empty());
#ifdef _WIN32
        EXPECT_EQ(outcome, SkipReason::NotRegularFile);
#else
        // A listing's regular file is opened unchecked; its first read fails.
        EXPECT_EQ(outcome, kind == platform::EntryKind::RegularFile ? SkipReason::ReadError
                                                                    : SkipReason::NotRegularFile);
#endif
    }
#ifndef _WIN32
    platform::InputFile file;
    EXPECT_EQ(
        file.Open((dir_ / "absent.vmg").native(), platform::EntryKind::RegularFile, std::nullopt),
        platform::InputFile::Outcome::CannotOpen);
    EXPECT_EQ(file.LastError(), ENOENT);
#endif
}

TEST_F(ReadMessageTest, AnyNameTheSystemSpellsIsRead) {
    std::vector<std::filesystem::path> paths = {dir_ / "中/短信.vmg", dir_ / "smile-😀.vmg"};
#ifndef _WIN32
    // POSIX names may hold any byte but "/" and zero, and need be no UTF-8.
    paths.push_back(dir_ / "what?.vmg");
    paths.push_back(dir_.Path() / "bad-\xFF\xD6.vmg");
#endif
    for (const auto& path : paths) {
        test::WriteMessage(path, "7", "1.1.2009 0:0:0", "named");
        const auto message = ReadPath(path);
        ASSERT_TRUE(message) << path;
        EXPECT_EQ(message->body, "named");
    }
}

struct CardCase {
    std::string name;
    std::string text;
    ReadOutcome outcome;
    std::vector<std::pair<std::string, std::string>> entries;  // name, number
};

TEST(ParseCardText, FindsTheNameLineAndEveryTelephoneLine) {
    const CardCase cases[] = {
        {"name and no telephone", "BEGIN:VCARD\nFN:abc\nEND:VCARD\n", std::nullopt, {}},
        {"telephone lines but no name", "BEGIN:VCARD\nTEL:1\nEND:VCARD\n", SkipReason::NoName, {}},
        {"FN wins over an earlier N",
         "BEGIN:VCARD\nN:Zhang;San;;;\nFN:Zhang San\nTEL:1\n",
         std::nullopt,
         {{"Zhang San", "1"}}},
        {"N as a structured name",
         "BEGIN:VCARD\nN:Zhang;San;;;\nTEL:1\nTEL;CELL:+862\n",
         std::nullopt,
         {{"ZhangSan", "1"}, {"ZhangSan", "2"}}},
        {"a NOTE line before N supplies the name",
         "BEGIN:VCARD\nNOTE:x\nN:a;b\nTEL:1\n",
         std::nullopt,
         {{"x", "1"}}},
        {"the first line never names the card", "FN:abc\nTEL:1\n", SkipReason::NoName, {}},
        {"name line without LF", "BEGIN:VCARD\nTEL:1\nFN:abc", SkipReason::NoLineEnd, {}},
        {"telephone lines before the name count",
         "BEGIN:VCARD\nTEL:1\nFN:abc\nTEL:2\n",
         std::nullopt,
         {{"abc", "1"}, {"abc", "2"}}},
        {"TEL line without colon takes a later line's",
         "x\nFN:a\nTELX\nNOTE:5\n",
         std::nullopt,
         {{"a", "5"}}},
        {"TEL with no colon anywhere after", "x\nFN:a\nTEL;CELL\n", SkipReason::TelLineCut, {}},
        // A card that fails gives none of the entries it had made.
        {"number without LF", "x\nFN:a\nTEL:1\nTEL:2", SkipReason::TelLineCut, {}},
        {"empty number", "x\nFN:a\nTEL:\n", std::nullopt, {{"a", ""}}},
        {"control characters in a name and a number become spaces",
         "B\nFN:a\x1b[31mb\a\nTEL:1\x1b"
         "2\n",
         std::nullopt,
         {{"a [31mb ", "1 2"}}},
        {"two cards, the first name for all",
         "B\nFN:one\nTEL:1\nEND\nB\nFN:two\nTEL:2\n",
         std::nullopt,
         {{"one", "1"}, {"one", "2"}}},
        {"soft line break joins a quoted-printable name",
         "B\nFN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=A0=E4=B8=\n=89\nTEL:+"
         "8613912345678\n",
         std::nullopt,
         {{"张三", "13912345678"}}},
        // A name is one line of the archive: each CR or LF of it becomes a space.
        {"a lone CR in the name line", "B\nFN:a\rb\nTEL:1\n", std::nullopt, {{"a b", "1"}}},
        {"a quoted-printable CR LF in the name",
         "B\nFN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:a=0D=0Ab\nTEL:1\n",
         std::nullopt,
         {{"a  b", "1"}}},
    };
    for (const auto& c : cases) {
        CardEntries entries;
        EXPECT_EQ(ParseCardText(c.text, entries), c.outcome) << c.name;
        std::vector<std::pair<std::string, std::string>> got;
        for (std::size_t i = 0; i < entries.Size(); ++i) {
            got.emplace_back(entries.Name(i), entries.Number(i));
        }
        EXPECT_EQ(got, c.entries) << c.name;
    }
}

class ReadContactsTest : public ReaderTest {
protected:
    ReadOutcome Read(std::string_view fileBytes, std::vector<ContactEntry>& entries) {
        const auto path = dir_ / "c.vcf";
        WriteBytes(path, fileBytes);
        std::vector<ContactEntry> first;
        bool isFirst = true;
        return ReadBoth(path, [&](platform::InputFile& file) {
            std::vector<ContactEntry> read;
            const ReadOutcome outcome = ReadCardFile(file, read);
            if (isFirst) {
                isFirst = false;
                entries.insert(entries.end(), read.begin(), read.end());
                first = std::move(read);
            } else {
                EXPECT_EQ(read.size(), first.size());
                for (std::size_t i = 0; i < std::min(read.size(), first.size()); ++i) {
                    EXPECT_EQ(read[i].name, first[i].name);
                    EXPECT_EQ(read[i].number, first[i].number);
                }
            }
            return outcome;
        });
    }
};

TEST_F(ReadContactsTest, CrLfCardReadsAsTheLfCard) {
    const std::string lf =
        "BEGIN:VCARD\nVERSION:2.1\nFN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E6=9D=8E=\n=E5=9B="
        "9B\nTEL;CELL:+8613800000000\nTEL;HOME:01088888888\nEND:VCARD\n";
    std::string crlf;
    for (const char c : lf) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    std::vector<ContactEntry> fromLf;
    std::vector<ContactEntry> fromCrLf;
    ASSERT_EQ(Read(lf, fromLf), std::nullopt);
    ASSERT_EQ(Read(crlf, fromCrLf), std::nullopt);
    ASSERT_EQ(fromLf.size(), 2u);
    EXPECT_EQ(fromLf[0].name, "李四");
    EXPECT_EQ(fromLf[1].number, "1088888888");
    ASSERT_EQ(fromCrLf.size(), fromLf.size());
    for (std::size_t i = 0; i < fromLf.size(); ++i) {
        EXPECT_EQ(fromCrLf[i].name, fromLf[i].name);
        EXPECT_EQ(fromCrLf[i].number, fromLf[i].number);
    }
}

// Today's phones put every card into one file: the classic reading takes the first card alone
// and says that more are there.
TEST(FindFirstCard, CutsAFileOfSeveralCardsAfterTheFirstEndLine) {
    const struct {
        std::string head;
        std::string first;
        bool more;
    } cases[] = {
        {"B\nFN:a\nTEL:1\nEND:VCARD\n", "B\nFN:a\nTEL:1\nEND:VCARD\n", false},
        {"B\nFN:a\nTEL:1\nEND:VCARD\nnotes after\nTEL:2\n",
         "B\nFN:a\nTEL:1\nEND:VCARD\nnotes after\nTEL:2\n", false},
        {"B\nFN:a\nTEL:1\nEND:VCARD\nBEGIN:VCARD\nFN:b\nTEL:2\n", "B\nFN:a\nTEL:1\nEND:VCARD\n",
         true},
        {"B\nFN:a\nTEL\nEND:VCARD\r\nBEGIN:VCARD\n", "B\nFN:a\nTEL\nEND:VCARD\r\n", true},
        {"B\nFN:a\nTEL:1\n", "B\nFN:a\nTEL:1\n", false},
    };
    for (const auto& c : cases) {
        const FirstCard first = FindFirstCard(c.head);
        EXPECT_EQ(first.text, c.first) << Printable(c.head);
        EXPECT_EQ(first.more, c.more) << Printable(c.head);
    }
}

TEST_F(ReadContactsTest, AFileOfSeveralCardsGivesTheFirstAndSaysSo) {
    const std::string second = "BEGIN:VCARD\nFN:Second\nTEL:2\nEND:VCARD\n";
    std::vector<ContactEntry> entries;
    EXPECT_EQ(Read("BEGIN:VCARD\nFN:First\nTEL:1\nEND:VCARD\n" + second, entries), std::nullopt);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "First");
    EXPECT_EQ(entries[0].number, "1");
    // A first card without a name fails as such, whatever the later cards hold.
    entries.clear();
    EXPECT_EQ(Read("BEGIN:VCARD\nTEL:1\nEND:VCARD\n" + second, entries), SkipReason::NoName);
    EXPECT_TRUE(entries.empty());

    WriteBytes(dir_ / "c" / "all.vcf", "BEGIN:VCARD\nFN:First\nTEL:1\nEND:VCARD\n" + second);
    std::string scratch;
    const ReadSettings settings;
    platform::InputFile file;
    ASSERT_EQ(
        file.Open((dir_ / "c" / "all.vcf").native(), platform::EntryKind::Unchecked, std::nullopt),
        platform::InputFile::Outcome::Opened);
    Input input{file, {}, {}, settings, scratch};
    Items items;
    const ReadResult result = ReadClassicCard(input, items);
    EXPECT_EQ(result.read, 1u);
    EXPECT_EQ(result.skipped, (std::vector<SkippedItems>{{1, 1, SkipReason::MoreCards, {}}}));
}

TEST_F(ReadContactsTest, ReadsOnly2048BytesAfterTextModeTranslation) {
    const std::string head = "BEGIN:VCARD\r\nFN:abc\r\nTEL:1\r\n";
    std::string note = "NOTE:";
    // Whole lines within the first 2048 bytes as the reader counts them (CR LF as one byte).
    const std::size_t counted = head.size() - 3;
    note.append(2048 - counted - note.size() - 1 - 12, 'x');
    note += "\r\n";
    std::vector<ContactEntry> entries;
    EXPECT_EQ(Read(head + note + "TEL:2\r\nTEL:3\r\n" + std::string(900, 'y'), entries),
              std::nullopt);
    EXPECT_EQ(entries.size(), 3u);

    // The limit falls inside a telephone line: the card fails.
    entries.clear();
    EXPECT_EQ(Read(head + note + "TEL:22222222\r\n" + std::string(900, 'y'), entries),
              SkipReason::TelLineCut);
}

// The C library's text mode over a whole file: CR LF is LF, a lone CR stays, 0x1A ends the data.
std::string TextModeOf(std::string_view bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size() && bytes[i] != '\x1A'; ++i) {
        if (bytes[i] != '\r' || i + 1 >= bytes.size() || bytes[i + 1] != '\n') {
            text.push_back(bytes[i]);
        }
    }
    return text;
}

TEST(ReadTextHead, GivesTheHeadOfTheWholeFileInTextMode) {
    // Files around and past the reader's 4096-byte chunks, line ends falling across them.
    TempDir dir;
    std::mt19937 random(4096);
    const char pieces[] = {'a', '\r', '\n', '\r', '\n', 'b'};
    std::vector<std::string> files = {"", "\r", std::string(4095, 'x') + "\r\n"};
    files.push_back(std::string(4095, '\r') + "\n" + std::string(4000, '\r') + "\r\n");
    for (const std::size_t size : {4095u, 4096u, 4097u, 8191u, 8192u, 8193u, 12000u}) {
        for (int variant = 0; variant < 4; ++variant) {
            std::string bytes;
            for (std::size_t i = 0; i < size; ++i) {
                bytes.push_back(variant == 0 ? (i % 2 == 0 ? '\r' : '\n')
                                             : pieces[random() % std::size(pieces)]);
            }
            if (variant == 3) {
                bytes[size - 1 - random() % 100] = '\x1A';
            }
            files.push_back(bytes);
        }
    }
    const auto path = dir / "c.vcf";
    for (const std::string& bytes : files) {
        WriteBytes(path, bytes);
        const std::string text = TextModeOf(bytes);
        for (const std::size_t areaSize : {2048u, 6000u, 10000u}) {
            platform::InputFile file;
            ASSERT_EQ(file.Open(path.native(), platform::EntryKind::Unchecked, std::nullopt),
                      platform::InputFile::Outcome::Opened);
            std::vector<char> area(areaSize);
            const auto got = file.ReadTextHead(area);
            ASSERT_TRUE(got);
            EXPECT_EQ(Printable(std::string_view(area.data(), *got)),
                      Printable(text.substr(0, areaSize)))
                << bytes.size() << " bytes into " << areaSize;
        }
    }
}

TEST_F(ReadContactsTest, EndOfFileByteEndsTheData) {
    std::vector<ContactEntry> entries;
    EXPECT_EQ(Read("B\nFN:a\nTEL:1\n\x1ATEL:2\n", entries), std::nullopt);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].number, "1");
    entries.clear();
    EXPECT_EQ(Read("", entries), SkipReason::Empty);
    EXPECT_EQ(Read("\x1A"
                   "B\nFN:a\n",
                   entries),
              SkipReason::Empty);
    EXPECT_TRUE(entries.empty());
}

}  // namespace
}  // namespace quillbox
