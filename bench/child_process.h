// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillbox::bench {

// One run of a program: its wall and CPU time, its peak resident memory and what it wrote on
// its standard output.
struct Sample {
    double wall = 0;
    double cpu = 0;
    double rssMiB = 0;
    std::string out;
};

// Runs args (the program found on PATH when it names no folder) through fork, exec and wait4;
// none when it cannot start or does not exit 0, which is said on standard error.
std::optional<Sample> Run(const std::vector<std::string>& args);

double Median(std::vector<double> values);

// A whole decimal number given on the command line; none for anything else.
std::optional<std::uint64_t> Count(const char* text);

}  // namespace quillbox::bench
