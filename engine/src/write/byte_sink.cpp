// SPDX-License-Identifier: MIT
#include "write/byte_sink.h"

namespace quillbox {

namespace {
constexpr std::size_t kBlockSize = 256 * 1024;
}

bool FileSink::Open(const std::filesystem::path& path) {
    buffer_.reserve(kBlockSize);
    return file_.Open(path);
}

void FileSink::Write(std::string_view bytes) {
    if (failed_) {
        return;
    }
    written_ += bytes.size();
    if (buffer_.size() + bytes.size() > kBlockSize) {
        Flush();
        if (bytes.size() >= kBlockSize) {
            failed_ = failed_ || !file_.Write(bytes);
            return;
        }
    }
    buffer_.append(bytes);
}

void FileSink::Flush() {
    if (!failed_ && !buffer_.empty()) {
        failed_ = !file_.Write(buffer_);
    }
    buffer_.clear();
}

bool FileSink::Close() {
    Flush();
    if (failed_) {
        return false;
    }
    const bool closed = file_.Commit();
    failed_ = failed_ || !closed;
    return !failed_;
}

}  // namespace quillbox
