// SPDX-License-Identifier: MIT
#pragma once

// The output of a run that writes an archive folder (--split): the folder built beside its
// place, the media store the readers fill while they read, and the pages.

#include <optional>

#include "order/contact_book.h"
#include "order/media_store.h"
#include "order/message_store.h"
#include "platform/platform.h"
#include "quillbox/archive.h"

namespace quillbox {

class ArchiveFolderOutput {
public:
    // Refuses an output inside an input folder or holding one, a report inside it, and what
    // Quillbox must not replace at its path; then makes the folder under its temporary name.
    std::optional<RunFailure> Open(const ArchiveRequest& request);
    // Where the readers put the attachments.
    MediaStore& Media() { return *media_; }
    // Writes the pages and makes the whole folder durable; the old folder is still in place.
    std::optional<RunFailure> Write(const ArchiveRequest& request, MessageStore& messages,
                                    ContactBook& book, RunReport& report);
    // Puts the folder in place; says in the report where an old folder was kept.
    std::optional<RunFailure> Replace(const ArchiveRequest& request, RunReport& report);

private:
    RunFailure FolderFailure(const ArchiveRequest& request) const;

    platform::ArchiveFolder folder_;
    std::optional<MediaStore> media_;
};

}  // namespace quillbox
