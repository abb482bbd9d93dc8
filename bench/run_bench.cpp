// SPDX-License-Identifier: MIT
// Times quillbox-cli with --jobs 1 and with its default against the floor program on one thread
// and on as many threads as quillbox-cli's default, on the benchmark corpus at full size and at
// a tenth of it, and prints medians, ratios to the single-thread floor, peak resident memory and
// whether the targets hold. A missed target is reported, never a failure: this is a measurement.
//
//     quillbox_bench_run --bin DIR --corpus-root DIR [--seed S] [--messages N] [--cards M]
//                        [--runs K] [--report FILE]
//
// DIR holds quillbox-cli, quillbox_bench_floor and quillbox_bench_corpus. A corpus is made
// once per seed and size under the corpus root and reused by later runs.

#include <fcntl.h>
#include <sched.h>
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
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double kMiB = 1024.0 * 1024.0;
// The targets the figures are held against: wall time over the single-thread floor's with
// --jobs 1 and with the default (on two free cores), and peak RSS over the text archive's size.
constexpr double kSingleJobTarget = 1.05;
constexpr double kDefaultJobsTarget = 0.75;
constexpr double kRssArchiveTarget = 1.5;
// CPU time per message at full size over CPU time per message at a tenth; above this growth is
// not linear. CPU time, because other work on the machine moves wall times far more.
constexpr double kGrowthTolerance = 1.2;
// Above this many cores taken by other work during the rounds the cores were not free. Not the
// load average: the measured programs themselves raise it.
constexpr double kBusyCores = 0.1;

struct Sample {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double peakRssMiB = 0;
};

struct Command {
    std::string name;
    std::vector<std::string> argv;
    std::string output;  // the archive it writes, if any
    bool floor = false;
    bool text = false;   // a text archive, held against the memory target
    unsigned jobs = 0;   // quillbox-cli: 1, or 0 for its default
    std::string sameAs;  // quillbox-cli's default: the archive of --jobs 1 it must equal
};

// A program run for its work, not timed against the others.
Command Helper(std::string name, std::vector<std::string> argv) {
    Command command;
    command.name = std::move(name);
    command.argv = std::move(argv);
    return command;
}

// The processors this process may use: quillbox-cli's default number of threads.
unsigned UsableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
        return static_cast<unsigned>(CPU_COUNT(&set));
    }
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1u;
}

double LoadAverage() {
    std::array<double, 3> load{};
    return ::getloadavg(load.data(), 3) > 0 ? load[0] : 0.0;
}

// The machine's CPU time since boot in seconds: busy (user, nice, system, irq, softirq) and
// stolen by the hypervisor for other guests.
struct MachineTime {
    double busy = 0;
    double steal = 0;
};

MachineTime ReadMachineTime() {
    std::ifstream in("/proc/stat");
    std::string cpu;
    double user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
    in >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal;
    const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
    if (!in || cpu != "cpu" || tick <= 0) {
        return {};
    }
    return {(user + nice + system + irq + softirq) / tick, steal / tick};
}

bool SameBytes(const std::string& a, const std::string& b) {
    std::ifstream x(a, std::ios::binary);
    std::ifstream y(b, std::ios::binary);
    return x && y &&
           std::equal(std::istreambuf_iterator<char>(x), {}, std::istreambuf_iterator<char>(y), {});
}

std::optional<Sample> Run(const Command& command, const std::string& stdoutPath) {
    std::vector<char*> argv;
    for (const std::string& arg : command.argv) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    // What the program says on its standard error is shown only if it fails.
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> errors(std::tmpfile(), &std::fclose);
    if (!errors) {
        std::perror("tmpfile");
        return std::nullopt;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("fork");
        return std::nullopt;
    }
    if (pid == 0) {
        const int out = ::open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out < 0 || ::dup2(out, STDOUT_FILENO) < 0 ||
            ::dup2(::fileno(errors.get()), STDERR_FILENO) < 0) {
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
        std::rewind(errors.get());
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, errors.get())) > 0) {
            std::fwrite(buffer, 1, n, stderr);
        }
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
    const Command generate =
        Helper("generator", {(bin / "quillbox_bench_corpus").string(), "--seed",
                             std::to_string(seed), "--messages", std::to_string(messages),
                             "--cards", std::to_string(cards), partial.string()});
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
    bool floor = false;
    bool text = false;
    unsigned jobs = 0;
    double medianWall = 0;
    double minWall = 0;
    double medianCpu = 0;
    double peakRssMiB = 0;
    double archiveMiB = 0;
};

struct SizeResult {
    Manifest manifest;
    double textMiB = 0;
    double loadStart = 0;
    double loadEnd = 0;
    double otherCores = 0;  // other work on the machine during the rounds, in cores
    double stolenCores = 0;
    std::vector<FormResult> forms;  // the single-thread floor first, then the other floors
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

    const unsigned threads = UsableProcessors();
    const std::string floorProgram = (bin / "quillbox_bench_floor").string();
    const std::string n = std::to_string(threads);
    std::vector<Command> commands;
    const auto addFloor = [&](std::string name, std::vector<std::string> options) {
        Command command;
        command.name = std::move(name);
        command.floor = true;
        command.argv.push_back(floorProgram);
        command.argv.insert(command.argv.end(), options.begin(), options.end());
        command.argv.insert(command.argv.end(), {messages, contacts});
        commands.push_back(std::move(command));
    };
    addFloor("floor", {});
    addFloor("floor x" + n, {"--threads", n});
    addFloor("lean floor", {"--lean"});
    addFloor("lean floor x" + n, {"--lean", "--threads", n});
    for (const bool html : {false, true}) {
        for (const std::string_view order : {"sender", "date"}) {
            const std::string form = std::string(html ? "html" : "text") + " " + std::string(order);
            std::string single;
            for (const unsigned jobs : {1u, 0u}) {
                Command command;
                command.name = form + (jobs == 1 ? " -j1" : " -j" + n + "*");
                command.text = !html;
                command.jobs = jobs;
                command.output =
                    (out / (std::string(html ? "html-" : "text-") + std::string(order) +
                            (jobs == 1 ? "-j1" : "-default") + (html ? ".html" : ".txt")))
                        .string();
                command.argv = {cli,      "-m", messages, "-r",          "-c",
                                contacts, "-R", "-o",     command.output};
                if (html) {
                    command.argv.push_back("--html");
                }
                command.argv.insert(command.argv.end(), {"-s", std::string(order)});
                if (jobs == 1) {
                    command.argv.insert(command.argv.end(), {"--jobs", "1"});
                    single = command.output;
                } else {
                    command.sameAs = single;
                }
                commands.push_back(std::move(command));
            }
        }
    }

    // One unmeasured pass warms the page cache and checks that every floor sees every file and
    // that the default's archive is that of --jobs 1.
    const std::string floorOut = (out / "floor.out").string();
    const std::string expected = "messages=" + std::to_string(manifest->at("messages")) +
                                 " cards=" + std::to_string(manifest->at("cards")) + " ";
    for (const Command& command : commands) {
        if (!Run(command, command.floor ? floorOut : "/dev/null")) {
            return std::nullopt;
        }
        if (command.floor) {
            std::ifstream in(floorOut);
            std::string seen;
            std::getline(in, seen);
            if (!seen.starts_with(expected)) {
                std::fprintf(stderr, "%s read \"%s\", the corpus has \"%s\"\n",
                             command.name.c_str(), seen.c_str(), expected.c_str());
                return std::nullopt;
            }
        }
        if (!command.sameAs.empty() && !SameBytes(command.sameAs, command.output)) {
            std::fprintf(stderr, "%s wrote other bytes than with --jobs 1\n", command.name.c_str());
            return std::nullopt;
        }
    }

    const double loadStart = LoadAverage();
    const MachineTime machineBefore = ReadMachineTime();
    const auto roundsStart = std::chrono::steady_clock::now();
    double ownCpu = 0;
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
            ownCpu += sample->cpuSeconds;
        }
    }
    const double roundsWall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - roundsStart).count();
    const MachineTime machineAfter = ReadMachineTime();

    SizeResult result;
    result.loadStart = loadStart;
    result.loadEnd = LoadAverage();
    result.otherCores = std::max(0.0, machineAfter.busy - machineBefore.busy - ownCpu) / roundsWall;
    result.stolenCores = (machineAfter.steal - machineBefore.steal) / roundsWall;
    result.manifest = *manifest;
    result.textMiB = static_cast<double>(manifest->at("message_text_bytes") +
                                         manifest->at("contact_text_bytes")) /
                     kMiB;
    for (std::size_t c = 0; c < commands.size(); ++c) {
        std::vector<double> wall;
        std::vector<double> cpu;
        FormResult form;
        form.name = commands[c].name;
        form.floor = commands[c].floor;
        form.text = commands[c].text;
        form.jobs = commands[c].jobs;
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
        "each, warm cache, load average %.2f -> %.2f\n"
        "other work on the machine during the rounds: %.2f cores busy beyond the measured "
        "programs, %.2f stolen by the hypervisor\n",
        static_cast<double>(m.at("message_text_bytes")) / kMiB,
        static_cast<double>(m.at("contact_text_bytes")) / kMiB, result.textMiB, runs,
        result.loadStart, result.loadEnd, result.otherCores, result.stolenCores);
    report += Format("%-16s %8s %8s %7s %8s %7s %9s %8s %8s %8s\n", "command", "median s", "min s",
                     "ratio", "cpu s", "cpu rat", "peak MiB", "RSS/out", "RSS/text", "out MiB");
    const FormResult& floor = result.forms.front();
    for (const FormResult& form : result.forms) {
        report += Format("%-16s %8.3f %8.3f %7.2f %8.3f %7.2f %9.1f ", form.name.c_str(),
                         form.medianWall, form.minWall, form.medianWall / floor.medianWall,
                         form.medianCpu, form.medianCpu / floor.medianCpu, form.peakRssMiB);
        report +=
            form.text ? Format("%8.2f ", form.peakRssMiB / form.archiveMiB) : Format("%8s ", "-");
        report += Format("%8.2f ", form.peakRssMiB / result.textMiB);
        report += form.floor ? Format("%8s\n", "-") : Format("%8.1f\n", form.archiveMiB);
    }
    report += Format(
        "ratios to the single-thread floor; x%u: on %u threads, * quillbox-cli's default (%u); "
        "lean: openat from the folder, one read\n",
        threads, threads, threads);
    return result;
}

std::string Verdicts(const SizeResult& full, const SizeResult& tenth) {
    std::string text = "\ntargets (full size; wall time over the single-thread floor's):\n";
    const double floorWall = full.forms.front().medianWall;
    const double floorCpu = full.forms.front().medianCpu;
    const double messagesFull = static_cast<double>(full.manifest.at("messages"));
    const double messagesTenth = static_cast<double>(tenth.manifest.at("messages"));
    bool singleHolds = true;
    bool defaultHolds = true;
    bool memoryHolds = true;
    bool linear = true;
    double worstSingle = 0;
    double worstDefault = 0;
    double worstMemory = 0;
    double worstGrowth = 0;
    for (std::size_t c = 0; c < full.forms.size(); ++c) {
        const FormResult& form = full.forms[c];
        const FormResult& small = tenth.forms[c];
        const double ratio = form.medianWall / floorWall;
        const double growth = (form.medianCpu / messagesFull) / (small.medianCpu / messagesTenth);
        const double wallGrowth =
            (form.medianWall / messagesFull) / (small.medianWall / messagesTenth);
        text += Format("%-16s", form.name.c_str());
        if (!form.floor) {
            const double target = form.jobs == 1 ? kSingleJobTarget : kDefaultJobsTarget;
            const bool holds = ratio <= target;
            text += Format(" time %.2f x (<= %.2f: %s; CPU %.2f x);", ratio, target,
                           holds ? "met" : "NOT met", form.medianCpu / floorCpu);
            if (form.jobs == 1) {
                singleHolds = singleHolds && holds;
                worstSingle = std::max(worstSingle, ratio);
            } else {
                defaultHolds = defaultHolds && holds;
                worstDefault = std::max(worstDefault, ratio);
            }
            if (form.text) {
                const double rss = form.peakRssMiB / form.archiveMiB;
                text += Format(" RSS %.2f x the archive (<= %.1f: %s);", rss, kRssArchiveTarget,
                               rss <= kRssArchiveTarget ? "met" : "NOT met");
                memoryHolds = memoryHolds && rss <= kRssArchiveTarget;
                worstMemory = std::max(worstMemory, rss);
            }
            // Memory beyond the fixed part, per MiB of archive added between the two sizes.
            text +=
                Format(" RSS +%.2f MiB per MiB of archive added;",
                       (form.peakRssMiB - small.peakRssMiB) / (form.archiveMiB - small.archiveMiB));
        }
        text += Format(" CPU per message x%.2f from a tenth (%s; wall x%.2f)\n", growth,
                       growth <= kGrowthTolerance ? "linear" : "NOT linear", wallGrowth);
        if (!form.floor) {
            linear = linear && growth <= kGrowthTolerance;
            worstGrowth = std::max(worstGrowth, growth);
        }
    }
    const auto verdict = [](bool holds) { return holds ? "holds" : "MISSED"; };
    text += Format("--jobs 1 <= %.2f x the floor in every form: %s (worst %.2f x)\n",
                   kSingleJobTarget, verdict(singleHolds), worstSingle);
    text += Format("default <= %.2f x the floor in every form: %s (worst %.2f x)%s\n",
                   kDefaultJobsTarget, verdict(defaultHolds), worstDefault,
                   full.otherCores + full.stolenCores > kBusyCores
                       ? Format("; the cores were not free (other work took %.2f cores)",
                                full.otherCores + full.stolenCores)
                             .c_str()
                       : "");
    text += Format("peak RSS <= %.1f x the text archive: %s (worst %.2f x)\n", kRssArchiveTarget,
                   verdict(memoryHolds), worstMemory);
    text += Format("linear growth (CPU per message <= x%.1f from a tenth): %s (worst x%.2f)\n",
                   kGrowthTolerance, verdict(linear), worstGrowth);
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
        const Command write =
            Helper("page writer", {(bin / "quillbox_bench_page").string(), page.string(), "--order",
                                   order, "--messages", std::to_string(messages)});
        if (!Run(write, "/dev/null")) {
            return "modern page search: the page could not be written\n";
        }
        pages.push_back(page.string());
    }
    const fs::path output = root / "modern-page-search.txt";
    Command measure =
        Helper("page search", {node.string(), QUILLBOX_SOURCE_DIR "/bench/page_filter.mjs"});
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
    std::string report = Format(
        "quillbox-cli against the floor, seed %llu, %u usable processors, load average %.2f at "
        "the start\n",
        static_cast<unsigned long long>(seed), UsableProcessors(), LoadAverage());
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
    report += Format("load average %.2f at the end\n", LoadAverage());

    std::fputs(report.c_str(), stdout);
    if (!reportPath.empty()) {
        std::ofstream(reportPath) << report;
    }
    return 0;
}
