#include "file_reader.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "test_files.h"

namespace quillbox {
namespace {

using test::Gbk;
using test::MessageText;
using test::Printable;
using test::TempDir;
using test::Utf16Le;
using test::WriteBytes;

struct ParseCase {
    std::string name;
    std::string text;
    // Expected sender, dateText and body; none when the text must be refused.
    std::optional<std::array<std::string, 3>> fields;
};

TEST(ParseMessageText, CutsNumberDateAndBodyAtTheMarkers) {
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
        {"CR before the number's LF belongs to the number",
         "TEL:5\r\n" + body + "x\nEND:VBODY",
         {{"5\r", "2009-03-18 10:15:30", "x"}}},
        {"empty number and empty date",
         "TEL:\nBEGIN:VBODY\nDate:\nx\nEND:VBODY",
         {{"", "0-00-00 00:00:00", "x"}}},
        {"no TEL:", "BEGIN:VBODY\nDate:1.1.2009 0:0:0\nx\nEND:VBODY", std::nullopt},
        {"no LF after the number", "TEL:1", std::nullopt},
        {"CR LF after BEGIN:VBODY", "TEL:1\nBEGIN:VBODY\r\nDate:x\nEND:VBODY", std::nullopt},
        {"blank line before Date:", "TEL:1\nBEGIN:VBODY\n\nDate:x\ny\nEND:VBODY", std::nullopt},
        {"date marker in lower case", "TEL:1\nBEGIN:VBODY\ndate:x\ny\nEND:VBODY", std::nullopt},
        {"no LF after the date", "TEL:1\nBEGIN:VBODY\nDate:x", std::nullopt},
        {"no END:VBODY", "TEL:1\n" + body + "text\n", std::nullopt},
        {"BEGIN:VBODY before the number", "BEGIN:VBODY\nDate:x\nTEL:1\ny\nEND:VBODY", std::nullopt},
        {"text after a zero byte is not seen", std::string("TEL:1\n\0", 7) + body + "x\nEND:VBODY",
         std::nullopt},
    };
    for (const auto& c : cases) {
        MessageRecord record{"old sender", "old body", "old date", 42};
        const bool accepted = ParseMessageText(c.text, record);
        ASSERT_EQ(accepted, c.fields.has_value()) << c.name;
        if (c.fields) {
            EXPECT_EQ(Printable(record.sender), Printable((*c.fields)[0])) << c.name;
            EXPECT_EQ(record.dateText, (*c.fields)[1]) << c.name;
            EXPECT_EQ(Printable(record.body), Printable((*c.fields)[2])) << c.name;
        } else {
            EXPECT_EQ(record.sender, "old sender") << c.name;
            EXPECT_EQ(record.body, "old body") << c.name;
            EXPECT_EQ(record.dateText, "old date") << c.name;
            EXPECT_EQ(record.dateKey, 42u) << c.name;
        }
    }
}

class ReadMessageTest : public ::testing::Test {
protected:
    std::optional<MessageRecord> Read(std::string_view fileBytes) {
        const auto path = dir_ / "m.vmg";
        WriteBytes(path, fileBytes);
        MessageRecord record;
        CFileReader reader;
        const bool read = reader.ReadMessage(&record, path.string());
        // The run's read into its store takes the same messages, whatever the listing said.
        for (const auto kind : {platform::EntryKind::Unchecked, platform::EntryKind::RegularFile}) {
            MessageStore store;
            platform::FolderFileReader files;
            const std::string folder = dir_.Path().string() + "/";
            EXPECT_EQ(ReadMessageFile(store, files, {folder, "m.vmg", kind}), read);
            EXPECT_EQ(store.Messages().size(), read ? 1u : 0u);
            if (read && store.Messages().size() == 1) {
                const auto& stored = store.Messages()[0];
                EXPECT_EQ(stored.Sender(), record.sender);
                EXPECT_EQ(stored.DateText(), record.dateText);
                EXPECT_EQ(stored.Body(), record.body);
                EXPECT_EQ(stored.DateKey(), record.dateKey);
            }
        }
        if (!read) {
            return std::nullopt;
        }
        return record;
    }

    TempDir dir_;
};

TEST_F(ReadMessageTest, ReadsAUtf16LittleEndianFile) {
    const auto record =
        Read(Utf16Le(MessageText("013912345678", "18.03.2009 10:15:30", "你好\n再见")));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->sender, "13912345678");
    EXPECT_EQ(record->dateText, "2009-03-18 10:15:30");
    EXPECT_EQ(record->dateKey, 1260353730u);
    EXPECT_EQ(Printable(record->body), Printable(Gbk("你好\n再见")));
}

TEST_F(ReadMessageTest, RefusesFilesThatHoldNoWholeMessageInTheirHead) {
    EXPECT_FALSE(Read(""));
    EXPECT_FALSE(Read("T"));
    EXPECT_FALSE(Read(test::Convert(MessageText("1", "1.1.2009 0:0:0", "x"), "UTF-8", "UTF-16BE")));
    EXPECT_FALSE(Read(Utf16Le(MessageText("1", "1.1.2009 0:0:0", "x")).substr(0, 100)));

    // "END:VBODY" just past the 2048th unit: a long message is dropped.
    const std::string prefix = "TEL:1\nBEGIN:VBODY\nDate:1.1.2009 0:0:0\n";
    const std::string longBody(2048 - prefix.size(), 'x');
    EXPECT_FALSE(Read(Utf16Le(prefix + longBody + "\nEND:VBODY\n")));
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
}

TEST_F(ReadMessageTest, ByteOrderMarkOddByteAndForeignCharacters) {
    const std::string text = MessageText("123", "2.3.2009 8:5:9", "smile \xF0\x9F\x98\x80");
    const auto plain = Read(Utf16Le(text));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->body, "smile ??");
    const auto withMark = Read("\xFF\xFE" + Utf16Le(text));
    ASSERT_TRUE(withMark);
    EXPECT_EQ(withMark->body, plain->body);
    EXPECT_EQ(withMark->sender, plain->sender);
    const auto oddByte = Read(Utf16Le(text) + "\x41");
    ASSERT_TRUE(oddByte);
    EXPECT_EQ(oddByte->body, plain->body);
}

TEST_F(ReadMessageTest, MissingFileAndFolderAreRefused) {
    MessageRecord record;
    CFileReader reader;
    EXPECT_FALSE(reader.ReadMessage(&record, (dir_ / "absent.vmg").string()));
    EXPECT_FALSE(reader.ReadMessage(&record, dir_.Path().string()));
    // A folder in place of what the listing saw as a file still reads as nothing.
    MessageStore store;
    platform::FolderFileReader files;
    EXPECT_FALSE(
        ReadMessageFile(store, files,
                        {dir_.Path().parent_path().string() + "/", dir_.Path().filename().string(),
                         platform::EntryKind::RegularFile}));
    EXPECT_TRUE(store.Messages().empty());
}

#ifndef _WIN32
// The folder reader converts a folder once for its files; every path must still read as the
// whole path does.
TEST(FolderFileReader, ReadsWhatTheWholePathReads) {
    TempDir dir;
    const std::string root = Gbk(dir.Path().string()) + "/";
    WriteBytes(dir / "a/x", "a/x\r\n");
    WriteBytes(dir / "a/y", "a/y");
    WriteBytes(dir / "中/x", "zhong/x");
    WriteBytes(dir / "中/短信", "zhong/duanxin");
    WriteBytes(dir / "b/x", "b/x\r");
    WriteBytes(dir / "?/x", "question/x");
    std::string tooLong = root;
    while (tooLong.size() < 4200) {
        tooLong += "a/";
    }
    const std::pair<std::string, std::string> paths[] = {
        {root + "a/", "x"},
        {root + "a/", "y"},
        {root + "b/", "x"},
        {root + "a/", "x"},
        {root + Gbk("中/"), "x"},
        {root + Gbk("中/"), Gbk("短信")},
        // A folder that ends inside a character, or a name that starts with one's second byte.
        {root + "\xD6", "\xD0/x"},
        {root + Gbk("中/"), "\xD0"},
        // Bytes code page 936 does not define.
        {root + "\x80\xFF/", "x"},
        {root + "?/", "x"},
        // The C string ends at a zero byte, in the name or in the folder.
        {root + "a/", std::string("x\0z", 3)},
        {root + std::string("a/\0", 3) + "/", "x"},
        {root, "a"},
        {root + "absent/", "x"},
        {tooLong, "x"},
        {"", ""},
    };
    for (const auto kind : {platform::EntryKind::Unchecked, platform::EntryKind::RegularFile}) {
        platform::FolderFileReader files;
        for (const auto& [folder, name] : paths) {
            const std::string whole = folder + name;
            std::array<char, 64> expected{};
            std::array<char, 64> got{};
            const auto expectedSize = platform::ReadFileHead(whole, expected, kind);
            EXPECT_EQ(files.ReadHead(folder, name, got, kind), expectedSize) << Printable(whole);
            EXPECT_EQ(got, expected) << Printable(whole);
            const auto expectedText = platform::ReadTextFileHead(whole, expected, kind);
            EXPECT_EQ(files.ReadTextHead(folder, name, got, kind), expectedText)
                << Printable(whole);
            EXPECT_EQ(got, expected) << Printable(whole);
        }
    }
    // The cases read something, and the text mode reads a CR LF as LF.
    platform::FolderFileReader files;
    std::array<char, 64> area{};
    EXPECT_EQ(files.ReadTextHead(root + "\xD6", "\xD0/x", area, platform::EntryKind::Unchecked),
              std::optional<std::size_t>(7));
    EXPECT_EQ(files.ReadTextHead(root + "a/", "x", area, platform::EntryKind::Unchecked),
              std::optional<std::size_t>(4));
}
#endif

struct CardCase {
    std::string name;
    std::string text;
    bool accepted;
    std::vector<std::pair<std::string, std::string>> entries;  // name, number
};

TEST(ParseCardText, FindsTheNameLineAndEveryTelephoneLine) {
    const CardCase cases[] = {
        {"name and no telephone", "BEGIN:VCARD\nFN:abc\nEND:VCARD\n", true, {}},
        {"telephone lines but no name", "BEGIN:VCARD\nTEL:1\nEND:VCARD\n", false, {}},
        {"FN wins over an earlier N",
         "BEGIN:VCARD\nN:Zhang;San;;;\nFN:Zhang San\nTEL:1\n",
         true,
         {{"Zhang San", "1"}}},
        {"N as a structured name",
         "BEGIN:VCARD\nN:Zhang;San;;;\nTEL:1\nTEL;CELL:+862\n",
         true,
         {{"ZhangSan", "1"}, {"ZhangSan", "2"}}},
        {"a NOTE line before N supplies the name",
         "BEGIN:VCARD\nNOTE:x\nN:a;b\nTEL:1\n",
         true,
         {{"x", "1"}}},
        {"the first line never names the card", "FN:abc\nTEL:1\n", false, {}},
        {"name line without LF", "BEGIN:VCARD\nTEL:1\nFN:abc", false, {}},
        {"telephone lines before the name count",
         "BEGIN:VCARD\nTEL:1\nFN:abc\nTEL:2\n",
         true,
         {{"abc", "1"}, {"abc", "2"}}},
        {"TEL line without colon takes a later line's",
         "x\nFN:a\nTELX\nNOTE:5\n",
         true,
         {{"a", "5"}}},
        {"TEL with no colon anywhere after", "x\nFN:a\nTEL;CELL\n", false, {}},
        {"number without LF", "x\nFN:a\nTEL:1\nTEL:2", false, {{"a", "1"}}},
        {"empty number", "x\nFN:a\nTEL:\n", true, {{"a", ""}}},
        {"two cards, the first name for all",
         "B\nFN:one\nTEL:1\nEND\nB\nFN:two\nTEL:2\n",
         true,
         {{"one", "1"}, {"one", "2"}}},
        {"soft line break joins a quoted-printable name",
         "B\nFN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=A0=E4=B8=\n=89\nTEL:+"
         "8613912345678\n",
         true,
         {{Gbk("张三"), "13912345678"}}},
    };
    for (const auto& c : cases) {
        std::vector<ContactEntry> entries;
        EXPECT_EQ(ParseCardText(c.text, entries), c.accepted) << c.name;
        std::vector<std::pair<std::string, std::string>> got;
        for (const auto& e : entries) {
            got.emplace_back(e.name, e.number);
        }
        EXPECT_EQ(got, c.entries) << c.name;
    }
}

class ReadContactsTest : public ::testing::Test {
protected:
    bool Read(std::string_view fileBytes, std::vector<ContactEntry>& entries) {
        const auto path = dir_ / "c.vcf";
        WriteBytes(path, fileBytes);
        CFileReader reader;
        return reader.ReadContacts(&entries, path.string());
    }

    TempDir dir_;
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
    ASSERT_TRUE(Read(lf, fromLf));
    ASSERT_TRUE(Read(crlf, fromCrLf));
    ASSERT_EQ(fromLf.size(), 2u);
    EXPECT_EQ(fromLf[0].name, Gbk("李四"));
    EXPECT_EQ(fromLf[1].number, "1088888888");
    ASSERT_EQ(fromCrLf.size(), fromLf.size());
    for (std::size_t i = 0; i < fromLf.size(); ++i) {
        EXPECT_EQ(fromCrLf[i].name, fromLf[i].name);
        EXPECT_EQ(fromCrLf[i].number, fromLf[i].number);
    }
}

TEST_F(ReadContactsTest, ReadsOnly2048BytesAfterTextModeTranslation) {
    const std::string head = "BEGIN:VCARD\r\nFN:abc\r\nTEL:1\r\n";
    std::string note = "NOTE:";
    // Whole lines within the first 2048 bytes as the reader counts them (CR LF as one byte).
    const std::size_t counted = head.size() - 3;
    note.append(2048 - counted - note.size() - 1 - 12, 'x');
    note += "\r\n";
    std::vector<ContactEntry> entries;
    EXPECT_TRUE(Read(head + note + "TEL:2\r\nTEL:3\r\n" + std::string(900, 'y'), entries));
    EXPECT_EQ(entries.size(), 3u);

    // The limit falls inside a telephone line: the card fails.
    entries.clear();
    EXPECT_FALSE(Read(head + note + "TEL:22222222\r\n" + std::string(900, 'y'), entries));
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

TEST(ReadTextFileHead, GivesTheHeadOfTheWholeFileInTextMode) {
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
    for (const std::string& bytes : files) {
        WriteBytes(dir / "c.vcf", bytes);
        const std::string text = TextModeOf(bytes);
        for (const std::size_t areaSize : {2048u, 6000u, 10000u}) {
            std::vector<char> area(areaSize);
            const auto got = platform::ReadTextFileHead((dir / "c.vcf").string(), area);
            ASSERT_TRUE(got);
            EXPECT_EQ(Printable(std::string_view(area.data(), *got)),
                      Printable(text.substr(0, areaSize)))
                << bytes.size() << " bytes into " << areaSize;
        }
    }
}

TEST_F(ReadContactsTest, EndOfFileByteEndsTheData) {
    std::vector<ContactEntry> entries;
    EXPECT_TRUE(Read("B\nFN:a\nTEL:1\n\x1ATEL:2\n", entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].number, "1");
    entries.clear();
    EXPECT_FALSE(Read("", entries));
    EXPECT_FALSE(
        Read("\x1A"
             "B\nFN:a\n",
             entries));
}

}  // namespace
}  // namespace quillbox
