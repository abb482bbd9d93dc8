// SPDX-License-Identifier: MIT
// The archive for today's readers: encodings that keep every character, the modern page, date
// ranges and duplicates, through the whole run. Without these options the classic bytes stay
// (the golden corpus holds them).

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "quillbox/archive.h"
#include "run_fixture.h"
#include "test_files.h"

namespace quillbox {
namespace {

using test::Convert;
using test::Gbk;
using test::Printable;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
using test::WriteMessage;

class ArchiveOptions : public test::RunFixture {
protected:
    ArchiveOptions() {
        WriteMessage(dir_ / "m" / "1.vmg", "+8613900000001", "18.03.2009 10:15:30",
                     "笑 \U0001F600 € \U00020000 end");
        WriteBytes(dir_ / "c" / "a.vcf",
                   "BEGIN:VCARD\nFN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=A0=F0=9F=98=80\n"
                   "TEL:13900000001\nEND:VCARD\n");
    }

    std::string Run(const ArchiveRequest& request, RunReport* report = nullptr) {
        const std::string archive = Written(request);
        if (report != nullptr) {
            *report = report_;
        }
        return archive;
    }
};

// What the archive would hold in UTF-8 with every character kept.
const std::string kEntryUtf8 =
    "张\U0001F600 <13900000001>     2009-03-18 10:15:30 : \r\n笑 \U0001F600 € \U00020000 end\r\n";

TEST_F(ArchiveOptions, WideEncodingsKeepEveryCharacterOfNamesAndMessages) {
    ArchiveRequest request = Request();
    const std::string classic = Run(request);
    EXPECT_NE(classic.find(Gbk("张?? <13900000001>")), std::string::npos) << Printable(classic);
    EXPECT_NE(classic.find(Gbk("笑 ?? ") + "\x80 ?? end"), std::string::npos) << Printable(classic);

    request.encoding = ArchiveEncoding::Utf8;
    const std::string utf8 = Run(request);
    EXPECT_NE(test::WithoutIsolates(utf8).find(kEntryUtf8), std::string::npos) << Printable(utf8);
    // A name stands apart from the line: its own direction cannot turn what follows.
    EXPECT_NE(utf8.find("发信人：\u2068张\U0001F600\u2069<"), std::string::npos);

    request.encoding = ArchiveEncoding::Gb18030;
    const std::string gb18030 = Run(request);
#ifndef _WIN32
    // Wine has no GB18030 converter to check against; the Windows suite compares the bytes
    // with the Linux program's instead.
    EXPECT_EQ(Printable(Convert(gb18030, "GB18030", "UTF-8")), Printable(utf8));
#endif
    // The euro sign is GB18030's own A2 E3, not code page 936's 0x80.
    EXPECT_NE(gb18030.find("\xA2\xE3"), std::string::npos);

    for (const auto encoding : {ArchiveEncoding::Utf8, ArchiveEncoding::Gb18030}) {
        request.encoding = encoding;
        request.form = ArchiveForm::ClassicHtml;
        const std::string page = Run(request);
        EXPECT_NE(
            page.find(encoding == ArchiveEncoding::Utf8 ? "charset=utf-8" : "charset=gb18030"),
            std::string::npos);
        EXPECT_EQ(page.find("gb2312"), std::string::npos);
    }
}

TEST_F(ArchiveOptions, TheModernPageIsUtf8AndEscapesWhatMessagesHold) {
    WriteMessage(dir_ / "m" / "2.vmg", "13900000002", "19.03.2009 10:15:30",
                 "<script>alert(\"x\")</script> & \"quoted\"");
    ArchiveRequest request = Request();
    request.form = ArchiveForm::ModernPage;
    request.encoding = ArchiveEncoding::Utf8;
    RunReport report;
    const std::string page = Run(request, &report);
    EXPECT_EQ(report.entriesWritten, 2u);
    EXPECT_TRUE(page.starts_with("<!DOCTYPE html>"));
    EXPECT_NE(page.find("<html lang=\"zh-CN\">"), std::string::npos);
    EXPECT_NE(page.find("笑 \U0001F600 € \U00020000 end"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert("), std::string::npos);
    EXPECT_EQ(page.find("<script>alert"), std::string::npos);
}

TEST_F(ArchiveOptions, DateRangesCountWhatTheyLeaveOutAtTheirEdges) {
    WriteMessage(dir_ / "m" / "2.vmg", "2", "17.03.2009 23:59:59", "day before");
    WriteMessage(dir_ / "m" / "3.vmg", "3", "18.03.2009 00:00:00", "first second");
    WriteMessage(dir_ / "m" / "4.vmg", "4", "19.03.2009 00:00:00", "day after");
    struct Case {
        const char* name;
        std::optional<CalendarDay> since;
        std::optional<CalendarDay> until;
        std::size_t written;
    };
    const Case cases[] = {
        {"one day, both edges", CalendarDay{2009, 3, 18}, CalendarDay{2009, 3, 18}, 2},
        {"from the day", CalendarDay{2009, 3, 18}, std::nullopt, 3},
        {"up to the day", std::nullopt, CalendarDay{2009, 3, 18}, 3},
        {"nothing in it", CalendarDay{2010, 1, 1}, std::nullopt, 0},
        {"month edge", CalendarDay{2009, 3, 19}, CalendarDay{2009, 4, 1}, 1},
    };
    for (const Case& c : cases) {
        ArchiveRequest request = Request();
        request.since = c.since;
        request.until = c.until;
        RunReport report;
        const std::string archive = Run(request, &report);
        EXPECT_EQ(report.entriesWritten, c.written) << c.name;
        ASSERT_TRUE(report.messages.filtered.has_value()) << c.name;
        EXPECT_EQ(*report.messages.filtered, 4 - c.written) << c.name;
        EXPECT_EQ(report.messages.read, 4u) << c.name;
        EXPECT_TRUE(report.messages.skipped.empty()) << c.name;
        const bool dayBeforeIn = !c.since || *c.since <= CalendarDay{2009, 3, 17};
        EXPECT_EQ(archive.find("day before") != std::string::npos, dayBeforeIn) << c.name;
    }
}

TEST_F(ArchiveOptions, RepeatsLeaveOnlyTheFirstCopy) {
    for (const char* name : {"2.vmg", "sub/3.vmg", "4.VMG"}) {
        WriteMessage(dir_ / "m" / name, "+8613900000005", "20.03.2009 08:00:00", "same text");
    }
    // Same second and party, other text; same text, other second: not repeats.
    WriteMessage(dir_ / "m" / "5.vmg", "13900000005", "20.03.2009 08:00:00", "other text");
    WriteMessage(dir_ / "m" / "6.vmg", "13900000005", "20.03.2009 08:00:01", "same text");
    ArchiveRequest request = Request();
    request.recurseMessages = true;
    request.dedupe = true;
    request.order = SortOrder::ByDate;
    RunReport report;
    const std::string archive = Run(request, &report);
    EXPECT_EQ(report.messages.read, 6u);
    ASSERT_TRUE(report.messages.duplicates.has_value());
    EXPECT_EQ(*report.messages.duplicates, 2u);
    EXPECT_EQ(report.entriesWritten, 4u);
    const std::string entry =
        "13900000005 <13900000005>     2009-03-20 08:00:00 : \r\nsame text\r\n";
    EXPECT_NE(archive.find(entry), std::string::npos) << Printable(archive);
    EXPECT_EQ(archive.find(entry), archive.rfind(entry));
    EXPECT_NE(ReportAsJson(report).find("\"duplicates\": 2"), std::string::npos);
}

}  // namespace
}  // namespace quillbox
