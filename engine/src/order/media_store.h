// SPDX-License-Identifier: MIT
#pragma once

// The attachments of a run's messages, for an archive folder: each written into its media folder
// as its bytes arrive (never held whole), named by its content, so that the same picture sent
// twice is one file.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "order/sha256.h"
#include "platform/platform.h"

namespace quillbox {

// The extension an attachment is stored under, chosen by its first bytes and, for text, which
// has no mark of its own, by its content type: one of .jpg .png .gif .webp .heic .mp4 .3gp .amr
// .m4a .pdf .vcf .txt, else .bin. No attachment is ever stored as a page, a script, a shortcut or
// a program that a click would open as such.
std::string_view MediaExtension(std::string_view head, std::string_view contentType);

class MediaStore {
public:
    // The bytes of an attachment's start that tell its type.
    static constexpr std::size_t kHeadBytes = 32;
    // The hex digits of a stored file's name: 128 bits of the SHA-256 of its bytes.
    static constexpr std::size_t kNameDigits = 32;

    // Attachments go into folder, which is there: its path with the separator at the end.
    explicit MediaStore(platform::NativeString folder) : folder_(std::move(folder)) {}
    MediaStore(const MediaStore&) = delete;
    MediaStore& operator=(const MediaStore&) = delete;

    // One attachment on its way in, in a file of its own in the folder.
    class Incoming {
    public:
        Incoming() = default;
        Incoming(Incoming&& other) noexcept { *this = std::move(other); }
        Incoming& operator=(Incoming&& other) noexcept;
        Incoming(const Incoming&) = delete;
        Incoming& operator=(const Incoming&) = delete;
        // Without a Keep, its file goes.
        ~Incoming() { Drop(); }
        void Write(std::string_view bytes);
        // Closes its file: every byte is in.
        void Close();
        std::uint64_t Size() const { return size_; }

    private:
        friend class MediaStore;
        void Drop();

        platform::NewFile file_;
        platform::NativeString path_;
        Sha256 hash_;
        std::string head_;
        std::uint64_t size_ = 0;
        int error_ = 0;
        bool failed_ = false;
    };
    Incoming Begin();

    // A stored attachment: its file's name in the folder, and its size.
    struct Stored {
        std::string name;
        std::uint64_t size = 0;
    };
    // Keeps what came in under the name of its content; the file already there where the same
    // bytes came before. None, and the store failed, where the file could not be written; none
    // for an attachment of no byte.
    std::optional<Stored> Keep(Incoming incoming, std::string_view contentType);

    // Where a file could not be written: the archive folder is not whole.
    bool Failed() const { return failed_; }
    int LastError() const { return lastError_; }
    // The files stored, in the order they came (which the threads decide), and their bytes.
    const std::vector<std::string>& Names() const { return names_; }
    std::uint64_t Bytes() const { return bytes_; }

private:
    void Failure(int error);

    platform::NativeString folder_;
    std::atomic<unsigned> next_{0};
    std::mutex mutex_;
    std::unordered_map<std::string, std::string> byDigest_;
    std::vector<std::string> names_;
    std::uint64_t bytes_ = 0;
    std::atomic<bool> failed_{false};
    int lastError_ = 0;
};

}  // namespace quillbox
