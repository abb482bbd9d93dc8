// SPDX-License-Identifier: MIT
#pragma once

// The pages of an archive folder (--split): an index of every conversation, newest first, and a
// page of each conversation with its messages oldest first; HTML pages that read like a phone,
// the owner's messages on the right, or text in the archive's form. Attachments are in media/.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "order/contact_book.h"
#include "order/message_store.h"
#include "platform/platform.h"
#include "quillbox/archive.h"
#include "write/archive_groups.h"

namespace quillbox {

struct FolderLayout {
    ArchiveLayout layout;
    ArchiveEncoding encoding = ArchiveEncoding::Utf8;
    bool html = true;
};

// The folders of an archive folder.
inline constexpr std::string_view kConversationsFolder = "conversations";
inline constexpr std::string_view kMediaFolder = "media";

// The name of a conversation's page below the folder, "conversations/0001-张三.html": its
// number (which alone makes it unique), then its name as every file system takes it: no
// character that Windows, macOS or Linux refuses or a terminal acts on, no dot first, at most
// 60 bytes of it.
std::string ConversationFile(std::size_t number, std::string_view name, std::string_view extension);

// What the pages are: names below the folder, their bytes, and the system's error of a page
// that could not be written.
struct FolderPages {
    std::vector<std::string> names;
    std::uint64_t bytes = 0;
    int error = 0;
};

// Writes the index and a page of each conversation into folder (its path with the separator at
// the end; the conversations folder is there). The messages are put in conversation order.
// False when a page could not be written.
bool WriteFolderPages(platform::NativeView folder, MessageStore& messages, ContactBook& book,
                      const FolderLayout& layout, FolderPages& pages);

}  // namespace quillbox
