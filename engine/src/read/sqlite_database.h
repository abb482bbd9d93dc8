// SPDX-License-Identifier: MIT
#pragma once

// SQLite as the readers of backups use it: a database of the user's opened read-only and
// immutable, so that nothing is ever written beside it, and handled as the crafted input it may
// be. Handles are owned here; sqlite3.h stays out of the other units.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "platform/platform.h"

struct sqlite3;
struct sqlite3_stmt;

namespace quillbox::sqlite {

// A database file and the files beside it that may hold its newest pages.
struct DatabaseFiles {
    platform::NativeString path;
    platform::NativeString wal;      // its write-ahead log ("-wal")
    platform::NativeString journal;  // its rollback journal ("-journal")
};
// The files beside path that SQLite itself would look for.
DatabaseFiles FilesBeside(platform::NativeView path);

// Why a database gave no more.
enum class Failure : std::uint8_t {
    None,
    NotDatabase,  // no SQLite file (or an encrypted one)
    Damaged,      // SQLite's own verdict, or any other error of a read
    TooSlow,      // a statement ran past its time and was ended
    Cancelled,    // the run was stopped while a statement ran
    CannotCopy,   // a -wal or journal beside it could not be taken with a copy
};

class Database;

class Statement {
public:
    Statement(Statement&& other) noexcept
        : statement_(std::exchange(other.statement_, nullptr)), owner_(other.owner_) {}
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement& operator=(Statement&&) = delete;
    ~Statement();

    void Bind(int index, std::string_view text);
    // Back to before the first step, the bindings cleared, to be stepped again.
    void Reset();
    // True for a row; false at the end, or on a failure that the database then tells.
    bool Step();
    bool IsNull(int column) const;
    std::int64_t Int(int column) const;
    // The bytes as stored; empty for NULL.
    std::string_view Text(int column) const;
    std::string_view Blob(int column) const;

private:
    friend class Database;
    Statement(sqlite3_stmt* statement, Database& owner) : statement_(statement), owner_(&owner) {}

    sqlite3_stmt* statement_;
    Database* owner_;
};

class Database {
public:
    // How long one statement may run before it is ended.
    static constexpr std::chrono::milliseconds kStatementTime{20'000};

    Database() = default;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    ~Database();

    // Opens the database read-only and immutable; where a non-empty -wal or journal lies
    // beside it, a copy of the three files in a private folder instead, which takes what they
    // hold. False, with the reason in LastFailure, when it cannot be opened or read. Once cancel
    // is set, every statement ends at its next look at the clock.
    bool Open(const DatabaseFiles& files, std::chrono::milliseconds statementTime = kStatementTime,
              const std::atomic<bool>* cancel = nullptr);

    // None on a failure (LastFailure says which).
    std::optional<Statement> Prepare(std::string_view sql);
    // The names of the objects the schema lists as tables; empty on a failure.
    std::unordered_set<std::string> Tables();
    // A table's column names, as PRAGMA table_info gives them.
    std::unordered_set<std::string> Columns(std::string_view table);

    Failure LastFailure() const { return failure_; }
    // SQLite's own words for the failure, or the system's.
    const std::string& FailureText() const { return failureText_; }
    int SystemError() const { return systemError_; }

private:
    friend class Statement;
    static int Progress(void* database);
    bool Stopped() const { return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed); }
    // Notes the failure of the last call, by SQLite's result code.
    void Failed(int code);

    platform::PrivateFolder copy_;  // outlives the connection to the copy in it
    sqlite3* db_ = nullptr;
    std::chrono::milliseconds statementTime_ = kStatementTime;
    std::chrono::steady_clock::time_point deadline_;
    const std::atomic<bool>* cancel_ = nullptr;
    Failure failure_ = Failure::None;
    std::string failureText_;
    int systemError_ = 0;
};

}  // namespace quillbox::sqlite
