// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "platform/platform.h"
#include "read/reader.h"
#include "scan/folder_scan.h"

namespace quillbox {

// What one listed input gave when it was read.
struct InputOutcome {
    platform::InputFile::Outcome open = platform::InputFile::Outcome::CannotOpen;
    int openError = 0;
    std::optional<platform::FileId> id;
    ReadResult result;
    // What the input added to its chunk's items: cards [cardsBegin, cardsEnd), messages
    // [messagesBegin, messagesEnd), a backup's names [namesBegin, namesEnd).
    std::size_t cardsBegin = 0;
    std::size_t cardsEnd = 0;
    std::size_t messagesBegin = 0;
    std::size_t messagesEnd = 0;
    std::size_t namesBegin = 0;
    std::size_t namesEnd = 0;
};

// A run of consecutive inputs of the list, read by one thread: an outcome per input, and the
// items they gave, in list order.
struct ReadChunk {
    std::size_t first = 0;  // the list index of the first input
    std::vector<InputOutcome> inputs;
    Items items;
};

// Reads every input of the list with the reader of its kind, on up to jobs threads (jobs 1: on
// the calling thread alone) and hands each chunk to take, on the calling thread and in list
// order, so that what is made of them does not depend on the threads. take returns false to
// stop: the inputs after that chunk are not taken, and no more are read. Once the settings say
// the run is cancelled, the inputs not yet read are left unread in their chunks, which take
// should then drop.
void ReadFiles(const FileList& list, const ReadSettings& settings, unsigned jobs,
               const std::function<bool(ReadChunk&)>& take);

}  // namespace quillbox
