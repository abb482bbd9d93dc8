// SPDX-License-Identifier: MIT
// Where a run's time and memory go: the steps of a generation run taken one at a time through
// the engine's own units, each timed, with the resident memory after it. For finding what
// bounds quillbox-cli against the floor; the order of steps follows generation_run.cpp.
//
//     quillbox_bench_phases MSGDIR CARDDIR OUTFILE [--html] [--date]

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "order/contact_book.h"
#include "order/message_store.h"
#include "platform/platform.h"
#include "read/classic_reader.h"
#include "scan/folder_scan.h"
#include "write/byte_sink.h"
#include "write/encoding.h"
#include "write/html_archive.h"
#include "write/text_archive.h"

namespace {

// VmRSS and VmHWM of this process, in MiB.
std::pair<double, double> Memory() {
    std::ifstream status("/proc/self/status");
    std::string line;
    double rss = 0;
    double hwm = 0;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:")) {
            rss = std::stod(line.substr(6)) / 1024;
        } else if (line.starts_with("VmHWM:")) {
            hwm = std::stod(line.substr(6)) / 1024;
        }
    }
    return {rss, hwm};
}

class Stopwatch {
public:
    void Report(const char* step) {
        const auto now = std::chrono::steady_clock::now();
        const auto [rss, hwm] = Memory();
        std::printf("%-44s %8.3f s   RSS %6.1f MiB   peak %6.1f MiB\n", step,
                    std::chrono::duration<double>(now - last_).count(), rss, hwm);
        last_ = std::chrono::steady_clock::now();
    }

private:
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// What the floor does with one file, for comparison inside the same process.
void OpenReadClose(const std::string& path, std::size_t size) {
    std::array<char, 4096> area;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, area.data() + got, size - got);
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s MSGDIR CARDDIR OUTFILE [--html] [--date]\n", argv[0]);
        return 2;
    }
    bool html = false;
    auto order = quillbox::SortOrder::BySender;
    for (int i = 4; i < argc; ++i) {
        const std::string_view arg = argv[i];
        html = html || arg == "--html";
        order = arg == "--date" ? quillbox::SortOrder::ByDate : order;
    }
    const std::string messageFolder = argv[1];
    const std::string contactsFolder = argv[2];

    Stopwatch watch;
    quillbox::FileList cardFiles;
    quillbox::FileList messageFiles;
    using quillbox::InputKind;
    quillbox::CollectFiles(
        contactsFolder, cardFiles,
        {{"vcf", InputKind::ClassicCard}, {"VCF", InputKind::ClassicCard}, {}, true});
    quillbox::CollectFiles(
        messageFolder, messageFiles,
        {{"vmg", InputKind::ClassicMessage}, {"VMG", InputKind::ClassicMessage}, {}, true});
    watch.Report("scan both folders");

    std::string path;
    for (std::size_t i = 0; i < cardFiles.Size(); ++i) {
        cardFiles.PathAt(i, path);
        OpenReadClose(path, quillbox::kCardHeadBytes);
    }
    for (std::size_t i = 0; i < messageFiles.Size(); ++i) {
        messageFiles.PathAt(i, path);
        OpenReadClose(path, quillbox::kMessageCp936Bytes);
    }
    watch.Report("open, read and close every file (the floor)");

    quillbox::ContactBook book;
    quillbox::Items items;
    std::string scratch;
    const quillbox::ReadSettings settings;
    for (std::size_t i = 0; i < cardFiles.Size(); ++i) {
        const quillbox::ListedFile listed = cardFiles.At(i);
        cardFiles.PathAt(i, path);
        quillbox::platform::InputFile file;
        items.cards = {};
        quillbox::Input input{file, listed.folder, listed.name, settings, scratch};
        if (file.Open(path, listed.kind, listed.id) ==
                quillbox::platform::InputFile::Outcome::Opened &&
            !quillbox::ReadClassicCard(input, items).refused) {
            for (std::size_t e = 0; e < items.cards.Size(); ++e) {
                book.AddEntry(items.cards.Name(e), items.cards.Number(e));
            }
        }
    }
    watch.Report("read cards into the contact book");

    quillbox::MessageStore& messages = items.messages;
    messages.Reserve(messageFiles.Size());
    for (std::size_t i = 0; i < messageFiles.Size(); ++i) {
        const quillbox::ListedFile listed = messageFiles.At(i);
        messageFiles.PathAt(i, path);
        quillbox::platform::InputFile file;
        quillbox::Input input{file, listed.folder, listed.name, settings, scratch};
        if (file.Open(path, listed.kind, listed.id) ==
            quillbox::platform::InputFile::Outcome::Opened) {
            quillbox::ReadClassicMessage(input, items);
        }
    }
    watch.Report("read messages (file, conversion, parse)");
    messageFiles.Clear();
    cardFiles.Clear();
    watch.Report("free the path lists");

    quillbox::FileSink sink;
    if (!sink.Open(argv[3])) {
        std::fprintf(stderr, "cannot create %s\n", argv[3]);
        return 1;
    }
    messages.Order(order);
    watch.Report("order");
    quillbox::EncodingSink encoded(sink, quillbox::ArchiveEncoding::Gbk);
    if (html) {
        quillbox::WriteHtmlArchive(encoded, messages, book, {order, false}, "gb2312");
    } else {
        quillbox::WriteTextArchive(encoded, messages, book, {order, false});
    }
    const bool closed = sink.Close();
    watch.Report(html ? "write the HTML archive" : "write the text archive");
    std::printf("%zu messages\n", messages.Messages().size());
    return closed ? 0 : 1;
}
