// SPDX-License-Identifier: MIT
// The Android backup reader with Expat on any bytes, handed over in pieces of any size: every
// message it keeps is UTF-8 with a time the archive can show, and nothing it does depends on
// where the pieces end. The byte filter alone gives the same bytes whole and byte by byte. With a
// media store (an archive folder's run), the same messages, each attachment it notes on the line
// of the message that names it.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "platform/codec.h"
#include "platform/platform.h"
#include "read/android_backup.h"
#include "read/xml_stream_filter.h"

namespace {

using quillbox::BackupStream;
using quillbox::CountingSink;
using quillbox::Items;
using quillbox::PartDataSink;
using quillbox::ReadResult;
using quillbox::ReadSettings;
using quillbox::TimeZone;
using quillbox::XmlStreamFilter;

// The attachments' bytes, each between marks of its start and its end.
class Keeping final : public PartDataSink {
public:
    void Begin() override { bytes.push_back('['); }
    void Write(std::string_view data) override { bytes.append(data); }
    void End(bool complete) override { bytes.push_back(complete ? ']' : '!'); }
    std::string bytes;
};

// The filter's output and the attachments, the input given in pieces of piece bytes.
std::pair<std::string, std::string> Filtered(std::string_view text, std::size_t piece) {
    Keeping sink;
    XmlStreamFilter filter(sink, 64);
    std::string out;
    char area[XmlStreamFilter::kSlack + 7];
    for (std::size_t at = 0; at < text.size(); at += piece) {
        std::string_view in = text.substr(at, piece);
        while (!in.empty()) {
            out.append(area, filter.Filter(in, area));
        }
    }
    out.append(area, filter.Finish(area));
    return {out, sink.bytes};
}

struct Read {
    ReadResult result;
    Items items;
    std::uint64_t attachmentBytes = 0;
};

Read ReadWith(std::string_view xml, std::size_t parseBytes, quillbox::MediaStore* media = nullptr) {
    CountingSink sink;
    BackupStream stream{[&](std::span<char> area) -> std::optional<std::size_t> {
        // A source may give less than asked only at its end.
        const std::size_t n = std::min(area.size(), xml.size());
        std::memcpy(area.data(), xml.data(), n);
        xml.remove_prefix(n);
        return n;
    }};
    stream.parseBytes = parseBytes;
    stream.attachments = media == nullptr ? &sink : nullptr;
    const ReadSettings settings{.zone = TimeZone::Utc(), .media = media};
    std::string scratch;
    Read read;
    read.result = ReadAndroidBackup(stream, settings, scratch, read.items);
    read.attachmentBytes = sink.Bytes();
    return read;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quillbox::fuzz::FuzzInput input(data, size);
    const std::size_t parseBytes = 80 + input.Choose(64) * 16;
    const std::string xml = input.Rest();

    const auto whole = Filtered(xml, xml.size() + 1);
    FUZZ_CHECK(whole == Filtered(xml, 1));
    FUZZ_CHECK(whole == Filtered(xml, 7));

    const Read small = ReadWith(xml, parseBytes);
    const Read large = ReadWith(xml, 1 << 14);
    const auto& messages = small.items.messages.Messages();
    FUZZ_CHECK(small.result.read == messages.size());
    FUZZ_CHECK(!small.result.refused || messages.empty());
    for (const auto& m : messages) {
        FUZZ_CHECK(quillbox::platform::IsUtf8(m.Body()));
        FUZZ_CHECK(m.Body().find('\0') == std::string_view::npos);
        FUZZ_CHECK(!m.Body().empty() && !m.Body().ends_with('\n'));
        FUZZ_CHECK(quillbox::platform::IsUtf8(m.Party()) && quillbox::platform::IsUtf8(m.Author()));
        const quillbox::MessageTime t = m.Time();
        FUZZ_CHECK(t.year >= 1900 && t.year <= 9999 && t.month >= 1 && t.month <= 12);
        FUZZ_CHECK(t.day >= 1 && t.day <= 31 && t.hour <= 23 && t.minute <= 59 && t.second <= 59);
    }
    for (const auto& skip : small.result.skipped) {
        FUZZ_CHECK(skip.count >= 1);
    }
    for (const auto& name : small.items.names) {
        FUZZ_CHECK(!name.name.empty() && !name.number.empty());
        FUZZ_CHECK(quillbox::platform::IsUtf8(name.name));
    }
    // Where Expat's buffers end changes nothing: the same messages, skips and attachments.
    FUZZ_CHECK(small.result.read == large.result.read);
    FUZZ_CHECK(small.result.skipped == large.result.skipped);
    FUZZ_CHECK(small.result.refused == large.result.refused);
    FUZZ_CHECK(small.attachmentBytes == large.attachmentBytes);
    const auto& other = large.items.messages.Messages();
    for (std::size_t i = 0; i < messages.size(); ++i) {
        FUZZ_CHECK(messages[i].Body() == other[i].Body());
        FUZZ_CHECK(messages[i].Party() == other[i].Party());
        FUZZ_CHECK(messages[i].Author() == other[i].Author());
    }

    quillbox::platform::PrivateFolder folder;
    if (!folder.Create()) {
        return 0;
    }
    quillbox::MediaStore media{quillbox::platform::NativeString(folder.Path())};
    const Read stored = ReadWith(xml, parseBytes, &media);
    FUZZ_CHECK(stored.result.read == small.result.read);
    std::vector<quillbox::SkippedItems> skipped;
    for (const auto& skip : stored.result.skipped) {
        if (skip.reason != quillbox::SkipReason::AttachmentMissing &&
            skip.reason != quillbox::SkipReason::AttachmentDamaged) {
            skipped.push_back(skip);
        }
    }
    FUZZ_CHECK(skipped == small.result.skipped);
    const auto& kept = stored.items.messages.Messages();
    for (std::size_t i = 0; i < kept.size(); ++i) {
        FUZZ_CHECK(kept[i].Body() == messages[i].Body());
        const auto lines = static_cast<std::size_t>(
            1 + std::count(kept[i].Body().begin(), kept[i].Body().end(), '\n'));
        std::string_view list = kept[i].Attachments();
        quillbox::MessageAttachment attachment;
        while (quillbox::TakeAttachment(list, attachment)) {
            FUZZ_CHECK(attachment.line + attachment.lines <= lines);
            FUZZ_CHECK(attachment.size > 0 &&
                       attachment.file.size() > quillbox::MediaStore::kNameDigits);
        }
    }
    FUZZ_CHECK(!media.Failed());
    return 0;
}
