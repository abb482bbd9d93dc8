// SPDX-License-Identifier: MIT
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <iterator>
#include <string_view>

#include "platform/codec.h"
#include "platform/local_zone.h"
#include "platform/platform.h"

namespace quillbox::platform {

std::optional<TimeZone> LocalZone() {
    DYNAMIC_TIME_ZONE_INFORMATION info{};
    if (::GetDynamicTimeZoneInformation(&info) == TIME_ZONE_ID_INVALID) {
        return std::nullopt;
    }
    // With "Adjust for daylight saving time automatically" off, the clock keeps standard time
    // all year, which the key's rules would not.
    if (info.DynamicDaylightTimeDisabled == FALSE) {
        const std::u16string_view units(reinterpret_cast<const char16_t*>(info.TimeZoneKeyName),
                                        std::size(info.TimeZoneKeyName));
        if (auto zone =
                TimeZone::FromWindowsName(Utf16ToUtf8(units.substr(0, units.find(u'\0'))))) {
            return zone;
        }
    }
    // Bias counts minutes west of UTC.
    return TimeZone::FromOffset(static_cast<std::int32_t>(-(info.Bias + info.StandardBias) * 60));
}

}  // namespace quillbox::platform
