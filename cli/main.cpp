#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

#include "command_line.h"
#include "quillbox/archive.h"
#include "quillbox/text.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kDone = "文档生成完毕！";
constexpr const char* kFailed = "文档生成失败！";

// The program's texts are UTF-8; a Windows console shows code page 936.
std::string ForConsole(const std::string& utf8) {
#ifdef _WIN32
    const auto wide = quillbox::WidenUtf8(utf8);
    if (wide) {
        if (auto narrow = quillbox::NarrowText(*wide)) {
            return *narrow;
        }
    }
#endif
    return utf8;
}

void Print(std::ostream& out, const std::string& utf8) {
    out << ForConsole(utf8) << '\n';
}

// A path the user gave, as the engine's code page 936 text. None when code page 936 cannot
// name it: "?" in place of a character would read or write another file.
std::optional<std::string> EnginePath(const std::string& utf8Path) {
    const auto wide = quillbox::WidenUtf8(utf8Path);
    if (!wide) {
        return std::nullopt;
    }
    return quillbox::NarrowPath(*wide);
}

int Fail(const std::string& reason) {
    Print(std::cerr, kFailed);
    if (!reason.empty()) {
        Print(std::cerr, reason);
    }
    return kExitFailed;
}

std::string SystemMessage(int error) {
    return error != 0 ? "：" + std::system_category().message(error) : std::string();
}

int Run(const quillbox::cli::RunOptions& options) {
    // The dialog's two refusals, in its order.
    if (options.messageFolder.empty()) {
        Print(std::cerr, "信息路径不能为空！");
        return kExitUsage;
    }
    if (options.outputFile.empty()) {
        Print(std::cerr, "输出路径不能为空！");
        return kExitUsage;
    }
    const auto messages = EnginePath(options.messageFolder);
    const auto contacts = EnginePath(options.contactsFolder);
    const auto output = EnginePath(options.outputFile);
    for (const auto& [narrow, given] :
         {std::pair{&messages, &options.messageFolder},
          std::pair{&contacts, &options.contactsFolder}, std::pair{&output, &options.outputFile}}) {
        if (!*narrow) {
            return Fail("路径含有代码页 936 无法表示的字符：" + *given);
        }
    }

    quillbox::RunFailure failure;
    if (quillbox::GenerateArchive(*messages, options.recurseMessages, *contacts,
                                  options.recurseContacts, *output, options.html, options.order,
                                  &failure)) {
        Print(std::cout, kDone);
        return 0;
    }
    switch (failure.stage) {
        case quillbox::RunFailure::Stage::OpenOutput:
            return Fail("无法创建输出文件 " + options.outputFile +
                        SystemMessage(failure.systemError));
        case quillbox::RunFailure::Stage::WriteOutput:
            return Fail("无法写入输出文件 " + options.outputFile +
                        SystemMessage(failure.systemError));
        default:
            return Fail({});
    }
}

// The arguments as UTF-8 text.
int Main(const std::vector<std::string>& arguments) {
    try {
        const std::vector<std::string_view> args(arguments.begin(), arguments.end());
        const auto command = quillbox::cli::ParseCommandLine(args);
        if (const auto* run = std::get_if<quillbox::cli::RunOptions>(&command)) {
            return Run(*run);
        }
        if (std::holds_alternative<quillbox::cli::ShowHelp>(command)) {
            std::cout << ForConsole(std::string(quillbox::cli::UsageText()));
            return 0;
        }
        if (std::holds_alternative<quillbox::cli::ShowVersion>(command)) {
            std::cout << "quillbox-cli " QUILLBOX_VERSION "\n";
            return 0;
        }
        Print(std::cerr,
              "quillbox-cli: " + std::get<quillbox::cli::UsageError>(command).message + "\n");
        std::cerr << ForConsole(std::string(quillbox::cli::UsageText()));
        return kExitUsage;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

}  // namespace

#ifdef _WIN32
#include <windows.h>

// Windows hands the command line over as UTF-16.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        const int size =
            ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, utf8.data(), size, nullptr, nullptr);
        utf8.resize(utf8.find('\0'));
        arguments.push_back(std::move(utf8));
    }
    return Main(arguments);
}
#else
int main(int argc, char** argv) {
    return Main(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
