// SPDX-License-Identifier: MIT
#include "write/modern_page.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "write/html_archive.h"

namespace quillbox {

namespace {

// The page's fixed texts, UTF-8. The styles and the script are ASCII, so every encoding
// writes them as they stand.
constexpr std::string_view kTitle = "短信存档";
constexpr std::string_view kOtherHeading = "其他";

constexpr std::string_view kHeadOpen =
    "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"";
constexpr std::string_view kHeadMeta =
    "\">\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<meta name=\"color-scheme\" content=\"light dark\">\n<title>";

constexpr std::string_view kStyleOpen = "</title>\n<style>\n";
constexpr std::string_view kStyle = R"(*{box-sizing:border-box}
html{-webkit-text-size-adjust:100%;text-size-adjust:100%}
body{margin:0;background:var(--bg);color:var(--fg);font:16px/1.6 system-ui,-apple-system,"Segoe UI","PingFang SC","Hiragino Sans GB","Microsoft YaHei","Noto Sans CJK SC","WenQuanYi Micro Hei",sans-serif,"Apple Color Emoji","Segoe UI Emoji","Noto Color Emoji"}
.page{max-width:48rem;margin:0 auto;padding:0 1rem 2rem}
header{position:sticky;top:0;z-index:1;background:var(--bg);padding:.75rem 0 .5rem;border-bottom:1px solid var(--line)}
h1{font-size:1.5rem;line-height:1.3;margin:0 0 .25rem}
.summary,.status{color:var(--muted);margin:.25rem 0;font-size:.9rem}
.search input{width:100%;font:inherit;padding:.5rem .75rem;border:1px solid var(--muted);border-radius:.5rem;background:var(--bg);color:var(--fg)}
.search input::placeholder{color:var(--muted);opacity:1}
nav summary{cursor:pointer;font-weight:600;margin:1rem 0 .5rem}
nav ol{margin:0;padding-left:2.5rem;display:grid;grid-template-columns:repeat(auto-fill,minmax(14rem,1fr));column-gap:2.5rem}
a{color:var(--accent)}
.group{scroll-margin-top:9rem}
.group h2{font-size:1.2rem;line-height:1.4;margin:1.5rem 0 .5rem;padding-bottom:.25rem;border-bottom:2px solid var(--line)}
.count{color:var(--muted);font-weight:normal;font-size:.875rem}
.group,.c{content-visibility:auto}
article{background:var(--card);border-radius:.5rem;padding:.5rem .75rem;margin:.5rem 0}
.m{margin:0;color:var(--muted);font-size:.875rem}
.m b{color:var(--fg);font-weight:600}
.t{margin:.25rem 0 0;white-space:pre-wrap;overflow-wrap:anywhere}
[hidden]{display:none!important}
.c.all>[hidden]{display:block!important}
@media print{
:root{--bg:#fff;--fg:#000;--muted:#333;--card:#fff;--line:#888;--accent:#000}
header{position:static;border:0}
.search,.status,nav{display:none!important}
.page{max-width:none;padding:0}
body{font-size:11pt}
.group,.c{content-visibility:visible}
article{break-inside:avoid;border:1px solid #888;border-radius:0}
.group h2{break-after:avoid}
}
</style>
</head>
<body>
<div class="page">
<header>
<h1>)";

// Shown only when the script runs: without it there is nothing to filter with.
constexpr std::string_view kSearch =
    "<div class=\"search\" hidden><input type=\"search\" id=\"q\" autocomplete=\"off\" "
    "placeholder=\"搜索姓名、号码、日期或内容\" aria-label=\"搜索短信\"></div>\n"
    "<p class=\"status\" id=\"status\" role=\"status\" aria-live=\"polite\"></p>\n</header>\n";

// Filtering: each chunk's entries are lower-cased once into one text, searched natively word by
// word, and a burst of keystrokes is answered once.
// A keystroke decides every entry in memory and shows the result at once where the reader
// looks: the chunks and groups on the screen, their entries and counts, and the status. The
// rest (every other chunk's and group's visibility, height and count, and their entries) is
// brought in line afterwards, a slice at a time, so that a keystroke at 100,000 entries in
// thousands of groups does not wait for them.
constexpr std::string_view kScript = R"(<script>
(function(){
"use strict";
var box=document.getElementById("q"),status=document.getElementById("status");
var sections=document.querySelectorAll("main section"),toc=document.querySelectorAll("nav li");
var groups=[],chunks=[],total=0,last="",timer=0,queue=[],job=0;
for(var i=0;i<sections.length;i++){
var s=sections[i],cs=s.querySelectorAll(".c"),size=0,first=chunks.length;
for(var j=0;j<cs.length;j++){
var items=Array.prototype.slice.call(cs[j].children);
var base=parseFloat(cs[j].style.containIntrinsicSize.split(" ").pop())||0;
chunks.push({el:cs[j],items:items,on:new Uint8Array(items.length).fill(1),want:new Uint8Array(items.length).fill(1),text:null,starts:null,n:items.length,shown:items.length,group:i,base:base,near:false,queued:false});
size+=items.length;
}
var t=toc[i]||null;
groups.push({section:s,size:size,first:first,end:chunks.length,shown:0,label:String(size),want:"",count:s.querySelector(".count"),toc:t,tocCount:t&&t.querySelector(".count"),near:0,queued:false});
total+=size;
}
if("IntersectionObserver" in window){
var watch=new IntersectionObserver(function(seen){
for(var k=0;k<seen.length;k++){
var c=seen[k].target._chunk;
if(c.near!==seen[k].isIntersecting){c.near=seen[k].isIntersecting;groups[c.group].near+=c.near?1:-1;}
}
},{rootMargin:"100% 0px"});
for(i=0;i<chunks.length;i++){chunks[i].el._chunk=chunks[i];watch.observe(chunks[i].el);}
}else{for(i=0;i<chunks.length;i++){chunks[i].near=true;groups[chunks[i].group].near++;}}
function index(c){
if(c.text===null){
var parts=[],starts=new Int32Array(c.items.length+1),at=0;
for(var j=0;j<c.items.length;j++){var t=c.items[j].textContent.toLowerCase();starts[j]=at;parts.push(t);at+=t.length+1;}
starts[c.items.length]=at;
c.text=parts.join("\u0000");c.starts=starts;
}
}
function match(c,words){
var want=c.want,n=c.items.length;
if(!words.length){want.fill(1);return n;}
index(c);
want.fill(0);
for(var k=0;k<words.length;k++){
var w=words[k],pos=c.text.indexOf(w),j=0;
while(pos>=0){
while(c.starts[j+1]<=pos)j++;
if(want[j]===k)want[j]=k+1;
pos=c.text.indexOf(w,c.starts[j+1]);
}
}
var count=0;
for(j=0;j<n;j++){var ok=want[j]===words.length?1:0;want[j]=ok;count+=ok;}
return count;
}
function height(c){return c.base*c.n/c.items.length;}
// A chunk as decided: shown or hidden, all its entries shown or some, and its height.
function place(c){
if(c.n!==c.shown){
c.el.hidden=c.n===0;
c.el.classList.toggle("all",c.n===c.items.length);
c.el.style.containIntrinsicSize="auto "+height(c).toFixed(1)+"rem";
c.shown=c.n;
}
}
function sync(c){
place(c);
for(var j=0;j<c.items.length;j++){
if(c.on[j]!==c.want[j]){c.on[j]=c.want[j];c.items[j].hidden=!c.want[j];}
}
c.queued=false;
}
function show(g){
if(g.want!==g.label){
var h=4;
for(var i=g.first;i<g.end;i++)h+=height(chunks[i]);
g.count.textContent=g.want;
if(g.toc){g.tocCount.textContent=g.want;g.toc.hidden=g.shown===0;}
g.section.hidden=g.shown===0;
g.section.style.containIntrinsicSize="auto "+h.toFixed(1)+"rem";
g.label=g.want;
}
g.queued=false;
}
function drain(){
job=0;
var end=performance.now()+8;
while(queue.length&&performance.now()<end){
var x=queue.pop();
if(x.queued){if(x.items)sync(x);else show(x);}
}
if(queue.length)job=setTimeout(drain,0);else box.removeAttribute("aria-busy");
}
function apply(){
var q=box.value.trim().toLowerCase().replace(/\s+/g," ");
if(q===last)return;
last=q;
clearTimeout(job);
var words=q?q.split(" "):[],shown=0,later=[];
// Document order, each group after its chunks: what waits is brought in line from the top.
for(var i=0;i<groups.length;i++){
var g=groups[i];
g.shown=0;
for(var k=g.first;k<g.end;k++){
var c=chunks[k];
c.n=match(c,words);
var odd=c.n!==c.shown;
for(var j=0;!odd&&j<c.items.length;j++)odd=c.on[j]!==c.want[j];
c.queued=odd;
// On the screen, a chunk of all or none is right without its entries: they can wait.
if(odd&&c.near&&c.n&&c.n<c.items.length)sync(c);
else if(odd){if(c.near)place(c);later.push(c);}
g.shown+=c.n;
}
shown+=g.shown;
g.want=words.length?g.shown+" / "+g.size:String(g.size);
g.queued=g.want!==g.label;
if(g.queued){if(g.near)show(g);else later.push(g);}
}
status.textContent=words.length?(shown?"找到 "+shown+" 条":"没有找到匹配的短信"):"";
queue=later.reverse();
if(queue.length){box.setAttribute("aria-busy","true");job=setTimeout(drain,0);}
else box.removeAttribute("aria-busy");
}
var delay=total>2000?60:0;
box.addEventListener("input",function(){clearTimeout(timer);timer=setTimeout(apply,delay);});
box.parentNode.hidden=false;
var q=new URLSearchParams(location.search).get("q");
if(q){box.value=q;apply();}
var next=0;
(function warm(){
for(var end=Math.min(chunks.length,next+40);next<end;next++)index(chunks[next]);
if(next<chunks.length)setTimeout(warm,0);
})();
})();
</script>
</body>
</html>
)";

// Groups, and the entries in chunks, are laid out only when they come near the screen: a page
// of 100,000 messages then opens, and redraws after a search, in a fraction of the time.
constexpr std::size_t kChunkEntries = 50;
constexpr std::size_t kOpenContentsGroups = 50;

void AppendNumber(std::string& out, std::size_t n) {
    out.append(std::to_string(n));
}

// The height an entry will about take on a wide screen, in tenths of a rem: the frame and the
// line of name and date, and a line for every 88 columns of the body (a wide character takes
// two) or line end.
std::uint32_t EntryHeight(std::string_view body) {
    constexpr std::uint32_t kFrame = 32;
    constexpr std::uint32_t kLine = 16;
    constexpr std::uint32_t kColumns = 88;
    std::uint32_t lines = 1;
    std::uint32_t column = 0;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const auto byte = static_cast<unsigned char>(body[i]);
        if (byte == '\n') {
            ++lines;
            column = 0;
            continue;
        }
        if ((byte & 0xC0) == 0x80) {
            continue;  // the rest of a character already counted
        }
        column += byte >= 0xE1 ? 2 : 1;  // from U+1000 on, near enough the wide scripts
        if (column > kColumns) {
            ++lines;
            column = byte >= 0xE1 ? 2 : 1;
        }
    }
    return kFrame + kLine * lines;
}

constexpr std::uint32_t kHeadingHeight = 40;

struct PageGroup {
    std::string word;  // the heading's word, or the whole heading of a month
    std::string name;  // a party's name after the word
    bool named = false;
    std::size_t count = 0;
    std::uint32_t height = kHeadingHeight;
    std::vector<std::uint32_t> chunkHeights;
};

PageGroup NewGroup(std::string_view word, std::string_view name, bool named) {
    PageGroup group;
    group.word = word;
    group.name = name;
    group.named = named;
    return group;
}

// The groups the classic page has, with their sizes. Messages before the first heading (a first
// key that opens no group there) get a group of their own.
std::vector<PageGroup> CollectGroups(const MessageStore& messages, ContactBook& book,
                                     const ArchiveLayout& layout) {
    std::vector<PageGroup> groups;
    WalkGroups(
        messages, book, layout,
        [&](const Heading& heading) {
            // Every party's heading reads "联系人：" here, whichever way its messages went.
            const std::string_view word =
                heading.named && heading.word == kSenderWord ? kContactWord : heading.word;
            groups.push_back(NewGroup(word, heading.name, heading.named));
        },
        [&](const MessageStore::Message& message, const EntryParty&) {
            if (groups.empty()) {
                groups.push_back(NewGroup(kOtherHeading, {}, false));
            }
            PageGroup& group = groups.back();
            if (group.count % kChunkEntries == 0) {
                group.chunkHeights.push_back(0);
            }
            ++group.count;
            const std::uint32_t height = EntryHeight(message.Body());
            group.chunkHeights.back() += height;
            group.height += height;
        });
    return groups;
}

// The intrinsic size of a chunk or a group until the browser has drawn it.
void AppendHeightStyle(std::string& out, std::uint32_t tenthsOfRem) {
    out.append(" style=\"contain-intrinsic-size:auto ");
    AppendNumber(out, tenthsOfRem / 10);
    out.push_back('.');
    AppendNumber(out, tenthsOfRem % 10);
    out.append("rem\"");
}

void AppendGroupId(std::string& out, std::size_t index) {
    out.append("g");
    AppendNumber(out, index + 1);
}

}  // namespace

void AppendEscapedHtml(std::string& out, std::string_view text) {
    for (const char c : text) {
        AppendEscapedChar(out, c, true);
    }
}

namespace {

// A page's text gathered in blocks of about 64 KiB on its way to the sink.
class PageBlocks {
public:
    explicit PageBlocks(ByteSink& out) : out_(out) {}
    std::string& Text() { return block_; }
    void FlushWhenFull() {
        if (block_.size() > 64 * 1024) {
            Flush();
        }
    }
    void Flush() {
        out_.Write(block_);
        block_.clear();
    }

private:
    ByteSink& out_;
    std::string block_;
};

// The head, the header with the summary and the search box, and the contents list.
void AppendIsolatedHtml(std::string& out, std::string_view text, bool isolate) {
    AppendIsolated(out, text, isolate, "<bdi>", "</bdi>", AppendEscapedHtml);
}

// A group's line in the contents: a party's name, or the month.
void AppendGroupLabel(std::string& out, const PageGroup& group, bool isolate) {
    if (group.named) {
        AppendIsolatedHtml(out, group.name, isolate);
    } else {
        AppendEscapedHtml(out, group.word);
    }
}

void WriteHeader(PageBlocks& page, std::size_t messages, const std::vector<PageGroup>& groups,
                 std::string_view charset, bool isolate) {
    std::string& block = page.Text();
    block.append(kHeadOpen).append(charset).append(kHeadMeta);
    block.append(kTitle).append(kStyleOpen).append(kPageColours).append(kStyle).append(kTitle);
    block.append("</h1>\n<p class=\"summary\">共 ");
    AppendNumber(block, messages);
    block.append(" 条短信，");
    AppendNumber(block, groups.size());
    block.append(" 组</p>\n").append(kSearch);
    if (!groups.empty()) {
        // A long list starts folded, so that the first messages are on the first screen.
        block.append("<nav aria-label=\"目录\"><details");
        block.append(groups.size() <= kOpenContentsGroups ? " open" : "");
        block.append("><summary>目录</summary>\n<ol>\n");
        for (std::size_t i = 0; i < groups.size(); ++i) {
            block.append("<li><a href=\"#");
            AppendGroupId(block, i);
            block.append("\">");
            AppendGroupLabel(block, groups[i], isolate);
            block.append("</a> <span class=\"count\">");
            AppendNumber(block, groups[i].count);
            block.append("</span></li>\n");
            page.FlushWhenFull();
        }
        block.append("</ol></details></nav>\n");
    }
    block.append("<main>\n");
    page.Flush();
}

void AppendEntry(std::string& block, const MessageStore::Message& message, const EntryParty& party,
                 bool isolate) {
    block.append("<article><p class=\"m\"><b>");
    if (message.Sent()) {
        block.append(kSentMark);
    }
    AppendIsolatedHtml(block, party.name, isolate);
    block.append("</b>");
    if (party.name != party.number) {
        block.append(" <span class=\"n\">");
        AppendIsolatedHtml(block, party.number, isolate);
        block.append("</span>");
    }
    block.append(" <span class=\"d\">");
    AppendDisplayTime(block, message.Time());
    // The body keeps its line ends; the page shows them as they are.
    block.append("</span></p><p class=\"t\">");
    AppendEscapedHtml(block, message.Body());
    block.append("</p></article>\n");
}

// The groups' sections, each of chunks of entries that the browser lays out only near the
// screen.
class GroupSections {
public:
    GroupSections(PageBlocks& page, const std::vector<PageGroup>& groups, bool isolate)
        : page_(page), groups_(groups), isolate_(isolate) {}

    void OpenGroup() {
        CloseGroup();
        open_ = true;
        std::string& block = page_.Text();
        const PageGroup& group = groups_[group_];
        block.append("<section class=\"group\" id=\"");
        AppendGroupId(block, group_);
        block.push_back('"');
        AppendHeightStyle(block, group.height);
        block.append("><h2>");
        AppendEscapedHtml(block, group.word);
        if (group.named) {
            AppendIsolatedHtml(block, group.name, isolate_);
        }
        block.append(" <span class=\"count\">");
        AppendNumber(block, group.count);
        block.append("</span></h2>\n");
        chunk_ = 0;
        OpenChunk();
    }

    void Entry(const MessageStore::Message& message, const EntryParty& party) {
        if (!open_) {
            OpenGroup();
        }
        if (inChunk_ == kChunkEntries) {
            page_.Text().append("</div>\n");
            ++chunk_;
            OpenChunk();
        }
        ++inChunk_;
        AppendEntry(page_.Text(), message, party, isolate_);
        page_.FlushWhenFull();
    }

    void CloseGroup() {
        if (open_) {
            page_.Text().append("</div>\n</section>\n");
            ++group_;
        }
    }

private:
    void OpenChunk() {
        std::string& block = page_.Text();
        block.append("<div class=\"c\"");
        AppendHeightStyle(block, groups_[group_].chunkHeights[chunk_]);
        block.append(">\n");
        inChunk_ = 0;
    }

    PageBlocks& page_;
    const std::vector<PageGroup>& groups_;
    bool isolate_;
    std::size_t group_ = 0;
    bool open_ = false;
    std::size_t inChunk_ = 0;  // entries in the open chunk
    std::size_t chunk_ = 0;    // the open chunk's index in its group
};

}  // namespace

void WriteModernPage(ByteSink& out, const MessageStore& messages, ContactBook& book,
                     const ArchiveLayout& layout, std::string_view charset) {
    const std::vector<PageGroup> groups = CollectGroups(messages, book, layout);
    PageBlocks page(out);
    WriteHeader(page, messages.Size(), groups, charset, layout.isolateNames);
    GroupSections sections(page, groups, layout.isolateNames);
    WalkGroups(
        messages, book, layout, [&](const Heading&) { sections.OpenGroup(); },
        [&](const MessageStore::Message& message, const EntryParty& party) {
            sections.Entry(message, party);
        });
    sections.CloseGroup();
    page.Text().append("</main>\n</div>\n").append(kScript);
    page.Flush();
}

}  // namespace quillbox
