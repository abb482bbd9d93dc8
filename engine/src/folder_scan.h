#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace quillbox {

// Appends the code page 936 path of every file below folder whose name ends in "." and the
// extension (byte for byte; "*" takes every file), depth-first in the platform's listing order.
// False when the folder cannot be named in UTF-16 or does not exist.
bool CollectFiles(std::string folder, std::vector<std::string>& files, std::string extension,
                  bool recurse);

// A file of a FileList: its path is folder + name.
struct ListedFile {
    std::string_view folder;
    std::string_view name;
    platform::EntryKind kind;  // what the folder listing said it is
};

// Paths as a scan finds them, kept compactly: each folder's path once and the file names after
// it, so that a long list takes little more than its names.
class FileList {
public:
    std::size_t Size() const { return entries_.size(); }
    // The code page 936 path of the index-th file, into path.
    void PathAt(std::size_t index, std::string& path) const;
    ListedFile At(std::size_t index) const {
        const Entry& entry = entries_[index];
        return {folders_[entry.folder],
                std::string_view(names_).substr(entry.nameOffset, entry.nameLength), entry.kind};
    }
    // Frees the storage.
    void Clear();

private:
    friend bool CollectFiles(const std::string& folder, FileList& files, std::string_view first,
                             std::string_view second, bool recurse);

    struct Entry {
        std::size_t nameOffset = 0;
        std::uint32_t folder = 0;
        std::uint16_t nameLength = 0;  // a name within the platform's path limit
        platform::EntryKind kind = platform::EntryKind::Unchecked;
    };

    std::vector<std::string> folders_;
    std::string names_;
    std::vector<Entry> entries_;
};

// The files CollectFiles(folder, ..., first) and then CollectFiles(folder, ..., second) would
// append, in that order, with every folder listed once.
bool CollectFiles(const std::string& folder, FileList& files, std::string_view first,
                  std::string_view second, bool recurse);

}  // namespace quillbox
