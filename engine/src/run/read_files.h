// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "order/message_store.h"
#include "platform/platform.h"
#include "quillbox/archive.h"
#include "read/classic_reader.h"
#include "read/modern_reader.h"
#include "read/text_form.h"
#include "scan/folder_scan.h"

namespace quillbox {

// What one listed file gave when it was read.
struct FileOutcome {
    platform::InputFile::Outcome open = platform::InputFile::Outcome::CannotOpen;
    std::optional<platform::FileId> id;
    ReadOutcome refused;  // the reason the whole file gave nothing
    int systemError = 0;
    // What the file added to its chunk: entries [begin, end) or messages [begin, end).
    std::size_t begin = 0;
    std::size_t end = 0;
    BlockTally tally;  // --modern: the cards or messages read and the blocks skipped
};

// A run of consecutive files of the list, read by one thread: an outcome per file, and the
// cards' entries or the messages the files gave, in list order.
struct ReadChunk {
    std::size_t first = 0;  // the list index of the first file
    std::vector<FileOutcome> files;
    std::vector<ContactEntry> entries;
    MessageStore messages;
};

struct ReadSettings {
    bool cards = false;  // card files, or message files
    bool modern = false;
    TextForm form = TextForm::CodePage936;
};

// Reads every file of the list on up to jobs threads (jobs 1: on the calling thread alone) and
// hands each chunk to take, on the calling thread and in list order, so that what is made of
// them does not depend on the threads. take returns false to stop: the files after that chunk
// are not taken, and no more are read.
void ReadFiles(const FileList& list, const ReadSettings& settings, unsigned jobs,
               const std::function<bool(ReadChunk&)>& take);

}  // namespace quillbox
