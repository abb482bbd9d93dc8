// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "platform/platform.h"
#include "platform/posix_common.h"

namespace quillbox::platform {

using detail::IdOf;

namespace {

constexpr int kInputFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

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

std::optional<std::size_t> InputFile::ReadChunk(std::span<char> area) {
    if (handle_ < 0) {
        return std::nullopt;
    }
    const auto got = ReadFully(static_cast<int>(handle_), area.data(), area.size());
    if (!got) {
        lastError_ = errno;
    }
    return got;
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
}  // namespace quillbox::platform
