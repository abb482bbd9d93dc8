// SPDX-License-Identifier: MIT
// Android's XML backups: the byte filter before Expat, the base64 of attachments.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "read/xml_stream_filter.h"

namespace quillbox {
namespace {

// A sink that keeps the bytes, each attachment after the one before, with a mark of its end.
class KeepingSink final : public PartDataSink {
public:
    void Begin() override {}
    void Write(std::string_view bytes) override { bytes_.append(bytes); }
    void End(bool complete) override { bytes_.append(complete ? "|" : "!"); }
    std::string bytes_;
};

struct Filtered {
    std::string out;
    std::string decoded;
};

// Filters text in pieces of the given size (0: whole).
Filtered Filter(std::string_view text, std::size_t piece, std::size_t longestToken = 1 << 20) {
    KeepingSink sink;
    XmlStreamFilter filter(sink, longestToken);
    Filtered result;
    std::string area(XmlStreamFilter::kSlack * 2, '\0');
    while (!text.empty()) {
        std::string_view in = text.substr(0, piece == 0 ? text.size() : piece);
        const std::size_t taken = in.size();
        while (!in.empty()) {
            result.out.append(area.data(), filter.Filter(in, area));
        }
        text.remove_prefix(taken);
    }
    result.out.append(area.data(), filter.Finish(area));
    result.decoded = sink.bytes_;
    return result;
}

TEST(XmlStreamFilter, HandsExpatOnlyWhatItParses) {
    struct Case {
        std::string_view in;
        std::string_view out;  // empty: the filter stops Expat (writes "\x01")
        std::string_view decoded = {};
    };
    const Case cases[] = {
        {"<sms body=\"&#55357;&#56834;\"/>", "<sms body=\"&#x1F602;\"/>"},
        {"<sms body=\"&#xD83D;&#xDE02;!\"/>", "<sms body=\"&#x1F602;!\"/>"},
        {"<sms body=\"&#128516; &#10;\"/>", "<sms body=\"&#x1F604; &#xA;\"/>"},
        {"<sms body=\"&#55357;x&#56834;\"/>", "<sms body=\"&#xFFFD;x&#xFFFD;\"/>"},
        {"<sms body=\"&#55357;&#55357;&#56834;\"/>", "<sms body=\"&#xFFFD;&#x1F602;\"/>"},
        {"<sms body=\"&#55357;&amp;&lt;\"/>", "<sms body=\"&#xFFFD;&amp;&lt;\"/>"},
        {"<sms body=\"&#55357;\"/>", "<sms body=\"&#xFFFD;\"/>"},
        {"a&#55357;", "a&#xFFFD;"},
        {"<sms body=\"&#0;&#1;&#x1F;&#xFFFE;&#1114112;&#99999999999999999999;\"/>",
         "<sms body=\"&#xFFFD;&#xFFFD;&#xFFFD;&#xFFFD;&#xFFFD;&#xFFFD;\"/>"},
        // Not references: left for Expat to refuse.
        {"<sms body=\"&#12a;&#;&#X41;\"/>", "<sms body=\"&#0a;&#;&#X41;\"/>"},
        {"<!-- &#0; --><![CDATA[&#0;]]><?pi &#0;?>", "<!-- &#0; --><![CDATA[&#0;]]><?pi &#0;?>"},
        {"<part ct=\"image/png\" data=\"aGVsbG8=\" />", "<part ct=\"image/png\" data=\"\" />",
         "hello|"},
        {"<part data = 'aGVs\nbG8=' text=\"x\"/><part data=\"aA&#10;==\"/>",
         "<part data = '\n' text=\"x\"/><part data=\"\"/>", "hello|h|"},
        {"<sms data=\"aGVsbG8=\"/><parts data=\"x\"/>",
         "<sms data=\"aGVsbG8=\"/><parts data=\"x\"/>"},
        {"<part data=\"aGVsbG8=<sms a=\"1\"/>", "<part data=\"<sms a=\"1\"/>", "hello!"},
        {"<part data=\"aGVsbG8=", "<part data=\"", "hello!"},
        {"<sms body=\"a <sms b=\"c\"/>", "<sms body=\"a <sms b=\"c\"/>"},
        {"<!DOCTYPE smses [<!ENTITY a \"b\">]><smses/>", ""},
        {"<sms body=\"0123456789abcdef0123456789abcdef\"/>", ""},
        {"<!-- 0123456789abcdef0123456789abcdef -->", ""},
    };
    for (const Case& c : cases) {
        for (const std::size_t piece : {0u, 1u, 3u}) {
            const Filtered got = Filter(c.in, piece, 32);
            if (c.out.empty()) {
                EXPECT_NE(got.out.find('\x01'), std::string::npos) << c.in;
            } else {
                EXPECT_EQ(got.out, c.out) << c.in << " in pieces of " << piece;
            }
            EXPECT_EQ(got.decoded, c.decoded) << c.in << " in pieces of " << piece;
        }
    }
}

TEST(Base64Stream, DecodesInPiecesOfAnySize) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"aGVsbG8=", "hello|"},
        {"aGVsbG8", "hello|"},
        {"aGVsbA==", "hell|"},
        {" aGVs\r\nbG8= ", "hello|"},
        {"", "|"},
        {"a", "!"},
        {"aGV*sbG8=", "hello!"},
        {"aGVsbG8=x", "hello!"},
        {"====", "!"},
    };
    for (const auto& [in, want] : cases) {
        for (const std::size_t piece : {1u, 2u, 5u, 100u}) {
            KeepingSink sink;
            Base64Stream decoder(sink);
            decoder.Begin();
            for (std::size_t at = 0; at < in.size(); at += piece) {
                decoder.Feed(in.substr(at, piece));
            }
            decoder.End();
            EXPECT_EQ(sink.bytes_, want) << in << " in pieces of " << piece;
        }
    }
}

}  // namespace
}  // namespace quillbox
