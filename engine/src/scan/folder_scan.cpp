// SPDX-License-Identifier: MIT
#include "scan/folder_scan.h"

#include <unordered_set>

namespace quillbox {

namespace {

// The extension is ASCII; a name's last characters are compared with it unit for unit.
bool HasExtension(platform::NativeView name, std::string_view extension) {
    if (name.size() <= extension.size()) {
        return false;
    }
    const std::size_t start = name.size() - extension.size();
    for (std::size_t i = 0; i < extension.size(); ++i) {
        if (name[start + i] != static_cast<platform::NativeChar>(extension[i])) {
            return false;
        }
    }
    return name[start - 1] == static_cast<platform::NativeChar>('.');
}

}  // namespace

// Fills a FileList during one walk; the second extension's files go after all of the first's.
class FileListBuilder {
public:
    FileListBuilder(FileList& files, std::string_view first, std::string_view second, bool recurse)
        : files_(files), first_(first), second_(second), recurse_(recurse) {}

    void Walk(platform::NativeView folder, const std::optional<platform::FileId>& id) {
        // Through links a tree can lead back to a folder on its own path, or to one folder by
        // many paths: each is entered once.
        if (id && !entered_.insert(*id).second) {
            return;
        }
        platform::NativeString prefix(folder);
        if (!platform::EndsWithSeparator(prefix)) {
            prefix += platform::kPathSeparator;
        }
        bool folderAdded = false;
        std::uint32_t folderIndex = 0;
        platform::NativeString entryPath;
        platform::ListFolder(folder, [&](platform::NativeView name, platform::EntryKind kind,
                                         const std::optional<platform::FileId>& entryId) {
            entryPath.assign(prefix).append(name);
            if (!platform::FitsPathLimit(entryPath)) {
                return;
            }
            if (kind == platform::EntryKind::Folder) {
                if (recurse_) {
                    const auto check = platform::CheckFolder(entryPath);
                    if (check.state == platform::FolderState::Listable) {
                        Walk(entryPath, check.id);
                    }
                }
                return;
            }
            const bool first = HasExtension(name, first_);
            const bool second = HasExtension(name, second_);
            if (!first && !second) {
                return;
            }
            if (!folderAdded) {
                folderAdded = true;
                folderIndex = static_cast<std::uint32_t>(files_.folders_.size());
                files_.folders_.push_back(prefix);
            }
            FileList::Entry entry{files_.names_.size(),
                                  folderIndex,
                                  static_cast<std::uint16_t>(name.size()),
                                  kind,
                                  entryId.has_value(),
                                  entryId.value_or(platform::FileId{})};
            files_.names_.append(name);
            if (first) {
                files_.entries_.push_back(entry);
            }
            if (second) {
                seconds_.push_back(entry);
            }
        });
    }

    void Finish() {
        files_.entries_.insert(files_.entries_.end(), seconds_.begin(), seconds_.end());
        seconds_.clear();
    }

private:
    FileList& files_;
    std::string_view first_;
    std::string_view second_;
    bool recurse_;
    std::vector<FileList::Entry> seconds_;
    std::unordered_set<platform::FileId, platform::FileIdHash> entered_;
};

ListedFile FileList::At(std::size_t index) const {
    const Entry& entry = entries_[index];
    return {folders_[entry.folder],
            platform::NativeView(names_).substr(entry.nameOffset, entry.nameLength), entry.kind,
            entry.hasId ? std::optional<platform::FileId>(entry.id) : std::nullopt};
}

void FileList::PathAt(std::size_t index, platform::NativeString& path) const {
    const Entry& entry = entries_[index];
    path.assign(folders_[entry.folder]).append(names_, entry.nameOffset, entry.nameLength);
}

void FileList::Clear() {
    folders_ = {};
    names_ = {};
    entries_ = {};
}

void CollectFiles(platform::NativeView folder, FileList& files, std::string_view first,
                  std::string_view second, bool recurse) {
    // A folder given with a trailing separator ("dir/", a drive root X:\) is the folder it names.
    const platform::NativeView base = platform::TrimTrailingSeparators(folder);
    if (base.empty()) {
        return;
    }
    FileListBuilder builder(files, first, second, recurse);
    builder.Walk(base, platform::CheckFolder(base).id);
    builder.Finish();
}

}  // namespace quillbox
