// SPDX-License-Identifier: MIT
#include "read/time_zone.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <vector>

#include "platform/local_zone.h"
#include "read/compiled_zones.h"

namespace quillbox {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int32_t kHour = 3600;
// TZif offsets stay within -25 and +26 hours.
constexpr std::int32_t kLeastTzifOffset = -25 * kHour + 1;
constexpr std::int32_t kMostTzifOffset = 26 * kHour - 1;
constexpr std::int32_t kMostFixedOffset = 18 * kHour;

constexpr std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - (a % b < 0 ? 1 : 0);
}

constexpr bool IsLeapYear(std::int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

constexpr int DaysInMonth(std::int64_t year, int month) {
    constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

// Days since 1970-01-01 of a proleptic Gregorian date, counted in 400-year eras of years that
// begin on 1 March, so that a leap day is the last day of its year.
constexpr std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = FloorDiv(year, 400);
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * ((month + 9) % 12) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct CivilDate {
    std::int64_t year;
    int month;
    int day;
};

constexpr CivilDate CivilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = FloorDiv(days, 146097);
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const auto day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const auto month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

// -9999-01-01T00:00:00 and 9999-12-31T23:59:59.
constexpr std::int64_t kFirstSecond = DaysFromCivil(-9999, 1, 1) * kSecondsPerDay;
constexpr std::int64_t kLastSecond = DaysFromCivil(10000, 1, 1) * kSecondsPerDay - 1;
static_assert(kFirstSecond == -377705116800 && kLastSecond == 253402300799);
static_assert(CivilFromDays(-1).year == 1969 && CivilFromDays(11016).month == 2);

// Far enough past either end for any offset, near enough that sums cannot overflow.
constexpr std::int64_t ClampInstant(std::int64_t t) {
    return std::clamp(t, kFirstSecond - 2 * kSecondsPerDay, kLastSecond + 2 * kSecondsPerDay);
}

// One of a POSIX TZ rule's two dates: "Jn" counts 1 to 365 and never 29 February, "n" counts 0
// to 365 with it, "Mm.w.d" is weekday d (0 for Sunday) of week w (5 for the last) of month m.
struct DateRule {
    enum class Kind : std::uint8_t { Julian, ZeroBased, MonthWeekDay };
    Kind kind = Kind::MonthWeekDay;
    int dayOrMonth = 0;
    int week = 0;
    int weekday = 0;
    // After midnight of the day, in the local time in force before the change; from -167 to
    // 167 hours.
    std::int32_t time = 2 * kHour;

    std::int64_t LocalSecondsIn(std::int64_t year) const {
        const std::int64_t january = DaysFromCivil(year, 1, 1);
        std::int64_t day = 0;
        switch (kind) {
            case Kind::Julian:
                day = january + dayOrMonth - 1 + (IsLeapYear(year) && dayOrMonth >= 60 ? 1 : 0);
                break;
            case Kind::ZeroBased:
                day = january + dayOrMonth;
                break;
            case Kind::MonthWeekDay: {
                const std::int64_t first = DaysFromCivil(year, dayOrMonth, 1);
                // 1970-01-01 was a Thursday.
                const std::int64_t firstWeekday = (first % 7 + 7 + 4) % 7;
                std::int64_t offset = (weekday - firstWeekday + 7) % 7 + 7 * (week - 1);
                if (offset >= DaysInMonth(year, dayOrMonth)) {
                    offset -= 7;
                }
                day = first + offset;
                break;
            }
        }
        return day * kSecondsPerDay + time;
    }
};

struct PosixRule {
    std::int32_t standardOffset = 0;
    std::int32_t daylightOffset = 0;
    bool hasDaylight = false;
    DateRule start;
    DateRule end;

    std::int32_t OffsetAt(std::int64_t t) const {
        if (!hasDaylight) {
            return standardOffset;
        }
        t = ClampInstant(t);
        const std::int64_t year = CivilFromDays(FloorDiv(t + standardOffset, kSecondsPerDay)).year;
        // The latest change at or before t among the years around it (a rule's time may move
        // its change a week into the next year). A start wins a tie with an end, so that
        // daylight time all year round, which ends on the instant it starts again, stays on.
        std::int64_t latest = std::numeric_limits<std::int64_t>::min();
        bool daylight = false;
        for (std::int64_t y = year - 2; y <= year + 1; ++y) {
            const std::int64_t ends = end.LocalSecondsIn(y) - daylightOffset;
            if (ends <= t && ends > latest) {
                latest = ends;
                daylight = false;
            }
            const std::int64_t starts = start.LocalSecondsIn(y) - standardOffset;
            if (starts <= t && starts >= latest) {
                latest = starts;
                daylight = true;
            }
        }
        return daylight ? daylightOffset : standardOffset;
    }
};

class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool AtEnd() const { return text_.empty(); }
    char Peek() const { return text_.empty() ? '\0' : text_.front(); }
    bool Skip(char c) {
        if (text_.empty() || text_.front() != c) {
            return false;
        }
        text_.remove_prefix(1);
        return true;
    }

    // One to maxDigits decimal digits.
    std::optional<int> Number(std::size_t maxDigits) {
        std::size_t digits = 0;
        int value = 0;
        while (digits < maxDigits && digits < text_.size() && IsDigit(text_[digits])) {
            value = value * 10 + (text_[digits] - '0');
            ++digits;
        }
        if (digits == 0) {
            return std::nullopt;
        }
        text_.remove_prefix(digits);
        return value;
    }

    // The longest run of characters that pass, at least minimum of them.
    template <typename Predicate>
    bool SkipRun(Predicate passes, std::size_t minimum) {
        std::size_t length = 0;
        while (length < text_.size() && passes(text_[length])) {
            ++length;
        }
        if (length < minimum) {
            return false;
        }
        text_.remove_prefix(length);
        return true;
    }

    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

private:
    std::string_view text_;
};

// "EST", or quoted as "<+0530>" where it holds digits and signs.
bool SkipZoneAbbreviation(Cursor& cursor) {
    if (cursor.Skip('<')) {
        return cursor.SkipRun(
                   [](char c) {
                       return Cursor::IsAlpha(c) || Cursor::IsDigit(c) || c == '+' || c == '-';
                   },
                   3) &&
               cursor.Skip('>');
    }
    return cursor.SkipRun(Cursor::IsAlpha, 3);
}

// [+-]hh[:mm[:ss]], in seconds.
std::optional<std::int32_t> ParseClock(Cursor& cursor, int mostHours, std::size_t hourDigits) {
    const bool negative = cursor.Skip('-');
    if (!negative) {
        cursor.Skip('+');
    }
    const auto hours = cursor.Number(hourDigits);
    if (!hours || *hours > mostHours) {
        return std::nullopt;
    }
    std::int32_t seconds = *hours * kHour;
    for (const int unit : {60, 1}) {
        if (!cursor.Skip(':')) {
            break;
        }
        const auto part = cursor.Number(2);
        if (!part || *part > 59) {
            return std::nullopt;
        }
        seconds += *part * unit;
    }
    return negative ? -seconds : seconds;
}

std::optional<DateRule> ParseDateRule(Cursor& cursor) {
    DateRule rule;
    if (cursor.Skip('M')) {
        const auto month = cursor.Number(2);
        if (!month || *month < 1 || *month > 12 || !cursor.Skip('.')) {
            return std::nullopt;
        }
        const auto week = cursor.Number(1);
        if (!week || *week < 1 || *week > 5 || !cursor.Skip('.')) {
            return std::nullopt;
        }
        const auto weekday = cursor.Number(1);
        if (!weekday || *weekday > 6) {
            return std::nullopt;
        }
        rule = {DateRule::Kind::MonthWeekDay, *month, *week, *weekday};
    } else {
        const bool julian = cursor.Skip('J');
        const auto day = cursor.Number(3);
        if (!day || *day > 365 || (julian && *day < 1)) {
            return std::nullopt;
        }
        rule.kind = julian ? DateRule::Kind::Julian : DateRule::Kind::ZeroBased;
        rule.dayOrMonth = *day;
    }
    if (cursor.Skip('/')) {
        const auto time = ParseClock(cursor, 167, 3);
        if (!time) {
            return std::nullopt;
        }
        rule.time = *time;
    }
    return rule;
}

// POSIX offsets count west of UTC.
std::optional<PosixRule> ParsePosixRule(std::string_view text) {
    Cursor cursor(text);
    PosixRule rule;
    if (!SkipZoneAbbreviation(cursor)) {
        return std::nullopt;
    }
    const auto standard = ParseClock(cursor, 24, 2);
    if (!standard) {
        return std::nullopt;
    }
    rule.standardOffset = -*standard;
    if (cursor.AtEnd()) {
        return rule;
    }
    if (!SkipZoneAbbreviation(cursor)) {
        return std::nullopt;
    }
    rule.hasDaylight = true;
    rule.daylightOffset = rule.standardOffset + kHour;
    if (!cursor.AtEnd() && cursor.Peek() != ',') {
        const auto daylight = ParseClock(cursor, 24, 2);
        if (!daylight) {
            return std::nullopt;
        }
        rule.daylightOffset = -*daylight;
    }
    if (cursor.AtEnd()) {
        // No dates: glibc's posixrules, which are New York's.
        rule.start = {DateRule::Kind::MonthWeekDay, 3, 2, 0};
        rule.end = {DateRule::Kind::MonthWeekDay, 11, 1, 0};
        return rule;
    }
    const auto start = cursor.Skip(',') ? ParseDateRule(cursor) : std::nullopt;
    const auto end = start && cursor.Skip(',') ? ParseDateRule(cursor) : std::nullopt;
    if (!end || !cursor.AtEnd()) {
        return std::nullopt;
    }
    rule.start = *start;
    rule.end = *end;
    return rule;
}

std::string FormatOffset(std::int32_t seconds) {
    const char sign = seconds < 0 ? '-' : '+';
    const std::int32_t magnitude = seconds < 0 ? -seconds : seconds;
    std::string text(1, sign);
    const auto two = [&text](std::int32_t value) {
        text.push_back(static_cast<char>('0' + value / 10));
        text.push_back(static_cast<char>('0' + value % 10));
    };
    two(magnitude / kHour);
    text.push_back(':');
    two(magnitude / 60 % 60);
    if (magnitude % 60 != 0) {
        text.push_back(':');
        two(magnitude % 60);
    }
    return text;
}

char FoldCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualAnyCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return FoldCase(x) == FoldCase(y); });
}

std::optional<int> TwoDigits(std::string_view text) {
    if (text.size() != 2 || !Cursor::IsDigit(text[0]) || !Cursor::IsDigit(text[1])) {
        return std::nullopt;
    }
    return (text[0] - '0') * 10 + (text[1] - '0');
}

// "+08:00", "-0530", "+8", "UTC+08:00", "GMT-3": east of UTC, unlike a POSIX rule.
std::optional<std::int32_t> ParseFixedOffset(std::string_view text) {
    if (text.size() > 3 &&
        (EqualAnyCase(text.substr(0, 3), "utc") || EqualAnyCase(text.substr(0, 3), "gmt"))) {
        text.remove_prefix(3);
    }
    if (text.empty() || (text.front() != '+' && text.front() != '-')) {
        return std::nullopt;
    }
    const bool negative = text.front() == '-';
    text.remove_prefix(1);
    const auto hourDigits = static_cast<std::size_t>(
        std::find_if_not(text.begin(), text.end(), Cursor::IsDigit) - text.begin());
    std::optional<int> hours;
    std::optional<int> minutes;
    if (hourDigits == 4 && text.size() == 4) {
        hours = TwoDigits(text.substr(0, 2));
        minutes = TwoDigits(text.substr(2));
    } else if (hourDigits == 1 || hourDigits == 2) {
        hours = hourDigits == 1 ? std::optional<int>(text[0] - '0') : TwoDigits(text.substr(0, 2));
        const auto rest = text.substr(hourDigits);
        if (rest.empty()) {
            minutes = 0;
        } else if (rest.front() == ':') {
            minutes = TwoDigits(rest.substr(1));
        }
    }
    if (!hours || !minutes || *minutes > 59) {
        return std::nullopt;
    }
    const std::int32_t seconds = *hours * kHour + *minutes * 60;
    if (seconds > kMostFixedOffset) {
        return std::nullopt;
    }
    return negative ? -seconds : seconds;
}

class ByteReader {
public:
    explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}

    std::string_view Rest() const { return bytes_; }

    std::optional<std::string_view> Take(std::uint64_t count) {
        if (count > bytes_.size()) {
            return std::nullopt;
        }
        const auto taken = bytes_.substr(0, static_cast<std::size_t>(count));
        bytes_.remove_prefix(static_cast<std::size_t>(count));
        return taken;
    }

    // Big-endian numbers of up to eight bytes.
    static std::uint64_t Unsigned(std::string_view bytes) {
        std::uint64_t value = 0;
        for (const char c : bytes) {
            value = value << 8 | static_cast<unsigned char>(c);
        }
        return value;
    }
    static std::int64_t Signed(std::string_view bytes) {
        std::uint64_t value = Unsigned(bytes);
        const unsigned bits = static_cast<unsigned>(bytes.size()) * 8;
        if (bits < 64 && (value >> (bits - 1)) != 0) {
            value |= ~std::uint64_t{0} << bits;
        }
        return static_cast<std::int64_t>(value);
    }

private:
    std::string_view bytes_;
};

struct TzifCounts {
    std::uint64_t isUt;
    std::uint64_t isStd;
    std::uint64_t leap;
    std::uint64_t time;
    std::uint64_t type;
    std::uint64_t chars;

    std::uint64_t BlockSize(std::uint64_t timeSize) const {
        return time * (timeSize + 1) + type * 6 + chars + leap * (timeSize + 4) + isStd + isUt;
    }
};

// "TZif", a version byte, 15 unused bytes and six counts.
std::optional<TzifCounts> ReadTzifHeader(ByteReader& reader, char& version) {
    const auto header = reader.Take(44);
    if (!header || !header->starts_with("TZif")) {
        return std::nullopt;
    }
    version = (*header)[4];
    std::array<std::uint64_t, 6> counts{};
    for (std::size_t i = 0; i < counts.size(); ++i) {
        counts[i] = ByteReader::Unsigned(header->substr(20 + i * 4, 4));
    }
    const TzifCounts result{counts[0], counts[1], counts[2], counts[3], counts[4], counts[5]};
    if (result.type == 0 || result.type > 256 || (result.isUt != 0 && result.isUt != result.type) ||
        (result.isStd != 0 && result.isStd != result.type)) {
        return std::nullopt;
    }
    return result;
}

}  // namespace

struct TimeZone::Rules {
    std::string name;
    // Ascending; offsets[i] holds from transitions[i] on.
    std::vector<std::int64_t> transitions;
    std::vector<std::int32_t> offsets;
    // Before the first transition: time type 0.
    std::int32_t initialOffset = 0;
    // After the last transition, or always where there is none.
    std::optional<PosixRule> footer;

    std::int32_t OffsetAt(std::int64_t t) const {
        if (transitions.empty() || t > transitions.back()) {
            if (footer) {
                return footer->OffsetAt(t);
            }
            return transitions.empty() ? initialOffset : offsets.back();
        }
        const auto after = std::upper_bound(transitions.begin(), transitions.end(), t);
        if (after == transitions.begin()) {
            return initialOffset;
        }
        return offsets[static_cast<std::size_t>(after - transitions.begin() - 1)];
    }
};

namespace {

// One header's data block: transitions, their types and the types' offsets. Abbreviations,
// leap seconds (of the right/ files, a few seconds at most) and the standard/wall and UT/local
// indicators do not change an offset and are passed over.
bool ReadTzifBlock(ByteReader& reader, const TzifCounts& counts, std::uint64_t timeSize,
                   TimeZone::Rules& rules) {
    const auto block = reader.Take(counts.BlockSize(timeSize));
    if (!block) {
        return false;
    }
    const auto times = block->substr(0, static_cast<std::size_t>(counts.time * timeSize));
    const auto typeIndices = block->substr(times.size(), static_cast<std::size_t>(counts.time));
    const auto types =
        block->substr(times.size() + typeIndices.size(), static_cast<std::size_t>(counts.type * 6));
    std::vector<std::int32_t> typeOffsets;
    typeOffsets.reserve(static_cast<std::size_t>(counts.type));
    for (std::size_t i = 0; i < types.size(); i += 6) {
        const auto offset = ByteReader::Signed(types.substr(i, 4));
        if (offset < kLeastTzifOffset || offset > kMostTzifOffset) {
            return false;
        }
        typeOffsets.push_back(static_cast<std::int32_t>(offset));
    }
    rules.initialOffset = typeOffsets.front();
    rules.transitions.clear();
    rules.offsets.clear();
    rules.transitions.reserve(static_cast<std::size_t>(counts.time));
    rules.offsets.reserve(static_cast<std::size_t>(counts.time));
    for (std::size_t i = 0; i < typeIndices.size(); ++i) {
        const auto at = ByteReader::Signed(times.substr(i * timeSize, timeSize));
        const auto type = static_cast<unsigned char>(typeIndices[i]);
        if ((!rules.transitions.empty() && at <= rules.transitions.back()) ||
            type >= typeOffsets.size()) {
            return false;
        }
        rules.transitions.push_back(at);
        rules.offsets.push_back(typeOffsets[type]);
    }
    return true;
}

// The 64-bit block from its header on, then the footer: a TZ rule between two line feeds, which
// also names the zone until a better name is given. A footer this reader cannot follow is
// passed over, as one that is missing or empty: the last transition's offset then holds.
bool ReadSecondTzifPart(ByteReader& reader, TimeZone::Rules& rules) {
    char version = 0;
    const auto counts = ReadTzifHeader(reader, version);
    if (!counts || !ReadTzifBlock(reader, *counts, 8, rules)) {
        return false;
    }
    const auto rest = reader.Rest();
    if (rest.starts_with('\n')) {
        const auto close = rest.find('\n', 1);
        if (close != std::string_view::npos) {
            const auto text = rest.substr(1, close - 1);
            rules.footer = ParsePosixRule(text);
            if (rules.footer) {
                rules.name = text;
            }
        }
    }
    return true;
}

std::optional<TimeZone::Rules> ParseTzif(std::string_view bytes) {
    ByteReader reader(bytes);
    char version = 0;
    const auto counts = ReadTzifHeader(reader, version);
    if (!counts) {
        return std::nullopt;
    }
    TimeZone::Rules rules;
    if (version == '\0') {
        if (!ReadTzifBlock(reader, *counts, 4, rules)) {
            return std::nullopt;
        }
        return rules;
    }
    // Version 2 and later repeat the data with 64-bit times; the first block is only skipped.
    if (!reader.Take(counts->BlockSize(4)) || !ReadSecondTzifPart(reader, rules)) {
        return std::nullopt;
    }
    return rules;
}

const detail::CompiledZoneName* FindCompiledName(std::string_view name) {
    const auto names = detail::CompiledZoneNames();
    const auto found =
        std::lower_bound(names.begin(), names.end(), name,
                         [](const detail::CompiledZoneName& entry, std::string_view wanted) {
                             return entry.name < wanted;
                         });
    return found != names.end() && found->name == name ? &*found : nullptr;
}

// tzdata spells no two names alike but for case.
const detail::CompiledZoneName* FindCompiledNameAnyCase(std::string_view name) {
    for (const auto& entry : detail::CompiledZoneNames()) {
        if (EqualAnyCase(entry.name, name)) {
            return &entry;
        }
    }
    return nullptr;
}

std::optional<TimeZone::Rules> CompiledRules(const detail::CompiledZoneName& entry) {
    ByteReader reader(detail::CompiledZoneData(entry.zone));
    TimeZone::Rules rules;
    if (!ReadSecondTzifPart(reader, rules)) {
        return std::nullopt;
    }
    rules.name = entry.name;
    return rules;
}

}  // namespace

TimeZone TimeZone::Utc() {
    static const auto utc = std::make_shared<const Rules>(Rules{"UTC", {}, {}, 0, std::nullopt});
    return TimeZone(utc);
}

std::optional<TimeZone> TimeZone::FromIanaName(std::string_view name) {
    const auto* entry = FindCompiledName(name);
    if (entry == nullptr) {
        return std::nullopt;
    }
    auto rules = CompiledRules(*entry);
    if (!rules) {
        return std::nullopt;
    }
    return TimeZone(std::make_shared<const Rules>(std::move(*rules)));
}

std::optional<TimeZone> TimeZone::FromName(std::string_view name) {
    const auto* entry = FindCompiledName(name);
    if (entry == nullptr) {
        entry = FindCompiledNameAnyCase(name);
    }
    if (entry != nullptr) {
        return FromIanaName(entry->name);
    }
    if (const auto offset = ParseFixedOffset(name)) {
        return FromOffset(*offset);
    }
    return std::nullopt;
}

TimeZone TimeZone::Local() {
    return platform::LocalZone().value_or(Utc());
}

std::optional<TimeZone> TimeZone::FromWindowsName(std::string_view key) {
    const auto map = detail::WindowsZoneNames();
    const auto found =
        std::lower_bound(map.begin(), map.end(), key,
                         [](const detail::WindowsZoneName& entry, std::string_view wanted) {
                             return entry.windows < wanted;
                         });
    if (found == map.end() || found->windows != key) {
        return std::nullopt;
    }
    return FromIanaName(found->iana);
}

std::optional<TimeZone> TimeZone::FromOffset(std::int32_t seconds) {
    if (seconds < -kMostFixedOffset || seconds > kMostFixedOffset) {
        return std::nullopt;
    }
    return TimeZone(
        std::make_shared<const Rules>(Rules{FormatOffset(seconds), {}, {}, seconds, std::nullopt}));
}

std::optional<TimeZone> TimeZone::FromPosixRule(std::string_view rule) {
    auto parsed = ParsePosixRule(rule);
    if (!parsed) {
        return std::nullopt;
    }
    return TimeZone(std::make_shared<const Rules>(
        Rules{std::string(rule), {}, {}, parsed->standardOffset, parsed}));
}

std::optional<TimeZone> TimeZone::FromTzif(std::string_view bytes, std::string_view name) {
    auto rules = ParseTzif(bytes);
    if (!rules) {
        return std::nullopt;
    }
    if (!name.empty()) {
        rules->name = name;
    } else if (rules->name.empty()) {
        rules->name =
            FormatOffset(rules->offsets.empty() ? rules->initialOffset : rules->offsets.back());
    }
    return TimeZone(std::make_shared<const Rules>(std::move(*rules)));
}

std::string_view TimeZone::DataVersion() {
    return detail::CompiledTzdataVersion();
}

std::string_view TimeZone::Name() const {
    return rules_->name;
}

std::int32_t TimeZone::OffsetAt(std::int64_t unixSeconds) const {
    return rules_->OffsetAt(unixSeconds);
}

MessageTime TimeZone::ToLocal(std::int64_t unixSeconds) const {
    const std::int64_t t = ClampInstant(unixSeconds);
    const std::int64_t local = std::clamp(t + rules_->OffsetAt(t), kFirstSecond, kLastSecond);
    const std::int64_t days = FloorDiv(local, kSecondsPerDay);
    const auto second = static_cast<int>(local - days * kSecondsPerDay);
    const CivilDate date = CivilFromDays(days);
    return {static_cast<int>(date.year),
            date.month,
            date.day,
            second / 3600,
            second / 60 % 60,
            second % 60};
}

}  // namespace quillbox
