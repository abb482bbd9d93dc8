// SPDX-License-Identifier: MIT
#include "order/contact_book.h"

#include <gtest/gtest.h>

#include "order/message_store.h"
#include "test_messages.h"

namespace quillbox {
namespace {

TEST(ContactBook, TheFirstEntryForANumberKeepsItsName) {
    ContactBook book;
    book.AddEntry({"Zhang San", "139"});
    book.AddEntry({"Li Si", "139"});
    book.AddEntry({"", "138"});
    book.AddEntry({"Wang Wu", "138"});
    EXPECT_EQ(book.Lookup("139"), "Zhang San");
    // An empty first name is kept too, and the number is shown for it.
    EXPECT_EQ(book.Lookup("138"), "138");
    EXPECT_EQ(book.Lookup("137"), "137");
    EXPECT_EQ(book.Lookup("139"), "Zhang San");
}

TEST(ContactBook, TheEmptyNumberHasAnEmptyDisplayName) {
    ContactBook book;
    book.AddEntry({"Nobody", ""});
    EXPECT_EQ(book.Lookup(""), "");
    EXPECT_EQ(book.Lookup("1"), "1");
    // Past the memo the map answers, and holds a name for the empty number.
    EXPECT_EQ(book.Lookup(""), "Nobody");
}

test::Message Message(std::string sender, std::uint64_t key, std::string body = {}) {
    return {std::move(sender), std::move(body), {}, key};
}

struct OrderCase {
    std::string name;
    SortOrder order;
    std::vector<test::Message> input;
    std::vector<std::string> expected;  // bodies in the expected order
};

TEST(MessageStore, OrdersStablyByDateOrBySenderThenDate) {
    const OrderCase cases[] = {
        {"senders in descending byte order",
         SortOrder::BySender,
         {Message("13", 1, "13"), Message("9", 1, "9"), Message("10", 1, "10")},
         {"9", "13", "10"}},
        {"a prefix comes after the longer number",
         SortOrder::BySender,
         {Message("13", 1, "13"), Message("138", 1, "138")},
         {"138", "13"}},
        {"bytes compare unsigned, the empty sender last",
         SortOrder::BySender,
         {Message("", 1, "empty"), Message("\xD5\xC5", 1, "high"), Message("z", 1, "z")},
         {"high", "z", "empty"}},
        {"each sender newest first",
         SortOrder::BySender,
         {Message("1", 5, "old"), Message("2", 1, "other"), Message("1", 9, "new")},
         {"other", "new", "old"}},
        {"equal sender and key keep the reading order",
         SortOrder::BySender,
         {Message("1", 5, "first"), Message("1", 5, "second"), Message("1", 5, "third")},
         {"first", "second", "third"}},
        {"newest first",
         SortOrder::ByDate,
         {Message("1", 5, "mid"), Message("2", 9, "new"), Message("3", 1, "old")},
         {"new", "mid", "old"}},
        {"equal keys keep the reading order by date",
         SortOrder::ByDate,
         {Message("9", 5, "first"), Message("1", 5, "second"), Message("5", 7, "newest")},
         {"newest", "first", "second"}},
        {"keys compare unsigned",
         SortOrder::ByDate,
         {Message("1", 1, "small"), Message("1", ~std::uint64_t{0}, "wrapped")},
         {"wrapped", "small"}},
        {"nothing to order", SortOrder::ByDate, {}, {}},
    };
    for (const auto& c : cases) {
        MessageStore store = test::StoreOf(c.input);
        store.Order(c.order);
        std::vector<std::string> bodies;
        for (const auto& m : store.Messages()) {
            bodies.emplace_back(m.Body());
        }
        EXPECT_EQ(bodies, c.expected) << c.name;
    }
}

TEST(MessageStore, KeepsEveryTextWholeAcrossItsBlocks) {
    // Past a megabyte the texts go on in a new block; one longer than a block gets its own.
    MessageStore store;
    std::vector<test::Message> records;
    for (std::size_t i = 0; i < 3000; ++i) {
        const std::string body(i == 1500 ? std::size_t{3} << 20 : i % 997,
                               static_cast<char>('a' + i % 26));
        records.push_back({std::to_string(i * 7919), body,
                           i % 5 == 0 ? std::string() : "2009-03-" + std::to_string(i), i * 31});
        store.Add(records.back().sender, records.back().dateText, records.back().body,
                  records.back().dateKey);
    }
    ASSERT_EQ(store.Messages().size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto& m = store.Messages()[i];
        EXPECT_EQ(m.Sender(), records[i].sender);
        EXPECT_EQ(m.DateText(), records[i].dateText);
        ASSERT_EQ(m.Body(), records[i].body) << i;
        EXPECT_EQ(m.DateKey(), records[i].dateKey);
    }
}

}  // namespace
}  // namespace quillbox
