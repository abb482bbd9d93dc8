// SPDX-License-Identifier: MIT
// The TZif reader on any bytes, as /etc/localtime may hold them, and the POSIX rule and name
// readers on any text: whatever they accept gives every instant an offset within a day or so of
// UTC and a real date and time that is the instant moved by that offset.

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "read/time_zone.h"

namespace {

constexpr std::int64_t kDay = 86400;
// -9999-01-01T00:00:00 and 9999-12-31T23:59:59, where ToLocal saturates.
constexpr std::int64_t kFirstSecond = -377705116800;
constexpr std::int64_t kLastSecond = 253402300799;

bool IsLeap(std::int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(std::int64_t year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Seconds since 1970 of a local time read as UTC, through the days before each month of a
// 400-year cycle: another road than the engine's.
std::int64_t SecondsOf(const quillbox::MessageTime& t) {
    std::int64_t year = t.year;
    std::int64_t days = 0;
    // 146097 days in every 400 years; count from year 1600, the first cycle before 1970.
    const std::int64_t cycles = (year - 1600 >= 0 ? year - 1600 : year - 1600 - 399) / 400;
    days += cycles * 146097;
    year -= cycles * 400;
    for (std::int64_t y = 1600; y < year; ++y) {
        days += IsLeap(y) ? 366 : 365;
    }
    for (int m = 1; m < t.month; ++m) {
        days += DaysInMonth(year, m);
    }
    days += t.day - 1;
    // 1600-01-01 is 135140 days before 1970-01-01.
    days -= 135140;
    return days * kDay + t.hour * 3600 + t.minute * 60 + t.second;
}

void CheckZone(const quillbox::TimeZone& zone, const std::vector<std::int64_t>& instants) {
    FUZZ_CHECK(!zone.Name().empty());
    for (const auto t : instants) {
        const auto offset = zone.OffsetAt(t);
        FUZZ_CHECK(offset > -26 * 3600 && offset < 26 * 3600);
        const auto local = zone.ToLocal(t);
        FUZZ_CHECK(local.year >= -9999 && local.year <= 9999);
        FUZZ_CHECK(local.month >= 1 && local.month <= 12);
        FUZZ_CHECK(local.day >= 1 && local.day <= DaysInMonth(local.year, local.month));
        FUZZ_CHECK(local.hour >= 0 && local.hour < 24 && local.minute >= 0 && local.minute < 60 &&
                   local.second >= 0 && local.second < 60);
        if (t > kFirstSecond + 2 * kDay && t < kLastSecond - 2 * kDay) {
            FUZZ_CHECK(SecondsOf(local) - t == offset);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::int64_t> instants = {std::numeric_limits<std::int64_t>::min(),
                                          kFirstSecond - 1,
                                          kFirstSecond + 3 * kDay,
                                          -2208988800,  // 1900
                                          -1,
                                          0,
                                          1700000000,
                                          2145916800,  // 2038
                                          4102444800,  // 2100
                                          kLastSecond - 3 * kDay,
                                          kLastSecond + 1,
                                          std::numeric_limits<std::int64_t>::max()};
    // And instants of the input's own, from its last bytes.
    for (std::size_t end = size; end >= 8 && instants.size() < 16; end -= 8) {
        std::uint64_t value = 0;
        for (std::size_t i = end - 8; i < end; ++i) {
            value = value << 8 | data[i];
        }
        instants.push_back(static_cast<std::int64_t>(value) >> 20);
    }

    if (const auto zone = quillbox::TimeZone::FromTzif(bytes, {})) {
        CheckZone(*zone, instants);
    }
    if (const auto zone = quillbox::TimeZone::FromPosixRule(bytes)) {
        FUZZ_CHECK(zone->Name() == bytes);
        CheckZone(*zone, instants);
    }
    if (const auto zone = quillbox::TimeZone::FromName(bytes)) {
        CheckZone(*zone, instants);
    }
    return 0;
}
