// SPDX-License-Identifier: MIT
// Folders as today's phones and address books export them, read with --modern: every card's
// name for every number, every message of every file, sent ones under the other party.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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
using test::Utf16Le;
using test::WriteBytes;

class ModernRun : public test::RunFixture {
protected:
    RunReport Run(SortOrder order = SortOrder::BySender, bool modern = true) {
        ArchiveRequest request = Request();
        request.recurseMessages = request.recurseContacts = true;
        request.order = order;
        request.input = modern ? InputFormat::Modern : InputFormat::Classic;
        archive_ = Written(request);
        return report_;
    }

    bool Holds(std::string_view utf8) const {
        return archive_.find(Gbk(utf8)) != std::string::npos;
    }

    std::string archive_;
};

constexpr std::string_view kAndroidContacts =
    "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E7=8E=8B;=E4=BA=94;;;"
    "\r\n"
    "TEL;CELL;PREF:+86 139-0000-0001\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Li Si\r\nTEL;TYPE=CELL:(0755) 1234 5678\r\n"
    "TEL;TYPE=HOME:+86 139 0000 0002\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Broken;Card\r\nTEL:1\r\n";  // cut: no END:VCARD

constexpr std::string_view kIphoneContacts =
    "BEGIN:VCARD\nVERSION:3.0\nN:Smith;John;;;\nFN:John\n  Smith\n"
    "PHOTO;ENCODING=b;TYPE=JPEG:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\n"
    " AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\n"
    "item1.TEL;type=pref:+1 (555) 010-0100\nitem1.X-ABLabel:mobile\nEND:VCARD\n"
    "BEGIN:VCARD\nVERSION:4.0\nFN:张\\,三\nTEL;VALUE=uri;TYPE=\"work,voice\":tel:+86-139-0000-0003;"
    "ext=12\n"
    "END:VCARD\n";

std::string Message(std::string_view box, std::string_view from, std::string_view to,
                    std::string_view date, std::string_view text) {
    return "BEGIN:VMSG\r\nVERSION:1.1\r\nX-IRMC-STATUS:READ\r\nX-IRMC-BOX:" + std::string(box) +
           "\r\nBEGIN:VCARD\r\nVERSION:2.1\r\nTEL:" + std::string(from) +
           "\r\nEND:VCARD\r\nBEGIN:VENV\r\nBEGIN:VCARD\r\nVERSION:2.1\r\nTEL:" + std::string(to) +
           "\r\nEND:VCARD\r\nBEGIN:VENV\r\nBEGIN:VBODY\r\nDate:" + std::string(date) + "\r\n" +
           std::string(text) + "\r\nEND:VBODY\r\nEND:VENV\r\nEND:VENV\r\nEND:VMSG\r\n";
}

TEST_F(ModernRun, ExportsOfManyCardsAndMessagesReadWhole) {
    WriteBytes(Cards() / "android.vcf", kAndroidContacts);
    WriteBytes(Cards() / "icloud" / "All Contacts.VCARD", kIphoneContacts);
    std::string backup = Message("INBOX", "+8613900000001", "", "2023/05/01 08:00:00", "早上好");
    backup += Message("SENTBOX", "", "13900000001", "2023-05-01 08:05:00", "你也早");
    backup += Message("INBOX", "075512345678", "", "01.06.2023 12:00:00", "from Li Si");
    backup += Message("DRAFT", "", "15500000000", "2023-06-02 12:00:00", "never sent");
    backup += Message("INBOX", "+15550100100", "", "20230603T101010Z", "hello from John");
    WriteBytes(Messages() / "sms.vmsg", backup);
    // A classic file in a newer folder: read by the new readers too, its two-digit year 2009.
    WriteBytes(Messages() / "old.VMG",
               Utf16Le("BEGIN:VMSG\nBEGIN:VCARD\nTEL:13900000003\nEND:VCARD\nBEGIN:VENV\n"
                       "BEGIN:VBODY\nDate:18.03.09 10:15:30\nclassic\nEND:VBODY\nEND:VENV\n"
                       "END:VMSG\n"));

    const RunReport report = Run();
    EXPECT_EQ(report.cards.found, 2u);
    EXPECT_EQ(report.cards.read, 4u);
    EXPECT_EQ(test::SkipsOf(report.cards),
              (std::vector<test::Skip>{{"android.vcf", SkipReason::Cut, 2, 1}}));
    EXPECT_EQ(report.messages.found, 2u);
    EXPECT_EQ(report.messages.read, 5u);
    EXPECT_EQ(test::SkipsOf(report.messages),
              (std::vector<test::Skip>{{"sms.vmsg", SkipReason::Draft, 3, 1}}));
    EXPECT_EQ(report.entriesWritten, 5u);

    const std::string heading = ">>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>";
    EXPECT_TRUE(Holds(heading + "联系人：王五<")) << Printable(archive_);
    EXPECT_TRUE(Holds("→ 王五 <13900000001>     2023-05-01 08:05:00 : \r\n你也早\r\n"));
    EXPECT_TRUE(Holds("王五 <13900000001>     2023-05-01 08:00:00 : \r\n早上好\r\n"));
    EXPECT_TRUE(Holds("Li Si <75512345678>     2023-06-01 12:00:00 : "));
    EXPECT_TRUE(Holds("John Smith <+15550100100>     2023-06-03 10:10:10 : "));
    EXPECT_TRUE(Holds("张,三 <13900000003>     2009-03-18 10:15:30 : \r\nclassic\r\n"));
    EXPECT_FALSE(Holds("never sent"));
    EXPECT_FALSE(Holds("发信人："));
    // The sent message sorts by its own time inside the other party's group.
    EXPECT_LT(archive_.find(Gbk("你也早")), archive_.find(Gbk("早上好")));
}

// A phone whose clock was reset writes 1969 and 1900: such messages are the oldest, not the
// newest.
TEST_F(ModernRun, DatesBefore1970SortAsTheOldest) {
    std::string backup = Message("INBOX", "13900000001", "", "1969-12-31 23:59:59", "1969");
    backup += Message("INBOX", "13900000002", "", "2023-01-01 00:00:00", "2023");
    backup += Message("INBOX", "13900000003", "", "1900-01-01 00:00:00", "1900");
    backup += Message("INBOX", "13900000004", "", "1970-01-01 00:00:00", "1970");
    WriteBytes(Messages() / "m.vmsg", backup);
    Run(SortOrder::ByDate);
    const auto at = [&](std::string_view body) {
        return archive_.find("\r\n" + std::string(body));
    };
    EXPECT_LT(at("2023"), at("1970"));
    EXPECT_LT(at("1970"), at("1969"));
    EXPECT_LT(at("1969"), at("1900"));
}

// A message the owner sent and one received, with the same number, second and text, are two.
TEST_F(ModernRun, RepeatsAreTheSameMessageInTheSameDirection) {
    const std::string received = Message("INBOX", "13900000001", "", "2023-01-01 00:00:00", "ok");
    const std::string sent = Message("SENTBOX", "", "13900000001", "2023-01-01 00:00:00", "ok");
    WriteBytes(Messages() / "a.vmsg", received + sent);
    WriteBytes(Messages() / "b.vmsg", received + sent);
    ArchiveRequest request = Request();
    request.input = InputFormat::Modern;
    request.dedupe = true;
    archive_ = Written(request);
    EXPECT_EQ(report_.messages.duplicates, std::optional<std::size_t>(2));
    EXPECT_EQ(report_.entriesWritten, 2u);
    EXPECT_TRUE(Holds("→ 13900000001 <13900000001>")) << Printable(archive_);
}

TEST_F(ModernRun, TheFirstCardInScanOrderNamesANumber) {
    const auto card = [](std::string_view name) {
        return "BEGIN:VCARD\nVERSION:3.0\nFN:" + std::string(name) +
               "\nTEL:13900000009\nEND:VCARD\n";
    };
    WriteBytes(Cards() / "z.vcf", card("lower"));
    WriteBytes(Cards() / "a.VCF", card("upper"));
    WriteBytes(Cards() / "b.Vcf", card("mixed"));
    WriteBytes(Messages() / "m.vmsg",
               Message("INBOX", "13900000009", "", "2023-01-01 00:00:00", "hi"));
    Run();
    EXPECT_TRUE(Holds("联系人：lower<")) << Printable(archive_);
}

TEST_F(ModernRun, WithoutTheOptionTheNewFilesAreNotEvenListed) {
    WriteBytes(Cards() / "android.vcf", kAndroidContacts);
    WriteBytes(Messages() / "sms.vmsg",
               Message("INBOX", "+8613900000001", "", "2023/05/01 08:00:00", "早上好"));
    const RunReport report = Run(SortOrder::ByDate, false);
    EXPECT_EQ(report.messages.found, 0u);
    EXPECT_EQ(archive_, "");
}

}  // namespace
}  // namespace quillbox
