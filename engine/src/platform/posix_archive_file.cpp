// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <mutex>

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

// The temporary files that a signal must not leave behind. A signal handler reaches only what
// lies in static storage, so their paths are copied here, for the few files a run has open at
// once (the archive and its report).
struct PendingFile {
    std::atomic<int> state{0};  // 0 free, 1 being filled, 2 to be removed on a signal
    char path[PATH_MAX];
};
PendingFile pendingFiles[4];

extern "C" void RemovePendingFiles(int signal) {
    for (PendingFile& file : pendingFiles) {
        if (file.state.load() == 2) {
            ::unlink(file.path);
        }
    }
    // SA_RESETHAND has put the default action back: the program ends as the signal asks.
    ::raise(signal);
}

// Only where the program left a signal's default action: a handler of its own comes first.
void RemoveOnSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction current {};
            if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
                struct sigaction action {};
                action.sa_handler = RemovePendingFiles;
                action.sa_flags = static_cast<int>(SA_RESETHAND);
                sigemptyset(&action.sa_mask);
                ::sigaction(signal, &action, nullptr);
            }
        }
    });
}

int AddPendingFile(const std::filesystem::path& path) {
    RemoveOnSignals();
    const std::string& native = path.native();
    if (native.size() >= PATH_MAX) {
        return -1;
    }
    for (int slot = 0; slot < static_cast<int>(std::size(pendingFiles)); ++slot) {
        int free = 0;
        PendingFile& file = pendingFiles[slot];
        if (file.state.compare_exchange_strong(free, 1)) {
            std::memcpy(file.path, native.c_str(), native.size() + 1);
            file.state.store(2);
            return slot;
        }
    }
    return -1;
}

void RemovePendingFile(int& slot) {
    if (slot >= 0) {
        pendingFiles[slot].state.store(0);
        slot = -1;
    }
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

std::optional<Destination> ResolveDestination(const std::filesystem::path& output) {
    if (output.empty() || OpenDescriptorOf(output)) {
        return std::nullopt;
    }
    const auto target = FollowLinks(output);
    if (!target) {
        return std::nullopt;
    }
    const std::filesystem::path folder = target->parent_path();
    struct stat st {};
    if (::stat(folder.empty() ? "." : folder.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return Destination{IdOf(st), target->filename().native()};
}

bool SameDestination(const Destination& a, const Destination& b) {
    return a.folder == b.folder && a.name == b.name;
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
    RemovePendingFile(pending_);
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
        if (temporaryNames_) {
            name = temporaryNames_(base, attempt);
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
    pending_ = AddPendingFile(temporary_);
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

bool ArchiveFile::Finish() {
    if (handle_ < 0) {
        return false;
    }
    const int fd = static_cast<int>(handle_);
    if (temporary_.empty()) {
        handle_ = -1;
        // Don't retry close on EINTR: the descriptor is released either way.
        if (ownsHandle_ && ::close(fd) != 0 && errno != EINTR) {
            return Fail(Failure::Write, errno, target_);
        }
        return true;
    }
    if (::fsync(fd) != 0) {
        return Fail(Failure::Write, errno, target_);
    }
    handle_ = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        return Fail(Failure::Write, errno, target_);
    }
    return true;
}

bool ArchiveFile::Replace() {
    // Only a finished file; one written in place is in place already.
    if (handle_ >= 0 || temporary_.empty()) {
        return handle_ < 0 && failure_ == Failure::None;
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        return Fail(Failure::Replace, errno, target_);
    }
    temporary_.clear();
    RemovePendingFile(pending_);
    // The rename itself reaches the disk with its folder.
    const std::filesystem::path folder = target_.parent_path();
    const FileDescriptor dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_CLOEXEC));
    if (dir.Get() >= 0) {
        ::fsync(dir.Get());
    }
    return true;
}

}  // namespace quillbox::platform
