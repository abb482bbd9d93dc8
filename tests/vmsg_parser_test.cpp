// SPDX-License-Identifier: MIT
#include "read/vmsg_parser.h"

#include <gtest/gtest.h>

#include "read/field_normalisation.h"
#include "test_files.h"
#include "test_messages.h"

namespace quillbox {
namespace {

using test::Printable;

MessageBatch Parse(std::string_view file) {
    MessageBatch batch;
    ParseVMessages(file, batch);
    return batch;
}

VMessage OnlyMessage(std::string_view file) {
    const MessageBatch batch = Parse(file);
    EXPECT_EQ(batch.messages.size(), 1u) << Printable(file);
    EXPECT_TRUE(batch.skipped.empty()) << Printable(file);
    return batch.messages.empty() ? VMessage{} : batch.messages.front();
}

// A message block: header lines, the originator's number, the recipient's (none: no card in
// the envelope) and the body's lines, all with LF.
std::string Block(std::string_view header, std::string_view from, std::string_view to,
                  std::string_view body) {
    std::string text = "BEGIN:VMSG\nVERSION:1.1\nX-IRMC-STATUS:READ\n" + std::string(header);
    text += "BEGIN:VCARD\nVERSION:2.1\nN:\nTEL:" + std::string(from) + "\nEND:VCARD\nBEGIN:VENV\n";
    if (!to.empty()) {
        text += "BEGIN:VCARD\nVERSION:2.1\nN:\nTEL:" + std::string(to) + "\nEND:VCARD\n";
        text += "BEGIN:VENV\n";
    }
    text += "BEGIN:VBODY\n" + std::string(body) + "END:VBODY\nEND:VENV\n";
    if (!to.empty()) {
        text += "END:VENV\n";
    }
    return text + "END:VMSG\n";
}

std::string Received(std::string_view body) {
    return Block("X-IRMC-BOX:INBOX\n", "+86 139 0000 0001", "", body);
}

std::string ReplaceLineEnds(std::string_view text, std::string_view end) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out.append(end);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

struct DateCase {
    std::string_view text;
    MessageTime date;
};

TEST(ParseVMessageDate, ReadsEveryFormPhonesWrite) {
    const DateCase cases[] = {
        {"18.03.2009 10:15:30", {2009, 3, 18, 10, 15, 30}},
        {"18-03-2009 10:15:30", {2009, 3, 18, 10, 15, 30}},
        {"2009/03/18 10:15:30", {2009, 3, 18, 10, 15, 30}},
        {"2009-03-18 10:15:30", {2009, 3, 18, 10, 15, 30}},
        {"2009.3.8.1.5.3Z", {2009, 3, 8, 1, 5, 3}},
        {"20090318T101530Z", {2009, 3, 18, 10, 15, 30}},
        {"20090318T101530", {2009, 3, 18, 10, 15, 30}},
        {"20090318T1015", {2009, 3, 18, 10, 15, 0}},
        {"20090318101530", {2009, 3, 18, 10, 15, 30}},
        {"2009-03-18T10:15:30Z", {2009, 3, 18, 10, 15, 30}},
        {"2009-03-18T10:15:30+08:00", {2009, 3, 18, 10, 15, 30}},
        {"2009-03-18T10:15-05:00", {2009, 3, 18, 10, 15, 0}},
        {"2009-03-18 10:15:30.250", {2009, 3, 18, 10, 15, 30}},
        {"18.03.09 10:15:30", {2009, 3, 18, 10, 15, 30}},
        {"18.03.69 10:15:30", {2069, 3, 18, 10, 15, 30}},
        {"18.03.70 10:15:30", {1970, 3, 18, 10, 15, 30}},
        {"18.03.99 10:15:30", {1999, 3, 18, 10, 15, 30}},
        {"1.2.2009 3:4:5", {2009, 2, 1, 3, 4, 5}},
        {"18.03.2009", {2009, 3, 18, 0, 0, 0}},
        {"18.03.2009 10:15", {2009, 3, 18, 10, 15, 0}},
        {"  2009年3月18日 10:15:30 ", {2009, 3, 18, 10, 15, 30}},
        {"31.12.2099 23:59:59", {2099, 12, 31, 23, 59, 59}},
    };
    for (const auto& c : cases) {
        const auto date = ParseVMessageDate(c.text);
        ASSERT_TRUE(date.has_value()) << c.text;
        EXPECT_EQ(*date, c.date) << c.text;
    }
    for (const std::string_view bad :
         {"", "garbage", "18.03", "32.01.2009 00:00:00", "00.01.2009 00:00:00", "18.13.2009",
          "18.03.2009 24:00:00", "18.03.2009 10:60:00", "123.03.2009", "18.03.209",
          "2009031 101530", "18.03.1899 10:15:30", "18.03.2009 100:15:30"}) {
        EXPECT_FALSE(ParseVMessageDate(bad).has_value()) << bad;
    }
}

TEST(ParseVMessageDate, GivesWhatTheClassicReadingGivesForTheSameDate) {
    const MessageTime dates[] = {
        {2009, 3, 18, 10, 15, 30}, {1970, 1, 1, 0, 0, 0},  {2009, 12, 31, 23, 59, 59},
        {2010, 1, 1, 0, 0, 0},     {1999, 2, 28, 7, 8, 9}, {2069, 11, 5, 12, 0, 1},
    };
    for (const auto& date : dates) {
        char classic[32];
        std::snprintf(classic, sizeof classic, "%02d.%02d.%04d %02d:%02d:%02d", date.day,
                      date.month, date.year, date.hour, date.minute, date.second);
        EXPECT_EQ(ParseMessageDate(classic), date) << classic;
        EXPECT_EQ(ParseVMessageDate(classic), date) << classic;
    }
}

TEST(ParseVMessages, ReadsTheFileInEveryEncoding) {
    const std::string text = Received("Date:18.03.2009 10:15:30\n你好，世界\n第二行\n");
    std::string big = "\xFE\xFF";
    const std::string little = test::Utf16Le(text);
    for (std::size_t i = 0; i + 1 < little.size(); i += 2) {
        big.push_back(little[i + 1]);
        big.push_back(little[i]);
    }
    const std::pair<const char*, std::string> files[] = {
        {"UTF-8", text},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + text},
        {"UTF-16LE with its mark", "\xFF\xFE" + little},
        {"UTF-16LE without a mark", little},
        {"UTF-16LE padded with zero units", little + std::string(64, '\0')},
        {"UTF-16BE with its mark", big},
        {"code page 936", test::Gbk(text)},
    };
    for (const auto& [what, file] : files) {
        const VMessage message = OnlyMessage(file);
        EXPECT_EQ(message.text, "你好，世界\n第二行") << what;
        EXPECT_EQ(message.number, "+8613900000001") << what;
        EXPECT_EQ(message.date, (MessageTime{2009, 3, 18, 10, 15, 30})) << what;
        EXPECT_EQ(message.direction, MessageDirection::Received) << what;
    }
}

TEST(ParseVMessages, ReadsEveryKindOfLineEnd) {
    const std::string text = Received("Date:18.03.2009 10:15:30\nline one\nline two\n\n");
    std::string mixed = ReplaceLineEnds(text, "\r\n");
    mixed.replace(mixed.find("\r\nline two"), 2, "\r");
    mixed.replace(mixed.find("\r\nEND:VBODY"), 2, "\n");
    const std::pair<const char*, std::string> files[] = {
        {"LF", text},
        {"CR LF", ReplaceLineEnds(text, "\r\n")},
        {"CR", ReplaceLineEnds(text, "\r")},
        {"mixed", mixed},
        // MTK: CR and a space; the space is no folding and no part of the text.
        {"CR and a space", ReplaceLineEnds(text, "\r ")},
        {"CR LF and a space", ReplaceLineEnds(text, "\r\n ")},
    };
    for (const auto& [what, file] : files) {
        EXPECT_EQ(OnlyMessage(file).text, "line one\nline two") << what;
    }
    // Elsewhere a line's leading space is text.
    EXPECT_EQ(OnlyMessage(Received("Date:18.03.2009 10:15:30\n  indented\n")).text, "  indented");
}

struct DirectionCase {
    const char* what;
    std::string file;
    MessageDirection direction;
    std::string number;
};

TEST(ParseVMessages, TellsSentFromReceivedAndNamesTheOtherParty) {
    const std::string body = "Date:18.03.2009 10:15:30\nHi\n";
    const auto sent = MessageDirection::Sent;
    const auto received = MessageDirection::Received;
    const DirectionCase cases[] = {
        {"INBOX", Block("X-IRMC-BOX:INBOX\n", "111", "999", body), received, "111"},
        {"DELIVER", Block("X-MESSAGE-TYPE:DELIVER\n", "111", "999", body), received, "111"},
        {"SUBMIT in INBOX", Block("X-IRMC-BOX:INBOX\nX-MESSAGE-TYPE:SUBMIT\n", "111", "999", body),
         sent, "999"},
        {"DELIVER in SENTBOX",
         Block("X-IRMC-BOX:SENTBOX\nX-MESSAGE-TYPE:DELIVER\n", "111", "999", body), received,
         "111"},
        {"SENDBOX", Block("X-IRMC-BOX:SENDBOX\n", "111", "999", body), sent, "999"},
        {"SENTBOX", Block("X-IRMC-BOX:sentbox\n", "111", "999", body), sent, "999"},
        {"OUTBOX", Block("X-IRMC-BOX:OUTBOX\n", "111", "999", body), sent, "999"},
        {"SENT", Block("X-BOX:SENT\n", "111", "999", body), sent, "999"},
        {"X-BOX in the body", Block("", "111", "999", "X-BOX:SENT\n" + body), sent, "999"},
        {"no box", Block("", "111", "999", body), received, "111"},
        {"unknown box", Block("X-IRMC-BOX:ARCHIVE\n", "111", "999", body), received, "111"},
        {"sent with no recipient card", Block("X-IRMC-BOX:SENDBOX\n", "111", "", body), sent,
         "111"},
        {"received with an empty originator", Block("X-IRMC-BOX:INBOX\n", "", "999", body),
         received, "999"},
        {"a formatted number", Block("X-IRMC-BOX:INBOX\n", "+86 (139) 0000-0001", "", body),
         received, "+8613900000001"},
    };
    for (const auto& c : cases) {
        const VMessage message = OnlyMessage(c.file);
        EXPECT_EQ(message.direction, c.direction) << c.what;
        EXPECT_EQ(message.number, c.number) << c.what;
    }
}

struct TextCase {
    const char* what;
    std::string body;
    std::string text;
};

TEST(ParseVMessages, FindsTheTextWhereverTheBodyKeepsIt) {
    const TextCase cases[] = {
        {"lines after the date", "Date:18.03.2009 10:15:30\nHello\nthere\n", "Hello\nthere"},
        {"header lines before the date",
         "X-BOX:INBOX\nX-READ:READ\nX-SIMID:0\nX-LOCKED:UNLOCKED\nX-TYPE:SMS\n"
         "Date:18.03.2009 10:15:30\nHello\n",
         "Hello"},
        {"X- lines after the date are text", "Date:18.03.2009 10:15:30\nX-READ:yes\n",
         "X-READ:yes"},
        {"a later Date line is text", "Date:18.03.2009 10:15:30\nhi\nDate:today\n",
         "hi\nDate:today"},
        {"Subject in quoted-printable",
         "Date:2009/03/18 10:15:30\nSubject;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:=E4=BD=A0="
         "\n=E5=A5=BD\n",
         "你好"},
        {"Subject in GBK quoted-printable",
         "Date:2009/03/18 10:15:30\nSubject;ENCODING=QUOTED-PRINTABLE;CHARSET=GBK:=C4=E3=BA=C3\n",
         "你好"},
        {"line ends in a decoded Subject",
         "Date:2009/03/18 10:15:30\nSubject;ENCODING=QUOTED-PRINTABLE:a=0D=0Ab=0Dc=0A=0A\n",
         "a\nb\nc"},
        {"Subject plain", "Date:2009/03/18 10:15:30\nSubject:plain text\n", "plain text"},
        {"TEXT", "TEXT:from the property\nDate:2009/03/18 10:15:30\n", "from the property"},
        {"empty text", "Date:18.03.2009 10:15:30\n", ""},
        {"empty lines before the text", "\nDate:18.03.2009 10:15:30\n\n\nHello\n", "Hello"},
        {"empty lines inside the text", "Date:18.03.2009 10:15:30\na\n\nb\n\n", "a\n\nb"},
        {"markup in the text", "Date:18.03.2009 10:15:30\n<b>BEGIN:VCARD</b>\n",
         "<b>BEGIN:VCARD</b>"},
        {"a zero byte", std::string("Date:18.03.2009 10:15:30\nA\0B\n", 29), "AB"},
        {"zero bytes after the last line", std::string("Date:18.03.2009 10:15:30\nA\n\0\n", 29),
         "A"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OnlyMessage(Received(c.body)).text, c.text) << c.what;
    }
    // The text may also stand in the header, as Samsung writes it.
    const std::string header =
        "X-IRMC-BOX:INBOX\nTEXT;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=41\n";
    EXPECT_EQ(OnlyMessage(Block(header, "1", "", "Date:18.03.2009 10:15:30\n")).text, "A");
}

TEST(ParseVMessages, ReadsTheDateFromTheBodyOrTheHeader) {
    EXPECT_EQ(OnlyMessage(Block("X-NOK-DT:20090318T101530Z\n", "1", "", "Hello\n")).date,
              (MessageTime{2009, 3, 18, 10, 15, 30}));
    EXPECT_EQ(OnlyMessage(Block("X-NOK-DT:20090318T101530Z\n", "1", "", "Hello\n")).text, "Hello");
    // The body's date comes first.
    EXPECT_EQ(
        OnlyMessage(Block("X-NOK-DT:20200101T000000Z\n", "1", "", "Date:18.03.2009 10:15:30\nHi\n"))
            .date,
        (MessageTime{2009, 3, 18, 10, 15, 30}));
    EXPECT_EQ(
        OnlyMessage(Block("X-NOK-DT:20090318T101530Z\n", "1", "", "Date:nonsense\nHi\n")).date,
        (MessageTime{2009, 3, 18, 10, 15, 30}));
}

TEST(ParseVMessages, SkipsWhatCannotBeAMessageAndReadsTheRest) {
    const std::string good = Received("Date:18.03.2009 10:15:30\nok\n");
    const std::string file =
        good + Received("no date here\n") + Received("Date:sometime\ntext\n") +
        "BEGIN:VMSG\nX-IRMC-BOX:INBOX\nBEGIN:VCARD\nTEL:1\nEND:VCARD\nEND:VMSG\n" +
        Block("X-IRMC-BOX:DRAFT\nX-MESSAGE-TYPE:SUBMIT\n", "1", "2",
              "Date:18.03.2009 10:15:30\nunsent\n") +
        "BEGIN:VMSG\nX-IRMC-BOX:INBOX\nBEGIN:VBODY\nDate:18.03.2009\n" + good + "END:VMSG\n" +
        good + "BEGIN:VMSG\nBEGIN:VBODY\nDate:18.03.2009\ncut";
    const MessageBatch batch = Parse(file);
    ASSERT_EQ(batch.messages.size(), 3u);
    EXPECT_EQ(batch.messages[0].index, 0u);
    EXPECT_EQ(batch.messages[1].index, 6u);
    // The END line after the sixth block's message has lost its BEGIN: a damaged block too.
    EXPECT_EQ(batch.messages[2].index, 8u);
    const std::vector<SkippedItems> skips = {
        {1, 1, SkipReason::NoDate, {}}, {2, 1, SkipReason::BadDate, {}},
        {3, 1, SkipReason::NoBody, {}}, {4, 1, SkipReason::Draft, {}},
        {5, 1, SkipReason::Cut, {}},    {7, 1, SkipReason::Cut, {}},
        {9, 1, SkipReason::Cut, {}}};
    EXPECT_EQ(batch.skipped, skips);
    EXPECT_TRUE(Parse("").messages.empty());
    EXPECT_EQ(Parse("END:VMSG\nno message\n").skipped,
              (std::vector<SkippedItems>{{0, 1, SkipReason::Cut, {}}}));
    // A damaged BEGIN line loses no block without a word.
    EXPECT_EQ(
        Parse("BEGIN:VMS\nBEGIN:VBODY\nDate:18.03.2009\nx\nEND:VBODY\nEND:VMSG\n" + good).skipped,
        (std::vector<SkippedItems>{{0, 1, SkipReason::Cut, {}}}));
}

TEST(ParseVMessages, ReadsThousandsOfBlocksInOrder) {
    std::string file;
    constexpr int kCount = 3000;
    for (int i = 0; i < kCount; ++i) {
        const std::string n = std::to_string(i);
        const std::string date = "Date:" + std::to_string(1 + i % 28) + ".03.2009 10:15:30\n";
        file += i % 2 == 0 ? Block("X-IRMC-BOX:INBOX\n", "100" + n, "", date + "in " + n + "\n")
                           : Block("X-IRMC-BOX:SENDBOX\n", "", "200" + n, date + "out " + n + "\n");
    }
    const MessageBatch batch = Parse(ReplaceLineEnds(file, "\r\n"));
    ASSERT_EQ(batch.messages.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        const VMessage& message = batch.messages[static_cast<std::size_t>(i)];
        const std::string n = std::to_string(i);
        EXPECT_EQ(message.index, static_cast<std::size_t>(i));
        EXPECT_EQ(message.direction,
                  i % 2 == 0 ? MessageDirection::Received : MessageDirection::Sent);
        EXPECT_EQ(message.number, (i % 2 == 0 ? "100" : "200") + n);
        EXPECT_EQ(message.text, (i % 2 == 0 ? "in " : "out ") + n);
        EXPECT_EQ(message.date.day, 1 + i % 28);
    }
}

struct ExpectedMessage {
    MessageDirection direction;
    std::string number;
    MessageTime date;
    std::string text;
};

struct Exporter {
    const char* name;
    std::string file;
    std::vector<ExpectedMessage> messages;
};

TEST(ParseVMessages, ReadsWhatEachExporterWrites) {
    const auto in = MessageDirection::Received;
    const auto out = MessageDirection::Sent;
    const Exporter exporters[] = {
        {"Android",
         ReplaceLineEnds("BEGIN:VMSG\nVERSION:1.1\nBEGIN:VCARD\nTEL:+8613900000001\nEND:VCARD\n"
                         "BEGIN:VBODY\nX-BOX:INBOX\nX-READ:READ\nX-SIMID:0\nX-LOCKED:UNLOCKED\n"
                         "X-TYPE:SMS-MMS\nDate:2023/05/01 08:30:00\n"
                         "Subject;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:=E6=97=A9=E4=B8=8A=E5="
                         "\n=A5=BD\nEND:VBODY\nEND:VMSG\n"
                         "BEGIN:VMSG\nVERSION:1.1\nBEGIN:VCARD\nTEL:13900000002\nEND:VCARD\n"
                         "BEGIN:VBODY\nX-BOX:SENDBOX\nX-READ:READ\nX-SIMID:0\nX-LOCKED:UNLOCKED\n"
                         "X-TYPE:SMS-MMS\nDate:2023/05/01 08:31:10\n"
                         "Subject;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:OK=EF=BC=81\n"
                         "END:VBODY\nEND:VMSG\n",
                         "\r\n"),
         {{in, "+8613900000001", {2023, 5, 1, 8, 30, 0}, "早上好"},
          {out, "13900000002", {2023, 5, 1, 8, 31, 10}, "OK！"}}},
        {"Nokia",
         "\xFF\xFE" +
             test::Utf16Le(ReplaceLineEnds(
                 "BEGIN:VMSG\nVERSION:1.1\nX-IRMC-STATUS:READ\nX-IRMC-BOX:INBOX\n"
                 "X-NOK-DT:20090318T101530Z\nX-MESSAGE-TYPE:DELIVER\nBEGIN:VCARD\nVERSION:3.0\n"
                 "N:\nTEL:+8613900000003\nEND:VCARD\nBEGIN:VENV\nBEGIN:VBODY\n"
                 "Date:18.03.2009 10:15:30\n收到了\nEND:VBODY\nEND:VENV\nEND:VMSG\n"
                 "BEGIN:VMSG\nVERSION:1.1\nX-IRMC-STATUS:READ\nX-IRMC-BOX:INBOX\n"
                 "X-NOK-DT:20090318T102000Z\nX-MESSAGE-TYPE:SUBMIT\nBEGIN:VCARD\nVERSION:3.0\n"
                 "N:\nTEL:\nEND:VCARD\nBEGIN:VENV\nBEGIN:VCARD\nVERSION:3.0\nN:\n"
                 "TEL:+8613900000003\nEND:VCARD\nBEGIN:VENV\nBEGIN:VBODY\n"
                 "Date:18.03.2009 10:20:00\n好的\nEND:VBODY\nEND:VENV\nEND:VENV\nEND:VMSG\n",
                 "\r\n")),
         {{in, "+8613900000003", {2009, 3, 18, 10, 15, 30}, "收到了"},
          {out, "+8613900000003", {2009, 3, 18, 10, 20, 0}, "好的"}}},
        {"MTK",
         ReplaceLineEnds("BEGIN:VMSG\nVERSION:1.1\nBEGIN:VCARD\nTEL:10086\nEND:VCARD\n"
                         "BEGIN:VBODY\nX-BOX:INBOX\nX-READ:UREAD\nX-SIMID:1\nX-LOCKED:UNLOCKED\n"
                         "X-TYPE:SMS\nDate:2012/07/09 21:05:59\n"
                         "Subject;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:=E4=BD=99=E9=A2=9D 10="
                         "\n=E5=85=83\nEND:VBODY\nEND:VMSG\n",
                         "\r "),
         {{in, "10086", {2012, 7, 9, 21, 5, 59}, "余额 10元"}}},
        {"Samsung",
         ReplaceLineEnds(
             "BEGIN:VMSG\nVERSION:1.1\nX-IRMC-STATUS:READ\nX-IRMC-BOX:SENTBOX\n"
             "BEGIN:VCARD\nVERSION:2.1\nN:\nTEL;CELL:\nEND:VCARD\nBEGIN:VENV\n"
             "BEGIN:VCARD\nVERSION:2.1\nN:Zhang\nTEL;CELL:139-0000-0004\nEND:VCARD\n"
             "BEGIN:VENV\nBEGIN:VBODY\nDate:2014.6.3.9.7.5Z\n"
             "TEXT;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E6=99=9A=E7=82=B9=E5=88=B0\n"
             "END:VBODY\nEND:VENV\nEND:VENV\nEND:VMSG\n",
             "\r\n"),
         {{out, "13900000004", {2014, 6, 3, 9, 7, 5}, "晚点到"}}},
    };
    for (const auto& exporter : exporters) {
        const MessageBatch batch = Parse(exporter.file);
        EXPECT_TRUE(batch.skipped.empty()) << exporter.name;
        ASSERT_EQ(batch.messages.size(), exporter.messages.size()) << exporter.name;
        for (std::size_t i = 0; i < batch.messages.size(); ++i) {
            const VMessage& got = batch.messages[i];
            const ExpectedMessage& expected = exporter.messages[i];
            EXPECT_EQ(got.direction, expected.direction) << exporter.name << " " << i;
            EXPECT_EQ(got.number, expected.number) << exporter.name << " " << i;
            EXPECT_EQ(got.date, expected.date) << exporter.name << " " << i;
            EXPECT_EQ(got.text, expected.text) << exporter.name << " " << i;
        }
    }
}

}  // namespace
}  // namespace quillbox
