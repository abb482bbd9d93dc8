// SPDX-License-Identifier: MIT
// Times quillbox-cli against the floor program on the benchmark corpus, at full size and at a
// tenth of it, and prints medians, ratios to the floor and peak resident memory.
//
//     quillbox_bench_run --bin DIR --corpus-root DIR [--seed S] [--messages N] [--cards M]
//                        [--runs K] [--report FILE]
//
// DIR holds quillbox-cli, quillbox_bench_floor and quillbox_bench_corpus. A corpus is made
// once per seed and size under the corpus root and reused by later runs.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double kMiB = 1024.0 * 1024.0;
// The targets the figures are held against.
constexpr double kTimeRatioTarget = 1.5;
constexpr double kRssTextFactor = 3.0;
constexpr double kRssAllowanceMiB = 4.0;
// CPU time per message at full size over CPU time per message at a tenth; above this growth is
// not linear. CPU time, because other work on the machine moves wall times far more.
constexpr double kGrowthTolerance = 1.2;

struct Sample {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double peakRssMiB = 0;
};

struct Command {
    std::string name;
    std::vector<std::string> argv;
    std::string output;  // the archive it writes, if any
};

std::optional<Sample> Run(const Command& command, const std::string& stdoutPath) {
    std::vector<char*> argv;
    for (const std::string& arg : command.argv) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("fork");
        return std::nullopt;
    }
    if (pid == 0) {
        const int out = ::open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out < 0 || ::dup2(out, STDOUT_FILENO) < 0) {
            ::_exit(126);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid) {
        std::perror("wait4");
        return std::nullopt;
    }
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", command.name.c_str(), status);
        return std::nullopt;
    }
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return Sample{std::chrono::duration<double>(end - start).count(),
                  seconds(usage.ru_utime) + seconds(usage.ru_stime),
                  static_cast<double>(usage.ru_maxrss) / 1024.0};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

using Manifest = std::map<std::string, std::uint64_t, std::less<>>;

std::optional<Manifest> ReadManifest(const fs::path& path) {
    std::ifstream in(path);
    if (!in) {
        return std::nullopt;
    }
    Manifest manifest;
    std::string line;
    while (std::getline(in, line)) {
        const auto equals = line.find('=');
        std::uint64_t value = 0;
        if (equals != std::string::npos &&
            std::from_chars(line.data() + equals + 1, line.data() + line.size(), value).ec ==
                std::errc()) {
            manifest[line.substr(0, equals)] = value;
        }
    }
    return manifest;
}

// The corpus of this seed and size: made once, into a side folder renamed when complete, so an
// interrupted generation is never taken for a corpus.
std::optional<fs::path> EnsureCorpus(const fs::path& bin, const fs::path& root, std::uint64_t seed,
                                     std::uint64_t messages, std::uint64_t cards) {
    const fs::path folder = root / ("s" + std::to_string(seed) + "-m" + std::to_string(messages) +
                                    "-c" + std::to_string(cards));
    if (fs::exists(folder / "manifest.txt")) {
        return folder;
    }
    fs::path partial = folder;
    partial += ".partial";
    std::error_code error;
    fs::remove_all(partial, error);
    fs::remove_all(folder, error);
    fs::create_directories(root, error);
    std::printf("making the corpus %s ...\n", folder.c_str());
    std::fflush(stdout);
    const Command generate{
        "generator",
        {(bin / "quillbox_bench_corpus").string(), "--seed", std::to_string(seed), "--messages",
         std::to_string(messages), "--cards", std::to_string(cards), partial.string()},
        {}};
    const auto sample = Run(generate, "/dev/null");
    if (!sample) {
        return std::nullopt;
    }
    fs::rename(partial, folder, error);
    if (error) {
        std::fprintf(stderr, "cannot rename %s: %s\n", partial.c_str(), error.message().c_str());
        return std::nullopt;
    }
    std::printf("  made in %.1f s\n", sample->wallSeconds);
    return folder;
}

struct FormResult {
    std::string name;
    double medianWall = 0;
    double minWall = 0;
    double medianCpu = 0;
    double peakRssMiB = 0;
    double archiveMiB = 0;
};

struct SizeResult {
    Manifest manifest;
    double textMiB = 0;
    std::vector<FormResult> forms;  // the floor first
};

std::string Format(const char* format, auto... values) {
    char line[512];
    std::snprintf(line, sizeof line, format, values...);
    return line;
}

std::optional<SizeResult> MeasureSize(const fs::path& bin, const fs::path& corpus, int runs,
                                      std::string& report) {
    const auto manifest = ReadManifest(corpus / "manifest.txt");
    if (!manifest) {
        std::fprintf(stderr, "no manifest in %s\n", corpus.c_str());
        return std::nullopt;
    }
    const std::string messages = (corpus / "messages").string();
    const std::string contacts = (corpus / "contacts").string();
    const fs::path out = corpus.parent_path() / "out";
    fs::create_directories(out);
    const std::string cli = (bin / "quillbox-cli").string();

    std::vector<Command> commands;
    commands.push_back(
        {"floor", {(bin / "quillbox_bench_floor").string(), messages, contacts}, {}});
    for (const bool html : {false, true}) {
        for (const std::string_view order : {"sender", "date"}) {
            Command command;
            command.name = std::string(html ? "html" : "text") + ", " + std::string(order);
            command.output = (out / (std::string(html ? "html-" : "text-") + std::string(order) +
                                     (html ? ".html" : ".txt")))
                                 .string();
            command.argv = {cli, "-m", messages, "-r", "-c", contacts, "-R", "-o", command.output};
            if (html) {
                command.argv.push_back("--html");
            }
            command.argv.insert(command.argv.end(), {"-s", std::string(order)});
            commands.push_back(std::move(command));
        }
    }

    // One unmeasured pass warms the page cache and checks that the floor sees every file.
    const std::string floorOut = (out / "floor.out").string();
    for (const Command& command : commands) {
        if (!Run(command, command.name == "floor" ? floorOut : "/dev/null")) {
            return std::nullopt;
        }
    }
    {
        std::ifstream in(floorOut);
        std::string seen;
        std::getline(in, seen);
        const std::string expected = "messages=" + std::to_string(manifest->at("messages")) +
                                     " cards=" + std::to_string(manifest->at("cards")) + " ";
        if (!seen.starts_with(expected)) {
            std::fprintf(stderr, "the floor read \"%s\", the corpus has \"%s\"\n", seen.c_str(),
                         expected.c_str());
            return std::nullopt;
        }
    }

    // Interleaved rounds, each in a rotated order, so that drift of the machine spreads evenly.
    std::vector<std::vector<Sample>> samples(commands.size());
    for (int round = 0; round < runs; ++round) {
        for (std::size_t k = 0; k < commands.size(); ++k) {
            const std::size_t c = (k + static_cast<std::size_t>(round)) % commands.size();
            const auto sample = Run(commands[c], "/dev/null");
            if (!sample) {
                return std::nullopt;
            }
            samples[c].push_back(*sample);
        }
    }

    SizeResult result;
    result.manifest = *manifest;
    result.textMiB = static_cast<double>(manifest->at("message_text_bytes") +
                                         manifest->at("contact_text_bytes")) /
                     kMiB;
    for (std::size_t c = 0; c < commands.size(); ++c) {
        std::vector<double> wall;
        std::vector<double> cpu;
        FormResult form;
        form.name = commands[c].name;
        for (const Sample& sample : samples[c]) {
            wall.push_back(sample.wallSeconds);
            cpu.push_back(sample.cpuSeconds);
            form.peakRssMiB = std::max(form.peakRssMiB, sample.peakRssMiB);
        }
        form.medianWall = Median(wall);
        form.minWall = *std::min_element(wall.begin(), wall.end());
        form.medianCpu = Median(cpu);
        if (!commands[c].output.empty()) {
            form.archiveMiB = static_cast<double>(fs::file_size(commands[c].output)) / kMiB;
        }
        result.forms.push_back(form);
    }

    const Manifest& m = *manifest;
    report += Format(
        "\ncorpus %s: %llu messages (%.1f MiB of files, %llu parsed), %llu cards (%.1f MiB, "
        "%llu parsed)\n",
        corpus.filename().c_str(), static_cast<unsigned long long>(m.at("messages")),
        static_cast<double>(m.at("message_file_bytes")) / kMiB,
        static_cast<unsigned long long>(m.at("messages_parsed")),
        static_cast<unsigned long long>(m.at("cards")),
        static_cast<double>(m.at("card_file_bytes")) / kMiB,
        static_cast<unsigned long long>(m.at("cards_parsed")));
    report += Format(
        "text held (code page 936): messages %.2f MiB + contacts %.2f MiB = %.2f MiB; %d runs "
        "each, warm cache\n",
        static_cast<double>(m.at("message_text_bytes")) / kMiB,
        static_cast<double>(m.at("contact_text_bytes")) / kMiB, result.textMiB, runs);
    report += Format("%-14s %9s %9s %8s %9s %9s %10s %9s %8s\n", "form", "median s", "min s",
                     "ratio", "cpu s", "cpu ratio", "peak MiB", "RSS/text", "out MiB");
    const FormResult& floor = result.forms.front();
    for (const FormResult& form : result.forms) {
        report +=
            Format("%-14s %9.3f %9.3f %8.2f %9.3f %9.2f %10.1f %9.2f %8.1f\n", form.name.c_str(),
                   form.medianWall, form.minWall, form.medianWall / floor.medianWall,
                   form.medianCpu, form.medianCpu / floor.medianCpu, form.peakRssMiB,
                   form.peakRssMiB / result.textMiB, form.archiveMiB);
    }
    return result;
}

std::string Verdicts(const SizeResult& full, const SizeResult& tenth) {
    std::string text = "\ntargets (full size):\n";
    const double floorWall = full.forms.front().medianWall;
    const double allowance = kRssTextFactor * full.textMiB + kRssAllowanceMiB;
    const double messagesFull = static_cast<double>(full.manifest.at("messages"));
    const double messagesTenth = static_cast<double>(tenth.manifest.at("messages"));
    for (std::size_t c = 0; c < full.forms.size(); ++c) {
        const FormResult& form = full.forms[c];
        const FormResult& small = tenth.forms[c];
        const double ratio = form.medianWall / floorWall;
        const double growth = (form.medianCpu / messagesFull) / (small.medianCpu / messagesTenth);
        const double wallGrowth =
            (form.medianWall / messagesFull) / (small.medianWall / messagesTenth);
        // Memory beyond the fixed part, per byte of text added between the two sizes.
        const double rssSlope =
            (form.peakRssMiB - small.peakRssMiB) / (full.textMiB - tenth.textMiB);
        text += Format("%-14s", form.name.c_str());
        if (c > 0) {
            text += Format(" time %.2f x floor (<= %.1f: %s; CPU %.2f x);", ratio, kTimeRatioTarget,
                           ratio <= kTimeRatioTarget ? "met" : "NOT met",
                           form.medianCpu / full.forms.front().medianCpu);
            text += Format(" RSS %.1f MiB (<= %.1f: %s, %.2f MiB per MiB of text added);",
                           form.peakRssMiB, allowance,
                           form.peakRssMiB <= allowance ? "met" : "NOT met", rssSlope);
        }
        text += Format(" CPU per message x%.2f from a tenth (%s; wall x%.2f)\n", growth,
                       growth <= kGrowthTolerance ? "linear" : "NOT linear", wallGrowth);
    }
    return text;
}

bool ParseNumber(const char* text, std::uint64_t& value) {
    const std::string_view view = text;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    return error == std::errc() && end == view.data() + view.size();
}

}  // namespace

namespace {

// A program on the PATH, or an empty path.
fs::path FindOnPath(std::string_view name) {
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const fs::path candidate = fs::path(rest.substr(0, colon)) / name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
    return {};
}

// The modern page's search on a page of as many messages as the corpus, by sender and by
// date, timed in headless Chromium by bench/page_filter.mjs. Measured only; no verdict.
std::string PageSearch(const fs::path& bin, const fs::path& root, std::uint64_t messages) {
    const fs::path node = FindOnPath("node");
    if (node.empty()) {
        return "modern page search: no node, not measured\n";
    }
    std::vector<std::string> pages;
    for (const char* order : {"sender", "date"}) {
        const fs::path page =
            root / ("modern-page-" + std::to_string(messages) + "-" + order + ".html");
        const Command write{"page writer",
                            {(bin / "quillbox_bench_page").string(), page.string(), "--order",
                             order, "--messages", std::to_string(messages)},
                            {}};
        if (!Run(write, "/dev/null")) {
            return "modern page search: the page could not be written\n";
        }
        pages.push_back(page.string());
    }
    const fs::path output = root / "modern-page-search.txt";
    Command measure{
        "page search", {node.string(), QUILLBOX_SOURCE_DIR "/bench/page_filter.mjs"}, {}};
    measure.argv.insert(measure.argv.end(), pages.begin(), pages.end());
    if (!Run(measure, output.string())) {
        return "modern page search: the measurement failed\n";
    }
    std::ifstream in(output);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    fs::path bin;
    fs::path root;
    fs::path reportPath;
    std::uint64_t seed = 20090318;
    std::uint64_t messages = 100000;
    std::uint64_t cards = 10000;
    std::uint64_t runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view arg = argv[i];
        bool ok = true;
        if (arg == "--bin") {
            bin = argv[i + 1];
        } else if (arg == "--corpus-root") {
            root = argv[i + 1];
        } else if (arg == "--report") {
            reportPath = argv[i + 1];
        } else if (arg == "--seed") {
            ok = ParseNumber(argv[i + 1], seed);
        } else if (arg == "--messages") {
            ok = ParseNumber(argv[i + 1], messages);
        } else if (arg == "--cards") {
            ok = ParseNumber(argv[i + 1], cards);
        } else if (arg == "--runs") {
            ok = ParseNumber(argv[i + 1], runs) && runs > 0 && runs < 1000;
        } else {
            ok = false;
        }
        if (!ok) {
            bin.clear();
            break;
        }
    }
    if (bin.empty() || root.empty() || argc % 2 == 0 || messages < 10) {
        std::fprintf(stderr,
                     "usage: %s --bin DIR --corpus-root DIR [--seed S] [--messages N] "
                     "[--cards M] [--runs K] [--report FILE]\n",
                     argv[0]);
        return 2;
    }

    const auto fullCorpus = EnsureCorpus(bin, root, seed, messages, cards);
    const auto tenthCorpus = EnsureCorpus(bin, root, seed, messages / 10, cards / 10);
    if (!fullCorpus || !tenthCorpus) {
        return 1;
    }

    // Other work on the machine shows in the wall times; the load average tells how much.
    std::array<double, 3> load{};
    ::getloadavg(load.data(), 3);
    std::string report =
        Format("quillbox-cli against the floor, seed %llu, load average %.2f at the start\n",
               static_cast<unsigned long long>(seed), load[0]);
    const auto full = MeasureSize(bin, *fullCorpus, static_cast<int>(runs), report);
    if (!full) {
        return 1;
    }
    const auto tenth = MeasureSize(bin, *tenthCorpus, static_cast<int>(runs), report);
    if (!tenth) {
        return 1;
    }
    report += Verdicts(*full, *tenth);
    report += PageSearch(bin, root, messages);
    ::getloadavg(load.data(), 3);
    report += Format("load average %.2f at the end\n", load[0]);

    std::fputs(report.c_str(), stdout);
    if (!reportPath.empty()) {
        std::ofstream(reportPath) << report;
    }
    return 0;
}
