#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <vector>

#include "platform/platform.h"

// The Windows side of the platform layer: the system's own code pages, the wide directory
// search and the C library's narrow file functions, as the program has always used them.

namespace quillbox::platform {

namespace {

// The directory search's path buffers hold 260 units, terminating zero included.
constexpr std::size_t kPathUnits = MAX_PATH;

const wchar_t* AsWide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

std::wstring ToWide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

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

class CFile {
public:
    explicit CFile(std::FILE* f) : file_(f) {}
    ~CFile() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    std::FILE* Get() const { return file_; }

private:
    std::FILE* file_;
};

bool IsRegularFile(const std::string& narrowPath) {
    const DWORD attributes = ::GetFileAttributesA(narrowPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

std::optional<std::size_t> ReadHead(const std::string& narrowPath, std::span<char> area,
                                    const char* mode) {
    if (!IsRegularFile(narrowPath)) {
        return std::nullopt;
    }
    CFile file(std::fopen(narrowPath.c_str(), mode));
    if (file.Get() == nullptr) {
        return std::nullopt;
    }
    const std::size_t got = std::fread(area.data(), 1, area.size(), file.Get());
    if (got < area.size() && std::ferror(file.Get()) != 0) {
        return std::nullopt;
    }
    return got;
}

}  // namespace

const char16_t kPathSeparator = u'\\';

std::optional<std::u16string> AnsiToUtf16(std::string_view narrow) {
    if (narrow.empty()) {
        return std::u16string();
    }
    const int size = static_cast<int>(narrow.size());
    // Bytes the code page does not define are refused, not replaced, so that a path that does
    // not survive the round trip is noticed.
    const int units =
        ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.data(), size, nullptr, 0);
    if (units <= 0) {
        return std::nullopt;
    }
    std::u16string out(static_cast<std::size_t>(units), u'\0');
    if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, narrow.data(), size,
                              reinterpret_cast<wchar_t*>(out.data()), units) != units) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::size_t> Utf16ToOem(std::u16string_view wide, std::span<char> out) {
    // Without best fit, a character the code page lacks becomes "?" instead of a look-alike (the
    // full-width cent for U+00A2), and the private-use characters, which Windows alone puts in
    // the code page's user-defined area, become "?" too: the archive is the same on every system.
    std::u16string terminated(wide.substr(0, wide.find(u'\0')));
    for (char16_t& unit : terminated) {
        if (unit >= 0xE000 && unit <= 0xF8FF) {
            unit = u'?';
        }
    }
    const int bytes =
        ::WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, AsWide(terminated.c_str()), -1,
                              out.data(), static_cast<int>(out.size()), nullptr, nullptr);
    if (bytes <= 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(bytes - 1);
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8, Utf8Errors errors) {
    if (utf8.empty()) {
        return std::u16string();
    }
    const DWORD flags = errors == Utf8Errors::Reject ? MB_ERR_INVALID_CHARS : 0;
    const int size = static_cast<int>(utf8.size());
    const int units = ::MultiByteToWideChar(CP_UTF8, flags, utf8.data(), size, nullptr, 0);
    if (units <= 0) {
        return std::nullopt;
    }
    std::u16string out(static_cast<std::size_t>(units), u'\0');
    if (::MultiByteToWideChar(CP_UTF8, flags, utf8.data(), size,
                              reinterpret_cast<wchar_t*>(out.data()), units) != units) {
        return std::nullopt;
    }
    return out;
}

bool EndsWithSeparator(std::u16string_view path) {
    return !path.empty() && (path.back() == u'\\' || path.back() == u'/');
}

std::u16string_view TrimTrailingSeparators(std::u16string_view path) {
    const auto isDriveRoot = [](std::u16string_view p) { return p.size() == 3 && p[1] == u':'; };
    while (path.size() > 1 && EndsWithSeparator(path) && !isDriveRoot(path)) {
        path.remove_suffix(1);
    }
    return path;
}

bool FitsPathLimit(std::u16string_view path) {
    return path.size() < kPathUnits;
}

bool PathExists(std::u16string_view path) {
    if (path.empty() || !FitsPathLimit(path)) {
        return false;
    }
    const std::wstring wide = ToWide(path);
    if (EndsWithSeparator(path)) {
        // The directory search finds nothing for a root such as X:\ itself.
        return ::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    WIN32_FIND_DATAW data;
    SearchHandle probe(::FindFirstFileW(wide.c_str(), &data));
    return probe.Get() != INVALID_HANDLE_VALUE;
}

std::optional<FolderId> IdentifyFolder(std::u16string_view path) {
    const std::wstring wide = ToWide(path);
    HANDLE h =
        ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL ok = ::GetFileInformationByHandle(h, &info);
    ::CloseHandle(h);
    if (!ok || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return std::nullopt;
    }
    return FolderId{info.dwVolumeSerialNumber,
                    static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

bool ListFolder(std::u16string_view folder, const EntryVisitor& visit) {
    std::u16string pattern(folder);
    if (!EndsWithSeparator(pattern)) {
        pattern += u'\\';
    }
    pattern += u"*.*";
    if (!FitsPathLimit(pattern)) {
        return false;
    }
    WIN32_FIND_DATAW data;
    const std::wstring widePattern = ToWide(pattern);
    SearchHandle search(::FindFirstFileW(widePattern.c_str(), &data));
    if (search.Get() == INVALID_HANDLE_VALUE) {
        return false;
    }
    do {
        const std::u16string name(reinterpret_cast<const char16_t*>(data.cFileName));
        if (name == u"." || name == u"..") {
            continue;
        }
        // A file is checked again when it is read.
        visit(name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::Folder
                                                                            : EntryKind::Unchecked);
    } while (::FindNextFileW(search.Get(), &data));
    return true;
}

std::optional<std::size_t> ReadFileHead(const std::string& narrowPath, std::span<char> area,
                                        EntryKind) {
    return ReadHead(narrowPath, area, "rb");
}

std::optional<std::size_t> ReadTextFileHead(const std::string& narrowPath, std::span<char> area,
                                            EntryKind) {
    return ReadHead(narrowPath, area, "r");
}

// The C library takes the whole path each time.
std::optional<std::size_t> FolderFileReader::ReadHead(std::string_view folder,
                                                      std::string_view name, std::span<char> area,
                                                      EntryKind kind) {
    path_.assign(folder).append(name);
    return ReadFileHead(path_, area, kind);
}

std::optional<std::size_t> FolderFileReader::ReadTextHead(std::string_view folder,
                                                          std::string_view name,
                                                          std::span<char> area, EntryKind kind) {
    path_.assign(folder).append(name);
    return ReadTextFileHead(path_, area, kind);
}

OutputFile::~OutputFile() {
    if (handle_ != -1) {
        std::fclose(reinterpret_cast<std::FILE*>(handle_));
    }
}

bool OutputFile::Open(const std::string& narrowPath) {
    std::FILE* f = std::fopen(narrowPath.c_str(), "wb");
    if (f == nullptr) {
        lastError_ = static_cast<int>(::GetLastError());
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(f);
    return true;
}

bool OutputFile::Write(std::string_view bytes) {
    if (handle_ == -1) {
        return false;
    }
    auto* f = reinterpret_cast<std::FILE*>(handle_);
    if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        lastError_ = static_cast<int>(::GetLastError());
        return false;
    }
    return true;
}

bool OutputFile::Close() {
    if (handle_ == -1) {
        return false;
    }
    auto* f = reinterpret_cast<std::FILE*>(handle_);
    handle_ = -1;
    if (std::fclose(f) != 0) {
        lastError_ = static_cast<int>(::GetLastError());
        return false;
    }
    return true;
}

}  // namespace quillbox::platform
