// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <ctime>

#include "platform/platform.h"
#include "platform/posix_common.h"

namespace quillbox::platform {

using detail::FileDescriptor;
using detail::IdOf;

namespace {

// The descriptor a path names when it is one the program already holds: "-" and /dev/stdout are
// standard output, /dev/fd/N and /proc/self/fd/N descriptor N. Opening such a path anew would
// truncate what the shell redirected (`-o /dev/stdout >> log` appends).
std::optional<int> OpenDescriptorOf(const std::filesystem::path& output) {
    const std::string_view path = output.native();
    if (path == "-" || path == "/dev/stdout") {
        return STDOUT_FILENO;
    }
    if (path == "/dev/stderr") {
        return STDERR_FILENO;
    }
    for (const std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        if (path.starts_with(prefix) && path.size() > prefix.size()) {
            int fd = -1;
            const char* first = path.data() + prefix.size();
            const char* last = path.data() + path.size();
            const auto [end, error] = std::from_chars(first, last, fd);
            if (error == std::errc() && end == last && fd >= 0) {
                return fd;
            }
        }
    }
    return std::nullopt;
}

// The path a chain of links ends at, whether or not something is there; none for a loop.
std::optional<std::filesystem::path> FollowLinks(const std::filesystem::path& path) {
    std::filesystem::path current = path;
    for (int hop = 0; hop < 40; ++hop) {
        std::array<char, PATH_MAX> target;
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n < 0) {
            return current;
        }
        const std::filesystem::path link(std::string(target.data(), static_cast<std::size_t>(n)));
        current = link.is_absolute() ? link : current.parent_path() / link;
    }
    errno = ELOOP;
    return std::nullopt;
}

}  // namespace

std::optional<FileId> IdentifyOutput(const std::filesystem::path& output) {
    struct stat st {};
    if (const auto fd = OpenDescriptorOf(output)) {
        if (::fstat(*fd, &st) == 0) {
            return IdOf(st);
        }
        return std::nullopt;
    }
    if (output.empty() || ::stat(output.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return IdOf(st);
}

void ArchiveFile::Discard() {
    if (handle_ >= 0 && ownsHandle_) {
        ::close(static_cast<int>(handle_));
    }
    handle_ = -1;
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

bool ArchiveFile::Open(const std::filesystem::path& output) {
    Discard();
    failure_ = Failure::None;
    if (output.empty()) {
        return Fail(Failure::Open, ENOENT, output);
    }
    if (const auto fd = OpenDescriptorOf(output)) {
        struct stat st {};
        if (::fstat(*fd, &st) != 0) {
            return Fail(Failure::Open, errno, output);
        }
        handle_ = *fd;
        ownsHandle_ = false;
        return true;
    }
    const auto target = FollowLinks(output);
    if (!target) {
        return Fail(Failure::Open, errno, output);
    }
    target_ = *target;

    struct stat old {};
    const bool exists = ::stat(target_.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) {
        return Fail(Failure::Open, errno, output);
    }
    if (exists && !S_ISREG(old.st_mode)) {
        // A fifo or a device is written in place, as any program writes one.
        const int fd = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            return Fail(Failure::Open, errno, output);
        }
        handle_ = fd;
        ownsHandle_ = true;
        return true;
    }
    // A rename would replace an archive that its owner protected from writing.
    if (exists && ::access(target_.c_str(), W_OK) != 0) {
        return Fail(Failure::Refused, errno, output);
    }

    // The temporary file says whose it is: ".archive.txt.quillbox-<pid>-<n>.tmp" beside it.
    const std::filesystem::path folder = target_.parent_path();
    const std::string base = target_.filename().native();
    const auto serial = static_cast<unsigned long>(std::time(nullptr)) ^
                        static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(this));
    int fd = -1;
    for (unsigned attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        std::string name = ".quillbox-" + std::to_string(::getpid()) + "-" +
                           std::to_string((serial + attempt) % 1000000) + ".tmp";
        if (base.size() + 1 + name.size() <= NAME_MAX) {
            name = "." + base + name;
        }
        temporary_ = folder / name;
        fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0 && errno != EEXIST) {
            const int error = errno;
            temporary_.clear();
            return Fail(Failure::NoTemporary, error, folder.empty() ? "." : folder);
        }
    }
    if (fd < 0) {
        temporary_.clear();
        return Fail(Failure::NoTemporary, EEXIST, folder.empty() ? "." : folder);
    }
    handle_ = fd;
    ownsHandle_ = true;
    if (exists) {
        ::fchmod(fd, old.st_mode & 07777);
        // Only a privileged run can give the file back to its owner; others keep their own.
        [[maybe_unused]] const int owned = ::fchown(fd, old.st_uid, old.st_gid);
    }
    return true;
}

bool ArchiveFile::Write(std::string_view bytes) {
    if (handle_ < 0) {
        return false;
    }
    const int fd = static_cast<int>(handle_);
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Fail(Failure::Write, errno, target_);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool ArchiveFile::Commit() {
    if (handle_ < 0) {
        return false;
    }
    const int fd = static_cast<int>(handle_);
    if (temporary_.empty()) {
        if (ownsHandle_) {
            handle_ = -1;
            // Don't retry close on EINTR: the descriptor is released either way.
            if (::close(fd) != 0 && errno != EINTR) {
                return Fail(Failure::Write, errno, target_);
            }
        }
        handle_ = -1;
        return true;
    }
    if (::fsync(fd) != 0) {
        return Fail(Failure::Write, errno, target_);
    }
    handle_ = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        return Fail(Failure::Write, errno, target_);
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        return Fail(Failure::Replace, errno, target_);
    }
    temporary_.clear();
    // The rename itself reaches the disk with its folder.
    const std::filesystem::path folder = target_.parent_path();
    const FileDescriptor dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_CLOEXEC));
    if (dir.Get() >= 0) {
        ::fsync(dir.Get());
    }
    return true;
}
}  // namespace quillbox::platform
