// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

#include "quillbox/archive.h"
#include "run_fixture.h"
#include "test_files.h"

namespace quillbox {
namespace {

namespace fs = std::filesystem;
using test::Gbk;
using test::Printable;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
using test::WriteMessage;

class GenerationRunTest : public test::RunFixture {
protected:
    ArchiveRequest Request(bool html = false, SortOrder order = SortOrder::ByDate,
                           bool recurseMessages = false, bool recurseContacts = false) const {
        ArchiveRequest request = RunFixture::Request();
        request.recurseMessages = recurseMessages;
        request.recurseContacts = recurseContacts;
        request.form = html ? ArchiveForm::ClassicHtml : ArchiveForm::Text;
        request.order = order;
        return request;
    }

    bool Run(bool html = false, SortOrder order = SortOrder::ByDate, bool recurseMessages = false,
             bool recurseContacts = false) {
        return RunFixture::Run(Request(html, order, recurseMessages, recurseContacts));
    }

    std::string Path(std::string_view relative) const { return (dir_ / relative).string(); }
    std::string Archive() const { return ReadBytes(Output()); }
};

TEST_F(GenerationRunTest, AnEmptyOutputPathIsRefusedBeforeAnythingIsRead) {
    WriteMessage(dir_ / "m/a.vmg", "1", "1.1.2009 0:0:0", "x");
    ArchiveRequest request = Request();
    request.contactsFolder.clear();
    request.output.clear();
    RunReport report;
    EXPECT_FALSE(GenerateArchive(request, &report));
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.failure.stage, RunFailure::Stage::EmptyOutputPath);
    EXPECT_EQ(report.messages.found, 0u);
}

TEST_F(GenerationRunTest, AnArchiveThatCannotBeCreatedFailsTheRun) {
    WriteMessage(dir_ / "m/a.vmg", "1", "1.1.2009 0:0:0", "x");
    const std::pair<const char*, RunFailure::Stage> outputs[] = {
        // The archive is written beside its place first: the folder must take a new file.
        {"absent/out.txt", RunFailure::Stage::NoTemporaryFile},
        {"m", RunFailure::Stage::OpenOutput},
    };
    for (const auto& [output, stage] : outputs) {
        ArchiveRequest request = Request();
        request.output = dir_ / output;
        RunReport report;
        EXPECT_FALSE(GenerateArchive(request, &report)) << output;
        EXPECT_EQ(report.failure.stage, stage) << output;
        EXPECT_FALSE(DescribeFailure(report.failure).empty()) << output;
    }
    EXPECT_FALSE(fs::exists(dir_ / "absent"));
}

#ifndef _WIN32
std::string LongPath() {
    std::string path;
    while (path.size() < 5000) {
        path += "a/";
    }
    return path + "out.txt";
}

struct UnwritableCase {
    std::string name;
    std::string output;  // relative paths are taken inside the test's folder
    RunFailure::Stage stage;
    int error;
};

TEST_F(GenerationRunTest, AnArchiveThatCannotBeWrittenWholeFailsTheRun) {
    WriteMessage(dir_ / "m/a.vmg", "1", "1.1.2009 0:0:0", "x");
    fs::create_directories(dir_ / "locked");
    fs::permissions(dir_ / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    std::vector<UnwritableCase> cases = {
        {"folder missing", "absent/out.txt", RunFailure::Stage::NoTemporaryFile, ENOENT},
        {"a folder in the way", "m", RunFailure::Stage::OpenOutput, EISDIR},
        {"full disk", "/dev/full", RunFailure::Stage::WriteOutput, ENOSPC},
        // Longer than any path the system takes, in short parts.
        {"path too long", LongPath(), RunFailure::Stage::OpenOutput, ENAMETOOLONG},
        // Writes are refused here even for root.
        {"a folder that refuses new files", "/sys/quillbox-test.txt",
         RunFailure::Stage::NoTemporaryFile, EACCES},
    };
    if (::geteuid() != 0) {
        cases.push_back(
            {"read-only folder", "locked/out.txt", RunFailure::Stage::NoTemporaryFile, EACCES});
    }
    for (const auto& c : cases) {
        if (c.output.starts_with("/") && !fs::exists(fs::path(c.output).parent_path())) {
            continue;
        }
        for (const bool html : {false, true}) {
            ArchiveRequest request = Request(html);
            request.output = c.output.starts_with("/") ? fs::path(c.output) : dir_ / c.output;
            RunReport report;
            EXPECT_FALSE(GenerateArchive(request, &report)) << c.name;
            EXPECT_EQ(report.failure.stage, c.stage) << c.name;
            EXPECT_EQ(report.failure.systemError, c.error) << c.name;
        }
    }
    EXPECT_FALSE(fs::exists(dir_ / "absent"));
    EXPECT_FALSE(fs::exists("/sys/quillbox-test.txt"));
}
#endif

TEST_F(GenerationRunTest, AMissingFolderFailsTheRunAndWritesNothing) {
    struct Case {
        const char* name;
        fs::path messages;
        fs::path cards;
        RunFailure::Stage stage;
    };
    WriteBytes(dir_ / "a-file", "x");
    const Case cases[] = {
        {"no message folder", dir_ / "absent", Cards(), RunFailure::Stage::MessageFolderMissing},
        {"an empty message folder path", fs::path(), Cards(),
         RunFailure::Stage::MessageFolderMissing},
        // The message folder is looked at first.
        {"neither folder", dir_ / "absent", dir_ / "absent too",
         RunFailure::Stage::MessageFolderMissing},
        {"no contacts folder", Messages(), dir_ / "absent",
         RunFailure::Stage::ContactsFolderMissing},
        {"a file as the message folder", dir_ / "a-file", Cards(),
         RunFailure::Stage::MessageFolderNotFolder},
        {"a file as the contacts folder", Messages(), dir_ / "a-file",
         RunFailure::Stage::ContactsFolderNotFolder},
    };
    for (const Case& c : cases) {
        ArchiveRequest request = Request();
        request.messageFolder = c.messages;
        request.contactsFolder = c.cards;
        RunReport report;
        EXPECT_FALSE(GenerateArchive(request, &report)) << c.name;
        EXPECT_EQ(report.failure.stage, c.stage) << c.name;
        const fs::path& named = c.stage == RunFailure::Stage::MessageFolderMissing ||
                                        c.stage == RunFailure::Stage::MessageFolderNotFolder
                                    ? c.messages
                                    : c.cards;
        EXPECT_EQ(report.failure.path, named) << c.name;
        EXPECT_FALSE(fs::exists(Output())) << c.name;
    }
}

TEST_F(GenerationRunTest, EmptyFoldersAndNoContactsFolderGiveAnEmptyArchive) {
    EXPECT_TRUE(Run(false));
    EXPECT_TRUE(fs::exists(Output()));
    EXPECT_EQ(Archive(), "");
    EXPECT_TRUE(Run(true));
    EXPECT_TRUE(Archive().ends_with("</body>\t\t</html>\t\t"));
    EXPECT_EQ(Archive().find("<div"), std::string::npos);
    // No contacts folder at all: the messages are shown by number.
    WriteMessage(dir_ / "m/a.vmg", "5", "1.1.2009 0:0:0", "x");
    ArchiveRequest request = Request();
    request.contactsFolder.clear();
    ASSERT_TRUE(GenerateArchive(request, &report_));
    EXPECT_NE(Archive().find("5 <5>"), std::string::npos);
    EXPECT_EQ(report_.cards.found, 0u);
}

TEST_F(GenerationRunTest, SendersWithoutACardAreShownByNumber) {
    WriteMessage(dir_ / "m/a.vmg", "+8613912345678", "18.03.2009 10:15:30", "hi");
    ASSERT_TRUE(Run());
    EXPECT_NE(Archive().find("13912345678 <13912345678>     2009-03-18 10:15:30 : \r\nhi\r\n"),
              std::string::npos);
}

TEST_F(GenerationRunTest, TheOverviewExample) {
    WriteBytes(dir_ / "c/zhang.vcf",
               "BEGIN:VCARD\nVERSION:2.1\nFN:Zhang San\nTEL;CELL:+8613912345678\nEND:VCARD\n");
    WriteMessage(dir_ / "m/m.vmg", "013912345678", "18.03.2009 10:15:30", "Lunch?");
    ASSERT_TRUE(Run(false, SortOrder::ByDate));
    const std::string heading =
        "\r\n" + std::string(46, '>') + Gbk("2009年03月") + std::string(45, '<') + "\r\n";
    EXPECT_EQ(
        Printable(Archive()),
        Printable(heading + "Zhang San <13912345678>     2009-03-18 10:15:30 : \r\nLunch?\r\n"));
    ASSERT_TRUE(Run(false, SortOrder::BySender));
    EXPECT_TRUE(Archive().starts_with("\r\n" + std::string(46, '>') + Gbk("发信人：") +
                                      "Zhang San" + std::string(45, '<') + "\r\n"));
}

TEST_F(GenerationRunTest, LowerCaseExtensionsAreReadFirst) {
    // Both cards name the same number: the one read first keeps it.
    WriteBytes(dir_ / "c/b.VCF", "B\nFN:Upper\nTEL:5\n");
    WriteBytes(dir_ / "c/a.vcf", "B\nFN:Lower\nTEL:5\n");
    // Two messages with one key keep the reading order.
    WriteMessage(dir_ / "m/y.VMG", "5", "1.1.2009 0:0:0", "upper");
    WriteMessage(dir_ / "m/x.vmg", "5", "1.1.2009 0:0:0", "lower");
    ASSERT_TRUE(Run(false, SortOrder::ByDate));
    const std::string archive = Archive();
    EXPECT_EQ(archive.find("Upper"), std::string::npos);
    EXPECT_LT(archive.find("lower"), archive.find("upper"));
}

TEST_F(GenerationRunTest, EachFolderHasItsOwnRecurseFlag) {
    WriteBytes(dir_ / "c/sub/c.vcf", "B\nFN:Deep\nTEL:7\n");
    WriteMessage(dir_ / "m/sub/m.vmg", "7", "1.1.2009 0:0:0", "deep message");
    ASSERT_TRUE(Run(false, SortOrder::ByDate, false, true));
    EXPECT_EQ(Archive(), "");
    ASSERT_TRUE(Run(false, SortOrder::ByDate, true, false));
    EXPECT_NE(Archive().find("7 <7>"), std::string::npos);
    ASSERT_TRUE(Run(false, SortOrder::ByDate, true, true));
    EXPECT_NE(Archive().find("Deep <7>"), std::string::npos);
}

TEST_F(GenerationRunTest, BrokenFilesAreSkippedAndAFailedCardGivesNoEntry) {
    WriteMessage(dir_ / "m/good.vmg", "1", "1.1.2009 0:0:0", "kept");
    WriteBytes(dir_ / "m/empty.vmg", "");
    WriteBytes(dir_ / "m/crlf.vmg",
               test::Utf16Le("TEL:2\r\nBEGIN:VBODY\r\nDate:x\r\ny\r\nEND:VBODY\r\n"));
    // The card lists 1 before it fails on a cut line: 1 stays a bare number.
    WriteBytes(dir_ / "c/cut.vcf", "B\nFN:Cut\nTEL:1\nTEL:2");
    ASSERT_TRUE(Run(false, SortOrder::BySender));
    const std::string archive = Archive();
    EXPECT_NE(archive.find("1 <1>     2009-01-01 00:00:00 : \r\nkept\r\n"), std::string::npos);
    EXPECT_EQ(archive.find("Cut"), std::string::npos);
    EXPECT_EQ(archive.find("<2>"), std::string::npos);
    // The report names each file skipped, with the reason.
    EXPECT_TRUE(report_.ok);
    EXPECT_EQ(report_.messages.found, 3u);
    EXPECT_EQ(report_.messages.read, 1u);
    EXPECT_EQ(test::SkipsOf(report_.messages),
              (std::vector<test::Skip>{{"crlf.vmg", SkipReason::NoBody},
                                       {"empty.vmg", SkipReason::Empty}}));
    EXPECT_EQ(report_.cards.found, 1u);
    EXPECT_EQ(report_.cards.read, 0u);
    EXPECT_EQ(report_.contactEntries, 0u);
    EXPECT_EQ(test::SkipsOf(report_.cards),
              (std::vector<test::Skip>{{"cut.vcf", SkipReason::TelLineCut}}));
    EXPECT_EQ(report_.entriesWritten, 1u);
    EXPECT_EQ(report_.bytesWritten, archive.size());
}

TEST_F(GenerationRunTest, AnExistingArchiveIsReplaced) {
    WriteBytes(Output(), std::string(10000, 'z'));
    WriteMessage(dir_ / "m/a.vmg", "1", "1.1.2009 0:0:0", "x");
    ASSERT_TRUE(Run());
    EXPECT_EQ(Archive().find('z'), std::string::npos);
    EXPECT_LT(Archive().size(), 200u);
}

TEST_F(GenerationRunTest, InputsAreOnlyRead) {
    WriteMessage(dir_ / "m/a.vmg", "1", "1.1.2009 0:0:0", "x");
    WriteBytes(dir_ / "c/c.vcf", "B\nFN:a\nTEL:1\n");
    const std::string message = ReadBytes(dir_ / "m/a.vmg");
    const std::string card = ReadBytes(dir_ / "c/c.vcf");
    ASSERT_TRUE(Run(true));
    EXPECT_EQ(ReadBytes(dir_ / "m/a.vmg"), message);
    EXPECT_EQ(ReadBytes(dir_ / "c/c.vcf"), card);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::recursive_directory_iterator(dir_.Path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 5u);  // two folders, two inputs, the archive
}

// Every file below a folder, by its path below it.
std::vector<std::string> FilesBelow(const fs::path& root) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        files.push_back(entry.path().lexically_relative(root).generic_string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST_F(GenerationRunTest, ProgressCountsTheFilesReadThenTheWriting) {
    // More files than one group of those read at a time.
    for (int i = 0; i < 600; ++i) {
        WriteMessage(dir_ / ("m/" + std::to_string(i) + ".vmg"), "1", "1.1.2009 0:0:0", "x");
    }
    WriteBytes(dir_ / "c/a.vcf", "B\nFN:A\nTEL:1\n");
    for (const unsigned jobs : {1u, 3u}) {
        std::vector<RunProgress> seen;
        RunControl control;
        control.progress = [&](const RunProgress& progress) { seen.push_back(progress); };
        ArchiveRequest request = Request();
        request.jobs = jobs;
        ASSERT_TRUE(GenerateArchive(request, &report_, control)) << jobs;
        ASSERT_GE(seen.size(), 4u) << jobs;
        using Phase = RunProgress::Phase;
        EXPECT_EQ(seen.front().phase, Phase::Reading);
        EXPECT_EQ(seen.front().done, 0u);
        for (std::size_t i = 0; i + 1 < seen.size(); ++i) {
            EXPECT_EQ(seen[i].phase, Phase::Reading) << i;
            EXPECT_EQ(seen[i].total, 601u) << i;
            if (i > 0) {
                EXPECT_GT(seen[i].done, seen[i - 1].done) << i;
            }
        }
        EXPECT_EQ(seen[seen.size() - 2].done, 601u);
        EXPECT_EQ(seen.back().phase, Phase::Writing);
        EXPECT_EQ(seen.back().total, report_.entriesWritten);
    }
}

TEST_F(GenerationRunTest, AStoppedRunFailsAndLeavesTheOldArchiveWhole) {
    for (int i = 0; i < 300; ++i) {
        WriteMessage(dir_ / ("m/" + std::to_string(i) + ".vmg"), "1", "1.1.2009 0:0:0", "x");
    }
    WriteBytes(Output(), "the old archive");
    const std::vector<std::string> before = FilesBelow(dir_.Path());
    struct Case {
        const char* when;
        std::function<bool(const RunProgress&)> stopAt;
    };
    const Case cases[] = {
        {"once the files are listed", [](const RunProgress&) { return true; }},
        {"after the first files read", [](const RunProgress& p) { return p.done > 0; }},
        {"as the writing starts",
         [](const RunProgress& p) { return p.phase == RunProgress::Phase::Writing; }},
    };
    for (const Case& c : cases) {
        // An archive folder's stop leaves no folder, finished or not, as a file's leaves no file.
        for (const auto& [jobs, split] : {std::pair{1u, false}, {3u, false}, {1u, true}}) {
            std::atomic<bool> cancel{false};
            RunControl control;
            control.cancel = &cancel;
            control.progress = [&](const RunProgress& progress) {
                if (c.stopAt(progress)) {
                    cancel = true;
                }
            };
            ArchiveRequest request = Request();
            request.jobs = jobs;
            request.report = dir_ / "report.json";
            request.split = split;
            if (split) {
                request.output = dir_ / "archive folder";
            }
            EXPECT_FALSE(GenerateArchive(request, &report_, control)) << c.when << ", " << jobs;
            EXPECT_EQ(report_.failure.stage, RunFailure::Stage::Cancelled) << c.when;
            EXPECT_EQ(ReadBytes(Output()), "the old archive") << c.when;
            // The report says so; nothing else is left beside the archive.
            EXPECT_NE(ReadBytes(request.report).find("\"stage\": \"cancelled\""), std::string::npos)
                << ReadBytes(request.report);
            fs::remove(request.report);
            EXPECT_EQ(FilesBelow(dir_.Path()), before) << c.when << ", " << jobs;
        }
    }
    EXPECT_EQ(DescribeFailure(report_.failure), "生成已停止，输出文件保持原样");
}

TEST_F(GenerationRunTest, AClassicRunCountsWhatLooksLikeTodaysExports) {
    const std::string vmsg = test::MessageText("1", "2009/01/01 00:00:00", "x");
    struct Case {
        const char* name;
        std::string bytes;
        std::size_t classic;  // none of them counts in a modern run
    };
    const Case cases[] = {
        {"m/one.vmg", test::Utf16Le(vmsg), 0},
        {"m/cut.vmg", test::Utf16Le(vmsg.substr(0, 60)), 0},
        {"m/utf8.vmg", vmsg, 1},
        {"m/two.vmg", test::Utf16Le(vmsg + vmsg), 1},
        {"c/two.vcf", "BEGIN:VCARD\nFN:A\nTEL:1\nEND:VCARD\nBEGIN:VCARD\nFN:B\nEND:VCARD\n", 1},
        // By name alone, unread; backup folders even where the run does not recurse.
        {"m/export.VMSG", "", 1},
        {"m/sms-20231115.xml", "", 1},
        {"m/sms.db", "", 1},
        {"m/chat.db", "", 1},
        {"m/00008030-001A/Manifest.db", "", 1},
        {"m/deeper/export.vmsg", "", 0},
    };
    for (const Case& c : cases) {
        fs::remove_all(Messages());
        fs::remove_all(Cards());
        fs::create_directories(Messages());
        fs::create_directories(Cards());
        fs::create_directories((dir_ / c.name).parent_path());
        WriteBytes(dir_ / c.name, c.bytes);
        ArchiveRequest request = Request();
        ASSERT_TRUE(GenerateArchive(request, &report_)) << c.name;
        EXPECT_EQ(report_.modernExports, c.classic) << c.name;
        request.input = InputFormat::Modern;
        ASSERT_TRUE(GenerateArchive(request, &report_)) << c.name;
        EXPECT_EQ(report_.modernExports, 0u) << c.name;
    }
    // With -r the sub-folders' names count too.
    ArchiveRequest request = Request();
    request.recurseMessages = true;
    ASSERT_TRUE(GenerateArchive(request, &report_));
    EXPECT_EQ(report_.modernExports, 1u);
}

#ifndef _WIN32
// A pipe that holds more than a head is read whole at once; it still is no message file, by its
// own name or through a link.
TEST_F(GenerationRunTest, AFifoWithAWriterIsNotRead) {
    WriteMessage(dir_ / "m/a.vmg", "1", "1.1.2009 0:0:0", "x");
    const std::string message =
        test::Utf16Le(test::MessageText("2", "2.1.2009 0:0:0", "piped " + std::string(3000, 'p')));
    const std::string card = "B\nFN:Piped\nTEL:1\nNOTE:" + std::string(5000, 'n') + "\n";
    ASSERT_GT(message.size(), 4096u);
    struct Pipe {
        const char* name;
        const std::string& bytes;
    };
    std::vector<int> writers;
    for (const Pipe& pipe : {Pipe{"m/pipe.vmg", message}, Pipe{"pipe-for-link", message},
                             Pipe{"c/pipe.vcf", card}, Pipe{"pipe-for-card-link", card}}) {
        ASSERT_EQ(::mkfifo(Path(pipe.name).c_str(), 0600), 0);
        // Linux lets one descriptor be the pipe's writer and keep it open without a reader.
        const int fd = ::open(Path(pipe.name).c_str(), O_RDWR | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        writers.push_back(fd);
        ASSERT_EQ(::write(fd, pipe.bytes.data(), pipe.bytes.size()),
                  static_cast<ssize_t>(pipe.bytes.size()));
    }
    fs::create_symlink(dir_ / "pipe-for-link", dir_ / "m/link.vmg");
    fs::create_symlink(dir_ / "pipe-for-card-link", dir_ / "c/link.vcf");
    const bool ran = Run(false, SortOrder::ByDate);
    for (const int fd : writers) {
        ::close(fd);
    }
    ASSERT_TRUE(ran);
    EXPECT_NE(Archive().find("1 <1>"), std::string::npos);
    EXPECT_EQ(Archive().find("piped"), std::string::npos);
    EXPECT_EQ(Archive().find("Piped"), std::string::npos);
    using Skips = std::vector<test::Skip>;
    EXPECT_EQ(test::SkipsOf(report_.messages), (Skips{{"link.vmg", SkipReason::NotRegularFile},
                                                      {"pipe.vmg", SkipReason::NotRegularFile}}));
    EXPECT_EQ(test::SkipsOf(report_.cards), (Skips{{"link.vcf", SkipReason::NotRegularFile},
                                                   {"pipe.vcf", SkipReason::NotRegularFile}}));
}

TEST_F(GenerationRunTest, AFifoNamedLikeAMessageDoesNotBlockTheRun) {
    ASSERT_EQ(::mkfifo(Path("m/pipe.vmg").c_str(), 0600), 0);
    WriteMessage(dir_ / "m/a.vmg", "1", "1.1.2009 0:0:0", "x");
    ASSERT_TRUE(Run());
    EXPECT_NE(Archive().find("1 <1>"), std::string::npos);
}

#endif

}  // namespace
}  // namespace quillbox
