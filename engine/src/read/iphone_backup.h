// SPDX-License-Identifier: MIT
#pragma once

// iPhone messages: the message store (sms.db; a Mac's chat.db has the same tables) bare or
// inside a backup folder as iTunes and Finder make it, with the names of the backup's address
// book. Every database is opened read-only and immutable: nothing is written beside a backup.

#include <chrono>
#include <functional>
#include <optional>
#include <string_view>

#include "platform/platform.h"
#include "read/reader.h"
#include "read/sqlite_database.h"

namespace quillbox {

// The reader of InputKind::IphoneDatabase: a bare sms.db or chat.db.
ReadResult ReadIphoneDatabase(Input& input, Items& items);

// The reader of InputKind::IphoneBackup: the backup folder whose manifest (Manifest.db, or
// Manifest.mbdb before iOS 10) the input is. Its source is the device's name and the backup's
// date from Info.plist.
ReadResult ReadIphoneBackup(Input& input, Items& items);

// Where the file of an attachment lies, by the path the phone gives it ("~/Library/SMS/
// Attachments/ab/12/<guid>/IMG_0001.HEIC"); none where it is not there.
using AttachmentFiles =
    std::function<std::optional<platform::NativeString>(std::string_view phonePath)>;

// The message store's messages into items, the backup's own name aside. With the settings'
// media store, each attachment is copied into it from where attachments finds it. statementTime
// bounds each query (tests shorten it).
ReadResult ReadMessageStore(
    const sqlite::DatabaseFiles& files, const ReadSettings& settings, Items& items,
    std::chrono::milliseconds statementTime = sqlite::Database::kStatementTime,
    const AttachmentFiles& attachments = {});

// The address book's names for its numbers and e-mail addresses into names: Chinese names family
// name first without a space, others given name first with one, the organization where a card
// has no name. False when the database is no address book.
bool ReadAddressBook(const sqlite::DatabaseFiles& files, std::vector<ContactEntry>& names);

// The backup's file that holds what the phone calls phonePath, such as an attachment's filename
// ("~/Library/SMS/Attachments/ab/12/<guid>/IMG_0001.HEIC"), as the backup's Manifest.db lists it
// (MediaDomain, then HomeDomain): folder/xx/<hash> or, in a flat backup, folder/<hash>. None where
// the manifest does not list it or the file is missing.
std::optional<platform::NativeString> BackupFileOf(platform::NativeView backupFolder,
                                                   std::string_view phonePath);

}  // namespace quillbox
