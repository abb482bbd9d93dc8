// SPDX-License-Identifier: MIT
#include <sched.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstring>

#include "platform/codec.h"
#include "platform/platform.h"

// Paths on POSIX are the bytes the system holds: nothing is converted on the way to open().

namespace quillbox::platform {

const char kPathSeparator = '/';

NativeString NativeFromUtf16(std::u16string_view text) {
    return Utf16ToUtf8(text);
}

NativeString NativeFromUtf8(std::string_view utf8) {
    return NativeString(utf8);
}

std::string DisplayPath(NativeView path) {
    return Utf8Lenient(path);
}

bool EndsWithSeparator(NativeView path) {
    return !path.empty() && path.back() == '/';
}

NativeView TrimTrailingSeparators(NativeView path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return path;
}

bool FitsPathLimit(NativeView path) {
    return path.size() < PATH_MAX;
}

unsigned UsableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) {
            return static_cast<unsigned>(count);
        }
    }
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1u;
}

std::string SystemErrorText(int error) {
    std::array<char, 256> text{};
    // The GNU strerror_r returns its text, which may or may not lie in the buffer.
    const char* message = ::strerror_r(error, text.data(), text.size());
    return message != nullptr ? std::string(message) : std::string();
}

}  // namespace quillbox::platform
