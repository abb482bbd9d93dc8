#pragma once

#include <cstdint>
#include <string>

namespace quillbox {

// The order of the archive, carried as the dialog's by-date flag.
enum class SortOrder : bool {
    BySender = false,  // "发件人": senders in descending byte order, each newest first
    ByDate = true,     // "日期": newest first
};

// One parsed message. Every text is code page 936, as the whole engine keeps it.
struct MessageRecord {
    std::string sender;    // normalised number
    std::string body;      // lines separated by LF, no final LF
    std::string dateText;  // display date, year first
    std::uint64_t dateKey = 0;
};

// One telephone line of a contact card with the card's name.
struct ContactEntry {
    std::string name;
    std::string number;
};

// Why a run returned false, for front ends that can show more than the dialog's one message.
struct RunFailure {
    enum class Stage { None, EmptyOutputPath, OpenOutput, WriteOutput };
    Stage stage = Stage::None;
    int systemError = 0;  // errno, or GetLastError() on Windows; 0 when unknown
};

// Reads every card and message file below the two folders and writes one archive to
// outputPath, replacing it. The paths are code page 936 text (see NarrowText). True when the
// archive was written whole; false for an empty output path, an output file that cannot be
// created, or a write or close that failed. Unreadable input files are skipped silently.
bool GenerateArchive(std::string messageFolder, bool recurseMessages, std::string contactsFolder,
                     bool recurseContacts, std::string outputPath, bool html, SortOrder order,
                     RunFailure* failure = nullptr);

}  // namespace quillbox
