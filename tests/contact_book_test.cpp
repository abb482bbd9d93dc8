// SPDX-License-Identifier: MIT
#include "order/contact_book.h"

#include <gtest/gtest.h>

namespace quillbox {
namespace {

TEST(ContactBook, TheFirstEntryForANumberKeepsItsName) {
    ContactBook book;
    book.AddEntry("Zhang San", "139");
    book.AddEntry("Li Si", "139");
    book.AddEntry("", "138");
    book.AddEntry("Wang Wu", "138");
    EXPECT_EQ(book.Lookup("139"), "Zhang San");
    // An empty first name is kept too, and the number is shown for it.
    EXPECT_EQ(book.Lookup("138"), "138");
    EXPECT_EQ(book.Lookup("137"), "137");
    EXPECT_EQ(book.Lookup("139"), "Zhang San");
}

TEST(ContactBook, TheEmptyNumberHasAnEmptyDisplayName) {
    ContactBook book;
    book.AddEntry("Nobody", "");
    EXPECT_EQ(book.Lookup(""), "");
    EXPECT_EQ(book.Lookup("1"), "1");
    // Past the memo the map answers, and holds a name for the empty number.
    EXPECT_EQ(book.Lookup(""), "Nobody");
}

TEST(ContactBook, KeepsEveryNumberAsTheTableGrows) {
    ContactBook book;
    for (int i = 0; i < 20000; ++i) {
        book.AddEntry("card " + std::to_string(i / 3), std::to_string(13900000000 + i * 7));
    }
    for (int i = 0; i < 20000; ++i) {
        book.AddEntry("later", std::to_string(13900000000 + i * 7));
    }
    for (int i = 0; i < 20000; i += 997) {
        EXPECT_EQ(book.Lookup(std::to_string(13900000000 + i * 7)),
                  "card " + std::to_string(i / 3));
        EXPECT_EQ(book.Lookup(std::to_string(13900000001 + i * 7)),
                  std::to_string(13900000001 + i * 7));
    }
}

TEST(CardEntries, KeepsEachCardsNameOnceAndDropsAFailedCard) {
    CardEntries entries;
    entries.AddCard("a");
    entries.AddNumber("1");
    entries.AddNumber("22");
    entries.AddCard("b");
    entries.AddNumber("333");
    entries.Truncate(2);
    entries.AddCard("c");
    entries.AddNumber("4");
    ASSERT_EQ(entries.Size(), 3u);
    EXPECT_EQ(entries.Name(1), "a");
    EXPECT_EQ(entries.Number(1), "22");
    EXPECT_EQ(entries.Name(2), "c");
    EXPECT_EQ(entries.Number(2), "4");
}

}  // namespace
}  // namespace quillbox
