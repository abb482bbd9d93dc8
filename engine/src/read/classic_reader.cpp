// SPDX-License-Identifier: MIT
#include "read/classic_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/codec.h"
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

std::optional<SkipReason> FindMessageFields(std::string_view text, MessageFields& fields) {
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

std::optional<SkipReason> ParseCardText(std::string_view head, CardEntries& entries) {
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
    // A card that fails gives none of the entries it had made.
    const std::size_t before = entries.Size();
    entries.AddCard(name);
    auto tel = view.find("\nTEL");
    while (tel != npos) {
        const auto colon = view.find(':', tel);
        const auto numberEnd = colon == npos ? npos : view.find('\n', colon + 1);
        if (numberEnd == npos) {
            entries.Truncate(before);
            return SkipReason::TelLineCut;
        }
        // Numbers are matched by their code page 936 bytes, as they always were.
        entries.AddNumber(
            platform::Cp936AsUtf8(ClassicNumber(view.substr(colon + 1, numberEnd - colon - 1))));
        tel = view.find("\nTEL", colon + 1);
    }
    return std::nullopt;
}

namespace {

// The head as code page 936 text, and where in it each UTF-16 unit's bytes begin, so that a
// field found in the text can be taken from the units it came from.
class HeadText {
public:
    std::optional<SkipReason> Convert(std::span<const char> head,
                                      std::span<char, kMessageCp936Bytes> cp936) {
        // The head is UTF-16LE; a final odd byte is no whole unit. A byte-order mark is converted
        // like any other character.
        const std::size_t count = std::min(head.size() / 2, kMessageHeadUnits);
        if (head.empty()) {
            return SkipReason::Empty;
        }
        if (count == 0) {
            return SkipReason::NotUtf16Text;
        }
        const platform::Cp936Tables& table = platform::Cp936();
        std::size_t n = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const auto unit =
                static_cast<char16_t>(static_cast<unsigned char>(head[2 * i]) |
                                      static_cast<unsigned char>(head[2 * i + 1]) << 8);
            // The conversion ends at the first zero unit.
            if (unit == 0) {
                break;
            }
            units_[i] = unit;
            unitCount_ = i + 1;
            start_[n] = static_cast<std::uint16_t>(i);
            if (unit < 0x80) {
                if (n + 1 >= cp936.size()) {
                    return SkipReason::NotUtf16Text;
                }
                cp936[n++] = static_cast<char>(unit);
                continue;
            }
            ascii_ = false;
            // A surrogate is never in code page 936: a pair becomes "??", a lone one "?".
            const std::uint16_t code = platform::IsSurrogate(unit) ? 0 : table.fromUnicode[unit];
            const std::size_t width = code >= 0x100 ? 2 : 1;
            if (n + width >= cp936.size()) {
                return SkipReason::NotUtf16Text;
            }
            if (width == 2) {
                start_[n + 1] = kInside;
                cp936[n++] = static_cast<char>(code >> 8);
                cp936[n++] = static_cast<char>(code & 0xFF);
            } else {
                cp936[n++] = code == 0 ? '?' : static_cast<char>(code);
            }
        }
        cp936[n] = '\0';
        start_[n] = static_cast<std::uint16_t>(unitCount_);
        text_ = std::string_view(cp936.data(), n);
        return std::nullopt;
    }

    std::string_view Text() const { return text_; }

    // A field of the text as the engine's text: from the units it came from, or, where it begins
    // or ends inside a character (a marker formed across a character's second byte), from its
    // code page 936 bytes.
    std::string Utf8Of(std::string_view field) const {
        if (ascii_ || field.empty()) {
            return std::string(field);
        }
        const auto first = static_cast<std::size_t>(field.data() - text_.data());
        const std::uint16_t from = start_[first];
        const std::uint16_t to = start_[first + field.size()];
        if (from == kInside || to == kInside) {
            return platform::Cp936AsUtf8(field);
        }
        return platform::Utf16ToUtf8(std::u16string_view(units_.data() + from, to - from));
    }

private:
    static constexpr std::uint16_t kInside = 0xFFFF;
    std::array<char16_t, kMessageHeadUnits> units_;
    std::array<std::uint16_t, kMessageCp936Bytes + 1> start_;
    std::size_t unitCount_ = 0;
    std::string_view text_;
    bool ascii_ = true;
};

}  // namespace

std::optional<SkipReason> MessageHeadText(std::span<const char> head,
                                          std::span<char, kMessageCp936Bytes> cp936,
                                          std::string_view& text) {
    HeadText converted;
    if (const auto refused = converted.Convert(head, cp936)) {
        return refused;
    }
    text = converted.Text();
    return std::nullopt;
}

std::optional<SkipReason> ParseMessageHead(std::span<const char> head, MessageStore& store) {
    std::array<char, kMessageCp936Bytes> cp936;
    HeadText converted;
    if (const auto refused = converted.Convert(head, cp936)) {
        return refused;
    }
    MessageFields fields;
    if (const auto refused = FindMessageFields(converted.Text(), fields)) {
        return refused;
    }
    const MessageTime time = ParseMessageDate(fields.date);
    // The number from its bytes, as the cards' numbers, so that the two meet as they always did.
    const std::string party = platform::Cp936AsUtf8(ClassicNumber(fields.number));
    const std::string body = converted.Utf8Of(fields.body);
    store.Add({party, {}, body, time, ClassicTimeKey(time), false});
    return std::nullopt;
}

ReadResult ReadClassicMessage(Input& input, Items& items) {
    std::array<char, kMessageHeadUnits * 2> raw;
    ReadResult result;
    const auto got = input.file.ReadHead(raw);
    if (!got) {
        result.refused = SkipReason::ReadError;
        result.systemError = input.file.LastError();
        return result;
    }
    result.refused = ParseMessageHead(std::span<const char>(raw.data(), *got), items.messages);
    result.read = result.refused ? 0 : 1;
    // Today's phones write UTF-8, or many messages to a file, of which this reads the first.
    const std::string_view head(raw.data(), *got);
    constexpr std::string_view kBegin = "BEGIN:VMSG";
    constexpr std::string_view kBegin16 = {"B\0E\0G\0I\0N\0:\0V\0M\0S\0G\0", 20};
    const auto first = head.find(kBegin16);
    result.looksModern = head.find(kBegin) != std::string_view::npos ||
                         (first != std::string_view::npos &&
                          head.find(kBegin16, first + kBegin16.size()) != std::string_view::npos);
    return result;
}

FirstCard FindFirstCard(std::string_view head) {
    head = UpToZero(head);
    const auto end = head.find("\nEND:VCARD");
    // A file of one card reads whole, as it always has.
    if (end == npos || head.find("BEGIN:VCARD", end) == npos) {
        return {head, false};
    }
    // The first card's END line stays with it: a TEL line without ":" takes that line's.
    const auto lineEnd = head.find('\n', end + 1);
    return {head.substr(0, lineEnd == npos ? head.size() : lineEnd + 1), true};
}

ReadResult ReadClassicCard(Input& input, Items& items) {
    std::array<char, kCardHeadBytes> head;
    ReadResult result;
    const auto got = input.file.ReadTextHead(head);
    if (!got) {
        result.refused = SkipReason::ReadError;
        result.systemError = input.file.LastError();
        return result;
    }
    if (*got == 0) {
        result.refused = SkipReason::Empty;
        return result;
    }
    // Today's phones export every card into one file: the classic reading takes the first and
    // says that the others are there to be read with --modern.
    const FirstCard first = FindFirstCard(std::string_view(head.data(), *got));
    result.refused = ParseCardText(first.text, items.cards);
    result.read = result.refused ? 0 : 1;
    if (!result.refused && first.more) {
        AddSkip(result.skipped, 1, SkipReason::MoreCards);
        result.looksModern = true;
    }
    return result;
}

}  // namespace quillbox
