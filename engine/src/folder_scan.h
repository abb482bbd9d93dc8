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

// Paths as a scan finds them, kept compactly: each folder's path once and the file names after
// it, so that a long list takes little more than its names.
class FileList {
public:
    std::size_t Size() const { return entries_.size(); }
    // The code page 936 path of the index-th file, into path.
    void PathAt(std::size_t index, std::string& path) const;
    // What the folder listing said the file is.
    platform::EntryKind KindAt(std::size_t index) const { return entries_[index].kind; }
    // Frees the storage.
    void Clear();

private:
    friend class FolderScan;

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
