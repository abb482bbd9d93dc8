// SPDX-License-Identifier: MIT
#include "read/vcard_parser.h"

#include <algorithm>
#include <utility>

#include "platform/codec.h"
#include "read/field_normalisation.h"
#include "read/vformat_text.h"

namespace quillbox {

namespace {

using vformat::EqualsUpper;
using vformat::Property;
using vformat::RawText;
using vformat::Trim;

// An AGENT card written into its property's value holds its own lines escaped; one written
// into that needs escapes of escapes. Deeper than this is not seen in exports.
constexpr int kInlineAgentDepth = 2;

enum class Kind : std::uint8_t { Begin, End, Version, Name, StructuredName, Tel, Agent, Other };

Kind KindOf(std::string_view name) {
    if (EqualsUpper(name, "TEL"))
        return Kind::Tel;
    if (EqualsUpper(name, "FN"))
        return Kind::Name;
    if (EqualsUpper(name, "N"))
        return Kind::StructuredName;
    if (EqualsUpper(name, "BEGIN"))
        return Kind::Begin;
    if (EqualsUpper(name, "END"))
        return Kind::End;
    if (EqualsUpper(name, "VERSION"))
        return Kind::Version;
    if (EqualsUpper(name, "AGENT"))
        return Kind::Agent;
    return Kind::Other;
}

bool IsCardMarker(std::string_view value) {
    return EqualsUpper(Trim(value), "VCARD");
}

bool IsEndOfCard(std::string_view line) {
    return EqualsUpper(Trim(line), "END:VCARD");
}

// A field is decoded when its card ends: a VERSION line may follow it. Its charset and value lie
// in its card's text, so that a card of a million TEL lines costs little more than their bytes.
struct RawField {
    Kind kind;
    vformat::ValueEncoding encoding;
    std::uint32_t charsetLength;
    std::uint32_t valueLength;
    std::size_t start;  // the charset, then the value
};

struct OpenCard {
    std::size_t index = 0;
    std::size_t textStart = 0;  // where its BEGIN line starts
    bool version4 = false;
    std::vector<RawField> fields;
    std::string text;

    void Add(Kind kind, const Property& property) {
        fields.push_back({kind, property.encoding,
                          static_cast<std::uint32_t>(property.charset.size()),
                          static_cast<std::uint32_t>(property.value.size()), text.size()});
        text.append(property.charset).append(property.value);
    }
    std::string_view Charset(const RawField& field) const {
        return std::string_view(text).substr(field.start, field.charsetLength);
    }
    std::string_view Value(const RawField& field) const {
        return std::string_view(text).substr(field.start + field.charsetLength, field.valueLength);
    }
};

// Text value escapes: "\n" is a line end, "\," "\;" "\:" and "\\" the character itself.
std::string Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char next = text[++i];
        if (next == 'n' || next == 'N') {
            out.push_back('\n');
        } else if (next == ',' || next == ';' || next == ':' || next == '\\') {
            out.push_back(next);
        } else {
            out.push_back('\\');
            out.push_back(next);
        }
    }
    return out;
}

// The components of a structured value, split at each ";" that no backslash escapes.
std::vector<std::string> SplitStructured(std::string_view text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == ';') {
            parts.push_back(Unescape(text.substr(start, i - start)));
            start = i + 1;
        }
    }
    parts.push_back(Unescape(text.substr(std::min(start, text.size()))));
    return parts;
}

// A name is one line: control characters become spaces, spaces around go.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    return std::string(Trim(text));
}

bool IsCjk(std::uint32_t cp) {
    return (cp >= 0x1100 && cp <= 0x11FF) ||  // Hangul jamo
           (cp >= 0x2E80 && cp <= 0x9FFF) ||  // radicals, kana, CJK symbols, ideographs
           (cp >= 0xA960 && cp <= 0xA97F) ||  // Hangul jamo extended
           (cp >= 0xAC00 && cp <= 0xD7FF) ||  // Hangul syllables
           (cp >= 0xF900 && cp <= 0xFAFF) ||  // compatibility ideographs
           (cp >= 0xFF65 && cp <= 0xFFDC) ||  // half-width kana and Hangul
           (cp >= 0x20000 && cp <= 0x3FFFF);  // supplementary ideographs
}

bool HoldsCjk(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        std::uint32_t cp = b;
        std::size_t length = 1;
        if (b >= 0xF0) {
            cp = b & 0x07u;
            length = 4;
        } else if (b >= 0xE0) {
            cp = b & 0x0Fu;
            length = 3;
        } else if (b >= 0xC0) {
            cp = b & 0x1Fu;
            length = 2;
        }
        for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k) {
            cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        }
        if (IsCjk(cp)) {
            return true;
        }
        i += length;
    }
    return false;
}

std::string JoinName(const std::string& family, const std::string& given) {
    if (family.empty() || given.empty()) {
        return family.empty() ? given : family;
    }
    if (HoldsCjk(family) || HoldsCjk(given)) {
        return family + given;
    }
    return family + " " + given;
}

// Keeps the non-empty numbers in their order, each at its first place; sorted, not searched,
// for a card that lists thousands.
void KeepFirstOfEach(std::vector<std::string>& numbers) {
    std::vector<std::uint32_t> order(numbers.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<std::uint32_t>(i);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return numbers[a] < numbers[b]; });
    std::vector<bool> repeated(numbers.size(), false);
    for (std::size_t k = 1; k < order.size(); ++k) {
        repeated[order[k]] = numbers[order[k]] == numbers[order[k - 1]];
    }
    order = {};
    std::size_t kept = 0;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (!repeated[i] && !numbers[i].empty()) {
            if (kept != i) {
                numbers[kept] = std::move(numbers[i]);
            }
            ++kept;
        }
    }
    numbers.resize(kept);
}

// One logical line of a card file: its folded continuations and quoted-printable soft breaks
// joined, and its property when it has one.
struct ContentLine {
    std::size_t start = 0;  // where its first physical line starts
    bool parsed = false;
    Kind kind = Kind::Other;
    Property property;
};

// Reads the file line by line, unfolding as it goes.
class LineUnfolder {
public:
    explicit LineUnfolder(std::string_view text) : reader_(text) {}

    // The next logical line; false at the end of the text. The line's views stay valid until
    // the next call.
    bool Next(ContentLine& out);
    std::size_t Offset() const { return reader_.Offset(); }

private:
    vformat::LineReader reader_;
    std::string joined_;
};

bool LineUnfolder::Next(ContentLine& out) {
    out.start = reader_.Offset();
    std::string_view line;
    if (!reader_.Next(line)) {
        return false;
    }
    out.parsed = vformat::ParseProperty(line, out.property);
    out.kind = out.parsed ? KindOf(out.property.name) : Kind::Other;
    // Continuation lines of a property nobody reads (a PHOTO's base64) are passed over.
    const bool keep = !out.parsed || out.kind != Kind::Other;
    const bool quotedPrintable =
        out.parsed && out.property.encoding == vformat::ValueEncoding::QuotedPrintable;
    bool extended = false;
    char tail = line.empty() ? '\0' : line.back();
    std::string_view next;
    while (reader_.Peek(next)) {
        const bool folded =
            !next.empty() && (next.front() == ' ' || next.front() == '\t') && !IsEndOfCard(next);
        // A quoted-printable soft break: the value goes on at the start of the next line, or
        // after its first space when the exporter folded it as well.
        const bool softBreak = quotedPrintable && tail == '=' && !IsEndOfCard(next);
        if (!folded && !softBreak) {
            break;
        }
        reader_.Next(next);
        const std::string_view piece = folded ? next.substr(1) : next;
        if (keep) {
            if (!extended) {
                joined_.assign(line);
                extended = true;
            }
            if (softBreak) {
                joined_.pop_back();
            }
            joined_.append(piece);
        }
        tail = piece.empty() ? '\0' : piece.back();
    }
    if (extended) {
        out.parsed = vformat::ParseProperty(joined_, out.property);
        out.kind = out.parsed ? KindOf(out.property.name) : Kind::Other;
    }
    return true;
}

class CardParser {
public:
    explicit CardParser(CardBatch& out) : out_(out) {}

    // convertedFile: the text is UTF-8 already, whatever its values declare.
    void Parse(std::string_view text, bool convertedFile, int depth);
    bool Nested() const { return nested_; }

private:
    // The cards a file's lines open and close, and the fields they gather.
    struct State {
        bool convertedFile = false;
        int depth = 0;
        std::vector<std::size_t> utf8Errors;  // where the file fails to be UTF-8
        std::vector<OpenCard> open;
        bool agentPending = false;  // an empty AGENT value: its card follows on the next lines
    };
    void Take(const ContentLine& line, std::size_t lineEnd, State& state);
    void Agent(const Property& property, State& state);
    // utf8Errors: where the file's bytes fail to be UTF-8 (none for a converted file).
    void Finish(const OpenCard& card, std::size_t end, bool convertedFile,
                const std::vector<std::size_t>& utf8Errors);
    static std::string Decode(const OpenCard& card, const RawField& field, RawText raw,
                              bool convertedFile) {
        Property property;
        property.encoding = field.encoding;
        property.charset = card.Charset(field);
        return vformat::DecodeValue(property, card.Value(field), raw, convertedFile);
    }
    void Skip(std::size_t index, SkipReason reason) { AddSkip(out_.skipped, index, reason); }

    CardBatch& out_;
    std::size_t nextIndex_ = 0;
    bool nested_ = false;  // cards may have been finished out of their order
};

void CardParser::Parse(std::string_view text, bool convertedFile, int depth) {
    State state;
    state.convertedFile = convertedFile;
    state.depth = depth;
    // Found once: a nested card's outer card covers its bytes again.
    if (!convertedFile) {
        state.utf8Errors = vformat::Utf8ErrorOffsets(text);
    }
    LineUnfolder lines(text);
    ContentLine line;
    while (lines.Next(line)) {
        if (line.parsed) {
            Take(line, lines.Offset(), state);
        }
    }
    for (const auto& cut : state.open) {
        Skip(cut.index, SkipReason::Cut);
    }
}

void CardParser::Take(const ContentLine& line, std::size_t lineEnd, State& state) {
    const Property& property = line.property;
    const bool pending = std::exchange(state.agentPending, false);
    std::vector<OpenCard>& open = state.open;
    switch (line.kind) {
        case Kind::Begin:
            if (!IsCardMarker(property.value)) {
                break;
            }
            if (!pending) {
                // A card that begins inside another without an AGENT: the other was cut.
                for (const auto& cut : open) {
                    Skip(cut.index, SkipReason::Cut);
                }
                nested_ = nested_ || open.size() > 1;
                open.clear();
            } else {
                nested_ = true;
            }
            open.push_back({nextIndex_++, line.start, false, {}, {}});
            break;
        case Kind::End:
            if (!IsCardMarker(property.value)) {
                break;
            }
            if (open.empty()) {
                // An END without its BEGIN: a card whose BEGIN line was damaged ("BEGIN:VCAR").
                Skip(nextIndex_++, SkipReason::Cut);
                break;
            }
            {
                const OpenCard card = std::move(open.back());
                open.pop_back();
                Finish(card, lineEnd, state.convertedFile, state.utf8Errors);
            }
            break;
        case Kind::Version:
            if (!open.empty()) {
                open.back().version4 = Trim(property.value).starts_with("4");
            }
            break;
        case Kind::Name:
        case Kind::StructuredName:
        case Kind::Tel:
            if (!open.empty()) {
                open.back().Add(line.kind, property);
            }
            break;
        case Kind::Agent:
            if (!open.empty()) {
                Agent(property, state);
            }
            break;
        case Kind::Other:
            break;
    }
}

// A card of an AGENT property is a card of its own, written on the next lines (an empty
// value) or into the value itself, its line ends escaped.
void CardParser::Agent(const Property& property, State& state) {
    const std::string_view value = Trim(property.value);
    if (value.empty()) {
        state.agentPending = true;
    } else if (vformat::StartsWithUpper(value, "BEGIN:VCARD") && state.depth < kInlineAgentDepth) {
        nested_ = true;
        const std::string decoded =
            vformat::DecodeValue(property, value, RawText::Guess, state.convertedFile);
        Parse(Unescape(decoded), true, state.depth + 1);
    }
}

void CardParser::Finish(const OpenCard& card, std::size_t end, bool convertedFile,
                        const std::vector<std::size_t>& utf8Errors) {
    const auto error = std::lower_bound(utf8Errors.begin(), utf8Errors.end(), card.textStart);
    const bool cardIsUtf8 = error == utf8Errors.end() || *error >= end;
    const RawText raw = card.version4 || convertedFile ? RawText::Utf8
                        : cardIsUtf8                   ? RawText::Guess
                                                       : RawText::PhoneFirst;
    std::string name;
    for (const auto& field : card.fields) {
        if (field.kind == Kind::Name) {
            name = OneLine(Unescape(Decode(card, field, raw, convertedFile)));
            if (!name.empty()) {
                break;
            }
        }
    }
    for (const auto& field : card.fields) {
        if (!name.empty()) {
            break;
        }
        if (field.kind == Kind::StructuredName) {
            const auto parts = SplitStructured(Decode(card, field, raw, convertedFile));
            name = JoinName(OneLine(parts[0]), parts.size() > 1 ? OneLine(parts[1]) : "");
        }
    }
    if (name.empty()) {
        Skip(card.index, SkipReason::NoName);
        return;
    }
    VCard result;
    result.index = card.index;
    result.name = std::move(name);
    vformat::DropZeros(result.name);
    for (const auto& field : card.fields) {
        if (field.kind == Kind::Tel) {
            result.numbers.push_back(vformat::CleanNumber(Decode(card, field, raw, convertedFile)));
        }
    }
    KeepFirstOfEach(result.numbers);
    out_.cards.push_back(std::move(result));
}

}  // namespace

void ParseVCards(std::string_view fileBytes, CardBatch& out) {
    const std::size_t firstCard = out.cards.size();
    const std::size_t firstSkip = out.skipped.size();
    CardParser parser(out);
    switch (vformat::DetectFileEncoding(fileBytes)) {
        case vformat::FileEncoding::Utf16Le:
            parser.Parse(vformat::Utf16FileText(fileBytes, false), true, 0);
            break;
        case vformat::FileEncoding::Utf16Be:
            parser.Parse(vformat::Utf16FileText(fileBytes, true), true, 0);
            break;
        case vformat::FileEncoding::Utf8Bom:
            // The mark speaks for the whole file, over any CHARSET of its lines.
            parser.Parse(fileBytes.substr(3), true, 0);
            break;
        case vformat::FileEncoding::Bytes:
            parser.Parse(fileBytes, false, 0);
            break;
    }
    if (parser.Nested()) {
        const auto byIndex = [](const auto& a, const auto& b) { return a.index < b.index; };
        std::stable_sort(out.cards.begin() + static_cast<std::ptrdiff_t>(firstCard),
                         out.cards.end(), byIndex);
        // A nested card's skips came before its outer card's: in order, the runs join anew.
        std::vector<SkippedItems> runs(out.skipped.begin() + static_cast<std::ptrdiff_t>(firstSkip),
                                       out.skipped.end());
        SortSkips(runs);
        out.skipped.resize(firstSkip);
        out.skipped.insert(out.skipped.end(), runs.begin(), runs.end());
    }
}

ReadResult ReadVCardFile(Input& input, Items& items) {
    ReadResult result;
    if (const auto refused = ReadWholeFile(input, result)) {
        result.refused = refused;
        return result;
    }
    CardBatch batch;
    ParseVCards(input.scratch, batch);
    if (batch.cards.empty() && batch.skipped.empty()) {
        result.refused = SkipReason::NoBlock;
        return result;
    }
    for (const VCard& card : batch.cards) {
        items.cards.AddCard(card.name);
        for (const std::string& number : card.numbers) {
            items.cards.AddNumber(NormalizedNumber(number));
        }
    }
    result.read = batch.cards.size();
    result.skipped = std::move(batch.skipped);
    return result;
}

}  // namespace quillbox
