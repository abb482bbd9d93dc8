// SPDX-License-Identifier: MIT
#include "read/modern_reader.h"

#include "read/field_normalisation.h"
#include "read/vcard_parser.h"
#include "read/vmsg_parser.h"

namespace quillbox {

namespace {

SkipReason ReasonOf(CardSkip skip) {
    switch (skip) {
        case CardSkip::NoName:
            return SkipReason::NoName;
        case CardSkip::Cut:
            return SkipReason::Cut;
    }
    return SkipReason::Cut;
}

SkipReason ReasonOf(MessageSkip skip) {
    switch (skip) {
        case MessageSkip::NoDate:
            return SkipReason::NoDate;
        case MessageSkip::BadDate:
            return SkipReason::BadDate;
        case MessageSkip::NoBody:
            return SkipReason::NoBody;
        case MessageSkip::Draft:
            return SkipReason::Draft;
        case MessageSkip::Cut:
            return SkipReason::Cut;
    }
    return SkipReason::Cut;
}

// In the classic encoding a character the code page lacks becomes "?".
std::string InForm(std::string_view utf8, TextForm form) {
    if (form == TextForm::Utf8) {
        return std::string(utf8);
    }
    return Utf8ToLocal(utf8).value_or(std::string());
}

}  // namespace

ReadOutcome ReadModernCards(std::string_view fileBytes, std::vector<ContactEntry>& entries,
                            BlockTally& tally, TextForm form) {
    CardBatch batch;
    ParseVCards(fileBytes, batch);
    if (batch.cards.empty() && batch.skipped.empty()) {
        return SkipReason::NoBlock;
    }
    for (const VCard& card : batch.cards) {
        const std::string name = InForm(card.name, form);
        for (const std::string& number : card.numbers) {
            entries.push_back({name, NormalizeNumber(number)});
        }
    }
    tally.read += batch.cards.size();
    for (const SkippedCard& skipped : batch.skipped) {
        tally.skipped.emplace_back(skipped.index, ReasonOf(skipped.reason));
    }
    return std::nullopt;
}

ReadOutcome ReadModernMessages(std::string_view fileBytes, MessageStore& store, BlockTally& tally) {
    MessageBatch batch;
    ParseVMessages(fileBytes, batch);
    if (batch.messages.empty() && batch.skipped.empty()) {
        return SkipReason::NoBlock;
    }
    for (const VMessage& message : batch.messages) {
        DisplayDate date;
        const std::uint64_t key = ArchiveDate(message.date, date);
        store.Add(NormalizedNumber(message.number), date.View(), InForm(message.text, store.Form()),
                  key, message.direction == MessageDirection::Sent);
    }
    tally.read += batch.messages.size();
    for (const SkippedMessage& skipped : batch.skipped) {
        tally.skipped.emplace_back(skipped.index, ReasonOf(skipped.reason));
    }
    return std::nullopt;
}

}  // namespace quillbox
