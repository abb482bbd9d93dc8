// SPDX-License-Identifier: MIT
#include "command_line.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <optional>

#include "quillbox/text.h"

namespace quillbox::cli {

namespace {

// Long options without a short form get codes above any character.
enum LongOnly : int {
    kHtml = 0x100,
    kReport,
    kModern,
    kEncoding,
    kPage,
    kSince,
    kUntil,
    kDedupe,
    kTimeZone,
    kSplit,
};
constexpr unsigned kMostJobs = 256;

constexpr option kLongOptions[] = {
    {"messages", required_argument, nullptr, 'm'},
    {"contacts", required_argument, nullptr, 'c'},
    {"output", required_argument, nullptr, 'o'},
    {"sort", required_argument, nullptr, 's'},
    {"html", no_argument, nullptr, kHtml},
    {"recurse-messages", no_argument, nullptr, 'r'},
    {"recurse-contacts", no_argument, nullptr, 'R'},
    {"verbose", no_argument, nullptr, 'v'},
    {"quiet", no_argument, nullptr, 'q'},
    {"report", required_argument, nullptr, kReport},
    {"modern", no_argument, nullptr, kModern},
    {"encoding", required_argument, nullptr, kEncoding},
    {"page", required_argument, nullptr, kPage},
    {"since", required_argument, nullptr, kSince},
    {"until", required_argument, nullptr, kUntil},
    {"dedupe", no_argument, nullptr, kDedupe},
    {"time-zone", required_argument, nullptr, kTimeZone},
    {"split", no_argument, nullptr, kSplit},
    {"jobs", required_argument, nullptr, 'j'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};
// The leading ":" has getopt_long tell a missing value from an unknown option, and print nothing.
constexpr char kShortOptions[] = ":m:c:o:s:j:rRvqhV";

std::string Quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

// YYYY-MM-DD, a day that exists.
std::optional<CalendarDay> ParseDay(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    const auto number = [&](std::size_t at, std::size_t length) -> std::optional<int> {
        int value = 0;
        for (std::size_t i = at; i < at + length; ++i) {
            if (text[i] < '0' || text[i] > '9') {
                return std::nullopt;
            }
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const auto year = number(0, 4);
    const auto month = number(5, 2);
    const auto day = number(8, 2);
    if (!year || !month || !day || *month < 1 || *month > 12 || *day < 1) {
        return std::nullopt;
    }
    constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (*year % 4 == 0 && *year % 100 != 0) || *year % 400 == 0;
    const int days = *month == 2 && !leap ? 28 : kDays[*month - 1];
    if (*day > days) {
        return std::nullopt;
    }
    return CalendarDay{*year, *month, *day};
}

}  // namespace

std::string_view UsageText() {
    return "用法：quillbox-cli --messages DIR [--contacts DIR] --output FILE [选项]\n"
           "把信息目录中的 .vmg 信息和联系人目录中的 .vcf 名片写成一个文档。\n"
           "\n"
           "  -m, --messages=DIR        信息目录（.vmg 文件）\n"
           "  -c, --contacts=DIR        联系人目录（.vcf 文件）\n"
           "  -o, --output=FILE         输出文件；已有的文件只被完整的新文档替换；- 为标准输出\n"
           "      --html                写 HTML 文档（默认为纯文本）\n"
           "  -s, --sort=sender|date    排序方式：发件人（默认）或日期\n"
           "  -r, --recurse-messages    递归信息目录的子目录\n"
           "  -R, --recurse-contacts    递归联系人目录的子目录\n"
           "      --modern              读取如今手机导出的文件：一个 .vcf/.vcard 含多张名片\n"
           "                            （vCard 2.1/3.0/4.0），一个 .vmg/.vmsg 含多条信息，\n"
           "                            包括已发送的信息（以“→ ”标出）\n"
           "                            以及 Android“SMS Backup & Restore”的 .xml 备份\n"
           "      --encoding=gbk|gb18030|utf-8\n"
           "                            文档的编码：gbk（默认，代码页 936）、gb18030 或 utf-8；\n"
           "                            后两种能表示所有字符\n"
           "      --page=classic|modern HTML 页面：经典的 HTML 4.01 页面，或可搜索的 HTML5 页面\n"
           "                            （意味着 --html，未给 --encoding 时为 UTF-8）\n"
           "      --split               输出为一个存档文件夹：index 列出所有会话，每个会话一页\n"
           "                            （conversations/），附件在 media/；默认为文本页，\n"
           "                            加 --html 或 --page modern 为 HTML 页面（默认 UTF-8）；\n"
           "                            只替换 Quillbox 写的或空的文件夹\n"
           "      --since=YYYY-MM-DD    只写这一天及以后的信息\n"
           "      --until=YYYY-MM-DD    只写这一天及以前的信息\n"
           "      --dedupe              同一对方、方向、日期和内容的重复信息只写一次\n"
           "      --time-zone=ZONE      Android 和 iPhone 备份中的时刻按此时区显示：IANA 时区名\n"
           "                            （如 Asia/Shanghai）或偏移（如 +08:00）；\n"
           "                            默认为本机时区\n"
           "  -j, --jobs=N              用 N 个线程读取文件（默认为可用的处理器数）\n"
           "  -v, --verbose             逐个列出跳过的文件及原因\n"
           "  -q, --quiet               成功时不输出任何信息，只报告错误\n"
           "      --report=FILE         把运行报告写成 JSON 文件；- 为标准输出\n"
           "  -h, --help                显示本帮助\n"
           "  -V, --version             显示版本\n"
           "\n"
           "退出状态：0 文档已写入；1 生成失败（目录不存在、输出文件是输入文件、无法写入等），\n"
           "原有的输出文件保持不变；2 用法错误；3 文档已写入，但报告文件未能写入。\n";
}

namespace {

// What the options said before they are checked against each other.
struct Parsed {
    RunOptions run;
    bool help = false;
    bool version = false;
    bool verbose = false;
    bool quiet = false;
    bool html = false;
    bool encodingGiven = false;
    std::optional<ArchiveForm> page;
};

std::optional<std::string> ParseEncoding(std::string_view value, ArchiveEncoding& encoding) {
    if (value == "gbk") {
        encoding = ArchiveEncoding::Gbk;
    } else if (value == "gb18030") {
        encoding = ArchiveEncoding::Gb18030;
    } else if (value == "utf-8" || value == "utf8") {
        encoding = ArchiveEncoding::Utf8;
    } else {
        return "编码只能是 gbk、gb18030 或 utf-8，不是 " + Quoted(value);
    }
    return std::nullopt;
}

std::optional<std::string> ParseJobs(std::string_view value, unsigned& jobs) {
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), jobs);
    if (error != std::errc() || end != value.data() + value.size() || jobs == 0 ||
        jobs > kMostJobs) {
        return "线程数应为 1 到 256 之间的整数，不是 " + Quoted(value);
    }
    return std::nullopt;
}

// One option and its value; the reason when it is refused.
std::optional<std::string> Apply(int code, std::string_view value, Parsed& p) {
    ArchiveRequest& request = p.run.request;
    switch (code) {
        case 'm':
            request.messageFolder = PathFromArgument(value);
            break;
        case 'c':
            request.contactsFolder = PathFromArgument(value);
            break;
        case 'o':
            request.output = PathFromArgument(value);
            break;
        case kReport:
            request.report = PathFromArgument(value);
            break;
        case 's':
            if (value != "sender" && value != "date") {
                return "排序方式只能是 sender 或 date，不是 " + Quoted(value);
            }
            request.order = value == "date" ? SortOrder::ByDate : SortOrder::BySender;
            break;
        case kHtml:
            p.html = true;
            break;
        case 'r':
            request.recurseMessages = true;
            break;
        case 'R':
            request.recurseContacts = true;
            break;
        case 'v':
            p.verbose = true;
            break;
        case 'q':
            p.quiet = true;
            break;
        case kModern:
            request.input = InputFormat::Modern;
            break;
        case kEncoding:
            p.encodingGiven = true;
            return ParseEncoding(value, request.encoding);
        case kPage:
            if (value != "classic" && value != "modern") {
                return "页面只能是 classic 或 modern，不是 " + Quoted(value);
            }
            p.page = value == "modern" ? ArchiveForm::ModernPage : ArchiveForm::ClassicHtml;
            break;
        case kSince:
        case kUntil: {
            const auto day = ParseDay(value);
            if (!day) {
                return "日期应写成 YYYY-MM-DD，不是 " + Quoted(value);
            }
            (code == kSince ? request.since : request.until) = day;
            break;
        }
        case kDedupe:
            request.dedupe = true;
            break;
        case kSplit:
            request.split = true;
            break;
        case kTimeZone:
            if (!KnowsTimeZone(value)) {
                return "时区应为 IANA 时区名（如 Asia/Shanghai）或偏移（如 +08:00），不是 " +
                       Quoted(value);
            }
            request.timeZone = value;
            break;
        case 'j':
            return ParseJobs(value, request.jobs);
        case 'h':
            p.help = true;
            break;
        case 'V':
            p.version = true;
            break;
    }
    return std::nullopt;
}

// The reason getopt_long refused an argument: a missing value, an unknown option, or a value
// given to an option that takes none.
std::string Refusal(int code, std::string_view arg) {
    if (code == ':') {
        return "选项 " + Quoted(arg) + " 需要一个值";
    }
    if (optopt != 0 && !arg.starts_with("--")) {
        return "未知选项 " + Quoted(std::string("-") + static_cast<char>(optopt));
    }
    const std::string_view name = arg.substr(0, arg.find('='));
    for (const option& known : kLongOptions) {
        if (known.name != nullptr && known.has_arg == no_argument && name.substr(2) == known.name &&
            name.size() < arg.size()) {
            return "选项 " + Quoted(name) + " 不带值";
        }
    }
    return "未知选项 " + Quoted(name);
}

// The options checked against each other.
Command Finish(Parsed& p) {
    if (p.help) {
        return ShowHelp{};
    }
    if (p.version) {
        return ShowVersion{};
    }
    if (p.verbose && p.quiet) {
        return UsageError{"--verbose 和 --quiet 不能同时使用"};
    }
    RunOptions& run = p.run;
    ArchiveRequest& request = run.request;
    run.verbosity = p.quiet ? Verbosity::Quiet : p.verbose ? Verbosity::Verbose : Verbosity::Normal;
    if (request.since && request.until && *request.until < *request.since) {
        return UsageError{"--since 的日期晚于 --until 的日期"};
    }
    // A page is HTML; the modern page is UTF-8 unless an encoding is asked for.
    request.form = p.page ? *p.page : p.html ? ArchiveForm::ClassicHtml : ArchiveForm::Text;
    if (request.split) {
        // An archive folder's HTML pages are today's pages: there is no classic form of them.
        if (p.page == ArchiveForm::ClassicHtml) {
            return UsageError{"--split 不能与 --page classic 同时使用"};
        }
        if (request.output == "-") {
            return UsageError{"--split 写的是文件夹，不能写到标准输出"};
        }
        if (request.form == ArchiveForm::ClassicHtml) {
            request.form = ArchiveForm::ModernPage;
        }
    }
    if (request.form == ArchiveForm::ModernPage && !p.encodingGiven) {
        request.encoding = ArchiveEncoding::Utf8;
    }
    if (request.report == "-" && request.output == "-") {
        return UsageError{"--report=- 和 --output=- 不能同时写到标准输出"};
    }
    if (!request.report.empty() && request.report == request.output) {
        return UsageError{"报告文件不能是输出文件"};
    }
    return run;
}

}  // namespace

Command ParseCommandLine(const std::vector<std::string_view>& args) {
    // getopt_long wants a mutable argv that ends in a null pointer.
    std::vector<std::string> storage;
    storage.reserve(args.size() + 1);
    storage.emplace_back("quillbox-cli");
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : storage) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(storage.size());

    Parsed parsed;
    // optind 0 starts a new scan, as glibc and mingw-w64 both take it.
    optind = 0;
    opterr = 0;
    for (;;) {
        const int previous = optind == 0 ? 1 : optind;
        const int code = getopt_long(argc, argv.data(), kShortOptions, kLongOptions, nullptr);
        if (code == -1) {
            break;
        }
        if (code == ':' || code == '?') {
            return UsageError{
                Refusal(code, storage[static_cast<std::size_t>(std::min(previous, argc - 1))])};
        }
        if (auto refused = Apply(code, optarg != nullptr ? optarg : "", parsed)) {
            return UsageError{std::move(*refused)};
        }
    }
    if (optind < argc) {
        return UsageError{"多余的参数 " + Quoted(storage[static_cast<std::size_t>(optind)])};
    }
    return Finish(parsed);
}

}  // namespace quillbox::cli
