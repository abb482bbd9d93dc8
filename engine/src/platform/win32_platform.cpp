// SPDX-License-Identifier: MIT
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/codec.h"
#include "platform/platform.h"

// The Windows side of the platform layer: the wide directory search and the wide file functions;
// paths are UTF-16 throughout.

namespace quillbox::platform {

namespace {

// The directory search's path buffers hold 260 units, terminating zero included.
constexpr std::size_t kPathUnits = MAX_PATH;

class SearchHandle {
public:
    explicit SearchHandle(HANDLE h) : handle_(h) {}
    ~SearchHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            ::FindClose(handle_);
        }
    }
    SearchHandle(const SearchHandle&) = delete;
    SearchHandle& operator=(const SearchHandle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

}  // namespace

const wchar_t kPathSeparator = L'\\';

NativeString NativeFromUtf16(std::u16string_view text) {
    return NativeString(text.begin(), text.end());
}

NativeString NativeFromUtf8(std::string_view utf8) {
    const std::u16string wide = Utf8ToUtf16(utf8, Utf8Errors::Replace).value_or(std::u16string());
    return NativeString(wide.begin(), wide.end());
}

std::string DisplayPath(NativeView path) {
    return Utf16ToUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(path.data()), path.size()));
}

bool EndsWithSeparator(NativeView path) {
    return !path.empty() && (path.back() == L'\\' || path.back() == L'/');
}

NativeView TrimTrailingSeparators(NativeView path) {
    const auto isDriveRoot = [](NativeView p) { return p.size() == 3 && p[1] == L':'; };
    while (path.size() > 1 && EndsWithSeparator(path) && !isDriveRoot(path)) {
        path.remove_suffix(1);
    }
    return path;
}

bool FitsPathLimit(NativeView path) {
    return path.size() < kPathUnits;
}

namespace {

FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

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

}  // namespace

FolderCheck CheckFolder(NativeView folder) {
    if (folder.empty()) {
        return {FolderState::Missing, ERROR_PATH_NOT_FOUND, std::nullopt};
    }
    const NativeString path(folder);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                             error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH;
        return {missing ? FolderState::Missing : FolderState::Unlistable, static_cast<int>(error),
                std::nullopt};
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return {FolderState::NotAFolder, ERROR_DIRECTORY, std::nullopt};
    }
    std::optional<FileId> id;
    const Handle h(::CreateFileW(path.c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (h.Get() != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(h.Get(), &info)) {
        id = IdOf(info);
    }
    return {FolderState::Listable, 0, id};
}

bool ListFolder(NativeView folder, const EntryVisitor& visit) {
    NativeString pattern(folder);
    if (!EndsWithSeparator(pattern)) {
        pattern += L'\\';
    }
    pattern += L"*.*";
    if (!FitsPathLimit(pattern)) {
        return false;
    }
    WIN32_FIND_DATAW data;
    SearchHandle search(::FindFirstFileW(pattern.c_str(), &data));
    if (search.Get() == INVALID_HANDLE_VALUE) {
        return false;
    }
    do {
        const NativeView name(data.cFileName);
        if (name == L"." || name == L"..") {
            continue;
        }
        // A file is checked, and known, only when it is opened.
        visit(name,
              (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::Folder
                                                                      : EntryKind::Unchecked,
              std::nullopt);
    } while (::FindNextFileW(search.Get(), &data));
    return true;
}

InputFile::~InputFile() {
    Close();
}

void InputFile::Close() {
    if (handle_ != -1) {
        std::fclose(reinterpret_cast<std::FILE*>(handle_));
        handle_ = -1;
    }
}

OpenFolder::~OpenFolder() = default;

// The wide file functions take whole paths: the folder is only remembered.
void OpenFolder::Hold(NativeView folder) {
    path_.assign(folder);
}

unsigned UsableProcessors() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    unsigned count = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system)) {
        for (; process != 0; process &= process - 1) {
            ++count;
        }
    }
    return count > 0 ? count : 1u;
}

InputFile::Outcome InputFile::Open(const OpenFolder& folder, NativeView name, EntryKind kind,
                                   const std::optional<FileId>& id) {
    NativeString path(folder.path_);
    path.append(name);
    return Open(path, kind, id);
}

InputFile::Outcome InputFile::Open(NativeView path, EntryKind, const std::optional<FileId>&) {
    Close();
    id_.reset();
    const NativeString terminated(path);
    const DWORD attributes = ::GetFileAttributesW(terminated.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        lastError_ = static_cast<int>(::GetLastError());
        return Outcome::CannotOpen;
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return Outcome::NotRegularFile;
    }
    // Opened in binary; the text-mode translation of a card is done by ReadTextHead itself.
    std::FILE* f = ::_wfopen(terminated.c_str(), L"rb");
    if (f == nullptr) {
        lastError_ = static_cast<int>(::GetLastError());
        return Outcome::CannotOpen;
    }
    handle_ = reinterpret_cast<std::intptr_t>(f);
    BY_HANDLE_FILE_INFORMATION info;
    const auto os = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(f)));
    if (os != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(os, &info)) {
        id_ = IdOf(info);
    }
    return Outcome::Opened;
}

std::optional<std::size_t> InputFile::ReadHead(std::span<char> area) {
    if (handle_ == -1) {
        return std::nullopt;
    }
    auto* f = reinterpret_cast<std::FILE*>(handle_);
    const std::size_t got = std::fread(area.data(), 1, area.size(), f);
    if (got < area.size() && std::ferror(f) != 0) {
        lastError_ = static_cast<int>(::GetLastError());
        return std::nullopt;
    }
    return got;
}

InputFile::WholeRead InputFile::ReadWhole(std::string& bytes, std::size_t limit) {
    bytes.clear();
    if (handle_ == -1) {
        return WholeRead::Failed;
    }
    auto* f = reinterpret_cast<std::FILE*>(handle_);
    std::vector<char> block(65536);
    for (;;) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), f);
        if (got < block.size() && std::ferror(f) != 0) {
            lastError_ = static_cast<int>(::GetLastError());
            return WholeRead::Failed;
        }
        if (bytes.size() + got > limit) {
            return WholeRead::TooLarge;
        }
        bytes.append(block.data(), got);
        if (got < block.size()) {
            return WholeRead::Read;
        }
    }
}

std::optional<std::size_t> InputFile::ReadChunk(std::span<char> area) {
    // fread fills the area unless the file ends or a read fails.
    return ReadHead(area);
}

std::optional<std::size_t> InputFile::ReadTextHead(std::span<char> area) {
    if (handle_ == -1) {
        return std::nullopt;
    }
    // As the C library's text mode reads: CR LF as LF, 0x1A ends the data, a lone CR stays.
    auto* f = reinterpret_cast<std::FILE*>(handle_);
    std::size_t delivered = 0;
    bool pendingCr = false;
    while (delivered < area.size()) {
        const int c = std::fgetc(f);
        if (c == EOF) {
            if (std::ferror(f) != 0) {
                lastError_ = static_cast<int>(::GetLastError());
                return std::nullopt;
            }
            break;
        }
        if (pendingCr) {
            pendingCr = false;
            if (c != '\n') {
                area[delivered++] = '\r';
                if (delivered == area.size()) {
                    break;
                }
            }
        }
        if (c == 0x1A) {
            return delivered;
        }
        if (c == '\r') {
            pendingCr = true;
        } else {
            area[delivered++] = static_cast<char>(c);
        }
    }
    if (pendingCr && delivered < area.size()) {
        area[delivered++] = '\r';
    }
    return delivered;
}

namespace {

// "-" and the console's own names are standard output; nothing else names an open handle.
std::optional<DWORD> StandardHandleOf(const std::filesystem::path& output) {
    const std::wstring& path = output.native();
    if (path == L"-" || path == L"CON" || path == L"CONOUT$") {
        return STD_OUTPUT_HANDLE;
    }
    return std::nullopt;
}

// The temporary files that Ctrl+C or the closing of the console must not leave behind. The
// console's handler runs on a thread of its own while the run goes on, so what it needs lies in
// static storage: each file's handle while it is open, its path once it is closed.
struct PendingFile {
    std::atomic<int> state{0};  // 0 free, 1 being filled, 2 to be removed
    std::atomic<HANDLE> handle{INVALID_HANDLE_VALUE};
    wchar_t path[1024];
};
PendingFile pendingFiles[4];

BOOL WINAPI RemovePendingFiles(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT ||
        event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        for (PendingFile& file : pendingFiles) {
            if (file.state.load() != 2) {
                continue;
            }
            // Open, it goes when the process ends and closes it; closed, at once.
            const HANDLE h = file.handle.load();
            FILE_DISPOSITION_INFO dispose{TRUE};
            if (h == INVALID_HANDLE_VALUE ||
                !::SetFileInformationByHandle(h, FileDispositionInfo, &dispose, sizeof dispose)) {
                ::DeleteFileW(file.path);
            }
        }
    }
    return FALSE;  // the default handling ends the program
}

int AddPendingFile(const std::filesystem::path& path, HANDLE h) {
    static std::once_flag once;
    std::call_once(once, [] { ::SetConsoleCtrlHandler(RemovePendingFiles, TRUE); });
    const std::wstring& native = path.native();
    if (native.size() >= std::size(pendingFiles[0].path)) {
        return -1;
    }
    for (int slot = 0; slot < static_cast<int>(std::size(pendingFiles)); ++slot) {
        int free = 0;
        PendingFile& file = pendingFiles[slot];
        if (file.state.compare_exchange_strong(free, 1)) {
            std::copy(native.c_str(), native.c_str() + native.size() + 1, file.path);
            file.handle.store(h);
            file.state.store(2);
            return slot;
        }
    }
    return -1;
}

void ClosePendingFile(int slot) {
    if (slot >= 0) {
        pendingFiles[slot].handle.store(INVALID_HANDLE_VALUE);
    }
}

void RemovePendingFile(int& slot) {
    if (slot >= 0) {
        pendingFiles[slot].state.store(0);
        slot = -1;
    }
}

}  // namespace

std::optional<Destination> ResolveDestination(const std::filesystem::path& output) {
    if (output.empty() || StandardHandleOf(output)) {
        return std::nullopt;
    }
    // A link is followed to the file it names, when that file is there.
    std::filesystem::path target = output;
    const Handle file(::CreateFileW(output.c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file.Get() != INVALID_HANDLE_VALUE) {
        std::wstring final(32768, L'\0');
        const DWORD length = ::GetFinalPathNameByHandleW(file.Get(), final.data(),
                                                         static_cast<DWORD>(final.size()), 0);
        if (length > 0 && length < final.size()) {
            final.resize(length);
            target = final;
        }
    }
    const std::filesystem::path folder = target.parent_path();
    const Handle h(::CreateFileW(folder.empty() ? L"." : folder.c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (h.Get() == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(h.Get(), &info)) {
        return std::nullopt;
    }
    return Destination{IdOf(info), target.filename().native()};
}

bool SameDestination(const Destination& a, const Destination& b) {
    // Windows' names are one name in any letter case.
    return a.folder == b.folder &&
           ::CompareStringOrdinal(a.name.c_str(), static_cast<int>(a.name.size()), b.name.c_str(),
                                  static_cast<int>(b.name.size()), TRUE) == CSTR_EQUAL;
}

std::optional<FileId> IdentifyOutput(const std::filesystem::path& output) {
    if (output.empty() || StandardHandleOf(output)) {
        return std::nullopt;
    }
    const Handle h(::CreateFileW(output.c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (h.Get() == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(h.Get(), &info)) {
        return std::nullopt;
    }
    return IdOf(info);
}

void ArchiveFile::Discard() {
    ClosePendingFile(pending_);
    if (handle_ != -1 && ownsHandle_) {
        ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    }
    handle_ = -1;
    if (!temporary_.empty()) {
        ::DeleteFileW(temporary_.c_str());
        temporary_.clear();
    }
    RemovePendingFile(pending_);
}

bool ArchiveFile::Open(const std::filesystem::path& output) {
    Discard();
    failure_ = Failure::None;
    if (output.empty()) {
        return Fail(Failure::Open, ERROR_PATH_NOT_FOUND, output);
    }
    if (const auto which = StandardHandleOf(output)) {
        const HANDLE h = ::GetStdHandle(*which);
        if (h == INVALID_HANDLE_VALUE || h == nullptr) {
            return Fail(Failure::Open, static_cast<int>(::GetLastError()), output);
        }
        handle_ = reinterpret_cast<std::intptr_t>(h);
        ownsHandle_ = false;
        return true;
    }
    target_ = output;
    const DWORD attributes = ::GetFileAttributesW(target_.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return Fail(Failure::Open, ERROR_ACCESS_DENIED, output);
    }
    // A rename would replace an archive that its owner protected from writing.
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return Fail(Failure::Refused, ERROR_ACCESS_DENIED, output);
    }
    const std::filesystem::path folder = target_.parent_path();
    const std::wstring base = target_.filename().native();
    const auto serial = static_cast<unsigned long>(::GetTickCount()) ^
                        static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(this));
    HANDLE h = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
        const std::wstring name = temporaryNames_
                                      ? temporaryNames_(base, attempt)
                                      : L"." + base + L".quillbox-" +
                                            std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                            std::to_wstring((serial + attempt) % 1000000) + L".tmp";
        temporary_ = folder / name;
        // DELETE: so that Ctrl+C can mark the open file to go.
        h = ::CreateFileW(temporary_.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) {
            const int error = static_cast<int>(::GetLastError());
            temporary_.clear();
            return Fail(Failure::NoTemporary, error, folder.empty() ? L"." : folder);
        }
    }
    if (h == INVALID_HANDLE_VALUE) {
        temporary_.clear();
        return Fail(Failure::NoTemporary, ERROR_FILE_EXISTS, folder.empty() ? L"." : folder);
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    ownsHandle_ = true;
    pending_ = AddPendingFile(temporary_, h);
    return true;
}

bool ArchiveFile::Write(std::string_view bytes) {
    if (handle_ == -1) {
        return false;
    }
    const auto h = reinterpret_cast<HANDLE>(handle_);
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(h, bytes.data(), chunk, &written, nullptr)) {
            return Fail(Failure::Write, static_cast<int>(::GetLastError()), target_);
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool ArchiveFile::Finish() {
    if (handle_ == -1) {
        return false;
    }
    const auto h = reinterpret_cast<HANDLE>(handle_);
    if (temporary_.empty()) {
        handle_ = -1;
        return true;
    }
    if (!::FlushFileBuffers(h)) {
        return Fail(Failure::Write, static_cast<int>(::GetLastError()), target_);
    }
    ClosePendingFile(pending_);
    handle_ = -1;
    if (!::CloseHandle(h)) {
        return Fail(Failure::Write, static_cast<int>(::GetLastError()), target_);
    }
    return true;
}

bool ArchiveFile::Replace() {
    // Only a finished file; one written in place is in place already.
    if (handle_ != -1 || temporary_.empty()) {
        return handle_ == -1 && failure_ == Failure::None;
    }
    // Another program (or run) may hold the old archive open for a moment, as a virus scanner
    // or a second run's own rename does: the replacement is tried again for a while.
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExW(temporary_.c_str(), target_.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            break;
        }
        const DWORD error = ::GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 100) {
            return Fail(Failure::Replace, static_cast<int>(error), target_);
        }
        ::Sleep(10);
    }
    temporary_.clear();
    RemovePendingFile(pending_);
    return true;
}

std::string SystemErrorText(int error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text != nullptr ? text : L"", length);
    if (text != nullptr) {
        ::LocalFree(text);
    }
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    return DisplayPath(message);
}

}  // namespace quillbox::platform
