// SPDX-License-Identifier: MIT
#include "read/plist.h"

#include <bit>
#include <cmath>

#include "platform/codec.h"

namespace quillbox {

namespace {

// Apple's reference date, 2001-01-01 UTC, in seconds since 1970.
constexpr std::int64_t kAppleEpoch = 978307200;

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// "2023-05-01T08:00:00Z", the one form of an XML plist's date.
std::optional<std::int64_t> IsoInstant(std::string_view text) {
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != 'Z') {
        return std::nullopt;
    }
    const auto number = [&](std::size_t at, std::size_t count) -> int {
        int value = 0;
        for (std::size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9') {
                return -1;
            }
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const int year = number(0, 4);
    const int month = number(5, 2);
    const int day = number(8, 2);
    const int hour = number(11, 2);
    const int minute = number(14, 2);
    const int second = number(17, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 60) {
        return std::nullopt;
    }
    return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
           hour * 3600 + minute * 60 + second;
}

// --- XML ---

void AppendEntityDecoded(std::string& out, std::string_view text) {
    std::string raw;
    while (!text.empty()) {
        const std::size_t amp = text.find('&');
        raw.append(text.substr(0, amp));
        if (amp == std::string_view::npos) {
            break;
        }
        text.remove_prefix(amp);
        const std::size_t semi = text.find(';');
        const std::string_view entity =
            semi == std::string_view::npos ? std::string_view() : text.substr(1, semi - 1);
        char32_t cp = 0;
        if (entity == "amp") {
            cp = '&';
        } else if (entity == "lt") {
            cp = '<';
        } else if (entity == "gt") {
            cp = '>';
        } else if (entity == "quot") {
            cp = '"';
        } else if (entity == "apos") {
            cp = '\'';
        } else if (entity.size() > 1 && entity.size() < 10 && entity[0] == '#') {
            const bool hex = entity[1] == 'x' || entity[1] == 'X';
            for (const char c : entity.substr(hex ? 2 : 1)) {
                const int digit = c >= '0' && c <= '9'          ? c - '0'
                                  : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                : -1;
                if (digit < 0) {
                    cp = 0;
                    break;
                }
                cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(digit);
            }
        }
        if (cp == 0 || cp > 0x10FFFF || platform::IsSurrogate(cp)) {
            raw.push_back('&');
            text.remove_prefix(1);
            continue;
        }
        platform::AppendCodePoint(raw, cp);
        text.remove_prefix(semi + 1);
    }
    platform::AppendUtf8Lenient(out, raw);
}

struct Tag {
    std::string_view name;
    bool closing = false;
    bool empty = false;  // "<true/>"
};

class XmlPlist {
public:
    explicit XmlPlist(std::string_view text) : text_(text) {}

    std::vector<PlistValue> Read() {
        std::vector<PlistValue> values;
        Tag tag;
        // The first dictionary is the top one.
        do {
            if (!NextTag(tag)) {
                return values;
            }
        } while (tag.name != "dict" || tag.closing || tag.empty);
        int depth = 0;
        std::optional<std::string> key;
        while (NextTag(tag)) {
            const bool container = tag.name == "dict" || tag.name == "array";
            if (depth > 0) {
                if (container && !tag.empty) {
                    depth += tag.closing ? -1 : 1;
                }
                continue;
            }
            if (tag.closing) {
                if (tag.name == "dict") {
                    break;
                }
                continue;
            }
            if (container) {
                depth += tag.empty ? 0 : 1;
                key.reset();
                continue;
            }
            std::string_view content;
            if (!tag.empty && !ContentUntilEnd(tag.name, content)) {
                break;
            }
            if (tag.name == "key") {
                key.emplace();
                AppendEntityDecoded(*key, content);
                continue;
            }
            if (!key) {
                continue;
            }
            PlistValue value{std::move(*key), {}, {}};
            key.reset();
            if (tag.name == "string") {
                AppendEntityDecoded(value.text, content);
            } else if (tag.name == "true" || tag.name == "false") {
                value.text = tag.name;
            } else if (tag.name == "date") {
                value.date = IsoInstant(content);
                if (!value.date) {
                    continue;
                }
            } else {
                continue;
            }
            values.push_back(std::move(value));
        }
        return values;
    }

private:
    // The next element tag; declarations, comments and processing instructions are passed.
    bool NextTag(Tag& tag) {
        for (;;) {
            const std::size_t open = text_.find('<', pos_);
            if (open == std::string_view::npos) {
                return false;
            }
            const std::string_view rest = text_.substr(open);
            std::string_view end = ">";
            if (rest.starts_with("<!--")) {
                end = "-->";
            } else if (rest.starts_with("<?")) {
                end = "?>";
            }
            const std::size_t close = text_.find(end, open + 1);
            if (close == std::string_view::npos) {
                return false;
            }
            pos_ = close + end.size();
            if (rest[1] == '!' || rest[1] == '?') {
                continue;
            }
            std::string_view inner = text_.substr(open + 1, close - open - 1);
            tag = {};
            if (inner.starts_with('/')) {
                tag.closing = true;
                inner.remove_prefix(1);
            }
            if (inner.ends_with('/')) {
                tag.empty = true;
                inner.remove_suffix(1);
            }
            std::size_t length = 0;
            while (length < inner.size() && inner[length] != ' ' && inner[length] != '\t' &&
                   inner[length] != '\r' && inner[length] != '\n') {
                ++length;
            }
            tag.name = inner.substr(0, length);
            return true;
        }
    }

    // The text up to the element's end tag, which is passed.
    bool ContentUntilEnd(std::string_view name, std::string_view& content) {
        std::string end = "</";
        end.append(name).push_back('>');
        const std::size_t at = text_.find(end, pos_);
        if (at == std::string_view::npos) {
            return false;
        }
        content = text_.substr(pos_, at - pos_);
        pos_ = at + end.size();
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

// --- binary ---

class BinaryPlist {
public:
    explicit BinaryPlist(std::string_view bytes) : bytes_(bytes) {}

    std::vector<PlistValue> Read() {
        std::vector<PlistValue> values;
        constexpr std::size_t kHeader = 8;
        constexpr std::size_t kTrailer = 32;
        if (bytes_.size() < kHeader + kTrailer) {
            return values;
        }
        const std::string_view trailer = bytes_.substr(bytes_.size() - kTrailer);
        offsetSize_ = static_cast<unsigned char>(trailer[6]);
        refSize_ = static_cast<unsigned char>(trailer[7]);
        objects_ = BigEndian(trailer.substr(8, 8));
        const std::uint64_t top = BigEndian(trailer.substr(16, 8));
        table_ = BigEndian(trailer.substr(24, 8));
        const std::uint64_t end = bytes_.size() - kTrailer;
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8 || top >= objects_ ||
            table_ < kHeader || table_ > end || objects_ > (end - table_) / offsetSize_) {
            return values;
        }
        std::string_view dict;
        std::uint64_t count = 0;
        if (!Object(top, 0xD, dict, count) || count > dict.size() / (2 * refSize_)) {
            return values;
        }
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t keyRef = BigEndian(dict.substr(i * refSize_, refSize_));
            const std::uint64_t valueRef = BigEndian(dict.substr((count + i) * refSize_, refSize_));
            PlistValue value;
            if (!Text(keyRef, value.key) || !Value(valueRef, value)) {
                continue;
            }
            values.push_back(std::move(value));
        }
        return values;
    }

private:
    static std::uint64_t BigEndian(std::string_view bytes) {
        std::uint64_t value = 0;
        for (const char c : bytes) {
            value = value << 8 | static_cast<unsigned char>(c);
        }
        return value;
    }

    // The object's marker byte and what follows it; none for a reference out of the file.
    std::optional<std::string_view> At(std::uint64_t ref) const {
        if (ref >= objects_) {
            return std::nullopt;
        }
        const std::uint64_t offset = BigEndian(
            bytes_.substr(static_cast<std::size_t>(table_ + ref * offsetSize_), offsetSize_));
        if (offset < 8 || offset >= table_) {
            return std::nullopt;
        }
        return bytes_.substr(static_cast<std::size_t>(offset),
                             static_cast<std::size_t>(table_ - offset));
    }

    // An object of the type (the marker's high half) with a count: its count and the bytes
    // after the count, which the count's units may not outrun.
    bool Object(std::uint64_t ref, unsigned type, std::string_view& body,
                std::uint64_t& count) const {
        const auto object = At(ref);
        if (!object || object->empty()) {
            return false;
        }
        const auto marker = static_cast<unsigned char>(object->front());
        if (marker >> 4 != type) {
            return false;
        }
        body = object->substr(1);
        count = marker & 0xF;
        if (count == 0xF) {
            // The count follows as an integer object: 0x1N and 2^N bytes.
            if (body.empty() || static_cast<unsigned char>(body.front()) >> 4 != 1) {
                return false;
            }
            const std::size_t width = std::size_t{1} << (body.front() & 0x3);
            if (body.size() < 1 + width) {
                return false;
            }
            count = BigEndian(body.substr(1, width));
            body.remove_prefix(1 + width);
        }
        return true;
    }

    bool Text(std::uint64_t ref, std::string& out) const {
        std::string_view body;
        std::uint64_t count = 0;
        if (Object(ref, 0x5, body, count)) {
            if (count > body.size()) {
                return false;
            }
            platform::AppendUtf8Lenient(out, body.substr(0, count));
            return true;
        }
        if (Object(ref, 0x6, body, count)) {
            if (count > body.size() / 2) {
                return false;
            }
            platform::AppendUtf16BytesAsUtf8(out, body.substr(0, count * 2), true, false);
            return true;
        }
        return false;
    }

    bool Value(std::uint64_t ref, PlistValue& value) const {
        const auto object = At(ref);
        if (!object || object->empty()) {
            return false;
        }
        const auto marker = static_cast<unsigned char>(object->front());
        if (marker == 0x08 || marker == 0x09) {
            value.text = marker == 0x09 ? "true" : "false";
            return true;
        }
        if (marker == 0x33 && object->size() >= 9) {
            const std::uint64_t bits = BigEndian(object->substr(1, 8));
            const auto seconds = std::bit_cast<double>(bits);
            // Any date a backup was made on; the rest is no date.
            if (!std::isfinite(seconds) || std::fabs(seconds) > 1e10) {
                return false;
            }
            value.date = kAppleEpoch + static_cast<std::int64_t>(std::floor(seconds));
            return true;
        }
        return Text(ref, value.text);
    }

    std::string_view bytes_;
    unsigned offsetSize_ = 0;
    unsigned refSize_ = 0;
    std::uint64_t objects_ = 0;
    std::uint64_t table_ = 0;
};

}  // namespace

std::vector<PlistValue> ReadPlistValues(std::string_view bytes) {
    if (bytes.starts_with("bplist00")) {
        return BinaryPlist(bytes).Read();
    }
    return XmlPlist(bytes).Read();
}

const PlistValue* FindPlistValue(const std::vector<PlistValue>& values, std::string_view key) {
    for (const PlistValue& value : values) {
        if (value.key == key) {
            return &value;
        }
    }
    return nullptr;
}

}  // namespace quillbox
