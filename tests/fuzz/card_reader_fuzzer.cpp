// The card reader through the platform layer's text-mode read of a real file.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "file_reader.h"
#include "fuzz_check.h"

namespace {

std::string CardPath() {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr ? tmp : "/tmp") + "/quillbox-card-fuzz-" +
           std::to_string(::getpid()) + ".vcf";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = CardPath();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(std::fwrite(data, 1, size, file) == size);
    FUZZ_CHECK(std::fclose(file) == 0);

    std::vector<quillbox::ContactEntry> entries;
    quillbox::CFileReader reader;
    reader.ReadContacts(&entries, path);
    for (const auto& entry : entries) {
        // A number is cut from one line. A name may hold a line feed: "=0A" decodes to one.
        FUZZ_CHECK(entry.number.find('\n') == std::string::npos);
        FUZZ_CHECK(entry.number.find('\0') == std::string::npos);
        FUZZ_CHECK(entry.name.find('\0') == std::string::npos);
    }
    std::remove(path.c_str());
    return 0;
}
