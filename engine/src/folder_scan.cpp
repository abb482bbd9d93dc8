#include "folder_scan.h"

#include <algorithm>
#include <functional>
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

// A file the walk found: folder + name is its path, and bit k of extensions is set when it has
// the k-th extension asked for. Files of one folder share its serial number.
struct FoundFile {
    std::size_t folderSerial;
    const std::string& folder;
    std::string_view name;
    platform::EntryKind kind;
    std::uint32_t extensions;
};

// One depth-first walk for up to 32 extensions at once.
class FolderScan {
public:
    using Visitor = std::function<void(const FoundFile&)>;

    FolderScan(std::span<const std::string_view> extensions, bool recurse, Visitor visit)
        : extensions_(extensions), recurse_(recurse), visit_(std::move(visit)) {}

    bool Collect(const std::string& folder);

private:
    std::span<const std::string_view> extensions_;
    bool recurse_;
    Visitor visit_;
    std::size_t folderSerial_ = 0;
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
    const std::size_t serial = folderSerial_++;

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
        std::uint32_t matches = 0;
        for (std::size_t k = 0; k < extensions_.size(); ++k) {
            if (HasExtension(narrowPrefix, narrow, extensions_[k])) {
                matches |= std::uint32_t{1} << k;
            }
        }
        if (matches != 0) {
            visit_({serial, narrowPrefix, narrow, kind, matches});
        }
    });

    if (id) {
        descent_.pop_back();
    }
    return true;
}

}  // namespace

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
    // The second extension's files go after all of the first's.
    std::vector<FileList::Entry> seconds;
    bool inFolder = false;
    std::size_t lastSerial = 0;
    std::uint32_t folderIndex = 0;
    const std::string_view extensions[] = {first, second};
    FolderScan scan(extensions, recurse, [&](const FoundFile& file) {
        if (!inFolder || file.folderSerial != lastSerial) {
            inFolder = true;
            lastSerial = file.folderSerial;
            folderIndex = static_cast<std::uint32_t>(files.folders_.size());
            files.folders_.push_back(file.folder);
        }
        const FileList::Entry entry{files.names_.size(), folderIndex,
                                    static_cast<std::uint16_t>(file.name.size()), file.kind};
        files.names_.append(file.name);
        if ((file.extensions & 1) != 0) {
            files.entries_.push_back(entry);
        }
        if ((file.extensions & 2) != 0) {
            seconds.push_back(entry);
        }
    });
    const bool found = scan.Collect(folder);
    files.entries_.insert(files.entries_.end(), seconds.begin(), seconds.end());
    return found;
}

bool CollectFiles(std::string folder, std::vector<std::string>& files, std::string extension,
                  bool recurse) {
    const std::string_view extensions[] = {extension};
    FolderScan scan(extensions, recurse, [&](const FoundFile& file) {
        std::string& path = files.emplace_back();
        path.reserve(file.folder.size() + file.name.size());
        path.append(file.folder).append(file.name);
    });
    return scan.Collect(folder);
}

}  // namespace quillbox
