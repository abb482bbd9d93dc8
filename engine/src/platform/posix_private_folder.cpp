// SPDX-License-Identifier: MIT
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_common.h"

// What the readers of databases need beside the files they are handed: a file's size, a path as
// SQLite's URI, and a folder of their own for copies.

namespace quillbox::platform {

using detail::FileDescriptor;

std::optional<std::uint64_t> RegularFileSize(NativeView path) {
    const NativeString terminated(path);
    struct stat st {};
    if (::stat(terminated.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

std::string FileUri(NativeView path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    // "file:" and a relative path, or "file://" and an absolute one: an empty authority keeps a
    // path that begins with "//" a path.
    std::string uri = !path.empty() && path.front() == '/' ? "file://" : "file:";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
            c == '/' || c == ':') {
            uri.push_back(c);
        } else {
            uri.push_back('%');
            uri.push_back(kHex[byte >> 4]);
            uri.push_back(kHex[byte & 0xF]);
        }
    }
    return uri;
}

bool PrivateFolder::Create() {
    Remove();
    const char* base = std::getenv("TMPDIR");
    std::string pattern = base != nullptr && *base == '/' ? base : "/tmp";
    if (pattern.back() != '/') {
        pattern.push_back('/');
    }
    pattern += "quillbox-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkdtemp makes the folder with mode 0700.
    if (::mkdtemp(name.data()) == nullptr) {
        lastError_ = errno;
        return false;
    }
    path_.assign(name.data());
    path_.push_back('/');
    return true;
}

bool PrivateFolder::CopyIn(NativeView source, NativeView name) {
    if (path_.empty()) {
        return false;
    }
    const NativeString from(source);
    const FileDescriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat st {};
    if (in.Get() < 0 || ::fstat(in.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        lastError_ = in.Get() < 0 ? errno : EINVAL;
        return false;
    }
    const NativeString to = path_ + NativeString(name);
    const FileDescriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.Get() < 0) {
        lastError_ = errno;
        return false;
    }
    std::vector<char> block(1 << 20);
    for (;;) {
        const ssize_t got = ::read(in.Get(), block.data(), block.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            lastError_ = errno;
            return false;
        }
        if (got == 0) {
            return true;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put =
                ::write(out.Get(), block.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put < 0) {
                lastError_ = errno;
                return false;
            }
            done += put;
        }
    }
}

void PrivateFolder::Remove() {
    if (path_.empty()) {
        return;
    }
    // SQLite may have left its own files beside a copy: everything in the folder goes.
    if (DIR* dir = ::opendir(path_.c_str())) {
        const int fd = ::dirfd(dir);
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name(entry->d_name);
            if (name != "." && name != "..") {
                ::unlinkat(fd, entry->d_name, 0);
            }
        }
        ::closedir(dir);
    }
    ::rmdir(path_.c_str());
    path_.clear();
}

}  // namespace quillbox::platform
