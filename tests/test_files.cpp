#include "test_files.h"

#include <iconv.h>
#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace quillbox::test {

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quillbox-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    path_ = pattern;
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
