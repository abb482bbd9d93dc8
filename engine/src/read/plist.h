// SPDX-License-Identifier: MIT
#pragma once

// The few values a backup's Info.plist and Manifest.plist are read for: the top dictionary's
// strings, dates and booleans, from an XML or a binary ("bplist00") property list.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillbox {

struct PlistValue {
    std::string key;
    // A string's text (valid UTF-8), or "true"/"false" for a boolean; empty for a date.
    std::string text;
    std::optional<std::int64_t> date;  // a date's instant, in seconds since 1970 UTC
};

// The top dictionary's strings, dates and booleans in the order they stand, the values of
// nested dictionaries and arrays left out; empty for bytes that are no property list.
std::vector<PlistValue> ReadPlistValues(std::string_view bytes);

// The value of key, or none.
const PlistValue* FindPlistValue(const std::vector<PlistValue>& values, std::string_view key);

}  // namespace quillbox
