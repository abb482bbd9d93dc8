// SPDX-License-Identifier: MIT
// The least any program can do with the two folders: list them recursively as quillbox-cli does,
// then open every message and card file, read its head and close it. Nothing is parsed,
// converted, kept or written.
//
//     quillbox_bench_floor MSGDIR CARDDIR
//
// Prints the number of files and bytes read, which the timing driver checks against the corpus.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The heads quillbox-cli reads: 2048 UTF-16 units of a message, 2048 bytes of a card.
constexpr std::size_t kMessageHead = 4096;
constexpr std::size_t kCardHead = 2048;

bool HasExtension(std::string_view name, std::string_view lower, std::string_view upper) {
    return name.size() > lower.size() && name[name.size() - lower.size() - 1] == '.' &&
           (name.ends_with(lower) || name.ends_with(upper));
}

void Collect(const std::string& folder, std::string_view lower, std::string_view upper,
             std::vector<std::string>& files) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
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
        std::string path = folder;
        path.append("/").append(name);
        if (isDirectory) {
            subfolders.push_back(std::move(path));
        } else if (HasExtension(name, lower, upper)) {
            files.push_back(std::move(path));
        }
    }
    ::closedir(dir);
    for (const std::string& subfolder : subfolders) {
        Collect(subfolder, lower, upper, files);
    }
}

// Reads until the head is full or the file ends, as any reader of a head must: a short read
// alone does not say the file has ended.
std::size_t ReadHead(const std::string& path, char* area, std::size_t size, bool& failed) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        failed = true;
        return 0;
    }
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, area + got, size - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            failed = failed || n < 0;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return got;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s MSGDIR CARDDIR\n", argv[0]);
        return 2;
    }
    std::vector<std::string> cards;
    std::vector<std::string> messages;
    Collect(argv[2], "vcf", "VCF", cards);
    Collect(argv[1], "vmg", "VMG", messages);

    std::array<char, kMessageHead> area;
    bool failed = false;
    std::size_t bytes = 0;
    for (const std::string& path : cards) {
        bytes += ReadHead(path, area.data(), kCardHead, failed);
    }
    for (const std::string& path : messages) {
        bytes += ReadHead(path, area.data(), kMessageHead, failed);
    }
    std::printf("messages=%zu cards=%zu bytes=%zu\n", messages.size(), cards.size(), bytes);
    return failed ? 1 : 0;
}
