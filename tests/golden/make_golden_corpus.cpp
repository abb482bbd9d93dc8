// SPDX-License-Identifier: MIT
// Writes the golden corpus: a message folder and a card folder holding every form the readers
// know, from a seed. Its archives are committed under tests/data/golden and compared byte for
// byte, so the corpus avoids whatever would make them follow the file system's listing order:
// every message has its own date key, and no number is named by two cards.
//
// quillbox_golden_corpus [--seed N] FOLDER  writes FOLDER/messages and FOLDER/cards.
// quillbox_golden_corpus --modern FOLDER    writes the same of today's exports: one vCard file of
//                                           many cards, vMessage files of many messages.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

// splitmix64: the <random> distributions differ between standard libraries.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t Below(std::uint32_t bound) { return static_cast<std::uint32_t>(Next() % bound); }
    bool Percent(std::uint32_t p) { return Below(100) < p; }
    template <typename T>
    const T& Pick(const std::vector<T>& items) {
        return items[Below(static_cast<std::uint32_t>(items.size()))];
    }

private:
    std::uint64_t state_;
};

// Characters with their UTF-8 and code page 936 bytes; all inside code page 936, including the
// lead and trail byte boundaries 81 40, 81 FE and FE 40.
struct Glyph {
    std::string_view utf8;
    std::string_view gbk;
};
const std::vector<Glyph> kFamily = {
    {"\xE5\xBC\xA0", "\xD5\xC5"}, {"\xE7\x8E\x8B", "\xCD\xF5"}, {"\xE6\x9D\x8E", "\xC0\xEE"},
    {"\xE8\xB5\xB5", "\xD5\xD4"}, {"\xE5\x88\x98", "\xC1\xF5"}, {"\xE9\x99\x88", "\xB3\xC2"},
    {"\xE6\x9D\xA8", "\xD1\xEE"}, {"\xE9\xBB\x84", "\xBB\xC6"}, {"\xE4\xB8\x82", "\x81\x40"},
};
const std::vector<Glyph> kGiven = {
    {"\xE4\xBC\x9F", "\xCE\xB0"}, {"\xE8\x8A\xB3", "\xB7\xBC"}, {"\xE5\xA8\x9C", "\xC4\xC8"},
    {"\xE6\x95\x8F", "\xC3\xF4"}, {"\xE9\x9D\x99", "\xBE\xB2"}, {"\xE4\xB8\xBD", "\xC0\xF6"},
    {"\xE5\xBC\xBA", "\xC7\xBF"}, {"\xE7\xA3\x8A", "\xC0\xDA"}, {"\xE5\x86\x9B", "\xBE\xFC"},
    {"\xE6\xB4\x8B", "\xD1\xF3"}, {"\xE4\xBE\xA2", "\x81\xFE"}, {"\xEF\xA8\x8C", "\xFE\x40"},
};

std::string Hex(std::string_view bytes) {
    std::string out;
    char part[4];
    for (const char c : bytes) {
        std::snprintf(part, sizeof part, "=%02X", static_cast<unsigned char>(c));
        out += part;
    }
    return out;
}

// UTF-8 (valid, from this file) to UTF-16LE bytes, optionally after a byte-order mark.
std::string Utf16Le(std::string_view utf8) {
    std::string out;
    const auto unit = [&out](std::uint32_t u) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        std::uint32_t cp = length == 1   ? b
                           : length == 2 ? b & 0x1Fu
                           : length == 3 ? b & 0x0Fu
                                         : b & 0x07u;
        for (int k = 1; k < length; ++k) {
            cp = cp << 6 |
                 (static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]) & 0x3Fu);
        }
        i += static_cast<std::size_t>(length);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

void Write(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

fs::path Utf8Path(const fs::path& base, std::string_view relative) {
    return base / fs::path(std::u8string(relative.begin(), relative.end()));
}

// ---- Numbers ----

// A number as a phone may write it, with prefixes that the reader strips down to base.
std::string Decorated(Random& random, const std::string& base) {
    switch (random.Below(12)) {
        case 0:
            return "+86" + base;
        case 1:
            return "0" + base;
        case 2:
            return "17951" + base;
        case 3:
            return "+8617951" + base;
        case 4:
            return "12520" + base;
        case 5:
            return "106" + base;
        case 6:
            return "tel:" + base;
        case 7:
            return "+106" + base;
        default:
            return base;
    }
}

// ---- Dates ----

struct Date {
    std::int32_t day, month, year, hour, minute, second;
};

// The reader's key: seconds from 1970 as if every month had 31 days, in its unsigned arithmetic.
std::uint64_t KeyOf(const Date& d) {
    const auto u = [](std::int32_t v) { return std::uint64_t{static_cast<std::uint32_t>(v)}; };
    std::uint64_t key = std::uint64_t{static_cast<std::uint32_t>(d.year) - 1970u} * 12;
    key = (key + u(d.month) - 1) * 31;
    key = (key + u(d.day) - 1) * 24;
    key = (key + u(d.hour)) * 60;
    key = (key + u(d.minute)) * 60;
    return key + u(d.second);
}

// The date line's text and the values the reader takes from it.
struct DateLine {
    std::string text;
    Date values;
};

std::string Two(std::int32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", v);
    return text;
}

DateLine MakeDate(Random& random) {
    Date d{static_cast<std::int32_t>(1 + random.Below(28)),
           static_cast<std::int32_t>(1 + random.Below(12)),
           static_cast<std::int32_t>(2003 + random.Below(10)),
           static_cast<std::int32_t>(random.Below(24)),
           static_cast<std::int32_t>(random.Below(60)),
           static_cast<std::int32_t>(random.Below(60))};
    const auto s = [](std::int32_t v) { return std::to_string(v); };
    const std::string time = Two(d.hour) + ":" + Two(d.minute) + ":" + Two(d.second);
    switch (random.Below(40)) {
        case 0:
            return {"+" + s(d.day) + ".+" + s(d.month) + ".+" + s(d.year) + " +" + s(d.hour) +
                        ":+" + s(d.minute) + ":+" + s(d.second),
                    d};
        case 1:
            return {s(d.day) + "." + s(d.month) + "." + s(d.year) + " " + s(d.hour) + ":" +
                        s(d.minute) + ":" + s(d.second),
                    d};
        case 2:
            d.hour = d.minute = d.second = 0;
            return {Two(d.day) + "." + Two(d.month) + "." + s(d.year), d};
        case 3:
            // A two-digit year is the year 9, not 2009.
            d.year %= 100;
            return {Two(d.day) + "." + Two(d.month) + "." + Two(d.year) + " " + time, d};
        case 4:
            d.day = -d.day;
            d.month = -d.month;
            return {s(d.day) + "." + s(d.month) + "." + s(d.year) + " " + time, d};
        case 5:
            // Past an int: the low 32 bits.
            return {std::to_string(4294967296LL + d.day) + "." + Two(d.month) + "." + s(d.year) +
                        " " + time,
                    d};
        case 6:
            // Past a long: saturated, all ones.
            d.day = -1;
            return {"99999999999999999999." + Two(d.month) + "." + s(d.year) + " " + time, d};
        case 7:
            d.hour = 25 + d.hour;
            d.minute = 60 + d.minute;
            return {Two(d.day) + "." + Two(d.month) + "." + s(d.year) + " " + s(d.hour) + ":" +
                        s(d.minute) + ":" + Two(d.second),
                    d};
        case 8:
            // Doubled separators and a tab are white space to the reader.
            return {Two(d.day) + ".." + Two(d.month) + ".\t" + s(d.year) + "  " + Two(d.hour) +
                        "::" + Two(d.minute) + ":" + Two(d.second),
                    d};
        case 9:
            // "/" stops the reading after the first number.
            d.month = d.year = d.hour = d.minute = d.second = 0;
            return {s(d.day) + "/03/2009 " + time, d};
        default:
            return {Two(d.day) + "." + Two(d.month) + "." + s(d.year) + " " + time, d};
    }
}

// ---- Messages ----

const std::vector<std::string> kBodies = {
    "\xE5\x88\xB0\xE5\xAE\xB6\xE4\xBA\x86",              // 到家了
    "\xE6\x98\x8E\xE5\xA4\xA9\xE8\xA7\x81\xEF\xBC\x81",  // 明天见！
    "OK",
    "a < b & c > d",
    "line one\nline two\nline three",
    "crlf inside\r\nthe body",
    "\xE6\x94\xB6\xE5\x88\xB0\xEF\xBC\x8C\xE8\xB0\xA2\xE8\xB0\xA2",  // 收到，谢谢
    "price: 100\xE5\x85\x83 \xC2\xA2 \xE2\x82\xAC",                  // 元 ¢ €
    "smile \xF0\x9F\x98\x80 end",
    "\xE4\xB8\x82\xE4\xBE\xA2\xEF\xA8\x8C boundaries",
    "<b>not bold</b>",
    "trailing spaces   ",
    "\tTabbed",
};

std::string Vmsg(std::string_view number, std::string_view date, std::string_view body) {
    return "BEGIN:VMSG\nVERSION:1.1\nX-IRMC-STATUS:READ\nX-IRMC-BOX:INBOX\nBEGIN:VCARD\n"
           "VERSION:2.1\nTEL:" +
           std::string(number) + "\nEND:VCARD\nBEGIN:VENV\nBEGIN:VBODY\nDate:" + std::string(date) +
           "\n" + std::string(body) + "\nEND:VBODY\nEND:VENV\nEND:VMSG\n";
}

std::string LongBody(Random& random, std::size_t units) {
    std::string body;
    for (std::size_t i = 0; i < units; ++i) {
        body += i % 50 == 49 ? std::string("\n") : std::string(random.Pick(kGiven).utf8);
    }
    return body;
}

// Where a file goes: sub-folders, folders named in Chinese, upper-case extensions.
std::string MessageName(Random& random, std::size_t index) {
    static const std::vector<std::string> folders = {
        "",
        "",
        "",
        "inbox/",
        "sent/",
        "\xE7\x9F\xAD\xE4\xBF\xA1/",  // 短信
        "inbox/2009/",
        "old.vmg/",
        "\xE4\xB8\x82\xE4\xBE\xA2/",  // 丂侢
    };
    std::string name = random.Pick(folders);
    name += random.Percent(10) ? std::string(random.Pick(kFamily).utf8) + "-" : "m";
    name += std::to_string(index);
    name += random.Percent(8) ? ".VMG" : ".vmg";
    return name;
}

// ---- Cards ----

struct Name {
    std::string utf8;
    std::string gbk;
};

Name MakeName(Random& random) {
    const Glyph& family = random.Pick(kFamily);
    const Glyph& given = random.Pick(kGiven);
    Name name{std::string(family.utf8) + std::string(given.utf8),
              std::string(family.gbk) + std::string(given.gbk)};
    if (random.Percent(30)) {
        const Glyph& second = random.Pick(kGiven);
        name.utf8 += second.utf8;
        name.gbk += second.gbk;
    }
    return name;
}

// The name line in one of the forms phones write.
std::string NameLine(Random& random, const Name& name, std::size_t index) {
    const std::string ascii = "Person " + std::to_string(index);
    switch (random.Below(14)) {
        case 0:
            return "FN:" + ascii;
        case 1:
            return "FN:" + name.gbk;
        case 2:
            return "N:" + std::string(kFamily[index % kFamily.size()].gbk) + ";" + ascii + ";;;";
        case 3:
            return "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" + Hex(name.utf8.substr(0, 3)) +
                   ";" + Hex(name.utf8.substr(3)) + ";;;";
        case 4: {
            // A soft line break inside the value.
            const std::string hex = Hex(name.utf8);
            return "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" + hex.substr(0, 9) + "=\n" +
                   hex.substr(9);
        }
        case 5:
            return "FN:\\;escaped;" + ascii;
        case 6:
            return "FN:" + ascii + " <&>";
        case 7:
            return "FN;ENCODING=QUOTED-PRINTABLE:" + Hex(ascii) + "=41";
        case 8:
            return "FN:a=41 " + ascii;
        default:
            return "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" + Hex(name.utf8);
    }
}

std::string TelLine(Random& random, const std::string& number) {
    static const std::vector<std::string> types = {
        "TEL:", "TEL;CELL:", "TEL;TYPE=HOME,VOICE:", "TEL;WORK;VOICE:", "TEL;X-CUSTOM=a:"};
    return random.Pick(types) + number;
}

}  // namespace

// ---- Today's exports ----

// Senders as phones show them: numbers in their many spellings, and names (operators, banks,
// shops) in characters that code page 936 has, lacks, or holds beyond the basic plane.
const std::vector<std::string> kNamedSenders = {
    "中国移动",
    "10086",
    "招商银行",
    "\xF0\x9F\x98\x80"
    "Shop",
    "\xF0\xA0\x80\x80"
    "Bank",
    "ธนาคาร",
    "Ünïcødé",
    "<b>&amp;</b>",
};
const std::vector<std::string> kModernBodies = {
    "您的话费余额为 10 元",
    "晚上一起吃饭吗？\xF0\x9F\x98\x80",
    "𠀀𠀁 are beyond the basic plane",
    "ขอบคุณ",
    "€ 5, ¢ 3, · and ・",
    "a<b & c>d \"quoted\"",
    "two\nlines",
    "",
    "生日快乐！\xF0\x9F\x8E\x82\xF0\x9F\x8E\x89",
};

std::string ModernDate(Random& random, std::set<std::string>& used) {
    for (;;) {
        const int year = 2012 + static_cast<int>(random.Below(12));
        const int month = 1 + static_cast<int>(random.Below(12));
        const int day = 1 + static_cast<int>(random.Below(28));
        const int hour = static_cast<int>(random.Below(24));
        const int minute = static_cast<int>(random.Below(60));
        const int second = static_cast<int>(random.Below(60));
        char text[80];
        switch (random.Below(3)) {
            case 0:
                std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", year, month, day,
                              hour, minute, second);
                break;
            case 1:
                std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", day, month, year,
                              hour, minute, second);
                break;
            default:
                std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02dZ", year, month, day,
                              hour, minute, second);
        }
        char key[80];
        std::snprintf(key, sizeof key, "%04d%02d%02d%02d%02d%02d", year, month, day, hour, minute,
                      second);
        if (used.insert(key).second) {
            return text;
        }
    }
}

std::string VmsgBlock(std::string_view box, std::string_view number, std::string_view date,
                      std::string_view body) {
    const bool sent = box != "INBOX";
    return "BEGIN:VMSG\r\nVERSION:1.1\r\nX-IRMC-STATUS:READ\r\nX-IRMC-BOX:" + std::string(box) +
           "\r\nBEGIN:VCARD\r\nVERSION:2.1\r\nTEL:" + std::string(sent ? "" : number) +
           "\r\nEND:VCARD\r\nBEGIN:VENV\r\nBEGIN:VCARD\r\nVERSION:2.1\r\nTEL:" +
           std::string(sent ? number : "") +
           "\r\nEND:VCARD\r\nBEGIN:VENV\r\nBEGIN:VBODY\r\nDate:" + std::string(date) + "\r\n" +
           std::string(body) + "\r\nEND:VBODY\r\nEND:VENV\r\nEND:VENV\r\nEND:VMSG\r\n";
}

// A number written as an address book or a phone may write it.
std::string Spelled(Random& random, const std::string& number) {
    if (number.size() != 11) {
        return number;
    }
    switch (random.Below(4)) {
        case 0:
            return "+86 " + number.substr(0, 3) + "-" + number.substr(3, 4) + "-" +
                   number.substr(7);
        case 1:
            return "(" + number.substr(0, 3) + ") " + number.substr(3);
        case 2:
            return "+86" + number;
        default:
            return number;
    }
}

void WriteModernCorpus(const fs::path& root, Random& random) {
    const fs::path messages = root / "messages";
    const fs::path cards = root / "cards";
    fs::remove_all(messages);
    fs::remove_all(cards);

    std::vector<std::string> numbers;
    for (std::size_t i = 0; i < 24; ++i) {
        numbers.push_back("139" + std::to_string(10000000 + i * 104729 % 90000000));
    }
    // Names in every kind of character, each number named by one card only.
    const std::vector<std::string> names = {
        "张三",  "李四\xF0\x9F\x98\x80", "𠀀明", "สมชาย", "Zoë Müller", "王<五>&\"",
        "陈 静", "Li \xE2\x80\xAE Hua",  "赵六", "孙七",  "周八",       "吴九",
    };
    std::string vcf;
    for (std::size_t i = 0; i < names.size(); ++i) {
        vcf += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" + names[i] +
               "\r\nTEL;TYPE=CELL:" + Spelled(random, numbers[i]) + "\r\nEND:VCARD\r\n";
    }
    // A named sender with a card of its own.
    vcf += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:移动客服\r\nTEL:10086\r\nEND:VCARD\r\n";
    Write(cards / "contacts.vcf", vcf);

    std::vector<std::string> senders = numbers;
    senders.insert(senders.end(), kNamedSenders.begin(), kNamedSenders.end());
    std::set<std::string> used;
    std::string utf8;
    std::string wide;
    for (std::size_t i = 0; i < 90; ++i) {
        const std::string& sender = random.Pick(senders);
        const std::string box = random.Percent(30) ? "SENTBOX" : "INBOX";
        std::string body = random.Pick(kModernBodies);
        if (random.Percent(15)) {
            body += "\r\n" + random.Pick(kModernBodies);
        }
        const std::string block =
            VmsgBlock(box, Spelled(random, sender), ModernDate(random, used), body);
        (i % 3 == 0 ? wide : utf8) += block;
    }
    Write(messages / "sms.vmsg", utf8);
    Write(messages / "older" / "backup.vmg", "\xFF\xFE" + Utf16Le(wide));
    std::cout << "modern messages: 90, cards: " << names.size() + 1 << "\n";
}

int main(int argc, char** argv) {
    std::uint64_t seed = 20091018;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--modern") {
        Random random(seed);
        WriteModernCorpus(args[1], random);
        return 0;
    }
    if (args.size() == 3 && args[0] == "--seed") {
        seed = std::stoull(args[1]);
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() != 1) {
        std::cerr << "usage: quillbox_golden_corpus [--seed N | --modern] FOLDER\n";
        return 2;
    }
    const fs::path root(args[0]);
    const fs::path messages = root / "messages";
    const fs::path cards = root / "cards";
    fs::remove_all(messages);
    fs::remove_all(cards);
    Random random(seed);

    // Bases are the numbers as the reader matches them: none starts with a prefix it strips.
    std::vector<std::string> senders;
    for (std::size_t i = 0; i < 160; ++i) {
        static const std::vector<std::string> heads = {"139", "138", "150", "186", "2", "755"};
        senders.push_back(random.Pick(heads) + std::to_string(10000000 + i * 7919 % 9000000));
    }
    senders.push_back("10086");
    senders.push_back("95588");

    // Cards: about half of the senders, each named by one card only, and numbers no message
    // uses. Broken cards name numbers of their own too.
    std::size_t cardIndex = 0;
    // Numbers no sender uses, each with the number a message gives for it, so that what the
    // card makes of them shows in the archive.
    std::size_t spare = 0;
    std::vector<std::string> spareSenders;
    const auto spareNumber = [&](std::string_view asMessageWrites = {}) {
        std::string number = "1330000" + std::to_string(1000 + spare++);
        spareSenders.push_back(std::string(asMessageWrites) + number);
        return number;
    };
    const auto cardPath = [&](std::string_view extension) {
        static const std::vector<std::string> folders = {"", "", "phone/", "sim/",
                                                         "\xE8\x81\x94\xE7\xB3\xBB\xE4\xBA\xBA/"};
        return Utf8Path(cards, random.Pick(folders) + "c" + std::to_string(cardIndex++) +
                                   std::string(extension));
    };
    for (std::size_t i = 0; i < senders.size(); i += 2) {
        const Name name = MakeName(random);
        std::vector<std::string> numbers = {senders[i]};
        if (random.Percent(20)) {
            numbers.push_back(spareNumber());
        }
        const bool crlf = random.Percent(40);
        std::string card = "BEGIN:VCARD\nVERSION:2.1\n";
        if (random.Percent(10)) {
            card += TelLine(random, Decorated(random, numbers.back())) + "\n";
            numbers.pop_back();
        }
        card += NameLine(random, name, i) + "\n";
        for (const auto& number : numbers) {
            card += TelLine(random, Decorated(random, number)) + "\n";
        }
        if (random.Percent(20)) {
            card += "NOTE:met at work\n";
        }
        card += "END:VCARD\n";
        if (crlf) {
            std::string withCr;
            for (const char c : card) {
                if (c == '\n') {
                    withCr += '\r';
                }
                withCr += c;
            }
            card = withCr;
        }
        Write(cardPath(random.Percent(10) ? ".VCF" : ".vcf"), card);
    }

    // Cards in the forms that name nothing, or name only part of what they hold. Each names
    // numbers of its own.
    const std::vector<std::string> oddCards = {
        "",
        "BEGIN:VCARD\nFN:Only a name\nEND:VCARD\n",
        "FN:First line\nTEL:" + spareNumber() + "\n",
        "BEGIN:VCARD\nNOTE:a note names the card\nTEL:" + spareNumber() + "\n",
        "BEGIN:VCARD\nFN:Cut short\nTEL:" + spareNumber(),
        "BEGIN:VCARD\nFN:No colon\nTEL\nEND:VCARD\n",
        "BEGIN:VCARD\nFN:\nTEL:" + spareNumber() + "\n",
        "BEGIN:VCARD\nFN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=A0=0D=0A=E4=B8=89\nTEL:" +
            spareNumber() + "\n",
        "BEGIN:VCARD\r\nFN;ENCODING=QUOTED-PRINTABLE:Two=0D=0Alines\r\nTEL:" + spareNumber() +
            "\r\n",
        "BEGIN:VCARD\nFN;ENCODING=QUOTED-PRINTABLE:=0Aleading\nTEL:" + spareNumber() + "\n",
        std::string("BEGIN:VCARD\nFN:Zero\nTEL:") + spareNumber() + "\n" + '\0' +
            "\nTEL:" + spareNumber() + "\n",
        "BEGIN:VCARD\nFN:End of file byte\nTEL:" + spareNumber() + "\n\x1A\nTEL:" + spareNumber() +
            "\n",
        "BEGIN:VCARD\nFN:Empty number\nTEL:\n",
        "BEGIN:VCARD\nFN:Colons\nTEL;X:a:b:" + spareNumber("a:b:") + "\n",
        "BEGIN:VCARD\nFN:Twice\nTEL:+86+86" + spareNumber("+86+86") + "\n",
        "BEGIN:VCARD\nPHOTO;ENCODING=BASE64:" + std::string(2100, 'Q') +
            "\nFN:Beyond the head\nTEL:" + spareNumber() + "\n",
        "BEGIN:VCARD\nFN:Almost full\n" + std::string("X-PAD:") + std::string(1950, 'p') +
            "\nTEL:" + spareNumber() + "\n",
    };
    for (const auto& card : oddCards) {
        Write(cardPath(".vcf"), card);
    }
    Write(cards / "not-a-card.vcf.bak", "BEGIN:VCARD\nFN:Never\nTEL:" + senders[1] + "\n");
    Write(cards / "mixed.Vcf", "BEGIN:VCARD\nFN:Never\nTEL:" + senders[3] + "\n");

    // Messages: every one has its own date key.
    std::set<std::uint64_t> keys;
    const auto uniqueDate = [&] {
        for (;;) {
            const DateLine date = MakeDate(random);
            if (keys.insert(KeyOf(date.values)).second) {
                return date;
            }
        }
    };
    std::size_t messageIndex = 0;
    for (; messageIndex < 1840; ++messageIndex) {
        const std::string number =
            random.Percent(3) ? std::string() : Decorated(random, random.Pick(senders));
        const DateLine date = uniqueDate();
        std::string body = random.Pick(kBodies);
        if (random.Percent(10)) {
            body += "\n" + random.Pick(kBodies);
        }
        if (random.Percent(2)) {
            body.clear();
        }
        if (random.Percent(1)) {
            body = LongBody(random, 1800);
        }
        std::string bytes = Utf16Le(Vmsg(number, date.text, body));
        if (random.Percent(5)) {
            bytes = "\xFF\xFE" + bytes;
        }
        if (random.Percent(2)) {
            bytes.push_back('\x01');
        }
        Write(Utf8Path(messages, MessageName(random, messageIndex)), bytes);
    }

    spareSenders.push_back("VCARD");
    for (const auto& number : spareSenders) {
        for (int k = 0; k < 2; ++k) {
            Write(Utf8Path(messages, "spare/m" + std::to_string(messageIndex++) + ".vmg"),
                  Utf16Le(Vmsg(number, uniqueDate().text, random.Pick(kBodies))));
        }
    }

    // Messages in the forms that are read differently or not at all.
    const auto odd = [&](std::string_view text) {
        Write(Utf8Path(messages, "odd/m" + std::to_string(messageIndex++) + ".vmg"), Utf16Le(text));
    };
    const auto oddNumber = [&] { return Decorated(random, random.Pick(senders)); };
    odd(Vmsg(oddNumber(), uniqueDate().text, "first\nEND:VBODY\nsecond"));
    odd("X-TELCO:9\n" + Vmsg(oddNumber(), uniqueDate().text, "after a TELCO line"));
    odd(Vmsg("a:b:" + random.Pick(senders), uniqueDate().text, "colons in the number"));
    odd(Vmsg("+86+86" + random.Pick(senders), uniqueDate().text, "+86 twice"));
    odd("BEGIN:VMSG\n\xE4\xB9\x80"
        "EL:" +
        random.Pick(senders) + "\nBEGIN:VBODY\nDate:" + uniqueDate().text +
        "\nmarker across a character\nEND:VBODY\n");
    odd(Vmsg(oddNumber(), uniqueDate().text, LongBody(random, 2100)));  // END beyond the head
    odd(Vmsg(oddNumber(), uniqueDate().text, std::string("zero") + '\0' + "unit"));
    odd("no markers at all");
    odd("");
    odd("BEGIN:VMSG\r\nTEL:" + oddNumber() + "\r\nBEGIN:VBODY\r\nDate:" + uniqueDate().text +
        "\r\ncrlf file\r\nEND:VBODY\r\n");
    odd("TEL:" + oddNumber() + "\nBEGIN:VBODY\nno date line\nEND:VBODY\n");
    odd("TEL:" + oddNumber() + "\nBEGIN:VBODY\nDate:" + uniqueDate().text + "\nno end");
    Write(messages / "odd/odd-length.vmg",
          Utf16Le(Vmsg(oddNumber(), uniqueDate().text, "odd")) + "x");
    Write(messages / "odd/eight-bit.vmg", Vmsg(oddNumber(), uniqueDate().text, "8-bit file"));
    Write(messages / "odd/one-byte.vmg", "x");
    Write(messages / "odd/skipped.vmg.txt", Utf16Le(Vmsg("1", "01.01.2009 00:00:00", "never")));
    Write(messages / "odd/mixed.Vmg", Utf16Le(Vmsg("1", "01.01.2009 00:00:00", "never")));
    std::cout << "messages: " << messageIndex << ", cards: " << cardIndex << "\n";
    return 0;
}
