// SPDX-License-Identifier: MIT
#pragma once

// The run as the tests drive it: a scratch folder holding a message folder "m" and a card
// folder "c", a request over them, and what a run made of them.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "quillbox/archive.h"
#include "test_files.h"

namespace quillbox::test {

class RunFixture : public ::testing::Test {
protected:
    RunFixture() {
        std::filesystem::create_directories(Messages());
        std::filesystem::create_directories(Cards());
    }

    std::filesystem::path Messages() const { return dir_ / "m"; }
    std::filesystem::path Cards() const { return dir_ / "c"; }
    std::filesystem::path Output() const { return dir_ / "out"; }

    // Both folders into "out", the rest as a request starts.
    ArchiveRequest Request() const {
        ArchiveRequest request;
        request.messageFolder = Messages();
        request.contactsFolder = Cards();
        request.output = Output();
        return request;
    }

    // Runs the request, its report in report_; true when the archive was written.
    bool Run(const ArchiveRequest& request) { return GenerateArchive(request, &report_); }

    // Runs the request, which must write its archive; the archive's bytes.
    std::string Written(const ArchiveRequest& request) {
        EXPECT_TRUE(Run(request)) << DescribeFailure(report_.failure);
        return ReadBytes(request.output);
    }

    TempDir dir_;
    RunReport report_;
};

// An archive's text without the isolates around its names and numbers (UTF-8 and GB18030
// archives have them), for tests that look for an entry's words.
inline std::string WithoutIsolates(std::string text) {
    for (const std::string_view isolate : {"\u2068", "\u2069"}) {
        for (auto at = text.find(isolate); at != std::string::npos; at = text.find(isolate, at)) {
            text.erase(at, isolate.size());
        }
    }
    return text;
}

// Every skip of a run's files, sorted: the file's name (or its path below root), the reason,
// and for the blocks of a file their index and count.
struct Skip {
    std::string name;
    SkipReason reason = SkipReason::CannotOpen;
    std::size_t index = 0;
    std::size_t count = 0;  // 0: the whole file
    auto operator<=>(const Skip&) const = default;
};
inline std::vector<Skip> SkipsOf(const RunReport::Files& files,
                                 const std::filesystem::path& root = {}) {
    std::vector<Skip> skips;
    for (const SkippedFile& file : files.skipped) {
        const std::string name = root.empty() ? file.path.filename().string()
                                              : file.path.lexically_relative(root).string();
        if (file.reason) {
            skips.push_back({name, *file.reason, 0, 0});
        }
        for (const SkippedItems& items : file.items) {
            skips.push_back({name, items.reason, items.index, items.count});
        }
    }
    std::sort(skips.begin(), skips.end());
    return skips;
}

inline std::ostream& operator<<(std::ostream& os, const Skip& skip) {
    os << skip.name << ": " << SkipReasonName(skip.reason);
    if (skip.count != 0) {
        os << " [" << skip.index << " +" << skip.count << "]";
    }
    return os;
}

}  // namespace quillbox::test
