// SPDX-License-Identifier: MIT
#include "corpus_model.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace quillbox::bench {

namespace {

enum : std::uint64_t { kPeopleStream = 1, kMessageStream = 2, kCardStream = 3 };

// Chat between people: the bulk of any phone.
constexpr std::array<std::u16string_view, 44> kChat = {
    u"你好，在吗？",
    u"我到了，你在哪里？",
    u"明天下午三点开会，别忘了。",
    u"好的，没问题。",
    u"晚上一起吃饭吧？",
    u"生日快乐！祝你天天开心。",
    u"我马上到，等我五分钟。",
    u"路上堵车，可能要晚一点。",
    u"收到，谢谢！",
    u"妈，我这周末回家。",
    u"记得带伞，今天有雨。",
    u"电话打不通，看到回我一下。",
    u"周末去爬山，你去不去？",
    u"我已经把文件发到你邮箱了。",
    u"今天加班，晚饭不用等我。",
    u"新年快乐，万事如意！",
    u"中秋节快乐，合家团圆。",
    u"孩子今天发烧了，我请假在家。",
    u"火车票买好了，初三的。",
    u"谢谢你的礼物，我很喜欢。",
    u"会议改到四楼的小会议室。",
    u"钥匙放在门口的鞋柜里。",
    u"到家了吗？早点休息。",
    u"这个月的房租我已经转给你了。",
    u"下班了没有？我在楼下等你。",
    u"帮我买一瓶酱油，谢谢。",
    u"想你了。",
    u"哈哈，太好笑了。",
    u"明天早上八点在公司门口集合。",
    u"我换号码了，这是我的新号码。",
    u"你发的照片收到了，拍得真好。",
    u"考试通过了！",
    u"我在开会，稍后回电。",
    u"航班延误了，大概晚两个小时到。",
    u"今天的事情对不起，别生气了。",
    u"周五的聚会改到周六了。",
    u"车停在地下二层，B区。",
    u"恭喜恭喜，早生贵子！",
    u"晚安。",
    u"好久不见，最近怎么样？",
    u"下午的快递帮我签收一下。",
    u"爸爸的体检报告出来了，一切正常。",
    u"我们在老地方等你。",
    u"周一记得交材料。",
};

// Notices from carriers, banks and shops; "#" becomes a random digit.
constexpr std::array<std::u16string_view, 13> kNotices = {
    u"【中国移动】尊敬的客户，您好！截至{d}日{h}时，您本月已使用流量###MB，剩余###MB。",
    u"【中国联通】您的话费余额为##.##元，为避免影响使用，请及时充值。",
    u"您尾号####的储蓄卡{M}月{d}日{h}:{m}消费支出人民币###.##元，活期余额####.##元。【工商银行】",
    u"您尾号####的信用卡本期账单金额为####.##元，最后还款日为{M}月{d}日。【招商银行】",
    u"验证码：######，您正在进行身份验证，请勿泄露给他人。【支付宝】",
    u"【顺丰速运】您的快件############已到达，请凭取件码####到小区门口领取。",
    u"【12306】订单E#########，您已购{M}月{d}日G###次##车##F号，请按时乘车。",
    u"【中国电信】您已成功订购流量包，本月有效。回复TD退订。",
    u"尊敬的会员，您的积分####分即将到期，请尽快兑换。回复TD退订",
    u"【美团】您的外卖已送达，祝您用餐愉快！",
    u"【滴滴出行】司机已到达上车地点，车牌号京A#####，请尽快上车。",
    u"【京东】您的订单##########已出库，预计明天送达。",
    u"【天气预报】明天多云转小雨，气温{t}到{t}度，出门请带伞。",
};

constexpr std::array<std::u16string_view, 26> kAscii = {
    u"OK, see you at 7.",
    u"Running late, 10 min.",
    u"Happy birthday! <3",
    u"Call me when you get this.",
    u"Meeting moved to 3pm, room 402.",
    u"Thanks!",
    u"Where are you?",
    u"Can you pick up milk on the way home?",
    u"Flight CA#### delayed, landing around {h}:{m}.",
    u"Your verification code is ######.",
    u"Tom & Jerry tonight at 8?",
    u"lol",
    u"Got it, will do.",
    u"Don't forget the keys.",
    u"Dinner at mom's on Sunday.",
    u"Traffic is terrible, taking the subway.",
    u"Sent you the file, check your email.",
    u"Good night :)",
    u"Are we still on for lunch tomorrow?",
    u"Battery dying, talk later.",
    u"2 > 1, trust me.",
    u"Happy New Year!!!",
    u"Just landed.",
    u"Let me know when you're free.",
    u"See the attached list & tell me what you think.",
    u"<b>not bold</b>",
};

constexpr std::array<std::u16string_view, 8> kMixed = {
    u"周末的party你来吗？",
    u"我的iPhone没电了，晚点回你。",
    u"发个email给我吧。",
    u"明天的meeting取消了。",
    u"wifi密码是########。",
    u"我的QQ号码是#########，加我。",
    u"PPT已经改好了，你看一下OK不OK。",
    u"下午4点在Starbucks见。",
};

// From 2013 on some messages carry emoji, which code page 936 lacks.
constexpr std::array<std::u16string_view, 4> kEmoji = {
    u"\U0001F600",
    u"\U0001F602",
    u"\U0001F44D",
    u"\u2764",
};

constexpr std::array<std::string_view, 32> kMobilePrefixes = {
    "130", "131", "132", "133", "134", "135", "136", "137", "138", "139", "150",
    "151", "152", "153", "155", "156", "157", "158", "159", "170", "176", "177",
    "178", "180", "181", "182", "183", "185", "186", "187", "188", "189"};
constexpr std::array<std::string_view, 25> kAreaCodes = {
    "10",  "20",  "21",  "22",  "23",  "24",  "25",  "27",  "28",  "29",  "311", "351", "371",
    "431", "451", "471", "531", "551", "571", "591", "731", "755", "769", "871", "898"};
constexpr std::array<std::string_view, 6> kServicePrefixes = {"550", "573", "58", "59", "90", "95"};
constexpr std::array<std::string_view, 16> kShortNumbers = {
    "10086", "10010", "10000", "95555", "95588", "95533", "95566", "95599",
    "95559", "95528", "12306", "12580", "95511", "95518", "10101", "95105"};

constexpr std::array<std::u16string_view, 30> kSurnames = {
    u"王", u"李", u"张", u"刘", u"陈", u"杨", u"黄", u"赵", u"吴", u"周",
    u"徐", u"孙", u"马", u"朱", u"胡", u"郭", u"何", u"高", u"林", u"罗",
    u"郑", u"梁", u"谢", u"宋", u"唐", u"许", u"韩", u"冯", u"邓", u"曹"};
constexpr std::array<std::string_view, 30> kSurnamesPinyin = {
    "Wang",  "Li",    "Zhang", "Liu",  "Chen", "Yang", "Huang", "Zhao", "Wu",   "Zhou",
    "Xu",    "Sun",   "Ma",    "Zhu",  "Hu",   "Guo",  "He",    "Gao",  "Lin",  "Luo",
    "Zheng", "Liang", "Xie",   "Song", "Tang", "Xu",   "Han",   "Feng", "Deng", "Cao"};
constexpr std::array<std::u16string_view, 30> kGivenNames = {
    u"伟", u"芳",   u"娜",   u"敏", u"静", u"丽", u"强",   u"磊",   u"军",   u"洋",
    u"勇", u"艳",   u"杰",   u"娟", u"涛", u"明", u"超",   u"秀英", u"霞",   u"平",
    u"刚", u"桂英", u"建华", u"文", u"华", u"红", u"玉兰", u"小明", u"晓东", u"海燕"};
constexpr std::array<std::string_view, 30> kGivenNamesPinyin = {
    "Wei",  "Fang",    "Na",    "Min",      "Jing",     "Li",      "Qiang",   "Lei",
    "Jun",  "Yang",    "Yong",  "Yan",      "Jie",      "Juan",    "Tao",     "Ming",
    "Chao", "Xiuying", "Xia",   "Ping",     "Gang",     "Guiying", "Jianhua", "Wen",
    "Hua",  "Hong",    "Yulan", "Xiaoming", "Xiaodong", "Haiyan"};
constexpr std::array<std::u16string_view, 5> kTitles = {u"老师", u"经理", u"师傅", u"医生",
                                                        u"（公司）"};
// Long enough that their quoted-printable lines are folded.
constexpr std::array<std::u16string_view, 4> kOrganisations = {
    u"中国工商银行客户服务中心", u"小区物业管理处前台值班室", u"幼儿园大班班主任办公室",
    u"市第一人民医院预约挂号处"};
constexpr std::array<std::string_view, 6> kPlainNames = {"Mom",          "Dad",  "Boss",
                                                         "Li Na (work)", "Jack", "Landlord"};

template <typename Array>
const auto& Pick(Random& random, const Array& items) {
    return items[random.Below(static_cast<std::uint32_t>(items.size()))];
}

void AppendDigits(std::string& out, Random& random, int count) {
    for (int i = 0; i < count; ++i) {
        out.push_back(static_cast<char>('0' + random.Below(10)));
    }
}

void AppendNumber(std::u16string& out, std::uint32_t value, bool twoDigits) {
    if (twoDigits && value < 10) {
        out.push_back(u'0');
    }
    for (const char c : std::to_string(value)) {
        out.push_back(static_cast<char16_t>(c));
    }
}

// "#" is a random digit; {M}, {d}, {h}, {m} and {t} a plausible month, day, hour, minute and
// temperature.
void AppendFilled(std::u16string& out, Random& random, std::u16string_view pattern) {
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char16_t c = pattern[i];
        if (c == u'#') {
            out.push_back(static_cast<char16_t>(u'0' + random.Below(10)));
        } else if (c == u'{' && i + 2 < pattern.size() && pattern[i + 2] == u'}') {
            switch (pattern[i + 1]) {
                case u'M':
                    AppendNumber(out, 1 + random.Below(12), false);
                    break;
                case u'd':
                    AppendNumber(out, 1 + random.Below(28), false);
                    break;
                case u'h':
                    AppendNumber(out, random.Below(24), true);
                    break;
                case u'm':
                    AppendNumber(out, random.Below(60), true);
                    break;
                default:
                    AppendNumber(out, random.Below(36), false);
                    break;
            }
            i += 2;
        } else {
            out.push_back(c);
        }
    }
}

std::u16string Widen(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

Person MakePerson(Random& random) {
    Person person;
    const double roll = random.Unit();
    if (roll < 0.72) {
        person.kind = Person::Kind::Mobile;
        person.base = Pick(random, kMobilePrefixes);
        AppendDigits(person.base, random, 8);
    } else if (roll < 0.86) {
        person.kind = Person::Kind::Landline;
        const std::string_view area = Pick(random, kAreaCodes);
        person.base = area;
        AppendDigits(person.base, random,
                     area.size() == 2 ? 8 : 7 + static_cast<int>(random.Below(2)));
    } else if (roll < 0.95) {
        person.kind = Person::Kind::Service;
        person.base = Pick(random, kServicePrefixes);
        AppendDigits(person.base, random, 5 + static_cast<int>(random.Below(5)));
    } else {
        person.kind = Person::Kind::Short;
        person.base = Pick(random, kShortNumbers);
    }
    return person;
}

// The number as it stands in a message: the same person arrives under several prefixes.
std::string SenderForm(Random& random, const Person& person) {
    const double roll = random.Unit();
    switch (person.kind) {
        case Person::Kind::Mobile:
            if (roll < 0.55)
                return person.base;
            if (roll < 0.85)
                return "+86" + person.base;
            if (roll < 0.91)
                return "17951" + person.base;
            if (roll < 0.96)
                return "12520" + person.base;
            return "+8617951" + person.base;
        case Person::Kind::Landline:
            return (roll < 0.7 ? "0" : "+86") + person.base;
        case Person::Kind::Service:
            if (roll < 0.85)
                return "106" + person.base;
            return (roll < 0.95 ? "+106" : "+86106") + person.base;
        case Person::Kind::Short:
            break;
    }
    return person.base;
}

// "DD.MM.YYYY hh:mm:ss" somewhere in 2009 to 2018.
std::u16string MessageDate(Random& random, int& year) {
    constexpr std::int64_t kFirstDay = 14245;  // 2009-01-01, counted from 1970-01-01
    constexpr std::uint32_t kDays = 3652;      // to 2019-01-01
    // Days to a civil date, after H. Hinnant's algorithm.
    const std::int64_t z = kFirstDay + random.Below(kDays) + 719468;
    const std::int64_t era = z / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02u:%02u:%02u", static_cast<int>(day),
                  static_cast<int>(month), year, random.Below(24), random.Below(60),
                  random.Below(60));
    return Widen(text);
}

// Carriers, banks and shops send notices; people chat, in Chinese, in English or in both.
std::u16string MessageBody(Random& random, const Person& sender, int year) {
    std::u16string body;
    if (sender.kind == Person::Kind::Service || sender.kind == Person::Kind::Short) {
        AppendFilled(body, random,
                     random.Chance(0.85) ? Pick(random, kNotices) : Pick(random, kAscii));
        return body;
    }
    const bool lines = random.Chance(0.10);
    int sentences = 1 + static_cast<int>(random.Below(3));
    if (random.Chance(0.03)) {
        sentences = 6 + static_cast<int>(random.Below(10));
    }
    const double kind = random.Unit();
    for (int i = 0; i < sentences; ++i) {
        if (i > 0) {
            body.append(lines ? u"\n" : kind >= 0.60 && kind < 0.85 ? u" " : u"");
        }
        if (kind < 0.60) {
            AppendFilled(body, random, Pick(random, kChat));
        } else if (kind < 0.85) {
            AppendFilled(body, random, Pick(random, kAscii));
        } else {
            AppendFilled(body, random,
                         random.Chance(0.6) ? Pick(random, kMixed) : Pick(random, kChat));
        }
    }
    if (year >= 2013 && random.Chance(0.03)) {
        body.append(Pick(random, kEmoji));
    }
    return body;
}

void AppendQuotedPrintable(std::string& line, std::string_view utf8, std::string_view eol) {
    constexpr char kHex[] = "0123456789ABCDEF";
    const auto lastEol = line.rfind('\n');
    std::size_t lineStart = lastEol == std::string::npos ? 0 : lastEol + 1;
    for (const char c : utf8) {
        // Folded before a line grows past 76 characters, the "=" included.
        if (line.size() - lineStart + 3 > 75) {
            line.append("=").append(eol);
            lineStart = line.size();
        }
        const auto b = static_cast<unsigned char>(c);
        line.push_back('=');
        line.push_back(kHex[b >> 4]);
        line.push_back(kHex[b & 0xF]);
    }
}

std::string CardNumber(Random& random, const Person& person) {
    switch (person.kind) {
        case Person::Kind::Mobile: {
            const double roll = random.Unit();
            return (roll < 0.5 ? "+86" : roll < 0.95 ? "" : "17951") + person.base;
        }
        case Person::Kind::Landline:
            return "0" + person.base;
        case Person::Kind::Service:
            return "106" + person.base;
        case Person::Kind::Short:
            break;
    }
    return person.base;
}

}  // namespace

std::uint64_t Random::Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::uint32_t Random::Below(std::uint32_t bound) {
    return static_cast<std::uint32_t>(((Next() >> 32) * bound) >> 32);
}

double Random::Unit() {
    return static_cast<double>(Next() >> 11) * 0x1.0p-53;
}

std::uint64_t StreamSeed(std::uint64_t seed, std::uint64_t kind, std::uint64_t index) {
    Random mixer(seed ^ (kind * 0xD1B54A32D192ED03ULL));
    mixer.Next();
    Random indexed(mixer.Next() ^ (index * 0x9E3779B97F4A7C15ULL));
    return indexed.Next();
}

CorpusModel::CorpusModel(std::uint64_t seed, std::size_t senders) : seed_(seed) {
    Random random(StreamSeed(seed, kPeopleStream, 0));
    people_.reserve(senders);
    for (std::size_t i = 0; i < senders; ++i) {
        people_.push_back(MakePerson(random));
    }
}

const Person& CorpusModel::PickSender(Random& random) const {
    // Skewed as real traffic is: the first few senders write thousands of messages, the last
    // ones a handful.
    const double u = random.Unit();
    const double skewed = u * u * std::sqrt(u);
    auto rank = static_cast<std::size_t>(skewed * static_cast<double>(people_.size()));
    return people_[rank < people_.size() ? rank : people_.size() - 1];
}

std::u16string CorpusModel::MessageText(std::uint64_t index) const {
    Random random(StreamSeed(seed_, kMessageStream, index));
    const Person& sender = PickSender(random);
    int year = 0;
    const std::u16string date = MessageDate(random, year);
    std::u16string text = u"BEGIN:VMSG\nVERSION:1.1\nBEGIN:VCARD\nTEL:";
    text.append(Widen(SenderForm(random, sender)));
    text.append(u"\nEND:VCARD\nBEGIN:VENV\nBEGIN:VBODY\nDate:");
    text.append(date).append(u"\n");
    text.append(MessageBody(random, sender, year));
    text.append(u"\nEND:VBODY\nEND:VENV\nEND:VMSG\n");
    return text;
}

std::string CorpusModel::MessageFile(std::uint64_t index) const {
    const std::u16string text = MessageText(index);
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

std::string CorpusModel::CardFile(std::uint64_t index) const {
    Random random(StreamSeed(seed_, kCardStream, index));
    const std::string_view eol = random.Chance(0.5) ? "\r\n" : "\n";
    const auto surname = random.Below(static_cast<std::uint32_t>(kSurnames.size()));
    const auto given = random.Below(static_cast<std::uint32_t>(kGivenNames.size()));

    std::string card = "BEGIN:VCARD";
    card.append(eol).append("VERSION:2.1").append(eol);
    // Exactly half of the cards carry quoted-printable UTF-8 names.
    if (index % 2 == 0) {
        std::u16string fullName;
        if (random.Chance(0.05)) {
            fullName = Pick(random, kOrganisations);
        } else {
            fullName.append(kSurnames[surname]).append(kGivenNames[given]);
            if (random.Chance(0.15)) {
                fullName = std::u16string(kSurnames[surname]).append(Pick(random, kTitles));
            }
        }
        card.append("N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:");
        AppendQuotedPrintable(card, EncodeUtf8(kSurnames[surname]), eol);
        card.append(";");
        AppendQuotedPrintable(card, EncodeUtf8(kGivenNames[given]), eol);
        card.append(";;;").append(eol);
        card.append("FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:");
        AppendQuotedPrintable(card, EncodeUtf8(fullName), eol);
        card.append(eol);
    } else {
        const std::string_view family = kSurnamesPinyin[surname];
        const std::string_view first = kGivenNamesPinyin[given];
        card.append("N:").append(family).append(";").append(first).append(";;;").append(eol);
        if (random.Chance(0.1)) {
            card.append("FN:").append(Pick(random, kPlainNames)).append(eol);
        } else {
            card.append("FN:").append(family).append(" ").append(first).append(eol);
        }
    }

    // Most cards name someone who writes; the rest never do.
    Person person;
    if (random.Chance(0.65)) {
        person = PickSender(random);
    } else {
        person = MakePerson(random);
    }
    card.append("TEL;CELL:").append(CardNumber(random, person)).append(eol);
    if (random.Chance(0.2)) {
        const Person other = MakePerson(random);
        card.append(random.Chance(0.5) ? "TEL;HOME:" : "TEL;WORK;VOICE:")
            .append(CardNumber(random, other))
            .append(eol);
    }
    if (random.Chance(0.1)) {
        card.append("EMAIL;INTERNET:user").append(std::to_string(index)).append("@example.com");
        card.append(eol);
    }
    card.append("END:VCARD").append(eol);
    return card;
}

std::string MessagePath(std::uint64_t index) {
    const std::uint64_t folder = index / 500;
    char path[64];
    std::snprintf(path, sizeof path, "phone-%02u/box-%03u/%07u.%s",
                  static_cast<unsigned>(folder / 25), static_cast<unsigned>(folder % 25),
                  static_cast<unsigned>(index), folder % 5 == 4 ? "VMG" : "vmg");
    return path;
}

std::string CardPath(std::uint64_t index) {
    const std::uint64_t folder = index / 250;
    char path[64];
    std::snprintf(path, sizeof path, "phone-%02u/cards-%02u/%06u.%s",
                  static_cast<unsigned>(folder / 5), static_cast<unsigned>(folder % 5),
                  static_cast<unsigned>(index), folder % 4 == 3 ? "VCF" : "vcf");
    return path;
}

std::string EncodeUtf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace quillbox::bench
