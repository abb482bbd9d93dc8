// SPDX-License-Identifier: MIT
#pragma once

// What the card and the message parser share: the text of a whole file as UTF-8, lines, the
// "NAME;PARAM=VALUE:value" property line, value decoding and the cleaning of numbers.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox::vformat {

// ASCII case-insensitive comparison with a pattern written in upper case.
bool EqualsUpper(std::string_view text, std::string_view upper);
bool StartsWithUpper(std::string_view text, std::string_view upper);
// Without leading and trailing spaces and tabs.
std::string_view Trim(std::string_view text);

// Where the bytes fail to be UTF-8, in order: a range is valid UTF-8 when none falls in it.
std::vector<std::size_t> Utf8ErrorOffsets(std::string_view bytes);

// Removes every zero byte: a zero ends text wherever the archive's converters see it.
void DropZeros(std::string& text);

// A whole file's encoding as its first bytes show it.
enum class FileEncoding : std::uint8_t {
    Utf8Bom,  // a UTF-8 byte-order mark, dropped
    Utf16Le,  // by its mark or by the zero high bytes of its first units
    Utf16Be,
    Bytes,  // anything else: its values say or show what they are
};
FileEncoding DetectFileEncoding(std::string_view file);
// A UTF-16 file's text as UTF-8: a mark at the start dropped, zero units left out, an unpaired
// surrogate as U+FFFD, a final odd byte ignored.
std::string Utf16FileText(std::string_view bytes, bool bigEndian);
// Code page 936 text to UTF-8 without failing: the whole at once, else line by line (code page
// 936, then UTF-8, then UTF-8 with replacements).
std::string Cp936ToUtf8Lenient(std::string_view bytes);

// Splits text at LF, CR LF and CR alone.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}
    // The next line without its end; false at the end of the text.
    bool Next(std::string_view& line);
    // The line Next would give, without taking it.
    bool Peek(std::string_view& line) const;
    // Where the next line starts.
    std::size_t Offset() const { return pos_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

enum class ValueEncoding : std::uint8_t { None, QuotedPrintable, Base64 };

// One content line. Views into the line it was parsed from.
struct Property {
    std::string_view name;  // without its group ("item1." of "item1.TEL")
    std::string_view charset;
    ValueEncoding encoding = ValueEncoding::None;
    std::string_view value;
};
// False for a line without a ":" outside quotes (a base64 line, a stray line of text).
bool ParseProperty(std::string_view line, Property& property);

std::string QuotedPrintableBytes(std::string_view value);
std::string Base64Bytes(std::string_view value);

// How a value's bytes turn into UTF-8 when its CHARSET does not say or cannot convert them.
enum class RawText : std::uint8_t {
    Utf8,        // the file's text is UTF-8 already (a UTF-16 file) or the card is vCard 4.0
    Guess,       // UTF-8 when the bytes are valid UTF-8, else code page 936
    PhoneFirst,  // code page 936 first: the surrounding bytes are not UTF-8
};
// The value's bytes decoded (quoted-printable or base64) and converted to valid UTF-8. Encoded
// bytes are always guessed (UTF-8, else code page 936) when the charset does not convert them.
// A charset does not apply to the raw text of a converted file.
std::string DecodeValue(const Property& property, std::string_view value, RawText raw,
                        bool convertedFile);

// A number as a card or a message writes it, cleaned for matching: "tel:" and URI parameters
// (";ext=102") go; spaces, "-", ".", "(", ")" and "/" are dropped (and their full-width forms,
// whose digits and "+" become ASCII); a dial pause or an extension ("p", "w", ",", "x", "e")
// after a run of digits ends the number; control characters go. Letters of a named sender stay.
std::string CleanNumber(std::string_view utf8);

}  // namespace quillbox::vformat
