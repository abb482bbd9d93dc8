// SPDX-License-Identifier: MIT
#include "order/contact_book.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quillbox
