// SPDX-License-Identifier: MIT
#include "platform/codec.h"
#include "platform/platform.h"
#include "quillbox/archive.h"
#include "quillbox/text.h"

namespace quillbox {

namespace {

struct ReasonTexts {
    SkipReason reason;
    std::string_view name;
    std::string_view text;
};

constexpr ReasonTexts kReasons[] = {
    {SkipReason::CannotOpen, "cannot-open", "无法打开"},
    {SkipReason::NotRegularFile, "not-regular-file", "不是普通文件"},
    {SkipReason::ReadError, "read-error", "读取出错"},
    {SkipReason::SameFile, "same-file", "与已读取的文件相同"},
    {SkipReason::Empty, "empty", "文件为空"},
    {SkipReason::NotUtf16Text, "not-utf16-text", "不是 UTF-16 文本"},
    {SkipReason::NoTelLine, "no-tel-line", "没有 TEL: 行"},
    {SkipReason::NoLineEnd, "no-line-end", "字段没有行尾"},
    {SkipReason::NoBody, "no-body", "没有 BEGIN:VBODY 行"},
    {SkipReason::NoDate, "no-date", "BEGIN:VBODY 之后没有 Date: 行"},
    {SkipReason::NoBodyEnd, "no-body-end", "没有 END:VBODY"},
    {SkipReason::NoName, "no-name", "名片没有姓名行"},
    {SkipReason::TelLineCut, "tel-line-cut", "电话行不完整"},
    {SkipReason::UnreadableFolder, "unreadable-folder", "无法读取的子目录"},
    {SkipReason::PathTooLong, "path-too-long", "路径太长"},
    {SkipReason::TooLarge, "too-large", "文件太大"},
    {SkipReason::NoBlock, "no-block", "没有 BEGIN:VCARD 或 BEGIN:VMSG 块"},
    {SkipReason::Cut, "cut", "块不完整，缺少 END 行"},
    {SkipReason::BadDate, "bad-date", "日期无法识别"},
    {SkipReason::Draft, "draft", "草稿，未发送"},
    {SkipReason::NumberTooLong, "number-too-long", "号码太长"},
    {SkipReason::MoreCards, "more-cards", "文件中还有更多名片，请用 --modern（读取新式导出）读取"},
    {SkipReason::XmlError, "xml-error", "XML 格式错误"},
    {SkipReason::NotMessageBackup, "not-message-backup", "不是信息备份"},
    {SkipReason::CallLog, "call-log", "通话记录，不是信息"},
    {SkipReason::EncryptedBackup, "encrypted-backup",
     "备份已加密，请先在 iTunes/Finder 中关闭加密再备份"},
    {SkipReason::NotMessageDatabase, "not-message-database", "不是短信数据库"},
    {SkipReason::DamagedDatabase, "damaged-database", "数据库已损坏"},
    {SkipReason::TooSlow, "too-slow", "读取耗时过长，已停止"},
    {SkipReason::NoText, "no-text", "没有文字或附件"},
    {SkipReason::AttachmentMissing, "attachment-missing", "附件不在备份中"},
    {SkipReason::AttachmentDamaged, "attachment-damaged", "附件已损坏或无法读取"},
};

const ReasonTexts& Find(SkipReason reason) {
    for (const ReasonTexts& entry : kReasons) {
        if (entry.reason == reason) {
            return entry;
        }
    }
    return kReasons[0];
}

struct StageTexts {
    RunFailure::Stage stage;
    std::string_view name;
};

constexpr StageTexts kStages[] = {
    {RunFailure::Stage::None, "none"},
    {RunFailure::Stage::EmptyOutputPath, "empty-output-path"},
    {RunFailure::Stage::MessageFolderMissing, "message-folder-missing"},
    {RunFailure::Stage::MessageFolderNotFolder, "message-folder-not-folder"},
    {RunFailure::Stage::MessageFolderUnreadable, "message-folder-unreadable"},
    {RunFailure::Stage::ContactsFolderMissing, "contacts-folder-missing"},
    {RunFailure::Stage::ContactsFolderNotFolder, "contacts-folder-not-folder"},
    {RunFailure::Stage::ContactsFolderUnreadable, "contacts-folder-unreadable"},
    {RunFailure::Stage::OutputIsInput, "output-is-input"},
    {RunFailure::Stage::OutputProtected, "output-protected"},
    {RunFailure::Stage::NoTemporaryFile, "no-temporary-file"},
    {RunFailure::Stage::OpenOutput, "open-output"},
    {RunFailure::Stage::WriteOutput, "write-output"},
    {RunFailure::Stage::ReplaceOutput, "replace-output"},
    {RunFailure::Stage::ReportIsArchive, "report-is-archive"},
    {RunFailure::Stage::WriteReport, "write-report"},
    {RunFailure::Stage::ReplaceReport, "replace-report"},
    {RunFailure::Stage::Cancelled, "cancelled"},
    {RunFailure::Stage::OutputNotArchiveFolder, "output-not-archive-folder"},
    {RunFailure::Stage::OutputInsideInput, "output-inside-input"},
    {RunFailure::Stage::InputInsideOutput, "input-inside-output"},
    {RunFailure::Stage::ReportInArchiveFolder, "report-in-archive-folder"},
};

std::string WithError(std::string text, int systemError) {
    if (systemError != 0) {
        text.append("：").append(platform::SystemErrorText(systemError));
    }
    return text;
}

}  // namespace

std::string_view SkipReasonName(SkipReason reason) {
    return Find(reason).name;
}

std::string_view SkipReasonText(SkipReason reason) {
    return Find(reason).text;
}

std::string_view FailureStageName(RunFailure::Stage stage) {
    for (const StageTexts& entry : kStages) {
        if (entry.stage == stage) {
            return entry.name;
        }
    }
    return "none";
}

std::string DescribeSkip(const SkippedFile& file, const SkippedItems* items) {
    std::string text(SkipReasonText(items != nullptr ? items->reason : *file.reason));
    if (items == nullptr) {
        text = WithError(std::move(text), file.systemError);
    }
    if (const std::string& detail = items != nullptr ? items->detail : file.detail;
        !detail.empty()) {
        text.append("（").append(PrintableText(detail)).append("）");
    }
    return text;
}

std::string DescribeFailure(const RunFailure& failure) {
    using Stage = RunFailure::Stage;
    // Said to a person, on a terminal or in a dialog.
    const std::string path = PrintableText(DisplayPath(failure.path));
    switch (failure.stage) {
        case Stage::None:
            return {};
        case Stage::EmptyOutputPath:
            return "输出路径不能为空！";
        case Stage::MessageFolderMissing:
            return "信息目录不存在：" + path;
        case Stage::MessageFolderNotFolder:
            return "信息目录不是文件夹：" + path;
        case Stage::MessageFolderUnreadable:
            return WithError("无法读取信息目录 " + path, failure.systemError);
        case Stage::ContactsFolderMissing:
            return "联系人目录不存在：" + path;
        case Stage::ContactsFolderNotFolder:
            return "联系人目录不是文件夹：" + path;
        case Stage::ContactsFolderUnreadable:
            return WithError("无法读取联系人目录 " + path, failure.systemError);
        case Stage::OutputIsInput:
            return "输出文件是要读取的输入文件，未写入：" + path;
        case Stage::OutputProtected:
            return WithError("输出文件不允许写入，未替换 " + path, failure.systemError);
        case Stage::NoTemporaryFile:
            return WithError("无法在目录 " + path + " 中创建临时文件", failure.systemError);
        case Stage::OpenOutput:
            return WithError("无法创建输出文件 " + path, failure.systemError);
        case Stage::WriteOutput:
            return WithError("无法写入输出文件 " + path, failure.systemError);
        case Stage::ReplaceOutput:
            return WithError("无法替换输出文件 " + path, failure.systemError);
        case Stage::ReportIsArchive:
            return "报告文件不能是输出文件：" + path;
        case Stage::WriteReport:
            return WithError("无法写入报告文件 " + path + "，文档未写入", failure.systemError);
        case Stage::ReplaceReport:
            return WithError("文档已写入，但无法写入报告文件 " + path, failure.systemError);
        case Stage::Cancelled:
            return "生成已停止，输出文件保持原样";
        case Stage::OutputNotArchiveFolder:
            return "输出位置已有文件或不是 Quillbox 写的文件夹，未改动：" + path;
        case Stage::OutputInsideInput:
            return "存档文件夹不能在要读取的目录中：" + path;
        case Stage::InputInsideOutput:
            return "要读取的目录在存档文件夹中：" + path;
        case Stage::ReportInArchiveFolder:
            return "报告文件不能写在存档文件夹中：" + path;
    }
    return {};
}

namespace {

// Controls, bidi controls and the line separators are escaped too, so that the report is safe to
// print on a terminal; malformed bytes become U+FFFD.
void AppendJsonString(std::string& out, std::string_view text) {
    constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    while (!text.empty()) {
        const char c = text.front();
        char32_t cp = 0;
        if (platform::IsAsciiByte(c)) {
            text.remove_prefix(1);
            cp = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                out.push_back('\\');
            }
        } else {
            cp = platform::TakeCodePoint(text);
            cp = platform::IsEscape(cp) ? platform::kReplacement : cp;
        }
        if (IsActingCharacter(cp)) {
            out.append("\\u");
            for (int shift = 12; shift >= 0; shift -= 4) {
                out.push_back(kHex[(cp >> shift) & 0xF]);
            }
        } else {
            platform::AppendCodePoint(out, cp);
        }
    }
    out.push_back('"');
}

// The bytes of a name the system spells in bytes, when they are no UTF-8.
template <typename Char>
void AppendHexWhereUndisplayable(std::string& out, std::basic_string_view<Char> native,
                                 std::string_view display) {
    if constexpr (sizeof(Char) == 1) {
        if (display != std::string_view(native.data(), native.size())) {
            constexpr char kHex[] = "0123456789abcdef";
            out.append(", \"path_hex\": \"");
            for (const auto c : native) {
                const auto byte = static_cast<unsigned char>(c);
                out.push_back(kHex[byte >> 4]);
                out.push_back(kHex[byte & 0xF]);
            }
            out.push_back('"');
        }
    }
}

void AppendPath(std::string& out, const std::filesystem::path& path) {
    const std::string display = DisplayPath(path);
    out.append("\"path\": ");
    AppendJsonString(out, display);
    AppendHexWhereUndisplayable(out, platform::NativeView(path.native()), display);
}

void AppendSkip(std::string& out, bool& first, const SkippedFile& file, SkipReason reason,
                const SkippedItems* items) {
    out.append(first ? "{" : ", {");
    first = false;
    AppendPath(out, file.path);
    out.append(", \"reason\": ");
    AppendJsonString(out, SkipReasonName(reason));
    if (items != nullptr) {
        out.append(", \"index\": ").append(std::to_string(items->index));
        out.append(", \"count\": ").append(std::to_string(items->count));
    } else if (file.systemError != 0) {
        out.append(", \"error\": ");
        AppendJsonString(out, platform::SystemErrorText(file.systemError));
    }
    // Where in the file, or what a library said: an XML error's line and column.
    if (const std::string& detail = items != nullptr ? items->detail : file.detail;
        !detail.empty()) {
        out.append(", \"detail\": ");
        AppendJsonString(out, detail);
    }
    out.push_back('}');
}

void AppendFiles(std::string& out, const RunReport::Files& files) {
    out.append("\"found\": ").append(std::to_string(files.found));
    out.append(", \"read\": ").append(std::to_string(files.read));
    out.append(", \"skipped\": [");
    bool first = true;
    for (const SkippedFile& file : files.skipped) {
        if (file.reason) {
            AppendSkip(out, first, file, *file.reason, nullptr);
        }
        for (const SkippedItems& items : file.items) {
            AppendSkip(out, first, file, items.reason, &items);
        }
    }
    out.push_back(']');
}

}  // namespace

SkipCounts CountSkips(const RunReport::Files& files) {
    SkipCounts counts;
    for (const SkippedFile& file : files.skipped) {
        counts.files += file.reason ? 1u : 0u;
        for (const SkippedItems& items : file.items) {
            const bool attachment = items.reason == SkipReason::AttachmentMissing ||
                                    items.reason == SkipReason::AttachmentDamaged;
            (attachment ? counts.attachments : counts.items) += items.count;
        }
    }
    return counts;
}

std::string ReportAsJson(const RunReport& report) {
    std::string out = "{\"ok\": ";
    out.append(report.ok ? "true" : "false");
    out.append(", \"messages\": {");
    AppendFiles(out, report.messages);
    if (report.messages.filtered) {
        out.append(", \"filtered\": ").append(std::to_string(*report.messages.filtered));
    }
    if (report.messages.duplicates) {
        out.append(", \"duplicates\": ").append(std::to_string(*report.messages.duplicates));
    }
    if (report.messages.reactions != 0) {
        out.append(", \"reactions\": ").append(std::to_string(report.messages.reactions));
    }
    out.append("}, \"cards\": {");
    AppendFiles(out, report.cards);
    out.append(", \"entries\": ").append(std::to_string(report.contactEntries));
    out.append("}, \"archive\": {");
    AppendPath(out, report.archivePath);
    out.append(", \"bytes\": ").append(std::to_string(report.bytesWritten));
    out.append(", \"entries\": ").append(std::to_string(report.entriesWritten));
    if (report.folder) {
        for (const auto& [key, names] : {std::pair{"pages", &report.folder->pages},
                                         std::pair{"media", &report.folder->media}}) {
            out.append(", \"").append(key).append("\": [");
            for (std::size_t i = 0; i < names->size(); ++i) {
                out.append(i == 0 ? "" : ", ");
                AppendJsonString(out, (*names)[i]);
            }
            out.push_back(']');
        }
        if (!report.folder->keptOld.empty()) {
            out.append(", \"kept_old\": {");
            AppendPath(out, report.folder->keptOld);
            out.push_back('}');
        }
    }
    out.push_back('}');
    if (!report.timeZone.empty()) {
        out.append(", \"time_zone\": ");
        AppendJsonString(out, report.timeZone);
    }
    if (!report.sources.empty()) {
        out.append(", \"sources\": [");
        for (std::size_t i = 0; i < report.sources.size(); ++i) {
            out.append(i == 0 ? "{" : ", {");
            AppendPath(out, report.sources[i].path);
            out.append(", \"name\": ");
            AppendJsonString(out, report.sources[i].name);
            out.push_back('}');
        }
        out.push_back(']');
    }
    if (!report.ok) {
        out.append(", \"error\": {\"stage\": ");
        AppendJsonString(out, FailureStageName(report.failure.stage));
        out.append(", \"reason\": ");
        AppendJsonString(out, DescribeFailure(report.failure));
        out.append(", ");
        AppendPath(out, report.failure.path);
        out.push_back('}');
    }
    out.append("}\n");
    return out;
}

std::string DisplayPath(const std::filesystem::path& path) {
    return platform::DisplayPath(path.native());
}

}  // namespace quillbox
