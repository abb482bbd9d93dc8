// SPDX-License-Identifier: MIT
#include <algorithm>
#include <unordered_set>

#include "platform/folder_ops.h"
#include "platform/platform.h"

// The archive folder, the same on every system over folder_ops.

namespace quillbox::platform {

namespace {

using folder_ops::Kind;

// A marker lists a few thousand names; one of this size is none of ours.
constexpr std::size_t kLargestMarker = 64 * 1024 * 1024;

NativeString Native(std::string_view ascii) {
    return NativeString(ascii.begin(), ascii.end());
}

NativeString Child(NativeView folder, NativeView name) {
    NativeString path(folder);
    if (!EndsWithSeparator(path)) {
        path += kPathSeparator;
    }
    return path.append(name);
}

// The names the marker in folder lists, or none when it has no marker of ours.
std::optional<std::unordered_set<std::string>> MarkerNames(NativeView folder) {
    std::string text;
    if (!folder_ops::ReadSmallFile(Child(folder, Native(ArchiveFolder::kMarkerName)), text,
                                   kLargestMarker)) {
        return std::nullopt;
    }
    return ArchiveFolder::ListedNames(text);
}

// Whether everything below folder is a file or folder the marker lists (below as prefix),
// with no link, junction or other entry anywhere.
bool OnlyListed(NativeView folder, const std::string& below,
                const std::unordered_set<std::string>& listed) {
    bool only = true;
    const bool listable = folder_ops::List(folder, [&](NativeView name, Kind kind) {
        if (!only) {
            return;
        }
        const std::string relative = below + DisplayPath(name);
        // A name that spells no text is none Quillbox wrote, whatever U+FFFD a marker lists.
        if (relative.find("\xEF\xBF\xBD") != std::string::npos) {
            only = false;
        } else if (kind == Kind::File) {
            only = listed.contains(relative) ||
                   (below.empty() && relative == ArchiveFolder::kMarkerName);
        } else if (kind == Kind::Folder) {
            only = listed.contains(relative + "/") &&
                   OnlyListed(Child(folder, name), relative + "/", listed);
        } else {
            only = false;
        }
    });
    return listable && only;
}

// Removes everything below folder and the folder itself, no link followed: a link is removed,
// not what it names. False when anything stayed.
bool RemoveTree(NativeView folder) {
    bool removed = true;
    const bool listable = folder_ops::List(folder, [&](NativeView name, Kind kind) {
        const NativeString path = Child(folder, name);
        removed = (kind == Kind::Folder ? RemoveTree(path) : RemoveNewFile(path)) && removed;
    });
    return listable && removed && folder_ops::RemoveFolder(folder);
}

bool IsEmptyFolder(NativeView folder) {
    bool empty = true;
    return folder_ops::List(folder, [&](NativeView, Kind) { empty = false; }) && empty;
}

}  // namespace

std::optional<std::unordered_set<std::string>> ArchiveFolder::ListedNames(std::string_view marker) {
    const auto line = [&marker] {
        const auto end = marker.find('\n');
        const std::string_view taken = marker.substr(0, end);
        marker.remove_prefix(end == std::string_view::npos ? marker.size() : end + 1);
        return taken;
    };
    if (line() != kMarkerHeading) {
        return std::nullopt;
    }
    std::unordered_set<std::string> names;
    while (!marker.empty()) {
        if (const std::string_view name = line(); !name.empty()) {
            names.emplace(name);
        }
    }
    return names;
}

bool ArchiveFolder::Fail(Failure failure, int error, std::filesystem::path path) {
    Discard();
    failure_ = failure;
    lastError_ = error;
    failurePath_ = std::move(path);
    return false;
}

std::optional<ArchiveFolder::Target> ArchiveFolder::Examine(int& error) const {
    error = 0;
    switch (folder_ops::KindOf(target_.native(), error)) {
        case Kind::Missing:
            return Target::Missing;
        case Kind::File:
        case Kind::Other:
            return std::nullopt;
        case Kind::Folder:
            break;
    }
    if (IsEmptyFolder(target_.native())) {
        return Target::Empty;
    }
    if (MarkerNames(target_.native())) {
        return Target::Ours;
    }
    return std::nullopt;
}

bool ArchiveFolder::Open(const std::filesystem::path& output) {
    Discard();
    failure_ = Failure::None;
    keptAside_.clear();
    target_ = std::filesystem::path(NativeString(TrimTrailingSeparators(output.native())));
    int error = 0;
    const auto found = Examine(error);
    if (!found) {
        return Fail(Failure::NotArchiveFolder, error, output);
    }
    const std::filesystem::path parent =
        target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(Native("."));
    const NativeString base = target_.filename().native();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const NativeString name = Native(".") + base + Native(".quillbox-") +
                                  Native(std::to_string(folder_ops::ProcessId())) + Native("-") +
                                  Native(std::to_string(attempt)) + Native(".tmp");
        const NativeString path = Child(parent.native(), name);
        if (folder_ops::MakeFolder(path, error)) {
            path_ = path + kPathSeparator;
            return true;
        }
        // Taken by an earlier run of this process's number: the next name.
        int taken = 0;
        if (folder_ops::KindOf(path, taken) == Kind::Missing) {
            return Fail(Failure::NoTemporary, error, parent);
        }
    }
    return Fail(Failure::NoTemporary, error, parent);
}

bool ArchiveFolder::MakeFolder(std::string_view name) {
    int error = 0;
    if (path_.empty() || !folder_ops::MakeFolder(path_ + Native(name), error)) {
        return Fail(Failure::Write, error, target_);
    }
    return true;
}

bool ArchiveFolder::Finish(const std::vector<std::string>& names) {
    if (path_.empty()) {
        return false;
    }
    std::string marker(kMarkerHeading);
    marker.push_back('\n');
    for (const std::string& name : names) {
        marker.append(name).push_back('\n');
    }
    NewFile file;
    int error = 0;
    if (!file.Create(path_ + Native(kMarkerName)) || !file.Write(marker) || !file.Close()) {
        return Fail(Failure::Write, file.LastError(), target_);
    }
    if (!folder_ops::SyncTree(path_, error)) {
        return Fail(Failure::Write, error, target_);
    }
    return true;
}

bool ArchiveFolder::Replace() {
    if (path_.empty()) {
        return false;
    }
    // The path may have changed since the run began: it is looked at again.
    int error = 0;
    const auto found = Examine(error);
    if (!found) {
        return Fail(Failure::NotArchiveFolder, error, target_);
    }
    const NativeString built(TrimTrailingSeparators(path_));
    const NativeString target = target_.native();
    if (*found == Target::Missing) {
        if (!folder_ops::RenameFolder(built, target, error)) {
            return Fail(Failure::Replace, error, target_);
        }
        path_.clear();
        folder_ops::SyncFolderOf(target);
        Reached(Step::NewIn);
        return true;
    }
    // The old folder's aside name: the first of NAME.quillbox-old, NAME.quillbox-old-2, ... free.
    NativeString aside;
    for (unsigned n = 1; aside.empty() || folder_ops::KindOf(aside, error) != Kind::Missing; ++n) {
        aside = target + Native(".quillbox-old");
        if (n > 1) {
            aside += Native("-" + std::to_string(n));
        }
        if (n > 1000) {
            return Fail(Failure::Replace, error, target_);
        }
    }
    switch (folder_ops::Exchange(built, target, error)) {
        case folder_ops::Swap::Done:
            // The new folder is in place; the old one has the temporary name until it goes.
            path_.clear();
            folder_ops::SyncFolderOf(target);
            Reached(Step::NewIn);
            if (!folder_ops::RenameFolder(built, aside, error)) {
                aside = built;
            }
            Reached(Step::OldAside);
            break;
        case folder_ops::Swap::Unsupported:
            if (!folder_ops::RenameFolder(target, aside, error)) {
                return Fail(Failure::Replace, error, target_);
            }
            Reached(Step::OldAside);
            if (!folder_ops::RenameFolder(built, target, error)) {
                const int renameError = error;
                folder_ops::RenameFolder(aside, target, error);
                return Fail(Failure::Replace, renameError, target_);
            }
            path_.clear();
            folder_ops::SyncFolderOf(target);
            Reached(Step::NewIn);
            break;
        case folder_ops::Swap::Failed:
            return Fail(Failure::Replace, error, target_);
    }
    if (RemoveOld(aside)) {
        Reached(Step::OldRemoved);
    } else {
        keptAside_ = std::filesystem::path(aside);
    }
    return true;
}

bool ArchiveFolder::RemoveOld(const NativeString& path) {
    if (IsEmptyFolder(path)) {
        return folder_ops::RemoveFolder(path);
    }
    const auto listed = MarkerNames(path);
    return listed && OnlyListed(path, {}, *listed) && RemoveTree(path);
}

void ArchiveFolder::Discard() {
    if (!path_.empty()) {
        RemoveTree(TrimTrailingSeparators(path_));
        path_.clear();
    }
}

}  // namespace quillbox::platform
