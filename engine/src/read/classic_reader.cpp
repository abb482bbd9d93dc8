// SPDX-License-Identifier: MIT
#include "read/classic_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "read/field_normalisation.h"

namespace quillbox {

namespace {

constexpr auto npos = std::string_view::npos;

// Every search of the readers stops at the first zero byte, as the C string searches the format
// was made with do.
std::string_view UpToZero(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

std::string RemoveSoftLineBreaks(std::string_view text) {
    std::string joined;
    joined.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
        } else {
            joined.push_back(text[i]);
        }
    }
    return joined;
}

}  // namespace

ReadOutcome FindMessageFields(std::string_view text, MessageFields& fields) {
    text = UpToZero(text);
    const auto tel = text.find("TEL:");
    if (tel == npos) {
        return SkipReason::NoTelLine;
    }
    const auto numberStart = tel + 4;
    const auto numberEnd = text.find('\n', numberStart);
    if (numberEnd == npos) {
        return SkipReason::NoLineEnd;
    }
    // A CR LF after the marker does not match: such files are refused.
    const auto begin = text.find("BEGIN:VBODY\n", numberEnd + 1);
    if (begin == npos) {
        return SkipReason::NoBody;
    }
    const auto block = begin + 12;
    if (text.substr(block, 5) != "Date:") {
        return SkipReason::NoDate;
    }
    const auto dateStart = block + 5;
    const auto dateEnd = text.find('\n', dateStart);
    if (dateEnd == npos) {
        return SkipReason::NoLineEnd;
    }
    const auto bodyStart = dateEnd + 1;
    const auto end = text.find("END:VBODY", bodyStart);
    if (end == npos) {
        return SkipReason::NoBodyEnd;
    }
    // The byte before "END:VBODY" is dropped whatever it is; normally the body's last LF.
    fields.body =
        end > bodyStart ? text.substr(bodyStart, end - 1 - bodyStart) : std::string_view();
    fields.number = text.substr(numberStart, numberEnd - numberStart);
    fields.date = text.substr(dateStart, dateEnd - dateStart);
    return std::nullopt;
}

ReadOutcome ParseCardText(std::string_view head, std::vector<ContactEntry>& entries,
                          TextForm form) {
    const std::string text = RemoveSoftLineBreaks(UpToZero(head));
    const std::string_view view(text);

    // The first line can never name the card: an LF must stand before the marker. "\nN" also
    // matches a NOTE or NICKNAME line.
    std::size_t nameStart = npos;
    if (const auto fn = view.find("\nFN"); fn != npos) {
        nameStart = fn + 3;
    } else if (const auto n = view.find("\nN"); n != npos) {
        nameStart = n + 2;
    } else {
        return SkipReason::NoName;
    }
    const auto nameEnd = view.find('\n', nameStart);
    if (nameEnd == npos) {
        return SkipReason::NoLineEnd;
    }
    const std::string name = DecodeContactName(view.substr(nameStart, nameEnd - nameStart), form);

    // Telephone lines before the name line count too. A TEL line without ":" takes the first
    // ":" of a later line.
    auto tel = view.find("\nTEL");
    while (tel != npos) {
        const auto colon = view.find(':', tel);
        if (colon == npos) {
            return SkipReason::TelLineCut;
        }
        const auto numberEnd = view.find('\n', colon + 1);
        if (numberEnd == npos) {
            return SkipReason::TelLineCut;
        }
        std::string number = NormalizeNumber(view.substr(colon + 1, numberEnd - colon - 1));
        entries.push_back({name, form == TextForm::Utf8 ? LocalToUtf8(number) : std::move(number)});
        tel = view.find("\nTEL", colon + 1);
    }
    return std::nullopt;
}

ReadOutcome MessageHeadText(std::span<const char> head, std::span<char, kMessageNarrowBytes> narrow,
                            std::string_view& text) {
    // The head is UTF-16LE; a final odd byte is no whole unit. A byte-order mark is converted
    // like any other character.
    std::array<char16_t, kMessageHeadUnits> units;
    const std::size_t count = std::min(head.size() / 2, units.size());
    if (head.empty()) {
        return SkipReason::Empty;
    }
    if (count == 0) {
        return SkipReason::NotUtf16Text;
    }
    // Most messages are ASCII, which code page 936 keeps byte for byte: such a head is its own
    // narrow form, up to its first zero unit, as the conversion would end there too.
    bool ascii = true;
    std::size_t asciiLength = 0;
    for (; asciiLength < count; ++asciiLength) {
        const char low = head[2 * asciiLength];
        if (head[2 * asciiLength + 1] != 0 || (static_cast<unsigned char>(low) & 0x80) != 0) {
            ascii = false;
            break;
        }
        if (low == 0) {
            break;
        }
        narrow[asciiLength] = low;
    }
    if (ascii) {
        narrow[asciiLength] = '\0';
        text = std::string_view(narrow.data(), asciiLength);
        return std::nullopt;
    }
    for (std::size_t i = 0; i < count; ++i) {
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(head[2 * i]) |
                                         static_cast<unsigned char>(head[2 * i + 1]) << 8);
    }
    const auto length = platform::Utf16ToOem(std::u16string_view(units.data(), count), narrow);
    if (!length) {
        return SkipReason::NotUtf16Text;
    }
    text = std::string_view(narrow.data(), *length);
    return std::nullopt;
}

namespace {

// The UTF-8 of the units a piece of the head's code page 936 form came from. Each unit became
// one or two bytes; a piece that starts or ends inside a character (a marker made of a
// character's second byte) is taken from its code page 936 bytes instead.
class HeadUnits {
public:
    HeadUnits(std::span<const char> head, std::string_view narrow) : narrow_(narrow) {
        const std::size_t count = std::min(head.size() / 2, kMessageHeadUnits);
        units_.reserve(count);
        unitAt_.assign(narrow.size() + 1, kInside);
        std::size_t offset = 0;
        std::array<char, 4> one;
        for (std::size_t i = 0; i < count && offset <= narrow.size(); ++i) {
            const auto unit =
                static_cast<char16_t>(static_cast<unsigned char>(head[2 * i]) |
                                      static_cast<unsigned char>(head[2 * i + 1]) << 8);
            if (unit == 0) {
                break;
            }
            unitAt_[offset] = static_cast<std::uint16_t>(i);
            units_.push_back(unit);
            offset += platform::Utf16ToOem(std::u16string_view(&unit, 1), one).value_or(1);
        }
        // Where the units do not add up to the text (a system that converts a surrogate pair to
        // one "?"), every piece is taken from its code page 936 bytes.
        reliable_ = offset == narrow.size();
        if (reliable_) {
            unitAt_[offset] = static_cast<std::uint16_t>(units_.size());
        }
    }

    std::string Utf8Of(std::string_view piece) const {
        const auto start = static_cast<std::size_t>(piece.data() - narrow_.data());
        if (piece.empty()) {
            return {};
        }
        const std::uint16_t first = unitAt_[start];
        const std::uint16_t last = unitAt_[start + piece.size()];
        if (!reliable_ || first == kInside || last == kInside) {
            return LocalToUtf8(piece);
        }
        return platform::Utf16ToUtf8(std::u16string_view(units_).substr(first, last - first));
    }

private:
    static constexpr std::uint16_t kInside = 0xFFFF;
    std::string_view narrow_;
    std::u16string units_;
    std::vector<std::uint16_t> unitAt_;  // narrow offset to the unit that starts there
    bool reliable_ = false;
};

}  // namespace

ReadOutcome ParseMessageHead(std::span<const char> head, MessageStore& store) {
    std::array<char, kMessageNarrowBytes> narrow;
    std::string_view text;
    if (const auto refused = MessageHeadText(head, narrow, text)) {
        return refused;
    }
    MessageFields fields;
    if (const auto refused = FindMessageFields(text, fields)) {
        return refused;
    }
    DisplayDate date;
    const std::uint64_t key = ParseMessageDate(fields.date, date);
    if (store.Form() == TextForm::Utf8) {
        const HeadUnits units(head, text);
        store.Add(units.Utf8Of(NormalizedNumber(fields.number)), date.View(),
                  units.Utf8Of(fields.body), key);
    } else {
        store.Add(NormalizedNumber(fields.number), date.View(), fields.body, key);
    }
    return std::nullopt;
}

ReadOutcome ParseCardHead(std::span<const char> head, std::vector<ContactEntry>& entries,
                          TextForm form) {
    if (head.empty()) {
        return SkipReason::Empty;
    }
    return ParseCardText(std::string_view(head.data(), head.size()), entries, form);
}

ReadOutcome ReadMessageFile(platform::InputFile& file, MessageStore& store) {
    std::array<char, kMessageHeadUnits * 2> raw;
    const auto got = file.ReadHead(raw);
    if (!got) {
        return SkipReason::ReadError;
    }
    return ParseMessageHead(std::span<const char>(raw.data(), *got), store);
}

ReadOutcome ReadCardFile(platform::InputFile& file, std::vector<ContactEntry>& entries,
                         TextForm form) {
    std::array<char, kCardHeadBytes> head;
    const auto got = file.ReadTextHead(head);
    if (!got) {
        return SkipReason::ReadError;
    }
    return ParseCardHead(std::span<const char>(head.data(), *got), entries, form);
}

}  // namespace quillbox
