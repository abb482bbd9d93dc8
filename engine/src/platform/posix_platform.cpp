#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
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

std::optional<std::string> NativePathFromNarrow(const std::string& narrowPath) {
    const auto wide = AnsiToUtf16(narrowPath);
    if (!wide) {
        return std::nullopt;
    }
    return NativePath(*wide);
}

// A native path as the system takes it: at most PATH_MAX bytes with the terminating zero.
using NativePathBuffer = std::array<char, PATH_MAX>;

enum class Conversion { Done, Invalid, TooLong };

// NativePathFromNarrow without a heap block, in one piece or several: out gets the C string of
// the native path, which ends at the first zero byte as c_str() of the long form would.
class NativeWriter {
public:
    NativeWriter(NativePathBuffer& out, std::size_t start) : out_(out), length_(start) {}

    // False when the text has no native form: a byte the code page does not define (a piece
    // must end on a whole character), or a lone surrogate.
    bool Append(std::string_view narrow) {
        // Surrogates as EncodeUtf8 takes them: a pair is one code point, a lone one an error.
        valid_ = valid_ && DecodeCp936(narrow, [&](char16_t unit) {
                     if (high_ != 0) {
                         if (unit < 0xDC00 || unit > 0xDFFF) {
                             return false;
                         }
                         Put(0x10000 + ((high_ - 0xD800u) << 10) + (unit - 0xDC00u));
                         high_ = 0;
                     } else if (unit >= 0xD800 && unit <= 0xDBFF) {
                         high_ = unit;
                     } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
                         return false;
                     } else {
                         Put(unit);
                     }
                     return true;
                 });
        return valid_;
    }

    // Whether text appended later lands in the C string as it would in the whole path.
    bool Joinable() const { return valid_ && high_ == 0 && !ended_; }
    std::size_t Length() const { return length_; }

    Conversion Finish() {
        if (!valid_ || high_ != 0) {
            return Conversion::Invalid;
        }
        if (tooLong_) {
            return Conversion::TooLong;
        }
        out_[length_] = '\0';
        return Conversion::Done;
    }

private:
    void Put(std::uint32_t cp) {
        char bytes[4];
        const int count = detail::EncodeCodePoint(cp, bytes);
        for (int k = 0; k < count && !ended_; ++k) {
            if (bytes[k] == '\0') {
                ended_ = true;
            } else if (length_ + 1 < out_.size()) {
                out_[length_++] = bytes[k];
            } else {
                tooLong_ = true;
                ended_ = true;
            }
        }
    }

    NativePathBuffer& out_;
    std::size_t length_;
    char16_t high_ = 0;
    bool valid_ = true;
    bool ended_ = false;  // at a zero byte, or out of room
    bool tooLong_ = false;
};

// open() of a narrow path; -1 with errno ENOENT when the path has no native form.
int OpenNarrow(const std::string& narrowPath, int flags, mode_t mode = 0) {
    NativePathBuffer buffer;
    NativeWriter writer(buffer, 0);
    writer.Append(narrowPath);
    switch (writer.Finish()) {
        case Conversion::Done:
            return ::open(buffer.data(), flags, mode);
        case Conversion::TooLong:
            // Longer than any path the system takes: it refuses this one in its own words.
            if (const auto native = NativePathFromNarrow(narrowPath)) {
                return ::open(native->c_str(), flags, mode);
            }
            break;
        case Conversion::Invalid:
            break;
    }
    errno = ENOENT;
    return -1;
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

// Only regular files are input: a fifo or a device named like a message file would block the
// run or never end. A file the listing saw as regular needs no fstat, and O_NONBLOCK keeps even
// a file that has turned into a fifo since from blocking.
int CheckRegularFile(int fd, EntryKind kind) {
    if (fd < 0 || kind == EntryKind::RegularFile) {
        return fd;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int OpenRegularFile(const std::string& narrowPath, EntryKind kind) {
    return CheckRegularFile(OpenNarrow(narrowPath, kInputFlags), kind);
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
    const auto length = detail::Utf8Length(path);
    return length && *length < PATH_MAX;
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
    std::u16string wideName;
    while (const dirent* entry = ::readdir(dir.Get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        if (!detail::DecodeUtf8Into(name, false, wideName)) {
            continue;
        }
        EntryKind kind = entry->d_type == DT_DIR   ? EntryKind::Folder
                         : entry->d_type == DT_REG ? EntryKind::RegularFile
                                                   : EntryKind::Unchecked;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            // A link to a folder counts as a folder, as on Windows; a dangling one as a file.
            struct stat st {};
            if (::fstatat(dirFd, entry->d_name, &st, 0) == 0) {
                kind = S_ISDIR(st.st_mode)   ? EntryKind::Folder
                       : S_ISREG(st.st_mode) ? EntryKind::RegularFile
                                             : EntryKind::Unchecked;
            }
        }
        visit(wideName, kind);
    }
    return true;
}

namespace {

std::optional<std::size_t> ReadBinaryFrom(int descriptor, std::span<char> area) {
    const FileDescriptor fd(descriptor);
    if (fd.Get() < 0) {
        return std::nullopt;
    }
    return ReadFully(fd.Get(), area.data(), area.size());
}

std::optional<std::size_t> ReadTextFrom(int descriptor, std::span<char> area) {
    const FileDescriptor fd(descriptor);
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

}  // namespace

std::optional<std::size_t> ReadFileHead(const std::string& narrowPath, std::span<char> area,
                                        EntryKind kind) {
    return ReadBinaryFrom(OpenRegularFile(narrowPath, kind), area);
}

std::optional<std::size_t> ReadTextFileHead(const std::string& narrowPath, std::span<char> area,
                                            EntryKind kind) {
    return ReadTextFrom(OpenRegularFile(narrowPath, kind), area);
}

int FolderFileReader::Open(std::string_view folder, std::string_view name, EntryKind kind) {
    if (!folderSeen_ || folder != folder_) {
        folder_.assign(folder);
        folderSeen_ = true;
        NativePathBuffer buffer;
        NativeWriter writer(buffer, 0);
        // A folder that ends inside a character, or whose C string has ended, is joined with
        // each name and converted whole.
        folderJoins_ = writer.Append(folder) && writer.Joinable();
        nativeFolder_.assign(buffer.data(), folderJoins_ ? writer.Length() : 0);
    }
    if (folderJoins_) {
        NativePathBuffer buffer;
        std::memcpy(buffer.data(), nativeFolder_.data(), nativeFolder_.size());
        NativeWriter writer(buffer, nativeFolder_.size());
        writer.Append(name);
        switch (writer.Finish()) {
            case Conversion::Done:
                return CheckRegularFile(::open(buffer.data(), kInputFlags), kind);
            case Conversion::Invalid:
                return -1;
            case Conversion::TooLong:
                break;
        }
    }
    path_.assign(folder).append(name);
    return OpenRegularFile(path_, kind);
}

std::optional<std::size_t> FolderFileReader::ReadHead(std::string_view folder,
                                                      std::string_view name, std::span<char> area,
                                                      EntryKind kind) {
    return ReadBinaryFrom(Open(folder, name, kind), area);
}

std::optional<std::size_t> FolderFileReader::ReadTextHead(std::string_view folder,
                                                          std::string_view name,
                                                          std::span<char> area, EntryKind kind) {
    return ReadTextFrom(Open(folder, name, kind), area);
}

OutputFile::~OutputFile() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
    }
}

bool OutputFile::Open(const std::string& narrowPath) {
    if (narrowPath.empty()) {
        lastError_ = ENOENT;
        return false;
    }
    const int fd =
        OpenNarrow(narrowPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
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
