// SPDX-License-Identifier: MIT
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/local_zone.h"

namespace quillbox::platform {

namespace {

constexpr std::string_view kZoneinfo = "zoneinfo/";

// TZif files are a few kilobytes; TZ=/dev/zero must not read forever.
constexpr std::size_t kMostTzifBytes = 1 << 20;

std::optional<std::string> ReadSmallFile(const char* path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path, "rb"), std::fclose);
    if (!file) {
        return std::nullopt;
    }
    std::string bytes(kMostTzifBytes + 1, '\0');
    const std::size_t read = std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (read > kMostTzifBytes || std::ferror(file.get()) != 0) {
        return std::nullopt;
    }
    bytes.resize(read);
    return bytes;
}

// ".../zoneinfo/Asia/Shanghai" and ".../zoneinfo/posix/Asia/Shanghai" name Asia/Shanghai (the
// right/ variant only counts leap seconds besides).
std::optional<TimeZone> ZoneNamedByPath(std::string_view path) {
    const auto at = path.rfind(kZoneinfo);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    auto name = path.substr(at + kZoneinfo.size());
    for (const std::string_view variant : {"posix/", "right/"}) {
        if (name.starts_with(variant)) {
            name.remove_prefix(variant.size());
        }
    }
    return TimeZone::FromIanaName(name);
}

std::optional<TimeZone> ZoneOfFile(const char* path) {
    if (auto zone = ZoneNamedByPath(path)) {
        return zone;
    }
    if (const auto bytes = ReadSmallFile(path)) {
        return TimeZone::FromTzif(*bytes, {});
    }
    return std::nullopt;
}

// As glibc reads TZ: a leading ':' is dropped; a name is looked for among the zones first,
// then the value is taken as a POSIX rule, where "UTC-8" means eight hours east.
TimeZone ZoneOfTzVariable(std::string_view value) {
    if (value.starts_with(':')) {
        value.remove_prefix(1);
    }
    std::optional<TimeZone> zone;
    if (value.starts_with('/')) {
        zone = ZoneOfFile(std::string(value).c_str());
    } else if (!value.empty()) {
        zone = TimeZone::FromIanaName(value);
        if (!zone) {
            zone = TimeZone::FromPosixRule(value);
        }
    }
    return zone.value_or(TimeZone::Utc());
}

std::optional<TimeZone> ZoneOfTimezoneFile() {
    const auto text = ReadSmallFile("/etc/timezone");
    if (!text) {
        return std::nullopt;
    }
    std::string_view name(*text);
    name = name.substr(0, name.find_first_of(" \t\r\n"));
    return TimeZone::FromIanaName(name);
}

}  // namespace

std::optional<TimeZone> LocalZone() {
    if (const char* tz = std::getenv("TZ")) {
        return ZoneOfTzVariable(tz);
    }
    std::error_code error;
    const auto target = std::filesystem::read_symlink("/etc/localtime", error);
    if (!error) {
        if (auto zone = ZoneNamedByPath(target.native())) {
            return zone;
        }
    }
    if (auto zone = ZoneOfTimezoneFile()) {
        return zone;
    }
    if (const auto bytes = ReadSmallFile("/etc/localtime")) {
        return TimeZone::FromTzif(*bytes, {});
    }
    return std::nullopt;
}

}  // namespace quillbox::platform
