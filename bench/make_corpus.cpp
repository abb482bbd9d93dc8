// SPDX-License-Identifier: MIT
// Writes the benchmark corpus: N message files and M contact cards below one folder, and a
// manifest with the sizes the timing driver reports against.
//
//     quillbox_bench_corpus --seed S --messages N --cards M DIR

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "corpus_model.h"
#include "platform/platform.h"
#include "read/classic_reader.h"

namespace {

namespace fs = std::filesystem;
using quillbox::bench::CorpusModel;

bool ParseCount(std::string_view text, std::uint64_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

bool WriteWhole(const fs::path& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), std::strerror(errno));
            ::close(fd);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return ::close(fd) == 0;
}

// Creates the file's folder when it differs from the previous file's.
bool WriteInto(const fs::path& root, const std::string& relative, std::string_view bytes,
               fs::path& lastFolder) {
    const fs::path path = root / relative;
    if (path.parent_path() != lastFolder) {
        std::error_code error;
        fs::create_directories(path.parent_path(), error);
        if (error) {
            std::fprintf(stderr, "cannot create %s: %s\n", path.parent_path().c_str(),
                         error.message().c_str());
            return false;
        }
        lastFolder = path.parent_path();
    }
    return WriteWhole(path, bytes);
}

struct Totals {
    std::uint64_t messageFileBytes = 0;
    std::uint64_t cardFileBytes = 0;
    std::uint64_t messagesParsed = 0;
    std::uint64_t cardsParsed = 0;
    std::uint64_t messageTextBytes = 0;
    std::uint64_t contactTextBytes = 0;
};

// What the engine keeps of a message: its party and body as UTF-8. Read through
// the engine's own parser so that the figure is the text it holds, not an estimate.
void CountMessage(std::u16string_view text, Totals& totals) {
    const std::u16string_view head = text.substr(0, quillbox::kMessageHeadUnits);
    std::string bytes;
    for (const char16_t unit : head) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    quillbox::MessageStore store;
    if (!quillbox::ParseMessageHead(bytes, store)) {
        const auto& message = store.Messages().front();
        ++totals.messagesParsed;
        totals.messageTextBytes += message.Party().size() + message.Body().size();
    }
}

// The contact book keeps one name per number; the first card wins.
void CountCard(std::string_view card, std::unordered_set<std::string>& numbers, Totals& totals) {
    std::string text;
    for (std::size_t i = 0; i < card.size() && text.size() < quillbox::kCardHeadBytes; ++i) {
        if (!(card[i] == '\r' && i + 1 < card.size() && card[i + 1] == '\n')) {
            text.push_back(card[i]);
        }
    }
    quillbox::CardEntries entries;
    if (quillbox::ParseCardText(text, entries)) {
        return;  // refused: the run keeps nothing of it
    }
    ++totals.cardsParsed;
    for (std::size_t i = 0; i < entries.Size(); ++i) {
        if (numbers.insert(std::string(entries.Number(i))).second) {
            totals.contactTextBytes += entries.Number(i).size() + entries.Name(i).size();
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t seed = 1;
    std::uint64_t messages = 100000;
    std::uint64_t cards = 10000;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        std::uint64_t* target = arg == "--seed"       ? &seed
                                : arg == "--messages" ? &messages
                                : arg == "--cards"    ? &cards
                                                      : nullptr;
        if (target != nullptr && i + 1 < argc && ParseCount(argv[i + 1], *target)) {
            ++i;
        } else if (target == nullptr && !arg.starts_with("-") && folder.empty()) {
            folder = arg;
        } else {
            folder.clear();
            break;
        }
    }
    if (folder.empty()) {
        std::fprintf(stderr, "usage: %s [--seed S] [--messages N] [--cards M] DIR\n", argv[0]);
        return 2;
    }

    const CorpusModel model(seed);
    const fs::path root(folder);
    Totals totals;
    fs::path lastFolder;
    for (std::uint64_t i = 0; i < messages; ++i) {
        const std::u16string text = model.MessageText(i);
        const std::string bytes = model.MessageFile(i);
        if (!WriteInto(root / "messages", quillbox::bench::MessagePath(i), bytes, lastFolder)) {
            return 1;
        }
        totals.messageFileBytes += bytes.size();
        CountMessage(text, totals);
    }
    std::unordered_set<std::string> numbers;
    for (std::uint64_t i = 0; i < cards; ++i) {
        const std::string card = model.CardFile(i);
        if (!WriteInto(root / "contacts", quillbox::bench::CardPath(i), card, lastFolder)) {
            return 1;
        }
        totals.cardFileBytes += card.size();
        CountCard(card, numbers, totals);
    }

    std::ofstream manifest(root / "manifest.txt", std::ios::trunc);
    manifest << "seed=" << seed << "\nmessages=" << messages << "\ncards=" << cards
             << "\nmessage_file_bytes=" << totals.messageFileBytes
             << "\ncard_file_bytes=" << totals.cardFileBytes
             << "\nmessages_parsed=" << totals.messagesParsed
             << "\ncards_parsed=" << totals.cardsParsed
             << "\nmessage_text_bytes=" << totals.messageTextBytes
             << "\ncontact_text_bytes=" << totals.contactTextBytes
             << "\ndistinct_card_numbers=" << numbers.size() << "\n";
    manifest.close();
    if (!manifest) {
        std::fprintf(stderr, "cannot write the manifest in %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
