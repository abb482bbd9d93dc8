// SPDX-License-Identifier: MIT
#include "order/message_store.h"

#include <gtest/gtest.h>

#include "test_messages.h"

namespace quillbox {
namespace {

test::Message Message(std::string party, std::uint64_t key, std::string body = {}) {
    return {std::move(party), std::move(body), {}, key};
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

TEST(MessageStore, KeepsEveryTextAndTimeWholeAcrossItsBlocks) {
    // Past a megabyte the texts go on in a new block; one longer than a block gets its own. The
    // classic reader's odd numbers are kept beside the texts.
    MessageStore store;
    std::vector<NewMessage> added;
    std::vector<std::string> texts;
    texts.reserve(3 * 3000);
    for (std::size_t i = 0; i < 3000; ++i) {
        texts.push_back(std::to_string(i * 7919));
        texts.push_back(i % 7 == 0 ? "author" + std::to_string(i) : std::string());
        texts.push_back(std::string(i == 1500 ? std::size_t{3} << 20 : i % 997,
                                    static_cast<char>('a' + i % 26)));
        const auto n = static_cast<std::int32_t>(i);
        const MessageTime time = i % 5 == 0 ? MessageTime{n - 1000, -n, n * 1000, 24, 60, 61}
                                            : MessageTime{2009, 3, n % 31, n % 24, 59, 60};
        added.push_back(
            {texts[3 * i], texts[3 * i + 1], texts[3 * i + 2], time, i * 31, i % 3 == 0});
        ASSERT_TRUE(store.Add(added.back()));
    }
    MessageStore copy(4096);
    copy.Append(store, 0, store.Size());
    for (const MessageStore* s : {&store, &copy}) {
        ASSERT_EQ(s->Size(), added.size());
        for (std::size_t i = 0; i < added.size(); ++i) {
            const auto& m = s->Messages()[i];
            EXPECT_EQ(m.Party(), added[i].party);
            EXPECT_EQ(m.Author(), added[i].author);
            ASSERT_EQ(m.Body(), added[i].body) << i;
            EXPECT_EQ(m.Time(), added[i].time) << i;
            EXPECT_EQ(m.Key(), added[i].key);
            EXPECT_EQ(m.Sent(), added[i].sent);
        }
    }
}

TEST(MessageStore, RefusesAPartyLongerThanItHolds) {
    MessageStore store;
    const std::string party(MessageStore::kLongestParty + 1, '1');
    EXPECT_FALSE(store.Add({party, {}, "text", {}, 0}));
    EXPECT_EQ(store.Size(), 0u);
    EXPECT_TRUE(store.Add({std::string_view(party).substr(1), {}, "text", {}, 0}));
}

TEST(TimeKeys, TodaysKeyGrowsWithTheTimeInEveryYear) {
    const MessageTime times[] = {{1900, 1, 1, 0, 0, 0},     {1969, 12, 31, 23, 59, 59},
                                 {1970, 1, 1, 0, 0, 0},     {1970, 1, 1, 0, 0, 1},
                                 {2009, 2, 28, 23, 59, 59}, {2009, 3, 1, 0, 0, 0},
                                 {9999, 12, 31, 23, 59, 60}};
    for (std::size_t i = 1; i < std::size(times); ++i) {
        EXPECT_LT(TimeKey(times[i - 1]), TimeKey(times[i])) << i;
    }
    // From 1970 on the two keys order alike; the classic one wraps before 1970.
    EXPECT_EQ(ClassicTimeKey({2009, 3, 18, 10, 15, 30}), 1260353730u);
    EXPECT_EQ(TimeKey({2009, 3, 18, 10, 15, 30}) - TimeKey({1970, 1, 1, 0, 0, 0}), 1260353730u);
    EXPECT_GT(ClassicTimeKey({1969, 12, 31, 23, 59, 59}), ClassicTimeKey({2009, 1, 1, 0, 0, 0}));
}

}  // namespace
}  // namespace quillbox
