// SPDX-License-Identifier: MIT
#pragma once

// What every reader of read/ follows. The run opens each input the scan listed and hands it to
// the reader of its kind; the reader decodes what it keeps into the engine's text once (UTF-8,
// numeric times), appends the cards or messages to the chunk's Items, and says in a ReadResult
// how many it read and which it skipped, by their place in the input, or why the whole input
// gave nothing.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "order/contact_book.h"
#include "order/media_store.h"
#include "order/message_store.h"
#include "platform/platform.h"
#include "quillbox/archive.h"
#include "read/time_zone.h"

namespace quillbox {

// What a listed input is, by its name: which reader reads it.
enum class InputKind : std::uint8_t {
    ClassicCard,     // a .vcf of the classic format: the head of one card
    ClassicMessage,  // a .vmg of the classic format: the head of one message
    VCardFile,       // --modern: a .vcf/.vcard of any number of cards
    VMessageFile,    // --modern: a .vmg/.vmsg of any number of messages
    IphoneDatabase,  // --modern: a bare sms.db or chat.db
    IphoneBackup,    // --modern: an iTunes/Finder backup folder, listed by its manifest
    AndroidBackup,   // --modern: an .xml file, read when it is an Android message backup
};

// Adds a skip to runs, extending the last run where the skip follows it for the same reason, so
// that a file of a million damaged blocks costs one run.
void AddSkip(std::vector<SkippedItems>& runs, std::size_t index, SkipReason reason);
// Puts runs added out of order in order, joining those that then follow each other.
void SortSkips(std::vector<SkippedItems>& runs);

struct ReadResult {
    // Why the whole input gave nothing; none when it was read.
    std::optional<SkipReason> refused;
    int systemError = 0;  // the system's error number of a read that failed
    std::string detail;   // what a library said of the refusal
    std::size_t read = 0;
    std::vector<SkippedItems> skipped;
    // Records that are no messages (a reaction to one), left out and counted.
    std::size_t reactions = 0;
    // A backup's own name for the people, such as its device and date; empty for other files.
    std::string source;
    // Its times are instants, shown in the run's zone (which the report then names).
    bool instants = false;
    // A classic reader's input that today's readers would read whole: several messages or
    // cards, or UTF-8 text where UTF-16 was expected.
    bool looksModern = false;
};

// Where the readers of one chunk of inputs put what they read.
struct Items {
    // Card files' entries: each card's name and its numbers, normalised.
    CardEntries cards;
    MessageStore messages;
    // The names a backup gives the numbers of its messages (its address book, or a message's
    // own contact name); the cards name a number first.
    std::vector<ContactEntry> names;
};

// What the run tells every reader.
struct ReadSettings {
    // The zone a backup's instants are shown in.
    TimeZone zone = TimeZone::Utc();
    // Set when the run is stopped. Readers of inputs that take long (a backup of gigabytes, a
    // large database) look at it as they go and end early; what they give then is dropped.
    const std::atomic<bool>* cancel = nullptr;
    bool Cancelled() const { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }
    // For an archive folder: where the attachments go, each noted on its message. None: an
    // attachment is only named by its line in the text.
    MediaStore* media = nullptr;
};

// What a reader is handed: the input, open, where it lies (for readers that open more: a
// database, a backup folder's files), the run's settings, and a buffer to reuse from input to
// input.
struct Input {
    platform::InputFile& file;
    platform::NativeView folder;  // with its separator at the end
    platform::NativeView name;
    const ReadSettings& settings;
    std::string& scratch;

    platform::NativeString Path() const {
        platform::NativeString path(folder);
        return path.append(name);
    }
};

using Reader = ReadResult (*)(Input& input, Items& items);

// The readers of today's exports read a file whole, up to this size, into input.scratch; a
// file of no byte is Empty.
inline constexpr std::size_t kWholeFileLimit = 64 * 1024 * 1024;
std::optional<SkipReason> ReadWholeFile(Input& input, ReadResult& result);

// A number no phone writes; a longer one is no number, and its message is skipped.
inline constexpr std::size_t kLongestNumber = 500;

// The reader of each kind.
Reader ReaderFor(InputKind kind);

}  // namespace quillbox
