// SPDX-License-Identifier: MIT
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/folder_ops.h"
#include "platform/platform.h"
#include "platform/posix_common.h"

// The POSIX side of archive folders: new files, the folder operations, the chain of folders.

namespace quillbox::platform {

using detail::FileDescriptor;
using detail::IdOf;

NewFile& NewFile::operator=(NewFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, -1);
        lastError_ = other.lastError_;
    }
    return *this;
}

bool NewFile::Create(NativeView path) {
    Close();
    const NativeString terminated(path);
    const int fd =
        ::open(terminated.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    handle_ = fd;
    return true;
}

bool NewFile::Write(std::string_view bytes) {
    if (handle_ < 0) {
        return false;
    }
    while (!bytes.empty()) {
        const ssize_t n = ::write(static_cast<int>(handle_), bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            lastError_ = errno;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool NewFile::Close() {
    if (handle_ < 0) {
        return true;
    }
    const int fd = static_cast<int>(std::exchange(handle_, -1));
    if (::close(fd) != 0 && errno != EINTR) {
        lastError_ = errno;
        return false;
    }
    return true;
}

bool RenameNewFile(NativeView from, NativeView to, int& error) {
    if (::rename(NativeString(from).c_str(), NativeString(to).c_str()) != 0) {
        error = errno;
        return false;
    }
    return true;
}

bool RemoveNewFile(NativeView path) {
    return ::unlink(NativeString(path).c_str()) == 0;
}

FolderChain ChainOf(const std::filesystem::path& path) {
    FolderChain chain;
    std::filesystem::path at = path.empty() ? std::filesystem::path(".") : path;
    chain.exists = true;
    std::unique_ptr<char, decltype(&std::free)> real(nullptr, &std::free);
    for (int up = 0; up < 4096; ++up) {
        real.reset(::realpath(at.c_str(), nullptr));
        if (real || (errno != ENOENT && errno != ENOTDIR)) {
            break;
        }
        chain.exists = false;
        at = at.has_parent_path() && at.parent_path() != at ? at.parent_path()
                                                            : std::filesystem::path(".");
    }
    if (!real) {
        return {};
    }
    for (std::filesystem::path folder(real.get());; folder = folder.parent_path()) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0) {
            break;
        }
        chain.ids.push_back(IdOf(st));
        if (folder == folder.root_path() || !folder.has_parent_path()) {
            break;
        }
    }
    return chain;
}

namespace folder_ops {

Kind KindOf(NativeView path, int& error) {
    struct stat st {};
    if (::lstat(NativeString(path).c_str(), &st) != 0) {
        error = errno;
        return errno == ENOENT ? Kind::Missing : Kind::Other;
    }
    return S_ISDIR(st.st_mode) ? Kind::Folder : S_ISREG(st.st_mode) ? Kind::File : Kind::Other;
}

bool List(NativeView folder, const std::function<void(NativeView name, Kind kind)>& visit) {
    // O_NOFOLLOW: the folder itself is no link either.
    const int fd =
        ::open(NativeString(folder).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> held(dir, &::closedir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        struct stat st {};
        Kind kind = Kind::Other;
        if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            kind = S_ISDIR(st.st_mode)   ? Kind::Folder
                   : S_ISREG(st.st_mode) ? Kind::File
                                         : Kind::Other;
        }
        visit(name, kind);
    }
    return true;
}

bool MakeFolder(NativeView path, int& error) {
    if (::mkdir(NativeString(path).c_str(), 0777) != 0) {
        error = errno;
        return false;
    }
    return true;
}

bool RemoveFolder(NativeView path) {
    return ::rmdir(NativeString(path).c_str()) == 0;
}

bool RenameFolder(NativeView from, NativeView to, int& error) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, NativeString(from).c_str(), AT_FDCWD, NativeString(to).c_str(),
                    RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        error = errno;
        return false;
    }
#endif
    // Where the file system does not take the flag, a rename over an empty folder replaces it.
    if (::rename(NativeString(from).c_str(), NativeString(to).c_str()) != 0) {
        error = errno;
        return false;
    }
    return true;
}

Swap Exchange(NativeView a, NativeView b, int& error) {
#ifdef RENAME_EXCHANGE
    if (::renameat2(AT_FDCWD, NativeString(a).c_str(), AT_FDCWD, NativeString(b).c_str(),
                    RENAME_EXCHANGE) == 0) {
        return Swap::Done;
    }
    error = errno;
    return errno == EINVAL || errno == ENOSYS || errno == ENOTSUP ? Swap::Unsupported
                                                                  : Swap::Failed;
#else
    static_cast<void>(a);
    static_cast<void>(b);
    static_cast<void>(error);
    return Swap::Unsupported;
#endif
}

namespace {

// Every file and folder below folder flushed, one by one, where the system has no call that
// flushes a file system at once.
[[maybe_unused]] bool SyncEach(NativeView folder, int& error) {
    bool synced = true;
    const bool listable = List(folder, [&](NativeView name, Kind kind) {
        NativeString path(folder);
        if (!EndsWithSeparator(path)) {
            path += '/';
        }
        path.append(name);
        if (kind == Kind::Folder) {
            synced = SyncEach(path, error) && synced;
        } else if (kind == Kind::File) {
            const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
            if (fd.Get() < 0 || ::fsync(fd.Get()) != 0) {
                error = errno;
                synced = false;
            }
        }
    });
    const FileDescriptor self(::open(NativeString(folder).c_str(), O_RDONLY | O_CLOEXEC));
    if (!listable || self.Get() < 0 || ::fsync(self.Get()) != 0) {
        error = errno;
        return false;
    }
    return synced;
}

}  // namespace

bool SyncTree(NativeView folder, int& error) {
#ifdef __linux__
    // One flush of the file system for every page and picture, instead of one for each.
    const FileDescriptor fd(
        ::open(NativeString(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() < 0 || ::syncfs(fd.Get()) != 0) {
        error = errno;
        return false;
    }
    return true;
#else
    return SyncEach(folder, error);
#endif
}

void SyncFolderOf(NativeView path) {
    const std::filesystem::path folder = std::filesystem::path(NativeString(path)).parent_path();
    const FileDescriptor fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() >= 0) {
        ::fsync(fd.Get());
    }
}

bool ReadSmallFile(NativeView path, std::string& bytes, std::size_t limit) {
    const FileDescriptor fd(
        ::open(NativeString(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uint64_t>(st.st_size) > limit) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

unsigned long ProcessId() {
    return static_cast<unsigned long>(::getpid());
}

}  // namespace folder_ops

}  // namespace quillbox::platform
