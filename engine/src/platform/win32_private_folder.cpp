// SPDX-License-Identifier: MIT
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "platform/platform.h"

// What the readers of databases need beside the files they are handed: a file's size, a path as
// SQLite's URI, and a folder of their own for copies.

namespace quillbox::platform {

namespace {

class Search {
public:
    Search(const NativeString& pattern, WIN32_FIND_DATAW& data)
        : handle_(::FindFirstFileW(pattern.c_str(), &data)) {}
    ~Search() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            ::FindClose(handle_);
        }
    }
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

}  // namespace

std::optional<std::uint64_t> RegularFileSize(NativeView path) {
    const NativeString terminated(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(terminated.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return std::nullopt;
    }
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string FileUri(NativeView path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    // A relative path would read as a host name: the path is made whole first.
    NativeString whole(path);
    const DWORD needed = ::GetFullPathNameW(whole.c_str(), 0, nullptr, nullptr);
    if (needed > 0) {
        NativeString full(needed, L'\0');
        const DWORD length = ::GetFullPathNameW(whole.c_str(), needed, full.data(), nullptr);
        if (length > 0 && length < needed) {
            full.resize(length);
            whole = std::move(full);
        }
    }
    // SQLite's Windows URIs: "file:///C:/..." for a drive, "file:////server/share/..." for a
    // network path.
    std::string uri = "file://";
    if (whole.size() >= 2 && whole[1] == L':') {
        uri.push_back('/');
    }
    for (const char c : DisplayPath(whole)) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
            c == '/' || c == ':') {
            uri.push_back(c);
        } else if (c == '\\') {
            uri.push_back('/');
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
    wchar_t base[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, base);
    if (length == 0 || length > MAX_PATH) {
        lastError_ = static_cast<int>(::GetLastError());
        return false;
    }
    // The user's own temporary folder is closed to other users; a new name is tried until
    // one is free.
    const auto seed = ::GetTickCount64() ^ (static_cast<ULONGLONG>(::GetCurrentProcessId()) << 32) ^
                      reinterpret_cast<std::uintptr_t>(this);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        NativeString candidate(base, length);
        candidate += L"quillbox-" + std::to_wstring((seed + attempt * 7919u) % 1000000007u);
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            path_ = candidate + L'\\';
            return true;
        }
        lastError_ = static_cast<int>(::GetLastError());
        if (lastError_ != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    return false;
}

bool PrivateFolder::CopyIn(NativeView source, NativeView name) {
    if (path_.empty()) {
        return false;
    }
    const NativeString from(source);
    const NativeString to = path_ + NativeString(name);
    if (!::CopyFileW(from.c_str(), to.c_str(), TRUE)) {
        lastError_ = static_cast<int>(::GetLastError());
        return false;
    }
    // A copy keeps the source's read-only attribute, which SQLite would then honour.
    ::SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    return true;
}

void PrivateFolder::Remove() {
    if (path_.empty()) {
        return;
    }
    // SQLite may have left its own files beside a copy: everything in the folder goes.
    const NativeString pattern = path_ + L"*.*";
    WIN32_FIND_DATAW data;
    {
        const Search search(pattern, data);
        if (search.Get() != INVALID_HANDLE_VALUE) {
            do {
                const NativeView name(data.cFileName);
                if (name != L"." && name != L"..") {
                    ::DeleteFileW((path_ + NativeString(name)).c_str());
                }
            } while (::FindNextFileW(search.Get(), &data));
        }
    }
    ::RemoveDirectoryW(path_.c_str());
    path_.clear();
}

}  // namespace quillbox::platform
