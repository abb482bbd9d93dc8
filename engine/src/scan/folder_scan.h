// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "quillbox/archive.h"
#include "read/reader.h"

namespace quillbox {

// A file of a FileList: its path is folder + name.
struct ListedFile {
    platform::NativeView folder;
    platform::NativeView name;
    InputKind input;
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
    // What the scan could not list: a sub-folder it may not read, a path longer than the
    // system takes.
    const std::vector<SkippedFile>& Skipped() const { return skipped_; }
    // How many files and folders the rules only note (ScanRules::notedExtensions, ...).
    std::size_t Noted() const { return noted_; }

private:
    friend class FileListBuilder;

    // 32 bytes: a list of a million files is 32 MB besides its names.
    struct Entry {
        platform::FileId id;
        std::size_t nameOffset = 0;
        std::uint32_t folder = 0;
        std::uint16_t nameLength = 0;  // a name within the platform's path limit
        InputKind input : 4 = InputKind::ClassicMessage;
        platform::EntryKind kind : 3 = platform::EntryKind::Unchecked;
        bool hasId : 1 = false;
    };

    std::vector<platform::NativeString> folders_;
    platform::NativeString names_;
    std::vector<Entry> entries_;
    std::vector<SkippedFile> skipped_;
    std::size_t noted_ = 0;
};

// Which files a scan lists, and what each is.
struct Extension {
    std::string_view name;  // without the dot
    InputKind input;
};
// A file known by its whole name, in any letter case.
struct NamedFile {
    std::string_view name;
    InputKind input;
};
struct ScanRules {
    // Names ending in "." and first, then in "." and second, byte for byte (so case-sensitive),
    // then in any letter case of those in anyCase, or named as one of names.
    Extension first;
    Extension second;
    std::span<const Extension> anyCase;
    bool recurse = false;
    std::span<const NamedFile> names = {};
    // A folder holding a file of one of these names (the first found) is one input, listed
    // under that file's name, and nothing in it is listed or entered. Such folders are found
    // wherever the scan looks, and among the first folder's sub-folders even where the rules do
    // not recurse.
    std::span<const NamedFile> wholeFolders = {};
    // What the scan counts without listing it (FileList::Noted): files whose names end in "."
    // and one of notedExtensions, or are one of notedNames, in any letter case, where the scan
    // looks; and sub-folders of the first folder that hold a file named as one of notedFolders,
    // where the rules do not recurse.
    std::span<const Extension> notedExtensions = {};
    std::span<const NamedFile> notedNames = {};
    std::span<const NamedFile> notedFolders = {};
};

// Appends every file below folder that the rules name, each group depth-first in the platform's
// listing order (the named files and whole folders with the last group), sub-folders only when
// the rules recurse. Each folder is entered once, however many links lead to it. A sub-folder
// that cannot be listed, and a file or sub-folder whose path is longer than the system takes, go
// to the list's skipped ones. The caller has checked that the folder can be listed.
void CollectFiles(platform::NativeView folder, FileList& files, const ScanRules& rules);

}  // namespace quillbox
