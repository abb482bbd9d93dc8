// SPDX-License-Identifier: MIT
// Android backups, big ones: makes a backup of SMS and MMS with pictures as the app writes it,
// then times the reader on it on one thread (MB/s of the file) and quillbox-cli --modern
// --jobs 1 over it, with their peak resident memory against the text archive's size. A missed
// target is reported, never a failure: this is a measurement.
//
//     quillbox_bench_android --bin DIR --corpus-root DIR [--sms N] [--mms M] [--seed S]
//                            [--runs K]
//     quillbox_bench_android --read FILE     (the reader alone, as the driver runs it)
//
// The backup is made once per seed and size under the corpus root and reused by later runs.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "child_process.h"
#include "corpus_model.h"
#include "platform/platform.h"
#include "read/android_backup.h"

namespace {

namespace fs = std::filesystem;
using quillbox::bench::Count;
using quillbox::bench::Median;
using quillbox::bench::Random;
using quillbox::bench::Run;
using quillbox::bench::StreamSeed;

constexpr double kMiB = 1024.0 * 1024.0;
constexpr double kReadTarget = 200.0;  // MB/s of the file on one thread
constexpr double kMemoryTarget = 2.0;  // peak resident memory over the text archive's size

constexpr std::string_view kPhrases[] = {
    "好的，明天见",
    "我到楼下了",
    "Running late, sorry!",
    "晚上一起吃饭吗？",
    "收到 &amp; 谢谢",
    "会议改到 3 点 &lt;301 室&gt;",
    "See you at 7 &#55357;&#56832;",
    "生日快乐！&#55356;&#57218;",
    "【银行】您尾号 1234 的卡消费 58.00 元",
    "验证码 482913，5 分钟内有效",
    "The package arrives today&#10;Please sign for it",
    "周末去爬山吧&#10;记得带水",
};

constexpr std::string_view kBase64 =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Number(Random& random) {
    return "+86139" + std::to_string(10000000 + random.Below(2000));
}

std::string Body(Random& random) {
    std::string body(kPhrases[random.Below(std::size(kPhrases))]);
    if (random.Chance(0.3)) {
        body.append(" ").append(kPhrases[random.Below(std::size(kPhrases))]);
    }
    return body;
}

// An SBR backup: count SMS and mms MMS, one MMS in ten to a group, each MMS with a picture of
// 30 to 120 KB as base64 (about 100 KB of text on average).
bool MakeBackup(const fs::path& path, std::uint64_t seed, std::uint64_t sms, std::uint64_t mms) {
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n"
           "<!--File Created By SMS Backup & Restore v10.20.002 on 09/12/2026 12:34:56-->\n"
           "<?xml-stylesheet type=\"text/xsl\" href=\"sms.xsl\"?>\n"
        << "<smses count=\"" << sms + mms
        << "\" backup_set=\"5f1c\" backup_date=\"1765283696000\" type=\"full\">\n";
    std::string line;
    std::string data;
    const std::uint64_t total = sms + mms;
    for (std::uint64_t i = 0; i < total; ++i) {
        Random random(StreamSeed(seed, 7, i));
        const std::uint64_t date = 1262304000000 + random.Next() % 473040000000;
        // MMS are spread among the SMS.
        const bool isMms = mms > 0 && (i * mms) / total != ((i + 1) * mms) / total;
        const std::string address = Number(random);
        const bool sent = random.Chance(0.4);
        line.clear();
        if (!isMms) {
            line.append("  <sms protocol=\"0\" address=\"")
                .append(address)
                .append("\" date=\"")
                .append(std::to_string(date))
                .append("\" type=\"")
                .append(sent ? "2" : "1")
                .append("\" subject=\"null\" body=\"")
                .append(Body(random))
                .append(
                    "\" toa=\"null\" sc_toa=\"null\" service_center=\"null\" read=\"1\" "
                    "status=\"-1\" locked=\"0\" date_sent=\"")
                .append(std::to_string(date - 2000))
                .append(
                    "\" sub_id=\"1\" readable_date=\"2019年3月18日 下午10:15:30\" "
                    "contact_name=\"联系人 ")
                .append(address.substr(address.size() - 4))
                .append("\" />\n");
            out << line;
            continue;
        }
        const bool group = random.Chance(0.1);
        std::string addresses = address;
        const std::string second = Number(random);
        if (group) {
            addresses.append("~").append(second);
        }
        line.append("  <mms date=\"")
            .append(std::to_string(date))
            .append(
                "\" rr=\"null\" sub=\"null\" ct_t=\"application/vnd.wap.multipart.related\" "
                "read_status=\"null\" seen=\"1\" msg_box=\"")
            .append(sent ? "2" : "1")
            .append("\" address=\"")
            .append(addresses)
            .append("\" m_type=\"")
            .append(sent ? "128" : "132")
            .append(
                "\" text_only=\"0\" date_sent=\"0\" readable_date=\"2019年3月18日\" "
                "contact_name=\"(Unknown)\">\n    <parts>\n"
                "      <part seq=\"-1\" ct=\"application/smil\" name=\"null\" chset=\"null\" "
                "cd=\"null\" fn=\"null\" cid=\"&lt;smil&gt;\" cl=\"smil.xml\" ctt_s=\"null\" "
                "ctt_t=\"null\" text='&lt;smil&gt;&lt;head&gt;&lt;layout&gt;&lt;root-layout/"
                "&gt;&lt;region id=\"Image\" height=\"100%\" width=\"100%\"/&gt;&lt;/layout&gt;"
                "&lt;/head&gt;&lt;body&gt;&lt;par dur=\"5000ms\"&gt;&lt;img src=\"image.jpg\" "
                "region=\"Image\" /&gt;&lt;/par&gt;&lt;/body&gt;&lt;/smil&gt;' />\n"
                "      <part seq=\"0\" ct=\"text/plain\" name=\"null\" chset=\"106\" "
                "cd=\"null\" fn=\"null\" cid=\"&lt;text_0&gt;\" cl=\"text_0.txt\" "
                "ctt_s=\"null\" ctt_t=\"null\" text=\"")
            .append(Body(random))
            .append("\" />\n      <part seq=\"0\" ct=\"image/jpeg\" name=\"IMG_")
            .append(std::to_string(i))
            .append(
                ".jpg\" chset=\"null\" cd=\"null\" fn=\"null\" cid=\"&lt;image&gt;\" "
                "cl=\"image.jpg\" ctt_s=\"null\" ctt_t=\"null\" text=\"null\" data=\"");
        out << line;
        const std::size_t groups = (30 * 1024 + random.Below(90 * 1024)) / 3;
        data.resize(groups * 4);
        for (std::size_t k = 0; k < data.size(); k += 8) {
            std::uint64_t bits = random.Next();
            for (std::size_t b = 0; b < 8 && k + b < data.size(); ++b, bits >>= 6) {
                data[k + b] = kBase64[bits & 63];
            }
        }
        out << data;
        line.assign("\" />\n    </parts>\n    <addrs>\n      <addr address=\"");
        line.append(sent ? "insert-address-token" : address)
            .append("\" type=\"137\" charset=\"106\" />\n      <addr address=\"")
            .append(sent ? address : "+8613800138000")
            .append("\" type=\"151\" charset=\"106\" />\n");
        if (group) {
            line.append("      <addr address=\"")
                .append(second)
                .append("\" type=\"151\" charset=\"106\" />\n");
        }
        line.append("    </addrs>\n  </mms>\n");
        out << line;
    }
    out << "</smses>\n";
    return static_cast<bool>(out.flush());
}

// The reader alone on the calling thread: what the driver times.
int ReadOnly(const char* path) {
    quillbox::platform::InputFile file;
    if (file.Open(quillbox::platform::NativeView(path), quillbox::platform::EntryKind::Unchecked,
                  std::nullopt) != quillbox::platform::InputFile::Outcome::Opened) {
        std::fprintf(stderr, "cannot open %s\n", path);
        return 1;
    }
    const quillbox::ReadSettings settings{quillbox::TimeZone::Utc()};
    std::string scratch;
    quillbox::Items items;
    quillbox::Input input{file, {}, quillbox::platform::NativeView(path), settings, scratch};
    const auto start = std::chrono::steady_clock::now();
    const quillbox::ReadResult result = quillbox::ReadAndroidBackupFile(input, items);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%zu %zu %.6f\n", result.read, result.skipped.size(), seconds);
    return result.refused ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--read") {
        return ReadOnly(argv[2]);
    }
    fs::path bin;
    fs::path root;
    std::uint64_t sms = 10000;
    std::uint64_t mms = 1000;
    std::uint64_t seed = 20090318;
    std::uint64_t runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view option(argv[i]);
        const auto value = Count(argv[i + 1]);
        if (option == "--bin") {
            bin = argv[i + 1];
        } else if (option == "--corpus-root") {
            root = argv[i + 1];
        } else if (value && option == "--sms") {
            sms = *value;
        } else if (value && option == "--mms") {
            mms = *value;
        } else if (value && option == "--seed") {
            seed = *value;
        } else if (value && option == "--runs" && *value > 0) {
            runs = *value;
        } else {
            std::fprintf(stderr, "unknown option or value: %s %s\n", argv[i], argv[i + 1]);
            return 2;
        }
    }
    if (bin.empty() || root.empty()) {
        std::fprintf(stderr,
                     "usage: %s --bin DIR --corpus-root DIR [--sms N] [--mms M] "
                     "[--seed S] [--runs K]\n",
                     argv[0]);
        return 2;
    }

    const fs::path folder = root / ("android-s" + std::to_string(seed) + "-sms" +
                                    std::to_string(sms) + "-mms" + std::to_string(mms));
    const fs::path backup = folder / "sms-20261209123456.xml";
    std::error_code error;
    if (!fs::exists(backup)) {
        fs::create_directories(folder, error);
        fs::path partial = folder / "backup.partial";
        std::printf("making the backup %s ...\n", backup.c_str());
        std::fflush(stdout);
        if (!MakeBackup(partial, seed, sms, mms)) {
            std::fprintf(stderr, "cannot write %s\n", partial.c_str());
            return 1;
        }
        fs::rename(partial, backup, error);
    }
    const double fileMiB = static_cast<double>(fs::file_size(backup, error)) / kMiB;
    const fs::path archive = root / "android-archive.txt";
    const std::vector<std::string> reader = {(fs::canonical("/proc/self/exe")).string(), "--read",
                                             backup.string()};
    const std::vector<std::string> cli = {(bin / "quillbox-cli").string(),
                                          "--modern",
                                          "--jobs",
                                          "1",
                                          "--time-zone",
                                          "UTC",
                                          "-q",
                                          "-m",
                                          folder.string(),
                                          "-o",
                                          archive.string()};

    // What the reader's process takes whatever the backup: one of a single message.
    const fs::path tiny = root / "android-one-message.xml";
    std::ofstream(tiny) << "<smses count=\"1\"><sms address=\"1\" date=\"1700000000000\" "
                           "body=\"x\"/></smses>\n";
    const auto fixed = Run({reader[0], "--read", tiny.string()});
    // One unmeasured pass of each warms the page cache.
    if (!fixed || !Run(reader) || !Run(cli)) {
        return 1;
    }
    std::vector<double> readSeconds, readRss, cliSeconds, cliRss;
    std::string counts;
    for (std::uint64_t r = 0; r < runs; ++r) {
        const auto a = Run(reader);
        const auto b = Run(cli);
        if (!a || !b) {
            return 1;
        }
        double inner = 0;
        std::size_t read = 0;
        std::size_t skips = 0;
        if (std::sscanf(a->out.c_str(), "%zu %zu %lf", &read, &skips, &inner) != 3) {
            return 1;
        }
        counts = std::to_string(read) + " messages read, " + std::to_string(skips) + " skip runs";
        readSeconds.push_back(inner);
        readRss.push_back(a->rssMiB);
        cliSeconds.push_back(b->wall);
        cliRss.push_back(b->rssMiB);
    }
    const double archiveMiB = static_cast<double>(fs::file_size(archive, error)) / kMiB;
    const double readMBs = fileMiB * kMiB / 1e6 / Median(readSeconds);
    const double cliMBs = fileMiB * kMiB / 1e6 / Median(cliSeconds);
    std::printf("Android backup: %llu SMS, %llu MMS with pictures, %.1f MiB; %s\n",
                static_cast<unsigned long long>(sms), static_cast<unsigned long long>(mms), fileMiB,
                counts.c_str());
    std::printf("text archive (--modern, GBK, by sender): %.2f MiB\n", archiveMiB);
    std::printf("| what | median s | MB/s | peak RSS MiB | RSS / archive |\n");
    std::printf("| --- | --- | --- | --- | --- |\n");
    std::printf("| reader, one thread | %.3f | %.0f | %.1f | %.2f |\n", Median(readSeconds),
                readMBs, Median(readRss), Median(readRss) / archiveMiB);
    std::printf("| quillbox-cli --modern --jobs 1 | %.3f | %.0f | %.1f | %.2f |\n",
                Median(cliSeconds), cliMBs, Median(cliRss), Median(cliRss) / archiveMiB);
    std::printf("the reader's process with a backup of one message: %.1f MiB\n", fixed->rssMiB);
    std::printf("target: reader >= %.0f MB/s on one thread: %s\n", kReadTarget,
                readMBs >= kReadTarget ? "holds" : "MISSED");
    std::printf("target: peak memory < %.1f x the archive: reader %s, quillbox-cli %s\n",
                kMemoryTarget, Median(readRss) < kMemoryTarget * archiveMiB ? "holds" : "MISSED",
                Median(cliRss) < kMemoryTarget * archiveMiB ? "holds" : "MISSED");
    return 0;
}
