// SPDX-License-Identifier: MIT
#include "write/folder_pages.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "platform/codec.h"
#include "quillbox/text.h"
#include "write/byte_sink.h"
#include "write/encoding.h"
#include "write/modern_page.h"
#include "write/text_archive.h"

namespace quillbox {

namespace {

constexpr std::string_view kTitle = "短信存档";
constexpr std::string_view kNoName = "（无号码）";
constexpr std::string_view kGroupTag = "群聊";
constexpr std::size_t kLongestName = 60;

constexpr std::string_view kHeadOpen =
    "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"";
constexpr std::string_view kHeadMeta =
    "\">\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<meta name=\"color-scheme\" content=\"light dark\">\n<title>";

// The modern page's look, with bubbles: the owner's on the right in a colour of their own. The
// index's items are blocks, not list items: Chromium renumbers every list item after one that is
// hidden or shown, which made a search of 2,000 conversations take a second; and each is laid
// out only near the screen.
constexpr std::string_view kStyle = R"(:root{--mine:#dcebff}
@media (prefers-color-scheme:dark){:root{--mine:#1f3a5c}}
*{box-sizing:border-box}
html{-webkit-text-size-adjust:100%;text-size-adjust:100%}
body{margin:0;background:var(--bg);color:var(--fg);font:16px/1.6 system-ui,-apple-system,"Segoe UI","PingFang SC","Hiragino Sans GB","Microsoft YaHei","Noto Sans CJK SC","WenQuanYi Micro Hei",sans-serif,"Apple Color Emoji","Segoe UI Emoji","Noto Color Emoji"}
.page{max-width:48rem;margin:0 auto;padding:0 1rem 2rem}
header{position:sticky;top:0;z-index:1;background:var(--bg);padding:.75rem 0 .5rem;border-bottom:1px solid var(--line)}
h1{font-size:1.5rem;line-height:1.3;margin:0 0 .25rem;overflow-wrap:anywhere}
.back{margin:0;font-size:.9rem}
.summary,.status{color:var(--muted);margin:.25rem 0;font-size:.9rem;overflow-wrap:anywhere}
.search input{width:100%;font:inherit;padding:.5rem .75rem;border:1px solid var(--muted);border-radius:.5rem;background:var(--bg);color:var(--fg)}
.search input::placeholder{color:var(--muted);opacity:1}
a{color:var(--accent)}
.list{list-style:none;margin:0;padding:0}
.list li{display:block;border-bottom:1px solid var(--line);content-visibility:auto;contain-intrinsic-size:auto 4.25rem}
.list a{display:grid;grid-template-columns:1fr auto;column-gap:1rem;padding:.6rem .25rem;text-decoration:none;color:var(--fg)}
.list a:hover .name,.list a:focus .name{text-decoration:underline}
.name{font-weight:600;overflow-wrap:anywhere}
.list .n,.list .d,.list .count{color:var(--muted);font-size:.875rem;overflow-wrap:anywhere}
.list .count,.list .d{text-align:right;white-space:nowrap}
.tag{margin-left:.5rem;padding:0 .375rem;border:1px solid var(--muted);border-radius:.25rem;color:var(--muted);font-size:.75rem;font-weight:normal;white-space:nowrap}
.day{content-visibility:auto}
.day h2{display:flex;align-items:center;gap:.75rem;margin:1.25rem 0 .5rem;color:var(--muted);font-size:.8rem;font-weight:normal}
.day h2::before,.day h2::after{content:"";flex:1;border-top:1px solid var(--line)}
.msg{display:flex;flex-direction:column;align-items:flex-start;margin:.375rem 0}
.msg.out{align-items:flex-end}
.who{margin:0 .75rem .125rem;color:var(--muted);font-size:.8rem;overflow-wrap:anywhere}
.bubble{max-width:min(34rem,85%);padding:.375rem .75rem;background:var(--card);border-radius:1rem 1rem 1rem .25rem}
.out .bubble{background:var(--mine);border-radius:1rem 1rem .25rem 1rem}
.t{margin:0;white-space:pre-wrap;overflow-wrap:anywhere}
.meta{margin:.125rem 0 0;color:var(--muted);font-size:.75rem;text-align:right}
.media{margin:.25rem 0}
.media img,.media video{display:block;max-width:100%;max-height:24rem;height:auto;border-radius:.5rem}
.media audio{display:block;max-width:100%}
.file{margin:.25rem 0;overflow-wrap:anywhere}
.note{color:var(--muted);font-size:.875rem}
[hidden]{display:none!important}
@media print{
:root{--bg:#fff;--fg:#000;--muted:#333;--card:#fff;--line:#888;--accent:#000;--mine:#fff}
header{position:static;border:0}
.search,.status,.back{display:none!important}
.page{max-width:none;padding:0}
body{font-size:11pt}
.day,.list li{content-visibility:visible}
.msg{break-inside:avoid}
.bubble{border:1px solid #888}
}
</style>
</head>
<body>
<div class="page">
<header>
)";

// Shown only when the script runs: without it there is nothing to filter with.
constexpr std::string_view kSearchOpen =
    "<div class=\"search\" hidden><input type=\"search\" id=\"q\" autocomplete=\"off\" "
    "placeholder=\"";
constexpr std::string_view kSearchClose =
    "\"></div>\n<p class=\"status\" id=\"status\" role=\"status\" aria-live=\"polite\"></p>\n"
    "</header>\n";

// The search of both pages: each item (a conversation of the index, a message) shows when its
// text (of the index, the parts marked k: names and numbers) holds every word; a day without
// one is hidden with it. "?q=word" in the address searches as the page opens.
constexpr std::string_view kScript = R"(<script>
(function(){
"use strict";
var box=document.getElementById("q"),status=document.getElementById("status");
var days=document.querySelectorAll("main .day"),items=[],last="",timer=0;
function add(list,day){for(var j=0;j<list.length;j++)items.push({el:list[j],day:day,text:null});}
if(days.length){for(var i=0;i<days.length;i++)add(days[i].querySelectorAll(".s"),i);}
else add(document.querySelectorAll("main .s"),-1);
function text(it){
if(it.text===null){
var keys=it.el.querySelectorAll(".k"),s="";
if(keys.length){for(var i=0;i<keys.length;i++)s+=keys[i].textContent+" ";}
else{s=it.el.textContent;var alts=it.el.querySelectorAll("img[alt]");for(var j=0;j<alts.length;j++)s+=" "+alts[j].alt;}
it.text=s.toLowerCase();
}
return it.text;
}
function apply(){
var q=box.value.trim().toLowerCase().replace(/\s+/g," ");
if(q===last)return;
last=q;
var words=q?q.split(" "):[],shown=0,seen=new Uint8Array(days.length),i;
for(i=0;i<items.length;i++){
var it=items[i],ok=true;
for(var k=0;ok&&k<words.length;k++)ok=text(it).indexOf(words[k])>=0;
if(it.el.hidden===ok)it.el.hidden=!ok;
if(ok){shown++;if(it.day>=0)seen[it.day]=1;}
}
for(i=0;i<days.length;i++){if(days[i].hidden===!!seen[i])days[i].hidden=!seen[i];}
status.textContent=words.length?(shown?"找到 "+shown+" 条":"没有找到"):"";
}
box.addEventListener("input",function(){clearTimeout(timer);timer=setTimeout(apply,items.length>2000?60:0);});
box.parentNode.hidden=false;
var q=new URLSearchParams(location.search).get("q");
if(q){box.value=q;apply();}
})();
</script>
</body>
</html>
)";

constexpr std::string_view kWeekdays[] = {"星期日", "星期一", "星期二", "星期三",
                                          "星期四", "星期五", "星期六"};

void AppendNumber(std::string& out, std::uint64_t n) {
    out.append(std::to_string(n));
}

void AppendTwoDigits(std::string& out, std::int32_t n) {
    if (n >= 0 && n < 10) {
        out.push_back('0');
    }
    out.append(std::to_string(n));
}

// "2009-03-18" of a display time, whatever its numbers.
void AppendDay(std::string& out, const MessageTime& time) {
    std::string full;
    AppendDisplayTime(full, time);
    out.append(full.substr(0, full.find(' ')));
}

// Days from 1970-01-01 of a day of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// "2009年3月18日 星期三"; a day no calendar has keeps its numbers and has no weekday.
std::string DayLine(const MessageTime& time) {
    std::string line = std::to_string(time.year) + "年" + std::to_string(time.month) + "月" +
                       std::to_string(time.day) + "日";
    if (time.year >= 1 && time.year <= 9999 && time.month >= 1 && time.month <= 12 &&
        time.day >= 1 && time.day <= 31) {
        const std::int64_t days = DaysFromCivil(time.year, time.month, time.day);
        line.append(" ").append(kWeekdays[static_cast<std::size_t>(((days % 7) + 11) % 7)]);
    }
    return line;
}

bool SameDay(const MessageTime& a, const MessageTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

// A path below the folder in an address: "/" between names, every byte but the unreserved ones
// percent-encoded, so that "#", "?" and "%" in a name stay part of it.
void AppendUrlPath(std::string& out, std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
            c == '/') {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0xF]);
        }
    }
}

void AppendBdi(std::string& out, std::string_view text) {
    out.append("<bdi>");
    AppendEscapedHtml(out, text);
    out.append("</bdi>");
}

struct Conversation {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string name;
    std::string numbers;
    bool group = false;
    std::uint64_t lastKey = 0;
    std::string file;
};

// The conversations of messages ordered by conversation, newest first by their last message.
std::vector<Conversation> Conversations(const MessageStore& messages, GroupWalker& walker) {
    std::vector<Conversation> conversations;
    const auto& list = messages.Messages();
    for (std::size_t i = 0; i < list.size();) {
        const std::string_view party = list[i].Party();
        std::size_t end = i + 1;
        while (end < list.size() && list[end].Party() == party) {
            ++end;
        }
        Conversation c;
        c.begin = i;
        c.end = end;
        c.name = walker.PartyHeading(party).name;
        if (const auto group = AsGroup(party)) {
            c.group = true;
            for (const std::string_view member : group->members) {
                c.numbers.append(c.numbers.empty() ? "" : kMemberSeparator).append(member);
            }
        } else {
            c.numbers = party;
        }
        if (c.name.empty()) {
            c.name = c.numbers.empty() ? std::string(kNoName) : c.numbers;
        }
        c.lastKey = list[end - 1].Key();
        conversations.push_back(std::move(c));
        i = end;
    }
    std::stable_sort(
        conversations.begin(), conversations.end(),
        [](const Conversation& a, const Conversation& b) { return a.lastKey > b.lastKey; });
    return conversations;
}

// A page's bytes on their way into its file.
class PageFile final : public BlockSink {
public:
    PageFile() : BlockSink([this](std::string_view block) { return file_.Write(block); }) {}
    bool Create(platform::NativeView path) { return file_.Create(path); }
    bool Close() { return Flush() && file_.Close(); }
    int LastError() const { return file_.LastError(); }

private:
    platform::NewFile file_;
};

// The stored attachments of a message's lines.
std::vector<MessageAttachment> AttachmentsOf(const MessageStore::Message& message) {
    std::vector<MessageAttachment> attachments;
    std::string_view list = message.Attachments();
    MessageAttachment attachment;
    while (TakeAttachment(list, attachment)) {
        attachments.push_back(attachment);
    }
    std::stable_sort(
        attachments.begin(), attachments.end(),
        [](const MessageAttachment& a, const MessageAttachment& b) { return a.line < b.line; });
    return attachments;
}

// A text's lines, without their LFs.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    for (;;) {
        const auto end = text.find('\n');
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos) {
            return lines;
        }
        text.remove_prefix(end + 1);
    }
}

// Lines [first, last) of a text as they stand in it, LFs between.
std::string_view Joined(const std::vector<std::string_view>& lines, std::size_t first,
                        std::size_t last) {
    if (first >= last) {
        return {};
    }
    const char* begin = lines[first].data();
    const char* end = lines[last - 1].data() + lines[last - 1].size();
    return {begin, static_cast<std::size_t>(end - begin)};
}

// An attachment as the browser shows it: a picture inline, sound and video with its controls,
// HEIC (which browsers do not show) and any other file as a link with its size.
void AppendMedia(std::string& out, std::string_view label, const MessageAttachment& attachment) {
    std::string href("../");
    href.append(kMediaFolder).push_back('/');
    AppendUrlPath(href, attachment.file);
    const std::string_view file = attachment.file;
    const bool picture = file.ends_with(".jpg") || file.ends_with(".png") ||
                         file.ends_with(".gif") || file.ends_with(".webp");
    const bool video = file.ends_with(".mp4") || file.ends_with(".3gp");
    const bool sound = file.ends_with(".m4a") || file.ends_with(".amr");
    if (picture) {
        out.append("<div class=\"media\"><a href=\"").append(href).append("\"><img src=\"");
        out.append(href).append("\" alt=\"");
        AppendEscapedHtml(out, label);
        out.append("\" loading=\"lazy\"></a></div>");
        return;
    }
    if (video || sound) {
        out.append("<div class=\"media\"><").append(video ? "video" : "audio");
        out.append(" controls preload=\"metadata\" src=\"").append(href).append("\"></");
        out.append(video ? "video" : "audio").append("></div>");
    }
    out.append("<p class=\"file\"><a href=\"").append(href).append("\">");
    AppendEscapedHtml(out, label);
    out.append("</a> <span class=\"note\">");
    if (file.ends_with(".heic")) {
        out.append("HEIC 图片，浏览器无法显示，可下载后查看；");
    }
    out.append(SizeText(attachment.size)).append("</span></p>");
}

// A message's text, its attachments' lines shown as the attachments.
void AppendBody(std::string& out, std::string_view body,
                const std::vector<MessageAttachment>& attachments) {
    const auto text = [&out](std::string_view lines) {
        if (!lines.empty()) {
            out.append("<p class=\"t\">");
            AppendEscapedHtml(out, lines);
            out.append("</p>");
        }
    };
    if (attachments.empty()) {
        text(body);
        return;
    }
    const std::vector<std::string_view> lines = SplitLines(body);
    std::size_t next = 0;
    for (const MessageAttachment& attachment : attachments) {
        if (attachment.line < next || attachment.line >= lines.size()) {
            continue;
        }
        text(Joined(lines, next, attachment.line));
        next = std::min<std::size_t>(lines.size(), attachment.line + attachment.lines);
        AppendMedia(out, Joined(lines, attachment.line, next), attachment);
    }
    text(Joined(lines, next, lines.size()));
}

// Heights until the browser has drawn a day, in tenths of a rem.
std::uint32_t MessageHeight(const MessageStore::Message& message) {
    std::uint32_t height = 40;
    std::uint32_t column = 0;
    for (const char c : message.Body()) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\n' || column > 64) {
            height += 26;
            column = 0;
        }
        if ((byte & 0xC0) != 0x80) {
            column += byte >= 0xE1 ? 2 : 1;
        }
    }
    return height + (message.Attachments().empty() ? 0 : 240);
}

class Writer {
public:
    Writer(platform::NativeView folder, MessageStore& messages, ContactBook& book,
           const FolderLayout& layout, FolderPages& pages)
        : folder_(folder),
          messages_(messages),
          layout_(layout),
          pages_(pages),
          walker_(book, layout_.layout) {}

    bool Write();

private:
    bool WritePage(const std::string& name, const std::function<void(ByteSink&)>& fill);
    void HtmlHead(std::string& block, std::string_view title) const;
    void HtmlIndex(ByteSink& out, const std::vector<Conversation>& conversations);
    void HtmlConversation(ByteSink& out, const Conversation& c);
    void TextIndex(ByteSink& out, const std::vector<Conversation>& conversations);
    void TextConversation(ByteSink& out, const Conversation& c);
    void AppendRange(std::string& block, const Conversation& c, bool full);

    platform::NativeView folder_;
    MessageStore& messages_;
    const FolderLayout& layout_;
    FolderPages& pages_;
    GroupWalker walker_;
};

bool Writer::WritePage(const std::string& name, const std::function<void(ByteSink&)>& fill) {
    platform::NativeString path(folder_);
    for (std::string_view rest = name; !rest.empty();) {
        const auto slash = rest.find('/');
        path += platform::NativeFromUtf8(rest.substr(0, slash));
        if (slash == std::string_view::npos) {
            break;
        }
        path += platform::kPathSeparator;
        rest.remove_prefix(slash + 1);
    }
    PageFile page;
    if (!page.Create(path)) {
        pages_.error = page.LastError();
        return false;
    }
    EncodingSink out(page, layout_.encoding);
    fill(out);
    if (!page.Close()) {
        pages_.error = page.LastError();
        return false;
    }
    pages_.names.push_back(name);
    pages_.bytes += page.BytesWritten();
    return true;
}

bool Writer::Write() {
    messages_.OrderByConversation();
    std::vector<Conversation> conversations = Conversations(messages_, walker_);
    const std::string_view extension = layout_.html ? ".html" : ".txt";
    for (std::size_t i = 0; i < conversations.size(); ++i) {
        conversations[i].file = ConversationFile(i + 1, conversations[i].name, extension);
    }
    const bool index = WritePage(std::string("index").append(extension), [&](ByteSink& out) {
        if (layout_.html) {
            HtmlIndex(out, conversations);
        } else {
            TextIndex(out, conversations);
        }
    });
    if (!index) {
        return false;
    }
    for (const Conversation& c : conversations) {
        const bool written = WritePage(c.file, [&](ByteSink& out) {
            if (layout_.html) {
                HtmlConversation(out, c);
            } else {
                TextConversation(out, c);
            }
        });
        if (!written) {
            return false;
        }
    }
    return true;
}

void Writer::HtmlHead(std::string& block, std::string_view title) const {
    block.append(kHeadOpen).append(CharsetLabel(layout_.encoding)).append(kHeadMeta);
    AppendEscapedHtml(block, title);
    block.append("</title>\n<style>\n").append(kPageColours).append(kStyle);
}

// "2009-03-18 – 2009-05-05" of a conversation's first and last messages; full, with the times.
void Writer::AppendRange(std::string& block, const Conversation& c, bool full) {
    const auto& list = messages_.Messages();
    const MessageTime first = list[c.begin].Time();
    const MessageTime last = list[c.end - 1].Time();
    const auto append = [&](const MessageTime& time) {
        if (full) {
            AppendDisplayTime(block, time);
        } else {
            AppendDay(block, time);
        }
    };
    append(first);
    if (full || !SameDay(first, last)) {
        block.append(full ? " 至 " : " – ");
        append(last);
    }
}

void Writer::HtmlIndex(ByteSink& out, const std::vector<Conversation>& conversations) {
    std::string block;
    HtmlHead(block, kTitle);
    block.append("<h1>").append(kTitle).append("</h1>\n<p class=\"summary\">共 ");
    AppendNumber(block, conversations.size());
    block.append(" 个会话，");
    AppendNumber(block, messages_.Size());
    block.append(" 条短信</p>\n").append(kSearchOpen).append("搜索姓名或号码");
    block.append("\" aria-label=\"搜索会话").append(kSearchClose);
    block.append("<main>\n<ol class=\"list\">\n");
    for (const Conversation& c : conversations) {
        block.append("<li class=\"s\"><a href=\"");
        AppendUrlPath(block, c.file);
        block.append("\"><span class=\"name k\">");
        AppendBdi(block, c.name);
        if (c.group) {
            block.append("<span class=\"tag\">").append(kGroupTag).append("</span>");
        }
        block.append("</span><span class=\"count\">");
        AppendNumber(block, c.end - c.begin);
        block.append(" 条</span><span class=\"n k\">");
        if (c.numbers != c.name) {
            AppendBdi(block, c.numbers);
        }
        block.append("</span><span class=\"d\">");
        AppendRange(block, c, false);
        block.append("</span></a></li>\n");
        if (block.size() > 64 * 1024) {
            out.Write(block);
            block.clear();
        }
    }
    block.append("</ol>\n</main>\n</div>\n").append(kScript);
    out.Write(block);
}

void Writer::HtmlConversation(ByteSink& out, const Conversation& c) {
    std::string block;
    HtmlHead(block, c.name + " - " + std::string(kTitle));
    block.append("<p class=\"back\"><a href=\"../index.html\">← 全部会话</a></p>\n<h1>");
    AppendBdi(block, c.name);
    if (c.group) {
        block.append("<span class=\"tag\">").append(kGroupTag).append("</span>");
    }
    block.append("</h1>\n<p class=\"summary\">");
    if (c.numbers != c.name) {
        AppendBdi(block, c.numbers);
        block.append(" · ");
    }
    block.append("共 ");
    AppendNumber(block, c.end - c.begin);
    block.append(" 条，");
    AppendRange(block, c, false);
    block.append("</p>\n").append(kSearchOpen).append("在本会话中搜索");
    block.append("\" aria-label=\"搜索短信").append(kSearchClose).append("<main>\n");

    const auto& list = messages_.Messages();
    std::size_t dayEnd = c.begin;
    for (std::size_t i = c.begin; i < c.end; ++i) {
        const MessageStore::Message& message = list[i];
        const MessageTime time = message.Time();
        if (i == dayEnd) {
            // A day's section, with the height it will about take until it is drawn.
            std::uint32_t height = 30;
            for (dayEnd = i; dayEnd < c.end && SameDay(list[dayEnd].Time(), time); ++dayEnd) {
                height += MessageHeight(list[dayEnd]);
            }
            block.append(i == c.begin ? "" : "</section>\n");
            block.append("<section class=\"day\" style=\"contain-intrinsic-size:auto ");
            AppendNumber(block, height / 10);
            block.append("rem\"><h2>").append(DayLine(time)).append("</h2>\n");
        }
        block.append("<article class=\"s msg ").append(message.Sent() ? "out" : "in");
        block.append("\">");
        if (c.group && !message.Sent() && !message.Author().empty()) {
            const EntryParty who = walker_.PartyOf(message);
            block.append("<p class=\"who\">");
            AppendBdi(block, who.name);
            if (who.name != who.number) {
                block.append(" ");
                AppendBdi(block, who.number);
            }
            block.append("</p>");
        }
        block.append("<div class=\"bubble\">");
        AppendBody(block, message.Body(), AttachmentsOf(message));
        block.append("<p class=\"meta\"><time title=\"");
        AppendDisplayTime(block, time);
        block.append("\">");
        AppendTwoDigits(block, time.hour);
        block.append(":");
        AppendTwoDigits(block, time.minute);
        block.append("</time></p></div></article>\n");
        if (block.size() > 64 * 1024) {
            out.Write(block);
            block.clear();
        }
    }
    block.append(c.begin < c.end ? "</section>\n" : "").append("</main>\n</div>\n").append(kScript);
    out.Write(block);
}

void Writer::TextIndex(ByteSink& out, const std::vector<Conversation>& conversations) {
    std::string block(kTitle);
    block.append("\r\n共 ");
    AppendNumber(block, conversations.size());
    block.append(" 个会话，");
    AppendNumber(block, messages_.Size());
    block.append(" 条短信\r\n");
    const ArchiveLayout& layout = layout_.layout;
    for (std::size_t i = 0; i < conversations.size(); ++i) {
        const Conversation& c = conversations[i];
        block.append("\r\n");
        AppendIsolated(block, c.name, layout.isolateNames, kIsolateOpen, kIsolateClose,
                       AppendWithCrLf);
        if (c.group) {
            block.append("（").append(kGroupTag).append("）");
        }
        if (c.numbers != c.name) {
            block.append(" <");
            AppendIsolated(block, c.numbers, layout.isolateNames, kIsolateOpen, kIsolateClose,
                           AppendWithCrLf);
            block.append(">");
        }
        block.append("\r\n    ");
        AppendNumber(block, c.end - c.begin);
        block.append(" 条，");
        AppendRange(block, c, true);
        block.append("\r\n    ").append(c.file).append("\r\n");
        if (block.size() > 64 * 1024) {
            out.Write(block);
            block.clear();
        }
    }
    out.Write(block);
}

void Writer::TextConversation(ByteSink& out, const Conversation& c) {
    std::string block;
    const auto& list = messages_.Messages();
    AppendTextHeading(block, walker_.PartyHeading(list[c.begin].Party()), layout_.layout);
    std::string body;
    for (std::size_t i = c.begin; i < c.end; ++i) {
        const MessageStore::Message& message = list[i];
        std::string_view text = message.Body();
        if (!message.Attachments().empty()) {
            // Each attachment's line says where its file is.
            const std::vector<std::string_view> lines = SplitLines(text);
            body.clear();
            std::size_t next = 0;
            for (const MessageAttachment& attachment : AttachmentsOf(message)) {
                if (attachment.line < next || attachment.line >= lines.size()) {
                    continue;
                }
                const std::size_t end =
                    std::min<std::size_t>(lines.size(), attachment.line + attachment.lines);
                body.append(Joined(lines, next, end));
                body.append(" ../").append(kMediaFolder).append("/").append(attachment.file);
                next = end;
                if (next < lines.size()) {
                    body.push_back('\n');
                }
            }
            body.append(Joined(lines, next, lines.size()));
            text = body;
        }
        AppendTextEntry(block, message, walker_.PartyOf(message), text, layout_.layout);
        if (block.size() > 64 * 1024) {
            out.Write(block);
            block.clear();
        }
    }
    out.Write(block);
}

}  // namespace

std::string ConversationFile(std::size_t number, std::string_view name,
                             std::string_view extension) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%04zu", number);
    std::string file(kConversationsFolder);
    file.append("/").append(digits);
    std::string safe;
    std::string_view rest = name;
    while (!rest.empty()) {
        const std::string_view before = rest;
        const char32_t cp = platform::TakeCodePoint(rest);
        const std::string_view bytes = before.substr(0, before.size() - rest.size());
        // Windows refuses < > : " / \ | ? *; every system a control; an address "#" and "%";
        // white space is trouble in a shell; a dot first would hide the name.
        const bool refused = cp < 0x20 || cp == 0x7F || platform::IsEscape(cp) ||
                             IsActingCharacter(cp) || cp == platform::kReplacement ||
                             std::u32string_view(U"<>:\"/\\|?*#% \t\u3000\u00A0").find(cp) !=
                                 std::u32string_view::npos ||
                             (safe.empty() && cp == '.');
        if (safe.size() + bytes.size() > kLongestName) {
            break;
        }
        if (refused) {
            if (!safe.empty() && safe.back() != '_') {
                safe.push_back('_');
            }
        } else {
            safe.append(bytes);
        }
    }
    while (!safe.empty() && (safe.back() == '_' || safe.back() == '.')) {
        safe.pop_back();
    }
    if (!safe.empty()) {
        file.append("-").append(safe);
    }
    return file.append(extension);
}

bool WriteFolderPages(platform::NativeView folder, MessageStore& messages, ContactBook& book,
                      const FolderLayout& layout, FolderPages& pages) {
    return Writer(folder, messages, book, layout, pages).Write();
}

}  // namespace quillbox
