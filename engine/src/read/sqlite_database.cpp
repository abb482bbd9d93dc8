// SPDX-License-Identifier: MIT
#include "read/sqlite_database.h"

#include <sqlite3.h>

namespace quillbox::sqlite {

namespace {

// Longer than any message, address or archived body a phone stores; a crafted row past it is
// refused by SQLite instead of filling the memory.
constexpr int kLongestValue = 16 * 1024 * 1024;
// How many virtual machine steps go by between two looks at the clock.
constexpr int kStepsPerLook = 4096;

platform::NativeString WithSuffix(platform::NativeView path, std::string_view suffix) {
    platform::NativeString result(path);
    for (const char c : suffix) {
        result.push_back(static_cast<platform::NativeChar>(c));
    }
    return result;
}

bool HasBytes(const platform::NativeString& path) {
    if (path.empty()) {
        return false;
    }
    const auto size = platform::RegularFileSize(path);
    return size && *size > 0;
}

}  // namespace

DatabaseFiles FilesBeside(platform::NativeView path) {
    return {platform::NativeString(path), WithSuffix(path, "-wal"), WithSuffix(path, "-journal")};
}

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

void Statement::Bind(int index, std::string_view text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

void Statement::Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

bool Statement::Step() {
    const int code = sqlite3_step(statement_);
    if (code == SQLITE_ROW) {
        return true;
    }
    if (code != SQLITE_DONE) {
        owner_->Failed(code);
    }
    return false;
}

bool Statement::IsNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::int64_t Statement::Int(int column) const {
    return sqlite3_column_int64(statement_, column);
}

std::string_view Statement::Text(int column) const {
    const auto* text = sqlite3_column_text(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return text != nullptr ? std::string_view(reinterpret_cast<const char*>(text),
                                              static_cast<std::size_t>(size))
                           : std::string_view();
}

std::string_view Statement::Blob(int column) const {
    const void* blob = sqlite3_column_blob(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return blob != nullptr
               ? std::string_view(static_cast<const char*>(blob), static_cast<std::size_t>(size))
               : std::string_view();
}

Database::~Database() {
    sqlite3_close_v2(db_);
}

int Database::Progress(void* database) {
    auto* self = static_cast<Database*>(database);
    return self->Stopped() || std::chrono::steady_clock::now() > self->deadline_ ? 1 : 0;
}

void Database::Failed(int code) {
    switch (code & 0xFF) {
        case SQLITE_NOTADB:
            failure_ = Failure::NotDatabase;
            break;
        case SQLITE_INTERRUPT:
            failure_ = Stopped() ? Failure::Cancelled : Failure::TooSlow;
            break;
        default:
            failure_ = Failure::Damaged;
            break;
    }
    failureText_ = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
}

bool Database::Open(const DatabaseFiles& files, std::chrono::milliseconds statementTime,
                    const std::atomic<bool>* cancel) {
    statementTime_ = statementTime;
    cancel_ = cancel;
    std::string uri;
    int flags = SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX;
    // immutable=1 reads the main file alone: pages that a -wal or hot journal holds would be
    // missed (a Mac's live chat.db keeps its newest messages in chat.db-wal). Such a database
    // is read from a copy of the three files, opened normally so that SQLite takes them in.
    if (HasBytes(files.wal) || HasBytes(files.journal)) {
        const auto copyOf = [&](const platform::NativeString& from, std::string_view as) {
            platform::NativeString name;
            for (const char c : as) {
                name.push_back(static_cast<platform::NativeChar>(c));
            }
            return !HasBytes(from) || copy_.CopyIn(from, name);
        };
        if (!copy_.Create() || !copy_.CopyIn(files.path, WithSuffix({}, "copy.db")) ||
            !copyOf(files.wal, "copy.db-wal") || !copyOf(files.journal, "copy.db-journal")) {
            failure_ = Failure::CannotCopy;
            systemError_ = copy_.LastError();
            failureText_ = platform::SystemErrorText(systemError_);
            return false;
        }
        uri = platform::FileUri(WithSuffix(copy_.Path(), "copy.db"));
        flags |= SQLITE_OPEN_READWRITE;
    } else {
        uri = platform::FileUri(files.path) + "?mode=ro&immutable=1";
        flags |= SQLITE_OPEN_READONLY;
    }
    const int code = sqlite3_open_v2(uri.c_str(), &db_, flags, nullptr);
    if (code != SQLITE_OK) {
        Failed(code);
        return false;
    }
    sqlite3_extended_result_codes(db_, 1);
    // A crafted schema runs nothing of its own: no triggers, no views, no functions it may
    // not call, no writes to the schema; lengths are bounded.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_limit(db_, SQLITE_LIMIT_LENGTH, kLongestValue);
    sqlite3_limit(db_, SQLITE_LIMIT_SQL_LENGTH, 1 << 20);
    sqlite3_limit(db_, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_limit(db_, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, 100);
    sqlite3_limit(db_, SQLITE_LIMIT_TRIGGER_DEPTH, 1);
    sqlite3_progress_handler(db_, kStepsPerLook, &Database::Progress, this);
    const char* const pragmas =
        "PRAGMA trusted_schema=OFF; PRAGMA query_only=ON; PRAGMA cell_size_check=ON;";
    deadline_ = std::chrono::steady_clock::now() + statementTime_;
    const int set = sqlite3_exec(db_, pragmas, nullptr, nullptr, nullptr);
    if (set != SQLITE_OK) {
        Failed(set);
        return false;
    }
    return true;
}

std::optional<Statement> Database::Prepare(std::string_view sql) {
    sqlite3_stmt* statement = nullptr;
    deadline_ = std::chrono::steady_clock::now() + statementTime_;
    const int code =
        sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, nullptr);
    if (code != SQLITE_OK || statement == nullptr) {
        sqlite3_finalize(statement);
        Failed(code != SQLITE_OK ? code : SQLITE_MISUSE);
        return std::nullopt;
    }
    return Statement(statement, *this);
}

std::unordered_set<std::string> Database::Tables() {
    std::unordered_set<std::string> tables;
    if (auto query = Prepare("SELECT name FROM sqlite_master WHERE type = 'table'")) {
        while (query->Step()) {
            tables.emplace(query->Text(0));
        }
    }
    return tables;
}

std::unordered_set<std::string> Database::Columns(std::string_view table) {
    std::unordered_set<std::string> columns;
    if (auto query = Prepare("SELECT name FROM pragma_table_info(?1)")) {
        query->Bind(1, table);
        while (query->Step()) {
            columns.emplace(query->Text(0));
        }
    }
    return columns;
}

}  // namespace quillbox::sqlite
