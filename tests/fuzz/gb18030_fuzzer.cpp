// SPDX-License-Identifier: MIT
// The archive encoders: GB18030 decoded again gives back the text, and UTF-8 input gives the
// same bytes as the UTF-16 it stands for.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "write/encoding.h"

namespace {

using quillbox::ArchiveEncoding;
using quillbox::TextEncoder;

const TextEncoder& Encoder(ArchiveEncoding encoding) {
    static const TextEncoder gbk = *TextEncoder::Create(ArchiveEncoding::Gbk);
    static const TextEncoder gb18030 = *TextEncoder::Create(ArchiveEncoding::Gb18030);
    static const TextEncoder utf8 = *TextEncoder::Create(ArchiveEncoding::Utf8);
    return encoding == ArchiveEncoding::Gbk       ? gbk
           : encoding == ArchiveEncoding::Gb18030 ? gb18030
                                                  : utf8;
}

// A GB18030 decoder: two-byte codes and the BMP's four-byte codes looked up in tables read off
// the encoder one code point at a time, the planes above the BMP computed.
class Gb18030Decoder {
public:
    Gb18030Decoder() : pairs_(0x10000, kNone), quads_(39420, kNone) {
        for (char32_t u = 0x80; u < 0x10000; ++u) {
            if (u >= 0xD800 && u <= 0xDFFF) {
                continue;
            }
            std::string bytes;
            Encoder(ArchiveEncoding::Gb18030).Append(bytes, std::u16string(1, char16_t(u)));
            if (bytes.size() == 2) {
                FUZZ_CHECK(pairs_[Byte(bytes, 0) << 8 | Byte(bytes, 1)] == kNone);
                pairs_[Byte(bytes, 0) << 8 | Byte(bytes, 1)] = u;
            } else {
                FUZZ_CHECK(bytes.size() == 4);
                const auto index = Index(bytes, 0);
                FUZZ_CHECK(index && *index < quads_.size() && quads_[*index] == kNone);
                quads_[*index] = u;
            }
        }
    }

    // As code points; none where the bytes are no GB18030.
    std::optional<std::u32string> Decode(const std::string& bytes) const {
        std::u32string text;
        for (std::size_t i = 0; i < bytes.size();) {
            const unsigned b = Byte(bytes, i);
            if (b < 0x80) {
                text.push_back(b);
                i += 1;
            } else if (i + 1 < bytes.size() && Byte(bytes, i + 1) >= 0x40) {
                const char32_t cp = pairs_[b << 8 | Byte(bytes, i + 1)];
                if (cp == kNone) {
                    return std::nullopt;
                }
                text.push_back(cp);
                i += 2;
            } else if (const auto index = i + 3 < bytes.size() ? Index(bytes, i) : std::nullopt) {
                char32_t cp = kNone;
                if (*index < quads_.size()) {
                    cp = quads_[*index];
                } else if (*index >= 189000 && *index < 189000 + 0x100000) {
                    cp = 0x10000 + (*index - 189000);
                }
                if (cp == kNone) {
                    return std::nullopt;
                }
                text.push_back(cp);
                i += 4;
            } else {
                return std::nullopt;
            }
        }
        return text;
    }

private:
    static constexpr char32_t kNone = 0xFFFFFFFF;

    static unsigned Byte(const std::string& bytes, std::size_t i) {
        return static_cast<unsigned char>(bytes[i]);
    }
    static std::optional<std::uint32_t> Index(const std::string& b, std::size_t i) {
        const unsigned b1 = Byte(b, i), b2 = Byte(b, i + 1), b3 = Byte(b, i + 2),
                       b4 = Byte(b, i + 3);
        if (b1 < 0x81 || b1 > 0xFE || b2 < 0x30 || b2 > 0x39 || b3 < 0x81 || b3 > 0xFE ||
            b4 < 0x30 || b4 > 0x39) {
            return std::nullopt;
        }
        return (((b1 - 0x81) * 10 + (b2 - 0x30)) * 126 + (b3 - 0x81)) * 10 + (b4 - 0x30);
    }

    std::vector<char32_t> pairs_;
    std::vector<char32_t> quads_;
};

// The code points the text stands for, a lone surrogate as U+FFFD.
std::u32string CodePoints(std::u16string_view text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        out.push_back(cp);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Gb18030Decoder decoder;
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        wide.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    }

    std::string gb;
    Encoder(ArchiveEncoding::Gb18030).Append(gb, wide);
    const auto decoded = decoder.Decode(gb);
    FUZZ_CHECK(decoded && *decoded == CodePoints(wide));

    // The UTF-8 form, given back as input, gives the same bytes in every encoding.
    std::string utf8;
    Encoder(ArchiveEncoding::Utf8).Append(utf8, wide);
    for (const auto encoding :
         {ArchiveEncoding::Gbk, ArchiveEncoding::Gb18030, ArchiveEncoding::Utf8}) {
        std::string fromWide;
        std::string fromUtf8;
        Encoder(encoding).Append(fromWide, wide);
        Encoder(encoding).AppendUtf8(fromUtf8, utf8);
        // A lone surrogate is "?" in GBK from UTF-16 but U+FFFD, also "?", from UTF-8.
        FUZZ_CHECK(fromWide == fromUtf8);
    }

    // Any bytes as UTF-8: the UTF-8 encoder leaves valid input as it is and repairs the rest,
    // and what it writes is the text the GB18030 encoder writes too.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string repaired;
    Encoder(ArchiveEncoding::Utf8).AppendUtf8(repaired, bytes);
    std::string again;
    Encoder(ArchiveEncoding::Utf8).AppendUtf8(again, repaired);
    FUZZ_CHECK(again == repaired);
    std::string gbFromBytes;
    std::string gbFromRepaired;
    Encoder(ArchiveEncoding::Gb18030).AppendUtf8(gbFromBytes, bytes);
    Encoder(ArchiveEncoding::Gb18030).AppendUtf8(gbFromRepaired, repaired);
    FUZZ_CHECK(gbFromBytes == gbFromRepaired && decoder.Decode(gbFromBytes).has_value());
    return 0;
}
