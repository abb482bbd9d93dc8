// SPDX-License-Identifier: MIT
#pragma once

// Every card of a whole .vcf file, vCard 2.1, 3.0 and 4.0, as address books export them today.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "read/reader.h"

namespace quillbox {

struct VCard {
    std::size_t index = 0;  // the card's place among the file's BEGIN:VCARD lines, from 0
    std::string name;       // UTF-8, one line
    // Every TEL of the card in its order, each once, as CleanNumber leaves it: not yet normalised
    // (NormalizeNumber is the caller's).
    std::vector<std::string> numbers;
};

// What the cards of one or more files gave; ParseVCards appends.
struct CardBatch {
    std::vector<VCard> cards;  // in file order
    std::vector<SkippedItems> skipped;
};

// Reads every BEGIN:VCARD ... END:VCARD block of a file's bytes. A card nested in an AGENT
// property is a card of its own, after its outer card; its lines are not the outer card's.
void ParseVCards(std::string_view fileBytes, CardBatch& out);

// The reader of InputKind::VCardFile: every card of the file read whole, one entry per number.
ReadResult ReadVCardFile(Input& input, Items& items);

}  // namespace quillbox
