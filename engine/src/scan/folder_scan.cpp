// SPDX-License-Identifier: MIT
#include "scan/folder_scan.h"

#include <algorithm>
#include <unordered_set>

namespace quillbox {

namespace {

platform::NativeChar LowerAscii(platform::NativeChar c) {
    return c >= 'A' && c <= 'Z' ? static_cast<platform::NativeChar>(c - 'A' + 'a') : c;
}

// The extension is ASCII; a name's last characters are compared with it unit for unit.
bool HasExtension(platform::NativeView name, std::string_view extension, bool anyCase = false) {
    if (name.size() <= extension.size()) {
        return false;
    }
    const std::size_t start = name.size() - extension.size();
    for (std::size_t i = 0; i < extension.size(); ++i) {
        const auto wanted = static_cast<platform::NativeChar>(extension[i]);
        const platform::NativeChar got = name[start + i];
        if (anyCase ? LowerAscii(got) != LowerAscii(wanted) : got != wanted) {
            return false;
        }
    }
    return name[start - 1] == static_cast<platform::NativeChar>('.');
}

}  // namespace

// Fills a FileList during one walk; the second extension's files go after all of the first's,
// and the other cases' after those.
class FileListBuilder {
public:
    FileListBuilder(FileList& files, const ScanRules& rules) : files_(files), rules_(rules) {}

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
        if (ListedWhole(prefix)) {
            return;
        }
        bool folderAdded = false;
        std::uint32_t folderIndex = 0;
        platform::NativeString entryPath;
        const bool listed =
            platform::ListFolder(folder, [&](platform::NativeView name, platform::EntryKind kind,
                                             const std::optional<platform::FileId>& entryId) {
                entryPath.assign(prefix).append(name);
                if (kind == platform::EntryKind::Folder) {
                    SubFolder(entryPath);
                    return;
                }
                const bool first = HasExtension(name, rules_.first.name);
                const bool second = HasExtension(name, rules_.second.name);
                const Extension* other = first || second ? nullptr : MatchesAnyCase(name);
                const NamedFile* named =
                    first || second || other != nullptr ? nullptr : Named(name, rules_.names);
                if (!first && !second && other == nullptr && named == nullptr) {
                    files_.noted_ += Noted(name) ? 1u : 0u;
                    return;
                }
                if (!platform::FitsPathLimit(entryPath)) {
                    Skip(entryPath, SkipReason::PathTooLong, 0);
                    return;
                }
                if (!folderAdded) {
                    folderAdded = true;
                    folderIndex = static_cast<std::uint32_t>(files_.folders_.size());
                    files_.folders_.push_back(prefix);
                }
                const InputKind input = first    ? rules_.first.input
                                        : second ? rules_.second.input
                                        : other  ? other->input
                                                 : named->input;
                const FileList::Entry entry{entryId.value_or(platform::FileId{}),
                                            files_.names_.size(),
                                            folderIndex,
                                            static_cast<std::uint16_t>(name.size()),
                                            input,
                                            kind,
                                            entryId.has_value()};
                files_.names_.append(name);
                if (first) {
                    files_.entries_.push_back(entry);
                }
                if (second) {
                    seconds_.push_back(entry);
                }
                if (other != nullptr || named != nullptr) {
                    others_.push_back(entry);
                }
            });
        // A folder the check found listable that then could not be listed (it changed meanwhile).
        if (!listed) {
            Skip(folder, SkipReason::UnreadableFolder, 0);
        }
    }

    void Skip(platform::NativeView path, SkipReason reason, int systemError) {
        files_.skipped_.push_back(
            {std::filesystem::path(platform::NativeString(path)), reason, systemError, {}, {}});
    }

    // A sub-folder: entered when the rules recurse; else looked at only as a backup folder that
    // is one input.
    void SubFolder(platform::NativeString& path) {
        if (!platform::FitsPathLimit(path)) {
            if (rules_.recurse) {
                Skip(path, SkipReason::PathTooLong, 0);
            }
            return;
        }
        if (rules_.recurse) {
            const auto check = platform::CheckFolder(path);
            if (check.state == platform::FolderState::Listable) {
                Walk(path, check.id);
            } else {
                Skip(path, SkipReason::UnreadableFolder, check.systemError);
            }
        } else if (!rules_.notedFolders.empty()) {
            platform::NativeString marker = path;
            marker += platform::kPathSeparator;
            const std::size_t folderLength = marker.size();
            for (const NamedFile& file : rules_.notedFolders) {
                marker.resize(folderLength);
                marker.append(file.name.begin(), file.name.end());
                if (platform::FitsPathLimit(marker) && platform::RegularFileSize(marker)) {
                    ++files_.noted_;
                    break;
                }
            }
        } else if (!rules_.wholeFolders.empty()) {
            const auto check = platform::CheckFolder(path);
            if (check.state == platform::FolderState::Listable &&
                (!check.id || !entered_.contains(*check.id))) {
                path += platform::kPathSeparator;
                if (ListedWhole(path) && check.id) {
                    entered_.insert(*check.id);
                }
            }
        }
    }

    void Finish() {
        files_.entries_.insert(files_.entries_.end(), seconds_.begin(), seconds_.end());
        files_.entries_.insert(files_.entries_.end(), others_.begin(), others_.end());
        seconds_ = {};
        others_ = {};
        // The list is kept while every file is read: without the room its growth left.
        files_.entries_.shrink_to_fit();
        files_.names_.shrink_to_fit();
    }

private:
    static const NamedFile* Named(platform::NativeView name, std::span<const NamedFile> names) {
        const auto found = std::find_if(names.begin(), names.end(), [&](const NamedFile& file) {
            return name.size() == file.name.size() &&
                   std::equal(name.begin(), name.end(), file.name.begin(),
                              [](platform::NativeChar got, char wanted) {
                                  return LowerAscii(got) ==
                                         LowerAscii(static_cast<platform::NativeChar>(wanted));
                              });
        });
        return found != names.end() ? &*found : nullptr;
    }

    // Lists the folder (its path ending in a separator) as one input when it holds a file that
    // makes it one.
    bool ListedWhole(const platform::NativeString& folder) {
        for (const NamedFile& marker : rules_.wholeFolders) {
            platform::NativeString path = folder;
            path.append(marker.name.begin(), marker.name.end());
            if (!platform::FitsPathLimit(path) || !platform::RegularFileSize(path)) {
                continue;
            }
            const auto folderIndex = static_cast<std::uint32_t>(files_.folders_.size());
            files_.folders_.push_back(folder);
            FileList::Entry entry;
            entry.nameOffset = files_.names_.size();
            entry.folder = folderIndex;
            entry.nameLength = static_cast<std::uint16_t>(marker.name.size());
            entry.input = marker.input;
            others_.push_back(entry);
            files_.names_.append(marker.name.begin(), marker.name.end());
            return true;
        }
        return false;
    }

    bool Noted(platform::NativeView name) const {
        return Named(name, rules_.notedNames) != nullptr ||
               std::any_of(rules_.notedExtensions.begin(), rules_.notedExtensions.end(),
                           [&](const Extension& extension) {
                               return HasExtension(name, extension.name, true);
                           });
    }

    const Extension* MatchesAnyCase(platform::NativeView name) const {
        const auto found = std::find_if(
            rules_.anyCase.begin(), rules_.anyCase.end(),
            [&](const Extension& extension) { return HasExtension(name, extension.name, true); });
        return found != rules_.anyCase.end() ? &*found : nullptr;
    }

    FileList& files_;
    const ScanRules& rules_;
    std::vector<FileList::Entry> seconds_;
    std::vector<FileList::Entry> others_;
    std::unordered_set<platform::FileId, platform::FileIdHash> entered_;
};

ListedFile FileList::At(std::size_t index) const {
    const Entry& entry = entries_[index];
    return {folders_[entry.folder],
            platform::NativeView(names_).substr(entry.nameOffset, entry.nameLength), entry.input,
            entry.kind, entry.hasId ? std::optional<platform::FileId>(entry.id) : std::nullopt};
}

void FileList::PathAt(std::size_t index, platform::NativeString& path) const {
    const Entry& entry = entries_[index];
    path.assign(folders_[entry.folder]).append(names_, entry.nameOffset, entry.nameLength);
}

void FileList::Clear() {
    folders_ = {};
    names_ = {};
    entries_ = {};
    skipped_ = {};
    noted_ = 0;
}

void CollectFiles(platform::NativeView folder, FileList& files, const ScanRules& rules) {
    // A folder given with a trailing separator ("dir/", a drive root X:\) is the folder it names.
    const platform::NativeView base = platform::TrimTrailingSeparators(folder);
    if (base.empty()) {
        return;
    }
    FileListBuilder builder(files, rules);
    builder.Walk(base, platform::CheckFolder(base).id);
    builder.Finish();
}

}  // namespace quillbox
