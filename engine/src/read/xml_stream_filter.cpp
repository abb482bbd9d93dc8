// SPDX-License-Identifier: MIT
#include "read/xml_stream_filter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

namespace quillbox {

namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;
constexpr std::uint32_t kBeyond = 0x110000;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsHigh(std::uint32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLow(std::uint32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The characters XML 1.0 lets a document hold.
bool IsXmlChar(std::uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c < kBeyond);
}

int DigitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (hex && c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (hex && c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// A byte no XML document holds anywhere: Expat stops at it.
constexpr char kStop = '\x01';

// The bytes that end a run of base64 (quotes, a reference, a tag, a line end) and of a name.
constexpr std::array<bool, 256> Stops(std::string_view bytes) {
    std::array<bool, 256> table{};
    for (const char c : bytes) {
        table[static_cast<unsigned char>(c)] = true;
    }
    return table;
}
constexpr auto kDataStop = Stops("\"'&<\n");
constexpr auto kNameStop = Stops("=/<>\"' \t\r\n");

}  // namespace

class XmlStreamFilter::Out {
public:
    explicit Out(std::span<char> area) : begin_(area.data()), at_(area.data()) {}

    void Put(char c) { *at_++ = c; }
    void Put(std::string_view text) {
        std::memcpy(at_, text.data(), text.size());
        at_ += text.size();
    }
    // The reference "&#xHHHH;".
    void PutReference(std::uint32_t c) {
        Put("&#x");
        char digits[8];
        std::size_t n = 0;
        do {
            digits[n++] = "0123456789ABCDEF"[c & 0xF];
            c >>= 4;
        } while (c != 0);
        while (n > 0) {
            Put(digits[--n]);
        }
        Put(';');
    }
    char* At() const { return at_; }
    std::size_t Written() const { return static_cast<std::size_t>(at_ - begin_); }

private:
    char* begin_;
    char* at_;
};

std::size_t XmlStreamFilter::Filter(std::string_view& in, std::span<char> out) {
    if (out.size() <= kSlack) {
        return 0;
    }
    Out o(out);
    const char* const limit = out.data() + out.size() - kSlack;
    const char* p = in.data();
    const char* const end = p + in.size();
    while (p < end && o.At() < limit) {
        // The bulk of a backup is attribute values and base64: copied or decoded in runs.
        if (reference_ == Reference::None && high_ == 0) {
            if (state_ == State::Data) {
                p += decoder_.FeedGroups({p, static_cast<std::size_t>(end - p)});
                const char* stop = p;
                while (stop < end && !kDataStop[static_cast<unsigned char>(*stop)]) {
                    ++stop;
                }
                decoder_.Feed({p, static_cast<std::size_t>(stop - p)});
                p = stop;
                if (p == end) {
                    break;
                }
            } else if (state_ == State::AttributeName || state_ == State::TagName) {
                const char* const last = p + std::min({static_cast<std::size_t>(end - p),
                                                       static_cast<std::size_t>(limit - o.At()),
                                                       longestToken_ - token_});
                const char* stop = p;
                while (stop < last && !kNameStop[static_cast<unsigned char>(*stop)]) {
                    if (nameLength_ < sizeof name_) {
                        name_[nameLength_] = *stop;
                    }
                    ++nameLength_;
                    ++stop;
                }
                o.Put({p, static_cast<std::size_t>(stop - p)});
                token_ += static_cast<std::size_t>(stop - p);
                const bool more = stop == last && stop > p;
                p = stop;
                if (more) {
                    continue;
                }
            } else if (state_ == State::Value || state_ == State::Text) {
                std::size_t room = std::min(static_cast<std::size_t>(end - p),
                                            static_cast<std::size_t>(limit - o.At()));
                if (state_ == State::Value) {
                    // Up to the token's limit: the byte past it goes through Step.
                    room = std::min(room, longestToken_ - token_);
                }
                const char* const last = p + room;
                const char* stop = p;
                if (state_ == State::Value) {
                    while (stop < last && *stop != quote_ && *stop != '&' && *stop != '<') {
                        ++stop;
                    }
                    token_ += static_cast<std::size_t>(stop - p);
                } else {
                    while (stop < last && *stop != '&' && *stop != '<') {
                        ++stop;
                    }
                }
                o.Put({p, static_cast<std::size_t>(stop - p)});
                p = stop;
                if (p == last && room > 0) {
                    continue;
                }
            }
        }
        Step(*p++, o);
    }
    in.remove_prefix(static_cast<std::size_t>(p - in.data()));
    return o.Written();
}

std::size_t XmlStreamFilter::Finish(std::span<char> out) {
    Out o(out);
    if (reference_ != Reference::None) {
        reference_ = Reference::None;
        FlushHalf(o);
        o.Put('&');
    }
    FlushHalf(o);
    if (state_ == State::Data || state_ == State::DataReference) {
        decoder_.Damage();
        decoder_.End();
        state_ = State::Text;
    }
    return o.Written();
}

void XmlStreamFilter::FlushHalf(Out& out) {
    if (high_ != 0) {
        out.PutReference(kReplacement);
        high_ = 0;
    }
}

void XmlStreamFilter::StartMarkup(Out& out) {
    out.Put('<');
    state_ = State::Markup;
    token_ = 1;
}

void XmlStreamFilter::Damage(Out& out) {
    out.Put(kStop);
    state_ = State::Text;
    token_ = 0;
}

void XmlStreamFilter::CountToken(Out& out) {
    if (++token_ > longestToken_) {
        Damage(out);
    }
}

void XmlStreamFilter::EndReference(Out& out) {
    const std::uint32_t c = codePoint_;
    if (high_ != 0) {
        if (IsLow(c)) {
            out.PutReference(0x10000 + ((high_ - 0xD800) << 10) + (c - 0xDC00));
            high_ = 0;
            return;
        }
        FlushHalf(out);
    }
    if (IsHigh(c)) {
        high_ = c;
        return;
    }
    out.PutReference(IsXmlChar(c) ? c : kReplacement);
}

// A byte of a character reference ("&#…;"); false when the byte is none and goes to the state.
bool XmlStreamFilter::InReference(char c, Out& out) {
    switch (reference_) {
        case Reference::None:
            return false;
        case Reference::Ampersand:
            if (c == '#') {
                reference_ = Reference::Hash;
                return true;
            }
            // A named reference ("&amp;"), or damage Expat will name: through as it is.
            reference_ = Reference::None;
            FlushHalf(out);
            out.Put('&');
            return false;
        case Reference::Hash:
            codePoint_ = 0;
            digits_ = 0;
            if (c == 'x') {
                reference_ = Reference::Hex;
                return true;
            }
            if (DigitValue(c, false) < 0) {
                reference_ = Reference::None;
                FlushHalf(out);
                out.Put("&#");
                return false;
            }
            reference_ = Reference::Decimal;
            [[fallthrough]];
        case Reference::Decimal:
        case Reference::Hex: {
            const bool hex = reference_ == Reference::Hex;
            if (const int digit = DigitValue(c, hex); digit >= 0) {
                codePoint_ = std::min<std::uint32_t>(
                    codePoint_ * (hex ? 16u : 10u) + static_cast<std::uint32_t>(digit), kBeyond);
                ++digits_;
                return true;
            }
            reference_ = Reference::None;
            if (c == ';' && digits_ > 0) {
                EndReference(out);
                return true;
            }
            // Not a reference: what goes through keeps Expat's error ("&#0" and a non-digit).
            FlushHalf(out);
            out.Put(hex ? "&#x" : "&#");
            if (digits_ > 0) {
                out.Put('0');
            }
            return false;
        }
    }
    return false;
}

void XmlStreamFilter::Step(char c, Out& out) {
    if (InReference(c, out)) {
        return;
    }
    switch (state_) {
        case State::Text:
            if (c == '&') {
                reference_ = Reference::Ampersand;
                return;
            }
            FlushHalf(out);
            if (c == '<') {
                StartMarkup(out);
            } else {
                out.Put(c);
            }
            return;
        case State::Value:
            if (c == '&') {
                reference_ = Reference::Ampersand;
                return;
            }
            FlushHalf(out);
            if (c == '<') {
                // No value holds "<": the quote was lost, and this is the next tag.
                StartMarkup(out);
                return;
            }
            out.Put(c);
            if (c == quote_) {
                state_ = State::Tag;
            }
            CountToken(out);
            return;
        case State::Markup:
            if (c == '!' || c == '?' || c == '/') {
                out.Put(c);
                state_ = c == '!' ? State::Bang : c == '?' ? State::Pi : State::Close;
                run_ = 0;
                CountToken(out);
                return;
            }
            state_ = State::TagName;
            nameLength_ = 0;
            [[fallthrough]];
        case State::TagName:
            if (!IsSpace(c) && c != '/' && c != '>' && c != '<') {
                if (nameLength_ < sizeof name_) {
                    name_[nameLength_] = c;
                }
                ++nameLength_;
                out.Put(c);
                CountToken(out);
                return;
            }
            part_ = std::string_view(name_, std::min(nameLength_, sizeof name_)) == "part" &&
                    nameLength_ == 4;
            state_ = State::Tag;
            [[fallthrough]];
        case State::Tag:
            if (c == '<') {
                StartMarkup(out);
                return;
            }
            out.Put(c);
            if (c == '>') {
                state_ = State::Text;
                return;
            }
            if (c == '"' || c == '\'') {
                quote_ = c;
                state_ = State::Value;
            } else if (!IsSpace(c) && c != '/') {
                state_ = State::AttributeName;
                name_[0] = c;
                nameLength_ = 1;
            }
            CountToken(out);
            return;
        case State::AttributeName:
            if (c == '=' || IsSpace(c)) {
                out.Put(c);
                state_ = c == '=' ? State::AfterEquals : State::AfterName;
                CountToken(out);
                return;
            }
            if (c == '>' || c == '<' || c == '/' || c == '"' || c == '\'') {
                state_ = State::Tag;
                Step(c, out);
                return;
            }
            if (nameLength_ < sizeof name_) {
                name_[nameLength_] = c;
            }
            ++nameLength_;
            out.Put(c);
            CountToken(out);
            return;
        case State::AfterName:
        case State::AfterEquals:
            if (IsSpace(c) || (c == '=' && state_ == State::AfterName)) {
                out.Put(c);
                if (c == '=') {
                    state_ = State::AfterEquals;
                }
                CountToken(out);
                return;
            }
            if (state_ == State::AfterEquals && (c == '"' || c == '\'')) {
                out.Put(c);
                quote_ = c;
                if (part_ && nameLength_ == 4 && std::string_view(name_, 4) == "data") {
                    state_ = State::Data;
                    out.Put('#');
                    char digits[24];
                    const auto end = std::to_chars(digits, digits + sizeof digits, dataValues_++);
                    out.Put(std::string_view(digits, static_cast<std::size_t>(end.ptr - digits)));
                    decoder_.Begin();
                } else {
                    state_ = State::Value;
                }
                CountToken(out);
                return;
            }
            state_ = State::Tag;
            Step(c, out);
            return;
        case State::Data:
            if (c == quote_) {
                decoder_.End();
                out.Put(c);
                state_ = State::Tag;
                CountToken(out);
            } else if (c == '<') {
                decoder_.Damage();
                decoder_.End();
                StartMarkup(out);
            } else if (c == '&') {
                // A reference in base64 can only be a line end the phone escaped.
                state_ = State::DataReference;
                referenceBytes_ = 0;
            } else if (c == '\n') {
                out.Put(c);
            } else {
                decoder_.Feed({&c, 1});
            }
            return;
        case State::DataReference:
            if (c == ';') {
                state_ = State::Data;
            } else if (c == quote_ || c == '<' || ++referenceBytes_ > 8) {
                decoder_.Damage();
                state_ = State::Data;
                Step(c, out);
            }
            return;
        case State::Bang: {
            // "<!--", "<![CDATA[" or "<!DOCTYPE"; any other markup is read through to its ">".
            static constexpr std::string_view kForms[] = {"--", "[CDATA[", "DOCTYPE"};
            if (run_ == 0) {
                name_[0] = c;
            }
            const auto* match = std::find_if(std::begin(kForms), std::end(kForms),
                                             [&](std::string_view f) { return f[0] == name_[0]; });
            if (match == std::end(kForms) || (*match)[run_] != c) {
                state_ = State::Close;
                Step(c, out);
                return;
            }
            if (++run_ < match->size()) {
                out.Put(c);
                CountToken(out);
                return;
            }
            run_ = 0;
            if (*match == "DOCTYPE") {
                // No document type: no entity of any size is ever expanded.
                Damage(out);
                return;
            }
            out.Put(c);
            state_ = *match == "--" ? State::Comment : State::Cdata;
            CountToken(out);
            return;
        }
        case State::Comment:
        case State::Cdata:
        case State::Pi: {
            out.Put(c);
            const char close = state_ == State::Comment ? '-' : state_ == State::Cdata ? ']' : '?';
            const unsigned needed = state_ == State::Pi ? 1 : 2;
            if (c == '>' && run_ >= needed) {
                state_ = State::Text;
                run_ = 0;
                return;
            }
            run_ = c == close ? run_ + 1 : 0;
            // Expat reports character data in pieces; comments and instructions it holds whole.
            if (state_ != State::Cdata) {
                CountToken(out);
            }
            return;
        }
        case State::Close:
            if (c == '<') {
                StartMarkup(out);
                return;
            }
            out.Put(c);
            if (c == '>') {
                state_ = State::Text;
                return;
            }
            CountToken(out);
            return;
    }
}

}  // namespace quillbox
