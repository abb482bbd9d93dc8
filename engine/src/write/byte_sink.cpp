// SPDX-License-Identifier: MIT
#include "write/byte_sink.h"

#include <utility>

namespace quillbox {

namespace {
constexpr std::size_t kBlockSize = 256 * 1024;
}

BlockSink::BlockSink(std::function<bool(std::string_view)> writeBlock)
    : writeBlock_(std::move(writeBlock)) {
    buffer_.reserve(kBlockSize);
}

void BlockSink::Write(std::string_view bytes) {
    if (failed_) {
        return;
    }
    written_ += bytes.size();
    if (buffer_.size() + bytes.size() > kBlockSize) {
        Flush();
        if (bytes.size() >= kBlockSize) {
            failed_ = failed_ || !writeBlock_(bytes);
            return;
        }
    }
    buffer_.append(bytes);
}

bool BlockSink::Flush() {
    if (!failed_ && !buffer_.empty()) {
        failed_ = !writeBlock_(buffer_);
    }
    buffer_.clear();
    return !failed_;
}

}  // namespace quillbox
