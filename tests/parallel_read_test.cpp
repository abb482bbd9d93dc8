// SPDX-License-Identifier: MIT
// The files are read on worker threads and taken in list order: the archive and the report are
// the same for one thread, two and seven, ties and broken files included.

#include <gtest/gtest.h>

#include <set>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <string>

#include "quillbox/archive.h"
#include "test_files.h"

namespace quillbox {
namespace {

namespace fs = std::filesystem;
using test::Printable;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
using test::WriteMessage;

struct Result {
    std::string archive;
    std::string report;
};

Result RunWith(const TempDir& dir, unsigned jobs, SortOrder order, bool html, bool modern) {
    ArchiveRequest request;
    request.messageFolder = dir / "m";
    request.contactsFolder = dir / "c";
    request.recurseMessages = request.recurseContacts = true;
    request.output = dir / ("out-" + std::to_string(jobs));
    request.order = order;
    request.form = html ? ArchiveForm::ClassicHtml : ArchiveForm::Text;
    request.input = modern ? InputFormat::Modern : InputFormat::Classic;
    request.jobs = jobs;
    RunReport report;
    EXPECT_TRUE(GenerateArchive(request, &report)) << DescribeFailure(report.failure);
    report.archivePath.clear();
    return {ReadBytes(request.output), ReportAsJson(report)};
}

// Many messages sharing one date, many numbers named by several cards, and a few files of every
// broken kind, spread over more files than one chunk holds.
class ParallelRead : public ::testing::Test {
protected:
    ParallelRead() {
        for (int i = 0; i < 1500; ++i) {
            const std::string number = "1390000" + std::to_string(i % 37);
            const std::string date = i % 3 == 0 ? "18.03.2009 10:15:30"
                                                : "0" + std::to_string(1 + i % 9) + ".04.2009 0" +
                                                      std::to_string(i % 7) + ":00:00";
            WriteMessage(
                dir_ / "m" / ("sub" + std::to_string(i % 5)) / (std::to_string(i) + ".vmg"), number,
                date, "message " + std::to_string(i));
        }
        for (int i = 0; i < 300; ++i) {
            WriteBytes(dir_ / "c" / (std::to_string(i) + (i % 4 == 0 ? ".VCF" : ".vcf")),
                       "BEGIN:VCARD\nFN:name " + std::to_string(i) + "\nTEL:1390000" +
                           std::to_string(i % 37) + "\nEND:VCARD\n");
        }
        WriteBytes(dir_ / "m" / "sub1" / "empty.vmg", "");
        WriteBytes(dir_ / "m" / "sub2" / "odd.vmg", "x");
        WriteBytes(dir_ / "m" / "sub3" / "nothing.vmg", test::Utf16Le("no markers at all\n"));
        WriteBytes(dir_ / "c" / "cut.vcf", "BEGIN:VCARD\nFN:cut\nTEL");
#ifndef _WIN32
        ::mkfifo((dir_ / "m" / "sub4" / "pipe.vmg").c_str(), 0600);
        fs::create_symlink(dir_ / "m" / "sub0" / "5.vmg", dir_ / "m" / "sub4" / "again.vmg");
#endif
    }

    TempDir dir_;
};

TEST_F(ParallelRead, TheArchiveAndTheReportDoNotDependOnTheThreads) {
    for (const bool modern : {false, true}) {
        for (const auto order : {SortOrder::BySender, SortOrder::ByDate}) {
            for (const bool html : {false, true}) {
                const Result one = RunWith(dir_, 1, order, html, modern);
                ASSERT_FALSE(one.archive.empty());
                for (const unsigned jobs : {2u, 7u}) {
                    const Result many = RunWith(dir_, jobs, order, html, modern);
                    EXPECT_EQ(many.archive, one.archive)
                        << jobs << " threads, modern " << modern << ", html " << html;
                    EXPECT_EQ(many.report, one.report) << jobs << " threads";
                }
            }
        }
    }
    // The broken files are in the report, whichever thread read them.
    const Result one = RunWith(dir_, 7, SortOrder::ByDate, false, false);
    for (const char* reason :
         {"\"empty\"", "\"not-utf16-text\"", "\"no-tel-line\"", "\"tel-line-cut\""}) {
        EXPECT_NE(one.report.find(reason), std::string::npos) << reason << Printable(one.report);
    }
#ifndef _WIN32
    EXPECT_NE(one.report.find("\"not-regular-file\""), std::string::npos);
    EXPECT_NE(one.report.find("\"same-file\""), std::string::npos);
#endif
}

// Each of many files that give nothing is named once, whichever chunk and thread read it.
TEST(ParallelReadSkips, EveryEmptyFileIsReportedUnderItsOwnName) {
    TempDir dir;
    for (int i = 0; i < 600; ++i) {
        WriteBytes(dir / "m" / (std::to_string(i) + ".vmg"), "");
    }
    WriteMessage(dir / "m" / "real.vmg", "1", "18.03.2009 10:15:30", "hi");
    ArchiveRequest request;
    request.messageFolder = dir / "m";
    request.output = dir / "out.txt";
    request.jobs = 3;
    RunReport report;
    ASSERT_TRUE(GenerateArchive(request, &report));
    std::set<fs::path> paths;
    for (const SkippedFile& skipped : report.messages.skipped) {
        EXPECT_EQ(skipped.reason, SkipReason::Empty);
        paths.insert(skipped.path);
    }
    EXPECT_EQ(report.messages.skipped.size(), 600u);
    EXPECT_EQ(paths.size(), 600u);
    EXPECT_EQ(report.messages.read, 1u);
}

}  // namespace
}  // namespace quillbox
