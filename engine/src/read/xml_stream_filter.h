// SPDX-License-Identifier: MIT
#pragma once

// The bytes of an Android backup on their way to Expat, in one pass and in pieces of any size,
// so that Expat gets only what it can parse in small tokens:
// - every <part>'s data="…" value (an attachment's base64, up to gigabytes) goes to a base64
//   decoder and leaves its number among the file's data values, "#0", "#1", …, which no base64
//   holds (its line ends stay, so that lines keep their numbers): the reader meets each part's
//   attachment by it, whatever damage Expat skipped;
// - the phone's surrogate pairs written as two references ("&#55357;&#56834;") become the one
//   character's reference, a lone half U+FFFD's;
// - references to characters XML forbids ("&#0;", "&#1;", beyond U+10FFFF) become U+FFFD's;
// - a DOCTYPE, a markup token longer than the limit, and a "<" inside an attribute value are
//   damage: the filter writes a byte no XML holds there, so that Expat stops at it, and goes on
//   reading the bytes after it as the start of a tag or text.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "read/base64_stream.h"

namespace quillbox {

class XmlStreamFilter {
public:
    // A markup token (a tag, a comment) longer than this, without the data values, is damage.
    static constexpr std::size_t kLongestToken = 8 * 1024 * 1024;
    // What one step of the filter may write at most: Filter leaves this room at the end of out.
    static constexpr std::size_t kSlack = 64;

    explicit XmlStreamFilter(PartDataSink& sink, std::size_t longestToken = kLongestToken)
        : decoder_(sink), longestToken_(longestToken) {}

    // Filters bytes from the front of in into out, until in is used up or out has no more than
    // kSlack bytes left; the bytes written.
    std::size_t Filter(std::string_view& in, std::span<char> out);
    // The end of the input: writes what is held back (a surrogate half waiting for its pair, a
    // reference begun); out has room for kSlack bytes.
    std::size_t Finish(std::span<char> out);

private:
    enum class State : std::uint8_t {
        Text,
        Markup,  // after "<"
        Bang,    // after "<!"
        Comment,
        Cdata,
        Pi,
        Close,  // an end tag, or markup read through to its ">"
        TagName,
        Tag,
        AttributeName,
        AfterName,
        AfterEquals,
        Value,
        Data,
        DataReference,
    };
    enum class Reference : std::uint8_t { None, Ampersand, Hash, Decimal, Hex };

    class Out;
    void Step(char c, Out& out);
    bool InReference(char c, Out& out);
    void EndReference(Out& out);
    void FlushHalf(Out& out);
    void StartMarkup(Out& out);
    void Damage(Out& out);
    void CountToken(Out& out);

    Base64Stream decoder_;
    std::size_t longestToken_;
    State state_ = State::Text;
    char quote_ = 0;
    std::size_t token_ = 0;  // bytes of the markup token so far
    // The first bytes of a tag's or an attribute's name, and its length.
    char name_[5] = {};
    std::size_t nameLength_ = 0;
    bool part_ = false;
    unsigned run_ = 0;  // "-", "]" or "?" just seen, or the bytes of "<!" matched
    std::size_t referenceBytes_ = 0;
    Reference reference_ = Reference::None;
    std::uint32_t codePoint_ = 0;
    unsigned digits_ = 0;
    std::uint32_t high_ = 0;  // a high surrogate waiting for its low half
    std::size_t dataValues_ = 0;
};

}  // namespace quillbox
