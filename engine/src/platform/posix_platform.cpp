// SPDX-License-Identifier: MIT
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <ctime>

#include "platform/cp936_table.h"
#include "platform/platform.h"
#include "platform/utf8.h"

// On POSIX both the "ANSI" and the "OEM" code page are 936, and paths are the bytes the system
// holds: nothing is converted on the way to open().

namespace quillbox::platform {

namespace {

constexpr char kUnrepresentable = '?';

// Code page 936 to UTF-16, one emit(unit) a character; false for bytes the code page does not
// define, or as soon as emit returns false.
template <typename Emit>
bool DecodeCp936(std::string_view narrow, Emit&& emit) {
    for (std::size_t i = 0; i < narrow.size(); ++i) {
        const auto b = static_cast<unsigned char>(narrow[i]);
        const std::uint16_t single = detail::kCp936SingleByte[b];
        if (single != detail::kNotSingleByte) {
            if (!emit(static_cast<char16_t>(single))) {
                return false;
            }
            continue;
        }
        if (b < detail::kCp936FirstLead || b > detail::kCp936LastLead || i + 1 >= narrow.size()) {
            return false;
        }
        const auto trail = static_cast<unsigned char>(narrow[i + 1]);
        if (trail < detail::kCp936FirstTrail || trail > detail::kCp936LastTrail) {
            return false;
        }
        constexpr unsigned kTrails = detail::kCp936LastTrail - detail::kCp936FirstTrail + 1;
        const std::uint16_t unit = detail::kCp936Pairs[(b - detail::kCp936FirstLead) * kTrails +
                                                       (trail - detail::kCp936FirstTrail)];
        if (unit == 0 || !emit(static_cast<char16_t>(unit))) {
            return false;
        }
        ++i;
    }
    return true;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

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

constexpr int kInputFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

FileId IdOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// read() until the area is full or the file ends. A short read ends a regular file; where
// shortEnds is false it is read on until read() says so itself.
std::optional<std::size_t> ReadFully(int fd, char* area, std::size_t size, bool shortEnds = false) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, area + got, size - got);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
        if (shortEnds) {
            break;
        }
    }
    return got;
}

}  // namespace

const char kPathSeparator = '/';

std::optional<std::u16string> AnsiToUtf16(std::string_view narrow) {
    std::u16string out;
    out.reserve(narrow.size());
    if (!DecodeCp936(narrow, [&](char16_t unit) {
            out.push_back(unit);
            return true;
        })) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::size_t> Utf16ToOem(std::u16string_view wide, std::span<char> out) {
    std::size_t n = 0;
    for (const char16_t unit : wide) {
        if (unit == 0) {
            break;
        }
        // A surrogate is never in code page 936: a pair becomes "??", a lone one "?".
        const std::uint16_t code =
            (unit >= 0xD800 && unit <= 0xDFFF) ? 0 : detail::kUnicodeToCp936[unit];
        if (code == 0) {
            if (n + 1 >= out.size()) {
                return std::nullopt;
            }
            out[n++] = kUnrepresentable;
        } else if (code < 0x100) {
            if (n + 1 >= out.size()) {
                return std::nullopt;
            }
            out[n++] = static_cast<char>(code);
        } else {
            if (n + 2 >= out.size()) {
                return std::nullopt;
            }
            out[n++] = static_cast<char>(code >> 8);
            out[n++] = static_cast<char>(code & 0xFF);
        }
    }
    if (n >= out.size()) {
        return std::nullopt;
    }
    out[n] = '\0';
    return n;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8, Utf8Errors errors) {
    return detail::DecodeUtf8(utf8, errors == Utf8Errors::Replace);
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    return NativeFromUtf16(utf16);
}

NativeString NativeFromUtf16(std::u16string_view text) {
    std::u16string units(text);
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            ++i;
        } else if (high || low) {
            units[i] = u'\uFFFD';
        }
    }
    return detail::EncodeUtf8(units).value_or(std::string());
}

std::string DisplayPath(NativeView path) {
    const auto wide = detail::DecodeUtf8(path, true);
    const auto utf8 = wide ? detail::EncodeUtf8(*wide) : std::nullopt;
    return utf8.value_or(std::string());
}

bool EndsWithSeparator(NativeView path) {
    return !path.empty() && path.back() == '/';
}

NativeView TrimTrailingSeparators(NativeView path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return path;
}

bool FitsPathLimit(NativeView path) {
    return path.size() < PATH_MAX;
}

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

InputFile::~InputFile() {
    Close();
}

void InputFile::Close() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
        handle_ = -1;
    }
}

// Only regular files are input: a fifo or a device named like a message file would block the
// run or never end. A file the listing saw as regular needs no fstat, and O_NONBLOCK keeps even
// a file that has turned into a fifo since from blocking.
InputFile::Outcome InputFile::Open(NativeView path, EntryKind kind,
                                   const std::optional<FileId>& id) {
    Close();
    id_.reset();
    const NativeString terminated(path);
    return Opened(::open(terminated.c_str(), kInputFlags), kind, id);
}

InputFile::Outcome InputFile::Open(const OpenFolder& folder, NativeView name, EntryKind kind,
                                   const std::optional<FileId>& id) {
    if (folder.handle_ < 0) {
        NativeString path(folder.path_);
        path.append(name);
        return Open(path, kind, id);
    }
    Close();
    id_.reset();
    const NativeString terminated(name);
    return Opened(::openat(static_cast<int>(folder.handle_), terminated.c_str(), kInputFlags), kind,
                  id);
}

InputFile::Outcome InputFile::Opened(int fd, EntryKind kind, const std::optional<FileId>& id) {
    if (fd < 0) {
        lastError_ = errno;
        return Outcome::CannotOpen;
    }
    handle_ = fd;
    if (kind == EntryKind::RegularFile && id) {
        id_ = id;
        return Outcome::Opened;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        lastError_ = errno;
        Close();
        return Outcome::CannotOpen;
    }
    if (!S_ISREG(st.st_mode)) {
        Close();
        return Outcome::NotRegularFile;
    }
    id_ = IdOf(st);
    return Outcome::Opened;
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

unsigned UsableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) {
            return static_cast<unsigned>(count);
        }
    }
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1u;
}

std::optional<std::size_t> InputFile::ReadHead(std::span<char> area) {
    if (handle_ < 0) {
        return std::nullopt;
    }
    // A regular file gives less than asked only at its end: no second read() to learn it.
    const auto got = ReadFully(static_cast<int>(handle_), area.data(), area.size(), true);
    if (!got) {
        lastError_ = errno;
    }
    return got;
}

InputFile::WholeRead InputFile::ReadWhole(std::string& bytes, std::size_t limit) {
    bytes.clear();
    if (handle_ < 0) {
        return WholeRead::Failed;
    }
    const int fd = static_cast<int>(handle_);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        bytes.reserve(std::min(static_cast<std::size_t>(st.st_size), limit) + 1);
    }
    std::array<char, 65536> block;
    for (;;) {
        const auto got = ReadFully(fd, block.data(), block.size());
        if (!got) {
            lastError_ = errno;
            return WholeRead::Failed;
        }
        if (bytes.size() + *got > limit) {
            return WholeRead::TooLarge;
        }
        bytes.append(block.data(), *got);
        if (*got < block.size()) {
            return WholeRead::Read;
        }
    }
}

std::optional<std::size_t> InputFile::ReadTextHead(std::span<char> area) {
    if (handle_ < 0) {
        return std::nullopt;
    }
    const int fd = static_cast<int>(handle_);
    char raw[4096];
    std::size_t delivered = 0;
    bool pendingCr = false;
    while (delivered < area.size()) {
        const auto got = ReadFully(fd, raw, sizeof raw);
        if (!got) {
            lastError_ = errno;
            return std::nullopt;
        }
        if (*got == 0) {
            break;
        }
        for (std::size_t i = 0; i < *got && delivered < area.size(); ++i) {
            const char c = raw[i];
            if (pendingCr) {
                pendingCr = false;
                if (c != '\n') {
                    area[delivered++] = '\r';
                    if (delivered == area.size()) {
                        break;
                    }
                }
            }
            if (c == '\x1A') {
                return delivered;
            }
            if (c == '\r') {
                pendingCr = true;
            } else {
                area[delivered++] = c;
            }
        }
        // ReadFully stops short only at the end of the file: no read() to learn it again.
        if (*got < sizeof raw) {
            break;
        }
    }
    // A CR that ends the file stays a CR.
    if (pendingCr && delivered < area.size()) {
        area[delivered++] = '\r';
    }
    return delivered;
}

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

std::string SystemErrorText(int error) {
    std::array<char, 256> text{};
    // The GNU strerror_r returns its text, which may or may not lie in the buffer.
    const char* message = ::strerror_r(error, text.data(), text.size());
    return message != nullptr ? std::string(message) : std::string();
}

}  // namespace quillbox::platform
