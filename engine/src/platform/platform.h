// SPDX-License-Identifier: MIT
#pragma once

// The engine's one door to the operating system: paths, directory listing and files. The
// posix_*.cpp and win32_*.cpp files implement it; the build picks one set. Text conversions are
// codec.h's.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace quillbox::platform {

// Paths are held as the system names them: bytes on POSIX, UTF-16 on Windows.
using NativeChar = std::filesystem::path::value_type;
using NativeString = std::filesystem::path::string_type;
using NativeView = std::basic_string_view<NativeChar>;

// A path typed as text: UTF-8 bytes on POSIX (a lone surrogate as U+FFFD), the units on Windows.
NativeString NativeFromUtf16(std::u16string_view text);
// A name the program made from UTF-8 text (an archive folder's pages, a path a backup names):
// the bytes on POSIX, UTF-16 on Windows.
NativeString NativeFromUtf8(std::string_view utf8);

// A path for people: UTF-8, with U+FFFD for what the system's name does not spell as text.
std::string DisplayPath(NativeView path);

// The separator the scan puts between a folder and an entry name.
extern const NativeChar kPathSeparator;

// Removes trailing separators, keeping a root (a lone separator, or a drive root such as X:\).
NativeView TrimTrailingSeparators(NativeView path);
bool EndsWithSeparator(NativeView path);

// Whether a built path fits the platform's path buffers (260 units on Windows, PATH_MAX bytes
// on POSIX), terminating zero included.
bool FitsPathLimit(NativeView path);

// What a file or folder is, whatever names reach it: device and inode, or on Windows the
// volume serial number and the file index.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};
struct FileIdHash {
    std::size_t operator()(const FileId& id) const noexcept {
        return std::hash<std::uint64_t>()(id.inode * 0x9E3779B97F4A7C15u ^ id.device);
    }
};

// Whether a folder given by the user can be scanned, and if not, why.
enum class FolderState { Listable, Missing, NotAFolder, Unlistable };
struct FolderCheck {
    FolderState state = FolderState::Listable;
    int systemError = 0;
    std::optional<FileId> id;
};
FolderCheck CheckFolder(NativeView folder);

// What a folder listing tells of an entry. A link to a folder is a folder.
enum class EntryKind : std::uint8_t {
    Folder,
    RegularFile,  // the listing saw a regular file: reading it needs no further check
    Unchecked,    // any other entry: what it is shows only when it is opened
};

// Calls visit for every entry of the folder except "." and "..", in the platform's order, with
// the entry's identity where the listing tells it (the target's, for a link). False when the
// folder cannot be listed.
using EntryVisitor =
    std::function<void(NativeView name, EntryKind kind, const std::optional<FileId>& id)>;
bool ListFolder(NativeView folder, const EntryVisitor& visit);

// A folder held open while its files are read, so that each is opened by its name alone and the
// system does not walk the folder's path again for every file. Where a folder cannot be held
// (or the system has no such thing), files are opened by their whole path.
class OpenFolder {
public:
    OpenFolder() = default;
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    ~OpenFolder();

    // The folder as a scan names it, separator at the end; a no-op for the folder already held.
    void Hold(NativeView folder);
    NativeView Path() const { return path_; }

private:
    friend class InputFile;
    NativeString path_;
    std::intptr_t handle_ = -1;
};

// The size of the regular file at path, a link followed; none where there is no such file.
std::optional<std::uint64_t> RegularFileSize(NativeView path);

// The "file:" URI of an absolute path, as SQLite opens one: the path's bytes (on Windows its
// UTF-8, "/" for "\\" and "file:///C:/..." for a drive) percent-encoded where they are no
// letter, digit or one of "-._~/:", so that "%", "?" and "#" in a name stay part of it.
std::string FileUri(NativeView path);

// A folder of the program's own below the system's temporary folder, open to its user alone,
// removed with every file in it when the object goes.
class PrivateFolder {
public:
    PrivateFolder() = default;
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    ~PrivateFolder() { Remove(); }

    // False, with the system's error in LastError, when no folder could be made.
    bool Create();
    // Copies the regular file at source into the folder under name; false on any failure.
    bool CopyIn(NativeView source, NativeView name);
    // With its separator at the end; empty before Create.
    NativeView Path() const { return path_; }
    int LastError() const { return lastError_; }

private:
    void Remove();

    NativeString path_;
    int lastError_ = 0;
};

// How many threads the process can run at once: the processors it may use.
unsigned UsableProcessors();

// One input file, opened for reading by its name in a folder, closed when the object goes.
class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    enum class Outcome { Opened, CannotOpen, NotRegularFile };
    // kind and id are what the listing said of the file.
    Outcome Open(NativeView path, EntryKind kind, const std::optional<FileId>& id);
    // The same for a file of the folder held.
    Outcome Open(const OpenFolder& folder, NativeView name, EntryKind kind,
                 const std::optional<FileId>& id);
    // None when the file's identity could not be learnt.
    const std::optional<FileId>& Id() const { return id_; }
    int LastError() const { return lastError_; }

    // Up to area.size() bytes from the start of the file, as stored; none on a read error.
    std::optional<std::size_t> ReadHead(std::span<char> area);
    // As ReadHead, in the C library's text mode: CR LF is delivered as LF, a byte 0x1A ends
    // the data, and area.size() counts the bytes after that translation.
    std::optional<std::size_t> ReadTextHead(std::span<char> area);
    // The whole file as stored, when it holds no more than limit bytes.
    enum class WholeRead { Read, TooLarge, Failed };
    WholeRead ReadWhole(std::string& bytes, std::size_t limit);
    // The next bytes of the file, from where the last read stopped, into area: fewer than
    // area.size() only at the end of the file (0 there); none on a read error. For files read
    // streamed, whatever their size.
    std::optional<std::size_t> ReadChunk(std::span<char> area);

private:
    void Close();
    // POSIX: what open() or openat() gave, checked.
    Outcome Opened(int descriptor, EntryKind kind, const std::optional<FileId>& id);

    std::intptr_t handle_ = -1;
    std::optional<FileId> id_;
    int lastError_ = 0;
};

// Where the archive goes, as far as it can be told before it is written: its identity when it
// names an existing file, so that no input is ever overwritten.
std::optional<FileId> IdentifyOutput(const std::filesystem::path& output);

// Where a path leads once its links are followed, whether or not a file is there yet: its
// folder's identity and its final name. Two outputs with the same destination are one file.
// None where the folder cannot be told (or for an open descriptor's name such as "-").
struct Destination {
    FileId folder;
    NativeString name;
};
std::optional<Destination> ResolveDestination(const std::filesystem::path& output);
// Whether two destinations are one: the same folder and name (on Windows, the same name in any
// letter case).
bool SameDestination(const Destination& a, const Destination& b);

// The archive file. A regular file (new or old) is written to a new temporary file beside it
// and renamed over it by Replace, so the old archive stays whole until the new one is; a link is
// followed and its target replaced. Standard output ("-"), a path naming an open descriptor and
// any output that is no regular file (a fifo, a device) are written directly. The temporary
// file is removed when the program is stopped by SIGINT, SIGTERM or SIGHUP (on Windows by
// Ctrl+C or the closing of its console) before it is renamed.
class ArchiveFile {
public:
    ArchiveFile() = default;
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;
    // Without a Replace the temporary file is removed and the old archive left as it was.
    ~ArchiveFile() { Discard(); }

    enum class Failure { None, Refused, NoTemporary, Open, Write, Replace };
    bool Open(const std::filesystem::path& output);
    bool Write(std::string_view bytes);
    // Makes what was written durable and closes it; the old archive is still in place.
    bool Finish();
    // Puts the finished file in the old archive's place.
    bool Replace();

    // The temporary file's name for each attempt; by default ".NAME.quillbox-PID-N.tmp". A
    // test fixes it to prove that a file already there is never touched.
    using TemporaryNames = std::function<NativeString(const NativeString& base, unsigned attempt)>;
    void SetTemporaryNames(TemporaryNames names) { temporaryNames_ = std::move(names); }

    Failure LastFailure() const { return failure_; }
    int LastError() const { return lastError_; }
    // The path the failure concerns: the output, or the folder that takes no temporary file.
    const std::filesystem::path& FailurePath() const { return failurePath_; }

private:
    bool Fail(Failure failure, int error, std::filesystem::path path = {}) {
        Discard();
        failure_ = failure;
        lastError_ = error;
        failurePath_ = std::move(path);
        return false;
    }
    void Discard();

    std::intptr_t handle_ = -1;
    bool ownsHandle_ = false;
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int pending_ = -1;  // the temporary file's place among those a signal removes
    TemporaryNames temporaryNames_;
    Failure failure_ = Failure::None;
    int lastError_ = 0;
    std::filesystem::path failurePath_;
};

// A file made anew in an archive folder being built (ArchiveFolder): created where no file is,
// written and closed, never flushed by itself. The folder is made durable whole, once, before it
// is put in place.
class NewFile {
public:
    NewFile() = default;
    NewFile(NewFile&& other) noexcept { *this = std::move(other); }
    NewFile& operator=(NewFile&& other) noexcept;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile() { Close(); }

    bool Create(NativeView path);
    bool Write(std::string_view bytes);
    // False when the close reported a failed write.
    bool Close();
    int LastError() const { return lastError_; }

private:
    std::intptr_t handle_ = -1;
    int lastError_ = 0;
};

// A file of a folder being built given another name in the same folder, where no file has it.
bool RenameNewFile(NativeView from, NativeView to, int& error);
// Removes a file the run made; false where none was removed.
bool RemoveNewFile(NativeView path);

// Where a path lies among the folders: the identities of the folder it names, or where nothing is
// there of the nearest folder above it that is there, and of every folder above that, links
// followed, the nearest first. exists: the path itself was found.
struct FolderChain {
    std::vector<FileId> ids;
    bool exists = false;
};
FolderChain ChainOf(const std::filesystem::path& path);

// An archive folder: a folder of pages and media built whole beside its place under a temporary
// name (".NAME.quillbox-PID-N.tmp"), made durable once, then put in place. Only a folder that
// Quillbox wrote is ever replaced: each holds a marker file (kMarkerName) listing what it wrote.
// An empty folder at the path is taken; a folder without the marker that holds anything, a file
// or a link at the path is refused before anything is made. The old folder is renamed aside, the
// new one in (where the system swaps two names at once, as Linux does, the two are swapped), and
// the old one removed only when it holds nothing but what its marker lists, no link followed;
// otherwise it is kept under its aside name ("NAME.quillbox-old").
class ArchiveFolder {
public:
    static constexpr std::string_view kMarkerName = ".quillbox-archive";
    // The marker's first line; the names below it, one a line, "/" between folder and name, a
    // folder's name ending in "/".
    static constexpr std::string_view kMarkerHeading = "Quillbox archive folder 1";

    ArchiveFolder() = default;
    ArchiveFolder(const ArchiveFolder&) = delete;
    ArchiveFolder& operator=(const ArchiveFolder&) = delete;
    // Without a Replace, the temporary folder goes with everything written into it.
    ~ArchiveFolder() { Discard(); }

    enum class Failure { None, NotArchiveFolder, NoTemporary, Write, Replace };
    // Checks what is at the output's path and makes the temporary folder beside it.
    bool Open(const std::filesystem::path& output);
    // The temporary folder, with its separator at the end.
    NativeView Path() const { return path_; }
    // Makes a folder of the temporary folder (an ASCII name).
    bool MakeFolder(std::string_view name);
    // Writes the marker listing names (UTF-8, below the folder) and makes the folder and every
    // file in it durable; the old folder is still in place.
    bool Finish(const std::vector<std::string>& names);
    // Puts the finished folder in the old one's place.
    bool Replace();
    // Where an old folder that held more than its marker lists was kept; empty when it went.
    const std::filesystem::path& KeptAside() const { return keptAside_; }
    // The names a marker's text lists; none when it is no marker of ours.
    static std::optional<std::unordered_set<std::string>> ListedNames(std::string_view marker);

    // Called after each step of Replace: a test stops the program there.
    enum class Step { OldAside, NewIn, OldRemoved };
    using StepHook = std::function<void(Step)>;
    void SetStepHook(StepHook hook) { stepHook_ = std::move(hook); }

    Failure LastFailure() const { return failure_; }
    int LastError() const { return lastError_; }
    // The output, or the folder that takes no temporary folder.
    const std::filesystem::path& FailurePath() const { return failurePath_; }

private:
    enum class Target { Missing, Empty, Ours };
    bool Fail(Failure failure, int error, std::filesystem::path path);
    std::optional<Target> Examine(int& error) const;
    void Reached(Step step) const {
        if (stepHook_) {
            stepHook_(step);
        }
    }
    // Removes the old folder at path when it holds only what its marker lists.
    bool RemoveOld(const NativeString& path);
    void Discard();

    std::filesystem::path target_;
    NativeString path_;
    std::filesystem::path keptAside_;
    StepHook stepHook_;
    Failure failure_ = Failure::None;
    int lastError_ = 0;
    std::filesystem::path failurePath_;
};

// The system's text for an error number (errno, or GetLastError() on Windows), as UTF-8.
std::string SystemErrorText(int error);

}  // namespace quillbox::platform
