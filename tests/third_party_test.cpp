// SPDX-License-Identifier: MIT
// Expat and SQLite as the engine links them: Debian's shared libraries on Linux, the static ones
// built from Debian's sources for Windows.
#include <expat.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "test_files.h"

namespace quillbox::test {
namespace {

struct ParserFree {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};
using Parser = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserFree>;

struct Seen {
    std::vector<std::string> elements;
    std::vector<std::string> bodies;
};

void OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* seen = static_cast<Seen*>(data);
    seen->elements.emplace_back(name);
    for (; attributes[0] != nullptr; attributes += 2) {
        if (std::string_view(attributes[0]) == "body") {
            seen->bodies.emplace_back(attributes[1]);
        }
    }
}

// Feeds the document through Expat's own buffer a few bytes at a time, as a file is streamed:
// tags and characters get cut between buffers.
XML_Status Parse(XML_Parser parser, std::string_view document) {
    constexpr std::size_t chunk = 5;
    for (std::size_t at = 0;; at += chunk) {
        const std::size_t length = std::min(chunk, document.size() - at);
        void* buffer = XML_GetBuffer(parser, static_cast<int>(chunk));
        if (buffer == nullptr) {
            return XML_STATUS_ERROR;
        }
        std::memcpy(buffer, document.data() + at, length);
        const bool last = at + chunk >= document.size();
        if (XML_ParseBuffer(parser, static_cast<int>(length), last ? 1 : 0) != XML_STATUS_OK) {
            return XML_STATUS_ERROR;
        }
        if (last) {
            return XML_STATUS_OK;
        }
    }
}

TEST(Expat, HeaderMatchesTheLinkedLibrary) {
    const XML_Expat_Version linked = XML_ExpatVersionInfo();
    EXPECT_EQ(linked.major, XML_MAJOR_VERSION);
    EXPECT_EQ(linked.minor, XML_MINOR_VERSION);
    EXPECT_EQ(linked.micro, XML_MICRO_VERSION);
}

TEST(Expat, ParsesADocumentFedInBuffers) {
    const Parser parser(XML_ParserCreate("UTF-8"));
    ASSERT_NE(parser.get(), nullptr);
    Seen seen;
    XML_SetUserData(parser.get(), &seen);
    XML_SetStartElementHandler(parser.get(), OnStart);
    const std::string_view document =
        "<?xml version='1.0' encoding='UTF-8'?>\n"
        "<smses count=\"2\">\n"
        "  <sms body=\"a &amp; b &#x1F600;\"/>\n"
        "  <sms body=\"你好\"/>\n"
        "</smses>\n";
    ASSERT_EQ(Parse(parser.get(), document), XML_STATUS_OK)
        << XML_ErrorString(XML_GetErrorCode(parser.get()));
    EXPECT_EQ(seen.elements, (std::vector<std::string>{"smses", "sms", "sms"}));
    EXPECT_EQ(seen.bodies, (std::vector<std::string>{"a & b \xF0\x9F\x98\x80", "你好"}));
}

TEST(Expat, ReportsWhereABrokenDocumentFails) {
    const Parser parser(XML_ParserCreate(nullptr));
    ASSERT_NE(parser.get(), nullptr);
    EXPECT_EQ(Parse(parser.get(), "<smses>\n  <sms></smses>\n"), XML_STATUS_ERROR);
    EXPECT_EQ(XML_GetErrorCode(parser.get()), XML_ERROR_TAG_MISMATCH);
    EXPECT_EQ(XML_GetCurrentLineNumber(parser.get()), 2u);
    // Columns count from 0: Expat points at the end tag's name, after "  <sms></".
    EXPECT_EQ(XML_GetCurrentColumnNumber(parser.get()), 9u);
    EXPECT_STREQ(XML_ErrorString(XML_ERROR_TAG_MISMATCH), "mismatched tag");
}

struct Close {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Database = std::unique_ptr<sqlite3, Close>;

Database Open(const std::string& name, int flags) {
    sqlite3* db = nullptr;
    const int status = sqlite3_open_v2(name.c_str(), &db, flags, nullptr);
    Database owned(db);
    EXPECT_EQ(status, SQLITE_OK) << name << ": " << sqlite3_errmsg(db);
    if (status != SQLITE_OK) {
        owned.reset();
    }
    return owned;
}

int Execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// The first column of the first row, as text.
std::string Query(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        return std::string("error: ") + sqlite3_errmsg(db);
    }
    std::string text;
    if (sqlite3_step(statement) == SQLITE_ROW) {
        text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    }
    sqlite3_finalize(statement);
    return text;
}

// A URI file name: "file:" and the absolute path with its slashes, anything else percent-encoded.
std::string FileUri(const std::filesystem::path& path) {
    const std::u8string generic = path.generic_u8string();
    std::string uri = "file:";
    if (generic.empty() || generic.front() != u8'/') {
        uri += '/';  // a Windows drive: file:/C:/...
    }
    for (const char8_t c : generic) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') ||
            std::string_view("-._~/:").find(static_cast<char>(byte)) != std::string_view::npos) {
            uri += static_cast<char>(byte);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            uri += escaped;
        }
    }
    return uri;
}

TEST(Sqlite, HeaderMatchesTheLinkedLibraryAndThreadsMayShareIt) {
    EXPECT_EQ(sqlite3_libversion_number(), SQLITE_VERSION_NUMBER);
    EXPECT_NE(sqlite3_threadsafe(), 0);
}

TEST(Sqlite, StoresAndReadsInMemory) {
    const Database db = Open(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    ASSERT_NE(db, nullptr);
    ASSERT_EQ(Execute(db.get(),
                      "CREATE TABLE message (text TEXT);"
                      "INSERT INTO message VALUES ('你好'), ('second');"),
              SQLITE_OK);
    EXPECT_EQ(Query(db.get(), "SELECT count(*) FROM message"), "2");
    EXPECT_EQ(Query(db.get(), "SELECT text FROM message ORDER BY rowid LIMIT 1"), "你好");
}

// A backup's database is only read: opened immutable, SQLite writes no journal, no write-ahead
// log and no shared-memory file beside it, even for a database in WAL mode in a folder it may
// write to. The name needs escaping in the URI, and is UTF-8 as the engine's names are.
TEST(Sqlite, OpensAFileReadOnlyAndImmutableThroughAUri) {
    const TempDir dir;
    const auto file = dir / "短信 100%.db";
    {
        const Database db = Open(reinterpret_cast<const char*>(file.u8string().c_str()),
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        ASSERT_NE(db.get(), nullptr);
        ASSERT_EQ(Query(db.get(), "PRAGMA journal_mode=WAL"), "wal");
        ASSERT_EQ(Execute(db.get(),
                          "CREATE TABLE message (text TEXT);"
                          "INSERT INTO message VALUES ('kept');"),
                  SQLITE_OK);
    }
    const auto listing = [&dir] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
            const std::u8string name = entry.path().filename().u8string();
            names.emplace_back(name.begin(), name.end());
        }
        return names;
    };
    const std::vector<std::string> alone{"短信 100%.db"};
    ASSERT_EQ(listing(), alone);

    Database db =
        Open(FileUri(file) + "?mode=ro&immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    ASSERT_NE(db.get(), nullptr);
    EXPECT_EQ(Query(db.get(), "SELECT text FROM message"), "kept");
    EXPECT_EQ(Execute(db.get(), "INSERT INTO message VALUES ('new')"), SQLITE_READONLY);
    EXPECT_EQ(sqlite3_db_readonly(db.get(), "main"), 1);
    EXPECT_EQ(listing(), alone);
    db.reset();
    EXPECT_EQ(listing(), alone);
}

}  // namespace
}  // namespace quillbox::test
