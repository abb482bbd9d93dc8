// SPDX-License-Identifier: MIT
// Every way a file (or, with --modern, a block of one) can give nothing, each in a folder of its
// own, as the run's report tells it: the file found, nothing read, the reason named.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "quillbox/archive.h"
#include "quillbox/text.h"
#include "run_fixture.h"
#include "test_files.h"

namespace quillbox {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::Utf16Le;
using test::WriteBytes;

struct Case {
    const char* name;
    bool card;
    bool modern;
    const char* file;
    std::string bytes;
    SkipReason reason;
    std::optional<std::size_t> index;  // the block, for a block skipped in a file read whole
};

std::string Vmsg(std::string_view box, std::string_view date) {
    return "BEGIN:VMSG\nX-IRMC-BOX:" + std::string(box) +
           "\nBEGIN:VCARD\nTEL:1\nEND:VCARD\nBEGIN:VENV\nBEGIN:VBODY\nDate:" + std::string(date) +
           "\nhi\nEND:VBODY\nEND:VENV\nEND:VMSG\n";
}

TEST(SkipReasons, EachIsReportedForTheFileThatHasIt) {
    const std::string head = "BEGIN:VMSG\nBEGIN:VCARD\nTEL:1\nEND:VCARD\nBEGIN:VENV\n";
    const std::string sms = "<smses><sms address=\"1\" date=\"1700000000000\" body=\"hi\"/>";
    const Case cases[] = {
        {"empty message", false, false, "a.vmg", "", SkipReason::Empty, {}},
        {"one byte", false, false, "a.vmg", "x", SkipReason::NotUtf16Text, {}},
        {"no TEL:",
         false,
         false,
         "a.vmg",
         Utf16Le("BEGIN:VMSG\nEND:VMSG\n"),
         SkipReason::NoTelLine,
         {}},
        {"number not ended", false, false, "a.vmg", Utf16Le("TEL:139"), SkipReason::NoLineEnd, {}},
        {"no body", false, false, "a.vmg", Utf16Le(head + "END:VENV\n"), SkipReason::NoBody, {}},
        {"no date",
         false,
         false,
         "a.vmg",
         Utf16Le(head + "BEGIN:VBODY\nhi\nEND:VBODY\n"),
         SkipReason::NoDate,
         {}},
        {"no body end",
         false,
         false,
         "a.vmg",
         Utf16Le(head + "BEGIN:VBODY\nDate:18.03.2009 10:15:30\nhi\n"),
         SkipReason::NoBodyEnd,
         {}},
        {"empty card", true, false, "a.vcf", "", SkipReason::Empty, {}},
        {"card without name",
         true,
         false,
         "a.vcf",
         "BEGIN:VCARD\nTEL:1\nEND:VCARD\n",
         SkipReason::NoName,
         {}},
        {"name not ended", true, false, "a.vcf", "BEGIN:VCARD\nFN:x", SkipReason::NoLineEnd, {}},
        {"telephone line cut",
         true,
         false,
         "a.vcf",
         "BEGIN:VCARD\nFN:x\nTEL:1",
         SkipReason::TelLineCut,
         {}},
        {"no message block", false, true, "a.vmsg", "just text\n", SkipReason::NoBlock, {}},
        {"no card block", true, true, "a.vcf", "FN:x\nTEL:1\n", SkipReason::NoBlock, {}},
        {"empty modern message file", false, true, "a.vmsg", "", SkipReason::Empty, {}},
        {"empty modern card file", true, true, "a.vcard", "", SkipReason::Empty, {}},
        {"a number longer than any phone writes", false, true, "a.vmsg",
         Vmsg("INBOX", "2023-01-01 00:00:00") +
             "BEGIN:VMSG\nBEGIN:VCARD\nTEL:" + std::string(70000, '1') +
             "\nEND:VCARD\nBEGIN:VENV\nBEGIN:VBODY\nDate:2023-01-02 00:00:00\nlong\nEND:VBODY\n"
             "END:VENV\nEND:VMSG\n",
         SkipReason::NumberTooLong, 1},
        {"draft", false, true, "a.vmsg",
         Vmsg("INBOX", "2023-01-01 00:00:00") + Vmsg("DRAFT", "2023-01-02 00:00:00"),
         SkipReason::Draft, 1},
        {"bad date", false, true, "a.vmsg", Vmsg("INBOX", "yesterday"), SkipReason::BadDate, 0},
        {"cut card", true, true, "a.vcard", "BEGIN:VCARD\nFN:x\nTEL:1\n", SkipReason::Cut, 0},
        {"modern card without name", true, true, "a.vcf", "BEGIN:VCARD\nTEL:1\nEND:VCARD\n",
         SkipReason::NoName, 0},
        {"other XML",
         false,
         true,
         "a.xml",
         "<?xml version='1.0'?><config/>",
         SkipReason::NotMessageBackup,
         {}},
        {"call log",
         false,
         true,
         "calls.xml",
         "<calls count=\"0\"></calls>",
         SkipReason::CallLog,
         {}},
        {"XML broken", false, true, "a.xml", sms + "<sms address=\"1", SkipReason::XmlError, 1},
        {"message without text", false, true, "a.xml",
         sms + "<sms address=\"1\" date=\"1700000000000\" body=\"\"/></smses>", SkipReason::NoText,
         1},
    };
    for (const Case& c : cases) {
        TempDir dir;
        fs::create_directories(dir / "m");
        fs::create_directories(dir / "c");
        WriteBytes((c.card ? dir / "c" : dir / "m") / c.file, c.bytes);
        ArchiveRequest request;
        request.messageFolder = dir / "m";
        request.contactsFolder = dir / "c";
        request.output = dir / "out.txt";
        request.input = c.modern ? InputFormat::Modern : InputFormat::Classic;
        RunReport report;
        ASSERT_TRUE(GenerateArchive(request, &report)) << c.name;
        const RunReport::Files& files = c.card ? report.cards : report.messages;
        EXPECT_EQ(files.found, 1u) << c.name;
        const test::Skip expected{c.file, c.reason, c.index.value_or(0), c.index ? 1u : 0u};
        EXPECT_EQ(test::SkipsOf(files), std::vector<test::Skip>{expected}) << c.name;
        EXPECT_EQ(files.read, c.index.value_or(0)) << c.name;
        EXPECT_NE(ReportAsJson(report).find(std::string("\"reason\": \"") +
                                            std::string(SkipReasonName(c.reason)) + "\""),
                  std::string::npos)
            << c.name;
    }
}

TEST(SkipReasons, AFileBeyondTheWholeReadIsTooLarge) {
    TempDir dir;
    WriteBytes(dir / "m" / "big.vmsg", std::string(64 * 1024 * 1024 + 1, 'x'));
    ArchiveRequest request;
    request.messageFolder = dir / "m";
    request.output = dir / "out.txt";
    request.input = InputFormat::Modern;
    RunReport report;
    ASSERT_TRUE(GenerateArchive(request, &report));
    const std::vector<test::Skip> expected = {{"big.vmsg", SkipReason::TooLarge}};
    EXPECT_EQ(test::SkipsOf(report.messages), expected);
}

// A name or a library's words reach the JSON with every control and bidi control escaped, and
// read back as they were.
TEST(SkipReasons, TheReportEscapesWhatATerminalWouldActOn) {
    RunReport report;
    SkippedFile file;
    file.path = PathFromText(u"a\\b\x1b[2J\u0085\u202e.vmg");
    file.reason = SkipReason::Empty;
    report.messages.skipped.push_back(file);
    file.reason.reset();
    file.items.push_back({1, 2, SkipReason::XmlError, "line 3,\ncolumn 4"});
    report.messages.skipped.push_back(file);
    const std::string json = ReportAsJson(report);
    const std::string path = R"("path": "a\\b\u001b[2J\u0085\u202e.vmg")";
    EXPECT_NE(json.find(path + R"(, "reason": "empty"})"), std::string::npos) << json;
    EXPECT_NE(json.find(path + R"(, "reason": "xml-error", "index": 1, "count": 2, )"
                               R"("detail": "line 3,\u000acolumn 4"})"),
              std::string::npos)
        << json;
    EXPECT_EQ(json.find('\x1b'), std::string::npos);
    EXPECT_EQ(json.find("\u202e"), std::string::npos);
}

#ifndef _WIN32
TEST(SkipReasons, WhatTheSystemSaysOfAFile) {
    TempDir dir;
    fs::create_directories(dir / "m");
    ASSERT_EQ(::mkfifo((dir / "m" / "pipe.vmg").c_str(), 0600), 0);
    test::WriteMessage(dir / "m" / "a.vmg", "1", "18.03.2009 10:15:30", "hi");
    fs::create_hard_link(dir / "m" / "a.vmg", dir / "m" / "b.vmg");
    const bool root = ::geteuid() == 0;
    if (!root) {
        test::WriteMessage(dir / "m" / "locked.vmg", "2", "18.03.2009 10:15:30", "hi");
        fs::permissions(dir / "m" / "locked.vmg", fs::perms::none);
    }
    ArchiveRequest request;
    request.messageFolder = dir / "m";
    request.output = dir / "out.txt";
    RunReport report;
    ASSERT_TRUE(GenerateArchive(request, &report));
    EXPECT_EQ(report.messages.read, 1u);
    std::map<SkipReason, int> reasons;
    for (const SkippedFile& skipped : report.messages.skipped) {
        ASSERT_TRUE(skipped.reason.has_value());
        ++reasons[*skipped.reason];
        if (skipped.reason == SkipReason::CannotOpen) {
            EXPECT_EQ(skipped.systemError, EACCES);
        }
    }
    EXPECT_EQ(reasons[SkipReason::NotRegularFile], 1);
    EXPECT_EQ(reasons[SkipReason::SameFile], 1);
    EXPECT_EQ(reasons[SkipReason::CannotOpen], root ? 0 : 1);
}
#endif

}  // namespace
}  // namespace quillbox
