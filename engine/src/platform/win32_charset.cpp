// SPDX-License-Identifier: MIT
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <memory>

#include "platform/charset.h"
#include "platform/charset_names.h"
#include "platform/codec.h"

namespace quillbox::platform {

namespace {

constexpr UINT kCodePage936 = 936;

// Code page 936 read off the system, once: code page 936 by number, so that the archive is GBK
// whatever the system's own code pages.
struct SystemCp936 {
    std::unique_ptr<std::uint16_t[]> fromUnicode{new std::uint16_t[0x10000]()};
    std::unique_ptr<std::uint16_t[]> singleByte{new std::uint16_t[0x100]()};
    std::unique_ptr<std::uint16_t[]> pairs{new std::uint16_t[kCp936PairCount]()};
    Cp936Tables tables{fromUnicode.get(), singleByte.get(), pairs.get()};

    SystemCp936() {
        for (unsigned u = 1; u < 0x10000; ++u) {
            // The private-use characters, which Windows alone puts in the code page's
            // user-defined area, stay outside it, so the archive is the same on every system;
            // without best fit a missing character is "?", not a look-alike.
            if (IsSurrogate(u) || (u >= 0xE000 && u <= 0xF8FF)) {
                continue;
            }
            const wchar_t unit = static_cast<wchar_t>(u);
            char bytes[4];
            BOOL usedDefault = FALSE;
            const int n = ::WideCharToMultiByte(kCodePage936, WC_NO_BEST_FIT_CHARS, &unit, 1, bytes,
                                                sizeof bytes, nullptr, &usedDefault);
            if (usedDefault || n < 1 || n > 2) {
                continue;
            }
            const auto b0 = static_cast<unsigned char>(bytes[0]);
            fromUnicode[u] =
                n == 1 ? b0
                       : static_cast<std::uint16_t>(b0 << 8 | static_cast<unsigned char>(bytes[1]));
        }
        for (unsigned b = 0; b < 0x100; ++b) {
            const char byte = static_cast<char>(b);
            wchar_t unit = 0;
            singleByte[b] =
                ::MultiByteToWideChar(kCodePage936, MB_ERR_INVALID_CHARS, &byte, 1, &unit, 1) == 1
                    ? static_cast<std::uint16_t>(unit)
                    : kNotSingleByte;
        }
        for (unsigned lead = kCp936FirstLead; lead <= kCp936LastLead; ++lead) {
            for (unsigned trail = kCp936FirstTrail; trail <= kCp936LastTrail; ++trail) {
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                wchar_t unit = 0;
                if (::MultiByteToWideChar(kCodePage936, MB_ERR_INVALID_CHARS, pair, 2, &unit, 1) ==
                    1) {
                    pairs[(lead - kCp936FirstLead) * kCp936Trails + (trail - kCp936FirstTrail)] =
                        static_cast<std::uint16_t>(unit);
                }
            }
        }
    }
};

}  // namespace

const Cp936Tables& Cp936() {
    static const SystemCp936 system;
    return system.tables;
}

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
