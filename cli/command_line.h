#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "quillbox/archive.h"

namespace quillbox::cli {

// The options of one run, with the paths as the command line gave them (UTF-8 here).
struct RunOptions {
    std::string messageFolder;
    std::string contactsFolder;
    std::string outputFile;
    bool recurseMessages = false;
    bool recurseContacts = false;
    bool html = false;
    SortOrder order = SortOrder::BySender;
};

struct ShowHelp {};
struct ShowVersion {};
struct UsageError {
    std::string message;
};

using Command = std::variant<RunOptions, ShowHelp, ShowVersion, UsageError>;

Command ParseCommandLine(const std::vector<std::string_view>& args);

std::string_view UsageText();

}  // namespace quillbox::cli
