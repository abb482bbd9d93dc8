// SPDX-License-Identifier: MIT
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/charset.h"
#include "platform/charset_names.h"

namespace quillbox::platform {

std::optional<std::string> DecodeToUtf8(std::string_view charset, std::string_view bytes) {
    const auto known = detail::FindCharset(charset);
    if (!known) {
        return std::nullopt;
    }
    if (bytes.empty()) {
        return std::string();
    }
    const int size = static_cast<int>(bytes.size());
    // Code page 936 by number, not as the ANSI code page: a card that names GBK is GBK on any
    // Windows. Undefined bytes are refused so that the caller can try another reading.
    const UINT codePage = known->codePage;
    const int units =
        ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (units <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(),
                              units) != units) {
        return std::nullopt;
    }
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return std::nullopt;
    }
    std::string out(static_cast<std::size_t>(length), '\0');
    if (::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, out.data(), length, nullptr,
                              nullptr) != length) {
        return std::nullopt;
    }
    return out;
}

}  // namespace quillbox::platform
