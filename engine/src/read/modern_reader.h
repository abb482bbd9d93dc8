// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

#include "order/message_store.h"
#include "quillbox/archive.h"
#include "read/classic_reader.h"

namespace quillbox {

// The files --modern reads are read whole, up to this size.
inline constexpr std::size_t kModernFileLimit = 64 * 1024 * 1024;

// What one file gave: the cards or messages read, and the blocks skipped with their index.
struct BlockTally {
    std::size_t read = 0;
    std::vector<std::pair<std::size_t, SkipReason>> skipped;
};

// Every card of a vCard file: one entry per number of each card read (the name as code page 936
// text or UTF-8, the number normalised). None when the file gave something; NoBlock when it holds
// no card.
ReadOutcome ReadModernCards(std::string_view fileBytes, std::vector<ContactEntry>& entries,
                            BlockTally& tally, TextForm form = TextForm::CodePage936);
// Every message of a vMessage file into the store, sent ones marked, under the other party.
ReadOutcome ReadModernMessages(std::string_view fileBytes, MessageStore& store, BlockTally& tally);

}  // namespace quillbox
