// SPDX-License-Identifier: MIT
#include "read/iphone_backup.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "order/conversation.h"
#include "platform/codec.h"
#include "read/field_normalisation.h"
#include "read/plist.h"
#include "read/typedstream.h"
#include "read/vformat_text.h"

namespace quillbox {

namespace {

using sqlite::Database;
using sqlite::DatabaseFiles;
using sqlite::Failure;

constexpr std::string_view kHomeDomain = "HomeDomain";
constexpr std::string_view kMediaDomain = "MediaDomain";
constexpr std::string_view kMessagesPath = "Library/SMS/sms.db";
constexpr std::string_view kAddressBookPath = "Library/AddressBook/AddressBook.sqlitedb";
// The names of those files in every backup: SHA-1 of "HomeDomain-" and the path.
constexpr std::string_view kMessagesHash = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
constexpr std::string_view kAddressBookHash = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";

// Apple's reference date, 2001-01-01 UTC, in seconds since 1970.
constexpr std::int64_t kAppleEpoch = 978307200;
// message.date counts seconds before iOS 11 and nanoseconds since; as seconds, a value this
// large would be thousands of years away.
constexpr std::int64_t kNanosecondDates = 100'000'000'000;
// chat.style of a group conversation (45 is a conversation of two).
constexpr std::int64_t kGroupStyle = 43;
// associated_message_type of reactions ("tapbacks") and their removal.
constexpr std::int64_t kFirstReaction = 2000;
constexpr std::int64_t kLastReaction = 3007;
// ABMultiValue.property of a card's telephone numbers and e-mail addresses.
constexpr std::int64_t kPhoneProperty = 3;
constexpr std::int64_t kEmailProperty = 4;
// Where an attachment sat in a message's text.
constexpr std::string_view kObjectReplacement = "\xEF\xBF\xBC";
// A backup's Info.plist and Manifest.plist are a few kilobytes.
constexpr std::size_t kLargestPlist = 4 * 1024 * 1024;

platform::NativeString Native(std::string_view ascii) {
    return platform::NativeString(ascii.begin(), ascii.end());
}

platform::NativeString InFolder(platform::NativeView folder, std::string_view ascii) {
    platform::NativeString path(folder);
    path += Native(ascii);
    return path;
}

std::int64_t FloorDivide(std::int64_t value, std::int64_t by) {
    const std::int64_t quotient = value / by;
    return quotient * by > value ? quotient - 1 : quotient;
}

std::int64_t UnixSeconds(std::int64_t date) {
    if (date > kNanosecondDates || date < -kNanosecondDates) {
        date = FloorDivide(date, 1'000'000'000);
    }
    return date + kAppleEpoch;
}

// Text as the engine keeps it: valid UTF-8, no zero, no CR.
std::string CleanText(std::string_view bytes) {
    std::string text = platform::Utf8Lenient(bytes);
    vformat::DropZeros(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            out.push_back(text[i]);
        } else if (i + 1 == text.size() || text[i + 1] != '\n') {
            out.push_back('\n');
        }
    }
    return out;
}

// A name on one line, without control characters: a group's name is part of its party.
std::string OneLine(std::string_view bytes) {
    std::string text = platform::Utf8Lenient(bytes);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    return std::string(vformat::Trim(text));
}

// A handle as the other party: an e-mail address as it is, a number cleaned and normalised as
// every other --modern number.
std::string PartyOf(std::string_view handle) {
    const std::string line = OneLine(handle);
    if (line.find('@') != std::string::npos) {
        return line;
    }
    const std::string cleaned = vformat::CleanNumber(line);
    return std::string(NormalizedNumber(cleaned));
}

bool IsHexName(std::string_view id) {
    return id.size() == 40 && std::all_of(id.begin(), id.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
           });
}

// A hashed file of the backup: below its two-digit folder since iOS 10, flat before.
std::optional<platform::NativeString> HashedFile(platform::NativeView folder, std::string_view id) {
    if (!IsHexName(id)) {
        return std::nullopt;
    }
    platform::NativeString path(folder);
    path += Native(id.substr(0, 2));
    path += platform::kPathSeparator;
    path += Native(id);
    if (platform::RegularFileSize(path)) {
        return path;
    }
    path = InFolder(folder, id);
    if (platform::RegularFileSize(path)) {
        return path;
    }
    return std::nullopt;
}

// An attachment's path below the phone's home, as a backup's manifest lists it:
// "~/Library/SMS/Attachments/…" as "Library/SMS/Attachments/…".
std::string_view HomeRelative(std::string_view phonePath) {
    for (const std::string_view home : {"~/", "/var/mobile/", "/private/var/mobile/"}) {
        if (phonePath.starts_with(home)) {
            phonePath.remove_prefix(home.size());
            break;
        }
    }
    return phonePath;
}

// The backup's Manifest.db: which hashed file holds which path of the phone.
class Manifest {
public:
    explicit Manifest(platform::NativeView folder) : folder_(folder) {
        if (db_.Open(sqlite::FilesBeside(InFolder(folder, "Manifest.db"))) &&
            db_.Tables().contains("Files")) {
            if (auto lookup = db_.Prepare(
                    "SELECT fileID FROM Files WHERE domain = ?1 AND relativePath = ?2 LIMIT 1")) {
                lookup_.emplace(std::move(*lookup));
            }
        }
    }

    // An encrypted backup's manifest is no SQLite file.
    bool Encrypted() const { return db_.LastFailure() == Failure::NotDatabase; }

    // An attachment is kept in MediaDomain, or by older systems in HomeDomain.
    std::optional<platform::NativeString> AttachmentFile(std::string_view phonePath) {
        const std::string_view path = HomeRelative(phonePath);
        for (const std::string_view domain : {kMediaDomain, kHomeDomain}) {
            if (auto file = FileOf(domain, path)) {
                return file;
            }
        }
        return std::nullopt;
    }

    std::optional<platform::NativeString> FileOf(std::string_view domain, std::string_view path) {
        if (!lookup_) {
            return std::nullopt;
        }
        std::optional<platform::NativeString> file;
        lookup_->Bind(1, domain);
        lookup_->Bind(2, path);
        if (lookup_->Step()) {
            file = HashedFile(folder_, lookup_->Text(0));
        }
        lookup_->Reset();
        return file;
    }

private:
    platform::NativeView folder_;
    Database db_;
    std::optional<sqlite::Statement> lookup_;
};

struct Attachment {
    std::string name;
    std::string path;  // where the phone keeps it
    std::string type;
    bool image = false;
};

// Beside a bare store: its folder holds what the phone (or a Mac) keeps beside it, as a copy
// of Library/SMS (Library/Messages on a Mac) does. No ".." climbs out of that folder.
std::optional<platform::NativeString> BesideStore(platform::NativeView folder,
                                                  std::string_view phonePath) {
    std::string_view below;
    for (const std::string_view home : {"Library/SMS/", "Library/Messages/"}) {
        if (const auto at = phonePath.find(home); at != std::string_view::npos) {
            below = phonePath.substr(at + home.size());
            break;
        }
    }
    if (below.empty()) {
        return std::nullopt;
    }
    platform::NativeString path(folder);
    for (std::string_view rest = below; !rest.empty();) {
        const auto slash = rest.find('/');
        const std::string_view name = rest.substr(0, slash);
        rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
        if (name.empty() || name == "." || name == ".." ||
            name.find_first_of("\\:") != std::string_view::npos) {
            return std::nullopt;
        }
        path += platform::NativeFromUtf8(name);
        if (!rest.empty()) {
            path += platform::kPathSeparator;
        }
    }
    if (!platform::RegularFileSize(path)) {
        return std::nullopt;
    }
    return path;
}

bool StartsWithAsciiCase(std::string_view text, std::string_view lower) {
    return text.size() >= lower.size() &&
           std::equal(lower.begin(), lower.end(), text.begin(), [](char want, char got) {
               return want == (got >= 'A' && got <= 'Z' ? static_cast<char>(got - 'A' + 'a') : got);
           });
}

// The message's text with a line for each attachment where U+FFFC marks it, and one for each
// attachment that no mark places; lines, where given, gets each attachment's line.
std::string BodyWithAttachments(const std::string& text, const std::vector<Attachment>* files,
                                std::vector<std::uint32_t>* lines = nullptr) {
    if (files == nullptr || files->empty()) {
        if (text.find(kObjectReplacement) == std::string::npos) {
            return text;
        }
    }
    std::string body;
    std::size_t next = 0;
    bool lineEnds = false;
    const auto addLine = [&](const Attachment& file) {
        if (!body.empty() && body.back() != '\n') {
            body.push_back('\n');
        }
        if (lines != nullptr) {
            lines->push_back(
                static_cast<std::uint32_t>(std::count(body.begin(), body.end(), '\n')));
        }
        body.append(file.image ? "[图片：" : "[附件：").append(file.name).append("]");
        lineEnds = true;
    };
    std::string_view rest = text;
    for (;;) {
        const std::size_t mark = rest.find(kObjectReplacement);
        const std::string_view piece = rest.substr(0, mark);
        // Text between two attachments that is only white space is no line of its own.
        if (piece.find_first_not_of(" \t\n") != std::string_view::npos) {
            if (lineEnds && piece.front() != '\n') {
                body.push_back('\n');
            }
            body.append(piece);
            lineEnds = false;
        }
        if (mark == std::string_view::npos) {
            break;
        }
        if (files != nullptr && next < files->size()) {
            addLine((*files)[next++]);
        }
        rest.remove_prefix(mark + kObjectReplacement.size());
    }
    for (; files != nullptr && next < files->size(); ++next) {
        addLine((*files)[next]);
    }
    return body;
}

struct Chat {
    std::int64_t style = 0;
    std::string name;
    std::string identifier;
    std::vector<std::int64_t> members;  // handle ids
    std::optional<std::string> party;   // made when a message first needs it
};

class StoreReader {
public:
    StoreReader(const ReadSettings& settings, Items& items, ReadResult& result,
                const AttachmentFiles& attachmentFiles)
        : settings_(settings), items_(items), result_(result), attachmentFiles_(attachmentFiles) {}

    void Read(const DatabaseFiles& files, std::chrono::milliseconds statementTime,
              SkipReason noSqlite) {
        if (!db_.Open(files, statementTime, settings_.cancel)) {
            Refuse(noSqlite);
            return;
        }
        const auto tables = db_.Tables();
        if (db_.LastFailure() != Failure::None) {
            Refuse(noSqlite);
            return;
        }
        // Only tables are read: a "message" that is a view (which would run the schema's own
        // query) is no message store. The triggers that every real sms.db has on message never
        // run: the connection only reads, with triggers off.
        if (!tables.contains("message") || !tables.contains("handle")) {
            result_.refused = SkipReason::NotMessageDatabase;
            return;
        }
        const auto columns = db_.Columns("message");
        for (const std::string_view needed : {"handle_id", "is_from_me", "date"}) {
            if (!columns.contains(std::string(needed))) {
                result_.refused = SkipReason::NotMessageDatabase;
                result_.detail = "message." + std::string(needed);
                return;
            }
        }
        if (!ReadHandles() || !ReadChats(tables) || !ReadAttachments(tables)) {
            Refuse(noSqlite);
            return;
        }
        ReadMessages(columns);
    }

private:
    // The whole input gave nothing, for the database's reason.
    void Refuse(SkipReason noSqlite) {
        switch (db_.LastFailure()) {
            case Failure::NotDatabase:
                result_.refused = noSqlite;
                break;
            // A stopped run drops what its readers gave: the reason is never seen.
            case Failure::TooSlow:
            case Failure::Cancelled:
                result_.refused = SkipReason::TooSlow;
                break;
            case Failure::CannotCopy:
                result_.refused = SkipReason::ReadError;
                result_.systemError = db_.SystemError();
                break;
            case Failure::Damaged:
            case Failure::None:
                result_.refused = SkipReason::DamagedDatabase;
                break;
        }
        result_.detail = db_.FailureText();
    }

    bool ReadHandles() {
        auto query = db_.Prepare("SELECT rowid, id FROM handle");
        while (query && query->Step()) {
            handles_.emplace(query->Int(0), PartyOf(query->Text(1)));
        }
        return db_.LastFailure() == Failure::None;
    }

    bool ReadChats(const std::unordered_set<std::string>& tables) {
        if (!tables.contains("chat") || !tables.contains("chat_message_join")) {
            return true;
        }
        const auto columns = db_.Columns("chat");
        const auto column = [&](const char* name, const char* otherwise) {
            return columns.contains(name) ? std::string(name) : std::string(otherwise);
        };
        auto chats = db_.Prepare("SELECT rowid, " + column("style", "0") + ", " +
                                 column("display_name", "NULL") + ", " +
                                 column("chat_identifier", "NULL") + " FROM chat");
        while (chats && chats->Step()) {
            Chat& chat = chats_[chats->Int(0)];
            chat.style = chats->Int(1);
            chat.name = OneLine(chats->Text(2));
            chat.identifier = chats->Text(3);
        }
        if (tables.contains("chat_handle_join")) {
            auto members = db_.Prepare("SELECT chat_id, handle_id FROM chat_handle_join");
            while (members && members->Step()) {
                if (const auto chat = chats_.find(members->Int(0)); chat != chats_.end()) {
                    chat->second.members.push_back(members->Int(1));
                }
            }
        }
        // A message in several chats (which iOS does not make) is read in the first.
        auto joins = db_.Prepare(
            "SELECT message_id, chat_id FROM chat_message_join ORDER BY chat_id, message_id");
        while (joins && joins->Step()) {
            chatOf_.emplace(joins->Int(0), joins->Int(1));
        }
        return db_.LastFailure() == Failure::None;
    }

    bool ReadAttachments(const std::unordered_set<std::string>& tables) {
        if (!tables.contains("attachment") || !tables.contains("message_attachment_join")) {
            return true;
        }
        const auto columns = db_.Columns("attachment");
        const auto column = [&](const char* name) {
            return columns.contains(name) ? "a." + std::string(name) : std::string("NULL");
        };
        auto query =
            db_.Prepare("SELECT j.message_id, " + column("transfer_name") + ", " +
                        column("filename") + ", " + column("mime_type") + ", " + column("uti") +
                        " FROM message_attachment_join j JOIN attachment a ON "
                        "a.rowid = j.attachment_id ORDER BY j.message_id, a.rowid");
        while (query && query->Step()) {
            Attachment file;
            file.name = OneLine(query->Text(1));
            if (file.name.empty()) {
                std::string path = OneLine(query->Text(2));
                file.name = path.substr(path.find_last_of('/') + 1);
            }
            if (file.name.empty()) {
                file.name = "?";
            }
            const std::string_view mime = query->Text(3);
            const std::string_view uti = query->Text(4);
            file.path = query->Text(2);
            file.type = mime;
            file.image = StartsWithAsciiCase(mime, "image/") ||
                         (mime.empty() && (StartsWithAsciiCase(uti, "public.jpeg") ||
                                           StartsWithAsciiCase(uti, "public.png") ||
                                           StartsWithAsciiCase(uti, "public.heic") ||
                                           StartsWithAsciiCase(uti, "com.compuserve.gif")));
            attachments_[query->Int(0)].push_back(std::move(file));
        }
        return db_.LastFailure() == Failure::None;
    }

    // The party of a group chat: its members' numbers and its own name.
    const std::string& GroupOf(Chat& chat) {
        if (!chat.party) {
            std::vector<std::string> members;
            for (const std::int64_t handle : chat.members) {
                if (const auto found = handles_.find(handle);
                    found != handles_.end() && !found->second.empty()) {
                    members.push_back(found->second);
                }
            }
            chat.party = GroupParty(std::move(members), chat.name);
        }
        return *chat.party;
    }

    // The other party of a message: its chat's, for a group; its handle's, or where a sent
    // message names none (handle_id 0), its chat's one member.
    std::string_view OtherParty(std::int64_t message, std::int64_t handle, bool& group) {
        Chat* chat = nullptr;
        if (const auto joined = chatOf_.find(message); joined != chatOf_.end()) {
            if (const auto found = chats_.find(joined->second); found != chats_.end()) {
                chat = &found->second;
            }
        }
        group = chat != nullptr &&
                (chat->style == kGroupStyle || (handle == 0 && chat->members.size() > 1));
        if (group) {
            return GroupOf(*chat);
        }
        if (const auto found = handles_.find(handle); found != handles_.end()) {
            return found->second;
        }
        if (chat != nullptr) {
            if (chat->members.size() == 1) {
                if (const auto found = handles_.find(chat->members.front());
                    found != handles_.end()) {
                    return found->second;
                }
            }
            if (!chat->party) {
                chat->party = PartyOf(chat->identifier);
            }
            return *chat->party;
        }
        return {};
    }

    void ReadMessages(const std::unordered_set<std::string>& columns) {
        const auto column = [&](const char* name, const char* otherwise) {
            return columns.contains(name) ? std::string(name) : std::string(otherwise);
        };
        auto query = db_.Prepare(
            "SELECT rowid, " + column("text", "NULL") + ", " + column("attributedBody", "NULL") +
            ", handle_id, is_from_me, date, " + column("associated_message_type", "0") + ", " +
            column("item_type", "0") + " FROM message ORDER BY rowid");
        std::size_t index = 0;
        bool longNumbers = false;
        for (; query && !settings_.Cancelled() && query->Step(); ++index) {
            const std::int64_t reaction = query->Int(6);
            // Reactions, and the records of a group's changes (item_type other than 0), are no
            // messages.
            if ((reaction >= kFirstReaction && reaction <= kLastReaction) || query->Int(7) != 0) {
                ++result_.reactions;
                continue;
            }
            const std::int64_t rowid = query->Int(0);
            std::string_view raw = query->Text(1);
            if (query->IsNull(1)) {
                // iOS 16 and later often keep the text in attributedBody alone.
                raw = TypedStreamText(query->Blob(2)).value_or(std::string_view());
            }
            text_ = CleanText(raw);
            const auto attached = attachments_.find(rowid);
            const std::vector<Attachment>* files =
                attached != attachments_.end() ? &attached->second : nullptr;
            lines_.clear();
            std::string body = BodyWithAttachments(text_, files, &lines_);
            while (!body.empty() && body.back() == '\n') {
                body.pop_back();
            }
            const bool sent = query->Int(4) != 0;
            const std::int64_t handle = query->Int(3);
            bool group = false;
            const std::string_view party = OtherParty(rowid, handle, group);
            std::string_view author;
            if (group && !sent) {
                if (const auto found = handles_.find(handle); found != handles_.end()) {
                    author = found->second;
                }
            }
            if ((!group && party.size() > kLongestNumber) || author.size() > kLongestNumber ||
                party.size() > MessageStore::kLongestParty) {
                AddSkip(result_.skipped, index, SkipReason::NumberTooLong);
                longNumbers = true;
                continue;
            }
            const MessageTime time = settings_.zone.ToLocal(UnixSeconds(query->Int(5)));
            const std::string stored = settings_.media != nullptr && files != nullptr
                                           ? CopyFiles(*files, index)
                                           : std::string();
            items_.messages.Add({party, author, body, time, TimeKey(time), sent, stored});
            ++result_.read;
        }
        if (db_.LastFailure() != Failure::None) {
            // What was read before stays; the rest of the table is one skip.
            const SkipReason reason = db_.LastFailure() == Failure::TooSlow
                                          ? SkipReason::TooSlow
                                          : SkipReason::DamagedDatabase;
            if (result_.read == 0 && result_.reactions == 0 && result_.skipped.empty()) {
                result_.refused = reason;
                result_.detail = db_.FailureText();
                return;
            }
            AddSkip(result_.skipped, index, reason);
            result_.skipped.back().detail = db_.FailureText();
        }
        if (longNumbers) {
            SortSkips(result_.skipped);
        }
    }

    // The attachments of a message copied into the media store, listed for the message; each
    // that is missing or cannot be read is skipped.
    std::string CopyFiles(const std::vector<Attachment>& files, std::size_t index) {
        std::string list;
        for (std::size_t i = 0; i < files.size() && i < lines_.size(); ++i) {
            const Attachment& file = files[i];
            const auto path = attachmentFiles_ && !file.path.empty()
                                  ? attachmentFiles_(file.path)
                                  : std::optional<platform::NativeString>();
            if (!path) {
                result_.skipped.push_back({index, 1, SkipReason::AttachmentMissing, file.name});
                continue;
            }
            const auto stored = CopyFile(*path, file.type);
            if (!stored) {
                result_.skipped.push_back({index, 1, SkipReason::AttachmentDamaged, file.name});
                continue;
            }
            AppendAttachment(list, {lines_[i], 1, stored->size, stored->name});
        }
        return list;
    }

    std::optional<MediaStore::Stored> CopyFile(const platform::NativeString& path,
                                               std::string_view type) {
        platform::InputFile file;
        if (file.Open(path, platform::EntryKind::Unchecked, std::nullopt) !=
            platform::InputFile::Outcome::Opened) {
            return std::nullopt;
        }
        MediaStore& media = *settings_.media;
        MediaStore::Incoming incoming = media.Begin();
        copy_.resize(256 * 1024);
        for (;;) {
            const auto got = file.ReadChunk({copy_.data(), copy_.size()});
            if (!got) {
                return std::nullopt;
            }
            incoming.Write({copy_.data(), *got});
            if (*got < copy_.size()) {
                break;
            }
        }
        return media.Keep(std::move(incoming), type);
    }

    const ReadSettings& settings_;
    Items& items_;
    ReadResult& result_;
    const AttachmentFiles& attachmentFiles_;
    std::vector<std::uint32_t> lines_;
    std::string copy_;
    Database db_;
    std::unordered_map<std::int64_t, std::string> handles_;
    std::unordered_map<std::int64_t, Chat> chats_;
    std::unordered_map<std::int64_t, std::int64_t> chatOf_;
    std::unordered_map<std::int64_t, std::vector<Attachment>> attachments_;
    std::string text_;
};

ReadResult ReadStore(const DatabaseFiles& files, const ReadSettings& settings, Items& items,
                     std::chrono::milliseconds statementTime, SkipReason noSqlite,
                     const AttachmentFiles& attachmentFiles) {
    ReadResult result;
    result.instants = true;
    StoreReader(settings, items, result, attachmentFiles).Read(files, statementTime, noSqlite);
    return result;
}

bool HasIdeograph(std::string_view text) {
    while (!text.empty()) {
        const char32_t cp = platform::TakeCodePoint(text);
        if ((cp >= 0x3400 && cp <= 0x9FFF) || (cp >= 0xF900 && cp <= 0xFAFF) ||
            (cp >= 0x20000 && cp <= 0x3FFFF)) {
            return true;
        }
    }
    return false;
}

std::string CardName(std::string_view first, std::string_view last, std::string_view company) {
    const std::string given = OneLine(first);
    const std::string family = OneLine(last);
    if (given.empty() && family.empty()) {
        return OneLine(company);
    }
    if (given.empty() || family.empty()) {
        return given + family;
    }
    // 张 + 三: a Chinese name is written family name first, without a space.
    if (HasIdeograph(given) || HasIdeograph(family)) {
        return family + given;
    }
    return given + " " + family;
}

std::vector<PlistValue> ReadPlistFile(const platform::NativeString& path) {
    platform::InputFile file;
    std::string bytes;
    if (file.Open(path, platform::EntryKind::Unchecked, std::nullopt) !=
            platform::InputFile::Outcome::Opened ||
        file.ReadWhole(bytes, kLargestPlist) != platform::InputFile::WholeRead::Read) {
        return {};
    }
    return ReadPlistValues(bytes);
}

// "张三的 iPhone，2023-05-01 16:00": the device's name and, in the run's zone, the backup's date.
std::string SourceName(platform::NativeView folder, const TimeZone& zone) {
    const auto info = ReadPlistFile(InFolder(folder, "Info.plist"));
    std::string name;
    for (const std::string_view key : {"Device Name", "Display Name", "Product Name"}) {
        if (const PlistValue* value = FindPlistValue(info, key); value && name.empty()) {
            name = OneLine(value->text);
        }
    }
    if (name.empty()) {
        name = "iPhone";
    }
    if (const PlistValue* date = FindPlistValue(info, "Last Backup Date"); date && date->date) {
        const MessageTime t = zone.ToLocal(*date->date);
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", static_cast<int>(t.year),
                      static_cast<int>(t.month), static_cast<int>(t.day), static_cast<int>(t.hour),
                      static_cast<int>(t.minute));
        name.append("，").append(text);
    }
    return name;
}

}  // namespace

ReadResult ReadMessageStore(const DatabaseFiles& files, const ReadSettings& settings, Items& items,
                            std::chrono::milliseconds statementTime,
                            const AttachmentFiles& attachments) {
    return ReadStore(files, settings, items, statementTime, SkipReason::NotMessageDatabase,
                     attachments);
}

ReadResult ReadIphoneDatabase(Input& input, Items& items) {
    const platform::NativeView folder = input.folder;
    return ReadMessageStore(
        sqlite::FilesBeside(input.Path()), input.settings, items, Database::kStatementTime,
        [folder](std::string_view phonePath) { return BesideStore(folder, phonePath); });
}

ReadResult ReadIphoneBackup(Input& input, Items& items) {
    const platform::NativeView folder = input.folder;
    ReadResult result;
    // Nothing of an encrypted backup can be read; nothing is guessed.
    const auto status = ReadPlistFile(InFolder(folder, "Manifest.plist"));
    const PlistValue* encrypted = FindPlistValue(status, "IsEncrypted");
    if (encrypted != nullptr && encrypted->text == "true") {
        result.refused = SkipReason::EncryptedBackup;
        return result;
    }
    Manifest manifest(folder);
    if (input.name == Native("Manifest.db") && manifest.Encrypted()) {
        result.refused = SkipReason::EncryptedBackup;
        return result;
    }
    auto messages = manifest.FileOf(kHomeDomain, kMessagesPath);
    if (!messages) {
        messages = HashedFile(folder, kMessagesHash);
    }
    if (!messages) {
        result.refused = SkipReason::NotMessageDatabase;
        result.detail = "HomeDomain/" + std::string(kMessagesPath);
        return result;
    }
    DatabaseFiles files{*messages, {}, {}};
    // A backup keeps a -wal of the store, where it has one, as a file of its own.
    if (auto wal = manifest.FileOf(kHomeDomain, std::string(kMessagesPath) + "-wal")) {
        files.wal = std::move(*wal);
    }
    const std::size_t namesBefore = items.names.size();
    result = ReadStore(
        files, input.settings, items, Database::kStatementTime, SkipReason::EncryptedBackup,
        [&manifest](std::string_view phonePath) { return manifest.AttachmentFile(phonePath); });
    if (result.refused) {
        return result;
    }
    auto book = manifest.FileOf(kHomeDomain, kAddressBookPath);
    if (!book) {
        book = HashedFile(folder, kAddressBookHash);
    }
    if (book && !ReadAddressBook({*book, {}, {}}, items.names)) {
        items.names.resize(namesBefore);
    }
    result.source = SourceName(folder, input.settings.zone);
    return result;
}

bool ReadAddressBook(const DatabaseFiles& files, std::vector<ContactEntry>& names) {
    Database db;
    if (!db.Open(files)) {
        return false;
    }
    const auto tables = db.Tables();
    if (!tables.contains("ABPerson") || !tables.contains("ABMultiValue")) {
        return false;
    }
    const auto columns = db.Columns("ABPerson");
    const auto column = [&](const char* name) {
        return columns.contains(name) ? "p." + std::string(name) : std::string("NULL");
    };
    auto query = db.Prepare("SELECT v.property, v.value, " + column("First") + ", " +
                            column("Last") + ", " + column("Organization") +
                            " FROM ABMultiValue v JOIN ABPerson p ON p.rowid = v.record_id "
                            "WHERE v.property = 3 OR v.property = 4 ORDER BY p.rowid, v.rowid");
    while (query && query->Step()) {
        std::string name = CardName(query->Text(2), query->Text(3), query->Text(4));
        if (name.empty()) {
            continue;
        }
        const std::int64_t property = query->Int(0);
        std::string number =
            property == kPhoneProperty ? PartyOf(query->Text(1)) : OneLine(query->Text(1));
        if (number.empty() || number.size() > kLongestNumber ||
            (property != kPhoneProperty && property != kEmailProperty)) {
            continue;
        }
        names.push_back({std::move(name), std::move(number)});
    }
    return db.LastFailure() == Failure::None;
}

std::optional<platform::NativeString> BackupFileOf(platform::NativeView backupFolder,
                                                   std::string_view phonePath) {
    platform::NativeString folder(backupFolder);
    if (!platform::EndsWithSeparator(folder)) {
        folder += platform::kPathSeparator;
    }
    return Manifest(folder).AttachmentFile(phonePath);
}

}  // namespace quillbox
