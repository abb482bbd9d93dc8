// SPDX-License-Identifier: MIT
#include "command_line.h"

#include <gtest/gtest.h>

#include <optional>

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

TEST(ParseCommandLine, TakesValuesAndFlagsInEveryFormGetoptKnows) {
    struct Case {
        const char* name;
        std::vector<std::string_view> args;
        std::string messages;
        std::string output;
        bool recurseMessages;
        bool recurseContacts;
    };
    const Case cases[] = {
        {"--opt=value", {"--messages=m", "--output=o"}, "m", "o", false, false},
        {"a value that looks like an option",
         {"--messages=-x", "-o", "-"},
         "-x",
         "-",
         false,
         false},
        {"a separate value may begin with a dash",
         {"-m", "-x", "--output", "--o"},
         "-x",
         "--o",
         false,
         false},
        {"an empty value", {"--messages=", "-o", "o"}, "", "o", false, false},
        {"bundled flags", {"-rR", "-m", "m", "-o", "o"}, "m", "o", true, true},
        {"bundled flags with a value last", {"-Rrmm", "-o", "o"}, "m", "o", true, true},
        {"an unambiguous prefix of a long option",
         {"--mess=m", "--out", "o", "--recurse-m"},
         "m",
         "o",
         true,
         false},
        {"the last value wins", {"-m", "a", "-m", "b", "-o", "o"}, "b", "o", false, false},
        {"-- ends the options", {"-m", "m", "-o", "o", "--"}, "m", "o", false, false},
    };
    for (const Case& c : cases) {
        const Command command = ParseCommandLine(c.args);
        const auto* run = std::get_if<RunOptions>(&command);
        ASSERT_NE(run, nullptr) << c.name;
        EXPECT_EQ(run->messageFolder, c.messages) << c.name;
        EXPECT_EQ(run->outputFile, c.output) << c.name;
        EXPECT_EQ(run->recurseMessages, c.recurseMessages) << c.name;
        EXPECT_EQ(run->recurseContacts, c.recurseContacts) << c.name;
    }
}

TEST(ParseCommandLine, VerbosityAndReport) {
    const auto verbosity = [](std::initializer_list<std::string_view> args) {
        const Command command = ParseCommandLine(args);
        const auto* run = std::get_if<RunOptions>(&command);
        return run != nullptr ? std::optional<Verbosity>(run->verbosity) : std::nullopt;
    };
    EXPECT_EQ(verbosity({}), Verbosity::Normal);
    EXPECT_EQ(verbosity({"-v"}), Verbosity::Verbose);
    EXPECT_EQ(verbosity({"--verbose"}), Verbosity::Verbose);
    EXPECT_EQ(verbosity({"-q"}), Verbosity::Quiet);
    EXPECT_EQ(verbosity({"--quiet", "--quiet"}), Verbosity::Quiet);

    const Command command = Parse({"-m", "m", "-o", "-", "--report=r.json"});
    const auto* run = std::get_if<RunOptions>(&command);
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run->reportFile, "r.json");
    EXPECT_EQ(run->outputFile, "-");
    const Command toStdout = Parse({"-m", "m", "-o", "o", "--report", "-"});
    ASSERT_TRUE(std::holds_alternative<RunOptions>(toStdout));
    EXPECT_EQ(std::get<RunOptions>(toStdout).reportFile, "-");
}

TEST(ParseCommandLine, UsageErrorsSayWhatIsWrongInOneLine) {
    struct Case {
        std::vector<std::string_view> args;
        std::string_view named;  // what the message must quote
    };
    const Case cases[] = {
        {{"-v", "-q"}, "--quiet"},
        {{"-qv"}, "--verbose"},
        {{"--verbose", "-m", "m", "--quiet"}, "--quiet"},
        // Standard output can take one of the two.
        {{"-m", "m", "--report=-", "-o", "-"}, "--report=-"},
        {{"-m", "m", "--report", "-", "--output=-"}, "--output=-"},
        {{"-o", "same", "--report=same"}, ""},
        // After "--" every argument is an operand, and the program takes none.
        {{"-m", "m", "--", "-o", "o"}, "'-o'"},
        {{"--", "--help"}, "'--help'"},
        {{"-m", "m", "stray"}, "'stray'"},
        {{"--sort", "name"}, "'name'"},
        {{"--bogus=1"}, "'--bogus'"},
        {{"-x"}, "'-x'"},
        {{"-rx"}, "'-x'"},
        {{"--report"}, "'--report'"},
        {{"--html=yes"}, "--html"},
    };
    for (const Case& c : cases) {
        const Command command = ParseCommandLine(c.args);
        const auto* error = std::get_if<UsageError>(&command);
        ASSERT_NE(error, nullptr) << c.args[0];
        EXPECT_FALSE(error->message.empty()) << c.args[0];
        EXPECT_EQ(error->message.find('\n'), std::string::npos) << error->message;
        EXPECT_NE(error->message.find(c.named), std::string::npos) << error->message;
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
