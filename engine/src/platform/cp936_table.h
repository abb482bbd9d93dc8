// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "platform/codec.h"

// Code page 936 as the C library's converter defines it, read off at build time; see
// platform::Cp936Tables for what each entry holds.
namespace quillbox::platform::detail {

extern const std::uint16_t kUnicodeToCp936[0x10000];
extern const std::uint16_t kCp936SingleByte[0x100];
extern const std::uint16_t kCp936Pairs[kCp936PairCount];

}  // namespace quillbox::platform::detail
