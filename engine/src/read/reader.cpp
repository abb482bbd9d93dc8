// SPDX-License-Identifier: MIT
#include "read/reader.h"

#include <algorithm>

#include "read/android_backup.h"
#include "read/classic_reader.h"
#include "read/iphone_backup.h"
#include "read/vcard_parser.h"
#include "read/vmsg_parser.h"

namespace quillbox {

void AddSkip(std::vector<SkippedItems>& runs, std::size_t index, SkipReason reason) {
    if (!runs.empty()) {
        SkippedItems& last = runs.back();
        if (last.reason == reason && last.detail.empty() && last.index + last.count == index) {
            ++last.count;
            return;
        }
    }
    runs.push_back({index, 1, reason, {}});
}

void SortSkips(std::vector<SkippedItems>& runs) {
    std::stable_sort(runs.begin(), runs.end(), [](const SkippedItems& a, const SkippedItems& b) {
        return a.index < b.index;
    });
    std::vector<SkippedItems> joined;
    joined.reserve(runs.size());
    for (const SkippedItems& run : runs) {
        if (!joined.empty() && joined.back().reason == run.reason &&
            joined.back().detail == run.detail &&
            joined.back().index + joined.back().count == run.index) {
            joined.back().count += run.count;
        } else {
            joined.push_back(run);
        }
    }
    runs = std::move(joined);
}

std::optional<SkipReason> ReadWholeFile(Input& input, ReadResult& result) {
    switch (input.file.ReadWhole(input.scratch, kWholeFileLimit)) {
        case platform::InputFile::WholeRead::Read:
            return input.scratch.empty() ? std::optional(SkipReason::Empty) : std::nullopt;
        case platform::InputFile::WholeRead::TooLarge:
            return SkipReason::TooLarge;
        case platform::InputFile::WholeRead::Failed:
            break;
    }
    result.systemError = input.file.LastError();
    return SkipReason::ReadError;
}

Reader ReaderFor(InputKind kind) {
    switch (kind) {
        case InputKind::ClassicCard:
            return ReadClassicCard;
        case InputKind::ClassicMessage:
            return ReadClassicMessage;
        case InputKind::VCardFile:
            return ReadVCardFile;
        case InputKind::VMessageFile:
            return ReadVMessageFile;
        case InputKind::IphoneDatabase:
            return ReadIphoneDatabase;
        case InputKind::IphoneBackup:
            return ReadIphoneBackup;
        case InputKind::AndroidBackup:
            return ReadAndroidBackupFile;
    }
    return ReadClassicMessage;
}

}  // namespace quillbox
