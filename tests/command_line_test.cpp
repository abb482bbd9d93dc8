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
        const ArchiveRequest& request = run->request;
        EXPECT_EQ(request.messageFolder.string(), "m");
        EXPECT_EQ(request.contactsFolder.string(), "c");
        EXPECT_EQ(request.output.string(), "o.html");
        EXPECT_EQ(request.form, ArchiveForm::ClassicHtml);
        EXPECT_EQ(request.order, SortOrder::ByDate);
        EXPECT_TRUE(request.recurseMessages);
        EXPECT_TRUE(request.recurseContacts);
    }
}

TEST(ParseCommandLine, DefaultsToPlainTextBySenderWithoutRecursion) {
    const auto command = Parse({"-m", "m", "-o", "o"});
    const auto* run = std::get_if<RunOptions>(&command);
    ASSERT_NE(run, nullptr);
    const ArchiveRequest& request = run->request;
    EXPECT_TRUE(request.contactsFolder.empty());
    EXPECT_EQ(request.form, ArchiveForm::Text);
    EXPECT_EQ(request.order, SortOrder::BySender);
    EXPECT_EQ(request.input, InputFormat::Classic);
    EXPECT_EQ(request.encoding, ArchiveEncoding::Gbk);
    EXPECT_FALSE(request.recurseMessages);
    EXPECT_FALSE(request.recurseContacts);
    EXPECT_FALSE(request.since || request.until || request.dedupe);
    EXPECT_EQ(request.jobs, 0u);
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
        EXPECT_EQ(run->request.messageFolder.string(), c.messages) << c.name;
        EXPECT_EQ(run->request.output.string(), c.output) << c.name;
        EXPECT_EQ(run->request.recurseMessages, c.recurseMessages) << c.name;
        EXPECT_EQ(run->request.recurseContacts, c.recurseContacts) << c.name;
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
    EXPECT_EQ(run->request.report.string(), "r.json");
    EXPECT_EQ(run->request.output.string(), "-");
    const Command toStdout = Parse({"-m", "m", "-o", "o", "--report", "-"});
    ASSERT_TRUE(std::holds_alternative<RunOptions>(toStdout));
    EXPECT_EQ(std::get<RunOptions>(toStdout).request.report.string(), "-");
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
        {{"--time-zone=Mars/Olympus"}, "'Mars/Olympus'"},
        {{"-m", "m", "-o", "o", "--split", "--page=classic"}, "--page classic"},
        {{"-m", "m", "-o", "-", "--split"}, "--split"},
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

// The archive's options: each value that is taken, and the edges of those refused.
TEST(ParseCommandLine, ArchiveOptionsAndTheirEdges) {
    struct Case {
        std::vector<std::string_view> args;
        bool accepted;
        ArchiveForm form = ArchiveForm::Text;
        ArchiveEncoding encoding = ArchiveEncoding::Gbk;
    };
    const Case cases[] = {
        {{"--html"}, true, ArchiveForm::ClassicHtml},
        {{"--page=classic"}, true, ArchiveForm::ClassicHtml},
        {{"--page=modern"}, true, ArchiveForm::ModernPage, ArchiveEncoding::Utf8},
        {{"--page=modern", "--encoding=gb18030"},
         true,
         ArchiveForm::ModernPage,
         ArchiveEncoding::Gb18030},
        {{"--encoding=gb18030", "--page", "modern"},
         true,
         ArchiveForm::ModernPage,
         ArchiveEncoding::Gb18030},
        {{"--encoding=utf8"}, true, ArchiveForm::Text, ArchiveEncoding::Utf8},
        {{"--encoding=latin1"}, false},
        {{"--page=fancy"}, false},
        {{"--since=2000-02-29"}, true},   // a century that is a leap year
        {{"--since=1900-02-29"}, false},  // a century that is none
        {{"--since=2009-02-29"}, false},
        {{"--until=2009-03-31"}, true},  // the last day of a month
        {{"--until=2009-04-31"}, false},
        {{"--since=2009-3-1"}, false},
        {{"--since=2009-03-18", "--until=2009-03-18"}, true},  // one day
        {{"--since=2009-03-19", "--until=2009-03-18"}, false},
        {{"--jobs=256"}, true},
        {{"--jobs=257"}, false},
        {{"-j", "0"}, false},
        {{"-j1x"}, false},
        {{"--modern", "--dedupe"}, true},
        {{"--time-zone=Asia/Shanghai"}, true},
        {{"--time-zone", "+08:00"}, true},
        {{"--time-zone=utc"}, true},
        {{"--time-zone=Mars/Olympus"}, false},
        {{"--time-zone=+25:00"}, false},
        {{"--time-zone="}, false},
        // An archive folder: text pages in the archive's encoding, or today's HTML pages.
        {{"--split"}, true},
        {{"--split", "--html"}, true, ArchiveForm::ModernPage, ArchiveEncoding::Utf8},
        {{"--split", "--page=modern", "--encoding=gbk"},
         true,
         ArchiveForm::ModernPage,
         ArchiveEncoding::Gbk},
        {{"--split", "--encoding=utf-8"}, true, ArchiveForm::Text, ArchiveEncoding::Utf8},
        {{"--split", "--page=classic"}, false},
    };
    for (const Case& c : cases) {
        std::vector<std::string_view> args = {"-m", "m", "-o", "o"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Command command = ParseCommandLine(args);
        const auto* run = std::get_if<RunOptions>(&command);
        ASSERT_EQ(run != nullptr, c.accepted) << c.args[0];
        if (run != nullptr) {
            EXPECT_EQ(run->request.form, c.form) << c.args[0];
            EXPECT_EQ(run->request.encoding, c.encoding) << c.args[0];
        }
    }
    const Command full = Parse({"-m", "m", "-o", "o", "--since=2009-03-01", "--until=2009-03-31",
                                "-j", "3", "--modern", "--dedupe", "--time-zone=Europe/Berlin"});
    const auto& request = std::get<RunOptions>(full).request;
    EXPECT_EQ(request.since, (CalendarDay{2009, 3, 1}));
    EXPECT_EQ(request.until, (CalendarDay{2009, 3, 31}));
    EXPECT_EQ(request.jobs, 3u);
    EXPECT_EQ(request.input, InputFormat::Modern);
    EXPECT_TRUE(request.dedupe);
    EXPECT_EQ(request.timeZone, "Europe/Berlin");
    EXPECT_TRUE(std::get<RunOptions>(Parse({"-m", "m"})).request.timeZone.empty());
}

TEST(ParseCommandLine, HelpAndVersion) {
    EXPECT_TRUE(std::holds_alternative<ShowHelp>(Parse({"-h"})));
    EXPECT_TRUE(std::holds_alternative<ShowHelp>(Parse({"-m", "x", "--help"})));
    EXPECT_TRUE(std::holds_alternative<ShowVersion>(Parse({"-V"})));
    EXPECT_TRUE(std::holds_alternative<ShowVersion>(Parse({"--version"})));
}

}  // namespace
}  // namespace quillbox::cli
