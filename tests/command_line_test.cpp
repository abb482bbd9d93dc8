#include "command_line.h"

#include <gtest/gtest.h>

namespace quillbox::cli {
namespace {

Command Parse(std::initializer_list<std::string_view> args) {
    return ParseCommandLine(args);
}

TEST(ParseCommandLine, ReadsEveryOptionInLongAndShortForm) {
    for (const auto& command :
         {Parse({"--messages", "m", "--contacts", "c", "--output", "o.html", "--html", "--sort",
                 "date", "--recurse-messages", "--recurse-contacts"}),
          Parse({"-m", "m", "-c", "c", "-o", "o.html", "--html", "-s", "date", "-r", "-R"}),
          Parse({"--messages=m", "--contacts=c", "--output=o.html", "--html", "--sort=date", "-R",
                 "-r"}),
          Parse({"-mm", "-cc", "-oo.html", "--html", "-sdate", "-r", "-R"})}) {
        const auto* run = std::get_if<RunOptions>(&command);
        ASSERT_NE(run, nullptr);
        EXPECT_EQ(run->messageFolder, "m");
        EXPECT_EQ(run->contactsFolder, "c");
        EXPECT_EQ(run->outputFile, "o.html");
        EXPECT_TRUE(run->html);
        EXPECT_EQ(run->order, SortOrder::ByDate);
        EXPECT_TRUE(run->recurseMessages);
        EXPECT_TRUE(run->recurseContacts);
    }
}

TEST(ParseCommandLine, DefaultsToPlainTextBySenderWithoutRecursion) {
    const auto command = Parse({"-m", "m", "-o", "o"});
    const auto* run = std::get_if<RunOptions>(&command);
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run->contactsFolder, "");
    EXPECT_FALSE(run->html);
    EXPECT_EQ(run->order, SortOrder::BySender);
    EXPECT_FALSE(run->recurseMessages);
    EXPECT_FALSE(run->recurseContacts);
    // Missing paths are the run's refusals, not usage errors.
    EXPECT_TRUE(std::holds_alternative<RunOptions>(Parse({})));
}

TEST(ParseCommandLine, RefusesWhatItDoesNotKnow) {
    for (const auto& args : std::vector<std::vector<std::string_view>>{{"--sort", "name"},
                                                                       {"--bogus"},
                                                                       {"-x"},
                                                                       {"stray"},
                                                                       {"-m"},
                                                                       {"--output"},
                                                                       {"--html=yes"},
                                                                       {"-rx"},
                                                                       {"-"}}) {
        EXPECT_TRUE(std::holds_alternative<UsageError>(ParseCommandLine(args))) << args[0];
    }
}

TEST(ParseCommandLine, HelpAndVersion) {
    EXPECT_TRUE(std::holds_alternative<ShowHelp>(Parse({"-h"})));
    EXPECT_TRUE(std::holds_alternative<ShowHelp>(Parse({"-m", "x", "--help"})));
    EXPECT_TRUE(std::holds_alternative<ShowVersion>(Parse({"-V"})));
    EXPECT_TRUE(std::holds_alternative<ShowVersion>(Parse({"--version"})));
}

}  // namespace
}  // namespace quillbox::cli
