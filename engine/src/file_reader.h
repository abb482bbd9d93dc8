#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "folder_scan.h"
#include "message_order.h"
#include "platform/platform.h"
#include "quillbox/archive.h"

namespace quillbox {

// How a run reads its input files; one object serves every file of a run.
class IFileReader {
public:
    virtual ~IFileReader() = default;
    // Fills the record from a message file; false, with the record untouched, when the file
    // cannot be read or does not hold the markers in order.
    virtual bool ReadMessage(MessageRecord* record, std::string path) = 0;
    // Appends one entry per telephone line of a card file; false when the file cannot be read
    // or a line it needs is incomplete (entries appended before then are to be discarded).
    virtual bool ReadContacts(std::vector<ContactEntry>* entries, std::string path) = 0;
};

class CFileReader final : public IFileReader {
public:
    bool ReadMessage(MessageRecord* record, std::string path) override;
    bool ReadContacts(std::vector<ContactEntry>* entries, std::string path) override;
};

// The reads of a run, as CFileReader's, for files of a scan's list through one reader. A message
// goes into the store, or nothing when it cannot be read.
bool ReadMessageFile(MessageStore& store, platform::FolderFileReader& files,
                     const ListedFile& file);
bool ReadContactsFile(std::vector<ContactEntry>& entries, platform::FolderFileReader& files,
                      const ListedFile& file);

// Only the head of a file is read: 2048 UTF-16 units of a message, 2048 bytes of a card.
inline constexpr std::size_t kMessageHeadUnits = 2048;
inline constexpr std::size_t kMessageNarrowBytes = 4096;
inline constexpr std::size_t kCardHeadBytes = 2048;

// The parsing halves of the two reads: a message file's head as read (UTF-16LE bytes), the same
// converted to code page 936, and a card's head after the text-mode read.
bool ParseMessageHead(std::span<const char> head, MessageRecord& record);
bool ParseMessageText(std::string_view text, MessageRecord& record);

// The parts of ParseMessageText's work: a head as code page 936 text in narrow (none when it
// holds no whole unit or does not fit), and where the fields stand in such a text, the number
// and the date as they are written.
std::optional<std::string_view> MessageHeadText(std::span<const char> head,
                                                std::span<char, kMessageNarrowBytes> narrow);
struct MessageFields {
    std::string_view number;
    std::string_view date;
    std::string_view body;
};
bool FindMessageFields(std::string_view text, MessageFields& fields);
bool ParseCardText(std::string_view text, std::vector<ContactEntry>& entries);

}  // namespace quillbox
