// SPDX-License-Identifier: MIT
// iPhone message stores and backups, built here with SQLite as iOS lays them out: read through
// the run as a user runs it, and left exactly as they were.

#include "read/iphone_backup.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "iphone_store_files.h"
#include "order/conversation.h"
#include "platform/platform.h"
#include "quillbox/archive.h"
#include "read/plist.h"
#include "read/typedstream.h"
#include "run_fixture.h"
#include "test_files.h"

namespace quillbox {
namespace {

namespace fs = std::filesystem;
using namespace std::literals;
using test::Db;
using test::Ios;
using test::kAppleEpoch;
using test::kMay1;
using test::MessageStoreFile;
using test::ReadBytes;
using test::Row;
using test::TempDir;
using test::WriteBytes;
using test::WriteManifest;

constexpr std::string_view kSmsHash = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
constexpr std::string_view kAddressBookHash = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";

// An attributedBody as Messages archives one, its length in the form asked for.
enum class LengthForm { Byte, Two, Four };
std::string Archived(std::string_view text, LengthForm form) {
    std::string blob(
        "\x04\x0bstreamtyped\x81\xe8\x03\x84\x01@\x84\x84\x84\x19NSMutableAttributedString\x00"
        "\x84\x84\x12NSAttributedString\x00\x84\x84\x08NSObject\x00\x85\x92\x84\x84\x84\x0f"
        "NSMutableString\x01\x84\x84\x08NSString\x01\x95\x84\x01+"sv);
    const auto size = static_cast<std::uint32_t>(text.size());
    switch (form) {
        case LengthForm::Byte:
            blob += static_cast<char>(size);
            break;
        case LengthForm::Two:
            blob += '\x81';
            blob += static_cast<char>(size & 0xFF);
            blob += static_cast<char>(size >> 8);
            break;
        case LengthForm::Four:
            blob += '\x82';
            for (int shift = 0; shift < 32; shift += 8) {
                blob += static_cast<char>((size >> shift) & 0xFF);
            }
            break;
    }
    blob.append(text);
    blob.append("\x86\x84\x02iI\x01\x05\x92\x84\x84\x84\x0cNSDictionary\x00"sv);
    return blob;
}

void WriteAddressBook(const fs::path& path) {
    Db book(path);
    book.Exec(
        "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, "
        "Organization TEXT);"
        "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, "
        "identifier INTEGER, label INTEGER, value TEXT);"
        "INSERT INTO ABPerson VALUES (1, '三', '张', NULL), (2, 'John', 'Smith', 'Acme'), "
        "(3, NULL, NULL, '顺丰速运'), (4, '四', '李', NULL);"
        "INSERT INTO ABMultiValue (record_id, property, value) VALUES "
        "(1, 3, '+86 139-0000-0001'), (2, 3, '(555) 010-0100'), (2, 4, 'john@example.com'), "
        "(3, 3, '95338'), (4, 3, '13900000001'), (4, 5, 'http://example.com');");
}

std::string InfoPlist(std::string_view device, std::string_view date) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD "
           "PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n\t<key>Applications</key>\n\t<dict>\n"
           "\t\t<key>Device Name</key>\n\t\t<string>nested</string>\n\t</dict>\n"
           "\t<key>Device Name</key>\n\t<string>" +
           std::string(device) + "</string>\n\t<key>Last Backup Date</key>\n\t<date>" +
           std::string(date) + "</date>\n</dict>\n</plist>\n";
}

// Every file below a folder: its bytes and its time stamp.
using Snapshot = std::map<std::string, std::pair<std::string, fs::file_time_type>>;
Snapshot Take(const fs::path& root) {
    Snapshot files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        files[entry.path().lexically_relative(root).generic_string()] = {
            entry.is_regular_file() ? ReadBytes(entry.path()) : "<folder>",
            entry.last_write_time()};
    }
    return files;
}

// --- the message store's parts ---

// SQLite is handed every database as a URI: a name's "%", "?" and "#" stay part of it, and a
// relative path never reads as a host.
TEST(FileUri, KeepsEveryNameWhole) {
#ifdef _WIN32
    EXPECT_EQ(platform::FileUri(L"C:\\备份\\a b%?#.db"),
              "file:///C:/%E5%A4%87%E4%BB%BD/a%20b%25%3F%23.db");
    EXPECT_EQ(platform::FileUri(L"\\\\server\\share\\sms.db"), "file:////server/share/sms.db");
    EXPECT_TRUE(platform::FileUri(L"backup\\sms.db").starts_with("file:///"));
#else
    EXPECT_EQ(platform::FileUri("/备份/a b%?#.db"), "file:///%E5%A4%87%E4%BB%BD/a%20b%25%3F%23.db");
    EXPECT_EQ(platform::FileUri("//x/sms.db"), "file:////x/sms.db");
    EXPECT_EQ(platform::FileUri("backup/sms.db"), "file:backup/sms.db");
#endif
}

TEST(TypedStream, FindsTheStringInEachLengthForm) {
    const std::string long300(300, 'x');
    const std::string long70000(70000, 'y');
    EXPECT_EQ(TypedStreamText(Archived("你好", LengthForm::Byte)), "你好");
    EXPECT_EQ(TypedStreamText(Archived(long300, LengthForm::Two)), long300);
    EXPECT_EQ(TypedStreamText(Archived(long70000, LengthForm::Four)), long70000);
    EXPECT_EQ(TypedStreamText(Archived("", LengthForm::Byte)), "");

    const std::string whole = Archived("abc", LengthForm::Byte);
    const std::size_t length = whole.find("abc") - 1;
    struct Broken {
        const char* what;
        std::string bytes;
    };
    const Broken broken[] = {
        {"cut in the text", whole.substr(0, length + 3)},
        {"cut in the length", Archived(long300, LengthForm::Two).substr(0, length + 2)},
        {"unknown length tag", whole.substr(0, length) + std::string("\x83\x03\x00\x00\x00"
                                                                     "abc",
                                                                     8)},
        {"no class name", whole.substr(whole.find("+"))},
        {"no type after the class", "NSString" + std::string(40, '\0') +
                                        "\x01+\x03"
                                        "abc"},
        {"nothing", ""},
    };
    for (const Broken& b : broken) {
        EXPECT_FALSE(TypedStreamText(b.bytes)) << b.what;
    }
}

// A binary plist of a dictionary: keys ASCII, values a UTF-16 string, true and a date.
std::string BinaryInfoPlist() {
    std::string bytes = "bplist00";
    std::vector<std::size_t> offsets;
    const auto object = [&](std::string_view body) {
        offsets.push_back(bytes.size());
        bytes.append(body);
    };
    object(std::string("\xD3\x01\x02\x03\x04\x05\x06", 7));  // dict of 3: keys 1-3, values 4-6
    object(
        "\x5B"
        "Device Name");
    object(
        "\x5B"
        "IsEncrypted");
    object(
        "\x5F\x10\x10"
        "Last Backup Date");
    object(std::string("\x63\x5F\x20\x76\x84\x00i", 7));  // 张的i, UTF-16BE
    object("\x09");
    // 704620800 seconds after 2001: 2023-05-01 08:00:00 UTC.
    object(std::string("\x33\x41\xC4\xFF\xD4\x80\x00\x00\x00", 9));
    const std::size_t table = bytes.size();
    for (const std::size_t offset : offsets) {
        bytes += static_cast<char>(offset);
    }
    std::string trailer(32, '\0');
    trailer[6] = 1;
    trailer[7] = 1;
    trailer[15] = static_cast<char>(offsets.size());
    trailer[31] = static_cast<char>(table);
    return bytes + trailer;
}

TEST(Plist, ReadsTheTopValuesOfXmlAndBinaryLists) {
    const auto xml = ReadPlistValues(InfoPlist("A &amp; B&#x1F600;", "2023-05-01T08:00:00Z"));
    ASSERT_EQ(xml.size(), 2u);
    EXPECT_EQ(FindPlistValue(xml, "Device Name")->text, "A & B\xF0\x9F\x98\x80");
    EXPECT_EQ(FindPlistValue(xml, "Last Backup Date")->date, kMay1);

    const auto binary = ReadPlistValues(BinaryInfoPlist());
    ASSERT_EQ(binary.size(), 3u);
    EXPECT_EQ(FindPlistValue(binary, "Device Name")->text, "张的i");
    EXPECT_EQ(FindPlistValue(binary, "IsEncrypted")->text, "true");
    EXPECT_EQ(FindPlistValue(binary, "Last Backup Date")->date, kMay1);

    std::string cut = BinaryInfoPlist();
    cut[cut.size() - 1] = static_cast<char>(cut.size());  // the offset table past the end
    EXPECT_TRUE(ReadPlistValues(cut).empty());
    EXPECT_TRUE(ReadPlistValues("<plist><dict><key>a</key><string>cut").empty());
}

// --- the reader on one store ---

struct Read {
    ReadResult result;
    Items items;
};

Read ReadStore(const fs::path& db, std::chrono::milliseconds time = std::chrono::seconds(20)) {
    Read read;
    ReadSettings settings;
    settings.zone = *TimeZone::FromName("Asia/Shanghai");
    read.result = ReadMessageStore(sqlite::FilesBeside(db.native()), settings, read.items, time);
    return read;
}

struct Seen {
    std::string party;
    std::string author;
    std::string body;
    std::string time;
    bool sent = false;
    bool operator==(const Seen&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Seen& s) {
    return os << test::Printable(s.party) << " / " << s.author << " / " << s.body << " / " << s.time
              << (s.sent ? " sent" : "");
}

std::vector<Seen> Messages(const Items& items) {
    std::vector<Seen> seen;
    for (const auto& m : items.messages.Messages()) {
        const MessageTime t = m.Time();
        char time[32];
        std::snprintf(time, sizeof time, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
        seen.push_back({std::string(m.Party()), std::string(m.Author()), std::string(m.Body()),
                        time, m.Sent()});
    }
    return seen;
}

TEST(IphoneStore, ReadsEveryKindOfMessageOfIos17) {
    const TempDir dir;
    {
        MessageStoreFile store(dir / "sms.db", Ios::V17);
        const auto wang = store.Handle("+86 139-0000-0001");
        const auto mail = store.Handle("Friend@Example.com");
        const auto li = store.Handle("13900000002");
        const auto group = store.Chat(43, "周末", {wang, li});
        const auto pair = store.Chat(45, "", {mail});
        const std::string long300(300, 'a');
        store.Message(Row(wang).Text("早上好\r\n第二行"));
        store.Message(
            Row(mail).At(kMay1 + 60).Archived(Archived("only archived", LengthForm::Byte)));
        store.Message(Row(wang).Archived(Archived(long300, LengthForm::Two)));
        const auto picture =
            store.Message(Row(wang).Text("看\xEF\xBF\xBC好吗\xEF\xBF\xBC").FromMe());
        store.Attach(picture, "IMG_0001.HEIC", "image/heic");
        store.Attach(picture, "合同.pdf", "application/pdf");
        store.Message(Row(wang).Text("👍").Reaction(2001));
        store.Message(Row(0).Text("sent from a Mac").FromMe().In(pair));
        store.Message(Row(li).Text("in the group").In(group));
        store.Message(Row(0).Text("to the group").FromMe().In(group));
    }
    const Read read = ReadStore(dir / "sms.db");
    ASSERT_FALSE(read.result.refused) << read.result.detail;
    EXPECT_EQ(read.result.read, 7u);
    EXPECT_EQ(read.result.reactions, 1u);
    EXPECT_TRUE(read.result.skipped.empty());
    const std::string group = GroupParty({"13900000001", "13900000002"}, "周末");
    const std::vector<Seen> expected = {
        {"13900000001", "", "早上好\n第二行", "2023-05-01 16:00:00", false},
        {"Friend@Example.com", "", "only archived", "2023-05-01 16:01:00", false},
        {"13900000001", "", std::string(300, 'a'), "2023-05-01 16:00:00", false},
        {"13900000001", "", "看\n[图片：IMG_0001.HEIC]\n好吗\n[附件：合同.pdf]",
         "2023-05-01 16:00:00", true},
        {"Friend@Example.com", "", "sent from a Mac", "2023-05-01 16:00:00", true},
        {group, "13900000002", "in the group", "2023-05-01 16:00:00", false},
        {group, "", "to the group", "2023-05-01 16:00:00", true},
    };
    EXPECT_EQ(Messages(read.items), expected);
}

TEST(IphoneStore, ReadsTheColumnsOfIos10) {
    const TempDir dir;
    {
        MessageStoreFile store(dir / "sms.db", Ios::V10);
        const auto wang = store.Handle("+8613900000001");
        store.Message(Row(wang).At(kMay1 - 86400 * 365).Text("2022"));
        store.Message(Row(0)
                          .Text("to the group")
                          .FromMe()
                          .In(store.Chat(43, "", {wang, store.Handle("10086")})));
    }
    const Read read = ReadStore(dir / "sms.db");
    ASSERT_FALSE(read.result.refused) << read.result.detail;
    const std::vector<Seen> expected = {
        {"13900000001", "", "2022", "2022-05-01 16:00:00", false},
        {GroupParty({"10086", "13900000001"}), "", "to the group", "2023-05-01 16:00:00", true},
    };
    EXPECT_EQ(Messages(read.items), expected);
}

// What no message store is, or no longer is whole: the reason, and what was read before kept.
TEST(IphoneStore, RefusesWhatIsNoReadableStore) {
    const TempDir dir;
    const auto store = [&](std::string_view name, Ios ios = Ios::V17) {
        return std::make_unique<MessageStoreFile>(dir / name, ios);
    };
    Db(dir / "other.db").Exec("CREATE TABLE notes (text TEXT)");
    {
        auto view = store("view.db");
        view->Raw().Exec(
            "ALTER TABLE message RENAME TO real_message;"
            "CREATE VIEW message AS SELECT * FROM real_message");
    }
    WriteBytes(dir / "text.db", "SQLite format 3? no, a note\n");
    {
        auto big = store("damaged.db");
        big->Raw().Exec("PRAGMA page_size=1024");
        const auto h = big->Handle("1");
        for (int i = 0; i < 400; ++i) {
            big->Message(Row(h).Text(std::string(200, 'x')));
        }
    }
    // The last pages of the message table overwritten: what lies before them is read.
    {
        std::string bytes = ReadBytes(dir / "damaged.db");
        for (std::size_t i = bytes.size() - 20 * 1024; i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>(0xA5);
        }
        WriteBytes(dir / "damaged.db", bytes);
    }
    store("slow.db")->Raw().Exec(
        "INSERT INTO message (text, date) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
        "FROM n WHERE i < 5000) SELECT 'x', 0 FROM n");

    struct Case {
        const char* name;
        SkipReason reason;
    };
    const Case cases[] = {
        {"other.db", SkipReason::NotMessageDatabase},
        {"view.db", SkipReason::NotMessageDatabase},
        {"text.db", SkipReason::NotMessageDatabase},
    };
    for (const Case& c : cases) {
        const Read read = ReadStore(dir / c.name);
        EXPECT_EQ(read.result.refused, c.reason) << c.name;
        EXPECT_EQ(read.items.messages.Size(), 0u) << c.name;
    }
    // A statement past its time is ended where it is.
    const Read slow = ReadStore(dir / "slow.db", std::chrono::milliseconds(-1));
    EXPECT_LT(slow.result.read, 5000u);
    ASSERT_EQ(slow.result.skipped.size(), 1u);
    EXPECT_EQ(slow.result.skipped[0].reason, SkipReason::TooSlow);

    const Read damaged = ReadStore(dir / "damaged.db");
    ASSERT_FALSE(damaged.result.refused) << damaged.result.detail;
    EXPECT_GT(damaged.result.read, 0u);
    EXPECT_LT(damaged.result.read, 400u);
    ASSERT_EQ(damaged.result.skipped.size(), 1u);
    EXPECT_EQ(damaged.result.skipped[0].reason, SkipReason::DamagedDatabase);
    EXPECT_EQ(damaged.result.skipped[0].index, damaged.result.read);
    EXPECT_NE(damaged.result.skipped[0].detail.find("malformed"), std::string::npos)
        << damaged.result.skipped[0].detail;
}

TEST(IphoneStore, AStoppedRunEndsAStatementWhereItIs) {
    const TempDir dir;
    {
        MessageStoreFile store(dir / "sms.db", Ios::V17);
        const auto h = store.Handle("1");
        for (int i = 0; i < 20; ++i) {
            store.Message(Row(h).Text("x"));
        }
    }
    std::atomic<bool> cancel{false};
    sqlite::Database db;
    ASSERT_TRUE(db.Open(sqlite::FilesBeside((dir / "sms.db").native()),
                        sqlite::Database::kStatementTime, &cancel));
    // A statement of a billion steps, ended at its next look once the flag is set.
    auto endless = db.Prepare(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000000) "
        "SELECT count(*) FROM n");
    ASSERT_TRUE(endless.has_value());
    cancel = true;
    EXPECT_FALSE(endless->Step());
    EXPECT_EQ(db.LastFailure(), sqlite::Failure::Cancelled);

    ReadSettings settings;
    settings.cancel = &cancel;
    Items items;
    ReadMessageStore(sqlite::FilesBeside((dir / "sms.db").native()), settings, items);
    EXPECT_EQ(items.messages.Size(), 0u);
    cancel = false;
    ReadMessageStore(sqlite::FilesBeside((dir / "sms.db").native()), settings, items);
    EXPECT_EQ(items.messages.Size(), 20u);
}

// The newest pages of a live database lie in its -wal, or its last commit's old pages in a
// journal, while another program holds it open: read from a copy, the user's files untouched.
TEST(IphoneStore, ReadsADatabaseAnotherProgramHoldsOpen) {
    const TempDir dir;
#ifndef _WIN32
    // The copies go to a folder that the test sees empty afterwards.
    const TempDir temporary;
    const char* const oldTmp = std::getenv("TMPDIR");
    const std::string keptTmp = oldTmp != nullptr ? oldTmp : "";
    ::setenv("TMPDIR", temporary.Path().c_str(), 1);
#endif

    fs::create_directories(dir / "wal");
    MessageStoreFile wal(dir / "wal" / "chat.db", Ios::V17);
    wal.Raw().Exec("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0");
    const auto h = wal.Handle("10086");
    wal.Message(Row(h).Text("newest, in the -wal"));
    ASSERT_GT(fs::file_size(dir / "wal" / "chat.db-wal"), 0u);

    fs::create_directories(dir / "locked");
    MessageStoreFile locked(dir / "locked" / "sms.db", Ios::V17);
    locked.Message(Row(locked.Handle("10086")).Text("committed"));
    locked.Raw().Exec("PRAGMA cache_size=1; BEGIN EXCLUSIVE");
    for (int i = 0; i < 50; ++i) {
        locked.Message(Row(0).Text(std::string(2000, 'u')));  // spills into the file
    }
    ASSERT_GT(fs::file_size(dir / "locked" / "sms.db-journal"), 0u);

    const Snapshot before = Take(dir.Path());
    const Read fromWal = ReadStore(dir / "wal" / "chat.db");
    const Read fromLocked = ReadStore(dir / "locked" / "sms.db");
    EXPECT_EQ(Take(dir.Path()), before);
#ifndef _WIN32
    EXPECT_TRUE(fs::is_empty(temporary.Path()));
    if (oldTmp != nullptr) {
        ::setenv("TMPDIR", keptTmp.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
#endif
    locked.Raw().Exec("ROLLBACK");

    ASSERT_FALSE(fromWal.result.refused) << fromWal.result.detail;
    ASSERT_EQ(fromWal.items.messages.Size(), 1u);
    EXPECT_EQ(fromWal.items.messages.Messages()[0].Body(), "newest, in the -wal");
    ASSERT_FALSE(fromLocked.result.refused) << fromLocked.result.detail;
    ASSERT_EQ(fromLocked.items.messages.Size(), 1u);
    EXPECT_EQ(fromLocked.items.messages.Messages()[0].Body(), "committed");
}

// --- backups through the run ---

class IphoneRun : public ::testing::Test {
protected:
    RunReport Run(bool recurse = false, bool modern = true) {
        ArchiveRequest request;
        request.messageFolder = dir_ / "m";
        request.recurseMessages = recurse;
        request.output = dir_ / "archive.txt";
        request.input = modern ? InputFormat::Modern : InputFormat::Classic;
        request.encoding = ArchiveEncoding::Utf8;
        request.timeZone = "Asia/Shanghai";
        RunReport report;
        EXPECT_TRUE(GenerateArchive(request, &report)) << DescribeFailure(report.failure);
        archive_ = ReadBytes(dir_ / "archive.txt");
        return report;
    }
    bool Holds(std::string_view text) const {
        return test::WithoutIsolates(archive_).find(text) != std::string::npos;
    }

    // A backup of iOS 10 and later: Manifest.db, the files in two-digit folders, the message
    // store under a name only the manifest knows, the address book under its usual one.
    fs::path ModernBackup(std::string_view name, std::string_view device) {
        const fs::path folder = dir_ / "m" / name;
        const std::string smsId = "aa" + std::string(38, '1');
        fs::create_directories(folder / "aa");
        fs::create_directories(folder / "31");
        WriteManifest(folder, {{smsId, "HomeDomain", "Library/SMS/sms.db"},
                               {"bb" + std::string(38, '2'), "MediaDomain",
                                "Library/SMS/Attachments/ab/12/X/IMG_0001.HEIC"}});
        {
            MessageStoreFile store(folder / "aa" / smsId, Ios::V17);
            const auto wang = store.Handle("+8613900000001");
            const auto john = store.Handle("john@example.com");
            const auto shop = store.Handle("95338");
            store.Message(Row(wang).Text("你好"));
            store.Message(Row(john).Text("hello").FromMe());
            store.Message(Row(shop).Text("快递到了"));
            store.Message(Row(wang).Text("❤️").Reaction(2000));
        }
        WriteAddressBook(folder / "31" / std::string(kAddressBookHash));
        WriteBytes(folder / "Info.plist", InfoPlist(device, "2023-05-01T08:00:00Z"));
        WriteBytes(folder / "Status.plist", "<plist><dict/></plist>");
        WriteBytes(folder / "aa" / "stray.vmsg", "BEGIN:VMSG\n");
        return folder;
    }

    TempDir dir_;
    std::string archive_;
};

TEST_F(IphoneRun, ReadsABackupWithTheNamesOfItsAddressBookAndLeavesItAsItWas) {
    const fs::path backup = ModernBackup("00008030-001A", "张三的 iPhone");
    const Snapshot before = Take(backup);
    const RunReport report = Run();
    EXPECT_EQ(Take(backup), before);

    EXPECT_EQ(report.messages.found, 1u);
    EXPECT_EQ(report.messages.read, 3u);
    EXPECT_EQ(report.messages.reactions, 1u);
    EXPECT_TRUE(report.messages.skipped.empty());
    ASSERT_EQ(report.sources.size(), 1u);
    EXPECT_EQ(report.sources[0].name, "张三的 iPhone，2023-05-01 16:00");
    EXPECT_EQ(report.sources[0].path.filename(), "Manifest.db");
    EXPECT_EQ(report.timeZone, "Asia/Shanghai");
    // The first card that names a number keeps it: 张三 before 李四.
    EXPECT_TRUE(Holds("张三 <13900000001>     2023-05-01 16:00:00 : \r\n你好")) << archive_;
    EXPECT_TRUE(Holds("→ John Smith <john@example.com>")) << archive_;
    EXPECT_TRUE(Holds("顺丰速运 <95338>")) << archive_;

    EXPECT_EQ(BackupFileOf(backup.native(), "~/Library/SMS/Attachments/ab/12/X/IMG_0001.HEIC"),
              std::nullopt);  // listed, but not in the backup
    WriteBytes(backup / "bb" / ("bb" + std::string(38, '2')), "heic");
    EXPECT_EQ(BackupFileOf(backup.native(), "~/Library/SMS/Attachments/ab/12/X/IMG_0001.HEIC"),
              (backup / "bb" / ("bb" + std::string(38, '2'))).native());
}

TEST_F(IphoneRun, FindsEveryBackupAndStoreInTheFolder) {
    // MobileSync/Backup: a folder of each device, read without -r.
    ModernBackup("device-1", "iPhone A");
    ModernBackup("device-2", "iPhone B");
    // Before iOS 10: Manifest.mbdb, the files flat, dates in seconds.
    const fs::path old = dir_ / "m" / "device-3";
    fs::create_directories(old);
    WriteBytes(old / "Manifest.mbdb", "mbdb\x05\x00");
    {
        MessageStoreFile store(old / std::string(kSmsHash), Ios::V10);
        store.Message(Row(store.Handle("10086")).Text("iOS 9"));
    }
    // A Mac's chat.db, below the folder: found with -r.
    fs::create_directories(dir_ / "m" / "mac");
    {
        MessageStoreFile mac(dir_ / "m" / "mac" / "chat.db", Ios::V17);
        mac.Message(Row(mac.Handle("+15551234567")).Text("from a Mac"));
    }
    const RunReport flat = Run();
    EXPECT_EQ(flat.messages.found, 3u);
    EXPECT_EQ(flat.messages.read, 7u);
    EXPECT_EQ(flat.sources.size(), 3u);
    EXPECT_TRUE(Holds("10086 <10086>     2023-05-01 16:00:00 : \r\niOS 9")) << archive_;
    EXPECT_FALSE(Holds("from a Mac"));

    const RunReport deep = Run(true);
    EXPECT_EQ(deep.messages.found, 4u);
    EXPECT_EQ(deep.messages.read, 8u);
    EXPECT_TRUE(Holds("from a Mac"));

    EXPECT_EQ(Run(true, false).messages.found, 0u);
}

TEST_F(IphoneRun, RefusesAnEncryptedBackupWithItsReason) {
    const fs::path byStatus = ModernBackup("status", "A");
    WriteBytes(byStatus / "Manifest.plist",
               "<plist><dict><key>IsEncrypted</key><true/></dict></plist>");
    const fs::path byManifest = dir_ / "m" / "manifest";
    fs::create_directories(byManifest);
    WriteBytes(byManifest / "Manifest.db", std::string(4096, '\x7F'));
    const RunReport report = Run();
    ASSERT_EQ(report.messages.skipped.size(), 2u);
    for (const SkippedFile& file : report.messages.skipped) {
        EXPECT_EQ(file.reason, SkipReason::EncryptedBackup) << file.path;
    }
    EXPECT_EQ(SkipReasonText(SkipReason::EncryptedBackup),
              "备份已加密，请先在 iTunes/Finder 中关闭加密再备份");
    EXPECT_EQ(report.messages.read, 0u);
}

// Stores that other projects publish (see shared/realworld/provenance.tsv), read where they lie
// beside the repository: never copied into it, never written.
TEST(IphoneRealWorld, ReadsThePublishedStoresAndBackup) {
    const fs::path root = fs::path(QUILLBOX_SHARED_DIR) / "realworld" / "exports" / "iphone";
    if (!fs::exists(root)) {
        GTEST_SKIP() << "no " << root;
    }
    const Snapshot before = Take(root);
    struct Case {
        const char* store;
        std::size_t read;
        std::size_t sent;
    };
    const Case cases[] = {
        {"cfreds-2020-ios-magnet-ctf/sms.db", 105, 51},
        {"macos-ts/chat.db", 15, 6},
    };
    for (const Case& c : cases) {
        const Read read = ReadStore(root / c.store);
        ASSERT_FALSE(read.result.refused) << c.store << ": " << read.result.detail;
        EXPECT_EQ(read.result.read, c.read) << c.store;
        EXPECT_EQ(std::count_if(read.items.messages.Messages().begin(),
                                read.items.messages.Messages().end(),
                                [](const auto& m) { return m.Sent(); }),
                  static_cast<std::ptrdiff_t>(c.sent))
            << c.store;
    }

    ArchiveRequest request;
    request.messageFolder = root / "mvt-ios-backup";
    const TempDir out;
    request.output = out / "archive.txt";
    request.input = InputFormat::Modern;
    request.encoding = ArchiveEncoding::Utf8;
    request.timeZone = "Asia/Shanghai";
    RunReport report;
    ASSERT_TRUE(GenerateArchive(request, &report)) << DescribeFailure(report.failure);
    EXPECT_EQ(report.messages.read, 1u);
    ASSERT_EQ(report.sources.size(), 1u);
    EXPECT_EQ(report.sources[0].name, "iPhone，2021-12-04 03:33");
    EXPECT_NE(test::WithoutIsolates(ReadBytes(out / "archive.txt")).find("apple <apple>"),
              std::string::npos);
    EXPECT_EQ(Take(root), before);
}

}  // namespace
}  // namespace quillbox
