// SPDX-License-Identifier: MIT
// The least any program can do with the two folders: list them recursively as quillbox-cli does,
// then open every message and card file, read its head and close it. Nothing is parsed,
// converted, kept or written.
//
//     quillbox_bench_floor [--threads N] [--lean] MSGDIR CARDDIR
//
// --threads N spreads the files as quillbox-cli --jobs N does: the listing on the calling
// thread, then the cards and after them the messages, each in chunks of 256 consecutive files
// taken by N threads in turn (1, the default: the calling thread alone). --lean does each file
// as the engine now does: opened by name relative to its open folder, and a short read of a
// regular file taken as its end. Without it a file is opened by its whole path and read until
// the head is full or a read finds the end.
//
// Prints the number of files and bytes read, which the timing driver checks against the corpus.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

// The heads quillbox-cli reads: 2048 UTF-16 units of a message, 2048 bytes of a card.
constexpr std::size_t kMessageHead = 4096;
constexpr std::size_t kCardHead = 2048;
// As many files as the engine's workers take at a time.
constexpr std::size_t kChunkFiles = 256;

struct ListedFile {
    std::uint32_t folder = 0;
    std::string name;
};

struct Listing {
    std::vector<std::string> folders;
    std::vector<ListedFile> files;
};

bool HasExtension(std::string_view name, std::string_view lower, std::string_view upper) {
    return name.size() > lower.size() && name[name.size() - lower.size() - 1] == '.' &&
           (name.ends_with(lower) || name.ends_with(upper));
}

void Collect(const std::string& folder, std::string_view lower, std::string_view upper,
             Listing& listing) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    const auto index = static_cast<std::uint32_t>(listing.folders.size());
    listing.folders.push_back(folder);
    std::vector<std::string> subfolders;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        bool isDirectory = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st {};
            isDirectory =
                ::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (isDirectory) {
            subfolders.push_back(std::string(folder).append("/").append(name));
        } else if (HasExtension(name, lower, upper)) {
            listing.files.push_back({index, std::string(name)});
        }
    }
    ::closedir(dir);
    for (const std::string& subfolder : subfolders) {
        Collect(subfolder, lower, upper, listing);
    }
}

struct Tally {
    std::size_t bytes = 0;
    bool failed = false;
};

// One thread's files: its head area, its path buffer and, when lean, the folder it holds open.
class Reader {
public:
    Reader(const Listing& listing, bool lean) : listing_(listing), lean_(lean) {}
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    ~Reader() {
        if (folderFd_ >= 0) {
            ::close(folderFd_);
        }
    }

    void Read(std::size_t first, std::size_t last, std::size_t head, Tally& tally) {
        for (std::size_t i = first; i < last; ++i) {
            tally.bytes += ReadHead(listing_.files[i], head, tally.failed);
        }
    }

private:
    int Open(const ListedFile& file) {
        if (!lean_) {
            path_.assign(listing_.folders[file.folder]).append("/").append(file.name);
            return ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        }
        if (file.folder != folder_) {
            if (folderFd_ >= 0) {
                ::close(folderFd_);
            }
            folder_ = file.folder;
            folderFd_ =
                ::open(listing_.folders[file.folder].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        }
        return ::openat(folderFd_, file.name.c_str(), O_RDONLY | O_CLOEXEC);
    }

    // Reads until the head is full or the file ends. Without --lean a short read alone does not
    // say the file has ended; with it, as the listing saw a regular file, it does.
    std::size_t ReadHead(const ListedFile& file, std::size_t size, bool& failed) {
        const int fd = Open(file);
        if (fd < 0) {
            failed = true;
            return 0;
        }
        std::size_t got = 0;
        while (got < size) {
            const ssize_t n = ::read(fd, area_.data() + got, size - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                failed = failed || n < 0;
                break;
            }
            got += static_cast<std::size_t>(n);
            if (lean_) {
                break;
            }
        }
        ::close(fd);
        return got;
    }

    const Listing& listing_;
    const bool lean_;
    std::array<char, kMessageHead> area_{};
    std::string path_;
    std::uint32_t folder_ = UINT32_MAX;
    int folderFd_ = -1;
};

Tally ReadAll(const Listing& listing, std::size_t head, unsigned threads, bool lean) {
    const std::size_t count = listing.files.size();
    const std::size_t chunks = (count + kChunkFiles - 1) / kChunkFiles;
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, chunks));
    Tally total;
    if (threads <= 1) {
        Reader(listing, lean).Read(0, count, head, total);
        return total;
    }
    std::atomic<std::size_t> next{0};
    std::vector<Tally> tallies(threads);
    {
        std::vector<std::jthread> workers;
        for (unsigned t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                Reader reader(listing, lean);
                for (;;) {
                    const std::size_t k = next.fetch_add(1, std::memory_order_relaxed);
                    if (k >= chunks) {
                        return;
                    }
                    reader.Read(k * kChunkFiles, std::min(count, (k + 1) * kChunkFiles), head,
                                tallies[t]);
                }
            });
        }
    }
    for (const Tally& tally : tallies) {
        total.bytes += tally.bytes;
        total.failed = total.failed || tally.failed;
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned threads = 1;
    bool lean = false;
    int arg = 1;
    for (; arg < argc && std::string_view(argv[arg]).starts_with("--"); ++arg) {
        const std::string_view option = argv[arg];
        if (option == "--lean") {
            lean = true;
        } else if (option == "--threads" && arg + 1 < argc) {
            const std::string_view value = argv[++arg];
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), threads);
            if (error != std::errc() || end != value.data() + value.size() || threads == 0 ||
                threads > 256) {
                threads = 0;
                break;
            }
        } else {
            threads = 0;
            break;
        }
    }
    if (threads == 0 || argc - arg != 2) {
        std::fprintf(stderr, "usage: %s [--threads N] [--lean] MSGDIR CARDDIR\n", argv[0]);
        return 2;
    }
    Listing cards;
    Listing messages;
    Collect(argv[arg + 1], "vcf", "VCF", cards);
    Collect(argv[arg], "vmg", "VMG", messages);

    const Tally fromCards = ReadAll(cards, kCardHead, threads, lean);
    const Tally fromMessages = ReadAll(messages, kMessageHead, threads, lean);
    std::printf("messages=%zu cards=%zu bytes=%zu\n", messages.files.size(), cards.files.size(),
                fromCards.bytes + fromMessages.bytes);
    return fromCards.failed || fromMessages.failed ? 1 : 0;
}
