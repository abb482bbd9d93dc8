// SPDX-License-Identifier: MIT
#include "write/modern_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"
#include "test_messages.h"
#include "write/encoding.h"
#include "write/html_archive.h"

namespace quillbox {
namespace {

using test::Printable;

struct Message {
    std::string party;
    std::string time;
    std::string body;
    std::uint64_t key;
};

MessageStore StoreOf(const std::vector<Message>& messages, SortOrder order) {
    MessageStore store;
    for (const Message& m : messages) {
        store.Add({m.party, {}, m.body, test::TimeOf(m.time), m.key});
    }
    store.Order(order);
    return store;
}

std::string Page(const std::vector<Message>& messages, ContactBook book, SortOrder order,
                 ArchiveEncoding encoding = ArchiveEncoding::Utf8) {
    StringSink sink;
    EncodingSink encoded(sink, encoding);
    WriteModernPage(encoded, StoreOf(messages, order), book, {order, true}, CharsetLabel(encoding));
    return sink.Bytes();
}

std::size_t Count(std::string_view text, std::string_view what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// The page's main part, where the messages are.
std::string_view Main(std::string_view page) {
    const auto begin = page.find("<main>");
    const auto end = page.find("</main>");
    EXPECT_NE(begin, std::string_view::npos);
    EXPECT_NE(end, std::string_view::npos);
    return page.substr(begin, end - begin);
}

const std::vector<Message> kMessages = {
    {"123", "2009-03-18 12:30:00", "hello", 3},
    {"789", "2009-03-02 08:05:09", "ok\nsecond line", 2},
    {"123", "2009-02-01 00:00:00", "earlier", 1},
};

ContactBook BookWithAbc() {
    ContactBook book;
    book.AddEntry("abc", "123");
    return book;
}

TEST(ModernPage, EscapesTheFiveCharactersThatCouldBreakOut) {
    std::string out;
    AppendEscapedHtml(out, "a&b<c>d\"e'f 中文😀");
    EXPECT_EQ(out, "a&amp;b&lt;c&gt;d&quot;e'f 中文😀");
}

TEST(ModernPage, ListsTheMonthsWithTheirCountsAndLinks) {
    const std::string page = Page(kMessages, BookWithAbc(), SortOrder::ByDate);
    EXPECT_TRUE(page.starts_with("<!DOCTYPE html>\n<html lang=\"zh-CN\">"));
    EXPECT_NE(page.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(page.find("<p class=\"summary\">共 3 条短信，2 组</p>"), std::string::npos);
    EXPECT_NE(page.find("<li><a href=\"#g1\">2009年03月</a> <span class=\"count\">2</span></li>\n"
                        "<li><a href=\"#g2\">2009年02月</a> <span class=\"count\">1</span></li>"),
              std::string::npos);
    const std::string_view main = Main(page);
    EXPECT_EQ(Count(main, "<section"), 2u);
    EXPECT_EQ(Count(main, "<article>"), 3u);
    // Newest first, the known sender by name and number, the unknown one by number alone.
    const auto first = main.find(
        "<b>abc</b> <span class=\"n\">123</span> <span "
        "class=\"d\">2009-03-18 12:30:00</span>");
    const auto second = main.find("<b>789</b> <span class=\"d\">2009-03-02 08:05:09</span>");
    const auto third = main.find("<h2>2009年02月 <span class=\"count\">1</span></h2>");
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_NE(third, std::string_view::npos);
    EXPECT_NE(main.find("<p class=\"t\">ok\nsecond line</p>"), std::string_view::npos);
    EXPECT_TRUE(page.ends_with("</script>\n</body>\n</html>\n"));
}

TEST(ModernPage, HeadsEachSenderWithTheNameFromTheCard) {
    const std::string page = Page(kMessages, BookWithAbc(), SortOrder::BySender);
    EXPECT_NE(page.find("<li><a href=\"#g1\">789</a> <span class=\"count\">1</span></li>\n"
                        "<li><a href=\"#g2\">abc</a> <span class=\"count\">2</span></li>"),
              std::string::npos);
    EXPECT_NE(page.find("<h2>联系人：789 <span class=\"count\">1</span></h2>"), std::string::npos);
    EXPECT_NE(page.find("<h2>联系人：abc <span class=\"count\">2</span></h2>"), std::string::npos);
}

TEST(ModernPage, NoTextFromAMessageOrACardBecomesMarkup) {
    ContactBook book;
    book.AddEntry("<b onclick=\"x()\">Eve</b>", "666");
    book.AddEntry("Bob", "1<2");
    const std::string hostile = "</p></article><script>alert(\"x\")</script><img src=x onerror=y>&";
    const std::string page = Page({{"666", "2009-03-18 12:30:00", hostile, 1},
                                   {"<i>", "2009-03-17 12:00:00", "</main><a href=\"z\">", 0},
                                   {"1<2", "2009-03-16 12:00:00", "from Bob", 2}},
                                  book, SortOrder::BySender);
    const std::string_view main = Main(page);
    EXPECT_EQ(Count(page, "<script"), 1u);  // the page's own
    EXPECT_EQ(Count(main, "<img"), 0u);
    EXPECT_EQ(Count(main, "<a "), 0u);
    EXPECT_EQ(Count(main, "<i>"), 0u);
    EXPECT_EQ(Count(main, "</article>"), 3u);
    EXPECT_NE(main.find("&lt;/p&gt;&lt;/article&gt;&lt;script&gt;alert(&quot;x&quot;)&lt;/"
                        "script&gt;&lt;img src=x onerror=y&gt;&amp;"),
              std::string_view::npos);
    EXPECT_NE(main.find("<b>&lt;b onclick=&quot;x()&quot;&gt;Eve&lt;/b&gt;</b>"),
              std::string_view::npos);
    EXPECT_NE(main.find("<b>&lt;i&gt;</b>"), std::string_view::npos);
    EXPECT_NE(main.find("1&lt;2"), std::string_view::npos);
    EXPECT_EQ(page.find("1<2"), std::string_view::npos);
    EXPECT_NE(page.find("<a href=\"#g2\">&lt;b onclick=&quot;x()&quot;&gt;Eve&lt;/b&gt;</a>"),
              std::string::npos);
}

// Every text between the two markers, in order.
std::vector<std::string> Between(std::string_view text, std::string_view open,
                                 std::string_view close) {
    std::vector<std::string> found;
    for (auto at = text.find(open); at != std::string_view::npos; at = text.find(open, at)) {
        at += open.size();
        const auto end = text.find(close, at);
        found.emplace_back(text.substr(at, end - at));
    }
    return found;
}

// The same groups as the classic page, odd dates included: a time of zeros opens no group, a
// negative field keeps the previous month.
TEST(ModernPage, HasTheClassicPagesGroups) {
    ContactBook book;
    book.AddEntry("张三", "139");
    const std::vector<Message> messages = {
        {"139", "2009-03-18 12:30:00", "a", 9}, {"10086", "2009-03-01 00:00:00", "b", 8},
        {"139", "0-00-00 00:00:00", "c", 7},    {"1", "2009-02-28 23:59:59", "d", 6},
        {"1", "-001-0-05 00:00:00", "e", 5},    {"2", "2009--1-01 00:00:00", "f", 4},
        {"139", "2008-12-31 23:59:59", "g", 3},
    };
    for (const SortOrder order : {SortOrder::ByDate, SortOrder::BySender}) {
        SCOPED_TRACE(order == SortOrder::ByDate ? "by date" : "by sender");
        StringSink classic;
        WriteHtmlArchive(classic, StoreOf(messages, order), book, {order, false}, "utf-8");
        std::vector<std::string> expected;
        for (std::string utf8 : Between(classic.Bytes(), "<u>", "<br/></u>")) {
            if (utf8.starts_with("发信人：")) {
                utf8 = "联系人：" + utf8.substr(std::string_view("发信人：").size());
            }
            expected.push_back(utf8);
        }
        const std::string page = Page(messages, book, order);
        EXPECT_EQ(Between(Main(page), "<h2>", " <span"), expected);
        EXPECT_EQ(Count(Main(page), "<article>"), messages.size());
    }
}

TEST(ModernPage, GivesMessagesBeforeTheFirstHeadingAGroupOfTheirOwn) {
    // A time of zeros has the starting key, which opens no group; ordered first, it stands
    // before every heading.
    const std::string onlyUndated =
        Page({{"2", "0-00-00 00:00:00", "undated", 1}}, ContactBook(), SortOrder::ByDate);
    EXPECT_NE(onlyUndated.find("<li><a href=\"#g1\">其他</a> <span class=\"count\">1</span>"),
              std::string::npos);
    EXPECT_EQ(Count(Main(onlyUndated), "<section"), 1u);
}

// A large group goes in chunks of 50 entries, each with the height it will about take; a long
// contents list starts folded.
TEST(ModernPage, SplitsLargePagesIntoPiecesTheBrowserCanSkip) {
    std::vector<Message> many;
    for (int i = 0; i < 120; ++i) {
        many.push_back(
            {"100", "2009-03-18 12:30:00", "same sender", static_cast<std::uint64_t>(i)});
    }
    for (int i = 0; i < 60; ++i) {
        many.push_back({std::to_string(200 + i), "2009-03-18 12:30:00", "one each", 0});
    }
    const std::string page = Page(many, ContactBook(), SortOrder::BySender);
    EXPECT_NE(page.find("<nav aria-label=\"目录\"><details><summary>"), std::string::npos);
    const std::string_view main = Main(page);
    const auto group = main.find("<h2>联系人：100 <span class=\"count\">120</span></h2>");
    ASSERT_NE(group, std::string_view::npos);
    const std::string_view rest = main.substr(group, main.find("</section>", group) - group);
    EXPECT_EQ(Count(rest, "<div class=\"c\""), 3u);
    // A one-line entry takes 4.8 rem.
    EXPECT_EQ(Count(rest, "<div class=\"c\" style=\"contain-intrinsic-size:auto 240.0rem\">"), 2u);
    EXPECT_EQ(Count(rest, "<div class=\"c\" style=\"contain-intrinsic-size:auto 96.0rem\">"), 1u);
    EXPECT_NE(main.find("style=\"contain-intrinsic-size:auto 580.0rem\"><h2>联系人：100 "),
              std::string_view::npos);
    EXPECT_EQ(Count(main, "<section"), 61u);
    EXPECT_EQ(Count(main, "<article>"), 180u);
    EXPECT_EQ(Count(main, "<div class=\"c\""), 63u);
    EXPECT_EQ(Count(main, "</div>"), 63u);

    const std::string small = Page(kMessages, BookWithAbc(), SortOrder::ByDate);
    EXPECT_NE(small.find("<details open><summary>"), std::string::npos);
}

// A body takes a line for each line end and for every 88 columns, a wide character two.
TEST(ModernPage, GuessesTheHeightOfAnEntryFromItsBody) {
    std::string wide;
    for (int i = 0; i < 44; ++i) {
        wide += "字";
    }
    const struct {
        std::string body;
        const char* height;
    } cases[] = {
        {"", "4.8rem"},
        {"one line", "4.8rem"},
        {"two\nlines", "6.4rem"},
        {std::string(88, 'a'), "4.8rem"},
        {std::string(89, 'a'), "6.4rem"},
        {wide, "4.8rem"},
        {wide + "字", "6.4rem"},
        {"😀\n\n", "8.0rem"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        const std::string page =
            Page({{"1", "2009-03-18 12:30:00", c.body, 1}}, ContactBook(), SortOrder::ByDate);
        EXPECT_NE(page.find(std::string("<div class=\"c\" style=\"contain-intrinsic-size:auto ") +
                            c.height + "\">"),
                  std::string::npos);
    }
}

TEST(ModernPage, AnEmptyStoreIsAPageWithoutGroups) {
    const std::string page = Page({}, ContactBook(), SortOrder::ByDate);
    EXPECT_NE(page.find("共 0 条短信，0 组"), std::string::npos);
    EXPECT_EQ(Count(page, "<nav"), 0u);
    EXPECT_EQ(Count(Main(page), "<section"), 0u);
    EXPECT_TRUE(page.ends_with("</html>\n"));
}

TEST(ModernPage, IsWrittenInTheArchivesEncoding) {
    ContactBook book;
    book.AddEntry("李四😀", "138");
    const std::vector<Message> messages = {{"138", "2009-03-18 12:30:00", "€ and \xFF", 1}};
    const std::string utf8 = Page(messages, book, SortOrder::BySender);
    // A byte that is no UTF-8 is repaired, so the page stays valid UTF-8.
    EXPECT_NE(utf8.find("<p class=\"t\">€ and \xEF\xBF\xBD</p>"), std::string::npos);

    const std::string gb = Page(messages, book, SortOrder::BySender, ArchiveEncoding::Gb18030);
    EXPECT_NE(gb.find("<meta charset=\"gb18030\">"), std::string::npos);
    EXPECT_NE(gb.find("<b>\xC0\xEE\xCB\xC4\x94\x39\xFC\x36</b>"), std::string::npos);
    EXPECT_NE(gb.find("<p class=\"t\">\xA2\xE3 and \x84\x31\xA4\x37</p>"), std::string::npos);
    EXPECT_EQ(gb.find("\xE2\x82\xAC"), std::string::npos);  // no UTF-8 left
}

}  // namespace
}  // namespace quillbox
