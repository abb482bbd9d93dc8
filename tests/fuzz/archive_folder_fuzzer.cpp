// SPDX-License-Identifier: MIT
// What an archive folder takes from outside: an attachment's first bytes and its content type,
// which choose its extension, and an old folder's marker, which says what may be removed. Every
// extension is one of the fixed list; every name a marker gives is one of its lines.

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "order/media_store.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The first byte: how long the content type is; the type, then the attachment's head.
    const std::size_t typeLength = bytes.empty() ? 0 : std::min<std::size_t>(data[0], size - 1);
    const std::string_view type = bytes.substr(bytes.empty() ? 0 : 1, typeLength);
    const std::string_view head = bytes.substr(std::min(size, 1 + typeLength));
    static constexpr std::string_view kExtensions[] = {".jpg", ".png", ".gif", ".webp", ".heic",
                                                       ".mp4", ".3gp", ".amr", ".m4a",  ".pdf",
                                                       ".vcf", ".txt", ".bin"};
    const std::string_view extension = quillbox::MediaExtension(head, type);
    FUZZ_CHECK(std::find(std::begin(kExtensions), std::end(kExtensions), extension) !=
               std::end(kExtensions));

    if (const auto names = quillbox::platform::ArchiveFolder::ListedNames(bytes)) {
        FUZZ_CHECK(bytes.starts_with(quillbox::platform::ArchiveFolder::kMarkerHeading));
        for (const std::string& name : *names) {
            FUZZ_CHECK(!name.empty() && name.find('\n') == std::string::npos);
            FUZZ_CHECK(bytes.find("\n" + name) != std::string_view::npos);
        }
    }
    return 0;
}
