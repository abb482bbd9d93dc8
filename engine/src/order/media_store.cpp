// SPDX-License-Identifier: MIT
#include "order/media_store.h"

#include <algorithm>
#include <utility>

namespace quillbox {

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsLower(std::string_view text, std::string_view lower) {
    return text.size() == lower.size() && std::equal(text.begin(), text.end(), lower.begin(),
                                                     [](char a, char b) { return Lower(a) == b; });
}

// "Image/JPEG; name=x.jpg" as "image/jpeg".
std::string MediaType(std::string_view contentType) {
    contentType = contentType.substr(0, contentType.find(';'));
    while (!contentType.empty() && (contentType.front() == ' ' || contentType.front() == '\t')) {
        contentType.remove_prefix(1);
    }
    while (!contentType.empty() && (contentType.back() == ' ' || contentType.back() == '\t')) {
        contentType.remove_suffix(1);
    }
    std::string type(contentType);
    std::transform(type.begin(), type.end(), type.begin(), Lower);
    return type;
}

// The major brands of HEIF images, which an ISO media file names after "ftyp".
constexpr std::string_view kHeifBrands[] = {"heic", "heix", "hevc", "hevx", "heim",
                                            "heis", "hevm", "hevs", "mif1", "msf1"};
// Apple's brands of audio alone in an MPEG-4 file.
constexpr std::string_view kAudioBrands[] = {"M4A ", "M4B ", "M4P "};

}  // namespace

std::string_view MediaExtension(std::string_view head, std::string_view contentType) {
    const auto at = [&](std::size_t offset, std::string_view magic) {
        return head.size() >= offset + magic.size() && head.substr(offset, magic.size()) == magic;
    };
    if (at(0, "\xFF\xD8\xFF")) {
        return ".jpg";
    }
    if (at(0, "\x89PNG\r\n\x1A\n")) {
        return ".png";
    }
    if (at(0, "GIF87a") || at(0, "GIF89a")) {
        return ".gif";
    }
    if (at(0, "RIFF") && at(8, "WEBP")) {
        return ".webp";
    }
    const std::string type = MediaType(contentType);
    // ISO base media files: a box's size, then "ftyp" and the major brand.
    if (at(4, "ftyp") && head.size() >= 12) {
        const std::string_view brand = head.substr(8, 4);
        const auto among = [&](const auto& brands) {
            return std::find(std::begin(brands), std::end(brands), brand) != std::end(brands);
        };
        if (among(kHeifBrands)) {
            return ".heic";
        }
        if (brand.starts_with("3g")) {
            return ".3gp";
        }
        if (among(kAudioBrands) || type.starts_with("audio/")) {
            return ".m4a";
        }
        return ".mp4";
    }
    if (at(0, "#!AMR")) {
        return ".amr";
    }
    if (at(0, "%PDF-")) {
        return ".pdf";
    }
    std::string_view text = head;
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    while (!text.empty() && (text.front() == ' ' || text.front() == '\r' || text.front() == '\n')) {
        text.remove_prefix(1);
    }
    if (type == "text/x-vcard" || type == "text/vcard" || type == "text/directory" ||
        (text.size() >= 11 && EqualsLower(text.substr(0, 11), "begin:vcard"))) {
        return ".vcf";
    }
    if (type == "text/plain") {
        return ".txt";
    }
    return ".bin";
}

MediaStore::Incoming& MediaStore::Incoming::operator=(Incoming&& other) noexcept {
    if (this != &other) {
        Drop();
        file_ = std::move(other.file_);
        path_ = std::exchange(other.path_, {});
        hash_ = other.hash_;
        head_ = std::move(other.head_);
        size_ = other.size_;
        error_ = other.error_;
        failed_ = other.failed_;
    }
    return *this;
}

void MediaStore::Incoming::Drop() {
    if (!path_.empty()) {
        file_.Close();
        platform::RemoveNewFile(path_);
        path_.clear();
    }
}

void MediaStore::Incoming::Write(std::string_view bytes) {
    if (failed_ || bytes.empty()) {
        return;
    }
    if (head_.size() < kHeadBytes) {
        head_.append(bytes.substr(0, kHeadBytes - head_.size()));
    }
    hash_.Add(bytes);
    size_ += bytes.size();
    if (!file_.Write(bytes)) {
        failed_ = true;
        error_ = file_.LastError();
    }
}

void MediaStore::Incoming::Close() {
    if (!failed_ && !file_.Close()) {
        failed_ = true;
        error_ = file_.LastError();
    }
}

MediaStore::Incoming MediaStore::Begin() {
    Incoming incoming;
    // Dot names: never the name of a stored file.
    const std::string name = ".incoming-" + std::to_string(next_++);
    incoming.path_ = folder_ + platform::NativeString(name.begin(), name.end());
    if (!incoming.file_.Create(incoming.path_)) {
        incoming.failed_ = true;
        incoming.error_ = incoming.file_.LastError();
        incoming.path_.clear();
    }
    return incoming;
}

void MediaStore::Failure(int error) {
    const std::lock_guard lock(mutex_);
    if (!failed_) {
        lastError_ = error;
        failed_ = true;
    }
}

std::optional<MediaStore::Stored> MediaStore::Keep(Incoming incoming,
                                                   std::string_view contentType) {
    incoming.Close();
    if (incoming.failed_) {
        Failure(incoming.error_);
        return std::nullopt;
    }
    if (incoming.size_ == 0) {
        return std::nullopt;
    }
    const std::string digest = HexDigest(incoming.hash_.Finish(), kNameDigits / 2);
    const std::string_view extension = MediaExtension(incoming.head_, contentType);
    const std::lock_guard lock(mutex_);
    const auto [known, added] = byDigest_.try_emplace(digest);
    if (!added) {
        return Stored{known->second, incoming.size_};
    }
    std::string name = digest;
    name.append(extension);
    int error = 0;
    if (!platform::RenameNewFile(
            incoming.path_, folder_ + platform::NativeString(name.begin(), name.end()), error)) {
        byDigest_.erase(known);
        if (!failed_) {
            lastError_ = error;
            failed_ = true;
        }
        return std::nullopt;
    }
    incoming.path_.clear();
    known->second = name;
    names_.push_back(name);
    bytes_ += incoming.size_;
    return Stored{std::move(name), incoming.size_};
}

}  // namespace quillbox
