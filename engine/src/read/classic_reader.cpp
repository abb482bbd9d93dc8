// SPDX-License-Identifier: MIT
#include "read/classic_reader.h"

#include <algorithm>
#include <array>
#include <optional>

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

ReadOutcome ParseCardText(std::string_view head, std::vector<ContactEntry>& entries) {
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
    const std::string name = DecodeContactName(view.substr(nameStart, nameEnd - nameStart));

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
        entries.push_back({name, NormalizeNumber(view.substr(colon + 1, numberEnd - colon - 1))});
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
    store.Add(NormalizedNumber(fields.number), date.View(), fields.body, key);
    return std::nullopt;
}

ReadOutcome ParseCardHead(std::span<const char> head, std::vector<ContactEntry>& entries) {
    if (head.empty()) {
        return SkipReason::Empty;
    }
    return ParseCardText(std::string_view(head.data(), head.size()), entries);
}

ReadOutcome ReadMessageFile(platform::InputFile& file, MessageStore& store) {
    std::array<char, kMessageHeadUnits * 2> raw;
    const auto got = file.ReadHead(raw);
    if (!got) {
        return SkipReason::ReadError;
    }
    return ParseMessageHead(std::span<const char>(raw.data(), *got), store);
}

ReadOutcome ReadCardFile(platform::InputFile& file, std::vector<ContactEntry>& entries) {
    std::array<char, kCardHeadBytes> head;
    const auto got = file.ReadTextHead(head);
    if (!got) {
        return SkipReason::ReadError;
    }
    return ParseCardHead(std::span<const char>(head.data(), *got), entries);
}

}  // namespace quillbox
