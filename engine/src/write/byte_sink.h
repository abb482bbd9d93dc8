// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace quillbox {

// Where a writer puts the archive's bytes.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void Write(std::string_view bytes) = 0;
};

class StringSink final : public ByteSink {
public:
    void Write(std::string_view bytes) override { bytes_.append(bytes); }
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// The archive file. Writes are gathered into large blocks; the first failed write is kept and
// every later write is dropped, so Close tells whether the whole archive reached the file. The
// old archive is replaced only by Close, and only by the whole new one.
class FileSink final : public ByteSink {
public:
    bool Open(const std::filesystem::path& path);
    void Write(std::string_view bytes) override;
    // False when any write, the close or the replacement of the old archive failed.
    bool Close();
    const platform::ArchiveFile& File() const { return file_; }
    std::uint64_t BytesWritten() const { return written_; }

private:
    void Flush();

    platform::ArchiveFile file_;
    std::uint64_t written_ = 0;
    std::string buffer_;
    bool failed_ = false;
};

}  // namespace quillbox
