// SPDX-License-Identifier: MIT
// The iPhone reader on one thread: an sms.db of N messages as iOS 17 lays it out (made once, from
// a seed, and kept), read whole by ReadMessageStore, timed over several runs.
//
//   quillbox_bench_iphone [--messages N] [--runs R] [--seed S] DIR
//   quillbox_bench_iphone --backup [--messages N] [--seed S] DIR
//
// With --backup it writes DIR as a backup folder of such a store (Manifest.db, the store under
// 3d/, Info.plist) and times nothing: scripts/test-windows reads it on both systems.

#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "read/iphone_backup.h"

namespace {

namespace fs = std::filesystem;
using namespace std::literals;

constexpr std::int64_t kAppleEpoch = 978307200;

struct SplitMix {
    std::uint64_t state;
    std::uint64_t Next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    std::uint64_t Below(std::uint64_t bound) { return Next() % bound; }
};

struct Close {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct Finalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

bool Exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql, error != nullptr ? error : "");
        sqlite3_free(error);
        return false;
    }
    return true;
}

Statement Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    return Statement(statement);
}

std::string Archived(std::string_view text) {
    std::string blob(
        "\x04\x0bstreamtyped\x81\xe8\x03\x84\x01@\x84\x84\x84\x12NSAttributedString\x00\x84\x84"
        "\x08NSObject\x00\x85\x92\x84\x84\x84\x08NSString\x01\x94\x84\x01+"sv);
    if (text.size() < 0x80) {
        blob += static_cast<char>(text.size());
    } else {
        blob += '\x81';
        blob += static_cast<char>(text.size() & 0xFF);
        blob += static_cast<char>(text.size() >> 8);
    }
    blob.append(text);
    blob.append("\x86\x84\x02iI\x01"sv);
    return blob;
}

constexpr std::string_view kPhrases[] = {
    "好的",
    "明天见",
    "我到了",
    "晚上一起吃饭吗？",
    "收到，谢谢！",
    "OK, see you at 7",
    "Running late, sorry",
    "快递放在门口了",
    "会议改到下午三点",
    "哈哈哈😂",
    "在吗？",
    "Happy birthday!",
    "路上堵车，大概晚二十分钟",
    "Can you call me back?",
    "周末去爬山吧",
};

// The store of the seed, written once: 2,000 people, one message in ten in a group, one in five
// with its text in attributedBody alone, one in twenty with a picture, one in fifty a reaction.
bool MakeStore(const fs::path& path, int messages, std::uint64_t seed) {
    sqlite3* raw = nullptr;
    if (sqlite3_open(path.c_str(), &raw) != SQLITE_OK) {
        return false;
    }
    const std::unique_ptr<sqlite3, Close> db(raw);
    if (!Exec(raw,
              "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;"
              "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT "
              "NULL, service TEXT, country TEXT);"
              "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE, "
              "text TEXT, handle_id INTEGER DEFAULT 0, service TEXT, date INTEGER, date_read "
              "INTEGER, is_from_me INTEGER DEFAULT 0, is_read INTEGER DEFAULT 0, attributedBody "
              "BLOB, associated_message_type INTEGER DEFAULT 0, associated_message_guid TEXT, "
              "item_type INTEGER DEFAULT 0, cache_has_attachments INTEGER DEFAULT 0);"
              "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT, style "
              "INTEGER, chat_identifier TEXT, display_name TEXT);"
              "CREATE TABLE chat_handle_join (chat_id INTEGER, handle_id INTEGER, UNIQUE(chat_id, "
              "handle_id));"
              "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER, message_date "
              "INTEGER DEFAULT 0, PRIMARY KEY (chat_id, message_id));"
              "CREATE INDEX chat_message_join_idx_message_id_only ON chat_message_join(message_id);"
              "CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT, "
              "filename TEXT, mime_type TEXT, transfer_name TEXT, total_bytes INTEGER);"
              "CREATE TABLE message_attachment_join (message_id INTEGER, attachment_id INTEGER, "
              "UNIQUE(message_id, attachment_id));")) {
        return false;
    }
    SplitMix random{seed};
    constexpr int kPeople = 2000;
    constexpr int kGroups = 50;
    {
        const Statement handle =
            Prepare(raw, "INSERT INTO handle (id, service) VALUES (?1, 'SMS')");
        for (int i = 0; i < kPeople; ++i) {
            const std::string id =
                i % 25 == 0 ? "friend" + std::to_string(i) + "@example.com"
                            : "+86139" + std::to_string(10000000 + random.Below(89999999));
            sqlite3_bind_text(handle.get(), 1, id.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(handle.get());
            sqlite3_reset(handle.get());
        }
        const Statement chat = Prepare(raw,
                                       "INSERT INTO chat (style, chat_identifier, "
                                       "display_name) VALUES (?1, ?2, ?3)");
        const Statement member = Prepare(raw,
                                         "INSERT OR IGNORE INTO chat_handle_join VALUES "
                                         "(?1, ?2)");
        for (int i = 1; i <= kPeople + kGroups; ++i) {
            const bool group = i > kPeople;
            sqlite3_bind_int(chat.get(), 1, group ? 43 : 45);
            const std::string name = "chat" + std::to_string(i);
            sqlite3_bind_text(chat.get(), 2, name.c_str(), -1, SQLITE_TRANSIENT);
            if (group && i % 2 == 0) {
                sqlite3_bind_text(chat.get(), 3, "家人群", -1, SQLITE_STATIC);
            } else {
                sqlite3_bind_null(chat.get(), 3);
            }
            sqlite3_step(chat.get());
            sqlite3_reset(chat.get());
            const int members = group ? 3 + static_cast<int>(random.Below(5)) : 1;
            for (int m = 0; m < members; ++m) {
                sqlite3_bind_int(member.get(), 1, i);
                sqlite3_bind_int64(
                    member.get(), 2,
                    group ? 1 + static_cast<std::int64_t>(random.Below(kPeople)) : i);
                sqlite3_step(member.get());
                sqlite3_reset(member.get());
            }
        }
    }
    const Statement message = Prepare(
        raw,
        "INSERT INTO message (guid, text, handle_id, date, is_from_me, attributedBody, "
        "associated_message_type, cache_has_attachments) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, "
        "?8)");
    const Statement joined = Prepare(raw, "INSERT INTO chat_message_join VALUES (?1, ?2, 0)");
    const Statement attachment =
        Prepare(raw,
                "INSERT INTO attachment (filename, mime_type, transfer_name) VALUES (?1, "
                "'image/jpeg', ?2)");
    const Statement attached = Prepare(raw, "INSERT INTO message_attachment_join VALUES (?1, ?2)");
    std::int64_t attachments = 0;
    for (int i = 1; i <= messages; ++i) {
        const bool group = random.Below(10) == 0;
        const std::int64_t chat =
            group ? kPeople + 1 + static_cast<std::int64_t>(random.Below(kGroups))
                  : 1 + static_cast<std::int64_t>(random.Below(kPeople));
        const bool fromMe = random.Below(2) == 0;
        const bool picture = random.Below(20) == 0;
        const bool reaction = random.Below(50) == 0;
        std::string text;
        for (std::uint64_t n = 1 + random.Below(3); n > 0; --n) {
            text.append(kPhrases[random.Below(std::size(kPhrases))]).append(n > 1 ? " " : "");
        }
        if (picture) {
            text += "\xEF\xBF\xBC";
        }
        const std::string guid = "G" + std::to_string(i);
        sqlite3_bind_text(message.get(), 1, guid.c_str(), -1, SQLITE_TRANSIENT);
        const bool archivedOnly = random.Below(5) == 0;
        const std::string blob = Archived(text);
        if (archivedOnly) {
            sqlite3_bind_null(message.get(), 2);
        } else {
            sqlite3_bind_text(message.get(), 2, text.c_str(), -1, SQLITE_TRANSIENT);
        }
        sqlite3_bind_int64(message.get(), 3,
                           fromMe ? 0 : 1 + static_cast<std::int64_t>(random.Below(kPeople)));
        // 2015 to 2024, in nanoseconds since 2001.
        const std::int64_t when = 1420070400 + static_cast<std::int64_t>(random.Below(315360000));
        sqlite3_bind_int64(message.get(), 4, (when - kAppleEpoch) * 1000000000);
        sqlite3_bind_int(message.get(), 5, fromMe ? 1 : 0);
        sqlite3_bind_blob(message.get(), 6, blob.data(), static_cast<int>(blob.size()),
                          SQLITE_TRANSIENT);
        sqlite3_bind_int(message.get(), 7, reaction ? 2001 : 0);
        sqlite3_bind_int(message.get(), 8, picture ? 1 : 0);
        sqlite3_step(message.get());
        sqlite3_reset(message.get());
        sqlite3_bind_int64(joined.get(), 1, chat);
        sqlite3_bind_int(joined.get(), 2, i);
        sqlite3_step(joined.get());
        sqlite3_reset(joined.get());
        if (picture) {
            const std::string name = "IMG_" + std::to_string(i) + ".JPG";
            const std::string file = "~/Library/SMS/Attachments/00/00/X/" + name;
            sqlite3_bind_text(attachment.get(), 1, file.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(attachment.get(), 2, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(attachment.get());
            sqlite3_reset(attachment.get());
            sqlite3_bind_int(attached.get(), 1, i);
            sqlite3_bind_int64(attached.get(), 2, ++attachments);
            sqlite3_step(attached.get());
            sqlite3_reset(attached.get());
        }
    }
    return Exec(raw, "COMMIT");
}

bool MakeBackup(const fs::path& dir, int messages, std::uint64_t seed) {
    constexpr std::string_view kHash = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
    fs::create_directories(dir / "3d");
    if (!MakeStore(dir / "3d" / kHash, messages, seed)) {
        return false;
    }
    sqlite3* raw = nullptr;
    if (sqlite3_open((dir / "Manifest.db").c_str(), &raw) != SQLITE_OK) {
        sqlite3_close(raw);
        return false;
    }
    const std::unique_ptr<sqlite3, Close> db(raw);
    const std::string files =
        "CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, flags "
        "INTEGER, file BLOB); INSERT INTO Files VALUES ('" +
        std::string(kHash) + "', 'HomeDomain', 'Library/SMS/sms.db', 1, NULL);";
    if (!Exec(raw, files.c_str())) {
        return false;
    }
    std::FILE* info = std::fopen((dir / "Info.plist").c_str(), "wb");
    if (info == nullptr) {
        return false;
    }
    std::fputs(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
        "\t<key>Device Name</key>\n\t<string>测试的 iPhone</string>\n"
        "\t<key>Last Backup Date</key>\n\t<date>2024-02-29T12:00:00Z</date>\n"
        "</dict>\n</plist>\n",
        info);
    return std::fclose(info) == 0;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    int messages = 100000;
    int runs = 5;
    std::uint64_t seed = 20090318;
    fs::path dir;
    bool backup = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--backup") {
            backup = true;
        } else if (arg == "--messages" && i + 1 < argc) {
            messages = std::atoi(argv[++i]);
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (arg == "--seed" && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else {
            dir = arg;
        }
    }
    if (dir.empty() || messages <= 0 || runs <= 0) {
        std::fprintf(stderr,
                     "usage: quillbox_bench_iphone [--messages N] [--runs R] [--seed S] DIR\n");
        return 2;
    }
    if (backup) {
        return MakeBackup(dir, messages, seed) ? 0 : 1;
    }
    const fs::path store =
        dir / ("sms-" + std::to_string(seed) + "-" + std::to_string(messages) + ".db");
    if (!fs::exists(store)) {
        fs::create_directories(dir);
        const fs::path partial = store.string() + ".partial";
        fs::remove(partial);
        if (!MakeStore(partial, messages, seed)) {
            std::fprintf(stderr, "could not write %s\n", partial.c_str());
            return 1;
        }
        fs::rename(partial, store);
    }
    quillbox::ReadSettings settings;
    settings.zone = *quillbox::TimeZone::FromName("Asia/Shanghai");
    std::vector<double> wall;
    std::vector<double> cpu;
    std::size_t read = 0;
    std::size_t reactions = 0;
    for (int run = 0; run <= runs; ++run) {
        quillbox::Items items;
        const double cpuBefore = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        const auto result = quillbox::ReadMessageStore(
            quillbox::sqlite::FilesBeside(store.native()), settings, items);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (result.refused) {
            std::fprintf(stderr, "refused: %s\n", result.detail.c_str());
            return 1;
        }
        read = result.read;
        reactions = result.reactions;
        if (run > 0) {  // the first warms the page cache
            wall.push_back(took.count());
            cpu.push_back(CpuSeconds() - cpuBefore);
        }
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    const double median = wall[wall.size() / 2];
    std::printf("iPhone store, one thread: %d records (%zu messages, %zu reactions), %.1f MiB\n",
                messages, read, reactions,
                static_cast<double>(fs::file_size(store)) / (1024.0 * 1024.0));
    std::printf("  wall median %.3f s, min %.3f s; CPU median %.3f s over %d runs\n", median,
                wall.front(), cpu[cpu.size() / 2], runs);
    std::printf("  target under 0.5 s: %s\n", median < 0.5 ? "holds" : "missed");
    return 0;
}
