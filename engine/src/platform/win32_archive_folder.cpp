// SPDX-License-Identifier: MIT
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/folder_ops.h"
#include "platform/platform.h"

// The Windows side of archive folders: new files, the folder operations, the chain of folders.
// Windows swaps no two names at once: the old folder is renamed aside before the new one comes
// in. A junction or a symbolic link is a reparse point, and never entered.

namespace quillbox::platform {

namespace {

class Handle {
public:
    explicit Handle(HANDLE h) : handle_(h) {}
    ~Handle() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

int LastError() {
    return static_cast<int>(::GetLastError());
}

FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

folder_ops::Kind KindOfAttributes(DWORD attributes) {
    if ((attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return folder_ops::Kind::Other;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? folder_ops::Kind::Folder
                                                        : folder_ops::Kind::File;
}

// A scanner or the Explorer may hold a folder or a new file open for a moment: a move is tried
// again for a while.
bool Move(NativeView from, NativeView to, DWORD flags, int& error) {
    const NativeString source(from);
    const NativeString target(to);
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExW(source.c_str(), target.c_str(), flags)) {
            return true;
        }
        error = LastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 100) {
            return false;
        }
        ::Sleep(10);
    }
}

}  // namespace

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
    const HANDLE h = ::CreateFileW(terminated.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        lastError_ = LastError();
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return true;
}

bool NewFile::Write(std::string_view bytes) {
    if (handle_ == -1) {
        return false;
    }
    const auto h = reinterpret_cast<HANDLE>(handle_);
    while (!bytes.empty()) {
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(h, bytes.data(), chunk, &written, nullptr)) {
            lastError_ = LastError();
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool NewFile::Close() {
    if (handle_ == -1) {
        return true;
    }
    const auto h = reinterpret_cast<HANDLE>(std::exchange(handle_, -1));
    if (!::CloseHandle(h)) {
        lastError_ = LastError();
        return false;
    }
    return true;
}

bool RenameNewFile(NativeView from, NativeView to, int& error) {
    return Move(from, to, 0, error);
}

bool RemoveNewFile(NativeView path) {
    const NativeString terminated(path);
    // A junction is removed as the folder entry it is; what it names stays.
    return ::DeleteFileW(terminated.c_str()) || ::RemoveDirectoryW(terminated.c_str());
}

FolderChain ChainOf(const std::filesystem::path& path) {
    FolderChain chain;
    chain.exists = true;
    NativeString at = path.empty() ? NativeString(L".") : path.native();
    const DWORD needed = ::GetFullPathNameW(at.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return {};
    }
    NativeString full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(at.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        return {};
    }
    full.resize(length);
    std::filesystem::path existing(full);
    NativeString final;
    for (int up = 0; up < 4096; ++up) {
        const Handle h(::CreateFileW(existing.c_str(), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (h.Get() != INVALID_HANDLE_VALUE) {
            final.assign(32768, L'\0');
            const DWORD size = ::GetFinalPathNameByHandleW(h.Get(), final.data(),
                                                           static_cast<DWORD>(final.size()), 0);
            if (size == 0 || size >= final.size()) {
                return {};
            }
            final.resize(size);
            break;
        }
        const DWORD error = ::GetLastError();
        if ((error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) ||
            existing.parent_path() == existing) {
            return {};
        }
        chain.exists = false;
        existing = existing.parent_path();
    }
    // "\\?\C:\a" as "C:\a", "\\?\UNC\server\share" as "\\server\share": names whose parents
    // the path library knows.
    if (final.starts_with(L"\\\\?\\UNC\\")) {
        final = L"\\\\" + final.substr(8);
    } else if (final.starts_with(L"\\\\?\\")) {
        final = final.substr(4);
    }
    for (std::filesystem::path folder(final);; folder = folder.parent_path()) {
        const Handle h(::CreateFileW(folder.c_str(), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        if (h.Get() == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(h.Get(), &info)) {
            break;
        }
        chain.ids.push_back(IdOf(info));
        if (!folder.has_relative_path() || folder.parent_path() == folder) {
            break;
        }
    }
    return chain;
}

namespace folder_ops {

Kind KindOf(NativeView path, int& error) {
    const NativeString terminated(path);
    const DWORD attributes = ::GetFileAttributesW(terminated.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = LastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Kind::Missing
                                                                              : Kind::Other;
    }
    return KindOfAttributes(attributes);
}

bool List(NativeView folder, const std::function<void(NativeView name, Kind kind)>& visit) {
    int error = 0;
    if (KindOf(folder, error) != Kind::Folder) {
        return false;
    }
    NativeString pattern(folder);
    if (!EndsWithSeparator(pattern)) {
        pattern += L'\\';
    }
    pattern += L"*";
    WIN32_FIND_DATAW data;
    const HANDLE search = ::FindFirstFileW(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    do {
        const NativeView name(data.cFileName);
        if (name != L"." && name != L"..") {
            visit(name, KindOfAttributes(data.dwFileAttributes));
        }
    } while (::FindNextFileW(search, &data));
    ::FindClose(search);
    return true;
}

bool MakeFolder(NativeView path, int& error) {
    if (!::CreateDirectoryW(NativeString(path).c_str(), nullptr)) {
        error = LastError();
        return false;
    }
    return true;
}

bool RemoveFolder(NativeView path) {
    return ::RemoveDirectoryW(NativeString(path).c_str());
}

bool RenameFolder(NativeView from, NativeView to, int& error) {
    return Move(from, to, MOVEFILE_WRITE_THROUGH, error);
}

Swap Exchange(NativeView, NativeView, int&) {
    return Swap::Unsupported;
}

bool SyncTree(NativeView folder, int& error) {
    // Windows flushes a file through a handle of its own, one file at a time.
    bool synced = true;
    const bool listable = List(folder, [&](NativeView name, Kind kind) {
        NativeString path(folder);
        if (!EndsWithSeparator(path)) {
            path += L'\\';
        }
        path.append(name);
        if (kind == Kind::Folder) {
            synced = SyncTree(path, error) && synced;
            return;
        }
        const Handle h(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (h.Get() == INVALID_HANDLE_VALUE || !::FlushFileBuffers(h.Get())) {
            error = LastError();
            synced = false;
        }
    });
    return listable && synced;
}

void SyncFolderOf(NativeView) {
    // The moves were made with MOVEFILE_WRITE_THROUGH.
}

bool ReadSmallFile(NativeView path, std::string& bytes, std::size_t limit) {
    const Handle h(::CreateFileW(NativeString(path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (h.Get() == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(h.Get(), &info) ||
        KindOfAttributes(info.dwFileAttributes) != Kind::File) {
        return false;
    }
    const std::uint64_t size =
        static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    if (size > limit) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        const auto want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        if (!::ReadFile(h.Get(), bytes.data() + done, want, &got, nullptr) || got == 0) {
            return false;
        }
        done += got;
    }
    return true;
}

unsigned long ProcessId() {
    return ::GetCurrentProcessId();
}

}  // namespace folder_ops

}  // namespace quillbox::platform
