#pragma once

// The engine's one door to the operating system: code pages, directory listing and files.
// posix_platform.cpp and win32_platform.cpp implement it; the build picks one.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quillbox::platform {

// Code page 936 ("ANSI") to UTF-16; none for bytes the code page does not define.
std::optional<std::u16string> AnsiToUtf16(std::string_view narrow);

// UTF-16 to code page 936 ("OEM") into out, terminating zero included. Conversion stops at the
// first zero unit. Unrepresentable units become "?". Returns the length without the terminator,
// or none when the text with its terminator does not fit.
std::optional<std::size_t> Utf16ToOem(std::u16string_view wide, std::span<char> out);

// UTF-8 to UTF-16. Strict: none for malformed input. Lenient: each malformed sequence becomes
// U+FFFD, as Windows' own conversion does.
enum class Utf8Errors { Reject, Replace };
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8, Utf8Errors errors);

// The separator the scan puts between a folder and an entry name.
extern const char16_t kPathSeparator;

// Removes trailing separators, keeping a root (a lone separator, or a drive root such as X:\).
std::u16string_view TrimTrailingSeparators(std::u16string_view path);
bool EndsWithSeparator(std::u16string_view path);

// Whether a built path fits the platform's path buffers (260 units on Windows, PATH_MAX bytes
// of the native path on POSIX), terminating zero included.
bool FitsPathLimit(std::u16string_view path);

// Identity of a folder, to stop a descent that would enter a folder already on its path.
struct FolderId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FolderId&) const = default;
};

// True when something exists at path (file or folder).
bool PathExists(std::u16string_view path);

std::optional<FolderId> IdentifyFolder(std::u16string_view path);

// What a folder listing tells of an entry. A link to a folder is a folder.
enum class EntryKind : std::uint8_t {
    Folder,
    RegularFile,  // the listing saw a regular file: reading it needs no further check
    Unchecked,    // any other entry: what it is shows only when it is opened
};

// Calls visit for every entry of the folder except "." and "..", in the platform's order.
// A name that cannot be turned into UTF-16 is left out. False when the folder cannot be listed.
using EntryVisitor = std::function<void(std::u16string_view name, EntryKind kind)>;
bool ListFolder(std::u16string_view folder, const EntryVisitor& visit);

// Reads up to area.size() bytes from the start of a regular file, as stored. Returns the number
// of bytes read, or none when the file cannot be opened or read or is no regular file. kind is
// what a listing said of the file.
std::optional<std::size_t> ReadFileHead(const std::string& narrowPath, std::span<char> area,
                                        EntryKind kind = EntryKind::Unchecked);

// As ReadFileHead, in the C library's text mode: CR LF is delivered as LF, a byte 0x1A ends
// the data, and area.size() counts the bytes after that translation.
std::optional<std::size_t> ReadTextFileHead(const std::string& narrowPath, std::span<char> area,
                                            EntryKind kind = EntryKind::Unchecked);

// Reads the heads of many files, each given as its folder's path and its name (code page 936),
// as ReadFileHead and ReadTextFileHead of folder + name would: a run of files in one folder
// has the folder's path converted once.
class FolderFileReader {
public:
    std::optional<std::size_t> ReadHead(std::string_view folder, std::string_view name,
                                        std::span<char> area, EntryKind kind);
    std::optional<std::size_t> ReadTextHead(std::string_view folder, std::string_view name,
                                            std::span<char> area, EntryKind kind);

private:
    int Open(std::string_view folder, std::string_view name, EntryKind kind);

    std::string folder_;
    bool folderSeen_ = false;
    bool folderJoins_ = false;  // whether nativeFolder_ can be joined with a name
    std::string nativeFolder_;  // the folder's path as the system takes it
    std::string path_;
};

// The archive file: created or truncated by Open, written through, checked at Close.
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    bool Open(const std::string& narrowPath);
    bool Write(std::string_view bytes);
    bool Close();
    int LastError() const { return lastError_; }

private:
    std::intptr_t handle_ = -1;
    int lastError_ = 0;
};

}  // namespace quillbox::platform
