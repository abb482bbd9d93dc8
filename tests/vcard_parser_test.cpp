// SPDX-License-Identifier: MIT
#include "read/vcard_parser.h"

#include <gtest/gtest.h>

#include "platform/charset.h"
#include "read/field_normalisation.h"
#include "read/vformat_text.h"
#include "test_files.h"
#include "test_messages.h"

namespace quillbox {
namespace {

using test::Printable;

// The cards below are written with LF; exports mostly end lines in CR LF.
std::string Crlf(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out.push_back('\r');
        }
        out.push_back(c);
    }
    return out;
}

CardBatch Parse(std::string_view file) {
    CardBatch batch;
    ParseVCards(file, batch);
    return batch;
}

// The one card a file is expected to give.
VCard OnlyCard(std::string_view file) {
    const CardBatch batch = Parse(file);
    EXPECT_EQ(batch.cards.size(), 1u) << Printable(file);
    EXPECT_TRUE(batch.skipped.empty()) << Printable(file);
    return batch.cards.empty() ? VCard{} : batch.cards.front();
}

std::string Card(std::string_view lines) {
    return "BEGIN:VCARD\nVERSION:3.0\n" + std::string(lines) + "END:VCARD\n";
}

struct NameCase {
    const char* what;
    std::string file;
    std::string name;
};

TEST(ParseVCards, ReadsTheNameInEveryWayItIsWritten) {
    const NameCase cases[] = {
        {"FN", Card("FN:Zhang San\nN:Other;Name\n"), "Zhang San"},
        {"FN folded with a space", Card("FN:Zhang\n  San\n"), "Zhang San"},
        {"FN folded with a tab", Card("FN:Zh\n\tang\n"), "Zhang"},
        {"lower-case names", Card("fn:Li Si\n"), "Li Si"},
        {"group", Card("item7.FN:Wang\n"), "Wang"},
        {"escapes", Card("FN:Smith\\, John \\\\ Jr\\; Sr\n"), "Smith, John \\ Jr; Sr"},
        {"a line end in the name", Card("FN:Two\\nLines\n"), "Two Lines"},
        {"empty FN falls to N", Card("FN:\nN:Doe;Jane;;;\n"), "Doe Jane"},
        {"N of a Western name", Card("N:Doe;Jane;Q;Dr;\n"), "Doe Jane"},
        {"N of a Chinese name", Card("N:张;三;;;\n"), "张三"},
        {"N with one CJK side", Card("N:Lee;明;;;\n"), "Lee明"},
        {"N of a Korean name", Card("N:김;민준;;;\n"), "김민준"},
        {"N of a Japanese name", Card("N:やまだ;たろう;;;\n"), "やまだたろう"},
        {"N with the family only", Card("N:Doe;;;;\n"), "Doe"},
        {"N with the given name only", Card("N:;Jane\n"), "Jane"},
        {"N with an escaped ;", Card("N:A\\;B;C\n"), "A;B C"},
        {"quoted-printable UTF-8",
         Card("FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=A0=E4=B8=89\n"), "张三"},
        {"bare 2.1 QUOTED-PRINTABLE", Card("FN;QUOTED-PRINTABLE:Ann=20Lee\n"), "Ann Lee"},
        {"soft break inside a character",
         Card("FN;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:=E5=BC=A0=E4=\n=B8=89\n"), "张三"},
        {"soft break on a folded line",
         Card("FN;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:=E5=BC=A0=E4=\n =B8=89\n"), "张三"},
        {"an indented END is no folding", "BEGIN:VCARD\nFN:Ann\n END:VCARD\n", "Ann"},
        {"soft break before END keeps END",
         "BEGIN:VCARD\nFN;ENCODING=QUOTED-PRINTABLE:Ann=\nEND:VCARD\n", "Ann"},
        {"base64 b", Card("FN;ENCODING=b;CHARSET=UTF-8:5byg5LiJ\n"), "张三"},
        {"base64 2.1", Card("FN;BASE64:5byg\n 5LiJ\n"), "张三"},
        {"quoted parameter with ; and :", Card("FN;X-LABEL=\"a;b:c\";CHARSET=\"UTF-8\":Quoted\n"),
         "Quoted"},
        {"a space after ;", Card("FN; CHARSET=UTF-8 ; ENCODING=QUOTED-PRINTABLE:=41\n"), "A"},
        {"no VERSION", "BEGIN:VCARD\nFN:Plain\nEND:VCARD\n", "Plain"},
        {"CR alone", "BEGIN:VCARD\rFN:Cr\rEND:VCARD\r", "Cr"},
        {"mixed line ends", "BEGIN:VCARD\r\nVERSION:2.1\nFN:Mixed\rEND:VCARD", "Mixed"},
        {"any case of BEGIN and END", "begin:vcard\nFN:Lower\nend:VCard\n", "Lower"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OnlyCard(c.file).name, c.name) << c.what;
        EXPECT_EQ(OnlyCard(Crlf(c.file)).name, c.name) << c.what << ", CR LF";
    }
}

struct CharsetCase {
    const char* charset;
    std::string bytes;
    std::string utf8;
};

std::string QuotedPrintable(std::string_view bytes) {
    std::string out;
    char hex[4];
    for (const char c : bytes) {
        std::snprintf(hex, sizeof hex, "=%02X", static_cast<unsigned char>(c));
        out.append(hex);
    }
    return out;
}

TEST(ParseVCards, ConvertsEachCharsetRawAndQuotedPrintable) {
    const CharsetCase cases[] = {
        {"UTF-8", "\xE5\xBC\xA0\xE4\xB8\x89", "张三"},
        {"GBK", "\xD5\xC5\xC8\xFD", "张三"},
        {"gb2312", "\xD5\xC5\xC8\xFD", "张三"},
        {"GB18030", "\xD5\xC5\xC8\xFD\x95\x32\x82\x36", "张三𠀀"},
        {"Big5", "\xB1\x69\xA4\x54", "張三"},
        {"SHIFT_JIS", "\x8E\x52\x93\x63\x91\xBE\x98\x59", "山田太郎"},
        {"WINDOWS-1251", "\xC8\xE2\xE0\xED", "Иван"},
        {"windows-1252", "Jos\xE9 M\xFCller", "José Müller"},
    };
#ifdef _WIN32
    // Wine 8 has no GB18030 converter; Windows has had one since Vista.
    const bool hasGb18030 = platform::DecodeToUtf8("GB18030", "\x81\x30\x81\x30").has_value();
#else
    const bool hasGb18030 = true;
#endif
    for (const auto& c : cases) {
        const std::string charset = c.charset;
        if (charset == "GB18030" && !hasGb18030) {
            continue;
        }
        EXPECT_EQ(OnlyCard(Card("FN;CHARSET=" + charset + ":" + c.bytes + "\n")).name, c.utf8)
            << charset;
        EXPECT_EQ(OnlyCard(Card("FN;ENCODING=QUOTED-PRINTABLE;CHARSET=" + charset + ":" +
                                QuotedPrintable(c.bytes) + "\n"))
                      .name,
                  c.utf8)
            << charset << ", quoted-printable";
    }
}

TEST(DecodeToUtf8, KnowsEachNameAsCardsWriteItAndRefusesWhatItCannotRead) {
    const std::pair<std::string_view, std::string_view> spellings[] = {
        {"SHIFT_JIS", "\x8E\x52"}, {"shift-jis", "\x8E\x52"},  {"Shift_JIS", "\x8E\x52"},
        {"sjis", "\x8E\x52"},      {"CP932", "\x8E\x52"},      {"GBK", "\xC9\xBD"},
        {"gb2312", "\xC9\xBD"},    {"x-gbk", "\xC9\xBD"},      {"CP936", "\xC9\xBD"},
        {"big5", "\xA4\x73"},      {"BIG5-HKSCS", "\xA4\x73"},
    };
    for (const auto& [name, bytes] : spellings) {
        EXPECT_EQ(platform::DecodeToUtf8(name, bytes), "山") << name;
    }
    EXPECT_EQ(platform::DecodeToUtf8("Windows-1251", "\xC8"), "И");
    EXPECT_EQ(platform::DecodeToUtf8("cp1251", "\xC8"), "И");
    EXPECT_EQ(platform::DecodeToUtf8("ISO-8859-1", "\xE9"), "é");
    EXPECT_EQ(platform::DecodeToUtf8("utf-8", "\xE5\xB1\xB1"), "山");
    EXPECT_EQ(platform::DecodeToUtf8("GBK", ""), "");
    EXPECT_FALSE(platform::DecodeToUtf8("X-UNKNOWN", "abc").has_value());
    EXPECT_FALSE(platform::DecodeToUtf8("", "abc").has_value());
    EXPECT_FALSE(platform::DecodeToUtf8("GBK", "\xC9").has_value());        // cut in two
    EXPECT_FALSE(platform::DecodeToUtf8("UTF-8", "\xE5\xB1").has_value());  // cut in two
}

TEST(ParseVCards, GuessesWhatNoCharsetSays) {
    const NameCase cases[] = {
        {"UTF-8 without charset", Card("FN:张三\n"), "张三"},
        {"GBK without charset", Card("FN:\xD5\xC5\xC8\xFD\n"), "张三"},
        {"quoted-printable GBK without charset", Card("FN;QUOTED-PRINTABLE:=D5=C5=C8=FD\n"),
         "张三"},
        {"unknown charset, UTF-8 bytes", Card("FN;CHARSET=X-MAC-UNKNOWN:张三\n"), "张三"},
        {"unknown charset, GBK bytes", Card("FN;CHARSET=X-MAC-UNKNOWN:\xD5\xC5\xC8\xFD\n"), "张三"},
        {"a wrong UTF-8 label on GBK bytes", Card("FN;CHARSET=UTF-8:\xD5\xC5\xC8\xFD\n"), "张三"},
        // "伟" in GBK is valid UTF-8 on its own (U+03B0); the card's other GBK bytes tell.
        {"GBK valid as UTF-8 in a GBK card", Card("FN:\xCE\xB0\nNOTE:\xD5\xC5\xC8\xFD\n"), "伟"},
        {"vCard 4.0 is UTF-8 whatever the bytes",
         "BEGIN:VCARD\nVERSION:4.0\nFN:\xD5\xC5\nEND:VCARD\n", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"bytes that are nothing",
         Card("FN:A\x80\xFF"
              "B\n"),
         "A\xEF\xBF\xBD\xEF\xBF\xBD"
         "B"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OnlyCard(c.file).name, c.name) << c.what;
    }
}

TEST(ParseVCards, GuessesEachCardOfAMixedFileOnItsOwn) {
    // Address books merged from several phones: a UTF-8 card, a GBK one, a UTF-8 one.
    const CardBatch batch = Parse(Card("FN:张三\n") + Card("FN:\xCE\xB0\nNOTE:\xD5\xC5\n") +
                                  Card("FN:伟\nNOTE:\xCE\xB0\n"));
    ASSERT_EQ(batch.cards.size(), 3u);
    EXPECT_EQ(batch.cards[0].name, "张三");
    EXPECT_EQ(batch.cards[1].name, "伟");
    EXPECT_EQ(batch.cards[2].name, "伟");
}

TEST(ParseVCards, ReadsUtf16FilesByTheirMark) {
    const std::string card = Crlf(Card("FN;CHARSET=GBK:张三\nTEL:139 0000 0001\n"));
    const std::string little = "\xFF\xFE" + test::Utf16Le(card);
    std::string big = "\xFE\xFF";
    for (std::size_t i = 2; i < little.size(); i += 2) {
        big.push_back(little[i + 1]);
        big.push_back(little[i]);
    }
    for (const auto& file : {little, big, "\xEF\xBB\xBF" + card}) {
        const VCard read = OnlyCard(file);
        EXPECT_EQ(read.name, "张三");
        EXPECT_EQ(read.numbers, std::vector<std::string>{"13900000001"});
    }
}

TEST(ParseVCards, ReadsEveryCardOfAFileInOrder) {
    std::string file;
    for (int i = 0; i < 499; ++i) {
        file += Card("FN:Person " + std::to_string(i) + "\nTEL;CELL:+86 139 0000 " +
                     std::to_string(1000 + i) + "\n");
    }
    const CardBatch batch = Parse(Crlf(file));
    ASSERT_EQ(batch.cards.size(), 499u);
    for (std::size_t i = 0; i < batch.cards.size(); ++i) {
        EXPECT_EQ(batch.cards[i].index, i);
        EXPECT_EQ(batch.cards[i].name, "Person " + std::to_string(i));
        EXPECT_EQ(batch.cards[i].numbers,
                  std::vector<std::string>{"+861390000" + std::to_string(1000 + i)});
    }
}

TEST(ParseVCards, TakesEveryTelOnceInOrderWhateverItsForm) {
    const VCard card = OnlyCard(Card(
        "FN:Many\nTEL;TYPE=CELL:+86 139-0000-0001\nitem1.TEL;type=pref:(0755) 1234 5678\n"
        "TEL;CELL;VOICE:139.0000.0002\nTEL;TYPE=\"work,voice\":tel:+1-555-0100;ext=102\n"
        "TEL;VALUE=uri:tel:+1-555-0101\nTEL:+8613900000001\nTEL:\nTEL;QUOTED-PRINTABLE:=31=30=30\n"
        "TEL;CHARSET=UTF-8:１３９ ００００ ０００３\n"));
    const std::vector<std::string> expected = {"+8613900000001", "075512345678", "13900000002",
                                               "+15550100",      "+15550101",    "100",
                                               "13900000003"};
    EXPECT_EQ(card.numbers, expected);
    // Cleaned, the numbers meet the ones messages carry once normalised.
    EXPECT_EQ(NormalizeNumber(card.numbers[0]), "13900000001");
    EXPECT_EQ(NormalizeNumber(card.numbers[1]), "75512345678");
}

TEST(CleanNumber, DropsSeparatorsAndEndsAtParametersAndPauses) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"+86 139-0000-0001", "+8613900000001"},
        {"(0755) 1234 5678", "075512345678"},
        {"0755/1234.5678", "075512345678"},
        {"tel:+1-555-0100;ext=102", "+15550100"},
        {"TEL:10086", "10086"},
        {"+8613900000001;phone-context=example", "+8613900000001"},
        {"13900000001p123", "13900000001"},
        {"13900000001w5", "13900000001"},
        {"10086,1,2", "10086"},
        {"+1 555 0100 x12", "+15550100"},
        {"+1 555 0100 ext. 12", "+15550100"},
        {"*21#", "*21#"},
        {"  139\t0000\r", "1390000"},
        {"１３９－００００", "1390000"},  // full-width digits and hyphen
        {"＋８６　１３９", "+86139"},     // full-width plus, ideographic space
        {"139\xC2\xA0"
         "0000",
         "1390000"},           // no-break space
        {"PayPal", "PayPal"},  // a sender by name keeps its letters
        {"China-Mobile 10086", "ChinaMobile10086"},
        {"", ""},
        {"p123", "p123"},
    };
    for (const auto& [raw, expected] : cases) {
        EXPECT_EQ(vformat::CleanNumber(raw), expected) << Printable(raw);
    }
}

TEST(ParseVCards, FindsTheTelAfterALargePhoto) {
    std::string photo;
    for (int i = 0; i < 2000; ++i) {
        photo += "/9j/4AAQSkZJRgABAQEASABIAAD/2wBDAAMCAgMCAgMDAwMEAwMEBQgFBQQE";
    }
    std::string folded;      // 3.0: folded lines
    std::string indented;    // 2.1: indented lines ended by an empty line
    std::string unindented;  // 2.1 as some phones write it: neither
    for (std::size_t i = 0; i < photo.size(); i += 76) {
        folded += " " + photo.substr(i, 76) + "\n";
        indented += "  " + photo.substr(i, 76) + "\n";
        unindented += photo.substr(i, 76) + "\n";
    }
    const std::string files[] = {
        Card("FN:Pic\nPHOTO;ENCODING=b;TYPE=JPEG:\n" + folded + "TEL:13900000001\n"),
        "BEGIN:VCARD\nVERSION:2.1\nFN:Pic\nPHOTO;ENCODING=BASE64;JPEG:\n" + indented +
            "\nTEL;CELL:13900000001\nEND:VCARD\n",
        "BEGIN:VCARD\nVERSION:2.1\nFN:Pic\nPHOTO;BASE64:\n" + unindented +
            "\nTEL;CELL:13900000001\nEND:VCARD\n",
    };
    for (const auto& file : files) {
        const VCard card = OnlyCard(Crlf(file));
        EXPECT_EQ(card.name, "Pic");
        EXPECT_EQ(card.numbers, std::vector<std::string>{"13900000001"});
    }
}

TEST(ParseVCards, AnAgentIsACardOfItsOwn) {
    const std::string lineForm =
        "BEGIN:VCARD\nVERSION:2.1\nFN:Boss\nTEL:111\nAGENT:\nBEGIN:VCARD\nVERSION:2.1\n"
        "FN:Secretary\nTEL:222\nEND:VCARD\nTEL:333\nEND:VCARD\nBEGIN:VCARD\nFN:Next\nTEL:444\n"
        "END:VCARD\n";
    const std::string valueForm =
        "BEGIN:VCARD\nVERSION:3.0\nFN:Boss\nTEL:111\n"
        "AGENT:BEGIN:VCARD\\nFN:Secretary\\nTEL:222\\nEND:VCARD\\n\nTEL:333\nEND:VCARD\n"
        "BEGIN:VCARD\nFN:Next\nTEL:444\nEND:VCARD\n";
    for (const auto& file : {lineForm, valueForm}) {
        const CardBatch batch = Parse(file);
        ASSERT_EQ(batch.cards.size(), 3u) << file;
        EXPECT_EQ(batch.cards[0].name, "Boss");
        EXPECT_EQ(batch.cards[0].numbers, (std::vector<std::string>{"111", "333"}));
        EXPECT_EQ(batch.cards[1].name, "Secretary");
        EXPECT_EQ(batch.cards[1].numbers, std::vector<std::string>{"222"});
        EXPECT_EQ(batch.cards[2].name, "Next");
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(batch.cards[i].index, i);
        }
    }
}

TEST(ParseVCards, SkipsABadCardAndKeepsTheOthers) {
    const std::string file =
        "BEGIN:VCARD\nFN:First\nTEL:1\nEND:VCARD\n"
        "BEGIN:VCARD\nTEL:2\nNOTE:no name here\nEND:VCARD\n"
        "BEGIN:VCARD\nN:;;;;\nTEL:3\nEND:VCARD\n"
        "BEGIN:VCARD\nFN:Lost its end\nTEL:4\n"
        "BEGIN:VCARD\nFN:After\nTEL:5\nEND:VCARD\n"
        "stray text between cards\nEND:VCARD\n"
        "BEGIN:VCARD\nFN:Cut at the end\nTEL:6\n";
    const CardBatch batch = Parse(file);
    ASSERT_EQ(batch.cards.size(), 2u);
    EXPECT_EQ(batch.cards[0].name, "First");
    EXPECT_EQ(batch.cards[1].name, "After");
    EXPECT_EQ(batch.cards[1].index, 4u);
    // Neighbours skipped for one reason make one run.
    EXPECT_EQ(batch.skipped, (std::vector<SkippedItems>{{1, 2, SkipReason::NoName, {}},
                                                        {3, 1, SkipReason::Cut, {}},
                                                        {5, 2, SkipReason::Cut, {}}}));
    EXPECT_TRUE(Parse("").cards.empty());
    EXPECT_TRUE(Parse("no card at all\n").skipped.empty());
}

// Each exporter's cards as written by hand after what it is known to write.
struct Exporter {
    const char* name;
    std::string file;
    std::vector<std::pair<std::string, std::vector<std::string>>> cards;
};

TEST(ParseVCards, ReadsWhatEachExporterWrites) {
    const Exporter exporters[] = {
        {"Android",
         Crlf("BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=A0;=E4="
              "\n=B8=89;;;\nFN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=A0=E4=B8=89\n"
              "TEL;CELL:+86 139-0000-0001\nTEL;HOME:0755-12345678\n"
              "PHOTO;ENCODING=BASE64;JPEG:/9j/4AAQSkZJRgABAQAAAQABAAD\n"
              "  AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\n\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:2.1\nN:Doe;Jane;;;\nFN:Jane Doe\nTEL;CELL;PREF:13900000002\n"
              "EMAIL;HOME:jane@example.com\nEND:VCARD\n"),
         {{"张三", {"+8613900000001", "075512345678"}}, {"Jane Doe", {"13900000002"}}}},
        {"iPhone/macOS",
         Crlf("BEGIN:VCARD\nVERSION:3.0\nPRODID:-//Apple Inc.//iPhone OS 17.0//EN\n"
              "N:李;四;;;\nFN:李四\nORG:示例公司;\n"
              "item1.TEL;type=pref:+86 139 0000 0003\nitem1.X-ABLabel:_$!<Mobile>!$_\n"
              "TEL;type=CELL;type=VOICE:(0755) 8888 9999\n"
              "item2.ADR;type=HOME:;;某路 1 号;深圳;;;中国\n"
              "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQAASABIAAD/4QBMRXhpZgAATU0AKgAAAAgAA\n"
              " gEBAAADAAAAAQABAAABAQADAAAAAQABAAAAAAAAAAAAAAAAAAAAAAAA\nEND:VCARD\n"),
         {{"李四", {"+8613900000003", "075588889999"}}}},
        {"Google",
         Crlf("BEGIN:VCARD\nVERSION:3.0\nFN:Wang Wu\nN:Wu;Wang;;;\n"
              "TEL;TYPE=CELL:+86 139-0000-0004\nitem1.TEL:010 6552 9988\n"
              "item1.X-ABLabel:Office\nEMAIL;TYPE=INTERNET:wang@example.com\n"
              "NOTE:Met at the fair\\, 2023\\nSecond line\nCATEGORIES:myContacts\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nFN:\nN:赵;六;;;\nTEL;TYPE=CELL:13900000005\nEND:VCARD\n"),
         {{"Wang Wu", {"+8613900000004", "01065529988"}}, {"赵六", {"13900000005"}}}},
        {"Outlook",
         Crlf("BEGIN:VCARD\nVERSION:2.1\nN;LANGUAGE=zh-cn;CHARSET=gb2312:\xD5\xC5;\xC8\xFD\n"
              "FN;CHARSET=gb2312:\xD5\xC5\xC8\xFD\nORG;CHARSET=gb2312:\xCA\xBE\xC0\xFD\n"
              "TEL;WORK;VOICE:(0755) 1234 5678\nTEL;CELL;VOICE:139 0000 0006\n"
              "ADR;WORK;PREF;ENCODING=QUOTED-PRINTABLE;CHARSET=gb2312:;;=C4=B3=C2=B7=\n"
              "=D2=BB=BA=C5\n"
              "PHOTO;TYPE=JPEG;ENCODING=BASE64:\n    /9j/4AAQSkZJRgABAQEAYABgAAD\n"
              "    AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\n\nREV:20240101T000000Z\nEND:VCARD\n"),
         {{"张三", {"075512345678", "13900000006"}}}},
        {"vCard 4.0",
         Crlf("BEGIN:VCARD\nVERSION:4.0\nFN:Simon Perreault\nN:Perreault;Simon;;;ing. jr,M.Sc.\n"
              "TEL;VALUE=uri;PREF=1;TYPE=\"voice,home\":tel:+1-555-555-5555;ext=5555\n"
              "TEL;VALUE=uri;TYPE=home:tel:+33-01-23-45-67\nEND:VCARD\n"),
         {{"Simon Perreault", {"+15555555555", "+3301234567"}}}},
    };
    for (const auto& exporter : exporters) {
        const CardBatch batch = Parse(exporter.file);
        EXPECT_TRUE(batch.skipped.empty()) << exporter.name;
        ASSERT_EQ(batch.cards.size(), exporter.cards.size()) << exporter.name;
        for (std::size_t i = 0; i < batch.cards.size(); ++i) {
            EXPECT_EQ(batch.cards[i].name, exporter.cards[i].first) << exporter.name;
            EXPECT_EQ(batch.cards[i].numbers, exporter.cards[i].second) << exporter.name;
        }
    }
}

}  // namespace
}  // namespace quillbox
