// SPDX-License-Identifier: MIT
// Archive folders: makes an Android backup of many messages in many conversations with many
// pictures (some sent twice), then times quillbox-cli --modern --split --html over it, writing
// a new folder each round (and once replacing one), with its peak resident memory; then, where
// node and Chromium are there, how long the index and the largest conversation page take to
// open and to search. A missed target is reported, never a failure: this is a measurement.
//
//     quillbox_bench_split --bin DIR --corpus-root DIR [--messages N] [--conversations C]
//                          [--pictures P] [--seed S] [--runs K]
//
// The backup is made once per seed and size under the corpus root and reused by later runs.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "child_process.h"
#include "corpus_model.h"

namespace {

namespace fs = std::filesystem;
using quillbox::bench::Count;
using quillbox::bench::Median;
using quillbox::bench::Random;
using quillbox::bench::Run;
using quillbox::bench::StreamSeed;

constexpr double kMiB = 1024.0 * 1024.0;
constexpr double kTargetSeconds = 3.0;

constexpr std::string_view kPhrases[] = {
    "好的，明天见",
    "我到楼下了",
    "Running late, sorry!",
    "晚上一起吃饭吗？",
    "收到 &amp; 谢谢",
    "会议改到 3 点 &lt;301 室&gt;",
    "See you at 7",
    "生日快乐！",
    "周末去爬山吧&#10;记得带水",
    "看看这张照片",
    "The package arrives today",
};

constexpr std::string_view kBase64 =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The picture that MMS number `index` carries: one in ten sends again a picture sent before.
std::uint64_t PictureOf(std::uint64_t seed, std::uint64_t index) {
    Random random(StreamSeed(seed, 11, index));
    return index > 0 && random.Chance(0.1) ? random.Next() % index : index;
}

// A made-up JPEG of 8 to 24 KiB as base64: the JPEG mark, then bytes of the picture's stream.
void AppendPicture(std::string& out, std::uint64_t seed, std::uint64_t picture) {
    Random random(StreamSeed(seed, 12, picture));
    const std::size_t groups = (8 * 1024 + random.Below(16 * 1024)) / 3;
    out.append("/9j/4AAQ");  // FF D8 FF E0 00 10
    const std::size_t start = out.size();
    out.resize(start + groups * 4);
    for (std::size_t k = start; k < out.size(); k += 8) {
        std::uint64_t bits = random.Next();
        for (std::size_t b = 0; b < 8 && k + b < out.size(); ++b, bits >>= 6) {
            out[k + b] = kBase64[bits & 63];
        }
    }
}

// An SBR backup of messages in conversations: one conversation in twenty a group of three;
// pictures messages are MMS with a picture each, spread among the SMS.
bool MakeBackup(const fs::path& path, std::uint64_t seed, std::uint64_t messages,
                std::uint64_t conversations, std::uint64_t pictures) {
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n"
        << "<smses count=\"" << messages << "\" backup_date=\"1765283696000\" type=\"full\">\n";
    std::string line;
    std::uint64_t mms = 0;
    for (std::uint64_t i = 0; i < messages; ++i) {
        Random random(StreamSeed(seed, 10, i));
        const std::uint64_t date = 1262304000000 + random.Next() % 473040000000;
        const std::uint64_t conversation = random.Next() % conversations;
        const std::string number = "+86139" + std::to_string(10000000 + conversation);
        const bool group = conversation % 20 == 0;
        const bool sent = random.Chance(0.4);
        const std::string_view body = kPhrases[random.Below(std::size(kPhrases))];
        const bool isMms =
            group || (pictures > 0 && (i * pictures) / messages != ((i + 1) * pictures) / messages);
        line.clear();
        if (!isMms) {
            line.append("  <sms protocol=\"0\" address=\"")
                .append(number)
                .append("\" date=\"")
                .append(std::to_string(date))
                .append("\" type=\"")
                .append(sent ? "2" : "1")
                .append("\" body=\"")
                .append(body)
                .append("\" read=\"1\" contact_name=\"联系人 ")
                .append(std::to_string(conversation))
                .append("\" />\n");
            out << line;
            continue;
        }
        const std::string second = "+86138" + std::to_string(10000000 + conversation);
        const std::string third = "+86137" + std::to_string(10000000 + conversation);
        line.append("  <mms date=\"")
            .append(std::to_string(date))
            .append("\" msg_box=\"")
            .append(sent ? "2" : "1")
            .append("\" address=\"")
            .append(group ? number + "~" + second + "~" + third : number)
            .append("\" m_type=\"")
            .append(sent ? "128" : "132")
            .append(
                "\" contact_name=\"(Unknown)\">\n    <parts>\n"
                "      <part seq=\"0\" ct=\"text/plain\" name=\"null\" text=\"")
            .append(body)
            .append("\" />\n");
        const bool picture = (i * pictures) / messages != ((i + 1) * pictures) / messages;
        if (picture) {
            line.append("      <part seq=\"1\" ct=\"image/jpeg\" name=\"IMG_")
                .append(std::to_string(mms))
                .append(".jpg\" data=\"");
            AppendPicture(line, seed, PictureOf(seed, mms++));
            line.append("\" />\n");
        }
        line.append("    </parts>\n    <addrs>\n      <addr address=\"")
            .append(sent ? "insert-address-token" : number)
            .append("\" type=\"137\" />\n      <addr address=\"")
            .append(sent ? number : "insert-address-token")
            .append("\" type=\"151\" />\n");
        if (group) {
            line.append("      <addr address=\"").append(second).append("\" type=\"151\" />\n");
            line.append("      <addr address=\"").append(third).append("\" type=\"151\" />\n");
        }
        line.append("    </addrs>\n  </mms>\n");
        out << line;
    }
    out << "</smses>\n";
    return static_cast<bool>(out.flush());
}

// Files, and their bytes, below a folder.
std::pair<std::size_t, std::uint64_t> Sizes(const fs::path& folder) {
    std::size_t files = 0;
    std::uint64_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            ++files;
            bytes += entry.file_size();
        }
    }
    return {files, bytes};
}

}  // namespace

int main(int argc, char** argv) {
    fs::path bin;
    fs::path root;
    std::uint64_t messages = 100000;
    std::uint64_t conversations = 2000;
    std::uint64_t pictures = 5000;
    std::uint64_t seed = 20090318;
    std::uint64_t runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view option(argv[i]);
        const auto value = Count(argv[i + 1]);
        if (option == "--bin") {
            bin = argv[i + 1];
        } else if (option == "--corpus-root") {
            root = argv[i + 1];
        } else if (value && option == "--messages" && *value > 0) {
            messages = *value;
        } else if (value && option == "--conversations" && *value > 0) {
            conversations = *value;
        } else if (value && option == "--pictures") {
            pictures = *value;
        } else if (value && option == "--seed") {
            seed = *value;
        } else if (value && option == "--runs" && *value > 0) {
            runs = *value;
        } else {
            std::fprintf(stderr, "unknown option or value: %s %s\n", argv[i], argv[i + 1]);
            return 2;
        }
    }
    if (bin.empty() || root.empty() || pictures > messages) {
        std::fprintf(stderr,
                     "usage: %s --bin DIR --corpus-root DIR [--messages N] [--conversations C] "
                     "[--pictures P <= N] [--seed S] [--runs K]\n",
                     argv[0]);
        return 2;
    }

    const fs::path folder =
        root / ("split-s" + std::to_string(seed) + "-m" + std::to_string(messages) + "-c" +
                std::to_string(conversations) + "-p" + std::to_string(pictures));
    const fs::path backup = folder / "sms-20261209123456.xml";
    std::error_code error;
    if (!fs::exists(backup)) {
        fs::create_directories(folder, error);
        const fs::path partial = folder / "backup.partial";
        std::printf("making the backup %s ...\n", backup.c_str());
        std::fflush(stdout);
        if (!MakeBackup(partial, seed, messages, conversations, pictures)) {
            std::fprintf(stderr, "cannot write %s\n", partial.c_str());
            return 1;
        }
        fs::rename(partial, backup, error);
    }
    const double backupMiB = static_cast<double>(fs::file_size(backup, error)) / kMiB;
    const fs::path out = root / "split-archive";
    const std::vector<std::string> cli = {(bin / "quillbox-cli").string(),
                                          "--modern",
                                          "--time-zone",
                                          "UTC",
                                          "-q",
                                          "--split",
                                          "--html",
                                          "-m",
                                          folder.string(),
                                          "-o",
                                          out.string()};

    // One unmeasured pass warms the page cache; each round then writes a new folder.
    fs::remove_all(out, error);
    if (!Run(cli)) {
        return 1;
    }
    std::vector<double> wall, cpu, rss;
    for (std::uint64_t r = 0; r < runs; ++r) {
        fs::remove_all(out, error);
        const auto sample = Run(cli);
        if (!sample) {
            return 1;
        }
        wall.push_back(sample->wall);
        cpu.push_back(sample->cpu);
        rss.push_back(sample->rssMiB);
    }
    // Once more over the last folder: the old one swapped out and removed.
    const auto replacing = Run(cli);
    if (!replacing) {
        return 1;
    }
    const auto [files, bytes] = Sizes(out);
    const auto [media, mediaBytes] = Sizes(out / "media");
    std::printf("Android backup: %llu messages in %llu conversations, %llu pictures, %.1f MiB\n",
                static_cast<unsigned long long>(messages),
                static_cast<unsigned long long>(conversations),
                static_cast<unsigned long long>(pictures), backupMiB);
    std::printf("archive folder: %zu files, %.1f MiB; media: %zu files, %.1f MiB\n", files,
                static_cast<double>(bytes) / kMiB, media, static_cast<double>(mediaBytes) / kMiB);
    std::printf(
        "| quillbox-cli --modern --split --html | median s | least s | CPU s | peak RSS MiB |\n");
    std::printf("| --- | --- | --- | --- | --- |\n");
    std::printf("| a new folder, %llu runs | %.3f | %.3f | %.3f | %.1f |\n",
                static_cast<unsigned long long>(runs), Median(wall),
                *std::min_element(wall.begin(), wall.end()), Median(cpu), Median(rss));
    std::printf("| replacing the folder | %.3f | | %.3f | %.1f |\n", replacing->wall,
                replacing->cpu, replacing->rssMiB);
    std::printf("target: a new folder in under %.0f s: %s\n", kTargetSeconds,
                Median(wall) < kTargetSeconds ? "holds" : "MISSED");

    // The pages in the browser: measured where node and Chromium are there.
    fs::path largest;
    std::uintmax_t largestSize = 0;
    for (const auto& entry : fs::directory_iterator(out / "conversations")) {
        if (entry.file_size() > largestSize) {
            largestSize = entry.file_size();
            largest = entry.path();
        }
    }
    const fs::path script = fs::path(QUILLBOX_SOURCE_DIR) / "bench" / "folder_pages.mjs";
    if (const auto pages =
            Run({"node", script.string(), (out / "index.html").string(), largest.string()})) {
        std::fputs(pages->out.c_str(), stdout);
    } else {
        std::printf("pages in the browser: not measured (no node or no Chromium)\n");
    }
    return 0;
}
