#include "command_line.h"

#include <optional>

namespace quillbox::cli {

namespace {

enum class Option {
    Messages,
    Contacts,
    Output,
    Sort,
    Html,
    RecurseMessages,
    RecurseContacts,
    Help,
    Version
};

struct OptionName {
    std::string_view longName;
    char shortName;
    Option option;
    bool takesValue;
};

constexpr OptionName kOptions[] = {
    {"messages", 'm', Option::Messages, true},
    {"contacts", 'c', Option::Contacts, true},
    {"output", 'o', Option::Output, true},
    {"sort", 's', Option::Sort, true},
    {"html", '\0', Option::Html, false},
    {"recurse-messages", 'r', Option::RecurseMessages, false},
    {"recurse-contacts", 'R', Option::RecurseContacts, false},
    {"help", 'h', Option::Help, false},
    {"version", 'V', Option::Version, false},
};

const OptionName* FindLong(std::string_view name) {
    for (const auto& option : kOptions) {
        if (option.longName == name) {
            return &option;
        }
    }
    return nullptr;
}

const OptionName* FindShort(char name) {
    for (const auto& option : kOptions) {
        if (option.shortName != '\0' && option.shortName == name) {
            return &option;
        }
    }
    return nullptr;
}

std::string Quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

}  // namespace

std::string_view UsageText() {
    return "用法：quillbox-cli --messages DIR [--contacts DIR] --output FILE [--html]\n"
           "                    [--sort sender|date] [--recurse-messages] [--recurse-contacts]\n"
           "\n"
           "  -m, --messages DIR        信息目录（.vmg 文件）\n"
           "  -c, --contacts DIR        联系人目录（.vcf 文件）\n"
           "  -o, --output FILE         输出文件，已有的文件将被替换\n"
           "      --html                写 HTML 文档（默认为纯文本）\n"
           "  -s, --sort sender|date    排序方式：发件人（默认）或日期\n"
           "  -r, --recurse-messages    递归信息目录的子目录\n"
           "  -R, --recurse-contacts    递归联系人目录的子目录\n"
           "  -h, --help                显示本帮助\n"
           "  -V, --version             显示版本\n";
}

Command ParseCommandLine(const std::vector<std::string_view>& args) {
    RunOptions run;
    bool help = false;
    bool version = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const OptionName* option = nullptr;
        std::optional<std::string_view> inlineValue;
        if (arg.starts_with("--")) {
            std::string_view name = arg.substr(2);
            if (const auto eq = name.find('='); eq != std::string_view::npos) {
                inlineValue = name.substr(eq + 1);
                name = name.substr(0, eq);
            }
            option = FindLong(name);
        } else if (arg.size() >= 2 && arg[0] == '-') {
            option = FindShort(arg[1]);
            if (option != nullptr && arg.size() > 2) {
                if (!option->takesValue) {
                    return UsageError{"未知选项 " + Quoted(arg)};
                }
                inlineValue = arg.substr(2);
            }
        } else {
            return UsageError{"多余的参数 " + Quoted(arg)};
        }
        if (option == nullptr) {
            return UsageError{"未知选项 " + Quoted(arg)};
        }

        std::string_view value;
        if (option->takesValue) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return UsageError{"选项 " + Quoted(arg) + " 需要一个值"};
            }
        } else if (inlineValue) {
            return UsageError{"选项 " + Quoted(arg) + " 不带值"};
        }

        switch (option->option) {
            case Option::Messages:
                run.messageFolder = value;
                break;
            case Option::Contacts:
                run.contactsFolder = value;
                break;
            case Option::Output:
                run.outputFile = value;
                break;
            case Option::Sort:
                if (value == "sender") {
                    run.order = SortOrder::BySender;
                } else if (value == "date") {
                    run.order = SortOrder::ByDate;
                } else {
                    return UsageError{"排序方式只能是 sender 或 date，不是 " + Quoted(value)};
                }
                break;
            case Option::Html:
                run.html = true;
                break;
            case Option::RecurseMessages:
                run.recurseMessages = true;
                break;
            case Option::RecurseContacts:
                run.recurseContacts = true;
                break;
            case Option::Help:
                help = true;
                break;
            case Option::Version:
                version = true;
                break;
        }
    }
    if (help) {
        return ShowHelp{};
    }
    if (version) {
        return ShowVersion{};
    }
    return run;
}

}  // namespace quillbox::cli
