// SPDX-License-Identifier: MIT
// The old archive and the inputs survive whatever the user types and whatever the machine does:
// the archive is replaced only by a whole new one, an input is never an output, a wrong folder
// stops the run before anything is written, and links and odd names neither hide files nor
// make them count twice.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "quillbox/archive.h"
#include "run_fixture.h"
#include "test_files.h"

namespace quillbox {
namespace {

namespace fs = std::filesystem;
using Stage = RunFailure::Stage;
using test::Gbk;
using test::Printable;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
using test::WriteMessage;

constexpr std::string_view kOldArchive = "last year's archive\r\n";

class DataSafety : public test::RunFixture {
protected:
    DataSafety() {
        WriteMessage(Messages() / "001.vmg", "13900000001", "18.03.2009 10:15:30", "first");
        WriteMessage(Messages() / "002.vmg", "13900000002", "19.03.2009 10:15:30", "second");
        WriteBytes(Cards() / "a.vcf", "BEGIN:VCARD\nFN:Zhang\nTEL:13900000001\nEND:VCARD\n");
        WriteBytes(dir_ / "old.txt", kOldArchive);
    }

    ArchiveRequest Request(const fs::path& output) const {
        ArchiveRequest request = RunFixture::Request();
        request.output = output;
        return request;
    }

    RunReport Run(const ArchiveRequest& request, bool expectWritten) {
        EXPECT_EQ(RunFixture::Run(request), expectWritten) << DescribeFailure(report_.failure);
        EXPECT_EQ(report_.ok, expectWritten);
        return report_;
    }

    // The folder's names, temporary files included.
    std::vector<std::string> Names(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(DataSafety, AWholeNewArchiveReplacesTheOldOneAndKeepsItsMode) {
    const std::string first = [&] {
        Run(Request(dir_ / "new.txt"), true);
        return ReadBytes(dir_ / "new.txt");
    }();
    ASSERT_FALSE(first.empty());
#ifndef _WIN32
    fs::permissions(dir_ / "old.txt",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
    const RunReport report = Run(Request(dir_ / "old.txt"), true);
    EXPECT_EQ(Printable(ReadBytes(dir_ / "old.txt")), Printable(first));
    EXPECT_EQ(report.bytesWritten, first.size());
    EXPECT_EQ(report.entriesWritten, 2u);
#ifndef _WIN32
    EXPECT_EQ(fs::status(dir_ / "old.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
    // No temporary file stays behind.
    EXPECT_EQ(Names(dir_.Path()), (std::vector<std::string>{"c", "m", "new.txt", "old.txt"}));
}

TEST_F(DataSafety, WrongFoldersStopTheRunBeforeAnythingIsWritten) {
    WriteBytes(dir_ / "file.txt", "not a folder");
    struct Case {
        const char* name;
        fs::path messages;
        fs::path contacts;
        Stage stage;
    };
    const Case cases[] = {
        {"missing message folder", dir_ / "nope", Cards(), Stage::MessageFolderMissing},
        {"message folder is a file", dir_ / "file.txt", {}, Stage::MessageFolderNotFolder},
        {"empty message folder path", {}, {}, Stage::MessageFolderMissing},
        {"missing contact folder", Messages(), dir_ / "nope", Stage::ContactsFolderMissing},
        {"contact folder is a file", Messages(), dir_ / "file.txt", Stage::ContactsFolderNotFolder},
#ifndef _WIN32
        // Windows says only that such a path is not found.
        {"below a file", dir_ / "file.txt" / "x", {}, Stage::MessageFolderNotFolder},
#endif
    };
    for (const Case& c : cases) {
        ArchiveRequest request = Request(dir_ / "old.txt");
        request.messageFolder = c.messages;
        request.contactsFolder = c.contacts;
        const RunReport report = Run(request, false);
        EXPECT_EQ(report.failure.stage, c.stage) << c.name;
        EXPECT_NE(DescribeFailure(report.failure)
                      .find(DisplayPath(c.messages.empty() ? c.contacts : report.failure.path)),
                  std::string::npos)
            << c.name;
        EXPECT_EQ(ReadBytes(dir_ / "old.txt"), kOldArchive) << c.name;
    }
    // No cards is no error, and a folder without messages is an empty archive.
    ArchiveRequest noCards = Request(dir_ / "old.txt");
    noCards.contactsFolder.clear();
    Run(noCards, true);
    fs::create_directory(dir_ / "empty");
    ArchiveRequest empty = Request(dir_ / "old.txt");
    empty.messageFolder = dir_ / "empty";
    Run(empty, true);
    EXPECT_EQ(ReadBytes(dir_ / "old.txt"), "");
}

#ifndef _WIN32
TEST_F(DataSafety, AnOutputThatIsAnInputIsRefusedUnderAnyName) {
    const fs::path input = Messages() / "001.vmg";
    const std::string before = ReadBytes(input);
    fs::create_symlink(input, dir_ / "link.txt");
    fs::create_hard_link(input, dir_ / "hard.txt");
    fs::create_symlink(Cards() / "a.vcf", dir_ / "card-link.txt");
    for (const fs::path& output : {input, dir_ / "link.txt", dir_ / "hard.txt",
                                   Messages() / "." / "001.vmg", dir_ / "card-link.txt"}) {
        const RunReport report = Run(Request(output), false);
        EXPECT_EQ(report.failure.stage, Stage::OutputIsInput) << output;
        EXPECT_EQ(ReadBytes(input), before) << output;
        EXPECT_TRUE(fs::is_symlink(dir_ / "link.txt"));
    }
    EXPECT_EQ(ReadBytes(Cards() / "a.vcf"), "BEGIN:VCARD\nFN:Zhang\nTEL:13900000001\nEND:VCARD\n");
    // A report that would overwrite an input is refused the same way.
    ArchiveRequest request = Request(dir_ / "new.txt");
    request.report = dir_ / "hard.txt";
    EXPECT_EQ(Run(request, false).failure.stage, Stage::OutputIsInput);
    EXPECT_EQ(ReadBytes(input), before);
    EXPECT_FALSE(fs::exists(dir_ / "new.txt"));
}

// The temporary file is made only where no file is: one already at its name is left as it was,
// and the next name is taken.
TEST_F(DataSafety, AFileAtTheTemporaryNameIsNeverTouched) {
    WriteBytes(dir_ / "fixed-0.tmp", "someone else's");
    platform::ArchiveFile file;
    file.SetTemporaryNames([](const platform::NativeString&, unsigned attempt) {
        const std::string name = "fixed-" + std::to_string(attempt) + ".tmp";
        return platform::NativeString(name.begin(), name.end());
    });
    ASSERT_TRUE(file.Open(dir_ / "out.txt"));
    EXPECT_TRUE(fs::exists(dir_ / "fixed-1.tmp"));
    ASSERT_TRUE(file.Write("new archive") && file.Finish() && file.Replace());
    EXPECT_EQ(ReadBytes(dir_ / "fixed-0.tmp"), "someone else's");
    EXPECT_EQ(ReadBytes(dir_ / "out.txt"), "new archive");
    EXPECT_FALSE(fs::exists(dir_ / "fixed-1.tmp"));
}

// The report and the archive are made whole before either is put in place.
TEST_F(DataSafety, AReportThatCannotBeWrittenLeavesTheOldArchive) {
    fs::create_directories(dir_ / "report-is-a-folder");
    ArchiveRequest request = Request(dir_ / "old.txt");
    request.report = dir_ / "report-is-a-folder";
    const RunReport report = Run(request, false);
    EXPECT_EQ(report.failure.stage, RunFailure::Stage::WriteReport);
    EXPECT_EQ(ReadBytes(dir_ / "old.txt"), kOldArchive);
    EXPECT_EQ(Names(dir_.Path()),
              (std::vector<std::string>{"c", "m", "old.txt", "report-is-a-folder"}));
}

TEST_F(DataSafety, ALinkedOutputReplacesItsTargetAndTheLinkStays) {
    fs::create_directory(dir_ / "elsewhere");
    WriteBytes(dir_ / "elsewhere" / "archive.txt", kOldArchive);
    fs::create_symlink(fs::path("elsewhere") / "archive.txt", dir_ / "link.txt");
    fs::create_symlink(dir_ / "link.txt", dir_ / "link2.txt");
    Run(Request(dir_ / "link2.txt"), true);
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.txt"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "link2.txt"));
    EXPECT_NE(ReadBytes(dir_ / "elsewhere" / "archive.txt"), kOldArchive);
    EXPECT_EQ(Names(dir_ / "elsewhere"), std::vector<std::string>{"archive.txt"});
    // A dangling link is made good where it points.
    fs::create_symlink(fs::path("elsewhere") / "new.txt", dir_ / "dangling.txt");
    Run(Request(dir_ / "dangling.txt"), true);
    EXPECT_TRUE(fs::is_regular_file(dir_ / "elsewhere" / "new.txt"));
    // A loop of links is an error, not a hang.
    fs::create_symlink(dir_ / "loop-b", dir_ / "loop-a");
    fs::create_symlink(dir_ / "loop-a", dir_ / "loop-b");
    EXPECT_EQ(Run(Request(dir_ / "loop-a"), false).failure.stage, Stage::OpenOutput);
}

// The temporary file of a run that dies before its rename: the old archive is whole, and the
// file left over says whose it is.
TEST_F(DataSafety, AKillBetweenWriteAndRenameLeavesTheOldArchiveWhole) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::ArchiveFile file;
        if (file.Open(dir_ / "old.txt") && file.Write("half of a new archive")) {
            ::kill(::getpid(), SIGKILL);
        }
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadBytes(dir_ / "old.txt"), kOldArchive);
    const auto names = Names(dir_.Path());
    const std::string leftover = ".old.txt.quillbox-" + std::to_string(child) + "-";
    EXPECT_TRUE(std::any_of(names.begin(), names.end(), [&](const std::string& name) {
        return name.starts_with(leftover);
    })) << ::testing::PrintToString(names);
}

TEST_F(DataSafety, AFileSizeLimitIsAnErrorAndTheOldArchiveStays) {
    for (int i = 0; i < 200; ++i) {
        WriteMessage(Messages() / ("m" + std::to_string(i) + ".vmg"), std::to_string(i),
                     "01.01.2010 00:00:" + std::to_string(i % 60),
                     std::string(500, static_cast<char>('a' + i % 26)));
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        RunReport report;
        const bool written = GenerateArchive(Request(dir_ / "old.txt"), &report);
        ::_exit(!written && report.failure.stage == Stage::WriteOutput &&
                        report.failure.systemError == EFBIG
                    ? 0
                    : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadBytes(dir_ / "old.txt"), kOldArchive);
    EXPECT_EQ(Names(dir_.Path()), (std::vector<std::string>{"c", "m", "old.txt"}));
}

TEST_F(DataSafety, ADirectWriteThatFailsIsReported) {
    const RunReport report = Run(Request("/dev/full"), false);
    EXPECT_EQ(report.failure.stage, Stage::WriteOutput);
    EXPECT_EQ(report.failure.systemError, ENOSPC);
    // A device is written in place, never replaced.
    Run(Request("/dev/null"), true);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST_F(DataSafety, AProtectedArchiveOrFolderIsRefusedWhenTheUserMayNotWrite) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root may write everything; the command-line test checks this as nobody";
    }
    fs::permissions(dir_ / "old.txt", fs::perms::owner_read);
    EXPECT_EQ(Run(Request(dir_ / "old.txt"), false).failure.stage, Stage::OutputProtected);
    EXPECT_EQ(ReadBytes(dir_ / "old.txt"), kOldArchive);
    fs::create_directory(dir_ / "locked");
    WriteBytes(dir_ / "locked" / "a.txt", kOldArchive);
    fs::permissions(dir_ / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    const RunReport report = Run(Request(dir_ / "locked" / "a.txt"), false);
    EXPECT_EQ(report.failure.stage, Stage::NoTemporaryFile);
    EXPECT_EQ(report.failure.path, dir_ / "locked");
    EXPECT_EQ(ReadBytes(dir_ / "locked" / "a.txt"), kOldArchive);
}

// Sixteen levels of two links each reach the bottom folder 65,536 ways; it is read once.
TEST_F(DataSafety, EachFolderAndEachFileIsReadOnceWhateverTheLinks) {
    const fs::path root = dir_ / "fan";
    fs::path level = root;
    for (int i = 0; i < 16; ++i) {
        fs::create_directories(level / "next");
        fs::create_directory_symlink("next", level / "a");
        fs::create_directory_symlink("next", level / "b");
        level /= "next";
    }
    WriteMessage(level / "deep.vmg", "1", "01.01.2009 00:00:00", "deep");
    fs::create_directory_symlink(root, level / "back-to-top");
    fs::create_symlink(level / "deep.vmg", root / "again.vmg");
    fs::create_hard_link(level / "deep.vmg", root / "hard.vmg");
    ArchiveRequest request = Request(dir_ / "out.txt");
    request.messageFolder = root;
    request.recurseMessages = true;
    // The same folder may serve as both: each role reads it once.
    request.contactsFolder = root;
    request.recurseContacts = true;
    const RunReport report = Run(request, true);
    EXPECT_EQ(report.messages.read, 1u);
    EXPECT_EQ(report.entriesWritten, 1u);
    EXPECT_EQ(report.messages.found, 3u);
    ASSERT_EQ(report.messages.skipped.size(), 2u);
    for (const SkippedFile& skipped : report.messages.skipped) {
        EXPECT_EQ(skipped.reason, SkipReason::SameFile) << skipped.path;
    }
}

TEST_F(DataSafety, FilesAreReadUnderTheirRealNames) {
    const fs::path folder = dir_ / "names";
    WriteMessage(dir_ / "names" / "e\U0001F600.vmg", "1", "01.01.2009 00:00:00", "emoji name");
    WriteMessage(dir_ / "names" / "e??.vmg", "2", "02.01.2009 00:00:00", "question marks");
    WriteMessage(folder / "bad-\xFF.vmg", "3", "03.01.2009 00:00:00", "not utf-8");
    ArchiveRequest request = Request(dir_ / "out.txt");
    request.messageFolder = folder;
    const RunReport report = Run(request, true);
    EXPECT_EQ(report.messages.read, 3u);
    const std::string archive = ReadBytes(dir_ / "out.txt");
    for (const char* body : {"emoji name", "question marks", "not utf-8"}) {
        EXPECT_EQ(std::count(archive.begin(), archive.end(), body[0]) > 0 &&
                      archive.find(body) != std::string::npos,
                  true)
            << body;
        EXPECT_EQ(archive.find(body), archive.rfind(body)) << body;
    }
    // Folders and outputs outside code page 936 just work.
    ArchiveRequest wide = Request(dir_ / "存档\U0001F600.txt");
    wide.messageFolder = folder;
    Run(wide, true);
    EXPECT_EQ(ReadBytes(dir_ / "存档\U0001F600.txt"), archive);
}

TEST_F(DataSafety, ACardNameIsOneLine) {
    WriteBytes(Cards() / "a.vcf",
               "BEGIN:VCARD\nN;ENCODING=QUOTED-PRINTABLE:Zhang=0D=0A>>>>forged<<<<=0D=0A\n"
               "TEL:13900000001\nEND:VCARD\n");
    Run(Request(dir_ / "out.txt"), true);
    const std::string archive = ReadBytes(dir_ / "out.txt");
    EXPECT_NE(archive.find(">>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>" + Gbk("发信人：") +
                           "Zhang  >>>>forged<<<<  <<<<<"),
              std::string::npos)
        << Printable(archive);
    EXPECT_EQ(archive.find("\r\n>>>>forged"), std::string::npos);
}
#endif

// Two runs at once on one output: the archive is whole, from one run or the other.
TEST_F(DataSafety, TwoRunsAtOnceLeaveOneWholeArchive) {
    ArchiveRequest bySender = Request(dir_ / "a.txt");
    ArchiveRequest byDate = Request(dir_ / "b.txt");
    byDate.order = SortOrder::ByDate;
    Run(bySender, true);
    Run(byDate, true);
    const std::string sender = ReadBytes(dir_ / "a.txt");
    const std::string date = ReadBytes(dir_ / "b.txt");
    ASSERT_NE(sender, date);
    bySender.output = byDate.output = dir_ / "shared.txt";
    for (int round = 0; round < 20; ++round) {
        std::atomic<int> written = 0;
        std::thread first([&] { written += GenerateArchive(bySender) ? 1 : 0; });
        std::thread second([&] { written += GenerateArchive(byDate) ? 1 : 0; });
        first.join();
        second.join();
        EXPECT_EQ(written, 2);
        const std::string result = ReadBytes(dir_ / "shared.txt");
        EXPECT_TRUE(result == sender || result == date) << round;
    }
    EXPECT_EQ(Names(dir_.Path()).size(), 6u);
}

}  // namespace
}  // namespace quillbox
