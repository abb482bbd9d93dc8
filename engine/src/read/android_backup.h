// SPDX-License-Identifier: MIT
#pragma once

// The XML files of the Android app "SMS Backup & Restore": a root <smses> of <sms> and <mms>
// elements, read streamed with Expat behind XmlStreamFilter, whatever the file's size.

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "read/base64_stream.h"
#include "read/reader.h"

namespace quillbox {

// What the first bytes of an .xml file say it is, by its root element.
enum class XmlRoot : std::uint8_t { Messages, CallLog, Other, Doctype };
XmlRoot ExamineXmlHead(std::string_view head);

// The next bytes of a backup into the area: fewer only at its end, none on a read error.
using ChunkSource = std::function<std::optional<std::size_t>(std::span<char>)>;

struct BackupStream {
    ChunkSource next;
    // The bytes Expat is handed at a time: a megabyte, which with what Expat keeps of the last
    // ones fits a buffer of 1 MiB. The file is read in pieces of up to readBytes.
    std::size_t parseBytes = 1000 * 1000;
    std::size_t readBytes = 256 * 1024;
    // Where the attachments' bytes go; counted and dropped when none.
    PartDataSink* attachments = nullptr;
};

// Reads a backup from its source into items, its instants shown in the settings' zone.
ReadResult ReadAndroidBackup(const BackupStream& stream, const ReadSettings& settings,
                             std::string& scratch, Items& items);

// The reader of InputKind::AndroidBackup.
ReadResult ReadAndroidBackupFile(Input& input, Items& items);

}  // namespace quillbox
