// SPDX-License-Identifier: MIT
#include <span>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "order/contact_book.h"
#include "order/message_store.h"
#include "platform/platform.h"
#include "quillbox/archive.h"
#include "run/read_files.h"
#include "scan/folder_scan.h"
#include "write/archive_groups.h"
#include "write/byte_sink.h"
#include "write/encoding.h"
#include "write/html_archive.h"
#include "write/modern_page.h"
#include "write/text_archive.h"

namespace quillbox {

namespace {

using Stage = RunFailure::Stage;
using FileIds = std::unordered_set<platform::FileId, platform::FileIdHash>;

// One generation run, from the checks of its folders to the archive and the report.
class Run {
public:
    Run(const ArchiveRequest& request, RunReport& report) : request_(request), report_(report) {}

    bool Generate();
    // Writes the report where the request asks for one; false when it cannot be written.
    bool WriteReport();

private:
    bool Fail(Stage stage, int systemError, std::filesystem::path path) {
        report_.ok = false;
        report_.failure = {stage, systemError, std::move(path)};
        return false;
    }

    bool CheckFolder(const std::filesystem::path& folder, Stage missing, Stage notFolder,
                     Stage unreadable);
    void Skip(const FileList& list, std::size_t index, SkipReason reason, int systemError,
              RunReport::Files& tally, std::optional<std::size_t> block = std::nullopt);
    // Whether a file's outcome counts: false, with a skip in the tally, when it could not be
    // read or is one already read under another name; false and the run failed when it is the
    // output itself.
    bool Accept(const FileList& list, std::size_t index, const FileOutcome& outcome, FileIds& seen,
                RunReport::Files& tally);
    // The reading of the files, in list order whatever the threads.
    bool ReadCards(const FileList& list, TextForm form, ContactBook& book);
    bool ReadMessages(const FileList& list, MessageStore& messages);
    // Leaves out the messages outside --since/--until, then the repeated ones.
    void Select(MessageStore& messages);
    void WriteArchive(ByteSink& out, const MessageStore& messages, ContactBook& book,
                      std::string_view charset) const;

    unsigned Jobs() const {
        return request_.jobs != 0 ? request_.jobs : platform::UsableProcessors();
    }

    const ArchiveRequest& request_;
    RunReport& report_;
    std::optional<platform::FileId> outputId_;
    std::optional<platform::FileId> reportId_;
    bool outputIsInput_ = false;
};

bool Run::CheckFolder(const std::filesystem::path& folder, Stage missing, Stage notFolder,
                      Stage unreadable) {
    const auto check = platform::CheckFolder(platform::TrimTrailingSeparators(folder.native()));
    switch (check.state) {
        case platform::FolderState::Listable:
            return true;
        case platform::FolderState::Missing:
            return Fail(missing, check.systemError, folder);
        case platform::FolderState::NotAFolder:
            return Fail(notFolder, check.systemError, folder);
        case platform::FolderState::Unlistable:
            return Fail(unreadable, check.systemError, folder);
    }
    return true;
}

void Run::Skip(const FileList& list, std::size_t index, SkipReason reason, int systemError,
               RunReport::Files& tally, std::optional<std::size_t> block) {
    platform::NativeString path;
    list.PathAt(index, path);
    tally.skipped.push_back({std::filesystem::path(std::move(path)), reason, systemError, block});
}

bool Run::Accept(const FileList& list, std::size_t index, const FileOutcome& outcome, FileIds& seen,
                 RunReport::Files& tally) {
    switch (outcome.open) {
        case platform::InputFile::Outcome::Opened:
            break;
        case platform::InputFile::Outcome::CannotOpen:
            Skip(list, index, SkipReason::CannotOpen, outcome.systemError, tally);
            return false;
        case platform::InputFile::Outcome::NotRegularFile:
            Skip(list, index, SkipReason::NotRegularFile, 0, tally);
            return false;
    }
    if (const auto& id = outcome.id) {
        if ((outputId_ && *id == *outputId_) || (reportId_ && *id == *reportId_)) {
            platform::NativeString path;
            list.PathAt(index, path);
            outputIsInput_ = true;
            Fail(Stage::OutputIsInput, 0, std::filesystem::path(std::move(path)));
            return false;
        }
        // A file reached under several names (links, a folder seen through two paths) is read
        // under the first.
        if (!seen.insert(*id).second) {
            Skip(list, index, SkipReason::SameFile, 0, tally);
            return false;
        }
    }
    if (outcome.refused) {
        Skip(list, index, *outcome.refused, outcome.systemError, tally);
        return false;
    }
    tally.read += request_.modern ? outcome.tally.read : 1;
    for (const auto& [block, reason] : outcome.tally.skipped) {
        Skip(list, index, reason, 0, tally, block);
    }
    return true;
}

// All cards before the first message; the first card that names a number keeps it.
bool Run::ReadCards(const FileList& list, TextForm form, ContactBook& book) {
    FileIds seen;
    seen.reserve(list.Size());
    ReadFiles(list, {true, request_.modern, form}, Jobs(), [&](ReadChunk& chunk) {
        for (std::size_t i = 0; i < chunk.files.size(); ++i) {
            const FileOutcome& outcome = chunk.files[i];
            if (!Accept(list, chunk.first + i, outcome, seen, report_.cards)) {
                if (outputIsInput_) {
                    return false;
                }
                continue;
            }
            report_.contactEntries += outcome.end - outcome.begin;
            for (std::size_t e = outcome.begin; e < outcome.end; ++e) {
                book.AddEntry(chunk.entries[e]);
            }
        }
        return true;
    });
    return !outputIsInput_;
}

bool Run::ReadMessages(const FileList& list, MessageStore& messages) {
    FileIds seen;
    seen.reserve(list.Size());
    ReadFiles(list, {false, request_.modern, messages.Form()}, Jobs(), [&](ReadChunk& chunk) {
        for (std::size_t i = 0; i < chunk.files.size(); ++i) {
            const FileOutcome& outcome = chunk.files[i];
            if (!Accept(list, chunk.first + i, outcome, seen, report_.messages)) {
                if (outputIsInput_) {
                    return false;
                }
                continue;
            }
            messages.Append(chunk.messages, outcome.begin, outcome.end);
        }
        return true;
    });
    return !outputIsInput_;
}

void Run::Select(MessageStore& messages) {
    if (request_.since || request_.until) {
        report_.messages.filtered = messages.KeepOnly([&](const MessageStore::Message& m) {
            // The day the message shows, not its ordering key, which wraps for odd years.
            const DateParts parts = ReadDateParts(m.DateText(), DateParts{});
            const CalendarDay day{parts.year, parts.month, parts.day};
            return (!request_.since || *request_.since <= day) &&
                   (!request_.until || day <= *request_.until);
        });
    }
    if (request_.dedupe) {
        std::unordered_set<std::string> seen;
        seen.reserve(messages.Messages().size());
        std::string key;
        report_.messages.duplicates = messages.KeepOnly([&](const MessageStore::Message& m) {
            key.assign(1, m.Sent() ? '1' : '0');
            for (const std::string_view part : {m.Sender(), m.DateText(), m.Body()}) {
                key.append(std::to_string(part.size())).push_back(':');
                key.append(part);
            }
            return seen.insert(key).second;
        });
    }
}

void Run::WriteArchive(ByteSink& out, const MessageStore& messages, ContactBook& book,
                       std::string_view charset) const {
    if (request_.html) {
        WriteHtmlArchive(out, messages, book, request_.order, charset);
    } else {
        WriteTextArchive(out, messages, book, request_.order);
    }
}

bool Run::Generate() {
    report_ = {};
    report_.archivePath = request_.output;
    if (request_.output.empty()) {
        return Fail(Stage::EmptyOutputPath, 0, {});
    }
    // Nothing is read, let alone written, before both folders are known to be there.
    if (!CheckFolder(request_.messageFolder, Stage::MessageFolderMissing,
                     Stage::MessageFolderNotFolder, Stage::MessageFolderUnreadable)) {
        return false;
    }
    const bool hasContacts = !request_.contactsFolder.empty();
    if (hasContacts &&
        !CheckFolder(request_.contactsFolder, Stage::ContactsFolderMissing,
                     Stage::ContactsFolderNotFolder, Stage::ContactsFolderUnreadable)) {
        return false;
    }
    const auto encoder = TextEncoder::Create(request_.encoding);
    if (!encoder) {
        return Fail(Stage::NoEncoding, 0, {});
    }
    // The classic archive is code page 936 text from the files to the archive; every other
    // archive is read into UTF-8, so that nothing is lost before it is encoded.
    const TextForm form =
        request_.encoding != ArchiveEncoding::Gbk || request_.page == PageStyle::Modern
            ? TextForm::Utf8
            : TextForm::CodePage936;
    outputId_ = platform::IdentifyOutput(request_.output);
    if (!request_.report.empty()) {
        reportId_ = platform::IdentifyOutput(request_.report);
        if (request_.report == request_.output || (reportId_ && reportId_ == outputId_)) {
            return Fail(Stage::ReportIsArchive, 0, request_.report);
        }
    }

    // Lower-case extensions come first, then upper-case ones, then (today's exports) any other
    // letter case and the newer extensions.
    static constexpr std::string_view kModernCards[] = {"vcard"};
    static constexpr std::string_view kModernMessages[] = {"vmsg"};
    const auto newer = [&](std::span<const std::string_view> extensions) {
        return request_.modern ? extensions : std::span<const std::string_view>();
    };
    FileList cardFiles;
    FileList messageFiles;
    if (hasContacts) {
        CollectFiles(request_.contactsFolder.native(), cardFiles, "vcf", "VCF",
                     request_.recurseContacts, newer(kModernCards));
    }
    CollectFiles(request_.messageFolder.native(), messageFiles, "vmg", "VMG",
                 request_.recurseMessages, newer(kModernMessages));
    report_.cards.found = cardFiles.Size();
    report_.messages.found = messageFiles.Size();

    ContactBook book;
    if (!ReadCards(cardFiles, form, book)) {
        return false;
    }
    cardFiles.Clear();

    MessageStore messages;
    messages.Reserve(messageFiles.Size());
    messages.SetBothDirections(request_.modern);
    messages.SetForm(form);
    if (!ReadMessages(messageFiles, messages)) {
        return false;
    }
    messageFiles.Clear();
    Select(messages);

    FileSink sink;
    if (!sink.Open(request_.output)) {
        const platform::ArchiveFile& file = sink.File();
        switch (file.LastFailure()) {
            case platform::ArchiveFile::Failure::Refused:
                return Fail(Stage::OutputProtected, file.LastError(), request_.output);
            case platform::ArchiveFile::Failure::NoTemporary:
                return Fail(Stage::NoTemporaryFile, file.LastError(), file.FailurePath());
            default:
                return Fail(Stage::OpenOutput, file.LastError(), request_.output);
        }
    }
    messages.Order(request_.order);
    if (request_.page == PageStyle::Modern) {
        WriteModernPage(sink, messages, book, request_.order, *encoder);
    } else if (request_.encoding == ArchiveEncoding::Gb18030) {
        // The store is UTF-8; the writers' bytes are encoded on their way to the file.
        EncodingSink encoded(sink, *encoder);
        WriteArchive(encoded, messages, book, encoder->CharsetLabel());
    } else {
        WriteArchive(sink, messages, book,
                     form == TextForm::Utf8 ? encoder->CharsetLabel() : std::string_view("gb2312"));
    }
    if (!sink.Close()) {
        const platform::ArchiveFile& file = sink.File();
        const Stage stage = file.LastFailure() == platform::ArchiveFile::Failure::Replace
                                ? Stage::ReplaceOutput
                                : Stage::WriteOutput;
        return Fail(stage, file.LastError(), request_.output);
    }
    report_.bytesWritten = sink.BytesWritten();
    report_.entriesWritten = messages.Messages().size();
    report_.ok = true;
    return true;
}

bool Run::WriteReport() {
    if (request_.report.empty() || report_.failure.stage == Stage::ReportIsArchive ||
        (report_.failure.stage == Stage::OutputIsInput && reportId_ &&
         platform::IdentifyOutput(report_.failure.path) == reportId_)) {
        return report_.ok;
    }
    const std::string json = ReportAsJson(report_);
    platform::ArchiveFile file;
    if (!file.Open(request_.report) || !file.Write(json) || !file.Commit()) {
        const bool wasOk = report_.ok;
        report_.ok = false;
        if (wasOk) {
            report_.failure = {Stage::WriteReport, file.LastError(), request_.report};
        }
        return false;
    }
    return report_.ok;
}

}  // namespace

bool GenerateArchive(const ArchiveRequest& request, RunReport* report) {
    RunReport own;
    Run run(request, report != nullptr ? *report : own);
    run.Generate();
    return run.WriteReport();
}

}  // namespace quillbox
