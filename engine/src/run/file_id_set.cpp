// SPDX-License-Identifier: MIT
#include "run/file_id_set.h"

#include <bit>

namespace quillbox {

namespace {

// At most seven eighths full: probes stay short, and the table is small.
std::size_t CapacityFor(std::size_t count) {
    return std::bit_ceil(count + count / 7 + 1);
}

}  // namespace

FileIdSet::FileIdSet(std::size_t expected) : slots_(CapacityFor(expected)) {}

bool FileIdSet::Insert(const platform::FileId& id) {
    if (id == platform::FileId{}) {
        const bool fresh = !hasZero_;
        hasZero_ = true;
        return fresh;
    }
    if ((size_ + 1) * 8 > slots_.size() * 7) {
        Grow();
    }
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = platform::FileIdHash()(id) & mask;; at = (at + 1) & mask) {
        platform::FileId& slot = slots_[at];
        if (slot == id) {
            return false;
        }
        if (slot == platform::FileId{}) {
            slot = id;
            ++size_;
            return true;
        }
    }
}

void FileIdSet::Grow() {
    std::vector<platform::FileId> old = std::move(slots_);
    slots_.assign(old.size() * 2, platform::FileId{});
    size_ = 0;
    for (const platform::FileId& id : old) {
        if (id != platform::FileId{}) {
            Insert(id);
        }
    }
}

}  // namespace quillbox
