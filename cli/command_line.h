// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "quillbox/archive.h"

namespace quillbox::cli {

// How much a run says on standard error.
enum class Verbosity { Quiet, Normal, Verbose };

// The options of one run, with the paths as the command line gave them (UTF-8 on Windows, the
// system's bytes elsewhere).
struct RunOptions {
    std::string messageFolder;
    std::string contactsFolder;
    std::string outputFile;
    std::string reportFile;
    bool recurseMessages = false;
    bool recurseContacts = false;
    bool html = false;
    bool modern = false;
    ArchiveEncoding encoding = ArchiveEncoding::Gbk;
    PageStyle page = PageStyle::Classic;
    std::optional<CalendarDay> since;
    std::optional<CalendarDay> until;
    bool dedupe = false;
    unsigned jobs = 0;  // 0: as many as the processors
    SortOrder order = SortOrder::BySender;
    Verbosity verbosity = Verbosity::Normal;
};

struct ShowHelp {};
struct ShowVersion {};
struct UsageError {
    std::string message;
};

using Command = std::variant<RunOptions, ShowHelp, ShowVersion, UsageError>;

// The arguments after the program's name.
Command ParseCommandLine(const std::vector<std::string_view>& args);

std::string_view UsageText();

}  // namespace quillbox::cli
