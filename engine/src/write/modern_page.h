// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

#include "write/archive_groups.h"
#include "write/byte_sink.h"

namespace quillbox {

// The colours of today's pages, light and dark, as CSS custom properties (--bg, --fg, --muted,
// --card, --line, --accent): chosen for at least 4.5:1 against their backgrounds in both schemes.
inline constexpr std::string_view kPageColours =
    ":root{--bg:#ffffff;--fg:#1b1b1b;--muted:#575b61;--card:#f3f4f6;--line:#d3d7dd;--accent:#"
    "0a4fb4}\n"
    "@media (prefers-color-scheme:dark){:root{--bg:#121417;--fg:#e8e8e8;--muted:#a9aeb5;"
    "--card:#1e2227;--line:#3b4149;--accent:#8fb8fa}}\n";

// "&", "<", ">" and '"' as entities; nothing else changes. Safe in text and in a quoted
// attribute alike.
void AppendEscapedHtml(std::string& out, std::string_view text);

// The modern archive: one self-contained HTML5 page with the same groups and entries as the
// classic page, a contents list, and a search box that filters the entries as one types (and
// takes a search from the page's address, "page.html?q=word"). It loads nothing from outside;
// without JavaScript every entry shows and the box stays hidden. charset is the page's label.
void WriteModernPage(ByteSink& out, const MessageStore& messages, ContactBook& book,
                     const ArchiveLayout& layout, std::string_view charset);

}  // namespace quillbox
