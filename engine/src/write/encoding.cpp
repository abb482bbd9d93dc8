// SPDX-License-Identifier: MIT
#include "write/encoding.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "platform/codec.h"
#include "write/gb18030_tables.h"

namespace quillbox {

namespace {

using platform::kReplacement;

// The two-byte codes of GB18030 by BMP code point, 0 where the code point takes four bytes:
// code page 936's pairs with GB18030's additions, made once, when a GB18030 archive is first
// written.
const std::uint16_t* Gb18030Pairs() {
    static const std::unique_ptr<std::uint16_t[]> codes = [] {
        auto table = std::make_unique<std::uint16_t[]>(0x10000);
        const std::uint16_t* cp936 = platform::Cp936().fromUnicode;
        for (std::size_t cp = 0; cp < 0x10000; ++cp) {
            // Single bytes are ASCII alone, and ASCII is written as itself.
            table[cp] = cp936[cp] >= 0x100 ? cp936[cp] : 0;
        }
        for (const auto& run : gb18030::kAddedPairs) {
            for (std::uint16_t i = 0; i < run.count; ++i) {
                table[run.first + i] = static_cast<std::uint16_t>(run.code + i);
            }
        }
        return table;
    }();
    return codes.get();
}

// BMP four-byte index; only for a code point without a one- or two-byte code.
std::uint32_t BmpFourByteIndex(char16_t cp) {
    const auto* run = std::upper_bound(
        std::begin(gb18030::kFourByteRuns), std::end(gb18030::kFourByteRuns), cp,
        [](char16_t value, const gb18030::FourByteRun& r) { return value < r.first; });
    --run;  // the first run starts at U+0080, below every code point asked for
    return run->index + (cp - run->first);
}

void AppendFourBytes(std::string& out, std::uint32_t index) {
    char bytes[4];
    bytes[3] = static_cast<char>(0x30 + index % 10);
    index /= 10;
    bytes[2] = static_cast<char>(0x81 + index % 126);
    index /= 126;
    bytes[1] = static_cast<char>(0x30 + index % 10);
    bytes[0] = static_cast<char>(0x81 + index / 10);
    out.append(bytes, 4);
}

void AppendGb18030(std::string& out, std::string_view text) {
    const std::uint16_t* pairs = Gb18030Pairs();
    while (!text.empty()) {
        const std::size_t ascii = platform::AsciiPrefix(text);
        out.append(text.substr(0, ascii));
        text.remove_prefix(ascii);
        if (text.empty()) {
            break;
        }
        char32_t cp = platform::TakeCodePoint(text);
        if (platform::IsSurrogate(cp)) {
            cp = kReplacement;
        }
        if (cp >= 0x10000) {
            AppendFourBytes(out, gb18030::kFirstSupplementaryIndex + (cp - 0x10000));
        } else if (const std::uint16_t code = pairs[cp]; code != 0) {
            out.push_back(static_cast<char>(code >> 8));
            out.push_back(static_cast<char>(code & 0xFF));
        } else {
            AppendFourBytes(out, BmpFourByteIndex(static_cast<char16_t>(cp)));
        }
    }
}

// Valid UTF-8 goes across as it is; an escape or an ill-formed sequence becomes U+FFFD.
void AppendUtf8(std::string& out, std::string_view text) {
    while (!text.empty()) {
        const std::size_t valid = platform::NextUtf8Error(text, 0);
        out.append(text.substr(0, valid));
        if (valid == std::string_view::npos) {
            break;
        }
        text.remove_prefix(valid);
        platform::TakeCodePoint(text);
        platform::AppendCodePoint(out, kReplacement);
    }
}

}  // namespace

void AppendEncoded(std::string& out, std::string_view text, ArchiveEncoding encoding) {
    switch (encoding) {
        case ArchiveEncoding::Gbk:
            platform::AppendAsCp936(out, text);
            return;
        case ArchiveEncoding::Gb18030:
            AppendGb18030(out, text);
            return;
        case ArchiveEncoding::Utf8:
            AppendUtf8(out, text);
            return;
    }
}

void EncodingSink::Write(std::string_view text) {
    encoded_.clear();
    AppendEncoded(encoded_, text, encoding_);
    out_.Write(encoded_);
}

std::string_view CharsetLabel(ArchiveEncoding encoding) {
    switch (encoding) {
        case ArchiveEncoding::Gbk:
            return "gbk";
        case ArchiveEncoding::Gb18030:
            return "gb18030";
        case ArchiveEncoding::Utf8:
            break;
    }
    return "utf-8";
}

}  // namespace quillbox
