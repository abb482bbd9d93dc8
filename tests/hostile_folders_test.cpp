// SPDX-License-Identifier: MIT
// Runs over folders as they come from old phones and careless copies: links, pipes, odd names,
// unreadable entries, deep trees and many files. The run finishes, reads what can be read, and
// leaves the folders exactly as it found them.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <map>

#include "quillbox/archive.h"
#include "run_fixture.h"
#include "test_files.h"

namespace quillbox {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
using test::WriteMessage;

#ifndef _WIN32
// Every entry below root with its kind and, for regular files, its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> entries;
    std::error_code error;
    for (auto it =
             fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
        const auto status = it->symlink_status();
        std::string what;
        if (fs::is_symlink(status)) {
            what = "link:" + fs::read_symlink(it->path()).string();
            it.disable_recursion_pending();
        } else if (fs::is_regular_file(status)) {
            what = (status.permissions() & fs::perms::owner_read) != fs::perms::none
                       ? "file:" + ReadBytes(it->path())
                       : "unreadable";
        } else {
            what = fs::is_directory(status) ? "folder" : "other";
        }
        entries[it->path().lexically_relative(root).string()] = what;
    }
    return entries;
}

TEST(HostileFolders, EverythingReadableIsArchivedAndNothingIsTouched) {
    TempDir dir;
    const fs::path in = dir / "in";
    WriteMessage(in / "plain.vmg", "+861", "01.01.2009 00:00:00", "plain");
    WriteMessage(in / "信息" / "短信.vmg", "2", "02.01.2009 00:00:00", "chinese name");
    // A name that is no UTF-8 is read like any other.
    WriteMessage(in / ("bad-\xFF-name.vmg"), "3", "03.01.2009 00:00:00", "odd name");
    WriteMessage(in / "locked.vmg", "4", "04.01.2009 00:00:00", "locked");
    fs::permissions(in / "locked.vmg", fs::perms::none);
    WriteBytes(in / "card.vcf", "B\nFN:Card\nTEL:1\n");
    ASSERT_EQ(::mkfifo((in / "pipe.vmg").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((in / "pipe.vcf").c_str(), 0600), 0);
    fs::create_directory_symlink(in, in / "信息" / "back-to-top");
    fs::create_symlink(in / "gone.vmg", in / "dangling.vmg");
    fs::create_symlink(in / "loop.vmg", in / "loop.vmg");
    fs::path deep = in / "deep";
    for (int i = 0; i < 60; ++i) {
        deep /= "level";
    }
    WriteMessage(deep / "deep.vmg", "5", "05.01.2009 00:00:00", "deep");

    const auto before = Snapshot(in);
    ASSERT_GE(before.size(), 70u);  // the deep tree, the files, the links
    for (const bool html : {false, true}) {
        for (const auto order : {SortOrder::BySender, SortOrder::ByDate}) {
            ArchiveRequest request;
            request.messageFolder = in;
            request.recurseMessages = true;
            request.contactsFolder = in;
            request.recurseContacts = true;
            request.output = dir / "out";
            request.form = html ? ArchiveForm::ClassicHtml : ArchiveForm::Text;
            request.order = order;
            RunReport report;
            ASSERT_TRUE(GenerateArchive(request, &report));
            const std::string archive = ReadBytes(request.output);
            EXPECT_NE(archive.find("Card"), std::string::npos);
            EXPECT_NE(archive.find("plain"), std::string::npos);
            EXPECT_NE(archive.find("chinese name"), std::string::npos);
            EXPECT_NE(archive.find("deep"), std::string::npos);
            EXPECT_NE(archive.find("odd name"), std::string::npos);
            const bool root = ::geteuid() == 0;
            EXPECT_EQ(archive.find("locked") != std::string::npos, root);
            // Skipped, each once: the pipes, the broken links and, unless root runs, the
            // locked file. The folder seen again through back-to-top gives nothing twice.
            std::map<std::string, SkipReason> skipped;
            for (const auto* files : {&report.messages, &report.cards}) {
                for (const test::Skip& skip : test::SkipsOf(*files, in)) {
                    EXPECT_TRUE(skipped.emplace(skip.name, skip.reason).second) << skip.name;
                }
            }
            std::map<std::string, SkipReason> expected = {
                {"pipe.vmg", SkipReason::NotRegularFile},
                {"pipe.vcf", SkipReason::NotRegularFile},
                {"dangling.vmg", SkipReason::CannotOpen},
                {"loop.vmg", SkipReason::CannotOpen},
            };
            if (!root) {
                expected.emplace("locked.vmg", SkipReason::CannotOpen);
            }
            EXPECT_EQ(skipped, expected);
            EXPECT_EQ(report.messages.read, root ? 5u : 4u);
            EXPECT_EQ(report.cards.read, 1u);
        }
    }
    EXPECT_EQ(Snapshot(in), before);
}

#endif

// More files than a chunk holds, with fewer descriptors than files: a descriptor kept open per
// file would run out half-way.
TEST(HostileFolders, EveryMessageOfManyChunksIsArchived) {
    TempDir dir;
    const std::string message =
        test::Utf16Le(test::MessageText("13912345678", "18.03.2009 10:15:30", "many chunks"));
    constexpr int kFiles = 700;
    for (int i = 0; i < kFiles; ++i) {
        WriteBytes(dir / "in" / std::to_string(i % 7) / (std::to_string(i) + ".vmg"), message);
    }
    ArchiveRequest request;
    request.messageFolder = dir / "in";
    request.recurseMessages = true;
    request.output = dir / "out.txt";
    RunReport report;
#ifndef _WIN32
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
#endif
    const bool written = GenerateArchive(request, &report);
#ifndef _WIN32
    ::setrlimit(RLIMIT_NOFILE, &saved);
#endif
    ASSERT_TRUE(written) << DescribeFailure(report.failure);
    EXPECT_EQ(report.messages.found, static_cast<std::size_t>(kFiles));
    EXPECT_EQ(report.messages.read, static_cast<std::size_t>(kFiles));
    EXPECT_TRUE(report.messages.skipped.empty());
    const std::string archive = ReadBytes(request.output);
    std::size_t entries = 0;
    for (auto at = archive.find("many chunks"); at != std::string::npos;
         at = archive.find("many chunks", at + 1)) {
        ++entries;
    }
    EXPECT_EQ(entries, static_cast<std::size_t>(kFiles));
}

}  // namespace
}  // namespace quillbox
