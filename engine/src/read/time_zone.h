// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "order/message_store.h"

namespace quillbox {

// The rules of one time zone, from the tzdata compiled into the engine or from a TZif file.
// Copies share the rules; every member may be used from several threads at once.
class TimeZone {
public:
    static TimeZone Utc();

    // An IANA name ("Asia/Shanghai", "UTC", "Etc/GMT-8", links such as "PRC" too; any case) or
    // a fixed offset ("+08:00", "-0530", "+8", "UTC+08:00", within 18 hours); none for
    // anything else.
    static std::optional<TimeZone> FromName(std::string_view name);

    // The system's own zone; UTC when it cannot be told.
    static TimeZone Local();

    // An IANA name alone, spelled exactly, as the TZ variable and CLDR's table give it.
    static std::optional<TimeZone> FromIanaName(std::string_view name);
    // A Windows zone key name ("China Standard Time") through CLDR's table.
    static std::optional<TimeZone> FromWindowsName(std::string_view key);
    // Seconds east of UTC, within 18 hours.
    static std::optional<TimeZone> FromOffset(std::int32_t seconds);
    // A POSIX TZ rule as the TZ variable or a TZif footer holds it: "CST-8",
    // "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0". A DST name without dates takes the US dates, as
    // glibc does.
    static std::optional<TimeZone> FromPosixRule(std::string_view rule);
    // A TZif file of any version, as /etc/localtime holds it. An empty name is replaced by the
    // file's TZ footer, or else by its last offset.
    static std::optional<TimeZone> FromTzif(std::string_view bytes, std::string_view name);

    // The tzdata release the compiled-in rules come from, such as "2025b".
    static std::string_view DataVersion();

    // The IANA name, the offset as "+08:00", or the POSIX rule; for the run's report.
    std::string_view Name() const;

    // Seconds east of UTC at the instant.
    std::int32_t OffsetAt(std::int64_t unixSeconds) const;

    // The wall clock's reading at the instant, in the proleptic Gregorian calendar (year 0 is
    // 1 BC). Instants whose local time falls outside the years -9999 to 9999 read as the first
    // or the last second of that range.
    MessageTime ToLocal(std::int64_t unixSeconds) const;

    struct Rules;

private:
    explicit TimeZone(std::shared_ptr<const Rules> rules) : rules_(std::move(rules)) {}

    std::shared_ptr<const Rules> rules_;
};

}  // namespace quillbox
