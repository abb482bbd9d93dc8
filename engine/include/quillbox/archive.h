// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox {

// The order of the archive, carried as the dialog's by-date flag.
enum class SortOrder : bool {
    BySender = false,  // "发件人": senders in descending byte order, each newest first
    ByDate = true,     // "日期": newest first
};

// The encoding an archive is written in. Gbk is the classic archive's code page 936, where a
// character it lacks becomes "?"; Gb18030 and Utf8 (without BOM) represent every character.
enum class ArchiveEncoding { Gbk, Gb18030, Utf8 };

// What the archive is: plain text, the classic HTML 4.01 page, or one self-contained HTML5 page
// with contents, search, light and dark colours, for today's browsers and phones.
enum class ArchiveForm { Text, ClassicHtml, ModernPage };

// Which files a run reads, and how.
enum class InputFormat {
    // .vcf cards and .vmg messages of the classic format, the head of each file, byte for byte
    // as always.
    Classic,
    // Today's exports: .vcf/.vcard files of many cards in vCard 2.1, 3.0 or 4.0, .vmg/.vmsg files
    // of many messages, sent ones too.
    Modern,
};

// A day as a message shows it.
struct CalendarDay {
    int year = 0;
    int month = 0;
    int day = 0;
    auto operator<=>(const CalendarDay&) const = default;
};

// What one run reads and writes. Paths are the system's own; an empty contacts folder means
// no cards. An output of "-" is standard output.
struct ArchiveRequest {
    std::filesystem::path messageFolder;
    bool recurseMessages = false;
    std::filesystem::path contactsFolder;
    bool recurseContacts = false;
    std::filesystem::path output;
    ArchiveForm form = ArchiveForm::Text;
    SortOrder order = SortOrder::BySender;
    InputFormat input = InputFormat::Classic;
    ArchiveEncoding encoding = ArchiveEncoding::Gbk;
    // Only messages of these days, both included, are written; the others count as filtered.
    std::optional<CalendarDay> since;
    std::optional<CalendarDay> until;
    // A message with the same other party, direction, date and text as one read before it is
    // left out, and counted as a duplicate.
    bool dedupe = false;
    // The zone the instants of Android and iPhone backups are shown in: an IANA name
    // ("Asia/Shanghai") or an offset ("+08:00"); empty for the computer's own. Other files
    // carry no zone: their times stay as written.
    std::string timeZone;
    // How many threads read the files: 0 for as many as the processors the process may use, 1
    // for the calling thread alone. The archive is the same whatever the number.
    unsigned jobs = 0;
    // Where the run's report goes as JSON (see ReportAsJson), written like the archive, on
    // success and on failure alike; empty for none.
    std::filesystem::path report;
    // The output is an archive folder: an index, a page of each conversation and the
    // attachments in media/ (Text: text pages; ClassicHtml and ModernPage: HTML pages). Only a
    // folder that Quillbox wrote, or an empty one, is replaced.
    bool split = false;
};

// Why a file found by the scan gave nothing to the archive.
enum class SkipReason : std::uint8_t {
    CannotOpen,        // the system refused to open it (see systemError)
    NotRegularFile,    // a fifo, a device, a socket named like an input file
    ReadError,         // opened, but a read failed
    SameFile,          // a file already read under another name
    Empty,             // no byte at all
    NotUtf16Text,      // a message file that is no UTF-16 text, or too long once converted
    NoTelLine,         // no "TEL:" marker
    NoLineEnd,         // a field without the line end that closes it
    NoBody,            // no "BEGIN:VBODY" line after the number
    NoDate,            // no "Date:" right after "BEGIN:VBODY"
    NoBodyEnd,         // no "END:VBODY"
    NoName,            // a card without a name line
    TelLineCut,        // a card's telephone line without ":" or line end
    UnreadableFolder,  // a sub-folder the system does not let the scan list (see systemError)
    PathTooLong,       // a file or sub-folder whose path is longer than the system takes
    // With --modern, for a file read whole or for one block in it:
    TooLarge,       // a file beyond the size read whole
    NoBlock,        // a file without any BEGIN:VCARD or BEGIN:VMSG block
    Cut,            // a block without its END line
    BadDate,        // a date in no form that reads
    Draft,          // a message from the drafts box: never sent
    NumberTooLong,  // a number longer than any phone writes
    MoreCards,      // the cards after the first of a classic card file: --modern reads them
    // With --modern, of backups:
    XmlError,            // XML that breaks the rules half-way (the detail says where)
    NotMessageBackup,    // an .xml file that is no backup of messages
    CallLog,             // a backup of calls, not of messages
    EncryptedBackup,     // an iPhone backup made with encryption on: nothing in it can be read
    NotMessageDatabase,  // a database without the message store's tables
    DamagedDatabase,     // SQLite found the database damaged (see detail)
    TooSlow,             // a query of a crafted database ran too long and was ended
    NoText,              // a message with neither text nor attachment
    // With --split, of a message's attachment (the detail names it); the message is written
    // with the line that names the attachment:
    AttachmentMissing,  // its bytes are not in the backup
    AttachmentDamaged,  // its bytes are cut or damaged, or could not be read
};
// A stable short name for reports: "cannot-open", "no-date", ...
std::string_view SkipReasonName(SkipReason reason);
// The reason in the program's language (UTF-8).
std::string_view SkipReasonText(SkipReason reason);

// Cards or messages of one file skipped for one reason: count of them in a row from the
// index-th, counted from 0 among the file's cards or messages.
struct SkippedItems {
    std::size_t index = 0;
    std::size_t count = 1;
    SkipReason reason = SkipReason::Cut;
    std::string detail;  // where in the file, or what the library said; empty for most
    bool operator==(const SkippedItems&) const = default;
};

// A file that gave nothing, or some of whose cards or messages were skipped.
struct SkippedFile {
    std::filesystem::path path;
    std::optional<SkipReason> reason;  // the whole file's
    int systemError = 0;               // the system's error number, where the system refused
    std::vector<SkippedItems> items;
    std::string detail;  // what the library said of the whole file; empty for most
};
// Why a file, or a run of its blocks (items), was skipped, for a person: the reason, the
// system's words and the detail where there are any, controls escaped.
std::string DescribeSkip(const SkippedFile& file, const SkippedItems* items);

// Why a run failed; nothing was written then, and an old archive is as it was.
struct RunFailure {
    enum class Stage {
        None,
        EmptyOutputPath,
        MessageFolderMissing,
        MessageFolderNotFolder,
        MessageFolderUnreadable,
        ContactsFolderMissing,
        ContactsFolderNotFolder,
        ContactsFolderUnreadable,
        OutputIsInput,    // path: the input file that the output (or the report) names
        ReportIsArchive,  // the report would replace the archive
        OutputProtected,  // an existing archive its owner may not write
        NoTemporaryFile,  // path: the folder that takes no new file
        OpenOutput,
        WriteOutput,
        ReplaceOutput,
        WriteReport,    // the report could not be written: the archive was not put in place
        ReplaceReport,  // the archive was written, its report could not be put in place
        Cancelled,      // the caller stopped the run (RunControl::cancel)
        // With split:
        OutputNotArchiveFolder,  // a file, a link or a folder Quillbox did not write is there
        OutputInsideInput,       // path: the input folder that holds the archive folder
        InputInsideOutput,       // path: the input folder that the archive folder holds
        ReportInArchiveFolder,   // the report would be inside the archive folder
    };
    Stage stage = Stage::None;
    int systemError = 0;  // errno, or GetLastError() on Windows; 0 when unknown
    std::filesystem::path path;
};
// A stable short name of a stage for reports: "message-folder-missing", ...
std::string_view FailureStageName(RunFailure::Stage stage);
// The failure in the program's language (UTF-8), naming the path and the system's reason.
std::string DescribeFailure(const RunFailure& failure);

// What a run read, skipped and wrote.
struct RunReport {
    struct Files {
        std::size_t found = 0;  // files the scan listed
        std::size_t read = 0;   // messages (cards) read from them: one a file of the classic format
        std::vector<SkippedFile> skipped;
        // With --since/--until and --dedupe: the messages outside the days, and those left out.
        std::optional<std::size_t> filtered;
        std::optional<std::size_t> duplicates;
        // Records of backups that are no messages (reactions), left out.
        std::size_t reactions = 0;
    };
    // A backup read, by its own name (a device and a date).
    struct Source {
        std::filesystem::path path;
        std::string name;
    };
    Files messages;
    Files cards;
    std::size_t contactEntries = 0;  // telephone lines of the cards read
    std::vector<Source> sources;
    std::string timeZone;  // the zone backups' instants were shown in, where any was read
    // A classic run's inputs that look like today's exports, which --modern reads: files of
    // several messages or cards or of UTF-8 text, and, by name alone, the message folder's
    // .vmsg and .xml files, sms.db, chat.db and backup folders.
    std::size_t modernExports = 0;
    std::filesystem::path archivePath;
    // An archive folder's pages and media by their names below it ("index.html",
    // "conversations/0001-张三.html", "media/<hash>.jpg"), and where an old archive folder that
    // held more than Quillbox wrote into it was kept (known once the folder is in place).
    struct Folder {
        std::vector<std::string> pages;
        std::vector<std::string> media;
        std::filesystem::path keptOld;
    };
    std::optional<Folder> folder;
    std::uint64_t bytesWritten = 0;
    std::size_t entriesWritten = 0;
    bool ok = false;
    RunFailure failure;
};

// How many files gave nothing, how many cards or messages were skipped inside the others, and
// how many attachments of messages written were not (in an archive folder).
struct SkipCounts {
    std::size_t files = 0;
    std::size_t items = 0;
    std::size_t attachments = 0;
};
SkipCounts CountSkips(const RunReport::Files& files);

// The report as one JSON object: {"ok": ..., "messages": {"found", "read", "skipped": [{"path",
// "reason"}]}, "cards": {..., "entries"}, "archive": {"path", "bytes", "entries"}} and, for a
// failed run, "error": {"stage", "reason", "path"}. Paths are UTF-8; one that the system spells
// with bytes that are no UTF-8 also has "path_hex", its bytes in hex.
std::string ReportAsJson(const RunReport& report);

// How far a run has come.
struct RunProgress {
    enum class Phase : std::uint8_t {
        Reading,  // done of total files read, the cards' first, then the messages'
        Writing,  // the archive of total messages is being written
    };
    Phase phase = Phase::Reading;
    std::size_t done = 0;
    std::size_t total = 0;
};

// How a caller watches a run and stops it; both are optional.
struct RunControl {
    // Called on the thread that runs GenerateArchive: once the files are listed, after each
    // group of files read, and when the writing starts. It must not throw.
    std::function<void(const RunProgress&)> progress;
    // Set, from any thread, to stop the run: it fails as Stage::Cancelled within a second, even
    // inside one large file, its temporary file removed and an old archive left as it was.
    const std::atomic<bool>* cancel = nullptr;
};

// Reads every card and message file below the two folders and writes one archive, replacing
// the output only with a whole new one. True when the archive was written whole; false, with
// the reason in the report, when a folder cannot be read, the output is one of the inputs or
// cannot be written, or the run was stopped. Input files that cannot be read are skipped and
// listed in the report.
bool GenerateArchive(const ArchiveRequest& request, RunReport* report = nullptr,
                     const RunControl& control = {});

// Whether a request's time zone names one: an IANA name or an offset such as "+08:00".
bool KnowsTimeZone(std::string_view name);

// A path for people: UTF-8, with U+FFFD for each byte that spells no character.
std::string DisplayPath(const std::filesystem::path& path);

}  // namespace quillbox
