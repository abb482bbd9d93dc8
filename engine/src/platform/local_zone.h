// SPDX-License-Identifier: MIT
#pragma once

// Which zone the system keeps its clock in; posix_local_zone.cpp and win32_local_zone.cpp
// implement it, and TimeZone::Local takes it.

#include <optional>

#include "read/time_zone.h"

namespace quillbox::platform {

// POSIX: the TZ variable (an IANA name, ":Name", a TZif file's path or a POSIX rule; unusable,
// it means UTC as it does to glibc), else the zone /etc/localtime links to, else the name in
// /etc/timezone, else /etc/localtime's own TZif bytes. Windows: the zone key named through
// CLDR's table, else the standard bias as a fixed offset. None when the system tells nothing.
std::optional<TimeZone> LocalZone();

}  // namespace quillbox::platform
