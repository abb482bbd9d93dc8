// SPDX-License-Identifier: MIT
#include "read/vformat_text.h"

#include <algorithm>
#include <cstring>

#include "platform/charset.h"
#include "platform/codec.h"
#include "read/field_normalisation.h"

namespace quillbox::vformat {

namespace {

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::uint8_t Byte(char c) {
    return static_cast<std::uint8_t>(c);
}

bool IsAscii(std::string_view bytes) {
    return platform::AsciiPrefix(bytes) == bytes.size();
}

bool IsUtf8Name(std::string_view charset) {
    return EqualsUpper(charset, "UTF-8") || EqualsUpper(charset, "UTF8");
}

std::optional<std::string> FromCp936(std::string_view bytes) {
    const auto units = platform::Cp936ToUtf16(bytes);
    if (!units) {
        return std::nullopt;
    }
    return platform::Utf16ToUtf8(*units);
}

// The parameter between two ";" (or the last one before ":"), spaces trimmed.
void ApplyParameter(std::string_view parameter, Property& property) {
    parameter = Trim(parameter);
    std::string_view key;
    std::string_view value = parameter;
    if (const auto equals = parameter.find('='); equals != std::string_view::npos) {
        key = Trim(parameter.substr(0, equals));
        value = Trim(parameter.substr(equals + 1));
    }
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    if (EqualsUpper(key, "CHARSET")) {
        property.charset = value;
        return;
    }
    if (!key.empty() && !EqualsUpper(key, "ENCODING")) {
        return;
    }
    // vCard 2.1 also writes the encoding bare: "TEL;QUOTED-PRINTABLE:".
    if (EqualsUpper(value, "QUOTED-PRINTABLE") || (!key.empty() && EqualsUpper(value, "QP"))) {
        property.encoding = ValueEncoding::QuotedPrintable;
    } else if (EqualsUpper(value, "BASE64") || (!key.empty() && EqualsUpper(value, "B"))) {
        property.encoding = ValueEncoding::Base64;
    }
}

// Full-width digits, "+" and separators (U+FF0B..U+FF19) as their ASCII forms.
char FullWidthAscii(std::string_view text, std::size_t i) {
    if (i + 2 < text.size() && Byte(text[i]) == 0xEF && Byte(text[i + 1]) == 0xBC) {
        const std::uint8_t last = Byte(text[i + 2]);
        if (last >= 0x88 && last <= 0x99) {
            return static_cast<char>('(' + (last - 0x88));
        }
    }
    return '\0';
}

bool IsDialCharacter(char c) {
    return (c >= '0' && c <= '9') || c == '+' || c == '*' || c == '#';
}

}  // namespace

bool EqualsUpper(std::string_view text, std::string_view upper) {
    return text.size() == upper.size() && StartsWithUpper(text, upper);
}

bool StartsWithUpper(std::string_view text, std::string_view upper) {
    if (text.size() < upper.size()) {
        return false;
    }
    for (std::size_t i = 0; i < upper.size(); ++i) {
        if (Upper(text[i]) != upper[i]) {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

std::vector<std::size_t> Utf8ErrorOffsets(std::string_view bytes) {
    std::vector<std::size_t> errors;
    for (std::size_t at = platform::NextUtf8Error(bytes, 0); at != std::string_view::npos;
         at = platform::NextUtf8Error(bytes, at + 1)) {
        errors.push_back(at);
    }
    return errors;
}

void DropZeros(std::string& text) {
    if (text.find('\0') != std::string::npos) {
        std::erase(text, '\0');
    }
}

FileEncoding DetectFileEncoding(std::string_view file) {
    if (file.starts_with("\xEF\xBB\xBF")) {
        return FileEncoding::Utf8Bom;
    }
    if (file.starts_with("\xFF\xFE")) {
        return FileEncoding::Utf16Le;
    }
    if (file.starts_with("\xFE\xFF")) {
        return FileEncoding::Utf16Be;
    }
    // Markup is ASCII: in UTF-16 every other byte of the first units is zero, which text in any
    // byte encoding never is.
    const std::size_t units = std::min<std::size_t>(file.size() / 2, 256);
    if (units < 2) {
        return FileEncoding::Bytes;
    }
    std::size_t zeroHigh = 0;
    std::size_t zeroLow = 0;
    for (std::size_t i = 0; i < units; ++i) {
        zeroLow += file[2 * i] == '\0' ? 1u : 0u;
        zeroHigh += file[2 * i + 1] == '\0' ? 1u : 0u;
    }
    if (zeroHigh * 4 >= units * 3 && zeroLow * 4 < units) {
        return FileEncoding::Utf16Le;
    }
    if (zeroLow * 4 >= units * 3 && zeroHigh * 4 < units) {
        return FileEncoding::Utf16Be;
    }
    return FileEncoding::Bytes;
}

std::string Utf16FileText(std::string_view bytes, bool bigEndian) {
    if (bytes.size() >= 2 &&
        (bigEndian ? bytes.starts_with("\xFE\xFF") : bytes.starts_with("\xFF\xFE"))) {
        bytes.remove_prefix(2);
    }
    std::string out;
    platform::AppendUtf16BytesAsUtf8(out, bytes, bigEndian, true);
    return out;
}

std::string Cp936ToUtf8Lenient(std::string_view bytes) {
    if (auto whole = FromCp936(bytes)) {
        return std::move(*whole);
    }
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        end = end == std::string_view::npos ? bytes.size() : end + 1;
        const std::string_view line = bytes.substr(start, end - start);
        if (auto decoded = FromCp936(line)) {
            out.append(*decoded);
        } else {
            platform::AppendUtf8Lenient(out, line);
        }
        start = end;
    }
    return out;
}

bool LineReader::Next(std::string_view& line) {
    if (pos_ >= text_.size()) {
        return false;
    }
    const char* const begin = text_.data() + pos_;
    const char* const end = text_.data() + text_.size();
    const char* p = begin;
    while (p != end && *p != '\n' && *p != '\r') {
        ++p;
    }
    line = std::string_view(begin, static_cast<std::size_t>(p - begin));
    if (p != end) {
        if (*p++ == '\r' && p != end && *p == '\n') {
            ++p;
        }
    }
    pos_ = static_cast<std::size_t>(p - text_.data());
    return true;
}

bool LineReader::Peek(std::string_view& line) const {
    LineReader copy = *this;
    return copy.Next(line);
}

bool ParseProperty(std::string_view line, Property& property) {
    property = Property{};
    std::size_t i = 0;
    while (i < line.size() && line[i] != ';' && line[i] != ':') {
        ++i;
    }
    if (i == line.size()) {
        return false;
    }
    std::string_view name = Trim(line.substr(0, i));
    if (const auto dot = name.rfind('.'); dot != std::string_view::npos) {
        name = Trim(name.substr(dot + 1));
    }
    property.name = name;
    while (line[i] == ';') {
        const std::size_t start = ++i;
        while (i < line.size() && line[i] != ';' && line[i] != ':') {
            if (line[i] == '"') {
                const auto close = line.find('"', i + 1);
                // An unmatched quote is a character like any other.
                i = close == std::string_view::npos ? i + 1 : close + 1;
            } else {
                ++i;
            }
        }
        if (i >= line.size()) {
            return false;
        }
        ApplyParameter(line.substr(start, i - start), property);
    }
    property.value = line.substr(i + 1);
    return true;
}

std::string QuotedPrintableBytes(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '=' && i + 2 < value.size() && HexDigit(value[i + 1]) >= 0 &&
            HexDigit(value[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexDigit(value[i + 1]) * 16 + HexDigit(value[i + 2])));
            i += 2;
        } else if (value[i] != '=' || i + 1 != value.size()) {
            // A "=" that escapes nothing is itself, unless it is a soft break at the very end.
            out.push_back(value[i]);
        }
    }
    return out;
}

std::string Base64Bytes(std::string_view value) {
    std::string out;
    out.reserve(value.size() * 3 / 4);
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : value) {
        int digit = -1;
        if (c >= 'A' && c <= 'Z') {
            digit = c - 'A';
        } else if (c >= 'a' && c <= 'z') {
            digit = c - 'a' + 26;
        } else if (c >= '0' && c <= '9') {
            digit = c - '0' + 52;
        } else if (c == '+') {
            digit = 62;
        } else if (c == '/') {
            digit = 63;
        } else if (c == '=') {
            break;
        } else {
            continue;  // white space of folded lines
        }
        bits = (bits << 6 | static_cast<std::uint32_t>(digit)) & 0xFFFFFFu;
        if (++count == 4) {
            out.push_back(static_cast<char>(bits >> 16));
            out.push_back(static_cast<char>(bits >> 8 & 0xFF));
            out.push_back(static_cast<char>(bits & 0xFF));
            count = 0;
        }
    }
    if (count == 2) {
        out.push_back(static_cast<char>(bits >> 4 & 0xFF));
    } else if (count == 3) {
        out.push_back(static_cast<char>(bits >> 10 & 0xFF));
        out.push_back(static_cast<char>(bits >> 2 & 0xFF));
    }
    return out;
}

std::string DecodeValue(const Property& property, std::string_view value, RawText raw,
                        bool convertedFile) {
    std::string bytes;
    bool encoded = true;
    switch (property.encoding) {
        case ValueEncoding::QuotedPrintable:
            bytes = QuotedPrintableBytes(value);
            break;
        case ValueEncoding::Base64:
            bytes = Base64Bytes(value);
            break;
        case ValueEncoding::None:
            bytes.assign(value);
            encoded = false;
            break;
    }
    if (IsAscii(bytes)) {
        return bytes;
    }
    if (!encoded && convertedFile) {
        return platform::IsUtf8(bytes) ? bytes : platform::Utf8Lenient(bytes);
    }
    if (!property.charset.empty()) {
        if (IsUtf8Name(property.charset)) {
            if (platform::IsUtf8(bytes)) {
                return bytes;
            }
        } else if (auto decoded = platform::DecodeToUtf8(property.charset, bytes)) {
            return std::move(*decoded);
        }
    }
    if (!encoded && raw == RawText::Utf8) {
        return platform::IsUtf8(bytes) ? bytes : platform::Utf8Lenient(bytes);
    }
    if (!encoded && raw == RawText::PhoneFirst) {
        if (auto decoded = FromCp936(bytes)) {
            return std::move(*decoded);
        }
    }
    if (platform::IsUtf8(bytes)) {
        return bytes;
    }
    if (auto decoded = FromCp936(bytes)) {
        return std::move(*decoded);
    }
    return platform::Utf8Lenient(bytes);
}

std::string CleanNumber(std::string_view utf8) {
    std::string_view text = Trim(utf8);
    if (StartsWithUpper(text, "TEL:")) {
        text.remove_prefix(4);
    }
    std::string out;
    out.reserve(text.size());
    bool dialOnly = true;
    std::size_t width = 1;
    for (std::size_t i = 0; i < text.size(); i += width) {
        char c = text[i];
        width = 1;
        if (const char ascii = FullWidthAscii(text, i); ascii != '\0') {
            c = ascii;
            width = 3;
        } else if (text.substr(i).starts_with("\xE3\x80\x80")) {
            width = 3;  // the ideographic space
            continue;
        } else if (text.substr(i).starts_with("\xC2\xA0")) {
            width = 2;  // the no-break space
            continue;
        }
        if (c == ';') {
            break;
        }
        if (c == ' ' || c == '-' || c == '.' || c == '(' || c == ')' || c == '/' ||
            (Byte(c) < 0x20) || c == 0x7F) {
            continue;
        }
        if (!out.empty() && dialOnly &&
            std::string_view("pPwWxXeE,").find(c) != std::string_view::npos) {
            break;
        }
        dialOnly = dialOnly && IsDialCharacter(c);
        out.push_back(c);
    }
    return out;
}

}  // namespace quillbox::vformat
