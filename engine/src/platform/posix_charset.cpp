// SPDX-License-Identifier: MIT
#include <iconv.h>

#include <cerrno>

#include "platform/charset.h"
#include "platform/charset_names.h"
#include "platform/codec.h"
#include "platform/cp936_table.h"

namespace quillbox::platform {

namespace {

class Converter {
public:
    explicit Converter(const char* from) : cd_(::iconv_open("UTF-8", from)) {}
    ~Converter() {
        if (Valid()) {
            ::iconv_close(cd_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // None for a byte sequence the set does not define or that the input cuts off.
    std::optional<std::string> Convert(std::string_view bytes) {
        std::string out(bytes.size() * 2 + 16, '\0');
        // iconv takes a non-const source pointer but does not write through it.
        char* in = const_cast<char*>(bytes.data());
        std::size_t inLeft = bytes.size();
        std::size_t used = 0;
        while (inLeft > 0) {
            char* dst = out.data() + used;
            std::size_t dstLeft = out.size() - used;
            const std::size_t result = ::iconv(cd_, &in, &inLeft, &dst, &dstLeft);
            used = out.size() - dstLeft;
            if (result != static_cast<std::size_t>(-1)) {
                break;
            }
            if (errno != E2BIG) {
                return std::nullopt;
            }
            out.resize(out.size() * 2);
        }
        out.resize(used);
        return out;
    }

private:
    iconv_t cd_;
};

}  // namespace

const Cp936Tables& Cp936() {
    static const Cp936Tables tables{detail::kUnicodeToCp936, detail::kCp936SingleByte,
                                    detail::kCp936Pairs};
    return tables;
}

std::optional<std::string> DecodeToUtf8(std::string_view charset, std::string_view bytes) {
    const auto known = detail::FindCharset(charset);
    if (!known) {
        return std::nullopt;
    }
    if (known->iconvName == nullptr) {
        const auto wide = Cp936ToUtf16(bytes);
        if (!wide) {
            return std::nullopt;
        }
        return Utf16ToUtf8(*wide);
    }
    Converter converter(known->iconvName);
    if (!converter.Valid()) {
        return std::nullopt;
    }
    return converter.Convert(bytes);
}

}  // namespace quillbox::platform
