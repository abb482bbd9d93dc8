// SPDX-License-Identifier: MIT
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "command_line.h"
#include "quillbox/archive.h"
#include "quillbox/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <csignal>
#endif

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoReport = 3;  // the archive was written, its report was not

constexpr const char* kDone = "文档生成完毕！";
constexpr const char* kFailed = "文档生成失败！";

// Standard error, or standard output for help and version. Status never goes to standard
// output: the archive may be going there.
void Write(std::FILE* stream, const std::string& utf8) {
#ifdef _WIN32
    // A console shows UTF-16 whatever its code page; a file or pipe gets UTF-8.
    const HANDLE handle = ::GetStdHandle(stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode)) {
        if (const auto wide = quillbox::WidenUtf8(utf8)) {
            std::fflush(stream);
            DWORD written = 0;
            ::WriteConsoleW(handle, wide->data(), static_cast<DWORD>(wide->size()), &written,
                            nullptr);
            return;
        }
    }
#endif
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

void Say(const std::string& utf8) {
    Write(stderr, utf8 + "\n");
}

// Whether a person watches standard error: a terminal, or on Windows a console.
bool ErrorIsTerminal() {
#ifdef _WIN32
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
    return ::isatty(STDERR_FILENO) == 1;
#endif
}

// The columns a line takes on a terminal: CJK characters and full-width punctuation two each.
std::size_t Columns(std::string_view utf8) {
    std::size_t columns = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if ((byte & 0xC0) != 0x80) {
            columns += byte >= 0xE0 ? 2 : 1;
        }
    }
    return columns;
}

// One line on standard error, rewritten in place from a thread of its own, so that a long run
// shows it is alive even while one large file is read: "正在读取 12/300 个文件（已用 3 秒）".
class ProgressLine {
public:
    // Draws the first line at once, before the run has told anything.
    ProgressLine() : start_(std::chrono::steady_clock::now()) {
        Draw();
        ticker_ = std::thread([this] { Tick(); });
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    // Ends the line's thread and leaves the line empty for what follows.
    ~ProgressLine() {
        {
            const std::lock_guard lock(mutex_);
            ending_ = true;
        }
        wakeUp_.notify_all();
        ticker_.join();
        Write(stderr, "\r" + std::string(columns_, ' ') + "\r");
    }

    void Update(const quillbox::RunProgress& progress) {
        const std::lock_guard lock(mutex_);
        progress_ = progress;
    }

private:
    // A plain condition, not a stop token: MinGW's libstdc++ ends a stop callback with an atomic
    // wait whose fallback can miss its wake-up.
    void Tick() {
        std::unique_lock lock(mutex_);
        while (
            !wakeUp_.wait_for(lock, std::chrono::milliseconds(400), [this] { return ending_; })) {
            Draw();
        }
    }

    void Draw() {
        using Phase = quillbox::RunProgress::Phase;
        std::string line = progress_.phase == Phase::Writing ? "正在写入" : "正在读取";
        if (progress_.phase == Phase::Reading && progress_.total != 0) {
            line += " " + std::to_string(progress_.done) + "/" + std::to_string(progress_.total) +
                    " 个文件";
        }
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::steady_clock::now() - start_);
        line += "（已用 " + std::to_string(seconds.count()) + " 秒）";
        const std::size_t columns = Columns(line);
        // Spaces over what a longer line before left.
        Write(stderr, "\r" + line + std::string(columns_ > columns ? columns_ - columns : 0, ' '));
        columns_ = std::max(columns_, columns);
    }

    const std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable wakeUp_;
    bool ending_ = false;
    quillbox::RunProgress progress_;
    std::size_t columns_ = 0;
    std::thread ticker_;  // last: it runs while the members above exist
};

// A path as a terminal should show it: a name's controls and bidi controls are escaped, so that
// it can neither act on the terminal nor forge a line of ours.
std::string ForPeople(const std::filesystem::path& path) {
    return quillbox::PrintableText(quillbox::DisplayPath(path));
}

// "（跳过 5 个文件、3 条）": the files that gave nothing, and the blocks skipped inside others.
std::string Skipped(std::size_t files, std::string_view filesWord, std::size_t items,
                    std::string_view itemsWord) {
    std::string text;
    if (files != 0) {
        text += std::to_string(files) + std::string(filesWord);
    }
    if (items != 0) {
        text += (text.empty() ? "" : "、") + std::to_string(items) + std::string(itemsWord);
    }
    return text.empty() ? text : "（跳过 " + text + "）";
}

// "已读取 495 条信息（跳过 5 个文件），联系人 120 张（跳过 1 张），写入 1.2 MB：archive.txt"
std::string Summary(const quillbox::RunReport& report, bool classic) {
    const quillbox::SkipCounts messages = quillbox::CountSkips(report.messages);
    const quillbox::SkipCounts cards = quillbox::CountSkips(report.cards);
    std::string line = "已读取 " + std::to_string(report.messages.read) + " 条信息";
    line += Skipped(messages.files, " 个文件", messages.items, " 条");
    if (messages.attachments != 0) {
        line += "（" + std::to_string(messages.attachments) + " 个附件未能存入）";
    }
    if (report.messages.filtered && *report.messages.filtered != 0) {
        line += "（" + std::to_string(*report.messages.filtered) + " 条不在日期范围内）";
    }
    if (report.messages.duplicates && *report.messages.duplicates != 0) {
        line += "（" + std::to_string(*report.messages.duplicates) + " 条重复）";
    }
    line += "，联系人 " + std::to_string(report.cards.read) + " 张";
    // A classic card file is one card.
    line += Skipped(cards.files, classic ? " 张" : " 个文件", cards.items, " 张");
    if (!report.timeZone.empty()) {
        line += "，时间按 " + quillbox::PrintableText(report.timeZone) + " 时区显示";
    }
    line +=
        "，写入 " + quillbox::SizeText(report.bytesWritten) + "：" + ForPeople(report.archivePath);
    if (const auto& folder = report.folder) {
        // The index, and a page of each conversation.
        line += "（" + std::to_string(folder->pages.size() - 1) + " 个会话，" +
                std::to_string(folder->media.size()) + " 个附件；打开 " +
                ForPeople(report.archivePath / folder->pages.front()) + "）";
        if (!folder->keptOld.empty()) {
            line +=
                "\n原存档文件夹中有 Quillbox 没有写的文件，已保留在：" + ForPeople(folder->keptOld);
        }
    }
    return line;
}

void ListSkipped(const quillbox::RunReport& report) {
    for (const auto* files : {&report.cards, &report.messages}) {
        for (const quillbox::SkippedFile& skipped : files->skipped) {
            const std::string path = ForPeople(skipped.path);
            if (skipped.reason) {
                Say("跳过 " + path + "：" + quillbox::DescribeSkip(skipped, nullptr));
            }
            // Blocks are counted from 1 for people ("第 1 块"), from 0 in the JSON report.
            for (const quillbox::SkippedItems& items : skipped.items) {
                std::string where = "第 " + std::to_string(items.index + 1);
                if (items.count > 1) {
                    where += "–" + std::to_string(items.index + items.count);
                }
                Say("跳过 " + path + " 中" + where + " 块：" +
                    quillbox::DescribeSkip(skipped, &items));
            }
        }
    }
}

int Run(const quillbox::cli::RunOptions& options) {
    const quillbox::ArchiveRequest& request = options.request;
    // The dialog's two refusals, in its order.
    if (request.messageFolder.empty()) {
        Say("信息路径不能为空！");
        return kExitUsage;
    }
    if (request.output.empty()) {
        Say("输出路径不能为空！");
        return kExitUsage;
    }
    using Verbosity = quillbox::cli::Verbosity;
    quillbox::RunReport report;
    bool written = false;
    if (options.verbosity != Verbosity::Quiet && ErrorIsTerminal()) {
        ProgressLine line;
        quillbox::RunControl control;
        control.progress = [&line](const quillbox::RunProgress& progress) {
            line.Update(progress);
        };
        written = quillbox::GenerateArchive(request, &report, control);
    } else {
        written = quillbox::GenerateArchive(request, &report);
    }
    if (options.verbosity == Verbosity::Verbose ||
        (!written && options.verbosity != Verbosity::Quiet)) {
        ListSkipped(report);
    }
    if (!written && report.failure.stage == quillbox::RunFailure::Stage::ReplaceReport) {
        Say(quillbox::DescribeFailure(report.failure));
        return kExitNoReport;
    }
    if (!written) {
        Say(kFailed);
        Say(quillbox::DescribeFailure(report.failure));
        return kExitFailed;
    }
    if (options.verbosity != Verbosity::Quiet) {
        const bool classic = request.input == quillbox::InputFormat::Classic;
        Say(kDone);
        Say(Summary(report, classic));
        if (classic && report.modernExports != 0) {
            Say("有 " + std::to_string(report.modernExports) +
                " 个文件是新式导出，请加上 --modern（读取新式导出）后再生成");
        }
    }
    return 0;
}

// The arguments as UTF-8 text (the system's bytes on POSIX).
int Main(const std::vector<std::string>& arguments) {
    try {
        const std::vector<std::string_view> args(arguments.begin(), arguments.end());
        const auto command = quillbox::cli::ParseCommandLine(args);
        if (const auto* run = std::get_if<quillbox::cli::RunOptions>(&command)) {
            return Run(*run);
        }
        if (std::holds_alternative<quillbox::cli::ShowHelp>(command)) {
            Write(stdout, std::string(quillbox::cli::UsageText()));
            return 0;
        }
        if (std::holds_alternative<quillbox::cli::ShowVersion>(command)) {
            Write(stdout, "quillbox-cli " QUILLBOX_VERSION "\n");
            return 0;
        }
        Say("quillbox-cli: " + std::get<quillbox::cli::UsageError>(command).message);
        Say("Try 'quillbox-cli --help'.");
        return kExitUsage;
    } catch (const std::exception& e) {
        Say(kFailed);
        Say(e.what());
        return kExitFailed;
    }
}

}  // namespace

#ifdef _WIN32
// Windows hands the command line over as UTF-16; it goes on as UTF-8, never as code page 936.
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
    // A size limit or a closed pipe is then a write error the run reports, not a silent death.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    return Main(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
