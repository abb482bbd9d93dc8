#include "folder_scan.h"

#include <algorithm>
#include <span>

#include "quillbox/text.h"

namespace quillbox {

namespace {

bool HasExtension(std::string_view path, std::string_view extension) {
    if (extension == "*") {
        return true;
    }
    return path.size() > extension.size() && path.ends_with(extension) &&
           path[path.size() - extension.size() - 1] == '.';
}

// HasExtension of folder + name.
bool HasExtension(std::string_view folder, std::string_view name, std::string_view extension) {
    if (extension == "*" || name.size() > extension.size()) {
        return HasExtension(name, extension);
    }
    std::string path(folder);
    path.append(name);
    return HasExtension(path, extension);
}

}  // namespace

// One depth-first walk that sorts each file into the list of the first extension it has.
class FolderScan {
public:
    FolderScan(FileList& files, std::span<const std::string_view> extensions, bool recurse)
        : files_(files), extensions_(extensions), found_(extensions.size()), recurse_(recurse) {}

    bool Collect(const std::string& folder);

    // The entries found, the first extension's before the second's.
    void Finish() {
        for (auto& entries : found_) {
            if (files_.entries_.empty()) {
                files_.entries_ = std::move(entries);
            } else {
                files_.entries_.insert(files_.entries_.end(), entries.begin(), entries.end());
            }
            entries = {};
        }
    }

private:
    FileList& files_;
    std::span<const std::string_view> extensions_;
    std::vector<std::vector<FileList::Entry>> found_;
    bool recurse_;
    std::vector<platform::FolderId> descent_;
};

bool FolderScan::Collect(const std::string& folder) {
    const auto wideFolder = WidenText(folder);
    if (!wideFolder) {
        return false;
    }
    // A folder given with a trailing separator ("dir/", a drive root X:\) is the folder it names.
    const std::u16string_view base = platform::TrimTrailingSeparators(*wideFolder);
    if (base.empty() || !platform::PathExists(base)) {
        return false;
    }

    // Through a link back to a parent the tree never ends: a folder already on this descent
    // is not entered again.
    const auto id = platform::IdentifyFolder(base);
    if (id && std::find(descent_.begin(), descent_.end(), *id) != descent_.end()) {
        return true;
    }
    if (id) {
        descent_.push_back(*id);
    }

    std::u16string prefix(base);
    if (!platform::EndsWithSeparator(prefix)) {
        prefix += platform::kPathSeparator;
    }
    // The conversion to code page 936 goes unit by unit and ends at a zero unit, so a path's
    // narrow form is the folder's followed by the name's, or the folder's alone after a zero.
    const auto narrowFolder = NarrowText(prefix);
    const std::string narrowPrefix = narrowFolder.value_or(std::string());
    const bool prefixEnds = prefix.find(u'\0') != std::u16string::npos;
    std::uint32_t folderIndex = 0;
    bool folderAdded = false;

    std::u16string entryPath;
    std::vector<char> narrowName;
    platform::ListFolder(base, [&](std::u16string_view name, platform::EntryKind kind) {
        entryPath.assign(prefix).append(name);
        if (!platform::FitsPathLimit(entryPath) || !narrowFolder) {
            return;
        }
        std::string_view narrow;
        if (!prefixEnds) {
            // No unit needs more than two bytes in code page 936.
            narrowName.resize(name.size() * 2 + 1);
            const auto length = platform::Utf16ToOem(name, narrowName);
            if (!length) {
                return;
            }
            narrow = std::string_view(narrowName.data(), *length);
        }
        if (kind == platform::EntryKind::Folder) {
            if (recurse_) {
                std::string subfolder(narrowPrefix);
                subfolder.append(narrow);
                Collect(subfolder);
            }
            return;
        }
        std::size_t nameOffset = std::string::npos;
        for (std::size_t k = 0; k < extensions_.size(); ++k) {
            if (!HasExtension(narrowPrefix, narrow, extensions_[k])) {
                continue;
            }
            if (!folderAdded) {
                folderIndex = static_cast<std::uint32_t>(files_.folders_.size());
                files_.folders_.push_back(narrowPrefix);
                folderAdded = true;
            }
            if (nameOffset == std::string::npos) {
                nameOffset = files_.names_.size();
                files_.names_.append(narrow);
            }
            found_[k].push_back(
                {nameOffset, folderIndex, static_cast<std::uint16_t>(narrow.size()), kind});
        }
    });

    if (id) {
        descent_.pop_back();
    }
    return true;
}

void FileList::PathAt(std::size_t index, std::string& path) const {
    const Entry& entry = entries_[index];
    path.assign(folders_[entry.folder]).append(names_, entry.nameOffset, entry.nameLength);
}

void FileList::Clear() {
    folders_ = {};
    names_ = {};
    entries_ = {};
}

bool CollectFiles(const std::string& folder, FileList& files, std::string_view first,
                  std::string_view second, bool recurse) {
    const std::string_view extensions[] = {first, second};
    FolderScan scan(files, extensions, recurse);
    const bool found = scan.Collect(folder);
    scan.Finish();
    return found;
}

bool CollectFiles(std::string folder, std::vector<std::string>& files, std::string extension,
                  bool recurse) {
    FileList list;
    const std::string_view extensions[] = {extension};
    FolderScan scan(list, extensions, recurse);
    const bool found = scan.Collect(folder);
    scan.Finish();
    files.reserve(files.size() + list.Size());
    for (std::size_t i = 0; i < list.Size(); ++i) {
        list.PathAt(i, files.emplace_back());
    }
    return found;
}

}  // namespace quillbox
