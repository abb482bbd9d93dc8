// SPDX-License-Identifier: MIT
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix_common.h"

namespace quillbox::platform {

using detail::IdOf;

namespace {

class DirectoryStream {
public:
    explicit DirectoryStream(const char* path) : dir_(::opendir(path)) {}
    ~DirectoryStream() {
        if (dir_ != nullptr) {
            ::closedir(dir_);
        }
    }
    DirectoryStream(const DirectoryStream&) = delete;
    DirectoryStream& operator=(const DirectoryStream&) = delete;
    DIR* Get() const { return dir_; }

private:
    DIR* dir_;
};

}  // namespace

FolderCheck CheckFolder(NativeView folder) {
    const NativeString path(folder);
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        const int error = path.empty() ? ENOENT : errno;
        const FolderState state = error == ENOENT    ? FolderState::Missing
                                  : error == ENOTDIR ? FolderState::NotAFolder
                                                     : FolderState::Unlistable;
        return {state, error, std::nullopt};
    }
    if (!S_ISDIR(st.st_mode)) {
        return {FolderState::NotAFolder, ENOTDIR, std::nullopt};
    }
    if (::access(path.c_str(), R_OK | X_OK) != 0) {
        return {FolderState::Unlistable, errno, IdOf(st)};
    }
    return {FolderState::Listable, 0, IdOf(st)};
}

bool ListFolder(NativeView folder, const EntryVisitor& visit) {
    const NativeString path(folder);
    DirectoryStream dir(path.c_str());
    if (dir.Get() == nullptr) {
        return false;
    }
    const int dirFd = ::dirfd(dir.Get());
    struct stat folderStat {};
    const bool folderKnown = ::fstat(dirFd, &folderStat) == 0;
    // The listing's inode numbers are the files' own on most file systems, but not on all
    // (overlayfs may differ): the first regular file shows which, and where they differ every
    // file is asked.
    enum class Listing { Untested, Trusted, Distrusted } listing = Listing::Untested;
    while (const dirent* entry = ::readdir(dir.Get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        EntryKind kind = entry->d_type == DT_DIR   ? EntryKind::Folder
                         : entry->d_type == DT_REG ? EntryKind::RegularFile
                                                   : EntryKind::Unchecked;
        std::optional<FileId> id;
        if (kind == EntryKind::RegularFile && folderKnown && listing == Listing::Untested) {
            struct stat st {};
            listing = ::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                              st.st_ino == entry->d_ino && st.st_dev == folderStat.st_dev
                          ? Listing::Trusted
                          : Listing::Distrusted;
        }
        if (kind == EntryKind::RegularFile && listing == Listing::Trusted) {
            id = FileId{static_cast<std::uint64_t>(folderStat.st_dev),
                        static_cast<std::uint64_t>(entry->d_ino)};
        }
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK ||
            (kind == EntryKind::RegularFile && listing == Listing::Distrusted)) {
            // A link to a folder counts as a folder, as on Windows; a dangling one as a file.
            struct stat st {};
            if (::fstatat(dirFd, entry->d_name, &st, 0) == 0) {
                kind = S_ISDIR(st.st_mode)   ? EntryKind::Folder
                       : S_ISREG(st.st_mode) ? EntryKind::RegularFile
                                             : EntryKind::Unchecked;
                id = IdOf(st);
            }
        }
        visit(name, kind, id);
    }
    return true;
}
OpenFolder::~OpenFolder() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
    }
}

void OpenFolder::Hold(NativeView folder) {
    if (folder == path_) {
        return;
    }
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
    }
    path_.assign(folder);
    handle_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}
}  // namespace quillbox::platform
