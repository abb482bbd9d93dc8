// SPDX-License-Identifier: MIT
#pragma once

namespace quillbox {

// How a run holds the texts it reads. The classic archive is code page 936 from end to end, and
// its readers make code page 936 text as they always have; an archive in an encoding that can
// represent everything (GB18030, UTF-8, the modern page) is read into UTF-8, so that nothing the
// files hold is lost to "?" on the way.
enum class TextForm { CodePage936, Utf8 };

}  // namespace quillbox
