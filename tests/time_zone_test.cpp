// SPDX-License-Identifier: MIT
#include "read/time_zone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "read/compiled_zones.h"
#include "test_files.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace quillbox {

void PrintTo(const MessageTime& t, std::ostream* out) {
    *out << t.year << '-' << t.month << '-' << t.day << ' ' << t.hour << ':' << t.minute << ':'
         << t.second;
}

namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kHour = 3600;

bool IsLeap(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// Counted out day by day, apart from the engine's arithmetic.
std::int64_t UtcSeconds(int year, int month, int day, int hour = 0, int minute = 0,
                        int second = 0) {
    std::int64_t days = 0;
    for (int y = 1970; y < year; ++y) {
        days += IsLeap(y) ? 366 : 365;
    }
    for (int y = year; y < 1970; ++y) {
        days -= IsLeap(y) ? 366 : 365;
    }
    const int monthDays[] = {31, IsLeap(year) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int m = 1; m < month; ++m) {
        days += monthDays[m - 1];
    }
    days += day - 1;
    return days * kDay + hour * kHour + minute * 60 + second;
}

TimeZone Zone(std::string_view name) {
    auto zone = TimeZone::FromName(name);
    EXPECT_TRUE(zone) << name;
    return zone.value_or(TimeZone::Utc());
}

struct Reading {
    const char* zone;
    std::int64_t instant;
    MessageTime local;
};

TEST(TimeZoneTest, ReadsTheWallClockOfEachZone) {
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    const Reading readings[] = {
        {"Asia/Shanghai", UtcSeconds(2024, 1, 1), {2024, 1, 1, 8, 0, 0}},
        // China's summer time, 1986 to 1991: in at 2:00, out at 2:00 summer time.
        {"Asia/Shanghai", UtcSeconds(1986, 5, 3, 17, 59, 59), {1986, 5, 4, 1, 59, 59}},
        {"Asia/Shanghai", UtcSeconds(1986, 5, 3, 18), {1986, 5, 4, 3, 0, 0}},
        {"Asia/Shanghai", UtcSeconds(1988, 7, 1), {1988, 7, 1, 9, 0, 0}},
        {"Asia/Shanghai", UtcSeconds(1991, 9, 14, 16, 59, 59), {1991, 9, 15, 1, 59, 59}},
        {"Asia/Shanghai", UtcSeconds(1991, 9, 14, 17), {1991, 9, 15, 1, 0, 0}},
        // Local mean time, +8:05:43, before 1901.
        {"Asia/Shanghai", UtcSeconds(1900, 1, 1), {1900, 1, 1, 8, 5, 43}},
        {"UTC", UtcSeconds(2009, 3, 18, 10, 15, 30), {2009, 3, 18, 10, 15, 30}},
        {"America/New_York", UtcSeconds(2024, 3, 10, 6, 59, 59), {2024, 3, 10, 1, 59, 59}},
        {"America/New_York", UtcSeconds(2024, 3, 10, 7), {2024, 3, 10, 3, 0, 0}},
        {"America/New_York", UtcSeconds(2024, 11, 3, 5, 59, 59), {2024, 11, 3, 1, 59, 59}},
        {"America/New_York", UtcSeconds(2024, 11, 3, 6), {2024, 11, 3, 1, 0, 0}},
        // Past the last transition of the table: the footer's rule.
        {"America/New_York", UtcSeconds(2100, 3, 14, 6, 59, 59), {2100, 3, 14, 1, 59, 59}},
        {"America/New_York", UtcSeconds(2100, 3, 14, 7), {2100, 3, 14, 3, 0, 0}},
        {"America/New_York", UtcSeconds(2100, 11, 7, 6), {2100, 11, 7, 1, 0, 0}},
        {"America/New_York", UtcSeconds(1960, 7, 1, 12), {1960, 7, 1, 8, 0, 0}},
        {"America/New_York", UtcSeconds(1800, 1, 1), {1799, 12, 31, 19, 3, 58}},
        {"Europe/London", UtcSeconds(2024, 3, 31, 0, 59, 59), {2024, 3, 31, 0, 59, 59}},
        {"Europe/London", UtcSeconds(2024, 3, 31, 1), {2024, 3, 31, 2, 0, 0}},
        {"Europe/London", UtcSeconds(2024, 10, 27, 1), {2024, 10, 27, 1, 0, 0}},
        // British Standard Time, UTC+1 all year from 1968 to 1971.
        {"Europe/London", UtcSeconds(1969, 12, 31, 23), {1970, 1, 1, 0, 0, 0}},
        {"Asia/Kolkata", UtcSeconds(2024, 6, 1), {2024, 6, 1, 5, 30, 0}},
        // Half an hour of summer time on top of +10:30.
        {"Australia/Lord_Howe", UtcSeconds(2024, 1, 1), {2024, 1, 1, 11, 0, 0}},
        {"Australia/Lord_Howe", UtcSeconds(2024, 4, 6, 14, 59, 59), {2024, 4, 7, 1, 59, 59}},
        {"Australia/Lord_Howe", UtcSeconds(2024, 4, 6, 15), {2024, 4, 7, 1, 30, 0}},
        {"Australia/Lord_Howe", UtcSeconds(2024, 10, 5, 15, 30), {2024, 10, 6, 2, 30, 0}},
        {"Etc/GMT-8", 0, {1970, 1, 1, 8, 0, 0}},
        // The edges of the years -9999 to 9999, and past them.
        {"UTC", UtcSeconds(9999, 12, 31, 23, 59, 59), {9999, 12, 31, 23, 59, 59}},
        {"UTC", UtcSeconds(-9999, 1, 1), {-9999, 1, 1, 0, 0, 0}},
        {"UTC", UtcSeconds(-4, 2, 29, 12), {-4, 2, 29, 12, 0, 0}},  // 5 BC, a leap year
        {"UTC", kMax, {9999, 12, 31, 23, 59, 59}},
        {"UTC", kMin, {-9999, 1, 1, 0, 0, 0}},
        {"America/New_York", kMax, {9999, 12, 31, 23, 59, 59}},
        {"Asia/Shanghai", kMin, {-9999, 1, 1, 0, 0, 0}},
    };
    for (const auto& reading : readings) {
        EXPECT_EQ(Zone(reading.zone).ToLocal(reading.instant), reading.local)
            << reading.zone << " at " << reading.instant;
    }
}

TEST(TimeZoneTest, NamesAZoneByItsIanaNameALinkOrAFixedOffset) {
    const struct {
        const char* given;
        const char* name;
        MessageTime atEpoch;
    } names[] = {
        {"+08:00", "+08:00", {1970, 1, 1, 8, 0, 0}},
        {"-0530", "-05:30", {1969, 12, 31, 18, 30, 0}},
        {"+8", "+08:00", {1970, 1, 1, 8, 0, 0}},
        {"UTC+08:00", "+08:00", {1970, 1, 1, 8, 0, 0}},
        {"gmt-3", "-03:00", {1969, 12, 31, 21, 0, 0}},
        {"-00:00", "+00:00", {1970, 1, 1, 0, 0, 0}},
        {"+18:00", "+18:00", {1970, 1, 1, 18, 0, 0}},
        {"PRC", "PRC", {1970, 1, 1, 8, 0, 0}},
        {"asia/shanghai", "Asia/Shanghai", {1970, 1, 1, 8, 0, 0}},
        {"UTC", "UTC", {1970, 1, 1, 0, 0, 0}},
    };
    for (const auto& entry : names) {
        const auto zone = TimeZone::FromName(entry.given);
        ASSERT_TRUE(zone) << entry.given;
        EXPECT_EQ(zone->Name(), entry.name);
        EXPECT_EQ(zone->ToLocal(0), entry.atEpoch) << entry.given;
    }
    // A link keeps its target's rules.
    const auto shanghai = Zone("Asia/Shanghai");
    const auto prc = Zone("PRC");
    for (const auto t : {UtcSeconds(1988, 7, 1), UtcSeconds(1900, 1, 1), UtcSeconds(2100, 1, 1)}) {
        EXPECT_EQ(prc.ToLocal(t), shanghai.ToLocal(t));
    }
}

TEST(TimeZoneTest, RefusesWhatNamesNoZone) {
    for (const char* name :
         {"Mars/Base", "../../etc/passwd", "+25:00", "+18:01", "", "+", "UTC+", "+8:5", "+800",
          "+08:60", "08:00", "+08:00 ", "Asia/Shanghai/", "/usr/share/zoneinfo/Asia/Shanghai",
          "posix/Asia/Shanghai", "tzdata.zi", "zone.tab"}) {
        EXPECT_FALSE(TimeZone::FromName(name)) << name;
    }
    EXPECT_FALSE(TimeZone::FromName(std::string_view("UTC\0", 4)));
    EXPECT_FALSE(TimeZone::FromIanaName("asia/shanghai"));
    EXPECT_FALSE(TimeZone::FromOffset(18 * 3600 + 1));
}

// Where the table runs out (2037) the footer's rule goes on. Within the table both must agree for
// every zone whose footer keeps daylight time: the footer is the rule zic wrote the table from.
TEST(TimeZoneTest, EachFooterRuleMakesTheTransitionsOfItsTable) {
    // The first instant in (from, to] whose offset differs from the one at from.
    const auto firstChange = [](const TimeZone& zone, std::int64_t from, std::int64_t to) {
        const auto before = zone.OffsetAt(from);
        while (to - from > 1) {
            const auto middle = from + (to - from) / 2;
            (zone.OffsetAt(middle) == before ? from : to) = middle;
        }
        return to;
    };
    // Gaza and Hebron list each year's changes, moved for Ramadan, until 2086.
    const std::vector<std::string_view> ownTables = {"Asia/Gaza", "Asia/Hebron"};
    std::set<std::size_t> compared;
    for (const auto& entry : detail::CompiledZoneNames()) {
        // The footer: the data's last line.
        const auto data = detail::CompiledZoneData(entry.zone);
        const auto start = data.rfind('\n', data.size() - 2) + 1;
        const auto rule = data.substr(start, data.size() - 1 - start);
        if (rule.find(',') == std::string_view::npos || !compared.insert(entry.zone).second ||
            std::find(ownTables.begin(), ownTables.end(), entry.name) != ownTables.end()) {
            continue;
        }
        const auto table = TimeZone::FromIanaName(entry.name);
        const auto posix = TimeZone::FromPosixRule(rule);
        ASSERT_TRUE(table && posix) << entry.name << ": " << rule;
        // Changes are months apart: no step holds two.
        constexpr std::int64_t kStep = 12 * kHour;
        auto tableBefore = table->OffsetAt(UtcSeconds(2026, 1, 1));
        ASSERT_EQ(tableBefore, posix->OffsetAt(UtcSeconds(2026, 1, 1))) << entry.name;
        for (auto t = UtcSeconds(2026, 1, 1); t < UtcSeconds(2037, 12, 1); t += kStep) {
            const auto tableAfter = table->OffsetAt(t + kStep);
            const auto posixAfter = posix->OffsetAt(t + kStep);
            ASSERT_EQ(tableAfter, posixAfter) << entry.name << " at " << t + kStep;
            if (tableAfter != tableBefore) {
                ASSERT_EQ(firstChange(*table, t, t + kStep), firstChange(*posix, t, t + kStep))
                    << entry.name << ": " << rule;
            }
            tableBefore = tableAfter;
        }
    }
    EXPECT_GT(compared.size(), 100u);
}

TEST(TimeZoneTest, ReadsPosixRules) {
    const struct {
        const char* rule;
        std::int64_t instant;
        std::int32_t offset;
    } rules[] = {
        {"CST-8", 0, 8 * 3600},
        {"<+0330>-3:30", 0, 3 * 3600 + 1800},
        {"EST5EDT", UtcSeconds(2030, 7, 1), -4 * 3600},  // no dates: the US ones
        {"EST5EDT", UtcSeconds(2030, 1, 1), -5 * 3600},
        {"AAA3BBB2,J60/0,J61/0", UtcSeconds(2024, 3, 1, 12), -2 * 3600},  // Jn skips 29 February
        {"AAA3BBB2,59/0,60/0", UtcSeconds(2024, 2, 29, 12), -2 * 3600},   // n counts it
        {"AAA3BBB2,59/0,60/0", UtcSeconds(2023, 3, 1, 12), -2 * 3600},
        // Daylight time all year: it ends on the instant it starts again.
        {"EST5EDT,0/0,J365/25", UtcSeconds(2030, 1, 1, 5), -4 * 3600},
        {"EST5EDT,0/0,J365/25", UtcSeconds(2030, 12, 31, 23), -4 * 3600},
        // Dublin: "daylight" time is winter's.
        {"IST-1GMT0,M10.5.0,M3.5.0/1", UtcSeconds(2030, 1, 15), 0},
        {"IST-1GMT0,M10.5.0,M3.5.0/1", UtcSeconds(2030, 7, 15), 3600},
    };
    for (const auto& entry : rules) {
        const auto zone = TimeZone::FromPosixRule(entry.rule);
        ASSERT_TRUE(zone) << entry.rule;
        EXPECT_EQ(zone->Name(), entry.rule);
        EXPECT_EQ(zone->OffsetAt(entry.instant), entry.offset)
            << entry.rule << " at " << entry.instant;
    }
    for (const char* bad : {"", "CST", "C-8", "CST-25", "<+08-8", "EST5EDT,M3.2.0",
                            "EST5EDT,M13.1.0,M11.1.0", "EST5EDT,M3.6.0,M11.1.0", "EST5EDT,J0,J365",
                            "EST5EDT,M3.2.0/168,M11.1.0", "CST-8 ", "EST5EDT,M3.2.0,M11.1.0,"}) {
        EXPECT_FALSE(TimeZone::FromPosixRule(bad)) << bad;
    }
}

// TZif files of our own: the first block holds one type and no transition, as zic's slim files
// do; the second holds the transitions with 64-bit times and is followed by the footer.
std::string BigEndian(std::int64_t value, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<char>(static_cast<std::uint64_t>(value) >> (i * 8) & 0xFF));
    }
    return out;
}

struct TzifContents {
    char version = '2';
    std::vector<std::int64_t> times;
    std::vector<int> types;
    std::vector<std::int32_t> offsets;
    std::string footer;
};

std::string Tzif(const TzifContents& contents) {
    const auto header = [&contents](std::size_t times, std::size_t types) {
        return "TZif" + std::string(1, contents.version) + std::string(15, '\0') + BigEndian(0, 4) +
               BigEndian(0, 4) + BigEndian(0, 4) + BigEndian(static_cast<std::int64_t>(times), 4) +
               BigEndian(static_cast<std::int64_t>(types), 4) + BigEndian(1, 4);
    };
    const auto block = [&contents](int timeSize) {
        std::string out;
        for (const auto t : contents.times) {
            out += BigEndian(t, timeSize);
        }
        for (const auto type : contents.types) {
            out.push_back(static_cast<char>(type));
        }
        for (const auto offset : contents.offsets) {
            out += BigEndian(offset, 4) + std::string(2, '\0');
        }
        return out + '\0';
    };
    if (contents.version == '\0') {
        return header(contents.times.size(), contents.offsets.size()) + block(4);
    }
    return header(0, 1) + std::string(6, '\0') + '\0' +
           header(contents.times.size(), contents.offsets.size()) + block(8) + '\n' +
           contents.footer + '\n';
}

TEST(TimeZoneTest, ReadsTzifFilesAndRefusesBrokenOnes) {
    const TzifContents good{'2', {-kDay, 0}, {1, 2}, {0, 3600, 7200}, "<+02>-2"};
    const auto zone = TimeZone::FromTzif(Tzif(good), {});
    ASSERT_TRUE(zone);
    EXPECT_EQ(zone->Name(), "<+02>-2");
    EXPECT_EQ(zone->OffsetAt(-kDay - 1), 0);  // type 0 before the first transition
    EXPECT_EQ(zone->OffsetAt(-kDay), 3600);
    EXPECT_EQ(zone->OffsetAt(0), 7200);
    EXPECT_EQ(zone->OffsetAt(UtcSeconds(3000, 1, 1)), 7200);
    EXPECT_EQ(TimeZone::FromTzif(Tzif(good), "Test/Zone")->Name(), "Test/Zone");

    // Version 1: 32-bit times and no footer; the last offset holds.
    auto one = good;
    one.version = '\0';
    EXPECT_EQ(TimeZone::FromTzif(Tzif(one), {})->OffsetAt(kDay), 7200);
    // A footer this reader cannot follow is passed over.
    auto oddFooter = good;
    oddFooter.footer = "no rule";
    const auto odd = TimeZone::FromTzif(Tzif(oddFooter), {});
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->Name(), "+02:00");
    EXPECT_EQ(odd->OffsetAt(UtcSeconds(3000, 1, 1)), 7200);
    // A footer with daylight time carries on past the table.
    auto daylight = good;
    daylight.footer = "<+02>-2<+03>,M3.5.0,M10.5.0";
    EXPECT_EQ(TimeZone::FromTzif(Tzif(daylight), {})->OffsetAt(UtcSeconds(2500, 7, 1)), 3 * 3600);

    auto unsorted = good;
    unsorted.times = {0, -kDay};
    auto badType = good;
    badType.types = {1, 3};
    auto tooFar = good;
    tooFar.offsets[1] = 26 * 3600;
    auto noTypes = good;
    noTypes.times.clear();
    noTypes.types.clear();
    noTypes.offsets.clear();
    const std::string broken[] = {
        Tzif(unsorted),
        Tzif(badType),
        Tzif(tooFar),
        Tzif(noTypes),
        Tzif(good).substr(0, 44 + 7 + 44 + 16),
        "TZjf" + Tzif(good).substr(4),
        "",
    };
    for (const auto& bytes : broken) {
        EXPECT_FALSE(TimeZone::FromTzif(bytes, {})) << test::Printable(bytes);
    }
}

TEST(TimeZoneTest, KnowsTheWindowsZonesByTheirKeyNames) {
    const auto nameOf = [](std::string_view key) {
        const auto zone = TimeZone::FromWindowsName(key);
        return zone ? std::string(zone->Name()) : "(none)";
    };
    EXPECT_EQ(nameOf("China Standard Time"), "Asia/Shanghai");
    EXPECT_EQ(nameOf("Eastern Standard Time"), "America/New_York");
    EXPECT_EQ(nameOf("UTC"), "Etc/UTC");
    EXPECT_FALSE(TimeZone::FromWindowsName("Asia/Shanghai"));
    // Every key's IANA name is among the compiled zones.
    for (const auto& entry : detail::WindowsZoneNames()) {
        EXPECT_TRUE(TimeZone::FromWindowsName(entry.windows)) << entry.windows << " " << entry.iana;
    }
    EXPECT_GT(detail::WindowsZoneNames().size(), 130u);
}

#ifndef _WIN32
// Instants from 1850 to 2110, at odd steps so that they fall at every hour of the day.
std::vector<std::int64_t> Sweep(std::int64_t step) {
    std::vector<std::int64_t> instants;
    for (auto t = UtcSeconds(1850, 1, 1); t < UtcSeconds(2110, 1, 1); t += step) {
        instants.push_back(t);
    }
    return instants;
}

// TZ for one test; afterwards as the process had it.
class ScopedTz {
public:
    explicit ScopedTz(const char* value) {
        if (const char* old = std::getenv("TZ")) {
            saved_ = old;
        }
        Set(value);
    }
    ~ScopedTz() { Set(saved_ ? saved_->c_str() : nullptr); }
    ScopedTz(const ScopedTz&) = delete;
    ScopedTz& operator=(const ScopedTz&) = delete;

private:
    static void Set(const char* value) {
        if (value != nullptr) {
            ::setenv("TZ", value, 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    std::optional<std::string> saved_;
};

// glibc's reading of the system's tzdata: the oracle.
MessageTime GlibcLocal(std::int64_t instant) {
    const auto t = static_cast<std::time_t>(instant);
    std::tm out{};
    ::localtime_r(&t, &out);
    return {out.tm_year + 1900, out.tm_mon + 1, out.tm_mday, out.tm_hour, out.tm_min, out.tm_sec};
}

TEST(TimeZoneTest, EveryCompiledNameReadsAsGlibcReadsTheSystemsZone) {
    const auto instants = Sweep(41 * kDay + 5 * kHour + 7 * 60 + 11);
    for (const auto& entry : detail::CompiledZoneNames()) {
        const ScopedTz tz(std::string(entry.name).c_str());
        const auto zone = TimeZone::FromIanaName(entry.name);
        ASSERT_TRUE(zone) << entry.name;
        for (const auto t : instants) {
            ASSERT_EQ(zone->ToLocal(t), GlibcLocal(t)) << entry.name << " at " << t;
        }
    }
}

TEST(TimeZoneTest, LocalFollowsTheTzVariable) {
    const test::TempDir dir;
    const auto ownFile = dir / "own.tzif";
    test::WriteBytes(ownFile, Tzif({'2', {0}, {1}, {0, 5 * 3600 + 1800}, "<+0530>-5:30"}));
    const struct {
        std::optional<std::string> tz;
        const char* name;
        bool glibcReadsIt;
    } cases[] = {
        {"Asia/Shanghai", "Asia/Shanghai", true},
        {":Asia/Shanghai", "Asia/Shanghai", true},
        {"/usr/share/zoneinfo/Asia/Shanghai", "Asia/Shanghai", true},
        // A zone file's path names its zone, there or not.
        {"/elsewhere/zoneinfo/posix/Asia/Tokyo", "Asia/Tokyo", false},
        // Anywhere else the file is read.
        {":" + ownFile.string(), "<+0530>-5:30", true},
        {"CST-8", "CST-8", true},
        {"UTC-8", "UTC-8", true},  // a POSIX rule: eight hours east
        {"", "UTC", true},
        {"Mars/Base", "UTC", true},
        {"/dev/zero", "UTC", true},
        {std::nullopt, nullptr, true},  // the system's own
    };
    const auto instants = Sweep(97 * kDay + 13 * kHour);
    for (const auto& entry : cases) {
        const ScopedTz tz(entry.tz ? entry.tz->c_str() : nullptr);
        const auto zone = TimeZone::Local();
        const auto label = entry.tz.value_or("(unset)");
        if (entry.name != nullptr) {
            EXPECT_EQ(zone.Name(), entry.name) << label;
        }
        if (entry.glibcReadsIt) {
            for (const auto t : instants) {
                ASSERT_EQ(zone.ToLocal(t), GlibcLocal(t)) << label << " at " << t;
            }
        }
    }
    const ScopedTz tz("Asia/Tokyo");
    EXPECT_EQ(TimeZone::Local().ToLocal(0), (MessageTime{1970, 1, 1, 9, 0, 0}));
}
#else
// Windows' own conversion in the system's zone: the oracle. Its rules for past years are not
// tzdata's, so only years both know alike are compared.
TEST(TimeZoneTest, LocalAgreesWithWindows) {
    const auto zone = TimeZone::Local();
    for (int year = 2016; year <= 2030; ++year) {
        for (int month = 1; month <= 12; ++month) {
            SYSTEMTIME utc{};
            utc.wYear = static_cast<WORD>(year);
            utc.wMonth = static_cast<WORD>(month);
            utc.wDay = 15;
            utc.wHour = 12;
            SYSTEMTIME local{};
            ASSERT_TRUE(::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
            EXPECT_EQ(zone.ToLocal(UtcSeconds(year, month, 15, 12)),
                      (MessageTime{local.wYear, local.wMonth, local.wDay, local.wHour,
                                   local.wMinute, local.wSecond}))
                << zone.Name();
        }
    }
}
#endif

}  // namespace
}  // namespace quillbox
