// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quillbox::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // A path below the folder; the name is UTF-8 whatever the platform.
    std::filesystem::path operator/(std::string_view utf8Name) const;

private:
    std::filesystem::path path_;
};

void WriteBytes(const std::filesystem::path& path, std::string_view bytes);
std::string ReadBytes(const std::filesystem::path& path);

// Converts with the C library's iconv (Windows: the system's converters), independently of the
// engine: the tests' oracle. Throws where the oracle cannot convert.
std::string Convert(std::string_view text, const char* from, const char* to);
// UTF-8 source text as code page 936 bytes.
std::string Gbk(std::string_view utf8);
// UTF-8 source text as UTF-16LE bytes, the form of a message file.
std::string Utf16Le(std::string_view utf8);

// A message file's text: the number line, the body block with its date line, the body lines.
std::string MessageText(std::string_view number, std::string_view date, std::string_view body);

// Writes MessageText(...) as a UTF-16LE message file.
void WriteMessage(const std::filesystem::path& path, std::string_view number, std::string_view date,
                  std::string_view body);

// Bytes shown in hex where they are not printable ASCII, for failure messages.
std::string Printable(std::string_view bytes);

}  // namespace quillbox::test
