// SPDX-License-Identifier: MIT
#pragma once

// The zone rules compiled into the engine, made from tzdata and CLDR at build time by
// compiled_zones.cmake.

#include <cstddef>
#include <span>
#include <string_view>

namespace quillbox::detail {

struct CompiledZoneName {
    std::string_view name;
    std::size_t zone;
};

struct WindowsZoneName {
    std::string_view windows;
    std::string_view iana;
};

// The tzdata release, such as "2025b".
std::string_view CompiledTzdataVersion();

// Every zone and link name of tzdata.zi, in byte order, with its zone's number.
std::span<const CompiledZoneName> CompiledZoneNames();

// A zone's TZif data from its second header on: 64-bit times and the TZ footer. Empty past the
// last zone.
std::string_view CompiledZoneData(std::size_t zone);

// CLDR's Windows zone key names, in byte order, each with the IANA name of territory 001.
std::span<const WindowsZoneName> WindowsZoneNames();

}  // namespace quillbox::detail
