// SPDX-License-Identifier: MIT
#include "read/android_backup.h"

#include <expat.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <type_traits>
#include <unordered_set>
#include <vector>

#include "order/conversation.h"
#include "read/field_normalisation.h"
#include "read/vformat_text.h"
#include "read/xml_stream_filter.h"

namespace quillbox {

namespace {

// The root element must show within the first bytes; other XML costs no more than these.
constexpr std::size_t kHeadBytes = 8192;
// The most messages a backup's count reserves room for (40 bytes each).
constexpr std::int64_t kMostAnnounced = 10'000'000;
// Android's placeholder for the owner's own number as the sender of an MMS.
constexpr std::string_view kOwnerToken = "insert-address-token";
// A parser that resumes after damage reads this first, so that what follows parses.
constexpr std::string_view kWrapper = "<smses>";
// The bytes filtered at a time while looking for the next message after damage.
constexpr std::size_t kSeekBytes = 64 * 1024;

struct ParserFree {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};
using Parser = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserFree>;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsLower(std::string_view text, std::string_view lower) {
    return text.size() == lower.size() &&
           std::equal(text.begin(), text.end(), lower.begin(), [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
           });
}

bool StartsWithLower(std::string_view text, std::string_view lower) {
    return text.size() >= lower.size() && EqualsLower(text.substr(0, lower.size()), lower);
}

// The backup writes "null" for a value it does not have.
bool IsSet(std::string_view value) {
    return !value.empty() && value != "null";
}

std::optional<std::int64_t> Integer(std::string_view text) {
    text = Trim(text);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string Number(std::string_view address) {
    return std::string(NormalizedNumber(vformat::CleanNumber(address)));
}

bool IsPhoneNumber(std::string_view cleaned) {
    return !cleaned.empty() && std::all_of(cleaned.begin(), cleaned.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '+' || c == '*' || c == '#';
    });
}

// The message boxes of Android's message store, for type (SMS) and msg_box (MMS).
enum class Box : std::uint8_t { Received, Sent, Draft };

Box BoxOf(std::int64_t box) {
    switch (box) {
        case 2:  // sent
        case 4:  // outbox
        case 5:  // failed
        case 6:  // queued: all hold what the owner wrote
            return Box::Sent;
        case 3:
            return Box::Draft;
        default:
            return Box::Received;
    }
}

// The text of a value with its line ends as LF.
void AppendLines(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r') {
            out.push_back(c);
        } else if (i + 1 == text.size() || text[i + 1] != '\n') {
            out.push_back('\n');
        }
    }
}

void DropFinalLineEnds(std::string& text) {
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    for (;;) {
        const auto at = text.find(separator);
        pieces.push_back(Trim(text.substr(0, at)));
        if (at == std::string_view::npos) {
            return pieces;
        }
        text.remove_prefix(at + 1);
    }
}

// One addr of an MMS: 137 the sender, 151 to, 130 cc, 129 bcc.
struct Address {
    std::string number;  // normalised; empty for the owner's placeholder
    bool owner = false;  // the placeholder
    std::int64_t type = 0;
};
constexpr std::int64_t kFrom = 137;

// An attachment of an MMS on its way to an archive folder's media: its bytes are in, its type
// and the lines of the text that name it are known. It is kept once the message is.
struct PartFile {
    MediaStore::Incoming incoming;
    std::string type;
    std::string label;
    std::uint32_t line = 0;
    std::uint32_t lines = 1;
    bool complete = false;
};

// An MMS read, kept until the file's end tells the owner's number.
struct Mms {
    std::size_t index = 0;
    MessageTime time;
    bool sent = false;
    std::string text;
    std::string address;
    std::string names;
    std::vector<Address> addresses;
    std::vector<PartFile> files;
    std::vector<SkippedItems> missing;  // attachments without their bytes
};

// The <sms> or <mms> being read.
struct OpenMessage {
    std::size_t index = 0;
    bool mms = false;
    std::string address;
    std::string names;
    std::string text;
    std::optional<std::int64_t> date;
    std::optional<std::int64_t> box;
    std::optional<std::int64_t> messageType;
    std::vector<Address> addresses;
    std::vector<PartFile> files;
    std::vector<SkippedItems> missing;

    void Clear(std::size_t at, bool isMms) {
        index = at;
        mms = isMms;
        address.clear();
        names.clear();
        text.clear();
        date.reset();
        box.reset();
        messageType.reset();
        addresses.clear();
        files.clear();
        missing.clear();
    }
};

// Finds where reading resumes after damage: the next "<sms" or "<mms" and white space (or the
// tag's end), counting lines and columns on the way.
class Seeker {
public:
    void Begin(std::uint64_t line, std::uint64_t column) {
        line_ = line;
        column_ = column;
        matched_ = 0;
    }
    void Pass(char c) {
        if (c == '\n') {
            ++line_;
            column_ = 0;
        } else {
            ++column_;
        }
    }
    // The offset of the byte after the element's name, when found.
    std::optional<std::size_t> Find(std::string_view bytes) {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const char c = bytes[i];
            if (matched_ == 4 && (IsSpace(c) || c == '/' || c == '>')) {
                matched_ = 0;
                return i;
            }
            if (matched_ == 1 && (c == 's' || c == 'm')) {
                first_ = c;
                matched_ = 2;
            } else if ((matched_ == 2 && c == 'm') || (matched_ == 3 && c == 's')) {
                ++matched_;
            } else {
                matched_ = c == '<' ? 1 : 0;
            }
            Pass(c);
        }
        return std::nullopt;
    }
    // What the resumed parser reads before the bytes after the name.
    std::string Start() const {
        std::string start(kWrapper);
        start.push_back('<');
        start.push_back(first_);
        start.append("ms");
        return start;
    }
    std::uint64_t Line() const { return line_; }
    // The column of the "<" found, from 0.
    std::uint64_t Column() const { return column_ - 4; }

private:
    std::uint64_t line_ = 1;
    std::uint64_t column_ = 0;
    unsigned matched_ = 0;
    char first_ = 's';
};

// The attachments' bytes, decoded by the filter ahead of Expat, into the run's media store:
// each waits, by its number among the file's data values, for Expat to reach its <part>.
class MediaSink final : public PartDataSink {
public:
    explicit MediaSink(MediaStore& store) : store_(store) {}
    MediaStore& Store() { return store_; }

    void Begin() override { current_ = store_.Begin(); }
    void Write(std::string_view bytes) override { current_.Write(bytes); }
    void End(bool complete) override {
        current_.Close();
        waiting_.push_back({next_++, complete, std::move(current_)});
    }

    // The attachment of data value number; those before it, which Expat never reached in a
    // damaged stretch, go. None where it is not (or no longer) there.
    std::optional<std::pair<MediaStore::Incoming, bool>> Take(std::size_t number) {
        while (!waiting_.empty() && waiting_.front().number < number) {
            waiting_.pop_front();
        }
        if (waiting_.empty() || waiting_.front().number != number) {
            return std::nullopt;
        }
        std::pair taken{std::move(waiting_.front().incoming), waiting_.front().complete};
        waiting_.pop_front();
        return taken;
    }

private:
    struct Waiting {
        std::size_t number = 0;
        bool complete = false;
        MediaStore::Incoming incoming;
    };
    MediaStore& store_;
    MediaStore::Incoming current_;
    std::deque<Waiting> waiting_;
    std::size_t next_ = 0;
};

class BackupReader {
public:
    BackupReader(const BackupStream& stream, const ReadSettings& settings, std::string& raw,
                 Items& items)
        : stream_(stream),
          settings_(settings),
          zone_(settings.zone),
          raw_(raw),
          items_(items),
          media_(settings.media != nullptr
                     ? std::optional<MediaSink>(std::in_place, *settings.media)
                     : std::nullopt),
          filter_(stream.attachments != nullptr ? *stream.attachments
                  : media_                      ? static_cast<PartDataSink&>(*media_)
                                                : counted_) {}

    ReadResult Run();

private:
    static void OnStart(void* self, const XML_Char* name, const XML_Char** attributes) {
        static_cast<BackupReader*>(self)->Start(name, attributes);
    }
    static void OnEnd(void* self, const XML_Char* /*name*/) {
        static_cast<BackupReader*>(self)->End();
    }
    void Start(std::string_view name, const XML_Char** attributes);
    void End();
    void Part(const XML_Char** attributes);
    void Addr(const XML_Char** attributes);
    void FinishSms();
    void FinishMms();
    void AddMms(Mms& mms, const std::optional<std::string>& owner);
    // The attachments of a message kept into the store, listed for the message; the skips of
    // those that are not.
    std::string KeepFiles(std::vector<PartFile>& files, std::size_t index);
    void FileOfPart(std::string_view data, std::string_view type, std::string_view label,
                    std::size_t lineStart);

    Parser NewParser();
    std::size_t Fill(char* area, std::size_t size);
    void Damaged();
    void Resume(std::string_view bytes);
    std::optional<MessageTime> TimeOf(const std::optional<std::int64_t>& milliseconds) const;
    void Name(std::string_view name, const std::string& number);
    std::optional<std::string> Owner() const;
    void Skip(std::size_t index, SkipReason reason) { AddSkip(result_.skipped, index, reason); }

    const BackupStream& stream_;
    const ReadSettings& settings_;
    const TimeZone& zone_;
    std::string& raw_;
    Items& items_;
    CountingSink counted_;
    std::optional<MediaSink> media_;
    XmlStreamFilter filter_;
    ReadResult result_;

    // The bytes read and not yet filtered; whether the source is done, and the filter too.
    std::string_view pending_;
    bool sourceDone_ = false;
    bool drained_ = false;

    Parser parser_;
    bool resumed_ = false;
    // Where the parser's first line lies in the file: its line, and the column its column 0
    // stands for (a resumed parser's first line starts with kWrapper).
    std::uint64_t baseLine_ = 1;
    std::int64_t baseColumn_ = 0;
    std::string carry_;  // what the next parse begins with
    Seeker seeker_;

    int depth_ = 0;
    bool open_ = false;
    OpenMessage message_;
    std::size_t nextIndex_ = 0;
    std::vector<Mms> mms_;
    std::unordered_set<std::string> named_;

    // The owner's number: those in every MMS without the placeholder, less received senders.
    std::optional<std::unordered_set<std::string>> everywhere_;
    std::unordered_set<std::string> senders_;
};

Parser BackupReader::NewParser() {
    // The backup app writes UTF-8 alone; a resumed parser sees no declaration.
    Parser parser(XML_ParserCreate("UTF-8"));
    if (parser) {
        XML_SetUserData(parser.get(), this);
        XML_SetElementHandler(parser.get(), &OnStart, &OnEnd);
        XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
    }
    depth_ = 0;
    open_ = false;
    return parser;
}

std::size_t BackupReader::Fill(char* area, std::size_t size) {
    std::size_t filled = 0;
    while (!drained_ && size - filled > XmlStreamFilter::kSlack) {
        if (pending_.empty()) {
            if (sourceDone_) {
                filled += filter_.Finish({area + filled, size - filled});
                drained_ = true;
                break;
            }
            // A read that fails half-way ends the file: what follows it is cut.
            const auto got = stream_.next({raw_.data(), raw_.size()});
            const std::size_t n = got.value_or(0);
            sourceDone_ = n < raw_.size();
            pending_ = {raw_.data(), n};
            continue;
        }
        filled += filter_.Filter(pending_, {area + filled, size - filled});
    }
    return filled;
}

ReadResult BackupReader::Run() {
    raw_.resize(std::max(stream_.readBytes, kHeadBytes));
    const auto first = stream_.next({raw_.data(), raw_.size()});
    if (!first) {
        result_.refused = SkipReason::ReadError;
        return std::move(result_);
    }
    if (*first == 0) {
        result_.refused = SkipReason::Empty;
        return std::move(result_);
    }
    pending_ = {raw_.data(), *first};
    sourceDone_ = *first < raw_.size();
    switch (ExamineXmlHead(pending_.substr(0, kHeadBytes))) {
        case XmlRoot::Messages:
            break;
        case XmlRoot::CallLog:
            result_.refused = SkipReason::CallLog;
            return std::move(result_);
        case XmlRoot::Other:
            result_.refused = SkipReason::NotMessageBackup;
            return std::move(result_);
        case XmlRoot::Doctype:
            // No document type is read: its entities could expand to any size.
            result_.refused = SkipReason::XmlError;
            result_.detail = "DOCTYPE";
            return std::move(result_);
    }
    if (pending_.starts_with("\xEF\xBB\xBF")) {
        pending_.remove_prefix(3);
    }

    parser_ = NewParser();
    std::string seek;
    while (!(parser_ == nullptr && drained_)) {
        // A megabyte at a time, so that a stopped run ends within a moment in a backup of
        // gigabytes; what was read is dropped with the run.
        if (settings_.Cancelled()) {
            return std::move(result_);
        }
        if (!parser_) {
            seek.resize(kSeekBytes);
            const std::size_t n = Fill(seek.data(), seek.size());
            const std::string_view bytes(seek.data(), n);
            if (const auto at = seeker_.Find(bytes)) {
                Resume(bytes.substr(*at));
            }
            continue;
        }
        const std::size_t size =
            std::max(stream_.parseBytes, carry_.size() + XmlStreamFilter::kSlack + 1);
        auto* buffer = static_cast<char*>(XML_GetBuffer(parser_.get(), static_cast<int>(size)));
        if (buffer == nullptr) {
            break;
        }
        std::memcpy(buffer, carry_.data(), carry_.size());
        std::size_t n = carry_.size();
        carry_.clear();
        n += Fill(buffer + n, size - n);
        const bool last = drained_;
        if (XML_ParseBuffer(parser_.get(), static_cast<int>(n), last) != XML_STATUS_OK) {
            Damaged();
            continue;
        }
        if (last) {
            break;
        }
    }
    parser_.reset();

    if (!mms_.empty() || media_) {
        // The owner's number is known once every MMS is read.
        const auto owner = Owner();
        for (Mms& mms : mms_) {
            AddMms(mms, owner);
        }
        SortSkips(result_.skipped);
    }
    return std::move(result_);
}

void BackupReader::Damaged() {
    XML_Parser parser = parser_.get();
    const XML_Size line = XML_GetCurrentLineNumber(parser);
    const XML_Size column = XML_GetCurrentColumnNumber(parser);
    const std::uint64_t fileLine = baseLine_ + line - 1;
    const auto fileColumn = static_cast<std::uint64_t>(std::max<std::int64_t>(
        0, (line == 1 ? baseColumn_ : 0) + static_cast<std::int64_t>(column)));
    const std::size_t index = open_ ? message_.index : nextIndex_++;
    result_.skipped.push_back(
        {index, 1, SkipReason::XmlError,
         "line " + std::to_string(fileLine) + ", column " + std::to_string(fileColumn + 1)});
    open_ = false;

    // The bytes Expat holds from the damage on; without Expat's context bytes, the search goes
    // on with the bytes not yet read.
    int offset = 0;
    int size = 0;
    const char* context = XML_GetInputContext(parser, &offset, &size);
    std::string_view rest;
    if (context != nullptr && offset >= 0 && offset < size) {
        rest = {context + offset, static_cast<std::size_t>(size - offset)};
    }
    seeker_.Begin(fileLine, fileColumn);
    if (!rest.empty()) {
        seeker_.Pass(rest.front());
        rest.remove_prefix(1);
    }
    const Parser damaged = std::move(parser_);
    if (const auto at = seeker_.Find(rest)) {
        Resume(rest.substr(*at));
    }
}

void BackupReader::Resume(std::string_view bytes) {
    parser_ = NewParser();
    resumed_ = true;
    baseLine_ = seeker_.Line();
    baseColumn_ =
        static_cast<std::int64_t>(seeker_.Column()) - static_cast<std::int64_t>(kWrapper.size());
    carry_ = seeker_.Start();
    carry_.append(bytes);
}

std::optional<MessageTime> BackupReader::TimeOf(
    const std::optional<std::int64_t>& milliseconds) const {
    if (!milliseconds) {
        return std::nullopt;
    }
    // The years 1900 to 9999 on the zone's clock.
    constexpr std::int64_t kFirst = -2208988800;
    constexpr std::int64_t kLast = 253402300799;
    constexpr std::int64_t kDay = 86400;
    const std::int64_t ms = *milliseconds;
    const std::int64_t seconds = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
    if (seconds < kFirst - kDay || seconds > kLast + kDay) {
        return std::nullopt;
    }
    const std::int64_t local = seconds + zone_.OffsetAt(seconds);
    if (local < kFirst || local > kLast) {
        return std::nullopt;
    }
    const MessageTime time = zone_.ToLocal(seconds);
    return time;
}

void BackupReader::Start(std::string_view name, const XML_Char** attributes) {
    const int depth = depth_++;
    if (depth == 0) {
        if (!resumed_ && name == "smses") {
            for (const XML_Char** a = attributes; *a != nullptr; a += 2) {
                const std::string_view key(a[0]);
                if (key == "count") {
                    // Room for the messages the backup announces: no list copied as it grows.
                    // A count beyond the truth costs address space, which stays untouched.
                    const auto count = Integer(a[1]).value_or(0);
                    if (count > 0 && count <= kMostAnnounced) {
                        items_.messages.Reserve(items_.messages.Size() +
                                                static_cast<std::size_t>(count));
                    }
                }
                if (key != "backup_date") {
                    continue;
                }
                result_.source = "SMS Backup & Restore";
                if (const auto date = TimeOf(Integer(a[1]))) {
                    char text[40];
                    std::snprintf(text, sizeof text, " %04d-%02d-%02d %02d:%02d:%02d", date->year,
                                  date->month, date->day, date->hour, date->minute, date->second);
                    result_.source.append(text);
                }
            }
            if (result_.source.empty()) {
                result_.source = "SMS Backup & Restore";
            }
        }
        return;
    }
    if (depth == 1) {
        const bool mms = name == "mms";
        if (!mms && name != "sms") {
            return;
        }
        open_ = true;
        message_.Clear(nextIndex_++, mms);
        for (const XML_Char** a = attributes; *a != nullptr; a += 2) {
            const std::string_view key(a[0]);
            const std::string_view value(a[1]);
            if (!IsSet(value)) {
                continue;
            }
            if (key == "address") {
                message_.address = value;
            } else if (key == "date") {
                message_.date = Integer(value);
            } else if (key == "contact_name") {
                message_.names = value;
            } else if (!mms && key == "body") {
                AppendLines(message_.text, value);
            } else if ((!mms && key == "type") || (mms && key == "msg_box")) {
                message_.box = Integer(value);
            } else if (mms && key == "m_type") {
                message_.messageType = Integer(value);
            }
        }
        return;
    }
    if (open_ && message_.mms) {
        if (name == "part") {
            Part(attributes);
        } else if (name == "addr") {
            Addr(attributes);
        }
    }
}

void BackupReader::Part(const XML_Char** attributes) {
    std::string_view type;
    std::string_view label;
    std::ptrdiff_t labelRank = 3;
    std::string_view text;
    std::string_view data;
    bool hasText = false;
    bool layout = false;
    for (const XML_Char** a = attributes; *a != nullptr; a += 2) {
        const std::string_view key(a[0]);
        const std::string_view value(a[1]);
        if (key == "seq") {
            layout = layout || value == "-1";
        } else if (key == "ct") {
            type = IsSet(value) ? value : std::string_view();
        } else if (key == "text") {
            hasText = IsSet(value);
            text = value;
        } else if (key == "data") {
            data = value;
        } else if ((key == "name" || key == "fn" || key == "cl") && IsSet(value)) {
            // The first of name, fn and cl that is set, in that order.
            static constexpr std::string_view kOrder[] = {"name", "fn", "cl"};
            const auto rank = [](std::string_view k) {
                return std::find(std::begin(kOrder), std::end(kOrder), k) - std::begin(kOrder);
            };
            if (rank(key) < labelRank) {
                label = value;
                labelRank = rank(key);
            }
        }
    }
    // The SMIL part lays the slides out: no content of its own.
    if (layout || EqualsLower(type, "application/smil")) {
        return;
    }
    std::string& out = message_.text;
    if (EqualsLower(type, "text/plain") && hasText) {
        std::string line;
        AppendLines(line, text);
        DropFinalLineEnds(line);
        if (!line.empty()) {
            if (!out.empty()) {
                out.push_back('\n');
            }
            out.append(line);
        }
        return;
    }
    if (!out.empty()) {
        out.push_back('\n');
    }
    const std::size_t start = out.size();
    out.append(StartsWithLower(type, "image/")   ? "[图片："
               : StartsWithLower(type, "audio/") ? "[音频："
               : StartsWithLower(type, "video/") ? "[视频："
                                                 : "[附件：");
    AppendLines(out, !label.empty() ? label : type);
    out.append("]");
    if (media_) {
        FileOfPart(data, type, !label.empty() ? label : type, start);
    }
}

void BackupReader::FileOfPart(std::string_view data, std::string_view type, std::string_view label,
                              std::size_t start) {
    const std::string& text = message_.text;
    const auto from = text.begin() + static_cast<std::ptrdiff_t>(start);
    const auto line = static_cast<std::uint32_t>(std::count(text.begin(), from, '\n'));
    const auto lines = static_cast<std::uint32_t>(1 + std::count(from, text.end(), '\n'));
    data = Trim(data);
    std::optional<std::pair<MediaStore::Incoming, bool>> taken;
    if (data.starts_with('#')) {
        if (const auto number = Integer(data.substr(1)); number && *number >= 0) {
            taken = media_->Take(static_cast<std::size_t>(*number));
        }
    }
    if (!taken) {
        // A backup made without its attachments: the message keeps the line that names it.
        message_.missing.push_back(
            {message_.index, 1, SkipReason::AttachmentMissing, std::string(label)});
        return;
    }
    message_.files.push_back({std::move(taken->first), std::string(type), std::string(label), line,
                              lines, taken->second});
}

std::string BackupReader::KeepFiles(std::vector<PartFile>& files, std::size_t index) {
    std::string list;
    for (PartFile& file : files) {
        std::optional<MediaStore::Stored> stored;
        if (file.complete) {
            stored = media_->Store().Keep(std::move(file.incoming), file.type);
        }
        if (!stored) {
            result_.skipped.push_back({index, 1, SkipReason::AttachmentDamaged, file.label});
            continue;
        }
        AppendAttachment(list, {file.line, file.lines, stored->size, stored->name});
    }
    return list;
}

void BackupReader::Addr(const XML_Char** attributes) {
    Address address;
    bool seen = false;
    for (const XML_Char** a = attributes; *a != nullptr; a += 2) {
        const std::string_view key(a[0]);
        const std::string_view value(a[1]);
        if (key == "address" && IsSet(value)) {
            address.owner = EqualsLower(Trim(value), kOwnerToken);
            if (!address.owner) {
                address.number = Number(value);
            }
            seen = address.owner || !address.number.empty();
        } else if (key == "type") {
            address.type = Integer(value).value_or(0);
        }
    }
    if (seen) {
        message_.addresses.push_back(std::move(address));
    }
}

void BackupReader::End() {
    if (--depth_ != 1 || !open_) {
        return;
    }
    open_ = false;
    if (message_.mms) {
        FinishMms();
    } else {
        FinishSms();
    }
}

void BackupReader::Name(std::string_view name, const std::string& number) {
    name = Trim(name);
    if (name.empty() || name == "(Unknown)" || name == "null" || number.empty() ||
        !named_.insert(number).second) {
        return;
    }
    items_.names.push_back({std::string(name), number});
}

void BackupReader::FinishSms() {
    const OpenMessage& m = message_;
    const Box box = BoxOf(m.box.value_or(1));
    if (box == Box::Draft) {
        Skip(m.index, SkipReason::Draft);
        return;
    }
    const auto time = TimeOf(m.date);
    if (!time) {
        Skip(m.index, SkipReason::BadDate);
        return;
    }
    const std::string party = Number(m.address);
    if (party.size() > kLongestNumber) {
        Skip(m.index, SkipReason::NumberTooLong);
        return;
    }
    std::string& text = message_.text;
    DropFinalLineEnds(text);
    if (text.empty()) {
        Skip(m.index, SkipReason::NoText);
        return;
    }
    if (items_.messages.Add({party, {}, text, *time, TimeKey(*time), box == Box::Sent})) {
        ++result_.read;
        Name(m.names, party);
    }
}

void BackupReader::FinishMms() {
    OpenMessage& m = message_;
    // Without msg_box, the PDU's own type: 128 is a send request, 132 a retrieved message.
    const Box box = m.box                              ? BoxOf(*m.box)
                    : m.messageType.value_or(0) == 128 ? Box::Sent
                                                       : Box::Received;
    if (box == Box::Draft) {
        Skip(m.index, SkipReason::Draft);
        return;
    }
    const auto time = TimeOf(m.date);
    if (!time) {
        Skip(m.index, SkipReason::BadDate);
        return;
    }
    DropFinalLineEnds(m.text);
    if (m.text.empty()) {
        Skip(m.index, SkipReason::NoText);
        return;
    }
    const bool placeholder = std::any_of(m.addresses.begin(), m.addresses.end(),
                                         [](const Address& a) { return a.owner; });
    if (!placeholder) {
        std::unordered_set<std::string> here;
        for (const Address& a : m.addresses) {
            here.insert(a.number);
        }
        if (!everywhere_) {
            everywhere_ = std::move(here);
        } else {
            std::erase_if(*everywhere_, [&](const std::string& n) { return !here.contains(n); });
        }
    }
    if (box == Box::Received) {
        for (const Address& a : m.addresses) {
            if (a.type == kFrom) {
                senders_.insert(a.number);
            }
        }
    }
    Mms mms{m.index,
            *time,
            box == Box::Sent,
            std::move(m.text),
            std::move(m.address),
            std::move(m.names),
            std::move(m.addresses),
            std::move(m.files),
            std::move(m.missing)};
    // A conversation of two whatever the owner's number: a phone number's address and at most
    // one other number in the addrs (the owner's). It is stored now; the others wait for the
    // file's end, which tells the owner.
    const std::string address = Number(mms.address);
    std::vector<std::string_view> others;
    for (const Address& a : mms.addresses) {
        if (!a.owner && !a.number.empty() && a.number != address &&
            std::find(others.begin(), others.end(), a.number) == others.end()) {
            others.push_back(a.number);
        }
    }
    if (mms.address.find('~') == std::string::npos &&
        IsPhoneNumber(vformat::CleanNumber(mms.address)) && others.size() <= 1) {
        AddMms(mms, std::nullopt);
    } else {
        mms_.push_back(std::move(mms));
    }
}

// The owner's own number, where the backup does not spell it with the placeholder: the one
// number found among the addresses of every MMS (the owner is the sender or a recipient of
// each), less the senders of received ones; none when that leaves no number or several.
std::optional<std::string> BackupReader::Owner() const {
    if (!everywhere_) {
        return std::nullopt;
    }
    std::optional<std::string> owner;
    for (const std::string& number : *everywhere_) {
        if (number.empty() || senders_.contains(number)) {
            continue;
        }
        if (owner) {
            return std::nullopt;
        }
        owner = number;
    }
    return owner;
}

void BackupReader::AddMms(Mms& mms, const std::optional<std::string>& owner) {
    const auto isOwner = [&](const std::string& n) { return n.empty() || (owner && n == *owner); };
    const auto add = [](std::vector<std::string>& list, const std::string& n) {
        if (std::find(list.begin(), list.end(), n) == list.end()) {
            list.push_back(n);
        }
    };
    std::string from;  // the sender, when not the owner
    bool ownerSent = false;
    std::vector<std::string> others;  // the addrs but the owner, in their order
    for (const Address& a : mms.addresses) {
        if (a.type == kFrom && from.empty() && !ownerSent) {
            ownerSent = a.owner || isOwner(a.number);
            from = ownerSent ? std::string() : a.number;
        }
        if (!a.owner && !isOwner(a.number)) {
            add(others, a.number);
        }
    }
    const std::string cleaned = vformat::CleanNumber(mms.address);
    const std::string address(NormalizedNumber(cleaned));
    // A group's address joins its members with "~"; its contact_name joins their names with ","
    // in the same order.
    const bool listed = mms.address.find('~') != std::string::npos;
    std::vector<std::string> order;
    std::vector<std::string> members;
    if (listed) {
        for (const std::string_view piece : Split(mms.address, '~')) {
            order.push_back(Number(piece));
            if (!isOwner(order.back())) {
                add(members, order.back());
            }
        }
    } else {
        order = others;
        members = others;
    }
    bool group = false;
    if (listed) {
        group = members.size() >= 2;
    } else if (!cleaned.empty() && !IsPhoneNumber(cleaned)) {
        // An RCS group: the address names the group, only the addrs its members.
        group = !members.empty() && (cleaned.find('@') != std::string::npos || members.size() >= 2);
    } else {
        // Without the owner's number, the address and one other number (the owner's) are a
        // conversation of two.
        const auto count = owner ? members.size()
                                 : static_cast<std::size_t>(std::count_if(
                                       members.begin(), members.end(),
                                       [&](const std::string& n) { return n != address; }));
        group = count >= 2;
    }

    std::string party;
    std::string author;
    bool tooLong = false;
    if (group) {
        tooLong = std::any_of(members.begin(), members.end(),
                              [](const std::string& n) { return n.size() > kLongestNumber; });
        party = GroupParty(members);
        tooLong = tooLong || party.size() > MessageStore::kLongestParty;
        if (!mms.sent && !ownerSent) {
            author = from;
        }
    } else {
        party = listed && members.size() == 1 ? members.front()
                : !address.empty()            ? address
                : !mms.sent                   ? from
                : !others.empty()             ? others.front()
                                              : std::string();
        tooLong = party.size() > kLongestNumber;
    }
    if (tooLong || author.size() > kLongestNumber) {
        Skip(mms.index, SkipReason::NumberTooLong);
        return;
    }
    const std::string files = media_ ? KeepFiles(mms.files, mms.index) : std::string();
    if (!items_.messages.Add(
            {party, author, mms.text, mms.time, TimeKey(mms.time), mms.sent, files})) {
        return;
    }
    ++result_.read;
    result_.skipped.insert(result_.skipped.end(), mms.missing.begin(), mms.missing.end());
    const std::vector<std::string_view> names = Split(mms.names, ',');
    if (listed || group) {
        if (names.size() == order.size()) {
            for (std::size_t i = 0; i < order.size(); ++i) {
                if (!isOwner(order[i])) {
                    Name(names[i], order[i]);
                }
            }
        }
    } else if (names.size() == 1 || mms.addresses.size() <= 2) {
        Name(mms.names, party);
    }
}

}  // namespace

XmlRoot ExamineXmlHead(std::string_view head) {
    if (head.starts_with("\xEF\xBB\xBF")) {
        head.remove_prefix(3);
    }
    for (;;) {
        while (!head.empty() && IsSpace(head.front())) {
            head.remove_prefix(1);
        }
        std::string_view close;
        if (head.starts_with("<?")) {
            close = "?>";
        } else if (head.starts_with("<!--")) {
            close = "-->";
        } else if (head.starts_with("<!DOCTYPE")) {
            return XmlRoot::Doctype;
        } else {
            break;
        }
        const auto end = head.find(close, 2);
        if (end == std::string_view::npos) {
            return XmlRoot::Other;
        }
        head.remove_prefix(end + close.size());
    }
    if (!head.starts_with('<')) {
        return XmlRoot::Other;
    }
    head.remove_prefix(1);
    const auto end = std::find_if(head.begin(), head.end(),
                                  [](char c) { return IsSpace(c) || c == '>' || c == '/'; });
    if (end == head.end()) {
        return XmlRoot::Other;
    }
    const std::string_view name(head.data(), static_cast<std::size_t>(end - head.begin()));
    return name == "smses"   ? XmlRoot::Messages
           : name == "calls" ? XmlRoot::CallLog
                             : XmlRoot::Other;
}

ReadResult ReadAndroidBackup(const BackupStream& stream, const ReadSettings& settings,
                             std::string& scratch, Items& items) {
    ReadResult result = BackupReader(stream, settings, scratch, items).Run();
    result.instants = true;
    return result;
}

ReadResult ReadAndroidBackupFile(Input& input, Items& items) {
    const BackupStream stream{[&](std::span<char> area) { return input.file.ReadChunk(area); }};
    ReadResult result = ReadAndroidBackup(stream, input.settings, input.scratch, items);
    if (result.refused == SkipReason::ReadError) {
        result.systemError = input.file.LastError();
    }
    return result;
}

}  // namespace quillbox
