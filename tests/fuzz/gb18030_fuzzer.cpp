// SPDX-License-Identifier: MIT
// The archive encodings: GB18030 decoded again gives back the text, and the UTF-8 encoding is
// valid and repairs what is not.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "platform/codec.h"
#include "write/encoding.h"

namespace {

using quillbox::ArchiveEncoding;

std::string Encode(ArchiveEncoding encoding, std::string_view text) {
    std::string out;
    quillbox::AppendEncoded(out, text, encoding);
    return out;
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
            std::string utf8;
            quillbox::platform::AppendCodePoint(utf8, u);
            const std::string bytes = Encode(ArchiveEncoding::Gb18030, utf8);
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

    const std::string text = quillbox::platform::Utf16ToUtf8(wide);
    const auto decoded = decoder.Decode(Encode(ArchiveEncoding::Gb18030, text));
    FUZZ_CHECK(decoded && *decoded == CodePoints(wide));

    // Any bytes as the engine's text: the UTF-8 encoding leaves valid input as it is and
    // repairs the rest, and what it writes is the text the GB18030 encoding writes too.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string repaired = Encode(ArchiveEncoding::Utf8, bytes);
    FUZZ_CHECK(quillbox::platform::IsUtf8(repaired));
    FUZZ_CHECK(Encode(ArchiveEncoding::Utf8, repaired) == repaired);
    const std::string gbFromBytes = Encode(ArchiveEncoding::Gb18030, bytes);
    FUZZ_CHECK(gbFromBytes == Encode(ArchiveEncoding::Gb18030, repaired) &&
               decoder.Decode(gbFromBytes).has_value());
    return 0;
}
