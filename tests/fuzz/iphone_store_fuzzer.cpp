// SPDX-License-Identifier: MIT
// The iPhone message store reader on any database file, as a crafted sms.db would be: it ends,
// refused or read, every message with UTF-8 texts and a party the store can hold, and the file
// is left as it was.

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/codec.h"
#include "read/iphone_backup.h"

namespace {

// One file of the process's own, rewritten for every input.
const std::string& ScratchPath() {
    static const std::string path = [] {
        std::string pattern = "/tmp/quillbox-store-fuzz-XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        FUZZ_CHECK(fd >= 0);
        ::close(fd);
        return pattern;
    }();
    return path;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string& path = ScratchPath();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    quillbox::Items items;
    const quillbox::ReadSettings settings;
    const auto result = quillbox::ReadMessageStore(quillbox::sqlite::FilesBeside(path), settings,
                                                   items, std::chrono::seconds(2));
    FUZZ_CHECK(!result.refused || items.messages.Size() == 0);
    FUZZ_CHECK(result.read == items.messages.Size());
    for (const auto& message : items.messages.Messages()) {
        FUZZ_CHECK(quillbox::platform::IsUtf8(message.Body()));
        FUZZ_CHECK(quillbox::platform::IsUtf8(message.Author()));
        FUZZ_CHECK(message.Body().find('\r') == std::string_view::npos);
        FUZZ_CHECK(message.Body().find('\0') == std::string_view::npos);
        FUZZ_CHECK(!message.Body().ends_with('\n'));
        FUZZ_CHECK(message.Author().size() <= quillbox::kLongestNumber);
    }
    FUZZ_CHECK(ReadAll(path) == bytes);
    FUZZ_CHECK(::access((path + "-journal").c_str(), F_OK) != 0);
    FUZZ_CHECK(::access((path + "-wal").c_str(), F_OK) != 0);
    return 0;
}
