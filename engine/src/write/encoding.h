// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

#include "quillbox/archive.h"
#include "write/byte_sink.h"

namespace quillbox {

// The one place where the archive's bytes are made: every writer writes the engine's text
// (UTF-8, see platform/codec.h) and this sink passes it on in the archive's encoding.
//
// Gbk writes what the classic program wrote: "?" for every unit code page 936 lacks (so a
// character beyond the basic plane is "??"), and an escaped byte as that byte again.
// Gb18030 writes GB18030-2022 on every platform alike: ASCII as itself, the two-byte codes of code
// page 936 together with the ones GB18030 adds (the euro sign at A2 E3 instead of 0x80, the
// user-defined areas as the private-use characters, and the rest), four bytes for every other
// code point of the basic plane and 90 30 81 30 onwards for the planes above it. Utf8 writes
// UTF-8 without a byte-order mark. In both an escaped byte or an ill-formed sequence is U+FFFD,
// so nothing is lost to "?".
class EncodingSink final : public ByteSink {
public:
    EncodingSink(ByteSink& out, ArchiveEncoding encoding) : out_(out), encoding_(encoding) {}
    void Write(std::string_view text) override;

private:
    ByteSink& out_;
    ArchiveEncoding encoding_;
    std::string encoded_;
};

// Appends text in the encoding.
void AppendEncoded(std::string& out, std::string_view text, ArchiveEncoding encoding);

// The HTML charset label of the encoding: "gbk", "gb18030" or "utf-8".
std::string_view CharsetLabel(ArchiveEncoding encoding);

}  // namespace quillbox
