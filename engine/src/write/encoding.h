// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quillbox/archive.h"
#include "write/byte_sink.h"

namespace quillbox {

// Turns text into the bytes of one archive encoding.
//
// Gbk writes exactly what the platform's code page 936 conversion (platform::Utf16ToOem) writes:
// "?" for every unit the code page lacks, so a character outside the BMP becomes "??".
// Gb18030 writes GB18030-2022 on every platform alike: ASCII as itself, the two-byte codes of code
// page 936 together with the ones GB18030 adds (the euro sign at A2 E3 instead of 0x80, the
// user-defined areas as the private-use characters, and the rest), four bytes for every other
// code point of the BMP and 90 30 81 30 onwards for the planes above it. Utf8 writes UTF-8
// without BOM. For the two of them an unpaired surrogate or a malformed UTF-8 sequence is
// written as U+FFFD, so nothing is ever lost to "?".
// A zero unit is written as a zero byte in every encoding.
class TextEncoder {
public:
    // None when the platform's code page 936 is not there to build on (a Windows system whose
    // OEM code page is another one). Utf8 always has an encoder.
    static std::optional<TextEncoder> Create(ArchiveEncoding encoding);

    ArchiveEncoding Encoding() const { return encoding_; }

    // Appends text, given as UTF-16, to out.
    void Append(std::string& out, std::u16string_view text) const;
    // Appends text, given as UTF-8, to out; each maximal ill-formed subsequence is one U+FFFD
    // (for Gbk it becomes "?").
    void AppendUtf8(std::string& out, std::string_view text) const;

    // The HTML charset label of the encoding: "gbk", "gb18030" or "utf-8".
    std::string_view CharsetLabel() const;

private:
    explicit TextEncoder(ArchiveEncoding encoding) : encoding_(encoding) {}
    void AppendCodePoint(std::string& out, char32_t cp) const;

    ArchiveEncoding encoding_;
    // Per BMP unit: Gbk, the code page 936 code (below 0x100 for a single byte, 0 where "?");
    // Gb18030, the two-byte code or 0 where the unit takes four bytes. Empty for Utf8.
    std::vector<std::uint16_t> codes_;
};

// Passes the UTF-8 that a writer writes on in the archive's encoding.
class EncodingSink final : public ByteSink {
public:
    EncodingSink(ByteSink& out, const TextEncoder& encoder) : out_(out), encoder_(encoder) {}
    void Write(std::string_view utf8) override {
        encoded_.clear();
        encoder_.AppendUtf8(encoded_, utf8);
        out_.Write(encoded_);
    }

private:
    ByteSink& out_;
    const TextEncoder& encoder_;
    std::string encoded_;
};

}  // namespace quillbox
