// SPDX-License-Identifier: MIT
#pragma once

// iPhone message stores and backup manifests as iOS lays them out, written with SQLite for the
// tests.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox::test {

namespace fs = std::filesystem;

inline constexpr std::int64_t kAppleEpoch = 978307200;

// 2023-05-01 08:00:00 UTC, 16:00 in Shanghai.
inline constexpr std::int64_t kMay1 = 1682928000;

struct Close {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};

// A database the test writes.
class Db {
public:
    explicit Db(const fs::path& path) {
        sqlite3* db = nullptr;
        const std::u8string name = path.u8string();
        EXPECT_EQ(sqlite3_open(reinterpret_cast<const char*>(name.c_str()), &db), SQLITE_OK);
        db_.reset(db);
        Exec("PRAGMA synchronous=OFF");
    }
    void Exec(const std::string& sql) {
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
            << sql << ": " << (error != nullptr ? error : "");
        sqlite3_free(error);
    }

private:
    std::unique_ptr<sqlite3, Close> db_;
};

inline std::string Quote(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c;
        if (c == '\'') {
            quoted += '\'';
        }
    }
    return quoted + "'";
}

inline std::string HexBlob(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string blob = "X'";
    for (const char c : bytes) {
        blob += kHex[static_cast<unsigned char>(c) >> 4];
        blob += kHex[static_cast<unsigned char>(c) & 0xF];
    }
    return blob + "'";
}
// The tables of sms.db, as iOS 17 has them (with a trigger, as every real one), or as iOS 10
// had them: dates in seconds, no attributedBody, reactions or group names.
enum class Ios { V10, V17 };

class MessageStoreFile {
public:
    MessageStoreFile(const fs::path& path, Ios ios) : db_(path), ios_(ios) {
        const bool v17 = ios == Ios::V17;
        db_.Exec(
            "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT "
            "NULL, service TEXT);"
            "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT, text "
            "TEXT, handle_id INTEGER DEFAULT 0, date INTEGER, is_from_me INTEGER DEFAULT 0" +
            std::string(v17 ? ", attributedBody BLOB, associated_message_type INTEGER "
                              "DEFAULT 0, item_type INTEGER DEFAULT 0"
                            : "") +
            ");"
            "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT, style "
            "INTEGER, chat_identifier TEXT" +
            std::string(v17 ? ", display_name TEXT" : "") +
            ");"
            "CREATE TABLE chat_handle_join (chat_id INTEGER, handle_id INTEGER);"
            "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER, PRIMARY KEY "
            "(chat_id, message_id));"
            "CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, filename TEXT, "
            "mime_type TEXT, transfer_name TEXT);"
            "CREATE TABLE message_attachment_join (message_id INTEGER, attachment_id "
            "INTEGER);"
            "CREATE TRIGGER after_delete_on_message AFTER DELETE ON message BEGIN DELETE FROM "
            "chat_message_join WHERE message_id = OLD.ROWID; END;");
    }

    std::int64_t Handle(std::string_view id) {
        db_.Exec("INSERT INTO handle (id) VALUES (" + Quote(id) + ")");
        return ++handles_;
    }
    std::int64_t Chat(int style, std::string_view name, const std::vector<std::int64_t>& members) {
        db_.Exec("INSERT INTO chat (style, chat_identifier" +
                 std::string(ios_ == Ios::V17 ? ", display_name" : "") + ") VALUES (" +
                 std::to_string(style) + ", 'chat" + std::to_string(chats_ + 1) + "'" +
                 (ios_ == Ios::V17 ? ", " + Quote(name) : "") + ")");
        ++chats_;
        for (const std::int64_t member : members) {
            db_.Exec("INSERT INTO chat_handle_join VALUES (" + std::to_string(chats_) + ", " +
                     std::to_string(member) + ")");
        }
        return chats_;
    }

    struct Row {
        explicit Row(std::int64_t from) : handle(from) {}
        Row& Text(std::string_view t) { return text = t, *this; }
        Row& Archived(std::string_view blob) { return attributedBody = blob, *this; }
        Row& At(std::int64_t when) { return unixTime = when, *this; }
        Row& FromMe() { return fromMe = true, *this; }
        Row& In(std::int64_t id) { return chat = id, *this; }
        Row& Reaction(int type) { return reaction = type, *this; }

        std::int64_t handle = 0;
        std::int64_t unixTime = kMay1;
        std::optional<std::string> text;
        bool fromMe = false;
        std::int64_t chat = 0;
        std::string attributedBody;  // empty: NULL
        int reaction = 0;
    };
    std::int64_t Message(const Row& row) {
        const std::int64_t since2001 = row.unixTime - kAppleEpoch;
        const std::string date =
            ios_ == Ios::V17 ? std::to_string(since2001) + "000000000" : std::to_string(since2001);
        std::string columns = "handle_id, date, is_from_me, text";
        std::string values = std::to_string(row.handle) + ", " + date + ", " +
                             (row.fromMe ? "1" : "0") + ", " +
                             (row.text ? Quote(*row.text) : "NULL");
        if (ios_ == Ios::V17) {
            columns += ", attributedBody, associated_message_type";
            values += ", " + (row.attributedBody.empty() ? "NULL" : HexBlob(row.attributedBody)) +
                      ", " + std::to_string(row.reaction);
        }
        db_.Exec("INSERT INTO message (" + columns + ") VALUES (" + values + ")");
        ++messages_;
        if (row.chat != 0) {
            db_.Exec("INSERT INTO chat_message_join VALUES (" + std::to_string(row.chat) + ", " +
                     std::to_string(messages_) + ")");
        }
        return messages_;
    }
    void Attach(std::int64_t message, std::string_view name, std::string_view mime) {
        db_.Exec("INSERT INTO attachment (filename, mime_type, transfer_name) VALUES (" +
                 Quote("~/Library/SMS/Attachments/ab/12/X/" + std::string(name)) + ", " +
                 Quote(mime) + ", " + Quote(name) + ")");
        ++attachments_;
        db_.Exec("INSERT INTO message_attachment_join VALUES (" + std::to_string(message) + ", " +
                 std::to_string(attachments_) + ")");
    }
    Db& Raw() { return db_; }

private:
    Db db_;
    Ios ios_;
    std::int64_t handles_ = 0;
    std::int64_t chats_ = 0;
    std::int64_t messages_ = 0;
    std::int64_t attachments_ = 0;
};

using Row = MessageStoreFile::Row;

inline void WriteManifest(const fs::path& folder,
                          const std::vector<std::array<std::string, 3>>& rows) {
    Db manifest(folder / "Manifest.db");
    manifest.Exec(
        "CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, flags "
        "INTEGER, file BLOB)");
    for (const auto& [id, domain, path] : rows) {
        manifest.Exec("INSERT INTO Files VALUES (" + Quote(id) + ", " + Quote(domain) + ", " +
                      Quote(path) + ", 1, NULL)");
    }
}

}  // namespace quillbox::test
