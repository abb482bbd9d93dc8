// SPDX-License-Identifier: MIT
// A whole run over a small folder of fuzzed message and card files, in all four forms.

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "order/message_store.h"
#include "platform/platform.h"
#include "quillbox/archive.h"
#include "read/classic_reader.h"
#include "scan/folder_scan.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Folder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "quillbox-run-fuzz-XXXXXX").string();
        FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
        return fs::path(pattern);
    }();
    return folder;
}

// Message files are UTF-16LE; widening the fuzzer's bytes lets it reach the markers quickly.
std::string Widen(const std::string& bytes) {
    std::string wide;
    for (const char c : bytes) {
        wide.push_back(c);
        wide.push_back('\0');
    }
    return wide;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t Count(const std::string& text, std::string_view what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

bool EveryLineFeedAfterCr(const std::string& archive) {
    for (auto at = archive.find('\n'); at != std::string::npos; at = archive.find('\n', at + 1)) {
        if (at == 0 || archive[at - 1] != '\r') {
            return false;
        }
    }
    return true;
}

// Every "<" of the page opens one of its own tags: texts from the files are escaped.
bool OnlyPageTags(const std::string& page) {
    static const std::string_view tags[] = {
        "<!DOCTYPE ", "<!--",     "<html>",  "</html>",  "<head>",   "</head>",   "<meta ",
        "<title>",    "</title>", "<style>", "</style>", "<script>", "</script>", "<body>",
        "</body>",    "<div>",    "<div ",   "</div>",   "<span>",   "<span ",    "</span>",
        "<font ",     "</font>",  "<u>",     "</u>",     "<br/>",    "<p/>"};
    for (auto at = page.find('<'); at != std::string::npos; at = page.find('<', at + 1)) {
        const std::string_view rest = std::string_view(page).substr(at);
        if (std::none_of(std::begin(tags), std::end(tags),
                         [&](std::string_view tag) { return rest.starts_with(tag); })) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path& root = Folder();
    fs::remove_all(root / "in");
    fs::create_directories(root / "in" / "sub");

    quillbox::fuzz::FuzzInput input(data, size);
    static const char* const names[] = {"a.vmg",     "b.VMG",     "c.vcf", "d.VCF",
                                        "sub/e.vmg", "sub/f.vcf", "g.txt", "h.vmg"};
    const unsigned files = 1 + input.Choose(6);
    for (unsigned i = 0; i < files && !input.Empty(); ++i) {
        const char* name = names[input.Choose(std::size(names))];
        const bool widen = input.Choose(2) == 0;
        const std::string piece = input.Piece(4200);
        std::ofstream(root / "in" / name, std::ios::binary) << (widen ? Widen(piece) : piece);
    }
    const bool recurse = input.Choose(2) == 1;

    // What the readers accept, counted apart from the run.
    const fs::path folder = root / "in";
    quillbox::FileList messageFiles;
    using quillbox::InputKind;
    quillbox::CollectFiles(
        folder.native(), messageFiles,
        {{"vmg", InputKind::ClassicMessage}, {"VMG", InputKind::ClassicMessage}, {}, recurse});
    std::size_t accepted = 0;
    quillbox::platform::NativeString path;
    for (std::size_t i = 0; i < messageFiles.Size(); ++i) {
        messageFiles.PathAt(i, path);
        const quillbox::ListedFile listed = messageFiles.At(i);
        quillbox::platform::InputFile file;
        std::string scratch;
        const quillbox::ReadSettings settings;
        quillbox::Input read{file, {}, {}, settings, scratch};
        quillbox::Items items;
        if (file.Open(path, listed.kind, listed.id) ==
                quillbox::platform::InputFile::Outcome::Opened &&
            !quillbox::ReadClassicMessage(read, items).refused) {
            ++accepted;
        }
    }

    quillbox::ArchiveRequest request;
    request.messageFolder = folder;
    request.recurseMessages = recurse;
    request.contactsFolder = folder;
    request.recurseContacts = recurse;
    request.output = root / "archive";
    for (const auto order : {quillbox::SortOrder::BySender, quillbox::SortOrder::ByDate}) {
        request.order = order;
        for (const bool html : {false, true}) {
            request.form = html ? quillbox::ArchiveForm::ClassicHtml : quillbox::ArchiveForm::Text;
            quillbox::RunReport report;
            FUZZ_CHECK(quillbox::GenerateArchive(request, &report));
            // Every file found is read or skipped with a reason, and each read one is an entry.
            FUZZ_CHECK(report.ok);
            FUZZ_CHECK(report.messages.found == messageFiles.Size());
            FUZZ_CHECK(report.messages.read == accepted);
            FUZZ_CHECK(report.messages.read + report.messages.skipped.size() ==
                       report.messages.found);
            FUZZ_CHECK(report.cards.read + report.cards.skipped.size() == report.cards.found);
            FUZZ_CHECK(report.entriesWritten == accepted);
            const std::string archive = ReadAll(request.output);
            FUZZ_CHECK(report.bytesWritten == archive.size());
            FUZZ_CHECK(EveryLineFeedAfterCr(archive));
            if (html) {
                FUZZ_CHECK(Count(archive, "<div style=\"margin-left: 10px\">") == accepted);
                FUZZ_CHECK(OnlyPageTags(archive));
                FUZZ_CHECK(archive.ends_with("</body>\t\t</html>\t\t"));
            }
        }
    }
    return 0;
}
