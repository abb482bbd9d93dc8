// SPDX-License-Identifier: MIT
#include "run/archive_folder_output.h"

#include <algorithm>
#include <string>

#include "write/folder_pages.h"

namespace quillbox {

namespace {

using Stage = RunFailure::Stage;

bool Holds(const std::vector<platform::FileId>& ids, const platform::FileId& id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// Whether path lies below folder by their names alone (neither may be there yet).
bool NamedBelow(const std::filesystem::path& path, const std::filesystem::path& folder) {
    if (path.is_absolute() != folder.is_absolute()) {
        return false;
    }
    const std::filesystem::path relative =
        path.lexically_normal().lexically_relative(folder.lexically_normal());
    return !relative.empty() && *relative.begin() != ".." && relative != ".";
}

// The archive folder and the folders the run reads may not hold each other, whatever names and
// links reach them: replacing the folder would remove what is read, or the run would read its
// own pages.
std::optional<RunFailure> CheckPlaces(const ArchiveRequest& request) {
    const platform::FolderChain output = platform::ChainOf(request.output);
    // The folder's own identity, where it is there already.
    const bool there = output.exists && !output.ids.empty();
    const platform::FileId outputId = there ? output.ids.front() : platform::FileId{};
    for (const std::filesystem::path* folder : {&request.messageFolder, &request.contactsFolder}) {
        if (folder->empty()) {
            continue;
        }
        const platform::FolderChain input = platform::ChainOf(*folder);
        if (input.ids.empty()) {
            continue;
        }
        if (Holds(output.ids, input.ids.front())) {
            return RunFailure{Stage::OutputInsideInput, 0, *folder};
        }
        if (there && Holds(input.ids, outputId)) {
            return RunFailure{Stage::InputInsideOutput, 0, *folder};
        }
    }
    if (!request.report.empty() && request.report != "-") {
        const platform::FolderChain report = platform::ChainOf(request.report);
        if ((there && Holds(report.ids, outputId)) || NamedBelow(request.report, request.output)) {
            return RunFailure{Stage::ReportInArchiveFolder, 0, request.report};
        }
    }
    return std::nullopt;
}

}  // namespace

RunFailure ArchiveFolderOutput::FolderFailure(const ArchiveRequest& request) const {
    switch (folder_.LastFailure()) {
        case platform::ArchiveFolder::Failure::NotArchiveFolder:
            return {Stage::OutputNotArchiveFolder, folder_.LastError(), request.output};
        case platform::ArchiveFolder::Failure::NoTemporary:
            return {Stage::NoTemporaryFile, folder_.LastError(), folder_.FailurePath()};
        case platform::ArchiveFolder::Failure::Replace:
            return {Stage::ReplaceOutput, folder_.LastError(), request.output};
        case platform::ArchiveFolder::Failure::Write:
        case platform::ArchiveFolder::Failure::None:
            break;
    }
    return {Stage::WriteOutput, folder_.LastError(), request.output};
}

std::optional<RunFailure> ArchiveFolderOutput::Open(const ArchiveRequest& request) {
    if (auto refused = CheckPlaces(request)) {
        return refused;
    }
    if (!folder_.Open(request.output) || !folder_.MakeFolder(kMediaFolder) ||
        !folder_.MakeFolder(kConversationsFolder)) {
        return FolderFailure(request);
    }
    platform::NativeString media(folder_.Path());
    media += platform::NativeFromUtf8(kMediaFolder);
    media += platform::kPathSeparator;
    media_.emplace(std::move(media));
    return std::nullopt;
}

std::optional<RunFailure> ArchiveFolderOutput::Write(const ArchiveRequest& request,
                                                     MessageStore& messages, ContactBook& book,
                                                     RunReport& report) {
    if (media_->Failed()) {
        return RunFailure{Stage::WriteOutput, media_->LastError(), request.output};
    }
    const FolderLayout layout{{request.order, request.input == InputFormat::Modern,
                               request.encoding != ArchiveEncoding::Gbk},
                              request.encoding,
                              request.form != ArchiveForm::Text};
    FolderPages pages;
    if (!WriteFolderPages(folder_.Path(), messages, book, layout, pages)) {
        return RunFailure{Stage::WriteOutput, pages.error, request.output};
    }
    RunReport::Folder contents;
    contents.pages = std::move(pages.names);
    for (const std::string& name : media_->Names()) {
        contents.media.push_back(std::string(kMediaFolder) + "/" + name);
    }
    // The readers' threads stored them in any order; the list is the same whatever the threads.
    std::sort(contents.media.begin(), contents.media.end());
    // The marker lists the folders too, so that an old folder is known whole.
    std::vector<std::string> listed{std::string(kConversationsFolder) + "/",
                                    std::string(kMediaFolder) + "/"};
    listed.insert(listed.end(), contents.pages.begin(), contents.pages.end());
    listed.insert(listed.end(), contents.media.begin(), contents.media.end());
    if (!folder_.Finish(listed)) {
        return FolderFailure(request);
    }
    report.bytesWritten = pages.bytes + media_->Bytes();
    report.folder = std::move(contents);
    return std::nullopt;
}

std::optional<RunFailure> ArchiveFolderOutput::Replace(const ArchiveRequest& request,
                                                       RunReport& report) {
    if (!folder_.Replace()) {
        return FolderFailure(request);
    }
    if (report.folder) {
        report.folder->keptOld = folder_.KeptAside();
    }
    return std::nullopt;
}

}  // namespace quillbox
