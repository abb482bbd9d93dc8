// SPDX-License-Identifier: MIT
// Android's XML backups: the byte filter before Expat, the base64 of attachments, each message
// as the app writes it, groups and their owner, damage, and the run over such files.

#include "read/android_backup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "order/conversation.h"
#include "quillbox/archive.h"
#include "read/xml_stream_filter.h"
#include "run_fixture.h"
#include "test_files.h"

namespace quillbox {

void PrintTo(const SkippedItems& s, std::ostream* os) {
    *os << "{" << s.index << ", " << s.count << ", " << SkipReasonName(s.reason) << ", \""
        << s.detail << "\"}";
}

namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::WriteBytes;

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
        // Each data value leaves its number, which the reader meets its part by.
        {"<part ct=\"image/png\" data=\"aGVsbG8=\" />", "<part ct=\"image/png\" data=\"#0\" />",
         "hello|"},
        {"<part data = 'aGVs\nbG8=' text=\"x\"/><part data=\"aA&#10;==\"/>",
         "<part data = '#0\n' text=\"x\"/><part data=\"#1\"/>", "hello|h|"},
        {"<sms data=\"aGVsbG8=\"/><parts data=\"x\"/>",
         "<sms data=\"aGVsbG8=\"/><parts data=\"x\"/>"},
        {"<part data=\"aGVsbG8=<sms a=\"1\"/>", "<part data=\"#0<sms a=\"1\"/>", "hello!"},
        {"<part data=\"aGVsbG8=", "<part data=\"#0", "hello!"},
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

TEST(AndroidBackup, TheRootElementTellsABackup) {
    const std::pair<std::string_view, XmlRoot> cases[] = {
        {"<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n"
         "<?xml-stylesheet type=\"text/xsl\" href=\"sms.xsl\"?>\n<!--File Created By SMS Backup "
         "& Restore-->\n<smses count=\"1\">",
         XmlRoot::Messages},
        {"\xEF\xBB\xBF<smses>", XmlRoot::Messages},
        {"<?xml version='1.0'?><calls count=\"3\">", XmlRoot::CallLog},
        {"<?xml version='1.0'?><!DOCTYPE smses [<!ENTITY a 'b'>]><smses>", XmlRoot::Doctype},
        {"<smsesx>", XmlRoot::Other},
        {"<html><body>", XmlRoot::Other},
        {"just text", XmlRoot::Other},
        {"<!-- never closed <smses>", XmlRoot::Other},
        {"<smses", XmlRoot::Other},
    };
    for (const auto& [head, root] : cases) {
        EXPECT_EQ(ExamineXmlHead(head), root) << head;
    }
}

// A message as the tests compare them.
struct Entry {
    std::string party;
    std::string author;
    std::string body;
    std::string time;
    bool sent = false;
    bool operator==(const Entry&) const = default;
};
void PrintTo(const Entry& e, std::ostream* os) {
    *os << "{" << test::Printable(e.party) << ", " << e.author << ", " << test::Printable(e.body)
        << ", " << e.time << ", " << (e.sent ? "sent" : "received") << "}";
}

struct Read {
    ReadResult result;
    std::vector<Entry> entries;
    std::vector<ContactEntry> names;
};

Read ReadBackup(std::string_view xml, std::size_t parseBytes = 1 << 20,
                std::string_view zone = "UTC", PartDataSink* sink = nullptr) {
    BackupStream stream{[&](std::span<char> area) -> std::optional<std::size_t> {
        const std::size_t n = std::min(area.size(), xml.size());
        std::memcpy(area.data(), xml.data(), n);
        xml.remove_prefix(n);
        return n;
    }};
    stream.parseBytes = parseBytes;
    stream.attachments = sink;
    const ReadSettings settings{*TimeZone::FromName(zone)};
    std::string scratch;
    Items items;
    Read read;
    read.result = ReadAndroidBackup(stream, settings, scratch, items);
    for (const auto& m : items.messages.Messages()) {
        const MessageTime t = m.Time();
        char time[32];
        std::snprintf(time, sizeof time, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
        read.entries.push_back({std::string(m.Party()), std::string(m.Author()),
                                std::string(m.Body()), time, m.Sent()});
    }
    read.names = std::move(items.names);
    return read;
}

std::string Backup(std::string_view messages) {
    return "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n"
           "<!--File Created By SMS Backup & Restore v10.20.002 on 09/12/2026 12:34:56-->\n"
           "<smses count=\"9\" backup_set=\"1f2e\" backup_date=\"1765283696000\" type=\"full\">\n" +
           std::string(messages) + "</smses>\n";
}

// 2023-11-14 22:13:20 UTC, and a second later for each n.
std::string Sms(std::string_view address, std::string_view type, std::string_view body, int n = 0,
                std::string_view more = {}) {
    return "  <sms protocol=\"0\" address=\"" + std::string(address) + "\" date=\"" +
           std::to_string(1700000000000 + n * 1000) + "\" type=\"" + std::string(type) +
           "\" subject=\"null\" body=\"" + std::string(body) +
           "\" toa=\"null\" sc_toa=\"null\" service_center=\"null\" read=\"1\" status=\"-1\" "
           "locked=\"0\" date_sent=\"0\" sub_id=\"1\" readable_date=\"Nov 14, 2023 22:13:20\" " +
           std::string(more) + "/>\n";
}

std::string Time(int n) {
    char time[32];
    std::snprintf(time, sizeof time, "2023-11-14 22:13:%02d", 20 + n);
    return time;
}

std::vector<SkippedItems> Skips(std::initializer_list<SkippedItems> list) {
    return list;
}

TEST(AndroidBackup, EachSmsByItsBox) {
    std::string messages;
    const char* types[] = {"1", "2", "3", "4", "5", "6", "null", "0"};
    for (int i = 0; i < 8; ++i) {
        messages += Sms("+86 139-0000-0001", types[i], std::string("box ") + types[i], i);
    }
    messages += "  <sms address=\"10086\" date=\"1700000009000\" body=\"no type\"/>\n";
    const Read read = ReadBackup(Backup(messages));
    // Outbox (4), failed (5) and queued (6) hold what the owner wrote: sent. A draft never left.
    const std::vector<Entry> want = {
        {"13900000001", "", "box 1", Time(0), false},
        {"13900000001", "", "box 2", Time(1), true},
        {"13900000001", "", "box 4", Time(3), true},
        {"13900000001", "", "box 5", Time(4), true},
        {"13900000001", "", "box 6", Time(5), true},
        {"13900000001", "", "box null", Time(6), false},
        {"13900000001", "", "box 0", Time(7), false},
        {"10086", "", "no type", Time(9), false},
    };
    EXPECT_EQ(read.entries, want);
    EXPECT_EQ(read.result.read, 8u);
    EXPECT_EQ(read.result.skipped, Skips({{2, 1, SkipReason::Draft, {}}}));
    EXPECT_EQ(read.result.source, "SMS Backup & Restore 2025-12-09 12:34:56");
}

TEST(AndroidBackup, NullIsNoValue) {
    const Read read =
        ReadBackup(Backup("<sms address=\"null\" date=\"1700000000000\" type=\"null\" body=\"hi\" "
                          "contact_name=\"null\"/>\n"
                          "<sms address=\"1\" date=\"null\" type=\"1\" body=\"no date\"/>\n"
                          "<sms address=\"1\" date=\"1700000000000\" type=\"1\" body=\"null\"/>\n"
                          "<sms address=\"1\" date=\"1700000000000\" type=\"1\" body=\"\"/>\n"
                          "<sms address=\"1\" date=\"yesterday\" type=\"1\" body=\"x\"/>\n"));
    EXPECT_EQ(read.entries, (std::vector<Entry>{{"", "", "hi", Time(0), false}}));
    EXPECT_TRUE(read.names.empty());
    EXPECT_EQ(read.result.skipped, Skips({{1, 1, SkipReason::BadDate, {}},
                                          {2, 2, SkipReason::NoText, {}},
                                          {4, 1, SkipReason::BadDate, {}}}));
}

TEST(AndroidBackup, DatesOutsideTheYears1900To9999AreRefused) {
    for (const std::string_view date :
         {"-2208988801000", "253402300800000", "99999999999999999999", "1.7E12"}) {
        const Read read = ReadBackup(Backup("<sms address=\"1\" date=\"" + std::string(date) +
                                            "\" type=\"1\" body=\"x\"/>"));
        EXPECT_EQ(read.result.skipped, Skips({{0, 1, SkipReason::BadDate, {}}})) << date;
    }
    const Read first =
        ReadBackup(Backup("<sms address=\"1\" date=\"-2208988800000\" type=\"1\" body=\"x\"/>"));
    EXPECT_EQ(first.entries.at(0).time, "1900-01-01 00:00:00");
}

TEST(AndroidBackup, EmojiInEachFormTheAppWrites) {
    const Read read = ReadBackup(
        Backup(Sms("1", "1",
                   "raw 😀, referenced &#128516;, as a pair &#55357;&#56834;, half &#55357; and "
                   "&#56834;, forbidden &#1;&#10;line two&#13;&#10;three&#13;four&#10;&#10;")));
    ASSERT_EQ(read.entries.size(), 1u);
    EXPECT_EQ(read.entries[0].body,
              "raw 😀, referenced 😄, as a pair 😂, half \uFFFD and \uFFFD, forbidden \uFFFD\nline "
              "two\nthree\nfour");
}

std::string Mms(std::string_view attributes, std::string_view parts, std::string_view addrs,
                int n = 0) {
    return "  <mms date=\"" + std::to_string(1700000000000 + n * 1000) + "\" " +
           std::string(attributes) +
           " text_only=\"0\" sub=\"null\" read=\"1\" "
           "ct_t=\"application/vnd.wap.multipart.related\" "
           "date_sent=\"0\" readable_date=\"Nov 14, 2023\">\n    <parts>\n"
           "      <part seq=\"-1\" ct=\"application/smil\" name=\"null\" chset=\"null\" "
           "cd=\"null\" "
           "fn=\"null\" cid=\"&lt;smil&gt;\" cl=\"smil.xml\" text='&lt;smil&gt;&lt;body&gt;&lt;par "
           "dur=\"5000ms\"&gt;&lt;img src=\"a.jpg\"/&gt;&lt;/par&gt;&lt;/body&gt;&lt;/smil&gt;' "
           "/>\n" +
           std::string(parts) + "    </parts>\n    <addrs>\n" + std::string(addrs) +
           "    </addrs>\n  </mms>\n";
}

std::string Text(std::string_view text) {
    return "      <part seq=\"0\" ct=\"text/plain\" name=\"null\" chset=\"106\" cd=\"null\" "
           "fn=\"null\" cid=\"&lt;text_0&gt;\" cl=\"text_0.txt\" text=\"" +
           std::string(text) + "\" />\n";
}

std::string Media(std::string_view type, std::string_view names, std::string_view data = "") {
    return "      <part seq=\"1\" ct=\"" + std::string(type) + "\" " + std::string(names) +
           " chset=\"null\" cd=\"null\" text=\"null\" data=\"" + std::string(data) + "\" />\n";
}

std::string Addr(std::string_view address, int type) {
    return "      <addr address=\"" + std::string(address) + "\" type=\"" + std::to_string(type) +
           "\" charset=\"106\" />\n";
}

TEST(AndroidBackup, MmsTextAndAttachmentsAreLinesOfOneEntry) {
    const std::string from = Addr("+8613900000001", 137) + Addr("13800000000", 151);
    const std::string received = "msg_box=\"1\" m_type=\"132\" address=\"+8613900000001\"";
    const Read read = ReadBackup(Backup(
        Mms(received,
            Text("看这张") + Media("image/jpeg", "name=\"IMG_1.jpg\" fn=\"f.jpg\"", "/9j/4AAQ") +
                Text("和这段&#10;"),
            from, 0) +
        Mms(received, Media("image/png", "name=\"null\" fn=\"null\" cl=\"only.png\"", "iVBORw=="),
            from, 1) +
        Mms(received,
            Media("audio/amr", "name=\"null\" fn=\"voice.amr\"") +
                Media("video/3gpp", "cl=\"clip.3gp\"") +
                Media("text/x-vCard", "name=\"张三.vcf\"") + Media("application/pdf", ""),
            from, 2) +
        Mms(received, "", from, 3) +
        // Without msg_box the PDU's type tells: 128 a send request.
        Mms("m_type=\"128\" address=\"+8613900000001\"", Text("sent"), from, 4) +
        Mms("address=\"+8613900000001\"", Text("unknown box"), from, 5) +
        Mms("msg_box=\"3\" address=\"+8613900000001\"", Text("draft"), from, 6)));
    const std::vector<Entry> want = {
        {"13900000001", "", "看这张\n[图片：IMG_1.jpg]\n和这段", Time(0), false},
        {"13900000001", "", "[图片：only.png]", Time(1), false},
        {"13900000001", "",
         "[音频：voice.amr]\n[视频：clip.3gp]\n[附件：张三.vcf]\n[附件：application/pdf]", Time(2),
         false},
        {"13900000001", "", "sent", Time(4), true},
        {"13900000001", "", "unknown box", Time(5), false},
    };
    EXPECT_EQ(read.entries, want);
    EXPECT_EQ(read.result.skipped,
              Skips({{3, 1, SkipReason::NoText, {}}, {6, 1, SkipReason::Draft, {}}}));
}

TEST(AndroidBackup, AGroupMmsIsTheConversationOfItsMembers) {
    const std::string group = "address=\"+8613900000001~13900000002~+86 139 0000 0003\"";
    const std::string members =
        Addr("+8613900000002", 151) + Addr("13900000003", 151) + Addr("13900000001", 151);
    const Read read = ReadBackup(Backup(
        Mms("msg_box=\"1\" " + group + " contact_name=\"张三, 李四, (Unknown)\"", Text("收到"),
            Addr("+8613900000002", 137) + Addr("13800000000", 151) + members, 0) +
        Mms("msg_box=\"2\" " + group, Text("我发的"), Addr("insert-address-token", 137) + members,
            1) +
        // An RCS group: its address names the group, its addrs the members.
        Mms("msg_box=\"1\" address=\"group_8@rcs.google.com\"", Text("rcs"),
            Addr("+8613900000003", 137) + Addr("13800000000", 130) + Addr("13900000004", 130), 2) +
        // A group known only by its addrs.
        Mms("msg_box=\"1\" address=\"13900000001\"", Text("by addrs"),
            Addr("13900000001", 137) + Addr("13800000000", 151) + Addr("13900000005", 151), 3) +
        // One member besides the owner: a conversation of two.
        Mms("msg_box=\"1\" address=\"13900000001\"", Text("two of us"),
            Addr("13900000001", 137) + Addr("13800000000", 151), 4)));
    const std::string party = GroupParty({"13900000001", "13900000002", "13900000003"});
    // The owner, 13800000000, is in every MMS without the placeholder, and sent none received.
    // A conversation of two is stored as it is read, groups once the owner is known.
    const std::vector<Entry> want = {
        {"13900000001", "", "two of us", Time(4), false},
        {party, "13900000002", "收到", Time(0), false},
        {party, "", "我发的", Time(1), true},
        {GroupParty({"13900000003", "13900000004"}), "13900000003", "rcs", Time(2), false},
        {GroupParty({"13900000001", "13900000005"}), "13900000001", "by addrs", Time(3), false},
    };
    EXPECT_EQ(read.entries, want);
    // The names of a group's list pair with its numbers in order; "(Unknown)" is no name.
    const std::vector<ContactEntry> names = {{"张三", "13900000001"}, {"李四", "13900000002"}};
    EXPECT_EQ(read.names.size(), names.size());
    for (std::size_t i = 0; i < std::min(names.size(), read.names.size()); ++i) {
        EXPECT_EQ(read.names[i].name, names[i].name);
        EXPECT_EQ(read.names[i].number, names[i].number);
    }
}

TEST(AndroidBackup, ContactNamesNameTheirOwnNumberOnly) {
    const std::string addrs = Addr("13900000001", 137) + Addr("13800000000", 151);
    const Read read = ReadBackup(
        Backup(Sms("+8613900000001", "1", "a", 0, "contact_name=\"王五\"") +
               Sms("13900000001", "1", "b", 1, "contact_name=\"Someone Else\"") +
               Sms("10086", "1", "c", 2, "contact_name=\"(Unknown)\"") +
               // A list that does not match the members names nobody.
               Mms("msg_box=\"1\" address=\"13900000002~13900000003\" contact_name=\"甲, 乙, 丙\"",
                   Text("d"), addrs, 3) +
               Mms("msg_box=\"1\" address=\"13900000004\" contact_name=\"Smith, John\"", Text("e"),
                   addrs, 4)));
    ASSERT_EQ(read.names.size(), 2u);
    EXPECT_EQ(read.names[0].name, "王五");
    EXPECT_EQ(read.names[0].number, "13900000001");
    EXPECT_EQ(read.names[1].name, "Smith, John");
    EXPECT_EQ(read.names[1].number, "13900000004");
}

TEST(AndroidBackup, DamageCostsOnlyTheMessagesItTouches) {
    const std::string good =
        Backup(Sms("1", "1", "one", 0) + Sms("2", "1", "two", 1) +
               Mms("msg_box=\"1\" address=\"3\"",
                   Text("three") + Media("image/jpeg", "name=\"a.jpg\"", std::string(3000, 'A')),
                   Addr("3", 137), 2) +
               Sms("4", "1", "four", 3));
    const auto at = [&](std::string_view text) { return good.find(text); };
    struct Case {
        const char* name;
        std::string xml;
        std::vector<std::string> bodies;
        std::vector<SkippedItems> skipped;
    };
    const Case cases[] = {
        {"cut inside the MMS's data",
         good.substr(0, at("AAAAAAAAAAAAAAAAAAA") + 1000),
         {"one", "two"},
         {{2, 1, SkipReason::XmlError, "line 10, column 7"}}},
        {"cut after a message",
         good.substr(0, at("  <mms")),
         {"one", "two"},
         {{2, 1, SkipReason::XmlError, "line 6, column 1"}}},
        {"an unescaped < in a body",
         good.substr(0, at("\"two\"")) + "\"t<o\"" + good.substr(at("\"two\"") + 5),
         {"one", "three\n[图片：a.jpg]", "four"},
         {{1, 1, SkipReason::XmlError, "line 5, column 85"}}},
        {"a control byte",
         good.substr(0, at("\"one\"")) +
             "\"o\x02"
             "e\"" +
             good.substr(at("\"one\"") + 5),
         {"two", "three\n[图片：a.jpg]", "four"},
         {{0, 1, SkipReason::XmlError, "line 4, column 85"}}},
        {"junk between messages",
         good.substr(0, at("  <mms")) + "</smses><smses>" + good.substr(at("  <mms")),
         {"one", "two", "three\n[图片：a.jpg]", "four"},
         {{2, 1, SkipReason::XmlError, "line 6, column 9"}}},
        {"a DOCTYPE after the root",
         good.substr(0, at("  <mms")) + "<!DOCTYPE x [<!ENTITY e \"e\">]>" +
             good.substr(at("  <mms")),
         {"one", "two", "three\n[图片：a.jpg]", "four"},
         {{2, 1, SkipReason::XmlError, "line 6, column 3"}}},
    };
    for (const Case& c : cases) {
        for (const std::size_t parseBytes :
             {std::size_t{100}, std::size_t{1000}, std::size_t{1} << 20}) {
            const Read read = ReadBackup(c.xml, parseBytes);
            std::vector<std::string> bodies;
            for (const Entry& e : read.entries) {
                bodies.push_back(e.body);
            }
            std::sort(bodies.begin(), bodies.end());
            std::vector<std::string> want = c.bodies;
            std::sort(want.begin(), want.end());
            EXPECT_EQ(bodies, want) << c.name << ", " << parseBytes;
            EXPECT_EQ(read.result.skipped, c.skipped) << c.name << ", " << parseBytes;
            EXPECT_FALSE(read.result.refused) << c.name;
        }
    }
}

#ifdef __linux__
// The peak resident memory, after a reset of it.
std::size_t PeakKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:")) {
            return std::stoul(line.substr(6));
        }
    }
    return 0;
}

TEST(AndroidBackup, AFiftyMegabyteAttachmentIsDecodedNotHeld) {
    // The data value streams from a source that holds none of it either.
    const std::string head =
        "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n<smses count=\"2\">\n"
        "<mms date=\"1700000000000\" msg_box=\"1\" address=\"1\"><parts>"
        "<part seq=\"0\" ct=\"image/jpeg\" name=\"big.jpg\" data=\"";
    const std::string tail = "\" /></parts></mms>\n" + Sms("2", "1", "after") + "</smses>\n";
    constexpr std::size_t kData = 50u * 1024 * 1024;
    const std::size_t total = head.size() + kData + tail.size();
    std::size_t sent = 0;
    BackupStream stream{[&](std::span<char> area) -> std::optional<std::size_t> {
        const std::size_t n = std::min(area.size(), total - sent);
        for (std::size_t i = 0; i < n; ++i, ++sent) {
            area[i] = sent < head.size()           ? head[sent]
                      : sent < head.size() + kData ? 'Q'
                                                   : tail[sent - head.size() - kData];
        }
        return n;
    }};
    CountingSink sink;
    stream.attachments = &sink;
    std::ofstream("/proc/self/clear_refs") << "5";
    const std::size_t before = PeakKiB();
    const ReadSettings settings{TimeZone::Utc()};
    std::string scratch;
    Items items;
    const ReadResult result = ReadAndroidBackup(stream, settings, scratch, items);
    const std::size_t growth = PeakKiB() - before;
    EXPECT_EQ(result.read, 2u);
    EXPECT_EQ(sink.Parts(), 1u);
    EXPECT_EQ(sink.Bytes(), kData / 4 * 3);
    EXPECT_EQ(sink.Damaged(), 0u);
    // The read buffer and Expat's of 1 MiB each, and the decoder's: far below the 50 MiB.
    EXPECT_LT(growth, 12u * 1024) << growth << " KiB";
}
#endif

TEST(AndroidBackup, AStoppedRunEndsInsideALargeBackup) {
    // A backup of 64 MB, handed over in small reads; the run is stopped at the third.
    const std::string head = Backup("").substr(0, Backup("").find("</smses>"));
    const std::string sms = Sms("10086", "1", "话费余额");
    std::size_t reads = 0;
    std::size_t bytes = 0;
    std::atomic<bool> cancel{false};
    BackupStream stream{[&](std::span<char> area) -> std::optional<std::size_t> {
        if (++reads == 3) {
            cancel = true;
        }
        const std::size_t n = std::min(area.size(), (64u << 20) - bytes);
        for (std::size_t i = 0; i < n; ++i, ++bytes) {
            area[i] = bytes < head.size() ? head[bytes] : sms[(bytes - head.size()) % sms.size()];
        }
        return n;
    }};
    stream.readBytes = 64 * 1024;
    ReadSettings settings{TimeZone::Utc()};
    settings.cancel = &cancel;
    std::string scratch;
    Items items;
    ReadAndroidBackup(stream, settings, scratch, items);
    // What one turn of the parser takes after the stop, not the gigabytes a backup may hold.
    EXPECT_LE(bytes, 3 * stream.parseBytes) << reads << " reads";
}

// The run over backups in the message folder.
class AndroidRun : public test::RunFixture {
protected:
    ArchiveRequest Modern() const {
        ArchiveRequest request = Request();
        request.input = InputFormat::Modern;
        request.encoding = ArchiveEncoding::Utf8;
        request.timeZone = "UTC";
        return request;
    }
};

TEST_F(AndroidRun, TheArchiveOfASmallBackup) {
    WriteBytes(Cards() / "c.vcf",
               "BEGIN:VCARD\nVERSION:3.0\nFN:王五\nTEL:+86 139 0000 0001\nEND:VCARD\n");
    WriteBytes(
        Messages() / "sms-20231115.xml",
        Backup(Sms("+8613900000001", "1", "你好 &#55357;&#56832;", 0, "contact_name=\"Wang\"") +
               Sms("13900000001", "2", "好久不见&#10;周末见", 1) +
               Sms("10086", "1", "话费余额", 2, "contact_name=\"中国移动\"") +
               Sms("10086", "3", "草稿", 3) +
               Mms("msg_box=\"1\" address=\"13900000001\"",
                   Media("image/jpeg", "name=\"IMG_2023.jpg\"", "/9j/"),
                   Addr("13900000001", 137) + Addr("13800000000", 151), 4)));
    ArchiveRequest request = Modern();
    request.timeZone = "Asia/Shanghai";
    const std::string archive = test::WithoutIsolates(Written(request));
    EXPECT_EQ(archive,
              "\r\n"
              ">>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>联系人：王五"
              "<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<\r\n"
              "王五 <13900000001>     2023-11-15 06:13:24 : \r\n[图片：IMG_2023.jpg]\r\n"
              "→ 王五 <13900000001>     2023-11-15 06:13:21 : \r\n好久不见\r\n周末见\r\n"
              "王五 <13900000001>     2023-11-15 06:13:20 : \r\n你好 😀\r\n"
              "\r\n"
              ">>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>联系人：中国移动"
              "<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<\r\n"
              "中国移动 <10086>     2023-11-15 06:13:22 : \r\n话费余额\r\n");
    EXPECT_EQ(report_.messages.found, 1u);
    EXPECT_EQ(report_.messages.read, 4u);
    EXPECT_EQ(test::SkipsOf(report_.messages),
              (std::vector<test::Skip>{{"sms-20231115.xml", SkipReason::Draft, 3, 1}}));
    EXPECT_EQ(report_.timeZone, "Asia/Shanghai");
}

TEST_F(AndroidRun, InstantsShowInTheChosenZone) {
    // 2023-11-14 22:13:20 and 2023-07-22 04:26:40 UTC.
    WriteBytes(Messages() / "backup.xml",
               Backup("<sms address=\"1\" date=\"1700000000000\" type=\"1\" body=\"winter\"/>"
                      "<sms address=\"1\" date=\"1690000000000\" type=\"1\" body=\"summer\"/>"));
    const std::pair<std::string_view, std::vector<std::string_view>> cases[] = {
        {"UTC", {"2023-11-14 22:13:20", "2023-07-22 04:26:40"}},
        {"Asia/Shanghai", {"2023-11-15 06:13:20", "2023-07-22 12:26:40"}},
        {"+08:00", {"2023-11-15 06:13:20", "2023-07-22 12:26:40"}},
        {"Europe/Berlin", {"2023-11-14 23:13:20", "2023-07-22 06:26:40"}},
        {"America/New_York", {"2023-11-14 17:13:20", "2023-07-22 00:26:40"}},
    };
    for (const auto& [zone, times] : cases) {
        ArchiveRequest request = Modern();
        request.timeZone = zone;
        const std::string archive = Written(request);
        for (const std::string_view time : times) {
            EXPECT_NE(archive.find(time), std::string::npos) << zone << ": " << time;
        }
        EXPECT_EQ(report_.timeZone, zone);
    }
}

TEST_F(AndroidRun, XmlIsReadWithModernAloneAndInAnyCase) {
    const std::string backup = Backup(Sms("1", "1", "hello"));
    WriteBytes(Messages() / "a.xml", backup);
    WriteBytes(Messages() / "sub" / "b.XML", backup);
    WriteBytes(Messages() / "calls-20231115.xml",
               "<?xml version='1.0'?>\n<calls count=\"1\"><call number=\"1\"/></calls>\n");
    WriteBytes(Messages() / "config.xml", "<?xml version='1.0'?>\n<config/>\n");
    WriteBytes(Messages() / "empty.xml", "");
    ArchiveRequest request = Modern();
    request.recurseMessages = true;
    Written(request);
    EXPECT_EQ(report_.messages.found, 5u);
    EXPECT_EQ(report_.messages.read, 2u);
    EXPECT_EQ(report_.timeZone, "UTC");
    EXPECT_EQ(test::SkipsOf(report_.messages),
              (std::vector<test::Skip>{{"calls-20231115.xml", SkipReason::CallLog},
                                       {"config.xml", SkipReason::NotMessageBackup},
                                       {"empty.xml", SkipReason::Empty}}));
    // The same message in two overlapping backups is one with --dedupe.
    request.dedupe = true;
    Written(request);
    EXPECT_EQ(report_.messages.duplicates, 1u);
    request.input = InputFormat::Classic;
    Written(request);
    EXPECT_EQ(report_.messages.found, 0u);
}

TEST_F(AndroidRun, TheReportSaysWhereAFileBreaks) {
    const std::string backup = Backup(Sms("1", "1", "kept") + Sms("2", "1", "cut"));
    WriteBytes(Messages() / "cut.xml", backup.substr(0, backup.find("\"cut\"")));
    Written(Modern());
    EXPECT_EQ(report_.messages.read, 1u);
    EXPECT_NE(ReportAsJson(report_).find("\"reason\": \"xml-error\", \"index\": 1, \"count\": 1, "
                                         "\"detail\": \"line 5, column 3\""),
              std::string::npos)
        << ReportAsJson(report_);
}

// Backups other projects published as test files, where the shared folder has them.
TEST(AndroidBackup, OtherProjectsTestFiles) {
    const fs::path folder = fs::path(QUILLBOX_SHARED_DIR) / "realworld" / "exports" / "android";
    if (!fs::is_directory(folder)) {
        GTEST_SKIP() << "no " << folder;
    }
    const std::pair<std::string_view, std::size_t> cases[] = {
        {"devadvance/sms_and_mms.xml", 49},   {"devadvance/sms_small.xml", 12},
        {"devadvance/sample_mms.xml", 4},     {"devadvance/corrupt_attachments.xml", 2},
        {"devadvance/sample_small.xml", 7},   {"devadvance/empty.xml", 0},
        {"shruggietech/edge_cases.xml", 2},   {"shruggietech/minimal_mms.xml", 1},
        {"shruggietech/mixed.xml", 3},        {"shruggietech/minimal_sms.xml", 1},
        {"shruggietech/malformed.xml", 0},    {"shruggietech/minimal_calls.xml", 0},
        {"fkleon/sms-and-mms.xml", 3},        {"fkleon/invalidSms.xml", 1},
        {"fkleon/invalidSms2.xml", 0},        {"ragibson/utf16_encoding.xml", 2},
        {"ragibson/multi_file_part1.xml", 3}, {"ragibson/multi_file_part2.xml", 3},
    };
    for (const auto& [name, count] : cases) {
        const std::string bytes = ReadBytes(folder / name);
        const Read read = ReadBackup(bytes);
        EXPECT_EQ(read.result.read, count) << name;
        if (name == "ragibson/utf16_encoding.xml") {
            EXPECT_NE(read.entries.at(0).body.find("\U0001F602"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace quillbox
