// SPDX-License-Identifier: MIT
#include "test_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace quillbox::test {

TempDir::TempDir() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate =
            std::filesystem::temp_directory_path() / ("quillbox-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("no temporary folder");
}

std::filesystem::path TempDir::operator/(std::string_view utf8Name) const {
    return path_ / std::filesystem::path(std::u8string(utf8Name.begin(), utf8Name.end()));
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Tests make folders unreadable; give permissions back so that everything can go.
    for (auto it = std::filesystem::recursive_directory_iterator(
             path_, std::filesystem::directory_options::skip_permission_denied, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    std::filesystem::remove_all(path_, ignored);
}

void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

#ifdef _WIN32
namespace {

// The oracle on Windows: the system's own converters, refusing what they would replace.
std::u16string ToUtf16(std::string_view text, std::string_view from) {
    std::u16string wide;
    if (from == "UTF-16LE" || from == "UTF-16BE") {
        const bool little = from == "UTF-16LE";
        for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
            const auto a = static_cast<unsigned char>(text[i]);
            const auto b = static_cast<unsigned char>(text[i + 1]);
            wide.push_back(static_cast<char16_t>(little ? (a | b << 8) : (a << 8 | b)));
        }
        return wide;
    }
    const UINT codePage = from == "UTF-8" ? CP_UTF8 : 936;
    const int size = static_cast<int>(text.size());
    const int units = size == 0 ? 0
                                : ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(),
                                                        size, nullptr, 0);
    if (size != 0 && units == 0) {
        throw std::runtime_error("cannot convert " + Printable(text));
    }
    wide.resize(static_cast<std::size_t>(units));
    ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size,
                          reinterpret_cast<wchar_t*>(wide.data()), units);
    return wide;
}

std::string FromUtf16(const std::u16string& wide, std::string_view to) {
    std::string out;
    if (to == "UTF-16LE" || to == "UTF-16BE") {
        for (const char16_t unit : wide) {
            const char low = static_cast<char>(unit & 0xFF);
            const char high = static_cast<char>(unit >> 8);
            out += to == "UTF-16LE" ? std::string{low, high} : std::string{high, low};
        }
        return out;
    }
    const UINT codePage = to == "UTF-8" ? CP_UTF8 : 936;
    const auto* source = reinterpret_cast<const wchar_t*>(wide.data());
    const int size = static_cast<int>(wide.size());
    BOOL usedDefault = FALSE;
    BOOL* report = codePage == CP_UTF8 ? nullptr : &usedDefault;
    const DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    const int bytes = size == 0 ? 0
                                : ::WideCharToMultiByte(codePage, flags, source, size, nullptr, 0,
                                                        nullptr, report);
    out.resize(static_cast<std::size_t>(bytes));
    if (size != 0) {
        ::WideCharToMultiByte(codePage, flags, source, size, out.data(), bytes, nullptr, report);
    }
    if ((size != 0 && bytes == 0) || usedDefault) {
        throw std::runtime_error("cannot convert to " + std::string(to));
    }
    return out;
}

}  // namespace

std::string Convert(std::string_view text, const char* from, const char* to) {
    return FromUtf16(ToUtf16(text, from), to);
}
#else
std::string Convert(std::string_view text, const char* from, const char* to) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("iconv_open");
    }
    std::string input(text);
    std::string output(input.size() * 4 + 16, '\0');
    char* src = input.data();
    std::size_t srcLeft = input.size();
    char* dst = output.data();
    std::size_t dstLeft = output.size();
    const std::size_t result = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (result == static_cast<std::size_t>(-1)) {
        throw std::runtime_error(std::string("iconv cannot convert ") + Printable(text));
    }
    output.resize(output.size() - dstLeft);
    return output;
}
#endif

std::string Gbk(std::string_view utf8) {
    return Convert(utf8, "UTF-8", "CP936");
}

std::string Utf16Le(std::string_view utf8) {
    return Convert(utf8, "UTF-8", "UTF-16LE");
}

std::string MessageText(std::string_view number, std::string_view date, std::string_view body) {
    std::string text = "BEGIN:VMSG\nVERSION:1.1\nX-IRMC-STATUS:READ\nBEGIN:VCARD\nVERSION:2.1\n";
    text.append("TEL:").append(number).append("\nEND:VCARD\nBEGIN:VENV\nBEGIN:VBODY\n");
    text.append("Date:").append(date).append("\n").append(body).append("\n");
    text.append("END:VBODY\nEND:VENV\nEND:VMSG\n");
    return text;
}

void WriteMessage(const std::filesystem::path& path, std::string_view number, std::string_view date,
                  std::string_view body) {
    WriteBytes(path, Utf16Le(MessageText(number, date, body)));
}

std::string Printable(std::string_view bytes) {
    std::string out;
    char hex[8];
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out.push_back(c);
        } else {
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out.append(hex);
        }
    }
    return out;
}

}  // namespace quillbox::test
