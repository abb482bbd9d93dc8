#include <cstdio>
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

// A path the user gave, as the engine's code page 936 text. None when code page 936 cannot
// name it: "?" in place of a character would read or write another file.
std::optional<std::string> EnginePath(const std::string& localPath) {
    const auto wide = quillbox::WidenUtf8(localPath);
    if (!wide) {
        return std::nullopt;
    }
    return quillbox::NarrowPath(*wide);
}

int Fail(const std::string& reason) {
    std::cerr << kFailed << '\n';
    if (!reason.empty()) {
        std::cerr << reason << '\n';
    }
    return kExitFailed;
}

std::string SystemMessage(int error) {
    return error != 0 ? "：" + std::system_category().message(error) : std::string();
}

int Run(const quillbox::cli::RunOptions& options) {
    // The dialog's two refusals, in its order.
    if (options.messageFolder.empty()) {
        std::cerr << "信息路径不能为空！\n";
        return kExitUsage;
    }
    if (options.outputFile.empty()) {
        std::cerr << "输出路径不能为空！\n";
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
        std::cout << kDone << '\n';
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

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string_view> args(argv + 1, argv + argc);
        const auto command = quillbox::cli::ParseCommandLine(args);
        if (const auto* run = std::get_if<quillbox::cli::RunOptions>(&command)) {
            return Run(*run);
        }
        if (std::holds_alternative<quillbox::cli::ShowHelp>(command)) {
            std::cout << quillbox::cli::UsageText();
            return 0;
        }
        if (std::holds_alternative<quillbox::cli::ShowVersion>(command)) {
            std::cout << "quillbox-cli " QUILLBOX_VERSION "\n";
            return 0;
        }
        std::cerr << "quillbox-cli: " << std::get<quillbox::cli::UsageError>(command).message
                  << "\n\n"
                  << quillbox::cli::UsageText();
        return kExitUsage;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}
