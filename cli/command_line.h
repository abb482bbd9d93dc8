// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "quillbox/archive.h"

namespace quillbox::cli {

// How much a run says on standard error.
enum class Verbosity { Quiet, Normal, Verbose };

// The options of one run: the engine's request, paths as the system names them, and how much
// to say.
struct RunOptions {
    ArchiveRequest request;
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
