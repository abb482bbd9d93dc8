// SPDX-License-Identifier: MIT
#include "write/html_archive.h"

namespace quillbox {

namespace {

// The page's fixed texts. The TABs are the page's only separators; readers of old archives
// compare them byte for byte.
constexpr std::string_view kDocumentType =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" "
    "\"http://www.w3.org/TR/html4/loose.dtd\">";
constexpr std::string_view kHead =
    "\t\t<!--An example for test, by Vk.Ostrel-->\t\t<html>\t\t<head>\t\t<meta "
    "http-equiv=\"Content-Type\" content=\"text/html; charset=";
constexpr std::string_view kAfterCharset =
    "\" />\t\t<title>Messages</"
    "title>\t\t<style>body{margin-left: 0px;margin-top: 0px;margin-right: 0px;\tmargin-bottom: "
    "0px;font-size: 12px;background-color:#2253A9;}</style>\t\t<!--In order to create menu view, "
    "MenuCreator.js should be imported-->\t\t<script>\t\t</script>\t\t</head>\t\t<body>\t\t";
constexpr std::string_view kHeadingOpen = "<div><span><font size=\"5\" color=\"#00ff00\"><u>";
constexpr std::string_view kHeadingClose = "<br/></u></font></span></div>";
constexpr std::string_view kEntryOpen =
    "<div style=\"margin-left: 10px\"><font size=\"4\" color=\"#00ff00\">";
constexpr std::string_view kBeforeNumber = " &lt;";
constexpr std::string_view kAfterNumber = "&gt;     </font><font size=\"4\" color=\"red\">";
constexpr std::string_view kAfterDate = " </font><br/>";
constexpr std::string_view kBodyOpen =
    "<span style=\"margin-left: 10px\"><font size=\"3\" color=\"#FFFFFF\">";
constexpr std::string_view kEntryClose = "</font></span><p/></div>";
constexpr std::string_view kLineBreak = "<br/>";
constexpr std::string_view kTail = "</body>\t\t</html>\t\t";

// A name, number, date or heading: escaped, and with every LF written as CR LF, as everywhere in
// the archive file (a name decoded from "=0A" holds one).
void AppendText(std::string& out, std::string_view text) {
    for (const char c : text) {
        if (c == '\n' && (out.empty() || out.back() != '\r')) {
            out.push_back('\r');
        }
        AppendEscapedChar(out, c);
    }
}

}  // namespace

namespace {

// Every CR LF pair, then every remaining LF, becomes "<br/>"; other bytes go to appendChar.
template <typename AppendChar>
void AppendWithBreaks(std::string& out, std::string_view body, AppendChar appendChar) {
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n') {
            out.append(kLineBreak);
            ++i;
        } else if (body[i] == '\n') {
            out.append(kLineBreak);
        } else {
            appendChar(body[i]);
        }
    }
}

}  // namespace

void AppendBodyHtml(std::string& out, std::string_view body) {
    // The entities hold no CR or LF, so escaping first leaves the line ends as they were.
    AppendWithBreaks(out, body, [&out](char c) { AppendEscapedChar(out, c); });
}

void WriteHtmlArchive(ByteSink& out, const MessageStore& messages, ContactBook& book,
                      const ArchiveLayout& layout, std::string_view charset) {
    std::string block(kDocumentType);
    block.append(kHead).append(charset).append(kAfterCharset);
    out.Write(block);
    const auto name = [&](std::string_view text) {
        AppendIsolated(block, text, layout.isolateNames, "<bdi>", "</bdi>", AppendText);
    };
    WalkGroups(
        messages, book, layout,
        [&](const Heading& heading) {
            block.assign(kHeadingOpen);
            AppendText(block, heading.word);
            if (heading.named) {
                name(heading.name);
            }
            block.append(kHeadingClose);
            out.Write(block);
        },
        [&](const MessageStore::Message& message, const EntryParty& party) {
            block.assign(kEntryOpen);
            if (message.Sent()) {
                block.append(kSentMark);
            }
            name(party.name);
            block.append(kBeforeNumber);
            name(party.number);
            block.append(kAfterNumber);
            AppendDisplayTime(block, message.Time());
            block.append(kAfterDate);
            block.append(kBodyOpen);
            // Escaped before the line breaks go in, so that the "<br/>" stays markup.
            AppendBodyHtml(block, message.Body());
            block.append(kEntryClose);
            out.Write(block);
        });
    out.Write(kTail);
}

}  // namespace quillbox
