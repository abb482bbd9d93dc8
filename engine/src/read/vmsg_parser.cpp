// SPDX-License-Identifier: MIT
#include "read/vmsg_parser.h"

#include <array>

#include "platform/codec.h"
#include "read/field_normalisation.h"
#include "read/vformat_text.h"

namespace quillbox {

namespace {

using vformat::EqualsUpper;
using vformat::Property;
using vformat::StartsWithUpper;
using vformat::Trim;

enum class Box : std::uint8_t { Unknown, Received, Sent, Draft };

Box BoxOf(std::string_view value) {
    value = Trim(value);
    if (EqualsUpper(value, "INBOX")) {
        return Box::Received;
    }
    for (const std::string_view sent : {"SENDBOX", "SENTBOX", "OUTBOX", "SENT"}) {
        if (EqualsUpper(value, sent)) {
            return Box::Sent;
        }
    }
    for (const std::string_view draft : {"DRAFT", "DRAFTS", "DRAFTBOX"}) {
        if (EqualsUpper(value, draft)) {
            return Box::Draft;
        }
    }
    return Box::Unknown;
}

Box MessageTypeOf(std::string_view value) {
    value = Trim(value);
    if (EqualsUpper(value, "SUBMIT")) {
        return Box::Sent;
    }
    if (EqualsUpper(value, "DELIVER")) {
        return Box::Received;
    }
    return Box::Unknown;
}

bool IsLine(std::string_view line, std::string_view upper) {
    return EqualsUpper(Trim(line), upper);
}

// "Subject" (MTK, Android) and "TEXT" (Samsung) hold the text as a property of their own.
bool IsTextProperty(std::string_view line) {
    for (const std::string_view name : {"SUBJECT", "TEXT"}) {
        if (StartsWithUpper(line, name) && line.size() > name.size() &&
            (line[name.size()] == ';' || line[name.size()] == ':')) {
            return true;
        }
    }
    return false;
}

// A date that reads, one that does not, or none seen.
struct DateSeen {
    bool seen = false;
    std::optional<MessageTime> date;

    void Take(std::string_view text) {
        if (!date) {
            seen = true;
            date = ParseVMessageDate(text);
        }
    }
};

struct Block {
    std::size_t index = 0;
    bool mtk = false;  // lines end in CR and a space, which is no folding here
    int envelopes = 0;
    int cards = 0;
    bool cardInEnvelope = false;
    bool inBody = false;
    bool bodySeen = false;
    bool bodyDated = false;  // the body's Date line has passed
    bool textStarted = false;
    Box messageType = Box::Unknown;
    Box box = Box::Unknown;
    std::string originator;
    std::string recipient;
    DateSeen bodyDate;
    DateSeen headerDate;
    std::string text;
    bool textProperty = false;
    std::string propertyText;
};

class MessageParser {
public:
    MessageParser(std::string_view text, MessageBatch& out) : reader_(text), out_(out) {}
    void Run();

private:
    bool NextLine(std::string_view& line);
    void BodyLine(std::string_view line);
    void OuterLine(std::string_view line);
    void Header(const Property& property);
    void TextProperty(std::string_view line);
    void Finish();
    void Skip(SkipReason reason) { AddSkip(out_.skipped, block_.index, reason); }

    vformat::LineReader reader_;
    MessageBatch& out_;
    Block block_;
    bool open_ = false;
    std::size_t nextIndex_ = 0;
    std::string joined_;
};

bool MessageParser::NextLine(std::string_view& line) {
    if (!reader_.Next(line)) {
        return false;
    }
    if (block_.mtk && !line.empty() && line.front() == ' ') {
        line.remove_prefix(1);
    }
    return true;
}

void MessageParser::Run() {
    std::string_view line;
    while (NextLine(line)) {
        if (IsLine(line, "BEGIN:VMSG")) {
            if (open_) {
                Skip(SkipReason::Cut);
            }
            block_ = Block{};
            block_.index = nextIndex_++;
            std::string_view next;
            block_.mtk = reader_.Peek(next) && next.starts_with(' ');
            open_ = true;
            continue;
        }
        if (!open_) {
            // An END without its BEGIN: a block whose BEGIN line was damaged ("BEGIN:VMS").
            if (IsLine(line, "END:VMSG")) {
                AddSkip(out_.skipped, nextIndex_++, SkipReason::Cut);
            }
            continue;
        }
        if (IsLine(line, "END:VMSG")) {
            Finish();
            open_ = false;
            continue;
        }
        if (block_.inBody) {
            BodyLine(line);
        } else {
            OuterLine(line);
        }
    }
    if (open_) {
        Skip(SkipReason::Cut);
    }
}

void MessageParser::BodyLine(std::string_view line) {
    Block& b = block_;
    if (IsLine(line, "END:VBODY")) {
        b.inBody = false;
        return;
    }
    if (!b.textStarted) {
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty()) {
            return;
        }
        if (!b.bodyDated) {
            // Before the date: the date itself and header lines, none of them text.
            if (StartsWithUpper(trimmed, "DATE:")) {
                b.bodyDate.Take(trimmed.substr(5));
                b.bodyDated = true;
                return;
            }
            Property property;
            if (StartsWithUpper(trimmed, "X-") && vformat::ParseProperty(trimmed, property) &&
                property.name.find(' ') == std::string_view::npos) {
                Header(property);
                return;
            }
        }
        if (IsTextProperty(trimmed)) {
            TextProperty(trimmed);
            return;
        }
    }
    if (b.textStarted) {
        b.text.push_back('\n');
    }
    b.textStarted = true;
    b.text.append(line);
}

void MessageParser::OuterLine(std::string_view line) {
    Block& b = block_;
    const std::string_view trimmed = Trim(line);
    if (b.cards == 0 && IsTextProperty(trimmed)) {
        TextProperty(trimmed);
        return;
    }
    Property property;
    if (!vformat::ParseProperty(trimmed, property)) {
        return;
    }
    const std::string_view value = Trim(property.value);
    if (EqualsUpper(property.name, "BEGIN")) {
        if (EqualsUpper(value, "VCARD")) {
            if (b.cards++ == 0) {
                b.cardInEnvelope = b.envelopes > 0;
            }
        } else if (EqualsUpper(value, "VENV")) {
            ++b.envelopes;
        } else if (EqualsUpper(value, "VBODY")) {
            b.inBody = true;
            b.bodySeen = true;
        }
    } else if (EqualsUpper(property.name, "END")) {
        if (EqualsUpper(value, "VCARD")) {
            b.cards = b.cards > 0 ? b.cards - 1 : 0;
        } else if (EqualsUpper(value, "VENV")) {
            b.envelopes = b.envelopes > 0 ? b.envelopes - 1 : 0;
        }
    } else if (b.cards > 0) {
        if (EqualsUpper(property.name, "TEL")) {
            std::string& number = b.cardInEnvelope ? b.recipient : b.originator;
            if (number.empty()) {
                number = vformat::CleanNumber(
                    vformat::DecodeValue(property, property.value, vformat::RawText::Utf8, true));
            }
        }
    } else {
        Header(property);
    }
}

void MessageParser::Header(const Property& property) {
    Block& b = block_;
    if (EqualsUpper(property.name, "X-MESSAGE-TYPE")) {
        b.messageType = MessageTypeOf(property.value);
    } else if (EqualsUpper(property.name, "X-IRMC-BOX") || EqualsUpper(property.name, "X-BOX")) {
        if (const Box box = BoxOf(property.value); box != Box::Unknown) {
            b.box = box;
        }
    } else if (EqualsUpper(property.name, "X-NOK-DT") || EqualsUpper(property.name, "DATE")) {
        b.headerDate.Take(property.value);
    }
}

void MessageParser::TextProperty(std::string_view line) {
    Property property;
    if (!vformat::ParseProperty(line, property)) {
        return;
    }
    if (property.encoding == vformat::ValueEncoding::QuotedPrintable &&
        property.value.ends_with('=')) {
        // Soft line breaks: the value goes on at the start of the next lines.
        joined_.assign(line);
        std::string_view next;
        while (joined_.back() == '=' && reader_.Peek(next)) {
            if (IsLine(next, "END:VBODY") || IsLine(next, "END:VMSG")) {
                break;
            }
            NextLine(next);
            joined_.pop_back();
            joined_.append(next);
            if (joined_.empty()) {
                break;
            }
        }
        vformat::ParseProperty(joined_, property);
    }
    if (!block_.textProperty) {
        block_.textProperty = true;
        block_.propertyText =
            vformat::DecodeValue(property, property.value, vformat::RawText::Utf8, true);
    }
}

void MessageParser::Finish() {
    Block& b = block_;
    if (b.box == Box::Draft) {
        Skip(SkipReason::Draft);
        return;
    }
    if (!b.bodySeen && !b.textProperty) {
        Skip(SkipReason::NoBody);
        return;
    }
    const std::optional<MessageTime> date = b.bodyDate.date ? b.bodyDate.date : b.headerDate.date;
    if (!date) {
        Skip(b.bodyDate.seen || b.headerDate.seen ? SkipReason::BadDate : SkipReason::NoDate);
        return;
    }
    const Box direction = b.messageType != Box::Unknown ? b.messageType : b.box;
    VMessage message;
    message.index = b.index;
    message.direction =
        direction == Box::Sent ? MessageDirection::Sent : MessageDirection::Received;
    std::string& first = direction == Box::Sent ? b.recipient : b.originator;
    std::string& second = direction == Box::Sent ? b.originator : b.recipient;
    message.number = std::move(first.empty() ? second : first);
    message.date = *date;
    vformat::DropZeros(b.propertyText);
    vformat::DropZeros(b.text);
    if (b.textProperty && !b.propertyText.empty()) {
        // A decoded value may hold any line ends; the text's are LF.
        message.text.reserve(b.propertyText.size());
        for (std::size_t i = 0; i < b.propertyText.size(); ++i) {
            const char c = b.propertyText[i];
            if (c != '\r') {
                message.text.push_back(c);
            } else if (i + 1 == b.propertyText.size() || b.propertyText[i + 1] != '\n') {
                message.text.push_back('\n');
            }
        }
    } else {
        message.text = std::move(b.text);
    }
    while (!message.text.empty() && message.text.back() == '\n') {
        message.text.pop_back();
    }
    vformat::DropZeros(message.number);
    out_.messages.push_back(std::move(message));
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A run of digits of a date, and how many there were.
struct DateNumber {
    int value = 0;
    std::size_t digits = 0;
};

int Digits(std::string_view text, std::size_t from, std::size_t count) {
    int value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

namespace {

// The numbers of a date as written, and how they were written.
struct DateNumbers {
    std::array<DateNumber, 6> parts{};
    std::size_t count = 0;
    bool yearFirst = false;
};

// The runs of digits of the text, up to six; the compact forms ("20090318T101530") give several
// at once. False for a run no date form has.
bool ReadDateNumbers(std::string_view text, DateNumbers& numbers) {
    // Plain references, not a structured binding: a lambda below uses them.
    auto& parts = numbers.parts;
    std::size_t& count = numbers.count;
    bool& yearFirst = numbers.yearFirst;
    bool compactDate = false;
    std::size_t i = 0;
    while (i < text.size() && count < parts.size()) {
        const char c = text[i];
        if (!IsDigit(c)) {
            // Separators, and the CJK "年月日" between the numbers; a zone ends the date.
            const bool separator = c == ' ' || c == '\t' || c == '.' || c == '/' || c == ':' ||
                                   c == ',' || c == 'T' || c == 't' ||
                                   static_cast<unsigned char>(c) >= 0x80 || (c == '-' && count < 4);
            if (!separator) {
                break;
            }
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && IsDigit(text[end])) {
            ++end;
        }
        const std::string_view run = text.substr(i, end - i);
        i = end;
        const auto put = [&](std::size_t from, std::size_t length) {
            if (count < parts.size()) {
                parts[count++] = {Digits(run, from, length), length};
            }
        };
        if (count == 0 && (run.size() == 8 || run.size() == 14)) {
            put(0, 4);
            put(4, 2);
            put(6, 2);
            if (run.size() == 14) {
                put(8, 2);
                put(10, 2);
                put(12, 2);
            }
            compactDate = true;
            yearFirst = true;
        } else if (count == 3 && compactDate && (run.size() == 6 || run.size() == 4)) {
            put(0, 2);
            put(2, 2);
            if (run.size() == 6) {
                put(4, 2);
            }
        } else if (run.size() <= 4) {
            if (count == 0) {
                yearFirst = run.size() == 4;
            }
            put(0, run.size());
        } else {
            return false;
        }
    }
    return true;
}

// The time the numbers stand for, when they make one.
std::optional<MessageTime> TimeOf(const DateNumbers& numbers) {
    const auto& [parts, count, yearFirst] = numbers;
    if (count < 3) {
        return std::nullopt;
    }
    const DateNumber year = yearFirst ? parts[0] : parts[2];
    const DateNumber day = yearFirst ? parts[2] : parts[0];
    if (day.digits > 2 || parts[1].digits > 2 || (year.digits != 2 && year.digits != 4)) {
        return std::nullopt;
    }
    for (std::size_t k = 3; k < count; ++k) {
        if (parts[k].digits > 2) {
            return std::nullopt;
        }
    }
    MessageTime date;
    date.year = year.digits == 2 ? year.value + (year.value >= 70 ? 1900 : 2000) : year.value;
    date.month = parts[1].value;
    date.day = day.value;
    date.hour = parts[3].value;
    date.minute = parts[4].value;
    date.second = parts[5].value;
    if (date.year < 1900 || date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31 ||
        date.hour > 23 || date.minute > 59 || date.second > 60) {
        return std::nullopt;
    }
    return date;
}

}  // namespace

std::optional<MessageTime> ParseVMessageDate(std::string_view text) {
    DateNumbers numbers;
    if (!ReadDateNumbers(Trim(text), numbers)) {
        return std::nullopt;
    }
    return TimeOf(numbers);
}

void ParseVMessages(std::string_view fileBytes, MessageBatch& out) {
    std::string storage;
    std::string_view text = fileBytes;
    switch (vformat::DetectFileEncoding(fileBytes)) {
        case vformat::FileEncoding::Utf16Le:
            storage = vformat::Utf16FileText(fileBytes, false);
            text = storage;
            break;
        case vformat::FileEncoding::Utf16Be:
            storage = vformat::Utf16FileText(fileBytes, true);
            text = storage;
            break;
        case vformat::FileEncoding::Utf8Bom:
            text = fileBytes.substr(3);
            if (!platform::IsUtf8(text)) {
                platform::AppendUtf8Lenient(storage, text);
                text = storage;
            }
            break;
        case vformat::FileEncoding::Bytes:
            if (!platform::IsUtf8(text)) {
                storage = vformat::Cp936ToUtf8Lenient(text);
                text = storage;
            }
            break;
    }
    MessageParser(text, out).Run();
}

ReadResult ReadVMessageFile(Input& input, Items& items) {
    ReadResult result;
    if (const auto refused = ReadWholeFile(input, result)) {
        result.refused = refused;
        return result;
    }
    MessageBatch batch;
    ParseVMessages(input.scratch, batch);
    if (batch.messages.empty() && batch.skipped.empty()) {
        result.refused = SkipReason::NoBlock;
        return result;
    }
    result.skipped = std::move(batch.skipped);
    bool longNumbers = false;
    for (const VMessage& message : batch.messages) {
        const std::string_view party = NormalizedNumber(message.number);
        if (party.size() > kLongestNumber) {
            AddSkip(result.skipped, message.index, SkipReason::NumberTooLong);
            longNumbers = true;
            continue;
        }
        items.messages.Add({party,
                            {},
                            message.text,
                            message.date,
                            TimeKey(message.date),
                            message.direction == MessageDirection::Sent});
        ++result.read;
    }
    if (longNumbers) {
        SortSkips(result.skipped);
    }
    return result;
}

}  // namespace quillbox
