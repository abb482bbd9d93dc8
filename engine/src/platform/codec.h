// SPDX-License-Identifier: MIT
#pragma once

// The engine's conversions between UTF-8, UTF-16 and code page 936, one rule for all of them.
//
// The engine's text is UTF-8. A byte that a reader could not decode rides along losslessly as a
// lone surrogate U+DC80..U+DCFF (as Python's "surrogateescape" carries it), written as the three
// bytes ED B2 80..ED B3 BF: only the code page 936 encoder turns it back into its byte, every
// other writer shows U+FFFD. Wherever bytes are not what they claim to be, each maximal
// ill-formed subsequence (the Unicode recommendation) becomes one U+FFFD.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quillbox::platform {

inline constexpr char32_t kReplacement = 0xFFFD;
inline constexpr char32_t kFirstEscape = 0xDC80;
inline constexpr char32_t kLastEscape = 0xDCFF;

inline constexpr bool IsEscape(char32_t cp) {
    return cp >= kFirstEscape && cp <= kLastEscape;
}
inline constexpr bool IsSurrogate(char32_t cp) {
    return cp >= 0xD800 && cp <= 0xDFFF;
}
inline constexpr bool IsAsciiByte(char c) {
    return (static_cast<unsigned char>(c) & 0x80) == 0;
}
// How many leading bytes of text are ASCII.
std::size_t AsciiPrefix(std::string_view text);

// One code point off the front of non-empty engine text: an escaped byte is its escape code
// point, each maximal ill-formed subsequence U+FFFD.
char32_t TakeCodePoint(std::string_view& text);
// The UTF-8 form of a code point, an escape's included.
void AppendCodePoint(std::string& out, char32_t cp);

// Outside bytes that claim to be UTF-8, as engine text (never with an escape).
bool IsUtf8(std::string_view bytes);
// Where the first ill-formed sequence at or after from begins; npos when there is none.
std::size_t NextUtf8Error(std::string_view bytes, std::size_t from);
void AppendUtf8Lenient(std::string& out, std::string_view bytes);
std::string Utf8Lenient(std::string_view bytes);

// UTF-8 to UTF-16. Reject: none for any ill-formed byte. Replace: U+FFFD for each maximal
// ill-formed subsequence and each escape.
enum class Utf8Errors { Reject, Replace };
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8, Utf8Errors errors);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD (never an escape).
std::string Utf16ToUtf8(std::u16string_view units);
// UTF-16 as stored in a file (a final odd byte ignored), appended as UTF-8; zero units are
// left out where dropZeros says so.
void AppendUtf16BytesAsUtf8(std::string& out, std::string_view bytes, bool bigEndian,
                            bool dropZeros);

// Code page 936, as the system converts it: Unicode to code page 936 (0 where it has no
// character, a value below 0x100 for a single byte, lead << 8 | trail for a pair), single bytes
// to Unicode (kNotSingleByte for a lead byte or an undefined byte) and pairs to Unicode, indexed
// by (lead - 0x81) * 191 + (trail - 0x40) (0 where undefined).
inline constexpr std::uint16_t kNotSingleByte = 0xFFFF;
inline constexpr unsigned kCp936FirstLead = 0x81;
inline constexpr unsigned kCp936LastLead = 0xFE;
inline constexpr unsigned kCp936FirstTrail = 0x40;
inline constexpr unsigned kCp936LastTrail = 0xFE;
inline constexpr std::size_t kCp936Trails = kCp936LastTrail - kCp936FirstTrail + 1;
inline constexpr std::size_t kCp936PairCount =
    (kCp936LastLead - kCp936FirstLead + 1) * kCp936Trails;
struct Cp936Tables {
    const std::uint16_t* fromUnicode;  // 0x10000 entries
    const std::uint16_t* singleByte;   // 0x100 entries
    const std::uint16_t* pairs;        // kCp936PairCount entries
};
// The system's code page 936: built into the POSIX program, read off the system once on Windows.
const Cp936Tables& Cp936();

// Code page 936 bytes to UTF-16; none for bytes the code page does not define.
std::optional<std::u16string> Cp936ToUtf16(std::string_view bytes);
// Code page 936 bytes as engine text, losslessly: a byte that is no character, or a code that
// does not come back as itself from its character, rides as an escape.
void AppendCp936AsUtf8(std::string& out, std::string_view bytes);
std::string Cp936AsUtf8(std::string_view bytes);
// Engine text as code page 936, as the classic program converts: each unit the code page lacks
// becomes "?" (so a character beyond the basic plane, two units, becomes "??"), each U+FFFD of
// an ill-formed sequence "?", and an escape its own byte.
void AppendAsCp936(std::string& out, std::string_view text);
// UTF-16 to code page 936 into out, terminating zero included, stopping at the first zero unit;
// "?" for each unit the code page lacks. The length without the terminator, or none when the
// text and its terminator do not fit.
std::optional<std::size_t> Utf16ToCp936(std::u16string_view units, std::span<char> out);
// The bytes one unit takes in code page 936: one or two, "?" being one.
inline std::size_t Cp936Width(char16_t unit) {
    const std::uint16_t code = IsSurrogate(unit) ? 0 : Cp936().fromUnicode[unit];
    return code >= 0x100 ? 2 : 1;
}

}  // namespace quillbox::platform
