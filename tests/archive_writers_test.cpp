// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "order/conversation.h"
#include "test_files.h"
#include "test_messages.h"
#include "write/archive_groups.h"
#include "write/encoding.h"
#include "write/html_archive.h"
#include "write/modern_page.h"
#include "write/text_archive.h"

namespace quillbox {
namespace {

using test::Gbk;
using test::Message;
using test::Printable;
using test::StoreOf;

const std::string kArrows = ">>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>";     // 46
const std::string kBackArrows = "<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<";  // 45

std::string Heading(std::string_view utf8Text) {
    return "\r\n" + kArrows + Gbk(utf8Text) + kBackArrows + "\r\n";
}

// The two messages of March 2009, newest first: abc (number 123) and an unknown 789.
std::vector<Message> MarchMessages() {
    return {{"123", "hello", "2009-03-18 12:30:00", 2}, {"789", "ok", "2009-03-02 08:05:09", 1}};
}

ContactBook BookWithAbc() {
    ContactBook book;
    book.AddEntry("abc", "123");
    return book;
}

// The classic archives, as a run writes them: in code page 936.
std::string Text(const std::vector<Message>& messages, ContactBook book, SortOrder order) {
    StringSink sink;
    EncodingSink gbk(sink, ArchiveEncoding::Gbk);
    WriteTextArchive(gbk, StoreOf(messages), book, {order, false});
    return sink.Bytes();
}

std::string Html(const std::vector<Message>& messages, ContactBook book, SortOrder order) {
    StringSink sink;
    EncodingSink gbk(sink, ArchiveEncoding::Gbk);
    WriteHtmlArchive(gbk, StoreOf(messages), book, {order, false}, "gb2312");
    return sink.Bytes();
}

TEST(TextArchive, WritesTheMarchExampleByDate) {
    const std::string expected = Heading("2009年03月") +
                                 "abc <123>     2009-03-18 12:30:00 : \r\nhello\r\n"
                                 "789 <789>     2009-03-02 08:05:09 : \r\nok\r\n";
    EXPECT_EQ(Printable(Text(MarchMessages(), BookWithAbc(), SortOrder::ByDate)),
              Printable(expected));
}

TEST(TextArchive, WritesTheMarchExampleBySender) {
    const std::vector<Message> bySender = {MarchMessages()[1], MarchMessages()[0]};
    const std::string expected =
        Heading("发信人：789") + "789 <789>     2009-03-02 08:05:09 : \r\nok\r\n" +
        Heading("发信人：abc") + "abc <123>     2009-03-18 12:30:00 : \r\nhello\r\n";
    EXPECT_EQ(Printable(Text(bySender, BookWithAbc(), SortOrder::BySender)), Printable(expected));
}

struct GroupCase {
    std::string name;
    SortOrder order;
    std::vector<Message> messages;
    std::vector<std::string> headings;  // UTF-8 heading texts, in order
};

std::vector<std::string> HeadingsOf(const std::vector<Message>& messages, SortOrder order) {
    ContactBook book;
    book.AddEntry("Same", "1");
    book.AddEntry("Same", "2");
    std::vector<std::string> headings;
    WalkGroups(
        StoreOf(messages), book, {order, false},
        [&](const auto& h) { headings.push_back(std::string(h.word) + std::string(h.name)); },
        [](const MessageStore::Message&, const EntryParty&) {});
    return headings;
}

TEST(ArchiveGroups, OpensAGroupWhenTheMonthOrTheSenderChanges) {
    const GroupCase cases[] = {
        {"days of one month share a heading",
         SortOrder::ByDate,
         {{"1", "", "2009-03-18 10:00:00", 0}, {"1", "", "2009-03-02 10:00:00", 0}},
         {"2009年03月"}},
        {"January 2009 and December 2008",
         SortOrder::ByDate,
         {{"1", "", "2009-01-05 10:00:00", 0}, {"1", "", "2008-12-30 10:00:00", 0}},
         {"2009年01月", "2008年12月"}},
        {"the same month of two years",
         SortOrder::ByDate,
         {{"1", "", "2009-03-01 10:00:00", 0}, {"1", "", "2008-03-01 10:00:00", 0}},
         {"2009年03月", "2008年03月"}},
        {"year 0 month 0 at the front has no heading",
         SortOrder::ByDate,
         {{"1", "", "0-00-00 00:00:00", 0}, {"1", "", "2009-03-01 10:00:00", 0}},
         {"2009年03月"}},
        {"a two-digit year puts the offsets elsewhere",
         SortOrder::ByDate,
         {{"1", "", "9-03-18 12:30:00", 0}},
         {"9年18月"}},
        {"a number missing at an offset keeps the previous value",
         SortOrder::ByDate,
         {{"1", "", "2009-03-01 10:00:00", 0}, {"1", "", "10000--1-01 00:00:00", 0}},
         {"2009年03月", "10000年03月"}},
        {"two numbers with one name give two headings",
         SortOrder::BySender,
         {{"2", "", "", 0}, {"1", "", "", 0}},
         {"发信人：Same", "发信人：Same"}},
        {"every sender empty: no heading at all",
         SortOrder::BySender,
         {{"", "", "", 0}, {"", "", "", 0}},
         {}},
        {"an empty sender after others has its own",
         SortOrder::BySender,
         {{"5", "", "", 0}, {"", "", "", 0}},
         {"发信人：5", "发信人："}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HeadingsOf(c.messages, c.order), c.headings) << c.name;
    }
}

TEST(ArchiveGroups, GroupsByTheNumbersAtTheDisplayTimesFixedOffsets) {
    const struct {
        MessageTime time;
        GroupMonth previous;
        GroupMonth month;
    } cases[] = {
        {{2009, 3, 18, 12, 30, 0}, {}, {2009, 3}},
        {{99, 3, 18, 12, 30, 0}, {}, {99, -18}},  // "99-03-18": offset 5 reads "-18"
        // "12345--6-07": offset 5 falls on "--6", no number there, the previous month stays.
        {{12345, -6, 7, 0, 0, 0}, {1, 2}, {12345, 2}},
        {{-5, 3, 1, 0, 0, 0}, {}, {-5, -1}},  // "-5-03-01": offset 5 reads "-01"
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GroupMonthOf(c.time, c.previous), c.month) << c.time.year;
        std::string display;
        AppendDisplayTime(display, c.time);
        EXPECT_EQ(test::TimeOf(display), c.time) << display;
    }
}

TEST(TextArchive, EveryLineEndsInCrLf) {
    const std::vector<Message> messages = {
        {"1", "a\nb\r\nc\rd\n", "2009-03-18 12:30:00", 0},
        {"1", "", "2009-03-18 12:30:00", 0},
    };
    ContactBook book;
    const std::string archive = Text(messages, book, SortOrder::ByDate);
    const std::string expected = Heading("2009年03月") +
                                 "1 <1>     2009-03-18 12:30:00 : \r\na\r\nb\r\nc\rd\r\n\r\n"
                                 "1 <1>     2009-03-18 12:30:00 : \r\n\r\n";
    EXPECT_EQ(Printable(archive), Printable(expected));
}

TEST(TextArchive, NamesMarkupAndLongNamesAreWrittenWhole) {
    const std::string longName(300, 'n');
    ContactBook book;
    book.AddEntry(longName, "1");
    book.AddEntry("<b>&", "2");
    const std::vector<Message> messages = {{"2", "x<y>&z", "2009-03-18 12:30:00", 0},
                                           {"1", "", "2009-03-18 12:30:00", 0}};
    const std::string archive = Text(messages, book, SortOrder::BySender);
    EXPECT_NE(archive.find("<b>& <2>"), std::string::npos);
    EXPECT_NE(archive.find("x<y>&z"), std::string::npos);
    EXPECT_NE(archive.find(kArrows + Gbk("发信人：") + longName + kBackArrows), std::string::npos);
}

TEST(TextArchive, NoMessagesWriteNothing) {
    EXPECT_EQ(Text({}, ContactBook(), SortOrder::ByDate), "");
    EXPECT_EQ(Text({}, ContactBook(), SortOrder::BySender), "");
}

const std::string kPageHead =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" "
    "\"http://www.w3.org/TR/html4/loose.dtd\">"
    "\t\t<!--An example for test, by Vk.Ostrel-->\t\t<html>\t\t<head>\t\t<meta "
    "http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\" />\t\t"
    "<title>Messages</title>\t\t<style>body{margin-left: 0px;margin-top: 0px;margin-right: "
    "0px;\tmargin-bottom: 0px;font-size: 12px;background-color:#2253A9;}</style>\t\t"
    "<!--In order to create menu view, MenuCreator.js should be imported-->\t\t<script>\t\t"
    "</script>\t\t</head>\t\t<body>\t\t";
const std::string kPageTail = "</body>\t\t</html>\t\t";

std::string HtmlEntry(std::string_view name, std::string_view number, std::string_view date,
                      std::string_view body) {
    return "<div style=\"margin-left: 10px\"><font size=\"4\" color=\"#00ff00\">" +
           std::string(name) + " &lt;" + std::string(number) +
           "&gt;     </font><font size=\"4\" color=\"red\">" + std::string(date) +
           " </font><br/><span style=\"margin-left: 10px\"><font size=\"3\" color=\"#FFFFFF\">" +
           std::string(body) + "</font></span><p/></div>";
}

std::string HtmlHeading(std::string_view utf8Text) {
    return "<div><span><font size=\"5\" color=\"#00ff00\"><u>" + Gbk(utf8Text) +
           "<br/></u></font></span></div>";
}

TEST(HtmlArchive, WritesTheMarchExampleInBothOrders) {
    const std::string byDate = kPageHead + HtmlHeading("2009年03月") +
                               HtmlEntry("abc", "123", "2009-03-18 12:30:00", "hello") +
                               HtmlEntry("789", "789", "2009-03-02 08:05:09", "ok") + kPageTail;
    EXPECT_EQ(Html(MarchMessages(), BookWithAbc(), SortOrder::ByDate), byDate);

    const std::vector<Message> bySender = {MarchMessages()[1], MarchMessages()[0]};
    const std::string expected =
        kPageHead + HtmlHeading("发信人：789") +
        HtmlEntry("789", "789", "2009-03-02 08:05:09", "ok") + HtmlHeading("发信人：abc") +
        HtmlEntry("abc", "123", "2009-03-18 12:30:00", "hello") + kPageTail;
    EXPECT_EQ(Html(bySender, BookWithAbc(), SortOrder::BySender), expected);
}

TEST(HtmlArchive, AnEmptyListGivesHeadAndTail) {
    EXPECT_EQ(Html({}, ContactBook(), SortOrder::BySender), kPageHead + kPageTail);
}

TEST(HtmlArchive, EscapesEveryTextTakenFromMessagesAndCards) {
    ContactBook book;
    book.AddEntry("A&B <x>", "1<2");
    const std::vector<Message> messages = {
        {"1<2", "<script>alert(1)</script>\na&b", "2009-03-18 12:30:00", 0}};
    const std::string page = Html(messages, book, SortOrder::BySender);
    EXPECT_EQ(page, kPageHead + HtmlHeading("发信人：A&amp;B &lt;x&gt;") +
                        HtmlEntry("A&amp;B &lt;x&gt;", "1&lt;2", "2009-03-18 12:30:00",
                                  "&lt;script&gt;alert(1)&lt;/script&gt;<br/>a&amp;b") +
                        kPageTail);
}

TEST(ArchiveWriters, ALineFeedInANameReachesTheFileAsCrLf) {
    // A card's name never holds one any more, but the writers do not count on that.
    ContactBook book;
    book.AddEntry("a\nb", "1");
    const std::vector<Message> messages = {{"1", "x", "2009-03-18 12:30:00", 0}};
    const std::string text = Text(messages, book, SortOrder::BySender);
    EXPECT_NE(text.find(kArrows + Gbk("发信人：") + "a\r\nb" + kBackArrows), std::string::npos);
    EXPECT_NE(text.find("a\r\nb <1>"), std::string::npos);
    const std::string page = Html(messages, book, SortOrder::BySender);
    EXPECT_EQ(page, kPageHead + HtmlHeading("发信人：a\r\nb") +
                        HtmlEntry("a\r\nb", "1", "2009-03-18 12:30:00", "x") + kPageTail);
}

// Every writer, in every encoding, into a file that takes only its first N bytes: the sink
// says it failed exactly when the archive did not fit, and what reached the file is the
// archive's beginning.
TEST(ArchiveWriters, AFileThatFailsAfterNBytesFailsTheArchive) {
    std::vector<Message> messages;
    for (int i = 0; i < 4000; ++i) {
        messages.push_back({std::to_string(13900000000 + i % 97),
                            "第 " + std::to_string(i) + " 条 message \xF0\x9F\x98\x80",
                            "2009-03-18 12:30:00", static_cast<std::uint64_t>(i)});
    }
    const MessageStore store = StoreOf(messages);
    const auto write = [&](ByteSink& out, int form) {
        ContactBook book = BookWithAbc();
        const ArchiveLayout layout{SortOrder::BySender, true};
        if (form == 0) {
            WriteTextArchive(out, store, book, layout);
        } else if (form == 1) {
            WriteHtmlArchive(out, store, book, layout, "utf-8");
        } else {
            WriteModernPage(out, store, book, layout, "utf-8");
        }
    };
    for (const auto encoding :
         {ArchiveEncoding::Gbk, ArchiveEncoding::Gb18030, ArchiveEncoding::Utf8}) {
        for (int form = 0; form < 3; ++form) {
            StringSink whole;
            EncodingSink wholeEncoded(whole, encoding);
            write(wholeEncoded, form);
            const std::size_t size = whole.Bytes().size();
            ASSERT_GT(size, 2u * 256 * 1024) << form;  // several blocks
            for (const std::size_t limit : {std::size_t{0}, std::size_t{1}, std::size_t{256 * 1024},
                                            size / 2, size - 1, size}) {
                std::string file;
                BlockSink sink([&](std::string_view block) {
                    if (file.size() + block.size() > limit) {
                        return false;
                    }
                    file.append(block);
                    return true;
                });
                EncodingSink encoded(sink, encoding);
                write(encoded, form);
                EXPECT_EQ(sink.Flush(), limit >= size) << form << " " << limit;
                EXPECT_EQ(sink.Failed(), limit < size) << form << " " << limit;
                EXPECT_TRUE(whole.Bytes().starts_with(file)) << form << " " << limit;
                EXPECT_LE(file.size(), limit);
            }
        }
    }
}

// A right-to-left override at the end of a name would reverse the number and date after it:
// where the encoding can carry it, every name and number stands apart.
TEST(ArchiveWriters, NamesAndNumbersStandApartWhereTheEncodingCarriesBidiControls) {
    ContactBook book;
    book.AddEntry("Eve\u202E", "13800000001");
    const MessageStore store = StoreOf({{"13800000001", "hi", "2021-01-02 10:00:00", 1}});
    const auto write = [&](ArchiveEncoding encoding, int form) {
        StringSink sink;
        EncodingSink out(sink, encoding);
        const ArchiveLayout layout{SortOrder::BySender, false, encoding != ArchiveEncoding::Gbk};
        if (form == 0) {
            WriteTextArchive(out, store, book, layout);
        } else if (form == 1) {
            WriteHtmlArchive(out, store, book, layout, "utf-8");
        } else {
            WriteModernPage(out, store, book, layout, "utf-8");
        }
        return sink.Bytes();
    };
    EXPECT_NE(write(ArchiveEncoding::Utf8, 0)
                  .find("\u2068Eve\u202E\u2069 <\u206813800000001\u2069>     2021-01-02"),
              std::string::npos);
    EXPECT_NE(write(ArchiveEncoding::Utf8, 0).find("发信人：\u2068Eve\u202E\u2069<"),
              std::string::npos);
    EXPECT_NE(
        write(ArchiveEncoding::Utf8, 1).find("<bdi>Eve\u202E</bdi> &lt;<bdi>13800000001</bdi>"),
        std::string::npos);
    EXPECT_NE(write(ArchiveEncoding::Gb18030, 2).find("<b><bdi>Eve"), std::string::npos);
    EXPECT_NE(write(ArchiveEncoding::Utf8, 2).find("<span class=\"n\"><bdi>13800000001</bdi>"),
              std::string::npos);
    // Code page 936 has no such control: the classic bytes stay as they were.
    EXPECT_NE(write(ArchiveEncoding::Gbk, 0).find("Eve? <13800000001>     2021"),
              std::string::npos);
}

// A group conversation is one party: its heading names its members (or its own name), each
// entry the member who wrote it, and what the owner wrote the group.
TEST(ArchiveWriters, AGroupIsHeadedByItsMembersAndEachEntryByItsWriter) {
    ContactBook book;
    book.AddEntry("张三", "13900000001");
    book.AddEntry("李四", "13900000002");
    const std::string group = GroupParty({"13900000002", "13900000001", "13900000003"});
    const std::string named = GroupParty({"13900000001", "13900000002"}, "家人");
    MessageStore store;
    store.Add({group, "13900000001", "from Zhang", {2021, 1, 2, 10, 0, 0}, 3});
    store.Add({group, {}, "from me", {2021, 1, 2, 9, 0, 0}, 2, true});
    store.Add({named, "13900000002", "family", {2021, 1, 1, 9, 0, 0}, 1});
    StringSink sink;
    WriteTextArchive(sink, store, book, {SortOrder::BySender, true, false});
    const std::string text = sink.Bytes();
    EXPECT_NE(text.find(">群聊：张三、李四、13900000003<"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n张三 <13900000001>     2021-01-02 10:00:00 : \r\nfrom Zhang"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("→ 张三、李四、13900000003 <13900000001、13900000002、13900000003>"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(">群聊：家人<"), std::string::npos) << text;
    EXPECT_NE(text.find("李四 <13900000002>     2021-01-01 09:00:00 : \r\nfamily"),
              std::string::npos);
}

// Escaping first, then each CR LF pair and each remaining LF as "<br/>".
std::string ReferenceBodyHtml(std::string_view body) {
    std::string escaped;
    for (const char c : body) {
        escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
    }
    std::string out;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped.compare(i, 2, "\r\n") == 0) {
            out += "<br/>";
            ++i;
        } else {
            out += escaped[i] == '\n' ? std::string("<br/>") : std::string(1, escaped[i]);
        }
    }
    return out;
}

TEST(AppendBodyHtml, EscapesAndTurnsLineEndsIntoBreaks) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"hello\r\nok", "hello<br/>ok"},
        {"hello\n\nok", "hello<br/><br/>ok"},
        {"a\rb", "a\rb"},
        {"a\r\r\nb", "a\r<br/>b"},
        {"\n", "<br/>"},
        {"", ""},
        {"<b>", "&lt;b&gt;"},
    };
    for (const auto& [body, html] : cases) {
        std::string out;
        AppendBodyHtml(out, body);
        EXPECT_EQ(Printable(out), Printable(html));
    }
    // Every string of up to five characters over the characters that matter, and some longer.
    const std::string_view alphabet = "\r\n&<>a\xD5";
    std::vector<std::string> bodies = {""};
    for (std::size_t begin = 0, length = 1; length <= 5; ++length) {
        const std::size_t end = bodies.size();
        for (std::size_t i = begin; i < end; ++i) {
            for (const char c : alphabet) {
                bodies.push_back(bodies[i] + c);
            }
        }
        begin = end;
    }
    bodies.push_back("<script>alert(1)</script>\r\n\r\r\n&amp;\n\n>");
    for (const std::string& body : bodies) {
        std::string out = "kept";
        AppendBodyHtml(out, body);
        ASSERT_EQ(Printable(out), Printable("kept" + ReferenceBodyHtml(body))) << Printable(body);
    }
}

}  // namespace
}  // namespace quillbox
