// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <vector>

#include "platform/platform.h"

namespace quillbox {

// The identities of the files read so far. One flat table, sized once from the listing and
// probed in place: a run over 100,000 files makes one allocation, not one a file.
class FileIdSet {
public:
    explicit FileIdSet(std::size_t expected);
    // False when id was there already.
    bool Insert(const platform::FileId& id);

private:
    void Grow();

    // An all-zero identity marks a free slot; a file whose identity is all zero is kept aside.
    std::vector<platform::FileId> slots_;
    std::size_t size_ = 0;
    bool hasZero_ = false;
};

}  // namespace quillbox
