// SPDX-License-Identifier: MIT
// Writes a modern archive page for the browser test and the page benchmark:
//
//     quillbox_bench_page OUTPUT [--order date|sender] [--messages N]
//
// The page always holds the hand-made messages below, which the browser test looks for, and N
// more made up from a fixed seed (0 unless given).

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "write/modern_page.h"

namespace {

using quillbox::ContactBook;
using quillbox::MessageStore;
using quillbox::SortOrder;

struct HandMade {
    const char* party;
    quillbox::MessageTime time;
    const char* body;
};

// Three people with cards (one of them with an emoji in the name), one number without, and
// texts that try to break out of the page.
constexpr HandMade kHandMade[] = {
    {"13912345678", {2009, 3, 18, 10, 15, 30}, "你好，张三\n我买了苹果"},
    {"13912345678", {2009, 3, 17, 9, 0, 0}, "<script>document.title='pwned'</script>"},
    {"13800000001", {2009, 3, 2, 8, 5, 9}, "Hello from Li 😀 — see you at 8\r\nbye"},
    {"13800000001", {2009, 2, 14, 20, 0, 0}, "<img src=x onerror=\"document.title='pwned'\">"},
    {"10086", {2009, 2, 1, 8, 0, 0}, "a<b & c>d \"quoted\" 'single'"},
    {"10086", {2008, 12, 31, 23, 59, 59}, "苹果 APPLE 𠀀 € 新年快乐"},
    {"15000000002", {2008, 12, 25, 12, 0, 0}, "圣诞快乐 hello"},
};

struct Card {
    const char* name;
    const char* number;
};
constexpr Card kCards[] = {
    {"张三", "13912345678"},
    {"李四 😀", "13800000001"},
    {"王<五>&\"", "15000000002"},
};

// splitmix64: the same page on every machine.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t Below(std::size_t bound) { return static_cast<std::size_t>(Next() % bound); }

private:
    std::uint64_t state_;
};

constexpr std::string_view kWords[] = {
    "好的", "明天", "开会", "晚上", "吃饭", "谢谢",  "收到",    "路上",  "注意", "安全",
    "周末", "电影", "天气", "下雨", "记得", "带伞",  "快递",    "到了",  "ok",   "thanks",
    "see",  "you",  "soon", "call", "me",   "later", "meeting", "today", "😀",    "👍",
};
constexpr std::string_view kSurnames[] = {"王", "李", "张", "刘", "陈", "杨", "赵", "黄"};
constexpr std::string_view kGiven[] = {"伟", "芳", "娜", "敏", "静", "磊", "强", "洋", "艳", "军"};

void AddMadeUp(MessageStore& store, ContactBook& book, std::size_t count) {
    constexpr std::size_t kSenders = 2000;
    Random random(20090318);
    std::vector<std::string> numbers;
    for (std::size_t i = 0; i < kSenders; ++i) {
        numbers.push_back(std::to_string(13000000000ull + random.Below(999999999)));
        if (i % 3 != 0) {
            std::string name(kSurnames[random.Below(std::size(kSurnames))]);
            name.append(kGiven[random.Below(std::size(kGiven))]);
            book.AddEntry(name, numbers.back());
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        const int year = 2005 + static_cast<int>(random.Below(6));
        const int month = 1 + static_cast<int>(random.Below(12));
        const int day = 1 + static_cast<int>(random.Below(28));
        const int seconds = static_cast<int>(random.Below(86400));
        const quillbox::MessageTime time{year,        month, day, seconds / 3600, seconds / 60 % 60,
                                         seconds % 60};
        std::string body;
        const std::size_t words = 3 + random.Below(20);
        for (std::size_t w = 0; w < words; ++w) {
            body.append(kWords[random.Below(std::size(kWords))]);
            body.push_back(w % 4 == 3 ? '\n' : ' ');
        }
        store.Add({numbers[random.Below(numbers.size())], {}, body, time, quillbox::TimeKey(time)});
    }
}

class OstreamSink final : public quillbox::ByteSink {
public:
    explicit OstreamSink(std::ofstream& out) : out_(out) {}
    void Write(std::string_view bytes) override {
        out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

private:
    std::ofstream& out_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: %s OUTPUT [--order date|sender] [--messages N]\n", argv[0]);
        return 2;
    }
    SortOrder order = SortOrder::BySender;
    std::size_t count = 0;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string_view option = argv[i];
        const std::string_view value = argv[i + 1];
        if (option == "--order" && (value == "date" || value == "sender")) {
            order = value == "date" ? SortOrder::ByDate : SortOrder::BySender;
        } else if (option == "--messages") {
            count = std::stoul(std::string(value));
        } else {
            std::fprintf(stderr, "%s: unknown option %s\n", argv[0], argv[i]);
            return 2;
        }
    }
    MessageStore store;
    ContactBook book;
    for (const Card& card : kCards) {
        book.AddEntry(card.name, card.number);
    }
    for (const HandMade& m : kHandMade) {
        store.Add({m.party, {}, m.body, m.time, quillbox::TimeKey(m.time)});
    }
    AddMadeUp(store, book, count);
    store.Order(order);

    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    OstreamSink sink(file);
    quillbox::WriteModernPage(sink, store, book, {order, true}, "utf-8");
    file.close();
    if (!file) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
