#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/cp936_table.h"
#include "platform/platform.h"
#include "platform/utf8.h"

// On POSIX both the "ANSI" and the "OEM" code page are 936, file names on disk are UTF-8, and
// the narrow paths of the engine are turned into native paths only here.

namespace quillbox::platform {

namespace {

constexpr char kUnrepresentable = '?';

std::optional<std::string> NativePath(std::u16string_view path) {
    return detail::EncodeUtf8(path);
}

std::optional<std::string> NativePathFromNarrow(const std::string& narrowPath) {
    const auto wide = AnsiToUtf16(narrowPath);
    if (!wide) {
        return std::nullopt;
    }
    return NativePath(*wide);
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

// Opens an input file for reading. Only regular files: a fifo or a device named like a message
// file would block the run or never end.
int OpenRegularFile(const std::string& narrowPath) {
    const auto native = NativePathFromNarrow(narrowPath);
    if (!native) {
        return -1;
    }
    const int fd = ::open(native->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// read() until the area is full or the file ends; a short read is not the end of a file.
std::optional<std::size_t> ReadFully(int fd, char* area, std::size_t size) {
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
    }
    return got;
}

}  // namespace

const char16_t kPathSeparator = u'/';

std::optional<std::u16string> AnsiToUtf16(std::string_view narrow) {
    std::u16string out;
    out.reserve(narrow.size());
    for (std::size_t i = 0; i < narrow.size(); ++i) {
        const auto b = static_cast<unsigned char>(narrow[i]);
        const std::uint16_t single = detail::kCp936SingleByte[b];
        if (single != detail::kNotSingleByte) {
            out.push_back(single);
            continue;
        }
        if (b < detail::kCp936FirstLead || b > detail::kCp936LastLead || i + 1 >= narrow.size()) {
            return std::nullopt;
        }
        const auto trail = static_cast<unsigned char>(narrow[i + 1]);
        if (trail < detail::kCp936FirstTrail || trail > detail::kCp936LastTrail) {
            return std::nullopt;
        }
        constexpr unsigned kTrails = detail::kCp936LastTrail - detail::kCp936FirstTrail + 1;
        const std::uint16_t unit = detail::kCp936Pairs[(b - detail::kCp936FirstLead) * kTrails +
                                                       (trail - detail::kCp936FirstTrail)];
        if (unit == 0) {
            return std::nullopt;
        }
        out.push_back(unit);
        ++i;
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

bool EndsWithSeparator(std::u16string_view path) {
    return !path.empty() && path.back() == u'/';
}

std::u16string_view TrimTrailingSeparators(std::u16string_view path) {
    while (path.size() > 1 && path.back() == u'/') {
        path.remove_suffix(1);
    }
    return path;
}

bool FitsPathLimit(std::u16string_view path) {
    const auto native = NativePath(path);
    return native && native->size() < PATH_MAX;
}

bool PathExists(std::u16string_view path) {
    const auto native = NativePath(path);
    struct stat st {};
    return native && !native->empty() && ::lstat(native->c_str(), &st) == 0;
}

std::optional<FolderId> IdentifyFolder(std::u16string_view path) {
    const auto native = NativePath(path);
    struct stat st {};
    if (!native || ::stat(native->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return std::nullopt;
    }
    return FolderId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool ListFolder(std::u16string_view folder, const EntryVisitor& visit) {
    const auto native = NativePath(folder);
    if (!native || native->empty()) {
        return false;
    }
    DirectoryStream dir(native->c_str());
    if (dir.Get() == nullptr) {
        return false;
    }
    const int dirFd = ::dirfd(dir.Get());
    while (const dirent* entry = ::readdir(dir.Get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        const auto wideName = detail::DecodeUtf8(name, false);
        if (!wideName) {
            continue;
        }
        bool isDirectory = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            // A link to a folder counts as a folder, as on Windows; a dangling one as a file.
            struct stat st {};
            isDirectory = ::fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        visit(*wideName, isDirectory);
    }
    return true;
}

std::optional<std::size_t> ReadFileHead(const std::string& narrowPath, std::span<char> area) {
    const FileDescriptor fd(OpenRegularFile(narrowPath));
    if (fd.Get() < 0) {
        return std::nullopt;
    }
    return ReadFully(fd.Get(), area.data(), area.size());
}

std::optional<std::size_t> ReadTextFileHead(const std::string& narrowPath, std::span<char> area) {
    const FileDescriptor fd(OpenRegularFile(narrowPath));
    if (fd.Get() < 0) {
        return std::nullopt;
    }
    char raw[4096];
    std::size_t delivered = 0;
    bool pendingCr = false;
    while (delivered < area.size()) {
        const auto got = ReadFully(fd.Get(), raw, sizeof raw);
        if (!got) {
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
    }
    // A CR that ends the file stays a CR.
    if (pendingCr && delivered < area.size()) {
        area[delivered++] = '\r';
    }
    return delivered;
}

OutputFile::~OutputFile() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
    }
}

bool OutputFile::Open(const std::string& narrowPath) {
    const auto native = NativePathFromNarrow(narrowPath);
    if (!native || native->empty()) {
        lastError_ = ENOENT;
        return false;
    }
    const int fd =
        ::open(native->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    handle_ = fd;
    return true;
}

bool OutputFile::Write(std::string_view bytes) {
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

bool OutputFile::Close() {
    if (handle_ < 0) {
        return false;
    }
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    // Don't retry close on EINTR: the descriptor is released either way.
    if (::close(fd) != 0 && errno != EINTR) {
        lastError_ = errno;
        return false;
    }
    return true;
}

}  // namespace quillbox::platform
