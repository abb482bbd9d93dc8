// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// Code page 936 as the C library's converter defines it, read off at build time.
namespace quillbox::platform::detail {

inline constexpr unsigned kCp936FirstLead = 0x81;
inline constexpr unsigned kCp936LastLead = 0xFE;
inline constexpr unsigned kCp936FirstTrail = 0x40;
inline constexpr unsigned kCp936LastTrail = 0xFE;
inline constexpr std::uint16_t kNotSingleByte = 0xFFFF;

// Unicode unit to code page 936: 0 where there is no character, a value below 0x100 for a
// single byte, lead << 8 | trail for a pair.
extern const std::uint16_t kUnicodeToCp936[0x10000];
// Single byte to Unicode; kNotSingleByte for a lead byte or an undefined byte.
extern const std::uint16_t kCp936SingleByte[0x100];
// Pair to Unicode, indexed by (lead - 0x81) * 191 + (trail - 0x40); 0 where undefined.
extern const std::uint16_t
    kCp936Pairs[(kCp936LastLead - kCp936FirstLead + 1) * (kCp936LastTrail - kCp936FirstTrail + 1)];

}  // namespace quillbox::platform::detail
