// SPDX-License-Identifier: MIT
#include <memory>
#include <span>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "order/contact_book.h"
#include "order/message_store.h"
#include "platform/platform.h"
#include "quillbox/archive.h"
#include "read/time_zone.h"
#include "run/archive_folder_output.h"
#include "run/file_id_set.h"
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

// One generation run, from the checks of its folders to the archive and the report.
class Run {
public:
    Run(const ArchiveRequest& request, RunReport& report, const RunControl& control)
        : request_(request), report_(report), control_(control) {
        settings_.cancel = control.cancel;
    }

    // Makes the archive, whole, beside its place; or says why not.
    bool Generate();
    // Puts the archive and its report in place, both whole before either: the archive first,
    // then the report. Writes the report of a failed run. True when the archive is in place and
    // the report (where one is asked for) too.
    bool Conclude();

private:
    bool Fail(Stage stage, int systemError, std::filesystem::path path) {
        report_.ok = false;
        report_.failure = {stage, systemError, std::move(path)};
        return false;
    }
    bool Fail(const RunFailure& failure) {
        return Fail(failure.stage, failure.systemError, failure.path);
    }

    // Whether the caller stopped the run; then it has failed.
    bool Cancelled() {
        if (!settings_.Cancelled()) {
            return false;
        }
        Fail(Stage::Cancelled, 0, {});
        return true;
    }
    void Tell(RunProgress::Phase phase, std::size_t done, std::size_t total) const {
        if (control_.progress) {
            control_.progress({phase, done, total});
        }
    }

    bool CheckFolder(const std::filesystem::path& folder, Stage missing, Stage notFolder,
                     Stage unreadable);
    bool CheckInputs();
    void ListInputs(FileList& cards, FileList& messages) const;
    void Skip(const FileList& list, std::size_t index, SkipReason reason, int systemError,
              RunReport::Files& tally);
    // Whether an input's outcome counts: false, with a skip in the tally, when it could not be
    // read or is one already read under another name; false and the run failed when it is the
    // output itself.
    bool Accept(const FileList& list, std::size_t index, const InputOutcome& outcome,
                FileIdSet& seen, RunReport::Files& tally);
    // Reads the inputs in list order whatever the threads: their cards into the book, their
    // messages into the store.
    bool ReadInputs(const FileList& list, RunReport::Files& tally, ContactBook& book,
                    MessageStore& messages);
    // Leaves out the messages outside --since/--until, then the repeated ones.
    void Select(MessageStore& messages);
    bool WriteArchive(MessageStore& messages, ContactBook& book);
    // With --split: the archive folder, made beside its place before anything is read, so that
    // the readers put the attachments straight into it.
    bool OpenFolder();
    // Puts the finished archive or archive folder in place.
    bool PutInPlace();
    void Discard() {
        archive_.reset();
        folder_.reset();
    }
    // Whether the report goes where the run failed because of it (it would be the archive or
    // an input): then it is not written.
    bool ReportRefused() const;
    // The report, finished beside its place, into file; false with the run failed when not.
    bool FinishReport(platform::ArchiveFile& file);

    unsigned Jobs() const {
        return request_.jobs != 0 ? request_.jobs : platform::UsableProcessors();
    }

    const ArchiveRequest& request_;
    RunReport& report_;
    const RunControl& control_;
    std::size_t filesFound_ = 0;
    std::size_t filesRead_ = 0;
    std::unique_ptr<FileSink> archive_;            // finished, until it is put in place
    std::unique_ptr<ArchiveFolderOutput> folder_;  // the same, of an archive folder
    ReadSettings settings_;
    // The names backups give their numbers, in reading order; the cards name a number first.
    std::vector<ContactEntry> backupNames_;
    std::optional<platform::FileId> outputId_;
    std::optional<platform::FileId> reportId_;
    bool outputIsInput_ = false;
    bool readInstants_ = false;  // a backup's instants were read: the report names the zone
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

bool Run::CheckInputs() {
    // Nothing is read, let alone written, before both folders are known to be there.
    if (!CheckFolder(request_.messageFolder, Stage::MessageFolderMissing,
                     Stage::MessageFolderNotFolder, Stage::MessageFolderUnreadable)) {
        return false;
    }
    if (!request_.contactsFolder.empty() &&
        !CheckFolder(request_.contactsFolder, Stage::ContactsFolderMissing,
                     Stage::ContactsFolderNotFolder, Stage::ContactsFolderUnreadable)) {
        return false;
    }
    outputId_ = platform::IdentifyOutput(request_.output);
    if (!request_.report.empty()) {
        reportId_ = platform::IdentifyOutput(request_.report);
        // One file under two names, or two names for the file the archive will be.
        const auto output = platform::ResolveDestination(request_.output);
        const auto report = platform::ResolveDestination(request_.report);
        if (request_.report == request_.output || (reportId_ && reportId_ == outputId_) ||
            (output && report && platform::SameDestination(*output, *report))) {
            return Fail(Stage::ReportIsArchive, 0, request_.report);
        }
    }
    return true;
}

void Run::ListInputs(FileList& cards, FileList& messages) const {
    // Lower-case extensions come first, then upper-case ones, then (today's exports) any other
    // letter case and the newer extensions.
    static constexpr Extension kModernCards[] = {{"vcf", InputKind::VCardFile},
                                                 {"vcard", InputKind::VCardFile}};
    static constexpr Extension kModernMessages[] = {{"vmg", InputKind::VMessageFile},
                                                    {"vmsg", InputKind::VMessageFile},
                                                    {"xml", InputKind::AndroidBackup}};
    // An iPhone's message store, bare (a Mac's too), and the backups that iTunes and Finder
    // make: a folder with Manifest.db, or before iOS 10 Manifest.mbdb.
    static constexpr NamedFile kDatabases[] = {{"sms.db", InputKind::IphoneDatabase},
                                               {"chat.db", InputKind::IphoneDatabase}};
    static constexpr NamedFile kBackups[] = {{"Manifest.db", InputKind::IphoneBackup},
                                             {"Manifest.mbdb", InputKind::IphoneBackup}};
    // A classic run notes, by name alone, what of the message folder --modern would read.
    static constexpr Extension kModernOnly[] = {{"vmsg", InputKind::VMessageFile},
                                                {"xml", InputKind::AndroidBackup}};
    static constexpr NamedFile kModernNames[] = {
        {"sms.db", InputKind::IphoneDatabase},
        {"chat.db", InputKind::IphoneDatabase},
        {"Manifest.db", InputKind::IphoneBackup},
        {"Manifest.mbdb", InputKind::IphoneBackup},
    };
    const bool modern = request_.input == InputFormat::Modern;
    const InputKind card = modern ? InputKind::VCardFile : InputKind::ClassicCard;
    const InputKind message = modern ? InputKind::VMessageFile : InputKind::ClassicMessage;
    if (!request_.contactsFolder.empty()) {
        CollectFiles(
            request_.contactsFolder.native(), cards,
            {{"vcf", card},
             {"VCF", card},
             modern ? std::span<const Extension>(kModernCards) : std::span<const Extension>(),
             request_.recurseContacts});
    }
    if (modern) {
        CollectFiles(request_.messageFolder.native(), messages,
                     {{"vmg", message},
                      {"VMG", message},
                      kModernMessages,
                      request_.recurseMessages,
                      kDatabases,
                      kBackups});
    } else {
        CollectFiles(request_.messageFolder.native(), messages,
                     {{"vmg", message},
                      {"VMG", message},
                      {},
                      request_.recurseMessages,
                      {},
                      {},
                      kModernOnly,
                      kModernNames,
                      kBackups});
    }
}

void Run::Skip(const FileList& list, std::size_t index, SkipReason reason, int systemError,
               RunReport::Files& tally) {
    platform::NativeString path;
    list.PathAt(index, path);
    tally.skipped.push_back({std::filesystem::path(std::move(path)), reason, systemError, {}, {}});
}

bool Run::Accept(const FileList& list, std::size_t index, const InputOutcome& outcome,
                 FileIdSet& seen, RunReport::Files& tally) {
    switch (outcome.open) {
        case platform::InputFile::Outcome::Opened:
            break;
        case platform::InputFile::Outcome::CannotOpen:
            Skip(list, index, SkipReason::CannotOpen, outcome.openError, tally);
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
        if (!seen.Insert(*id)) {
            Skip(list, index, SkipReason::SameFile, 0, tally);
            return false;
        }
    }
    const ReadResult& result = outcome.result;
    report_.modernExports += result.looksModern ? 1u : 0u;
    if (result.refused) {
        Skip(list, index, *result.refused, result.systemError, tally);
        tally.skipped.back().detail = result.detail;
        return false;
    }
    tally.read += result.read;
    tally.reactions += result.reactions;
    readInstants_ = readInstants_ || result.instants;
    if (!result.skipped.empty() || !result.source.empty()) {
        platform::NativeString path;
        list.PathAt(index, path);
        if (!result.source.empty()) {
            report_.sources.push_back({std::filesystem::path(path), result.source});
        }
        if (!result.skipped.empty()) {
            tally.skipped.push_back(
                {std::filesystem::path(std::move(path)), std::nullopt, 0, result.skipped, {}});
        }
    }
    return true;
}

// All cards before the first message; the first card that names a number keeps it.
bool Run::ReadInputs(const FileList& list, RunReport::Files& tally, ContactBook& book,
                     MessageStore& messages) {
    FileIdSet seen(list.Size());
    bool stopped = false;
    ReadFiles(list, settings_, Jobs(), [&](ReadChunk& chunk) {
        // A chunk read after the stop is incomplete.
        if (Cancelled()) {
            stopped = true;
            return false;
        }
        // The chunk's messages are taken whole, blocks and all, unless an input that gave some
        // was refused (a file read under two names): then the others' are copied.
        bool whole = true;
        std::vector<bool> accepted(chunk.inputs.size(), false);
        for (std::size_t i = 0; i < chunk.inputs.size(); ++i) {
            const InputOutcome& outcome = chunk.inputs[i];
            if (!Accept(list, chunk.first + i, outcome, seen, tally)) {
                if (outputIsInput_) {
                    return false;
                }
                whole = whole && outcome.messagesBegin == outcome.messagesEnd;
                continue;
            }
            accepted[i] = true;
            report_.contactEntries += outcome.cardsEnd - outcome.cardsBegin;
            for (std::size_t e = outcome.cardsBegin; e < outcome.cardsEnd; ++e) {
                book.AddEntry(chunk.items.cards.Name(e), chunk.items.cards.Number(e));
            }
            for (std::size_t n = outcome.namesBegin; n < outcome.namesEnd; ++n) {
                backupNames_.push_back(std::move(chunk.items.names[n]));
            }
        }
        filesRead_ += chunk.inputs.size();
        Tell(RunProgress::Phase::Reading, filesRead_, filesFound_);
        if (whole) {
            messages.Absorb(std::move(chunk.items.messages));
            return true;
        }
        for (std::size_t i = 0; i < chunk.inputs.size(); ++i) {
            const InputOutcome& outcome = chunk.inputs[i];
            if (accepted[i]) {
                messages.Append(chunk.items.messages, outcome.messagesBegin, outcome.messagesEnd);
            }
        }
        return true;
    });
    return !outputIsInput_ && !stopped;
}

void Run::Select(MessageStore& messages) {
    if (request_.since || request_.until) {
        report_.messages.filtered = messages.KeepOnly([&](const MessageStore::Message& m) {
            const MessageTime time = m.Time();
            const CalendarDay day{time.year, time.month, time.day};
            return (!request_.since || *request_.since <= day) &&
                   (!request_.until || day <= *request_.until);
        });
    }
    if (request_.dedupe) {
        std::unordered_set<std::string> seen;
        seen.reserve(messages.Size());
        std::string key;
        report_.messages.duplicates = messages.KeepOnly([&](const MessageStore::Message& m) {
            key.assign(1, m.Sent() ? '1' : '0');
            AppendDisplayTime(key, m.Time());
            for (const std::string_view part : {m.Party(), m.Author(), m.Body()}) {
                key.append(std::to_string(part.size())).push_back(':');
                key.append(part);
            }
            return seen.insert(key).second;
        });
    }
}

bool Run::OpenFolder() {
    folder_ = std::make_unique<ArchiveFolderOutput>();
    if (const auto failure = folder_->Open(request_)) {
        folder_.reset();
        return Fail(*failure);
    }
    settings_.media = &folder_->Media();
    return true;
}

bool Run::PutInPlace() {
    if (folder_) {
        const auto failure = folder_->Replace(request_, report_);
        return !failure || Fail(*failure);
    }
    return archive_->Replace() ||
           Fail(Stage::ReplaceOutput, archive_->File().LastError(), request_.output);
}

bool Run::WriteArchive(MessageStore& messages, ContactBook& book) {
    Tell(RunProgress::Phase::Writing, 0, messages.Size());
    if (folder_) {
        if (const auto failure = folder_->Write(request_, messages, book, report_)) {
            return Fail(*failure);
        }
        if (Cancelled()) {
            return false;
        }
        report_.entriesWritten = messages.Size();
        return true;
    }
    archive_ = std::make_unique<FileSink>(control_.cancel);
    FileSink& sink = *archive_;
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
    EncodingSink out(sink, request_.encoding);
    const ArchiveLayout layout{request_.order, request_.input == InputFormat::Modern,
                               request_.encoding != ArchiveEncoding::Gbk};
    const std::string_view charset = CharsetLabel(request_.encoding);
    switch (request_.form) {
        case ArchiveForm::Text:
            WriteTextArchive(out, messages, book, layout);
            break;
        case ArchiveForm::ClassicHtml:
            // The classic page has always been labelled gb2312.
            WriteHtmlArchive(out, messages, book, layout,
                             request_.encoding == ArchiveEncoding::Gbk ? "gb2312" : charset);
            break;
        case ArchiveForm::ModernPage:
            WriteModernPage(out, messages, book, layout, charset);
            break;
    }
    if (!sink.Finish()) {
        if (Cancelled()) {
            return false;
        }
        return Fail(Stage::WriteOutput, sink.File().LastError(), request_.output);
    }
    report_.bytesWritten = sink.BytesWritten();
    report_.entriesWritten = messages.Size();
    return true;
}

bool Run::Generate() {
    report_ = {};
    report_.archivePath = request_.output;
    if (request_.output.empty()) {
        return Fail(Stage::EmptyOutputPath, 0, {});
    }
    if (!CheckInputs()) {
        return false;
    }
    settings_.zone = request_.timeZone.empty()
                         ? TimeZone::Local()
                         : TimeZone::FromName(request_.timeZone).value_or(TimeZone::Local());
    if (request_.split && !OpenFolder()) {
        return false;
    }
    FileList cardFiles;
    FileList messageFiles;
    ListInputs(cardFiles, messageFiles);
    report_.modernExports = messageFiles.Noted();
    report_.cards.found = cardFiles.Size();
    report_.messages.found = messageFiles.Size();
    filesFound_ = cardFiles.Size() + messageFiles.Size();
    Tell(RunProgress::Phase::Reading, 0, filesFound_);
    // What the scan could not list is reported as the files it could not read are.
    for (auto [files, tally] :
         {std::pair{&cardFiles, &report_.cards}, std::pair{&messageFiles, &report_.messages}}) {
        tally->skipped.insert(tally->skipped.end(), files->Skipped().begin(),
                              files->Skipped().end());
    }

    ContactBook book;
    MessageStore messages;
    if (!ReadInputs(cardFiles, report_.cards, book, messages)) {
        return false;
    }
    cardFiles.Clear();
    messages.Reserve(messageFiles.Size());
    if (!ReadInputs(messageFiles, report_.messages, book, messages)) {
        return false;
    }
    messageFiles.Clear();
    if (readInstants_) {
        report_.timeZone = settings_.zone.Name();
    }
    for (const ContactEntry& entry : backupNames_) {
        book.AddEntry(entry.name, entry.number);
    }
    backupNames_ = {};
    if (Cancelled()) {
        return false;
    }
    Select(messages);
    if (Cancelled() || !WriteArchive(messages, book)) {
        return false;
    }
    report_.ok = true;
    return true;
}

bool Run::ReportRefused() const {
    return report_.failure.stage == Stage::ReportIsArchive ||
           report_.failure.stage == Stage::ReportInArchiveFolder ||
           (report_.failure.stage == Stage::OutputIsInput && reportId_ &&
            platform::IdentifyOutput(report_.failure.path) == reportId_);
}

bool Run::FinishReport(platform::ArchiveFile& file) {
    if (!file.Open(request_.report) || !file.Write(ReportAsJson(report_)) || !file.Finish()) {
        if (report_.ok) {
            report_.ok = false;
            report_.bytesWritten = 0;
            report_.failure = {Stage::WriteReport, file.LastError(), request_.report};
        }
        return false;
    }
    return true;
}

bool Run::Conclude() {
    const bool wantsReport = !request_.report.empty() && !ReportRefused();
    platform::ArchiveFile reportFile;
    if (report_.ok && wantsReport && !FinishReport(reportFile)) {
        Discard();  // the archive is not put in place without its report
        return false;
    }
    if (report_.ok && !PutInPlace()) {
        Discard();
        // The report says so instead.
        if (wantsReport && FinishReport(reportFile)) {
            reportFile.Replace();
        }
        return false;
    }
    Discard();
    if (!report_.ok) {
        if (wantsReport && FinishReport(reportFile)) {
            reportFile.Replace();
        }
        return false;
    }
    if (wantsReport && !reportFile.Replace()) {
        report_.ok = false;
        report_.failure = {Stage::ReplaceReport, reportFile.LastError(), request_.report};
        return false;
    }
    return true;
}

}  // namespace

bool KnowsTimeZone(std::string_view name) {
    return TimeZone::FromName(name).has_value();
}

bool GenerateArchive(const ArchiveRequest& request, RunReport* report, const RunControl& control) {
    RunReport own;
    Run run(request, report != nullptr ? *report : own, control);
    run.Generate();
    return run.Conclude();
}

}  // namespace quillbox
