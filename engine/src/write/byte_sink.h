// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
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

// Gathers writes into large blocks for a file. The first block that fails to be written is
// kept as the sink's failure and every later write is dropped, so the end tells whether the
// whole archive reached the file.
class BlockSink : public ByteSink {
public:
    // writeBlock writes one block whole, or returns false.
    explicit BlockSink(std::function<bool(std::string_view)> writeBlock);
    void Write(std::string_view bytes) override;
    // Writes what is gathered; false when any block failed.
    bool Flush();
    bool Failed() const { return failed_; }
    std::uint64_t BytesWritten() const { return written_; }

private:
    std::function<bool(std::string_view)> writeBlock_;
    std::uint64_t written_ = 0;
    std::string buffer_;
    bool failed_ = false;
};

// The archive file. The old archive is replaced only by Replace, and only by the whole new one.
class FileSink final : public BlockSink {
public:
    // Once cancel is set, the next block fails to be written, and so does the archive.
    explicit FileSink(const std::atomic<bool>* cancel = nullptr)
        : BlockSink([this, cancel](std::string_view block) {
              return (cancel == nullptr || !cancel->load(std::memory_order_relaxed)) &&
                     file_.Write(block);
          }) {}
    bool Open(const std::filesystem::path& path) { return file_.Open(path); }
    // False when any write or the close failed; the old archive is still in place.
    bool Finish() { return Flush() && file_.Finish(); }
    // Puts the finished archive in the old one's place.
    bool Replace() { return file_.Replace(); }
    bool Close() { return Finish() && Replace(); }
    const platform::ArchiveFile& File() const { return file_; }

private:
    platform::ArchiveFile file_;
};

}  // namespace quillbox
