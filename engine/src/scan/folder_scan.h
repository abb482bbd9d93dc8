// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace quillbox {

// A file of a FileList: its path is folder + name.
struct ListedFile {
    platform::NativeView folder;
    platform::NativeView name;
    platform::EntryKind kind;            // what the folder listing said it is
    std::optional<platform::FileId> id;  // what the listing said it is, where it said
};

// Paths as a scan finds them, kept compactly: each folder's path once and the file names after
// it, so that a long list takes little more than its names.
class FileList {
public:
    std::size_t Size() const { return entries_.size(); }
    ListedFile At(std::size_t index) const;
    // The path of the index-th file, into path.
    void PathAt(std::size_t index, platform::NativeString& path) const;
    // Frees the storage.
    void Clear();

private:
    friend class FileListBuilder;

    struct Entry {
        std::size_t nameOffset = 0;
        std::uint32_t folder = 0;
        std::uint16_t nameLength = 0;  // a name within the platform's path limit
        platform::EntryKind kind = platform::EntryKind::Unchecked;
        bool hasId = false;
        platform::FileId id;
    };

    std::vector<platform::NativeString> folders_;
    platform::NativeString names_;
    std::vector<Entry> entries_;
};

// Appends every file below folder whose name ends in "." and the first extension, then every
// one ending in "." and the second (byte for byte, so case-sensitive), then every one ending in
// any other letter case of those or of the extensions in anyCase, each group depth-first in
// the platform's listing order, sub-folders only when recurse is set. Each folder is entered
// once, however many links lead to it. The caller has checked that the folder can be listed.
void CollectFiles(platform::NativeView folder, FileList& files, std::string_view first,
                  std::string_view second, bool recurse,
                  std::span<const std::string_view> anyCase = {});

}  // namespace quillbox
