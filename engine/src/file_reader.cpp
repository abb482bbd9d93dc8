#include "file_reader.h"

#include <algorithm>
#include <array>
#include <optional>

#include "field_normalisation.h"
#include "platform/platform.h"

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

bool FindMessageFields(std::string_view text, MessageFields& fields) {
    text = UpToZero(text);
    const auto tel = text.find("TEL:");
    if (tel == npos) {
        return false;
    }
    const auto numberStart = tel + 4;
    const auto numberEnd = text.find('\n', numberStart);
    if (numberEnd == npos) {
        return false;
    }
    // A CR LF after the marker does not match: such files are refused.
    const auto begin = text.find("BEGIN:VBODY\n", numberEnd + 1);
    if (begin == npos) {
        return false;
    }
    const auto block = begin + 12;
    if (text.substr(block, 5) != "Date:") {
        return false;
    }
    const auto dateStart = block + 5;
    const auto dateEnd = text.find('\n', dateStart);
    if (dateEnd == npos) {
        return false;
    }
    const auto bodyStart = dateEnd + 1;
    const auto end = text.find("END:VBODY", bodyStart);
    if (end == npos) {
        return false;
    }
    // The byte before "END:VBODY" is dropped whatever it is; normally the body's last LF.
    fields.body =
        end > bodyStart ? text.substr(bodyStart, end - 1 - bodyStart) : std::string_view();
    fields.number = text.substr(numberStart, numberEnd - numberStart);
    fields.date = text.substr(dateStart, dateEnd - dateStart);
    return true;
}

bool ParseMessageText(std::string_view text, MessageRecord& record) {
    MessageFields fields;
    if (!FindMessageFields(text, fields)) {
        return false;
    }
    record.body.assign(fields.body);
    record.sender = NormalizedNumber(fields.number);
    DisplayDate date;
    record.dateKey = ParseMessageDate(fields.date, date);
    record.dateText.assign(date.View());
    return true;
}

bool ParseCardText(std::string_view head, std::vector<ContactEntry>& entries) {
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
        return false;
    }
    const auto nameEnd = view.find('\n', nameStart);
    if (nameEnd == npos) {
        return false;
    }
    const std::string name = DecodeContactName(view.substr(nameStart, nameEnd - nameStart));

    // Telephone lines before the name line count too. A TEL line without ":" takes the first
    // ":" of a later line.
    auto tel = view.find("\nTEL");
    while (tel != npos) {
        const auto colon = view.find(':', tel);
        if (colon == npos) {
            return false;
        }
        const auto numberEnd = view.find('\n', colon + 1);
        if (numberEnd == npos) {
            return false;
        }
        entries.push_back({name, NormalizeNumber(view.substr(colon + 1, numberEnd - colon - 1))});
        tel = view.find("\nTEL", colon + 1);
    }
    return true;
}

std::optional<std::string_view> MessageHeadText(std::span<const char> head,
                                                std::span<char, kMessageNarrowBytes> narrow) {
    // The head is UTF-16LE; a final odd byte is no whole unit. A byte-order mark is converted
    // like any other character.
    std::array<char16_t, kMessageHeadUnits> units;
    const std::size_t count = std::min(head.size() / 2, units.size());
    if (count == 0) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < count; ++i) {
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(head[2 * i]) |
                                         static_cast<unsigned char>(head[2 * i + 1]) << 8);
    }
    const auto length = platform::Utf16ToOem(std::u16string_view(units.data(), count), narrow);
    if (!length) {
        return std::nullopt;
    }
    return std::string_view(narrow.data(), *length);
}

bool ParseMessageHead(std::span<const char> head, MessageRecord& record) {
    std::array<char, kMessageNarrowBytes> narrow;
    const auto text = MessageHeadText(head, narrow);
    if (!text) {
        return false;
    }
    MessageRecord parsed;
    if (!ParseMessageText(*text, parsed)) {
        return false;
    }
    record = std::move(parsed);
    return true;
}

bool ReadMessageFile(MessageStore& store, platform::FolderFileReader& files,
                     const ListedFile& file) {
    std::array<char, kMessageHeadUnits * 2> raw;
    const auto got = files.ReadHead(file.folder, file.name, raw, file.kind);
    if (!got) {
        return false;
    }
    std::array<char, kMessageNarrowBytes> narrow;
    const auto text = MessageHeadText(std::span<const char>(raw.data(), *got), narrow);
    MessageFields fields;
    if (!text || !FindMessageFields(*text, fields)) {
        return false;
    }
    DisplayDate date;
    const std::uint64_t key = ParseMessageDate(fields.date, date);
    store.Add(NormalizedNumber(fields.number), date.View(), fields.body, key);
    return true;
}

namespace {

bool ParseCardHead(std::span<const char> head, std::optional<std::size_t> got,
                   std::vector<ContactEntry>& entries) {
    if (!got || *got == 0) {
        return false;
    }
    return ParseCardText(std::string_view(head.data(), *got), entries);
}

}  // namespace

bool ReadContactsFile(std::vector<ContactEntry>& entries, platform::FolderFileReader& files,
                      const ListedFile& file) {
    std::array<char, kCardHeadBytes> head;
    return ParseCardHead(head, files.ReadTextHead(file.folder, file.name, head, file.kind),
                         entries);
}

bool CFileReader::ReadMessage(MessageRecord* record, std::string path) {
    std::array<char, kMessageHeadUnits * 2> raw;
    const auto got = platform::ReadFileHead(path, raw);
    return got && ParseMessageHead(std::span<const char>(raw.data(), *got), *record);
}

bool CFileReader::ReadContacts(std::vector<ContactEntry>* entries, std::string path) {
    std::array<char, kCardHeadBytes> head;
    return ParseCardHead(head, platform::ReadTextFileHead(path, head), *entries);
}

}  // namespace quillbox
